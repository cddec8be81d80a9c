// Reading the built-in tests' item and final records into CTestResult.
#include "device/test_records.h"

#include <gtest/gtest.h>

namespace {

using lumora::CTestResult;

struct RecordBytes {
    uint8_t bytes[lumora::kRecordSize] = {};
    RecordBytes(int result, uint16_t first, uint16_t second, int16_t value) {
        bytes[4] = static_cast<uint8_t>(result);
        lumora::writeLE16(bytes + 5, first);
        lumora::writeLE16(bytes + 7, second);
        lumora::writeLE16(bytes + 9, value);
    }
};

TEST(TestRecords, OpenItemReadsOneChannelAndItsValue) {
    uint8_t record[lumora::kRecordSize] = {0, 0, 0, 0, 0xFF, 0x05, 0x80, 0x18, 0xFC};
    const CTestResult r = lumora::openItemOf(record);
    EXPECT_EQ(r.kind, lumora::kOpenTestKind);
    EXPECT_EQ(r.result, -1) << "the signed byte unchanged";
    EXPECT_EQ(r.firstAxis, lumora::kAxisY);
    EXPECT_EQ(r.firstIndex, 5);
    EXPECT_EQ(r.value, -1000);
    EXPECT_EQ(r.secondAxis, -1);
    EXPECT_EQ(r.secondIndex, -1);
    EXPECT_EQ(r.firstSubKind, -1);
}

TEST(TestRecords, PairItemsByKind) {
    struct Case {
        lumora::TestKind kind;
        RecordBytes record;
        CTestResult expected;
    };
    auto item = [](int16_t kind, int16_t value, int16_t a1, int16_t i1, int16_t a2, int16_t i2,
                   int16_t s1, int16_t s2, int16_t result) {
        CTestResult r;
        r.kind = kind; r.value = value; r.firstAxis = a1; r.firstIndex = i1;
        r.secondAxis = a2; r.secondIndex = i2; r.firstSubKind = s1; r.secondSubKind = s2;
        r.result = result;
        return r;
    };
    const int16_t X = lumora::kAxisX, Y = lumora::kAxisY;
    const Case cases[] = {
        // A short pair Y3-Y4 that failed with 40000 (read back as a signed value).
        {lumora::kShortTestKind, {0, 0x8003, 0x8004, static_cast<int16_t>(40000)},
         item(1, -25536, Y, 3, Y, 4, -1, -1, 0)},
        // Mutual results are "byte 4 nonzero"; the sub-kinds sit in bits 8..11.
        {lumora::kMutualTestKind, {-3, 0x0107, 0x8002, 3100}, item(2, 3100, X, 0x107, Y, 2, 1, 0, 1)},
        {lumora::kMutualTestKind, {0, 0x0200, 0x0009, 150}, item(2, 150, X, 0x200, X, 9, 2, 0, 0)},
        // A mutual-table row: first index 255, label 101.
        {lumora::kMutualTestKind, {1, 0x00FF, 0x0065, 812}, item(2, 812, X, 255, X, 101, 0, 0, 1)},
        // AD level: the second channel word 0x00FF marks a single channel.
        {lumora::kADLevelTestKind, {-1, 0x0011, 0x00FF, 2400}, item(4, 2400, X, 17, X, 255, -1, -1, -1)},
    };
    for (const Case& c : cases) {
        const CTestResult r = lumora::pairItemOf(c.kind, c.record.bytes);
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " value " << c.expected.value);
        EXPECT_EQ(r.kind, c.expected.kind);
        EXPECT_EQ(r.value, c.expected.value);
        EXPECT_EQ(r.firstAxis, c.expected.firstAxis);
        EXPECT_EQ(r.firstIndex, c.expected.firstIndex);
        EXPECT_EQ(r.secondAxis, c.expected.secondAxis);
        EXPECT_EQ(r.secondIndex, c.expected.secondIndex);
        EXPECT_EQ(r.firstSubKind, c.expected.firstSubKind);
        EXPECT_EQ(r.secondSubKind, c.expected.secondSubKind);
        EXPECT_EQ(r.result, c.expected.result);
    }
}

TEST(TestRecords, FinalResultIsSigned) {
    uint8_t record[8] = {0, 0, 0, 0, 0xFF};
    EXPECT_EQ(lumora::finalResultOf(record), -1);
    record[4] = 1;
    EXPECT_EQ(lumora::finalResultOf(record), 1);
}

}  // namespace
