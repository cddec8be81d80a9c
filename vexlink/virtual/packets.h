// Encoding of the input reports a virtual controller sends: series, node
// image, virtual-key, read-back, touch, test-record, mode and end packets.
// Plain functions over 64-byte arrays; byte 0 is the input report id.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace vexlink::virt {

using Report = std::array<uint8_t, 64>;

// Byte 1 of streamed packets: the payload length in bytes, as the virtual
// key packets use it. It is never 2, so no streamed packet can look like
// the end packet.
constexpr uint8_t kSeriesLength = 62;

// The controller's end packet on packet id 0x3B, which every page that
// consumes streams registers for: byte 1 = 2, byte 3 = 0x70, byte 4 = 3.
Report endPacket();

// One series (packet id `id`): X packets first (byte 3 = 0 .. xPackets-1,
// 30 big-endian values each, channels 30i ..), then Y packets (byte 3 =
// xPackets ..). Packet counts follow the controller's own rule
// (lumora::packetCountFor), so the channels past the last whole packet of
// 31, 61 ... channels are not sent, exactly as the hosts expect.
void appendSeries(std::vector<Report>& out, uint8_t id, const std::vector<int>& x,
                  const std::vector<int>& y);

// Virtual-key packet 0x36 / subId: group 1 values, then 0x7FFF and group 2
// when group 2 is not empty; byte 1 = 2 + 2n for n values.
Report keyPacket(uint8_t subId, const std::vector<int>& group1, const std::vector<int>& group2);

// One image line (packet id `id`, byte 3 line, byte 4 block, values from
// byte 6, 29 per block). The last block is always whole: the positions
// past the line's end carry 0, as the controller pads them.
void appendImageLine(std::vector<Report>& out, uint8_t id, int line, const std::vector<int>& values);

// The 34 read-back records (packet id 0x54, byte 3 record 0..33, 30
// big-endian values each at position 30 x record): X raw from 0, Y raw
// from 128, X stray from 256, Y stray from 384.
std::vector<Report> readLogRecords(const std::vector<int>& rawX, const std::vector<int>& rawY,
                                   const std::vector<int>& strayX, const std::vector<int>& strayY);
constexpr int kReadLogRecords = 34;

// Single-contact touch report, packet 0x36 / subId.
struct Touch {
    bool touching = false;
    uint8_t id = 0;
    uint16_t x = 0, y = 0, pressure = 0;
    uint8_t extra = 0;
    uint16_t auxA = 0, auxB = 0;
};
Report touchReport(uint8_t reportId, uint8_t subId, const Touch& touch);
// Multi-contact touch report: up to 5 records of 10 bytes from byte 4
// (status, id, X, Y, pressure, extra), the record count in byte 54.
Report multiTouchReport(uint8_t reportId, uint8_t subId, const std::vector<Touch>& touches);

// Touch-key report 0x36 / 0x2F: byte 4 bit 0 pressed, byte 5 the key.
Report touchKeyReport(uint8_t reportId, bool pressed, int key);

// Test records (packet id 0xA6, byte 3 the record kind).
Report openItemRecord(bool pass, uint16_t channel, int16_t value);
Report pairItemRecord(uint8_t kind, bool pass, uint16_t first, uint16_t second, int16_t value);
Report doneRecord(uint8_t test, int8_t result);
uint16_t channelWord(bool yAxis, int index);

// Mode report 0x36 / 0x7C with the mode in byte 4.
Report modeReport(uint8_t mode);

// Response to a request: status and command echo, results from byte 6.
Report response(uint8_t sequence, uint8_t status, uint8_t command);

}  // namespace vexlink::virt
