// The exported C operations of device/vexlink.h. Each one checks its
// arguments, finds the open device of the handle and turns the call into one
// request of the wire protocol (docs/wire-protocol.md).
#include <algorithm>
#include <cstring>
#include <memory>

#include "device/packet.h"
#include "device/vexlink.h"
#include "vexlink/device_link.h"
#include "vexlink/library.h"
#include "vexlink/protocol.h"

using vexlink::DeviceLink;
using vexlink::Library;
using vexlink::Registration;
namespace wire = vexlink::wire;

namespace {

Library& lib() { return Library::instance(); }

void putLE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

bool isByte(int v) { return v >= 0 && v <= 255; }

// A command without arguments or results: nonzero when the device said OK.
int simple(VexHandle handle, uint8_t command, const uint8_t* args = nullptr, size_t n = 0) {
    auto link = lib().find(handle);
    return link && link->command(command, args, n) ? 1 : 0;
}

// Stream commands answer with the channel counts; on failure both are 0.
int streamCommand(VexHandle handle, uint8_t command, int8_t* yCount, int8_t* xCount) {
    uint8_t res[wire::kResultSize] = {};
    auto link = lib().find(handle);
    const bool ok = link && link->command(command, nullptr, 0, res);
    if (yCount) *yCount = ok ? static_cast<int8_t>(res[0]) : 0;
    if (xCount) *xCount = ok ? static_cast<int8_t>(res[1]) : 0;
    return ok ? 1 : 0;
}

// Text queries leave a NUL inside the 64 bytes whatever the device sends;
// the buffer is only written when the query succeeded.
int textQuery(VexHandle handle, uint8_t blob, char* text64) {
    if (!text64) return 0;
    auto link = lib().find(handle);
    if (!link) return 0;
    uint8_t text[VEX_TEXT_SIZE - 1];
    size_t length = 0;
    if (!link->getBlob(blob, 0, text, sizeof text, &length)) return 0;
    const size_t n = std::min(length, sizeof text);
    std::memcpy(text64, text, n);
    std::memset(text64 + n, 0, VEX_TEXT_SIZE - n);
    return 1;
}

int blobQuery(VexHandle handle, uint8_t blob, uint8_t index, uint8_t* out, size_t size) {
    if (!out) return 0;
    auto link = lib().find(handle);
    if (!link) return 0;
    uint8_t data[255] = {};
    size_t length = 0;
    if (!link->getBlob(blob, index, data, sizeof data, &length)) return 0;
    // A shorter blob leaves the rest zero rather than stale.
    std::memset(out, 0, size);
    std::memcpy(out, data, std::min(length, size));
    return 1;
}

VexRegistration addRegistration(VexHandle handle, std::shared_ptr<Registration> r) {
    auto link = lib().find(handle);
    if (!link) return 0;
    r->id = lib().nextId();
    const VexRegistration id = r->id;
    return link->add(std::move(r)) ? id : 0;
}

VexRegistration recordCallback(VexHandle handle, uint8_t kind, void* context,
                               VexRecordCallback callback) {
    if (!callback) return 0;
    auto r = std::make_shared<Registration>();
    r->kind = Registration::Kind::RecordCallback;
    r->recordKind = kind;
    r->context = context;
    r->recordCallback = callback;
    return addRegistration(handle, std::move(r));
}

int startTest(VexHandle handle, uint8_t command, uint8_t selection, int t1, int t2, int t3,
              int t4) {
    uint8_t args[17] = {};
    args[0] = selection;
    putLE32(args + 1, static_cast<uint32_t>(t1));
    putLE32(args + 5, static_cast<uint32_t>(t2));
    putLE32(args + 9, static_cast<uint32_t>(t3));
    putLE32(args + 13, static_cast<uint32_t>(t4));
    return simple(handle, command, args, sizeof args);
}

int channelTest(VexHandle handle, uint8_t command, uint8_t drive, int x, int y) {
    if (!isByte(x) || !isByte(y)) return 0;
    const uint8_t args[3] = {drive, static_cast<uint8_t>(x), static_cast<uint8_t>(y)};
    return simple(handle, command, args, sizeof args);
}

}  // namespace

