// The exported control API: thin calls into the registry and the firmware.
#include "vexlink/virtual/control.h"

#include <cstring>

#include "vexlink/virtual/registry.h"
#include "vexlink/virtual/touch_stimulus.h"

namespace vexlink::control {

namespace {

std::shared_ptr<virt::Firmware> device(int id) { return virt::Registry::instance().firmware(id); }

}  // namespace

std::string configure(const std::string& devices) { return virt::Registry::instance().configure(devices); }

int plug(const std::string& entry, std::string* error) {
    return virt::Registry::instance().plug(entry, error);
}

bool unplug(int id) { return virt::Registry::instance().unplug(id); }

std::vector<DeviceSummary> list() { return virt::Registry::instance().list(); }

bool injectPacket(int id, const uint8_t* packet64) {
    auto fw = device(id);
    if (!fw || !packet64) return false;
    virt::Report r;
    std::memcpy(r.data(), packet64, r.size());
    fw->inject(r);
    return true;
}

bool setWord(int id, int index, uint16_t value) {
    auto fw = device(id);
    return fw && fw->setWord(index, value);
}

bool getWord(int id, int index, uint16_t* value) {
    auto fw = device(id);
    return fw && fw->getWord(index, value);
}

bool failRead(int id, int index, bool fail) {
    auto fw = device(id);
    return fw && fw->failRead(index, fail);
}

bool corruptChecksum(int id) {
    auto fw = device(id);
    return fw && fw->corruptChecksum();
}

bool emitModeReport(int id, uint8_t mode) {
    auto fw = device(id);
    if (!fw) return false;
    fw->emitModeReport(mode);
    return true;
}

bool setOpenChannel(int id, bool yAxis, int index, bool present) {
    auto fw = device(id);
    if (!fw || index < 0 || index >= (yAxis ? fw->settings().yCount : fw->settings().xCount))
        return false;
    fw->setChannelFault({yAxis, index}, true, false, present);
    return true;
}

bool setShortedChannel(int id, bool yAxis, int index, bool present) {
    auto fw = device(id);
    if (!fw || index < 0 || index + 1 >= (yAxis ? fw->settings().yCount : fw->settings().xCount))
        return false;
    fw->setChannelFault({yAxis, index}, false, true, present);
    return true;
}

bool setNoisyChannel(int id, bool yAxis, int index, bool present) {
    auto fw = device(id);
    if (!fw || index < 0 || index >= (yAxis ? fw->settings().yCount : fw->settings().xCount))
        return false;
    fw->setNoisyChannel({yAxis, index}, present);
    return true;
}

bool setPanelAttached(int id, bool attached) {
    auto fw = device(id);
    if (!fw) return false;
    fw->setPanelAttached(attached);
    return true;
}

bool failWrite(int id, int index, bool fail) {
    auto fw = device(id);
    return fw && fw->failWrite(index, fail);
}

bool failFreqRegsRead(int id, int freqIndex, bool fail) {
    auto fw = device(id);
    return fw && fw->failFreqRegsRead(freqIndex, fail);
}

bool setDacAcknowledged(int id, bool acknowledged) {
    auto fw = device(id);
    if (!fw) return false;
    fw->setDacAcknowledged(acknowledged);
    return true;
}

bool getFreqRegisters(int id, int freqIndex, uint8_t* out64) {
    auto fw = device(id);
    return fw && fw->freqRegisters(freqIndex, out64);
}

bool setFreqRegister(int id, int freqIndex, int byte, uint8_t value) {
    auto fw = device(id);
    return fw && fw->setFreqRegister(freqIndex, byte, value);
}

bool setFreqIndexInUse(int id, int index) {
    auto fw = device(id);
    return fw && fw->setFreqIndexInUse(index);
}

bool sealChecksum(int id) {
    auto fw = device(id);
    return fw && fw->sealChecksum();
}

bool status(int id, DeviceStatus* out) {
    auto fw = device(id);
    if (!fw || !out) return false;
    out->typeCode = fw->typeCode();
    out->stream = static_cast<int>(fw->streamMode());
    out->filterDisabled = fw->filterDisabled();
    out->reportId = fw->reportId();
    out->testMode = fw->testMode();
    out->connections = static_cast<int>(fw->connectionCount());
    out->panelAttached = fw->panelAttached();
    return true;
}

int setStimulusTime(int64_t ns) {
    virt::setManualStimulusTime(ns);
    int sent = 0;
    for (const auto& fw : virt::Registry::instance().firmwares()) sent += fw->serviceStimulus(ns);
    return sent;
}

void useSteadyStimulusTime() {
    virt::useSteadyStimulusTime();
    for (const auto& fw : virt::Registry::instance().firmwares())
        fw->serviceStimulus(virt::stimulusNowNs());
}

std::vector<CommandRecord> commandLog(int id) {
    auto fw = device(id);
    return fw ? fw->commandLog() : std::vector<CommandRecord>{};
}

bool clearCommandLog(int id) {
    auto fw = device(id);
    if (!fw) return false;
    fw->clearCommandLog();
    return true;
}

bool takeCommandLog(int id, std::vector<CommandRecord>* out) {
    auto fw = device(id);
    if (!fw) return false;
    *out = fw->takeCommandLog();
    return true;
}

}  // namespace vexlink::control
