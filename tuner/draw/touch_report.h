// The controller's touch-report packets (packet id 0x36) as the draw test
// pages read them: touch keys, gestures and touch reports in their two forms.
// Plain functions over the 64-byte packet; nothing here reads past it.
#pragma once

#include <array>
#include <cstdint>

namespace lumora::draw {

// Window messages of the registrations.
constexpr uint32_t kStreamMessage = 0x602;  // packet id 0x3B: only the end packet matters
constexpr uint32_t kTouchMessage = 0x601;   // packet id 0x36: touch, key and gesture reports

constexpr uint8_t kEndPacketId = 0x3B;
constexpr uint8_t kTouchPacketId = 0x36;
constexpr uint8_t kTouchSubId = 0x13;
constexpr uint8_t kGestureSubId = 0x30;
constexpr uint8_t kKeySubId = 0x2F;
constexpr uint8_t kSecondTouchSubId = 0x5E;

// The sub ids of packet 0x36 a page registers for, in registration order.
constexpr std::array<uint8_t, 4> kPageSubIds = {kTouchSubId, kGestureSubId, kKeySubId,
                                                kSecondTouchSubId};

// One contact of a touch report.
struct TouchRecord {
    int status = 0;         // the status byte as sent
    bool touching = false;  // its bit 0
    int id = 0;             // signed: a negative id is no contact of any page
    int x = 0;
    int y = 0;
    int pressure = 0;
    int extra = 0;
    int auxA = 0;           // single-contact form only
    int auxB = 0;
};

// Records of 10 bytes from byte 4; five of them fill the packet up to byte
// 54, which holds their count.
constexpr int kMaxRecords = 5;
constexpr int kRecordCountByte = 54;

struct MultiContactReport {
    int count = 0;  // the records actually read: at most kMaxRecords
    std::array<TouchRecord, kMaxRecords> records{};
};

struct KeyReport {
    bool pressed = false;
    int key = 0;
};

// Sub id 0x2F: byte 4 bit 0 pressed, byte 5 the key index.
KeyReport decodeKey(const uint8_t* packet);
// Sub id 0x30: byte 4 not 0 while a gesture is active.
bool gestureActive(const uint8_t* packet);

// Bit 7 of byte 4 set: the single-contact form.
inline bool isSingleContact(const uint8_t* packet) { return (packet[4] & 0x80) != 0; }

// Single-contact form: byte 4 status, X, Y and pressure at 5, 7, 9
// (unsigned, little-endian), byte 11 the contact id, byte 12 the extra
// value, auxA at 13 and auxB at 15.
TouchRecord decodeSingleContact(const uint8_t* packet);

// Multi-contact form: byte 54 the record count; each record is status,
// contact id, then X, Y, pressure and extra as signed 16-bit little-endian
// values. A count that claims more records than fit before byte 54 is read
// only as far as the records go.
MultiContactReport decodeMultiContact(const uint8_t* packet);

// Either form, told apart by bit 7 of byte 4: a single-contact report gives one record.
MultiContactReport decodeEitherForm(const uint8_t* packet);

}  // namespace lumora::draw
