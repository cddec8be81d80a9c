// Where the measuring steps collect the values the controller streams: per
// channel (AD level 0x4F, connector level 0x52) and per node (image Y 0x51,
// image X 0x50). Storing never writes outside the arrays, whatever indexes
// a packet carries.
#pragma once

#include <cstdint>
#include <functional>

#include "tester/logs/result_log.h"

namespace lumora::tester {

// One axis pair of per-channel values with the received-packet counters
// that say when a whole frame has arrived.
struct SeriesArrays {
    ChannelValues x{};
    ChannelValues y{};
    int xReceived = 0;
    int yReceived = 0;

    // Every value to -1 ("nothing received"), the counters to 0.
    void reset();
    // Both axes complete: each counter equals its axis' packet count.
    bool ready(int xPackets, int yPackets) const {
        return xReceived == xPackets && yReceived == yPackets;
    }
};

// Stores a series packet: byte 3 the packet index (0 .. xPackets-1 are X
// packets, then yPackets Y packets), 30 big-endian values from byte 4 for
// channels 30k .. 30k+29 of the axis. An axis' counter restarts at its
// first packet index and counts every packet of the axis. Packets with an
// index past the counts are dropped (false); channels past the arrays are
// left out, the rest of the packet is kept.
bool storeSeriesPacket(SeriesArrays& arrays, const uint8_t* packet, int xPackets, int yPackets);

// Stores an image packet: byte 3 the line (signed), byte 4 the chunk c, 29
// big-endian values from byte 6 for positions 29c .. 29c+28 of the line.
// Image Y packets (0x51) carry a row (a Y channel) and fill its columns;
// image X packets (0x50) carry a column and fill its rows. Cells outside
// 0..127 are left out, the rest kept. `stored` (optional) sees every cell
// written as (row, column, value).
enum class ImageLine { Row, Column };
void storeImagePacket(ImageValues& image, const uint8_t* packet, ImageLine line,
                      const std::function<void(int row, int column, int value)>& stored = {});

// Every cell to -1.
void resetImage(ImageValues& image);

}  // namespace lumora::tester
