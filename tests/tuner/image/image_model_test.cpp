// Packet decoding, the line transform and the field rules of the image page.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <vector>

#include "tuner/image/image_model.h"
#include "tests/support/test_support.h"

namespace lumora::image {
namespace {

// An image packet: id, line, block and 29 values (value i = base + i).
VexPacket imagePacket(uint8_t id, int line, int block, int base) {
    return test_support::imagePacket(id, line, block, base, 1);
}

struct DecodeCase {
    uint8_t id;
    bool adLevel;  // which grid it fills
    bool row;      // grid[L][P] (row) or grid[P][L] (column)
};

TEST(ImagePacketDecoding, EachIdFillsItsGridAlongItsLine) {
    const DecodeCase cases[] = {
        {0x4B, false, true}, {0x4A, false, false}, {0x51, true, true}, {0x50, true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        auto grids = std::make_unique<ImageGrids>();
        // Negative and large values cross the sign bit of the 16-bit words.
        const auto packet = imagePacket(c.id, 7, 1, -20);
        EXPECT_EQ(decodeImagePacket(packet.bytes, *grids), 29);

        auto expected = std::make_unique<ImageGrids>();
        ImageGrid& target = c.adLevel ? expected->adLevel : expected->ad;
        for (int i = 0; i < 29; ++i) {
            const int position = 29 + i;
            (c.row ? target[7][position] : target[position][7]) = -20 + i;
        }
        EXPECT_EQ(grids->ad, expected->ad);
        EXPECT_EQ(grids->adLevel, expected->adLevel);
    }
}

TEST(ImagePacketDecoding, ValuesAreBigEndianSigned) {
    auto grids = std::make_unique<ImageGrids>();
    auto packet = imagePacket(0x4B, 0, 0, 0);
    writeBE16(&packet.bytes[6], -32768);
    writeBE16(&packet.bytes[8], 32767);
    writeBE16(&packet.bytes[62], 0x1234);  // the last value: bytes 62 and 63
    decodeImagePacket(packet.bytes, *grids);
    EXPECT_EQ(grids->ad[0][0], -32768);
    EXPECT_EQ(grids->ad[0][1], 32767);
    EXPECT_EQ(grids->ad[0][28], 0x1234);
}

TEST(ImagePacketDecoding, OnlyTheValuesThatFitTheGridAreKept) {
    struct Case {
        const char* what;
        uint8_t id;
        int line, block;
        int stored;
    };
    const Case cases[] = {
        // 29 * 3 = 87: positions 87, 88 and 89 fit, the other 26 are dropped.
        {"last block of a row", 0x4B, 5, 3, 3},
        {"last block of a column", 0x50, 5, 3, 3},
        {"line 90", 0x4B, 90, 0, 0},
        {"negative line", 0x4A, -1, 0, 0},
        {"line 127", 0x51, 127, 0, 0},
        {"negative block", 0x4B, 5, -1, 0},
        {"block past the grid", 0x50, 5, 4, 0},
        {"id without an image", 0x3B, 5, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto grids = std::make_unique<ImageGrids>();
        const auto packet = imagePacket(c.id, c.line, c.block, 1000);
        EXPECT_EQ(decodeImagePacket(packet.bytes, *grids), c.stored);

        auto expected = std::make_unique<ImageGrids>();
        for (int i = 0; i < c.stored; ++i) {
            const int position = 87 + i;
            switch (c.id) {
                case 0x4B: expected->ad[c.line][position] = 1000 + i; break;
                case 0x50: expected->adLevel[position][c.line] = 1000 + i; break;
                default: break;
            }
        }
        EXPECT_EQ(grids->ad, expected->ad);
        EXPECT_EQ(grids->adLevel, expected->adLevel);
    }
}

TEST(LineTransform, FollowsTheCurveRule) {
    struct Case {
        const char* what;
        std::vector<int32_t> a;
        std::vector<int32_t> w;
    };
    const Case cases[] = {
        // w0 = -10 -> 0; (10-4)/2 = 3; (4-7)/2 = -1 -> 0; (7-7)/2 = 0; w4 = a3.
        {"five values", {10, 4, 7, 7, 3}, {0, 3, 0, 0, 7}},
        // 9; (-9 - -2)/2 = -3 -> 0; (-2 - -9)/2 = 3.5 truncates to 3; w3 = a2 = -9 -> 0.
        {"truncation", {-9, -2, -9, 5}, {9, 0, 3, 0}},
        {"two values", {-7, 3}, {7, 0}},
        {"two values, positive first", {5, 3}, {0, 5}},
        {"one value", {-5}, {5}},
        {"one positive value", {5}, {0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<int32_t> w(c.a.size(), 12345);
        transformLine(c.a.data(), 1, w.data(), 1, int(c.a.size()));
        EXPECT_EQ(w, c.w);
    }
}

TEST(LineTransform, OneValueLineReadsNothingBeforeIt) {
    // A line that starts behind another value: reading a[-1] would bring
    // the 999 into the result.
    const int32_t memory[2] = {999, -5};
    int32_t w = 0;
    transformLine(memory + 1, 1, &w, 1, 1);
    EXPECT_EQ(w, 5);
}

TEST(LineTransform, ColumnsAndInPlace) {
    auto grid = std::make_unique<ImageGrid>();
    const int32_t column[] = {-4, 6, 2, 10};
    for (int r = 0; r < 4; ++r) (*grid)[r][3] = column[r];
    auto work = std::make_unique<ImageGrid>();
    transformLine(&(*grid)[0][3], kGridSize, &(*work)[0][3], kGridSize, 4);
    // 4; (-4-6)/2 = -5 -> 0; (6-2)/2 = 2; w3 = a2 = 2.
    EXPECT_EQ((*work)[0][3], 4);
    EXPECT_EQ((*work)[1][3], 0);
    EXPECT_EQ((*work)[2][3], 2);
    EXPECT_EQ((*work)[3][3], 2);
    EXPECT_EQ((*work)[0][2], 0);  // the neighbouring column stays untouched

    int32_t line[] = {10, 4, 7, 7, 3};
    transformLine(line, 1, line, 1, 5);
    EXPECT_EQ(std::vector<int32_t>(line, line + 5), (std::vector<int32_t>{0, 3, 0, 0, 7}));
}

uint16_t* blockWithThresholds(std::array<uint16_t, 64>& block, uint16_t x2y, uint16_t y2x) {
    block.fill(0);
    block[3] = x2y;  // "ThresholdMulti X2Y"
    block[4] = y2x;  // "ThresholdMulti Y2X"
    return block.data();
}

TEST(ImageFields, StartValuesAndTheVantorRule) {
    std::array<uint16_t, 64> block;
    blockWithThresholds(block, 1111, 50000);
    const ImageFields plain = startFields(QStringLiteral("OSP-4000"), block.data());
    EXPECT_EQ(plain.orientation, kDriveYX);
    EXPECT_EQ(plain.displayMode, kAdLevelView);
    EXPECT_EQ(plain.threshold, 50000);  // unsigned word, Y2X
    EXPECT_EQ(plain.shift, 5u);
    EXPECT_TRUE(plain.showValues);
    EXPECT_EQ(plain.driveText, QStringLiteral("Y->X"));
    EXPECT_EQ(adLevelHighlightLimit(isVantor(QStringLiteral("OSP-4000"))), 1800);

    // "Vantor" lowers the start shift and the highlight limit, nothing else.
    const ImageFields vantor = startFields(QStringLiteral("PX Vantor 2"), block.data());
    EXPECT_EQ(vantor.shift, 1u);
    EXPECT_EQ(adLevelHighlightLimit(isVantor(QStringLiteral("PX Vantor 2"))), 125);
    EXPECT_EQ(vantor.orientation, plain.orientation);
    EXPECT_EQ(vantor.displayMode, plain.displayMode);
    EXPECT_EQ(vantor.threshold, plain.threshold);
    EXPECT_EQ(vantor.showValues, plain.showValues);
    EXPECT_EQ(vantor.driveText, plain.driveText);
    EXPECT_FALSE(isVantor(QStringLiteral("vantor")));  // the name as the firmware spells it
}

TEST(ImageFields, ThresholdKeysStopAtTheirLimits) {
    struct Case {
        int32_t start;
        char key;
        int32_t after;
    };
    const Case cases[] = {
        {300, '-', 200},        {200, '-', 200},        {1000, '-', 800},
        {99900, '+', 100000},   {99801, '+', 100000},   {100000, '+', 100000},
        {1000, '+', 1200},      {INT32_MAX, '+', 100000}, {INT32_MIN, '-', 200},
        {-5000, '+', -4800},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.start << ' ' << c.key);
        ImageFields f;
        f.threshold = c.start;
        EXPECT_EQ(applyKey(f, QChar(c.key)), KeyAction::Changed);
        EXPECT_EQ(f.threshold, c.after);
    }
    // '-' at 300 twice: 200, then 200 again.
    ImageFields f;
    f.threshold = 300;
    applyKey(f, QChar('-'));
    applyKey(f, QChar('-'));
    EXPECT_EQ(f.threshold, 200);
}

TEST(ImageFields, ShiftStopsAtOneAndFifteen) {
    ImageFields f;
    for (int i = 0; i < 40; ++i) applyKey(f, QChar('a'));
    EXPECT_EQ(f.shift, 1u);
    decreaseShift(f);
    EXPECT_EQ(f.shift, 1u);
    for (int i = 0; i < 40; ++i) applyKey(f, QChar('q'));
    EXPECT_EQ(f.shift, 15u);
    increaseShift(f);
    EXPECT_EQ(f.shift, 15u);
    decreaseShift(f);
    EXPECT_EQ(f.shift, 14u);
}

TEST(ImageFields, OtherKeys) {
    ImageFields f;
    const ImageFields before = f;
    EXPECT_EQ(applyKey(f, QChar('i')), KeyAction::Changed);
    EXPECT_FALSE(f.showValues);
    applyKey(f, QChar('i'));
    EXPECT_TRUE(f.showValues);
    // 's' is the swap command; the caller runs it against the controller.
    EXPECT_EQ(applyKey(f, QChar('s')), KeyAction::SwapDrive);
    for (const char key : {'Q', 'A', 'S', 'x', '='}) EXPECT_EQ(applyKey(f, QChar(key)), KeyAction::None);
    EXPECT_EQ(f.threshold, before.threshold);
    EXPECT_EQ(f.shift, before.shift);
    EXPECT_EQ(f.orientation, before.orientation);
}

TEST(ImageFields, SwapTakesTheThresholdOfTheNewOrder) {
    std::array<uint16_t, 64> block;
    blockWithThresholds(block, 1111, 2222);
    ImageFields f = startFields(QString(), block.data());
    flipDriveOrder(f, block.data());
    EXPECT_EQ(f.orientation, kDriveXY);
    EXPECT_EQ(f.driveText, QStringLiteral("X -> Y"));
    EXPECT_EQ(f.threshold, 1111);
    flipDriveOrder(f, block.data());
    EXPECT_EQ(f.orientation, kDriveYX);
    EXPECT_EQ(f.driveText, QStringLiteral("Y -> X"));
    EXPECT_EQ(f.threshold, 2222);
    EXPECT_EQ(multiThreshold(block.data(), kDriveXY), 1111);
    EXPECT_EQ(multiThreshold(block.data(), kDriveYX), 2222);
}

TEST(ImageFields, ThresholdTextKeepsTheLastValidValue) {
    struct Case {
        const char* text;
        bool ok;
        int32_t after;  // starting from 700
    };
    const Case cases[] = {
        {"1500", true, 1500},         {" 42 ", true, 42},
        {"-7", true, -7},             {"-2147483648", true, INT32_MIN},
        {"2147483647", true, INT32_MAX}, {"", false, 700},
        {"-", false, 700},            {"12a", false, 700},
        {"2147483648", false, 700},   {"0x10", false, 700},
        {"1e3", false, 700},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        int32_t threshold = 700;
        EXPECT_EQ(parseThreshold(QString::fromLatin1(c.text), &threshold), c.ok);
        EXPECT_EQ(threshold, c.after);
    }
}

}  // namespace
}  // namespace lumora::image
