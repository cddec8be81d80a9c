// The tuner's process-wide device record: created before the window, alive
// until exit. Every page reads the open handle and the identity from it.
#pragma once

#include <QString>
#include <atomic>
#include <cstdint>

#include "device/vexlink.h"

namespace lumora {

class KestrelParamSource;

// Which page consumes streamed packets.
enum ActivePage : int32_t {
    kRawDataPage = 0,
    kParametersPage = 1,
    kImagePages = 2,
    kDrawTestPages = 3,
    kNoActivePage = -1,
};

struct DeviceState {
    uint16_t paramBlock[64] = {};     // Osprey parameter block, tuner/params
    uint8_t freqTable[164] = {};      // Osprey frequency table, tuner/params
    VexDeviceDescriptor controllerDescriptor{};
    VexDeviceDescriptor testerDescriptor{};
    VexHandle controller = 0;         // the open controller, 0 when none
    VexHandle tester = 0;             // the PWM tester; 0 after start-up
    // Written by the GUI thread when a page is shown; read by drawing workers.
    std::atomic<int32_t> activePage{kNoActivePage};
    QString fwVersion;
    QString modelName;
    QString typeName;
    uint8_t typeCode = 0;
    QString titleBase;                // "LumoraTuner_Release v2.3.2.6 for "
    uint8_t pcapInfo[64] = {};
    uint8_t xAboveY = 0;
    int32_t hasFreqTable = 0;
    int32_t restoreReportId = 0;

    // The "Kestrel Param" page while it exists (type codes 6 and 8), for
    // the pages that read its working copy; null otherwise.
    const KestrelParamSource* kestrel = nullptr;

    // The channel counts learned at start-up (signed, as the controller reports them).
    int8_t yCount = 0;
    int8_t xCount = 0;
};

// The one instance of the running program (tests make their own and install it).
DeviceState& deviceState();
void setDeviceState(DeviceState* state);  // nullptr restores the program's own

// Closes the controller and clears the handle (a page ends the program after
// the controller's end packet or a fatal failure).
void closeController(DeviceState& state);

}  // namespace lumora
