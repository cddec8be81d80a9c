#include "tester/sequence/packet_arrays.h"

#include "device/packet.h"

namespace lumora::tester {

void SeriesArrays::reset() {
    x.fill(-1);
    y.fill(-1);
    xReceived = 0;
    yReceived = 0;
}

bool storeSeriesPacket(SeriesArrays& a, const uint8_t* packet, int xPackets, int yPackets) {
    const int index = packet[3];
    ChannelValues* values = nullptr;
    int k = 0;
    if (index < xPackets) {
        if (index == 0) a.xReceived = 0;
        ++a.xReceived;
        values = &a.x;
        k = index;
    } else if (index < xPackets + yPackets) {
        if (index == xPackets) a.yReceived = 0;
        ++a.yReceived;
        values = &a.y;
        k = index - xPackets;
    } else {
        return false;
    }
    // A count of 127 asks for channels up to 149: what fits is kept, so that
    // panels of 117 to 127 channels still complete their frames.
    for (int i = 0; i < kSeriesValuesPerPacket; ++i) {
        const int channel = kSeriesValuesPerPacket * k + i;
        if (channel >= kMaxArrayChannels) break;
        (*values)[channel] = readBE16(packet + 4 + 2 * i);
    }
    return true;
}

void storeImagePacket(ImageValues& image, const uint8_t* packet, ImageLine line,
                      const std::function<void(int, int, int)>& stored) {
    // Lines and positions outside the 128-entry arrays are left out.
    forEachImageValue(packet, kMaxArrayChannels, [&](int lineIndex, int position, int16_t value) {
        const int row = line == ImageLine::Row ? lineIndex : position;
        const int column = line == ImageLine::Row ? position : lineIndex;
        image[row][column] = value;
        if (stored) stored(row, column, value);
    });
}

void resetImage(ImageValues& image) {
    for (ChannelValues& row : image) row.fill(-1);
}

}  // namespace lumora::tester
