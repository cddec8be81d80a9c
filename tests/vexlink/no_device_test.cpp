// The contract with no device involved: every operation given handle 0 (or a
// handle that was never opened) fails, stream starts zero their counts, and
// enumeration and open refuse what they cannot serve.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "device/vexlink.h"

namespace {

struct Op {
    const char* name;
    std::function<long(VexHandle)> call;
};

int countAll(void* context, const char*, void*, uint32_t, uint32_t) {
    ++*static_cast<int*>(context);
    return 1;
}

void postNothing(VexWindow*, VexRegistration, uint32_t, const uint8_t*) {}
void packetNothing(void*, int, const uint8_t*) {}
void recordNothing(void*, int, const uint8_t*) {}

const std::vector<Op>& operations() {
    static VexWindow window{&postNothing, nullptr};
    static const std::vector<Op> ops = {
        {"CloseHIDDevice", [](VexHandle h) { return CloseHIDDevice(h); }},
        {"GetDevTypeCode", [](VexHandle h) { return long(GetDevTypeCode(h, VexDeviceDescriptor{})); }},
        {"GetDevModelName", [](VexHandle h) { char t[64] = {}; return GetDevModelName(h, t); }},
        {"GetDevTypeName", [](VexHandle h) { char t[64] = {}; return GetDevTypeName(h, t); }},
        {"GetDevFWVersion", [](VexHandle h) { char t[64] = {}; return GetDevFWVersion(h, t); }},
        {"DevGetPCAPInfo", [](VexHandle h) { uint8_t b[64]; return DevGetPCAPInfo(h, b); }},
        {"DevGetCRCInfo", [](VexHandle h) { uint8_t b[15]; return DevGetCRCInfo(h, b); }},
        {"DevGetDownloadInfo", [](VexHandle h) { uint8_t b[46]; return DevGetDownloadInfo(h, 0, b, 46); }},
        {"DevSetDownloadInfo", [](VexHandle h) { uint8_t b[46] = {}; return DevSetDownloadInfo(h, b, 46); }},
        {"DevGetCID", [](VexHandle h) { uint16_t a; uint32_t b; return DevGetCID(h, &a, &b); }},
        {"DevSetCID", [](VexHandle h) { return DevSetCID(h, 7); }},
        {"DevRegisterPacket", [](VexHandle h) { return long(DevRegisterPacket(h, &window, 0x3B, 0x602)); }},
        {"DevRegisterSubPacket", [](VexHandle h) { return long(DevRegisterSubPacket(h, &window, 0x36, 0x13, 0x601)); }},
        {"DevRegisterPacketCallback", [](VexHandle h) { return long(DevRegisterPacketCallback(h, 0x36, 0x6B, nullptr, &packetNothing)); }},
        {"DevUnregisterPacket", [](VexHandle h) { return DevUnregisterPacket(h, 1); }},
        {"DevReadWord", [](VexHandle h) { uint16_t w; return DevReadWord(h, 191, &w); }},
        {"DevWriteWord", [](VexHandle h) { return DevWriteWord(h, 191, 1); }},
        {"DevDisableFilter", [](VexHandle h) { return DevDisableFilter(h, 1); }},
        {"DevResetController", [](VexHandle h) { return DevResetController(h); }},
        {"SetReportId", [](VexHandle h) { return SetReportId(h, 4); }},
        {"DevHardwareCalibration", [](VexHandle h) { return DevHardwareCalibration(h); }},
        {"DevDACCalibration", [](VexHandle h) { return DevDACCalibration(h); }},
        {"DevSendPacket", [](VexHandle h) { uint8_t p[64] = {}; return DevSendPacket(h, p, 64); }},
        {"DevSetFreqIndex", [](VexHandle h) { uint8_t b[64] = {}; return DevSetFreqIndex(h, b, 255); }},
        {"DevReadFreqRegs", [](VexHandle h) { uint8_t b[64]; return DevReadFreqRegs(h, b, 0); }},
        {"DevWriteFreqRegs", [](VexHandle h) { uint8_t b[64] = {}, r[64] = {}; return DevWriteFreqRegs(h, b, 0, r); }},
        {"DevLoadDefaultFreqParam", [](VexHandle h) { uint8_t b[64] = {}; return DevLoadDefaultFreqParam(h, b); }},
        {"DevLoadDefaultParam", [](VexHandle h) { return DevLoadDefaultParam(h); }},
        {"DevModeWord", [](VexHandle h) { uint32_t w = 0xFFFF; return DevModeWord(h, &w); }},
        {"DevWriteModeByte", [](VexHandle h) { uint8_t m = 1; return DevWriteModeByte(h, &m); }},
        {"DevSetTestMode", [](VexHandle h) { return DevSetTestMode(h, 1); }},
        {"DevSetOption", [](VexHandle h) { return DevSetOption(h, 2, 0); }},
        {"PCAPStartSelfCapChannel", [](VexHandle h) { return PCAPStartSelfCapChannel(h, 0, 1, 1); }},
        {"PCAPStartMutualCapChannel", [](VexHandle h) { return PCAPStartMutualCapChannel(h, 0, 1, 1); }},
        {"PCAPStopChannelTest", [](VexHandle h) { return PCAPStopChannelTest(h); }},
        {"PCAPSetOpenItemCallback", [](VexHandle h) { return long(PCAPSetOpenItemCallback(h, nullptr, &recordNothing)); }},
        {"PCAPSetShortItemCallback", [](VexHandle h) { return long(PCAPSetShortItemCallback(h, nullptr, &recordNothing)); }},
        {"PCAPSetMutualItemCallback", [](VexHandle h) { return long(PCAPSetMutualItemCallback(h, nullptr, &recordNothing)); }},
        {"PCAPSetMutualTableCallback", [](VexHandle h) { return long(PCAPSetMutualTableCallback(h, nullptr, &recordNothing)); }},
        {"PCAPSetADLevelItemCallback", [](VexHandle h) { return long(PCAPSetADLevelItemCallback(h, nullptr, &recordNothing)); }},
        {"PCAPSetOpenDoneCallback", [](VexHandle h) { return long(PCAPSetOpenDoneCallback(h, nullptr, &recordNothing)); }},
        {"PCAPSetShortDoneCallback", [](VexHandle h) { return long(PCAPSetShortDoneCallback(h, nullptr, &recordNothing)); }},
        {"PCAPSetMutualDoneCallback", [](VexHandle h) { return long(PCAPSetMutualDoneCallback(h, nullptr, &recordNothing)); }},
        {"PCAPSetADLevelDoneCallback", [](VexHandle h) { return long(PCAPSetADLevelDoneCallback(h, nullptr, &recordNothing)); }},
        {"PCAPStartOpenTest", [](VexHandle h) { return PCAPStartOpenTest(h, 3, 1, 1, 0, 0); }},
        {"PCAPStartShortTest", [](VexHandle h) { return PCAPStartShortTest(h, 1, 0, 0, 5, 5); }},
        {"PCAPStartMutualTest", [](VexHandle h) { return PCAPStartMutualTest(h, 1, 5, 5); }},
        {"PCAPStartADLevelTest", [](VexHandle h) { return PCAPStartADLevelTest(h, 1, 5, 5); }},
        {"SetHeronPWMFreq", [](VexHandle h) { return SetHeronPWMFreq(h, 60, 0); }},
        {"DevPWMApply", [](VexHandle h) { return DevPWMApply(h, 0, 0x44); }},
        {"DevSetFeature", [](VexHandle h) { uint8_t b[8] = {7}; return DevSetFeature(h, b, 8); }},
        {"DevGetFeature", [](VexHandle h) { uint8_t b[8] = {7}; return DevGetFeature(h, b, 8); }},
    };
    return ops;
}

TEST(NoDevice, EveryOperationFailsOnHandleZeroAndUnknownHandles) {
    for (VexHandle h : {VexHandle{0}, VexHandle{0x7FFF0001}}) {
        for (const Op& op : operations()) EXPECT_EQ(op.call(h), 0) << op.name << " handle " << h;
    }
}

TEST(NoDevice, StreamStartsWriteZeroCounts) {
    using Stream = int (*)(VexHandle, int8_t*, int8_t*);
    const Stream streams[] = {PCAPStopGetData, PCAPGetSingleData, PCAPGetRawPoint,
                              PCAPGetImageYX, PCAPGetImageXY, DevQueryChannelCounts};
    for (Stream s : streams) {
        int8_t y = 40, x = 30;
        EXPECT_EQ(s(0, &y, &x), 0);
        EXPECT_EQ(y, 0);
        EXPECT_EQ(x, 0);
        EXPECT_EQ(s(0, nullptr, nullptr), 0) << "null count pointers are tolerated";
    }
}

TEST(NoDevice, TextQueryFailureLeavesTheBufferAlone) {
    char text[64];
    std::memset(text, 0, sizeof text);
    EXPECT_EQ(GetDevModelName(0, text), 0);
    EXPECT_EQ(std::string(text, sizeof text), std::string(64, '\0'));
    EXPECT_EQ(GetDevModelName(0, nullptr), 0);
}

TEST(NoDevice, OpenRefusesPathsEnumerationNeverGives) {
    VexDeviceDescriptor d{};
    EXPECT_EQ(OpenHIDDevice(d), 0u) << "empty path";
    std::memset(d.path, 'A', sizeof d.path);  // no NUL inside the 512 bytes
    EXPECT_EQ(OpenHIDDevice(d), 0u);
    std::strcpy(d.path, "\\\\?\\hid#vid_20ac&pid_0e01&col01#nothing-here");
    EXPECT_EQ(OpenHIDDevice(d), 0u);
}

TEST(NoDevice, EnumerationWithoutCallbackTakesNothing) {
    EXPECT_EQ(EnumerateHidDevices(nullptr, nullptr), 0);
    EXPECT_EQ(EnumerateHidDevicesById(0x20AC, 0x0E01, nullptr, nullptr), 0);
    int seen = 0;
    // No device of this pair exists anywhere.
    EXPECT_EQ(EnumerateHidDevicesEx(0x38, 0, 0x101, 0xFFFE, 0xFFFE, &seen, &countAll), 0);
    EXPECT_EQ(seen, 0);
}

}  // namespace