extern "C" {

// ---- Library services ---------------------------------------------------------

VEXAPI void VexSetDispatcher(VexDispatchFn fn, void* dispatcherContext) {
    lib().setDispatcher(fn, dispatcherContext);
}

VEXAPI int VexSetHotplugListener(VexHotplugFn fn, void* context) {
    lib().setHotplugListener(fn, context);
    return 1;
}

// ---- Enumeration ----------------------------------------------------------------

VEXAPI int EnumerateHidDevices(void* context, VexEnumCallback callback) {
    return lib().enumerate([](const vexlink::InterfaceInfo& i) { return i.touchController; },
                           context, callback);
}

VEXAPI int EnumerateHidDevicesById(uint16_t vendorId, uint16_t productId, void* context,
                                   VexEnumCallback callback) {
    return lib().enumerate(
        [vendorId, productId](const vexlink::InterfaceInfo& i) {
            return i.vendorId == vendorId && i.productId == productId;
        },
        context, callback);
}

VEXAPI int EnumerateHidDevicesEx(uint32_t, uint32_t, uint32_t, uint16_t vendorId,
                                 uint16_t productId, void* context, VexEnumCallback callback) {
    return EnumerateHidDevicesById(vendorId, productId, context, callback);
}

// ---- Open and close ---------------------------------------------------------------

VEXAPI VexHandle OpenHIDDevice(VexDeviceDescriptor descriptor) { return lib().open(descriptor); }

VEXAPI int CloseHIDDevice(VexHandle handle) { return lib().close(handle) ? 1 : 0; }

// ---- Identification -------------------------------------------------------------------

VEXAPI uint8_t GetDevTypeCode(VexHandle handle, VexDeviceDescriptor) {
    uint8_t res[wire::kResultSize] = {};
    auto link = lib().find(handle);
    return link && link->command(wire::kGetTypeCode, nullptr, 0, res) ? res[0] : 0;
}

VEXAPI int GetDevModelName(VexHandle handle, char* text64) {
    return textQuery(handle, wire::kModelName, text64);
}
VEXAPI int GetDevTypeName(VexHandle handle, char* text64) {
    return textQuery(handle, wire::kTypeName, text64);
}
VEXAPI int GetDevFWVersion(VexHandle handle, char* text64) {
    return textQuery(handle, wire::kFirmwareVersion, text64);
}

VEXAPI int DevGetPCAPInfo(VexHandle handle, uint8_t* info64) {
    return blobQuery(handle, wire::kPcapInfo, 0, info64, VEX_INFO_SIZE);
}

VEXAPI int DevGetCRCInfo(VexHandle handle, uint8_t* info15) {
    return blobQuery(handle, wire::kCrcInfo, 0, info15, 15);
}

VEXAPI int DevGetDownloadInfo(VexHandle handle, int index, uint8_t* record, int length) {
    if (!isByte(index) || length <= 0) return 0;
    return blobQuery(handle, wire::kDownloadInfo, static_cast<uint8_t>(index), record,
                     static_cast<size_t>(length));
}

// The record is written as download-info blob index 0; the device keeps it
// as its newest record.
VEXAPI int DevSetDownloadInfo(VexHandle handle, const uint8_t* record, int length) {
    if (!record || length <= 0 || length > 255) return 0;
    auto link = lib().find(handle);
    return link && link->putBlob(wire::kDownloadInfo, 0, record, static_cast<size_t>(length)) ? 1
                                                                                             : 0;
}

VEXAPI int DevGetCID(VexHandle handle, uint16_t* cid1, uint32_t* cid2) {
    uint8_t res[wire::kResultSize] = {};
    auto link = lib().find(handle);
    if (!link || !link->command(wire::kGetCid, nullptr, 0, res)) return 0;
    if (cid1) *cid1 = lumora::readLE16u(res);
    if (cid2) *cid2 = lumora::readLE32u(res + 2);
    return 1;
}

VEXAPI int DevSetCID(VexHandle handle, uint16_t cid2) {
    uint8_t args[2];
    lumora::writeLE16(args, cid2);
    return simple(handle, wire::kSetCid, args, sizeof args);
}

VEXAPI int DevQueryChannelCounts(VexHandle handle, int8_t* yCount, int8_t* xCount) {
    return streamCommand(handle, wire::kQueryCounts, yCount, xCount);
}

// ---- Streams ----------------------------------------------------------------------------

VEXAPI int PCAPStopGetData(VexHandle handle, int8_t* yCount, int8_t* xCount) {
    return streamCommand(handle, wire::kStopStream, yCount, xCount);
}
VEXAPI int PCAPGetSingleData(VexHandle handle, int8_t* yCount, int8_t* xCount) {
    return streamCommand(handle, wire::kStartSingle, yCount, xCount);
}
VEXAPI int PCAPGetRawPoint(VexHandle handle, int8_t* yCount, int8_t* xCount) {
    return streamCommand(handle, wire::kStartRawPoint, yCount, xCount);
}
VEXAPI int PCAPGetImageYX(VexHandle handle, int8_t* yCount, int8_t* xCount) {
    return streamCommand(handle, wire::kStartImageYX, yCount, xCount);
}
VEXAPI int PCAPGetImageXY(VexHandle handle, int8_t* yCount, int8_t* xCount) {
    return streamCommand(handle, wire::kStartImageXY, yCount, xCount);
}

// ---- Packet registrations -----------------------------------------------------------------

VEXAPI VexRegistration DevRegisterPacket(VexHandle handle, VexWindow* window, uint8_t packetId,
                                         uint32_t message) {
    if (!window || !window->post) return 0;
    auto r = std::make_shared<Registration>();
    r->kind = Registration::Kind::Window;
    r->window = window;
    r->packetId = packetId;
    r->message = message;
    return addRegistration(handle, std::move(r));
}

VEXAPI VexRegistration DevRegisterSubPacket(VexHandle handle, VexWindow* window,
                                            uint8_t packetId, uint8_t subId, uint32_t message) {
    if (!window || !window->post) return 0;
    auto r = std::make_shared<Registration>();
    r->kind = Registration::Kind::Window;
    r->window = window;
    r->packetId = packetId;
    r->subId = subId;
    r->message = message;
    return addRegistration(handle, std::move(r));
}

VEXAPI VexRegistration DevRegisterPacketCallback(VexHandle handle, uint8_t packetId,
                                                 uint8_t subId, void* context,
                                                 VexPacketCallback callback) {
    if (!callback) return 0;
    auto r = std::make_shared<Registration>();
    r->kind = Registration::Kind::PacketCallback;
    r->packetId = packetId;
    r->subId = subId;
    r->context = context;
    r->packetCallback = callback;
    return addRegistration(handle, std::move(r));
}

VEXAPI int DevUnregisterPacket(VexHandle handle, VexRegistration registration) {
    if (registration == 0) return 0;
    auto link = lib().find(handle);
    return link && link->remove(registration) ? 1 : 0;
}

// ---- Parameter memory and controller commands ---------------------------------------------

VEXAPI int DevReadWord(VexHandle handle, int index, uint16_t* word) {
    if (!word || !isByte(index)) return 0;
    uint8_t args[2];
    lumora::writeLE16(args, index);
    uint8_t res[wire::kResultSize] = {};
    auto link = lib().find(handle);
    if (!link || !link->command(wire::kReadWord, args, sizeof args, res)) return 0;
    *word = lumora::readLE16u(res);
    return 1;
}

VEXAPI int DevWriteWord(VexHandle handle, int index, uint16_t value) {
    if (!isByte(index)) return 0;
    uint8_t args[4];
    lumora::writeLE16(args, index);
    lumora::writeLE16(args + 2, value);
    return simple(handle, wire::kWriteWord, args, sizeof args);
}

VEXAPI int DevDisableFilter(VexHandle handle, int flag) {
    const uint8_t args[1] = {static_cast<uint8_t>(flag ? 1 : 0)};
    return simple(handle, wire::kDisableFilter, args, sizeof args);
}

VEXAPI int DevResetController(VexHandle handle) { return simple(handle, wire::kReset); }

VEXAPI int SetReportId(VexHandle handle, uint8_t reportId) {
    const uint8_t args[1] = {reportId};
    return simple(handle, wire::kSetReportId, args, sizeof args);
}

VEXAPI int DevHardwareCalibration(VexHandle handle) {
    return simple(handle, wire::kHardwareCalibration);
}

VEXAPI int DevDACCalibration(VexHandle handle) { return simple(handle, wire::kDacCalibration); }

// A raw packet goes out as it is, outside the request/response protocol. One
// whose byte 1 is the request marker would be taken by the device for a
// request and answered out of turn, so it is refused.
VEXAPI int DevSendPacket(VexHandle handle, const uint8_t* packet, int length) {
    if (!packet || length != VEX_PACKET_SIZE || packet[1] == wire::kRequestMarker) return 0;
    auto link = lib().find(handle);
    return link && link->sendRaw(packet) ? 1 : 0;
}

VEXAPI int DevSetFreqIndex(VexHandle handle, uint8_t* buffer64, int index) {
    if (!isByte(index)) return 0;
    const uint8_t args[1] = {static_cast<uint8_t>(index)};
    uint8_t res[wire::kResultSize] = {};
    auto link = lib().find(handle);
    if (!link || !link->command(wire::kSetFreqIndex, args, sizeof args, res)) return 0;
    if (buffer64) buffer64[2] = res[0];
    return 1;
}

VEXAPI int DevReadFreqRegs(VexHandle handle, uint8_t* regs64, int index) {
    if (!isByte(index)) return 0;
    return blobQuery(handle, wire::kFreqRegs, static_cast<uint8_t>(index), regs64, 64);
}

// buffer64 (the buffer of the preceding DevSetFreqIndex) carries nothing the
// device needs here; it is accepted for the callers' sake and left untouched.
VEXAPI int DevWriteFreqRegs(VexHandle handle, uint8_t*, int index, const uint8_t* regs64) {
    if (!regs64 || !isByte(index)) return 0;
    auto link = lib().find(handle);
    return link && link->putBlob(wire::kFreqRegs, static_cast<uint8_t>(index), regs64, 64) ? 1 : 0;
}

// buffer64 is scratch for the caller, left untouched.
VEXAPI int DevLoadDefaultFreqParam(VexHandle handle, uint8_t*) {
    return simple(handle, wire::kLoadDefaultFreq);
}

VEXAPI int DevLoadDefaultParam(VexHandle handle) { return simple(handle, wire::kLoadDefaultParam); }

VEXAPI int DevModeWord(VexHandle handle, uint32_t* word) {
    if (!word) return 0;
    uint8_t args[4];
    putLE32(args, *word);
    uint8_t res[wire::kResultSize] = {};
    auto link = lib().find(handle);
    if (!link || !link->command(wire::kModeWord, args, sizeof args, res)) return 0;
    if (*word == 0xFFFF) *word = lumora::readLE32u(res);
    return 1;
}

VEXAPI int DevWriteModeByte(VexHandle handle, uint8_t* modeByte) {
    if (!modeByte) return 0;
    const uint8_t args[1] = {*modeByte};
    uint8_t res[wire::kResultSize] = {};
    auto link = lib().find(handle);
    if (!link || !link->command(wire::kWriteModeByte, args, sizeof args, res)) return 0;
    *modeByte = res[0];
    return 1;
}

VEXAPI int DevSetTestMode(VexHandle handle, int flag) {
    const uint8_t args[1] = {static_cast<uint8_t>(flag ? 1 : 0)};
    return simple(handle, wire::kSetTestMode, args, sizeof args);
}

VEXAPI int DevSetOption(VexHandle handle, int option, int value) {
    if (!isByte(option) || !isByte(value)) return 0;
    const uint8_t args[2] = {static_cast<uint8_t>(option), static_cast<uint8_t>(value)};
    return simple(handle, wire::kSetOption, args, sizeof args);
}

// ---- Channel tests -------------------------------------------------------------------------

VEXAPI int PCAPStartSelfCapChannel(VexHandle handle, uint8_t drive, int xChannel, int yChannel) {
    return channelTest(handle, wire::kSelfCapChannel, drive, xChannel, yChannel);
}
VEXAPI int PCAPStartMutualCapChannel(VexHandle handle, uint8_t drive, int xChannel,
                                     int yChannel) {
    return channelTest(handle, wire::kMutualCapChannel, drive, xChannel, yChannel);
}
VEXAPI int PCAPStopChannelTest(VexHandle handle) { return simple(handle, wire::kStopChannelTest); }

// ---- Built-in panel tests --------------------------------------------------------------------

VEXAPI VexRegistration PCAPSetOpenItemCallback(VexHandle h, void* c, VexRecordCallback cb) {
    return recordCallback(h, wire::kOpenItem, c, cb);
}
VEXAPI VexRegistration PCAPSetShortItemCallback(VexHandle h, void* c, VexRecordCallback cb) {
    return recordCallback(h, wire::kShortItem, c, cb);
}
VEXAPI VexRegistration PCAPSetMutualItemCallback(VexHandle h, void* c, VexRecordCallback cb) {
    return recordCallback(h, wire::kMutualItem, c, cb);
}
VEXAPI VexRegistration PCAPSetMutualTableCallback(VexHandle h, void* c, VexRecordCallback cb) {
    return recordCallback(h, wire::kMutualTableItem, c, cb);
}
VEXAPI VexRegistration PCAPSetADLevelItemCallback(VexHandle h, void* c, VexRecordCallback cb) {
    return recordCallback(h, wire::kADLevelItem, c, cb);
}
VEXAPI VexRegistration PCAPSetOpenDoneCallback(VexHandle h, void* c, VexRecordCallback cb) {
    return recordCallback(h, wire::kDoneFlag | 0, c, cb);
}
VEXAPI VexRegistration PCAPSetShortDoneCallback(VexHandle h, void* c, VexRecordCallback cb) {
    return recordCallback(h, wire::kDoneFlag | 1, c, cb);
}
VEXAPI VexRegistration PCAPSetMutualDoneCallback(VexHandle h, void* c, VexRecordCallback cb) {
    return recordCallback(h, wire::kDoneFlag | 2, c, cb);
}
VEXAPI VexRegistration PCAPSetADLevelDoneCallback(VexHandle h, void* c, VexRecordCallback cb) {
    return recordCallback(h, wire::kDoneFlag | 4, c, cb);
}

VEXAPI int PCAPStartOpenTest(VexHandle handle, uint8_t selection, int threshold1, int threshold2,
                             int threshold3, int threshold4) {
    return startTest(handle, wire::kStartOpenTest, selection, threshold1, threshold2, threshold3,
                     threshold4);
}
VEXAPI int PCAPStartShortTest(VexHandle handle, uint8_t selection, int threshold1,
                              int threshold2, int threshold3, int threshold4) {
    return startTest(handle, wire::kStartShortTest, selection, threshold1, threshold2,
                     threshold3, threshold4);
}
VEXAPI int PCAPStartMutualTest(VexHandle handle, uint8_t selection, int threshold1,
                               int threshold2) {
    return startTest(handle, wire::kStartMutualTest, selection, threshold1, threshold2, 0, 0);
}
VEXAPI int PCAPStartADLevelTest(VexHandle handle, uint8_t selection, int threshold1,
                                int threshold2) {
    return startTest(handle, wire::kStartADLevelTest, selection, threshold1, threshold2, 0, 0);
}

// ---- PWM tester and feature reports ------------------------------------------------------------

VEXAPI int SetHeronPWMFreq(VexHandle handle, int divisor, uint8_t voltage) {
    uint8_t args[5];
    putLE32(args, static_cast<uint32_t>(divisor));
    args[4] = voltage;
    return simple(handle, wire::kSetPwmFreq, args, sizeof args);
}

VEXAPI int DevPWMApply(VexHandle handle, int arg1, int arg2) {
    uint8_t args[8];
    putLE32(args, static_cast<uint32_t>(arg1));
    putLE32(args + 4, static_cast<uint32_t>(arg2));
    return simple(handle, wire::kPwmApply, args, sizeof args);
}

VEXAPI int DevSetFeature(VexHandle handle, const uint8_t* buffer, int length) {
    if (!buffer || length <= 0) return 0;
    auto link = lib().find(handle);
    return link && link->sendFeature(buffer, static_cast<size_t>(length)) > 0 ? 1 : 0;
}

VEXAPI int DevGetFeature(VexHandle handle, uint8_t* buffer, int length) {
    if (!buffer || length <= 0) return 0;
    auto link = lib().find(handle);
    return link && link->getFeature(buffer, static_cast<size_t>(length)) > 0 ? 1 : 0;
}

}  // extern "C"
