// Small helpers over the 64-byte packets and records of the device contract.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device/vexlink.h"

namespace lumora {

constexpr int kPacketSize = VEX_PACKET_SIZE;

// Signed 16-bit value, high byte first (series and image packets).
inline int16_t readBE16(const uint8_t* p) { return static_cast<int16_t>((p[0] << 8) | p[1]); }
// Unsigned 16-bit value, low byte first (info block, records).
inline uint16_t readLE16u(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline int16_t readLE16(const uint8_t* p) { return static_cast<int16_t>(readLE16u(p)); }
inline uint32_t readBE32u(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline uint32_t readLE32u(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void writeBE16(uint8_t* p, int value) {
    p[0] = static_cast<uint8_t>((value >> 8) & 0xFF);
    p[1] = static_cast<uint8_t>(value & 0xFF);
}
inline void writeLE16(uint8_t* p, int value) {
    p[0] = static_cast<uint8_t>(value & 0xFF);
    p[1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

// The controller's end packet, sent when it goes away: byte 1 = 2, byte 3 = 0x70, byte 4 = 3.
inline bool isEndPacket(const uint8_t* packet) {
    return packet[1] == 2 && packet[3] == 0x70 && packet[4] == 3;
}

// Series packets carry 30 values. The packet count per axis keeps the
// controller's own rule: floor((n-1)/30) plus one when (n-1) mod 30 is above
// 0, so 30 -> 1, 31 -> 1, 60 -> 2. A count of 0 or less gives 0.
constexpr int kSeriesValuesPerPacket = 30;
inline int packetCountFor(int channels) {
    if (channels <= 0) return 0;
    const int n = channels - 1;
    return n / kSeriesValuesPerPacket + (n % kSeriesValuesPerPacket > 0 ? 1 : 0);
}

// Image packets carry 29 values at position 29 x block.
constexpr int kImageValuesPerPacket = 29;

// Calls store(line, position, value) for each value of an image packet:
// byte 3 the line and byte 4 the block (signed bytes), value i (signed
// 16-bit big-endian at bytes 6 + 2i) at position 29 x block + i. Values
// whose line or position falls outside 0 .. size-1 are skipped (the last
// block of a 90-value line always reaches past 89). Returns how many were
// stored.
template <typename Store>
int forEachImageValue(const uint8_t* packet64, int size, Store&& store) {
    const int line = static_cast<int8_t>(packet64[3]);
    const int block = static_cast<int8_t>(packet64[4]);
    if (line < 0 || line >= size) return 0;
    int stored = 0;
    for (int i = 0; i < kImageValuesPerPacket; ++i) {
        const int position = kImageValuesPerPacket * block + i;
        if (position < 0 || position >= size) continue;
        // 6 + 2 * 28 + 1 = 63: the last value ends on the packet's last byte.
        store(line, position, readBE16(packet64 + 6 + 2 * i));
        ++stored;
    }
    return stored;
}

// Channel counts go into grids of 90; anything negative counts as 0.
constexpr int kMaxChannels = 90;
inline int clampChannels(int count) {
    return count < 0 ? 0 : (count > kMaxChannels ? kMaxChannels : count);
}

}  // namespace lumora
