#include <gtest/gtest.h>

#include <map>

#include "tester/app/link_rules.h"
#include "tests/tester/app/print_qt.h"

namespace lumora::tester {
namespace {

TEST(TesterTitles, ConnectedNotConnectedAndDisconnected) {
    EXPECT_EQ(connectedTitle("ZEMA", "Line1", "ZT-4030", "4.2.17", 40, 30, 0),
              " LumoraPCBTester v2.3.2.6 for ZEMA-Line1 (M:ZT-4030, V:4.2.17, X:40, Y:30, USB)");
    EXPECT_EQ(connectedTitle("ZEMA", "Demo", "ZH-6022", "6.0.42", 36, 22, 1),
              " LumoraPCBTester v2.3.2.6 for ZEMA-Demo (M:ZH-6022, V:6.0.42, X:36, Y:22, UART)");
    // Other interfaces add nothing; counts are the controller's signed bytes.
    EXPECT_EQ(connectedTitle("ZEMA", "Demo", "M", "V", int8_t(-56), 1, 2),
              " LumoraPCBTester v2.3.2.6 for ZEMA-Demo (M:M, V:V, X:-56, Y:1,");
    EXPECT_EQ(notConnectedTitle("ZEMA", "Demo"), " LumoraPCBTester v2.3.2.6 for ZEMA-Demo (No Link)");
    EXPECT_EQ(disconnectedTitle(), "LumoraPCBTester v2.3.2.6 for  (No Link)");
}

struct PathCase {
    const char* path;
    bool matches;
};

class ArrivalPathTest : public testing::TestWithParam<PathCase> {};

TEST_P(ArrivalPathTest, AcceptsOnlyTheControllerCommandCollection) {
    EXPECT_EQ(isControllerArrivalPath(QString::fromLatin1(GetParam().path)), GetParam().matches)
        << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ArrivalPathTest,
    testing::Values(
        PathCase{R"(\\?\HID#VID_2F1B&PID_7A04&col05#7&1a2b3c4d&0&0004#{4d1e55b2-f16f-11cf-88cb-001111000030})", true},
        PathCase{R"(\\?\hid#vid_2f1b&pid_7b06&COL05#x)", true},  // case does not matter
        PathCase{R"(\\?\HID#VID_2F1B&PID_7A04&col05)", true},    // exactly 31 characters
        PathCase{R"(\\?\HID#VID_2F1B&PID_7A04&col0)", false},    // 30 characters
        PathCase{R"(\\?\HID#VID_2F1B&PID_7A04&col04#x)", false}, // another collection
        PathCase{R"(\\?\HID#VID_2F1B&PID_7A04&col06#x)", false},
        PathCase{R"(\\?\HID#VID_2F1B&PID_6BFE&col05#x)", false}, // product id not starting with 7
        PathCase{R"(\\?\HID#VID_14F8&PID_7804&col05#x)", false}, // another vendor
        PathCase{R"(\\.\HID#VID_2F1B&PID_7A04&col05#x)", false},
        PathCase{"", false}));

TEST(ModeReport, MapsItsByteToATypeCode) {
    const std::map<int, int> expected = {{0, -1}, {1, 2}, {2, 4}, {3, 1}, {4, 5},
                                         {5, 3},  {6, 6}, {7, 3}, {8, 6}};
    for (int byte = 0; byte < 256; ++byte) {
        const auto it = expected.find(byte);
        EXPECT_EQ(typeCodeFromModeReport(uint8_t(byte), 42), it == expected.end() ? 42 : it->second)
            << "mode byte " << byte;
    }
}

TEST(ExitReportId, ByHostAndFamily) {
    for (int code : {6, 8}) EXPECT_EQ(exitReportId(code, true), 6);
    for (int code : {4, 5, 9, -1}) EXPECT_EQ(exitReportId(code, true), 4);
    for (int code : {4, 6, 8}) EXPECT_EQ(exitReportId(code, false), 1);
}

TEST(ParameterBlockCheck, SumsTheFamilyRangeWithItsSeed) {
    ParamCheckRule rule;
    ASSERT_TRUE(paramCheckRule(4, &rule));
    EXPECT_EQ(rule.firstWord, 192);
    ASSERT_TRUE(paramCheckRule(5, &rule));
    EXPECT_EQ(rule.seed, 0xAA55);
    for (int code : {1, 2, 3, 7, 9, 0}) EXPECT_FALSE(paramCheckRule(code, &rule)) << code;

    // A memory whose words 64..254 hold 0x0100 each, so that the sum wraps.
    ASSERT_TRUE(paramCheckRule(6, &rule));
    uint16_t stored = 0x55;
    for (int i = 64; i <= 254; ++i) stored = uint16_t(stored + 0x0100);
    int failAt = -1;
    auto read = [&](int index, uint16_t* word) {
        if (index == failAt) return false;
        *word = index == 255 ? stored : 0x0100;
        return true;
    };
    EXPECT_EQ(checkParameterBlock(rule, read), ParamCheck::Match);
    stored = uint16_t(stored + 1);
    EXPECT_EQ(checkParameterBlock(rule, read), ParamCheck::Mismatch);
    failAt = 255;
    EXPECT_EQ(checkParameterBlock(rule, read), ParamCheck::ReadFailed);
    failAt = 100;
    EXPECT_EQ(checkParameterBlock(rule, read), ParamCheck::ReadFailed);
    failAt = 63;  // outside the range: never read
    stored = uint16_t(stored - 1);
    EXPECT_EQ(checkParameterBlock(rule, read), ParamCheck::Match);
}

}  // namespace
}  // namespace lumora::tester
