// The small packet helpers of device/packet.h.
#include "device/packet.h"

#include <gtest/gtest.h>

namespace {

TEST(PacketHelpers, ReadersKeepByteOrderAndSign) {
    const uint8_t bytes[] = {0xFF, 0x38, 0x12, 0x34};
    EXPECT_EQ(lumora::readBE16(bytes), -200);
    EXPECT_EQ(lumora::readLE16u(bytes), 0x38FF);
    EXPECT_EQ(lumora::readLE16(bytes + 2), 0x3412);
    EXPECT_EQ(lumora::readBE32u(bytes), 0xFF381234u);
    EXPECT_EQ(lumora::readLE32u(bytes), 0x341238FFu);
    uint8_t out[2];
    lumora::writeBE16(out, -200);
    EXPECT_EQ(lumora::readBE16(out), -200);
    lumora::writeLE16(out, 0xBEEF);
    EXPECT_EQ(lumora::readLE16u(out), 0xBEEF);
}

TEST(PacketHelpers, EndPacketNeedsAllThreeBytes) {
    struct Case {
        uint8_t b1, b3, b4;
        bool end;
    };
    const Case cases[] = {
        {2, 0x70, 3, true}, {1, 0x70, 3, false}, {2, 0x71, 3, false}, {2, 0x70, 4, false},
    };
    for (const Case& c : cases) {
        uint8_t p[64] = {};
        p[1] = c.b1;
        p[3] = c.b3;
        p[4] = c.b4;
        EXPECT_EQ(lumora::isEndPacket(p), c.end) << int(c.b1) << " " << int(c.b3) << " " << int(c.b4);
    }
}

TEST(PacketHelpers, PacketCountsAndChannelClamp) {
    EXPECT_EQ(lumora::packetCountFor(0), 0);
    EXPECT_EQ(lumora::packetCountFor(-5), 0);
    EXPECT_EQ(lumora::packetCountFor(30), 1);
    EXPECT_EQ(lumora::packetCountFor(40), 2);
    EXPECT_EQ(lumora::packetCountFor(60), 2);
    EXPECT_EQ(lumora::clampChannels(-128), 0);
    EXPECT_EQ(lumora::clampChannels(40), 40);
    EXPECT_EQ(lumora::clampChannels(127), 90);
}

}  // namespace
