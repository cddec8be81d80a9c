#include "tuner/app/device_state.h"

#include <atomic>

namespace lumora {
namespace {

DeviceState& ownState() {
    static DeviceState state;
    return state;
}

std::atomic<DeviceState*> g_installed{nullptr};

}  // namespace

DeviceState& deviceState() {
    DeviceState* s = g_installed.load(std::memory_order_acquire);
    return s ? *s : ownState();
}

void setDeviceState(DeviceState* state) { g_installed.store(state, std::memory_order_release); }

void closeController(DeviceState& state) {
    if (state.controller != 0) CloseHIDDevice(state.controller);
    state.controller = 0;
}

}  // namespace lumora
