// The plain rules of start-up and exit: title suffix and report id.
#include <gtest/gtest.h>

#include "tuner/app/startup.h"

namespace lumora {
namespace {

TEST(StartupRules, TitleBase) {
    EXPECT_EQ(tunerTitleBase(), "LumoraTuner_Release v2.3.2.6 for ");
}

TEST(StartupRules, IdentitySuffixPerTypeCode) {
    const struct {
        int code;
        int8_t x, y;
        const char* suffix;
    } cases[] = {
        {4, 40, 30, " (Model:ZT-4030, X:40, Y:30, Ver:4.2.17)"},
        // 5, 6 and 8 keep a blank before the closing parenthesis.
        {5, 40, 30, " (Model:ZT-4030, X:40, Y:30, Ver:4.2.17 )"},
        {6, 40, 30, " (Model:ZT-4030, X:40, Y:30, Ver:4.2.17 )"},
        {8, 40, 30, " (Model:ZT-4030, X:40, Y:30, Ver:4.2.17 )"},
        // Counts are signed bytes: 200 and 128 print as negative numbers.
        {4, int8_t(200), int8_t(128), " (Model:ZT-4030, X:-56, Y:-128, Ver:4.2.17)"},
        {6, int8_t(255), 127, " (Model:ZT-4030, X:-1, Y:127, Ver:4.2.17 )"},
        {1, 40, 30, ""}, {2, 40, 30, ""}, {3, 40, 30, ""}, {7, 40, 30, ""},
        {9, 40, 30, ""}, {0, 40, 30, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(identitySuffix(uint8_t(c.code), "ZT-4030", c.x, c.y, "4.2.17"), c.suffix)
            << "type code " << c.code;
}

TEST(StartupRules, BootLoaderCodes) {
    for (int code = 0; code < 256; ++code)
        EXPECT_EQ(isBootLoaderCode(uint8_t(code)), code == 1 || code == 2 || code == 3 || code == 7)
            << code;
}

TEST(StartupRules, ReportIdRestoredAtExit) {
    const struct {
        int code;
        int modern;  // report id on a modern multitouch host, 0 = no switch
    } cases[] = {{4, 4}, {5, 4}, {6, 6}, {8, 6}, {1, 0}, {2, 0}, {3, 0}, {7, 0}, {9, 0}, {0, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(exitReportId(uint8_t(c.code), true), c.modern) << "type code " << c.code;
        // An older host gets the legacy id 1 back whatever the code.
        EXPECT_EQ(exitReportId(uint8_t(c.code), false), 1) << "type code " << c.code;
    }
}

}  // namespace
}  // namespace lumora
