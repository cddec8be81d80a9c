// The image page's packet decoding and line transform on any packets.
// Checks, beyond the sanitizers:
//  - a packet stores at most its 29 values, and none for other ids;
//  - the transform of a line leaves no negative value and writes nothing
//    outside the line;
//  - the threshold of either drive order is one of the two words.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "tuner/image/image_model.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace lumora::image;
    auto grids = std::make_unique<ImageGrids>();
    auto work = std::make_unique<ImageGrid>();
    uint8_t packet[64] = {};
    for (size_t at = 0; at < size; at += 64) {
        std::memset(packet, 0, sizeof packet);
        std::memcpy(packet, data + at, std::min<size_t>(64, size - at));
        const int stored = decodeImagePacket(packet, *grids);
        check(stored >= 0 && stored <= lumora::kImageValuesPerPacket);
        const bool imageId = packet[2] == kAdRowPacket || packet[2] == kAdColumnPacket ||
                             packet[2] == kAdLevelRowPacket || packet[2] == kAdLevelColumnPacket;
        if (!imageId) check(stored == 0);
    }

    // One line of the decoded grid, as a row or as a column of n values,
    // chosen by the last packet.
    const int n = 1 + packet[5] % kGridSize;
    const int line = packet[3] % kGridSize;
    for (auto& row : *work) row.fill(-7);
    const bool rows = (packet[0] & 1) != 0;
    if (rows)
        transformLine(&grids->ad[line][0], 1, &(*work)[line][0], 1, n);
    else
        transformLine(&grids->ad[0][line], kGridSize, &(*work)[0][line], kGridSize, n);
    for (int r = 0; r < kGridSize; ++r)
        for (int c = 0; c < kGridSize; ++c) {
            const bool inLine = rows ? (r == line && c < n) : (c == line && r < n);
            check(inLine ? (*work)[r][c] >= 0 : (*work)[r][c] == -7);
        }
    if (size >= 4) {
        uint16_t block[64] = {};
        block[kThresholdMultiX2YWord] = static_cast<uint16_t>(data[0] | data[1] << 8);
        block[kThresholdMultiY2XWord] = static_cast<uint16_t>(data[2] | data[3] << 8);
        check(multiThreshold(block, kDriveXY) == block[kThresholdMultiX2YWord]);
        check(multiThreshold(block, kDriveYX) == block[kThresholdMultiY2XWord]);
    }
    return 0;
}
