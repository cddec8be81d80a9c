// Request/response wire protocol between libvexlink and a controller.
// docs/wire-protocol.md describes it for firmware authors; this header is
// the one place both sides take the numbers from.
#pragma once

#include <cstdint>

namespace vexlink::wire {

// Output report (host -> device):
//   [0] kReportId  [1] kRequestMarker  [2] command  [3] sequence (1..255)
//   [4..63] arguments (command-specific, little-endian)
// Any output report whose byte 1 is not kRequestMarker is a raw firmware
// packet (DevSendPacket) and gets no response.
constexpr uint8_t kReportId = 0x03;
constexpr uint8_t kRequestMarker = 0xA5;
constexpr int kArgOffset = 4;

// Response (device -> host input report):
//   [0] kReportId  [1] 0  [2] kResponsePacketId  [3] sequence
//   [4] status  [5] command echo  [6..63] results (58 bytes)
constexpr uint8_t kResponsePacketId = 0xA5;
constexpr int kResultOffset = 6;
constexpr int kResultSize = 58;
enum Status : uint8_t { kFailed = 0, kOk = 1, kUnsupported = 2 };

// Test record (device -> host input report), routed to the test callbacks:
//   [2] kTestRecordPacketId  [3] record kind  [4..] the record itself, laid
//   out as the item and final-result callbacks read it (byte 4 result ...).
constexpr uint8_t kTestRecordPacketId = 0xA6;
enum RecordKind : uint8_t {
    kOpenItem = 0x00, kShortItem = 0x01, kMutualItem = 0x02, kMutualTableItem = 0x03,
    kADLevelItem = 0x04,
    kDoneFlag = 0x80,  // kDoneFlag | test (0 open, 1 short, 2 mutual, 4 AD level)
};

// Blob transfer: texts and blocks longer than one response move in chunks
// of up to kChunkSize bytes.
//   GetBlob args: [4] blob id [5] index [6] offset   results: [6] total length
//                 [7] chunk length [8..] data
//   PutBlob args: [4] blob id [5] index [6] offset [7] chunk length
//                 [8] 1 on the last chunk [9..] data; the device applies the
//                 blob when the last chunk arrives
constexpr int kChunkSize = 48;
enum Blob : uint8_t {
    kModelName = 1, kTypeName = 2, kFirmwareVersion = 3, kPcapInfo = 4, kCrcInfo = 5,
    kDownloadInfo = 6, kFreqRegs = 7,
};

enum Command : uint8_t {
    // counts results: [6] Y count, [7] X count (signed bytes)
    kStopStream = 0x01, kStartSingle = 0x02, kStartRawPoint = 0x03, kStartImageYX = 0x04,
    kStartImageXY = 0x05, kQueryCounts = 0x06,
    kGetTypeCode = 0x10,       // results: [6] type code
    kGetBlob = 0x11, kPutBlob = 0x12,
    kReadWord = 0x20,          // args: [4..5] index; results: [6..7] word
    kWriteWord = 0x21,         // args: [4..5] index, [6..7] value
    kDisableFilter = 0x22,     // args: [4] flag
    kReset = 0x23,
    kSetReportId = 0x24,       // args: [4] id
    kHardwareCalibration = 0x25, kDacCalibration = 0x26,
    kSetFreqIndex = 0x27,      // args: [4] index (255 asks); results: [6] index in use
    kLoadDefaultFreq = 0x28, kLoadDefaultParam = 0x29,
    kModeWord = 0x2A,          // args: [4..7] value (0xFFFF reads); results: [6..9]
    kWriteModeByte = 0x2B,     // args: [4] value; results: [6] value
    kSetTestMode = 0x2C,       // args: [4] flag
    kSetOption = 0x2D,         // args: [4] option, [5] value
    kGetCid = 0x2E,            // results: [6..7] cid1, [8..11] cid2
    kSetCid = 0x2F,            // args: [4..5] cid2
    kSelfCapChannel = 0x30, kMutualCapChannel = 0x31,  // args: [4] drive [5] x [6] y
    kStopChannelTest = 0x32,
    // tests: args [4] selection, [5..20] four int32 thresholds
    kStartOpenTest = 0x40, kStartShortTest = 0x41, kStartMutualTest = 0x42,
    kStartADLevelTest = 0x43,
    kSetPwmFreq = 0x50,        // args: [4..7] divisor int32, [8] voltage
    kPwmApply = 0x51,          // args: [4..7] arg1, [8..11] arg2
};

// How long a command waits for its response before it fails.
constexpr int kResponseTimeoutMs = 1000;

}  // namespace vexlink::wire
