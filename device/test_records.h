// The records of the controller's built-in panel tests as the test-record
// callbacks deliver them, and CTestResult, the item both programs keep of
// each. Shared by the tuner's "Diagnostic" page and the production tester.
//
// Item record (packed, little-endian; only these bytes are read):
//   byte 4      result, signed 8-bit (nonzero pass)
//   bytes 5..6  first channel word: bit 15 axis (set = Y / Rx), bits 0..14
//               index; mutual items also carry a sub-kind in bits 8..11
//   open items:            bytes 7..8 value (signed)
//   short, mutual, mutual table and AD level items:
//                          bytes 7..8 second channel word, 9..10 value (signed)
// Final record: byte 4 the overall result, signed 8-bit (nonzero pass).
//
// Fields sit at odd offsets: they are read byte by byte, never through a
// cast pointer.
#pragma once

#include <cstdint>

#include "device/packet.h"

namespace lumora {

// Which test an item came from (CTestResult::kind).
enum TestKind : int16_t {
    kOpenTestKind = 0,
    kShortTestKind = 1,
    kMutualTestKind = 2,    // node items and mutual-table items alike
    kADLevelTestKind = 4,
};

// Axis values of CTestResult: X (Tx) or Y (Rx), as bit 15 of the channel word.
constexpr int16_t kAxisX = 0;
constexpr int16_t kAxisY = static_cast<int16_t>(0x8000);

// Offsets in a record.
constexpr int kRecordResult = 4;
constexpr int kRecordFirstChannel = 5;
constexpr int kRecordOpenValue = 7;
constexpr int kRecordSecondChannel = 7;
constexpr int kRecordPairValue = 9;
// A record is read up to and including this byte.
constexpr int kRecordSize = 11;

// One reported item. Every field is signed 16-bit; a field that does not
// apply holds -1.
class CTestResult {
public:
    virtual ~CTestResult() = default;

    int16_t kind = -1;
    int16_t value = 0;
    int16_t firstAxis = kAxisX;
    int16_t firstIndex = -1;
    int16_t secondAxis = -1;
    int16_t secondIndex = -1;
    int16_t firstSubKind = -1;     // mutual items: bits 8..11 of the first channel word
    int16_t secondSubKind = -1;    // the same for the second channel word
    int16_t result = 0;            // nonzero = pass
};

inline int16_t channelAxis(uint16_t word) { return (word & 0x8000) ? kAxisY : kAxisX; }
inline int16_t channelIndex(uint16_t word) { return static_cast<int16_t>(word & 0x7FFF); }
inline int16_t channelSubKind(uint16_t word) { return static_cast<int16_t>((word >> 8) & 0x0F); }

// The overall result of a final record.
inline int finalResultOf(const uint8_t* record) {
    return static_cast<int8_t>(record[kRecordResult]);
}

// An open item: one channel and its value.
inline CTestResult openItemOf(const uint8_t* record) {
    CTestResult r;
    r.kind = kOpenTestKind;
    r.result = static_cast<int8_t>(record[kRecordResult]);
    const uint16_t word = readLE16u(record + kRecordFirstChannel);
    r.firstAxis = channelAxis(word);
    r.firstIndex = channelIndex(word);
    r.value = readLE16(record + kRecordOpenValue);
    return r;
}

// A short, mutual, mutual-table or AD level item: two channel words and the
// value. Mutual items (kind 2) take their result as "byte 4 is nonzero" and
// carry the sub-kinds; the others keep the signed byte as it is.
inline CTestResult pairItemOf(TestKind kind, const uint8_t* record) {
    CTestResult r;
    r.kind = kind;
    const int8_t result = static_cast<int8_t>(record[kRecordResult]);
    r.result = kind == kMutualTestKind ? (result != 0 ? 1 : 0) : result;
    const uint16_t first = readLE16u(record + kRecordFirstChannel);
    const uint16_t second = readLE16u(record + kRecordSecondChannel);
    r.firstAxis = channelAxis(first);
    r.firstIndex = channelIndex(first);
    r.secondAxis = channelAxis(second);
    r.secondIndex = channelIndex(second);
    if (kind == kMutualTestKind) {
        r.firstSubKind = channelSubKind(first);
        r.secondSubKind = channelSubKind(second);
    }
    r.value = readLE16(record + kRecordPairValue);
    return r;
}

}  // namespace lumora
