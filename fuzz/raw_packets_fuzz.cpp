// The raw data page's packet handling on any stream of 64-byte packets.
// Input: two count bytes (Y, X, as a stream start writes them), then the
// packets. Checks, beyond the sanitizers:
//  - the counts stay within 0..90 and the packet counts follow them;
//  - virtual-key groups hold at most 10 values;
//  - the scales stay at 1 or more, so no graph divides by zero;
//  - a log block has its separator and eleven rows, each ending in CR LF,
//    and a row carries exactly one field per channel.
#include <QByteArray>
#include <QTime>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "tuner/rawdata/raw_log.h"
#include "tuner/rawdata/raw_model.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace lumora::rawdata;
    if (size < 2) return 0;
    RawDataModel model;
    model.setCounts(static_cast<int8_t>(data[0]), static_cast<int8_t>(data[1]));
    model.resetForShow(120, 130);
    data += 2;
    size -= 2;
    uint8_t packet[64];
    for (size_t at = 0; at < size; at += 64) {
        std::memset(packet, 0, sizeof packet);
        std::memcpy(packet, data + at, size - at < 64 ? size - at : 64);
        model.handlePacket(packet);
        const RawSnapshot& s = model.data();
        for (int axis : {kAxisX, kAxisY}) {
            check(s.count(axis) >= 0 && s.count(axis) <= lumora::kMaxChannels);
            check(model.packets(axis) == lumora::packetCountFor(s.count(axis)));
            check(s.abScale[static_cast<size_t>(axis)] >= 1);
            check(s.strayScale[static_cast<size_t>(axis)] >= 1);
        }
        for (const VkGroup& g : s.vk) check(g.count >= 0 && g.count <= kVkPlaces);
        if (packet[0] == 0xA5) model.advanceHistory();
    }

    const RawSnapshot& s = model.data();
    const QByteArray block = formatLogBlock(QTime(12, 0, 0), s);
    const QList<QByteArray> lines = block.split('\n');
    check(lines.size() == 13 && lines.last().isEmpty());
    check(lines[0] == "---\r");
    for (int row = 1; row <= 8; ++row) {
        check(lines[row].endsWith("\r"));
        check(lines[row].count(',') == 2 + s.xCount + s.yCount);
    }
    return 0;
}
