#include <gtest/gtest.h>


#include "tester/app/status_panel.h"
#include "tests/tester/app/tester_fixture.h"

namespace lumora::tester {
namespace {

const QColor kBlue(0, 0, 255), kRed(255, 0, 0), kGreen(0, 128, 0), kTeal(0, 128, 128);

struct LookCase {
    const char* what;
    StatusPanelState state;
    QColor colour;
    const char* text;
    bool controllerModeLine;
};

StatusPanelState make(int countdown, bool open, int code, bool running, bool finished, int verdict,
                      int step, int connector) {
    return {countdown, open, code, running, finished, verdict, step, connector};
}

class StatusPanelLookTest : public testing::TestWithParam<LookCase> {};

TEST_P(StatusPanelLookTest, FirstConditionThatAppliesWins) {
    const LookCase& c = GetParam();
    const StatusPanelLook look = statusPanelLook(c.state);
    EXPECT_EQ(look.colour, c.colour) << c.what;
    EXPECT_EQ(look.text, QString::fromLatin1(c.text)) << c.what;
    EXPECT_EQ(look.controllerModeLine, c.controllerModeLine) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, StatusPanelLookTest,
    testing::Values(
        LookCase{"countdown", make(3, true, 4, true, true, 1, 0, 0), kBlue, " 3 ", false},
        LookCase{"countdown without unit", make(3, false, 4, false, false, 0, 0, 0), kRed, " NO LINK ", true},
        LookCase{"idle step 0", make(0, true, 4, false, false, 0, 0, 0), kBlue, "Wait T1 Test", true},
        LookCase{"idle step 1", make(-1, true, 6, false, false, 0, 1, 0), kBlue, "Wait T1-2 Test", true},
        LookCase{"idle step 2", make(0, true, 4, false, false, 0, 2, 0), kBlue, "Wait T1-3 Test", true},
        LookCase{"idle step 3", make(0, true, 4, false, false, 0, 3, 0), kBlue, "Wait T1-4 Test", true},
        LookCase{"idle step 4", make(0, true, 4, false, false, 0, 4, 0), kBlue, "Wait T2 Test", true},
        LookCase{"idle step 5", make(0, true, 4, false, false, 0, 5, 0), kBlue, "", true},
        LookCase{"boot loader", make(0, true, 7, false, false, 0, 0, 0), kRed, " NO LINK ", true},
        LookCase{"no unit", make(0, false, 4, false, false, 0, 0, 0), kRed, " NO LINK ", true},
        LookCase{"passed", make(0, true, 4, true, true, 1, 5, 0), kGreen, " PASS ", true},
        LookCase{"failed", make(0, false, 4, true, true, 0, 1, 1), kRed, " FAIL ", true},
        LookCase{"connector step 0", make(0, true, 4, true, false, 0, 0, 1), kBlue, "Wait T1 Test", true},
        LookCase{"connector step 2", make(0, true, 4, true, false, 0, 2, 1), kBlue, "Wait T2 Test", true},
        LookCase{"connector step 1", make(0, true, 4, true, false, 0, 1, 1), kBlue, "DON'T TOUCH", true},
        LookCase{"AD run step 3", make(0, true, 4, true, false, 0, 3, 0), kBlue, "Wait T1-4 Test", true}));

// Counts the pixels of one colour in a band of rows.
int countPixels(const QImage& image, const QColor& colour, int top, int bottom) {
    int n = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == colour) ++n;
    return n;
}

TEST(StatusPanelRender, FillsWithTheStateColourAndPlacesBothLines) {
    test_support::app();  // fonts need an application

    const QSize size(560, 200);
    const QImage idle = renderStatusPanel({kBlue, "Wait T1 Test", true}, size);
    ASSERT_EQ(idle.size(), size);
    EXPECT_EQ(idle.pixelColor(0, 0), kBlue);
    EXPECT_EQ(idle.pixelColor(559, 199), kBlue);
    // The white text sits below 30 % of the height, the teal line above 40 %.
    EXPECT_GT(countPixels(idle, Qt::white, 60, 200), 500);
    EXPECT_EQ(countPixels(idle, Qt::white, 0, 60), 0);
    EXPECT_GT(countPixels(idle, kTeal, 0, 80), 100);
    EXPECT_EQ(countPixels(idle, kTeal, 80, 200), 0);

    const QImage countdown = renderStatusPanel({kBlue, " 3 ", false}, size);
    EXPECT_EQ(countPixels(countdown, kTeal, 0, 200), 0);
    EXPECT_GT(countPixels(countdown, Qt::white, 60, 200), 100);

    const QImage noLink = renderStatusPanel({kRed, " NO LINK ", true}, size);
    EXPECT_EQ(noLink.pixelColor(2, 2), kRed);
    // A wide word covers more of the panel than one digit.
    EXPECT_GT(countPixels(noLink, Qt::white, 60, 200), 2 * countPixels(countdown, Qt::white, 60, 200));
}

}  // namespace
}  // namespace lumora::tester
