// What the test sequence knows of the unit under test, and the rules of
// its type codes that the connection and the sequence share.
#pragma once

#include <QString>
#include <cstdint>

#include "device/type_codes.h"
#include "device/vexlink.h"

namespace lumora::tester {

// The connected unit as identified at connection (0 handle: none).
struct UnitInfo {
    VexHandle handle = 0;
    int typeCode = 0;
    int detectedInterface = 0;  // 0 USB, 1 UART
    int xCount = 0;
    int yCount = 0;
    int xPackets = 0;           // series packets per axis (device/packet.h)
    int yPackets = 0;
    QString modelName;
    QString fwVersion;
};


// The report id handed back to the controller at exit (and after a connector
// log): on a modern multitouch host 6 for the Heron family and 4 for the
// rest, else the legacy id 1.
inline uint8_t exitReportId(int typeCode, bool modernHost) {
    if (!modernHost) return 1;
    return isHeronFamily(typeCode) ? 6 : 4;
}

// Hands the report id of exitReportId back to a controller (not to a boot
// loader), trying once more after 10 ms if the first call fails.
void handBackReportId(VexHandle handle, int typeCode, bool modernHost);

}  // namespace lumora::tester
