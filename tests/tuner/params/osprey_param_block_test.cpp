// The parameter block's layout, its checksum and the page's load/save
// conversions, without a device.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "tuner/params/osprey_param_block.h"
#include "tuner/params/osprey_param_values.h"

namespace lumora {
namespace {

OspreyParamBlock blockWithWords(std::initializer_list<std::pair<int, uint16_t>> words) {
    OspreyParamBlock block;
    for (auto [k, v] : words) block.setWord(k, v);
    return block;
}

TEST(OspreyArea, WordsAreStoredLowByteFirst) {
    OspreyParamBlock block;
    block.setWord(6, 0x1E28);
    EXPECT_EQ(block.bytes()[12], 0x28);
    EXPECT_EQ(block.bytes()[13], 0x1E);
    EXPECT_EQ(block.numsOfX(), 0x28);
    EXPECT_EQ(block.numsOfY(), 0x1E);

    block.setFreqIndex2(3);
    EXPECT_EQ(block.word(18), 0x0300);
    block.setAvailableTouch(5);
    EXPECT_EQ(block.word(19), 0x0500);
}

TEST(OspreyArea, ChecksumIsTheWrappingSumPlus0x55AndCatchesAnySingleChange) {
    OspreyParamBlock block;
    uint32_t sum = 0x0055;
    for (int k = 0; k < 63; ++k) {
        const auto value = static_cast<uint16_t>(0xF00D + 977 * k);  // wraps past 16 bits
        block.setWord(k, value);
        sum += value;
    }
    block.setWord(63, static_cast<uint16_t>(sum & 0xFFFF));
    ASSERT_EQ(block.computedChecksum(), static_cast<uint16_t>(sum & 0xFFFF));
    ASSERT_TRUE(block.checksumMatches());

    for (int k = 0; k < 63; ++k) {
        OspreyParamBlock changed = block;
        changed.setWord(k, static_cast<uint16_t>(block.word(k) + 1));
        EXPECT_FALSE(changed.checksumMatches()) << "word " << k;
    }

    uint16_t zeros[63] = {};
    EXPECT_EQ(ospreyChecksum(zeros), 0x0055);
}

// Every byte of words 1..63 belongs to exactly one captioned field, except
// the places the tuner leaves as read: the low byte of word 19, words 29 and 52.
TEST(OspreyFields, CoverEveryCaptionedByteOnce) {
    std::set<int> owned;
    for (const OspreyFieldInfo& info : kOspreyFields) {
        ASSERT_GE(info.word, 1) << info.caption;
        ASSERT_LE(info.word, 63) << info.caption;
        std::vector<int> bytes;
        if (info.part != FieldPart::High) bytes.push_back(2 * info.word);
        if (info.part != FieldPart::Low) bytes.push_back(2 * info.word + 1);
        for (int b : bytes) EXPECT_TRUE(owned.insert(b).second) << info.caption << " overlaps";

        // Writing the field through the table touches its place and no other.
        OspreyParamBlock block;
        block.setField(info.field, 0xABCD);
        for (int b = 0; b < 128; ++b) {
            const bool mine = std::find(bytes.begin(), bytes.end(), b) != bytes.end();
            if (!mine) {
                EXPECT_EQ(block.bytes()[b], 0) << info.caption << " wrote byte " << b;
            }
        }
        EXPECT_EQ(block.field(info.field), info.part == FieldPart::Word ? 0xABCD : 0xCD)
            << info.caption;
    }
    std::set<int> uncaptioned = {0, 1, 38, 58, 59, 104, 105};
    for (int b = 0; b < 128; ++b)
        EXPECT_EQ(owned.count(b) == 1, uncaptioned.count(b) == 0) << "byte " << b;
}

TEST(OspreyFields, NamedAccessorsMatchTheTable) {
    OspreyParamBlock block;
    for (int k = 0; k < 64; ++k) block.setWord(k, static_cast<uint16_t>(0x0101 * (k + 1)));
    EXPECT_EQ(block.thresholdSingleX(), block.field(OspreyField::ThresholdSingleX));
    EXPECT_EQ(block.thresholdMultiY2X(), block.word(4));
    EXPECT_EQ(block.edgeCompenLevel(), block.lowByte(34));
    EXPECT_EQ(block.edgeCompenLimit(), block.highByte(34));
    EXPECT_EQ(block.secondTxChStart(), block.lowByte(45));
    EXPECT_EQ(block.fourPtULY(), block.word(57));
    EXPECT_EQ(block.crc(), block.word(63));
    EXPECT_STREQ(fieldInfo(OspreyField::FourPtLRX).caption, "4PT LRX");
    EXPECT_STREQ(fieldInfo(OspreyField::ThresholdMultiX2Y).caption, "ThresholdMulti X2Y");
}

TEST(OspreyParamValues, RightClickTimeNeedsMoreThan16Bits) {
    OspreyParamValues values;
    OspreyParamBlock block = blockWithWords({{26, 0xFFFF}});
    valuesFromBlock(block, values);
    EXPECT_EQ(values.hidRightClickTimeMs, 65535 * 30);
    EXPECT_EQ(values[OspreyField::HidRightClickCnts], 65535);

    OspreyParamBlock saved = block;
    saved.setWord(26, 0);
    blockFromValues(values, saved);
    EXPECT_EQ(saved.word(26), 0xFFFF);
}

TEST(OspreyParamValues, CyclesKeepTheirValuesWhenFreqIndex2IsZero) {
    OspreyParamValues values;
    valuesFromBlock(blockWithWords({{18, 0x0300}, {20, 0x2519}}), values);  // gains 25, 37
    EXPECT_EQ(values.singleCycle, 25 / 6);
    EXPECT_EQ(values.multiCycle, 37 / 6);

    valuesFromBlock(blockWithWords({{18, 0x0000}, {20, 0x2519}}), values);
    EXPECT_EQ(values.singleCycle, 4);
    EXPECT_EQ(values.multiCycle, 6);
    EXPECT_EQ(values[OspreyField::SingleGain], 25);

    // Nothing to multiply by: both gains go back as 0.
    OspreyParamBlock saved = blockWithWords({{20, 0x2519}});
    blockFromValues(values, saved);
    EXPECT_EQ(saved.word(20), 0);
}

TEST(OspreyParamValues, SaveKeepsUncaptionedPlacesAndSendsTheValuesForTheRest) {
    OspreyParamBlock loaded;
    for (int k = 0; k < 64; ++k) loaded.setWord(k, static_cast<uint16_t>(0x1111 * (k % 15 + 1)));
    loaded.setWord(0, kFlagAutoCalibration);
    loaded.setWord(18, 0x0201);            // FreqIndex2 2
    loaded.setWord(20, 0x1814);            // gains 20, 24: multiples of 4
    loaded.setWord(30, 0x0A08);            // LinearFilterLevel 8
    loaded.setWord(34, 0x050C);            // EdgeCompenLevel 12, EdgeCompenLimit 5
    loaded.setWord(19, 0x03EE);            // AvailableTouch 3, uncaptioned low byte 0xEE
    OspreyParamValues values;
    valuesFromBlock(loaded, values);

    // What the controller held is sent back unchanged.
    OspreyParamBlock saved = loaded;
    blockFromValues(values, saved);
    for (int k = 0; k < 64; ++k) EXPECT_EQ(saved.word(k), loaded.word(k)) << "word " << k;

    // Places without a caption come from the block, not from the values.
    OspreyParamBlock other = loaded;
    other.setWord(29, 0x2929);
    other.setWord(52, 0x5252);
    other.setLowByte(19, 0x19);
    values[OspreyField::ThresholdSingleX] = 0x12345;  // keeps its low 16 bits
    values[OspreyField::NumsOfX] = 0x1FF;             // keeps its low 8 bits
    blockFromValues(values, other);
    EXPECT_EQ(other.word(29), 0x2929);
    EXPECT_EQ(other.word(52), 0x5252);
    EXPECT_EQ(other.lowByte(19), 0x19);
    EXPECT_EQ(other.thresholdSingleX(), 0x2345);
    EXPECT_EQ(other.numsOfX(), 0xFF);
    EXPECT_EQ(other.numsOfY(), loaded.numsOfY());
}

}  // namespace
}  // namespace lumora
