// The diagnostic graphs: the scale rule, the curve of the open values with
// its threshold line and smallest value, the flat AD view, and graphs with
// too few channels to draw.
#include <gtest/gtest.h>

#include <QImage>
#include <array>
#include <vector>

#include "tests/support/test_support.h"
#include "tuner/diag/diag_graph.h"

namespace lumora::diag {
namespace {

using Series = std::array<int16_t, 128>;

constexpr int kW = 560, kH = 240;

Series seriesOf(std::initializer_list<int> values) {
    Series s{};
    int i = 0;
    for (int v : values) s[size_t(i++)] = static_cast<int16_t>(v);
    return s;
}

QImage render(const Series& s, int count, std::vector<int> thresholds) {
    QImage image(kW, kH, QImage::Format_RGB32);
    drawDiagGraph(image, s, count, thresholds);
    return image;
}

bool rowHas(const QImage& im, int y, QRgb colour) {
    if (y < 0 || y >= im.height()) return false;
    for (int x = 0; x < im.width(); ++x)
        if (im.pixel(x, y) == colour) return true;
    return false;
}

// How many pixels of the row carry the colour.
int rowCount(const QImage& im, int y, QRgb colour) {
    int n = 0;
    for (int x = 0; x < im.width(); ++x) n += im.pixel(x, y) == colour ? 1 : 0;
    return n;
}

bool anyPixel(const QImage& im, QRgb colour) {
    for (int y = 0; y < im.height(); ++y)
        if (rowHas(im, y, colour)) return true;
    return false;
}

// Rows in which the column range [x0, x1] holds the colour.
std::vector<int> rowsIn(const QImage& im, int x0, int x1, QRgb colour) {
    std::vector<int> rows;
    for (int y = 0; y < im.height(); ++y)
        for (int x = x0; x <= x1; ++x)
            if (im.pixel(x, y) == colour) {
                rows.push_back(y);
                break;
            }
    return rows;
}

TEST(DiagGraphScale, ValuesAbove127RaiseItAndTheLastChannelIsLeftOut) {
    const struct {
        Series values;
        int count;
        int scale;
    } cases[] = {
        {seriesOf({0, 0, 0}), 3, 255},
        {seriesOf({-50, -3, 0}), 3, 255},
        {seriesOf({100, 127, 5}), 3, 255},
        {seriesOf({100, 128, 5}), 3, 257},
        {seriesOf({860, 35, 884, 870}), 4, 1769},
        {seriesOf({10, 20, 30000}), 3, 255},   // v[count - 1] is not drawn, nor counted
        {seriesOf({900}), 1, 255},
        {seriesOf({900}), 0, 255},
        {seriesOf({900}), -3, 255},
    };
    for (const auto& c : cases) EXPECT_EQ(diagGraphScale(c.values, c.count), c.scale) << c.count;
}

TEST(DiagGraph, OpenValuesCurveThresholdAndSmallestValue) {
    test_support::app();
    // Ten channels near 860, channel 3 open.
    const Series s = seriesOf({860, 865, 870, 35, 875, 880, 862, 868, 871, 900});
    const int count = 10;
    const QImage im = render(s, count, {200});
    const int y0 = diagBaseline(kH);
    const int scale = diagGraphScale(s, count);
    ASSERT_EQ(scale, 2 * 880 + 1);
    EXPECT_GT(rowCount(im, y0, kDiagAmber) + rowCount(im, y0 - 1, kDiagAmber), kW)
        << "the baseline runs across";
    EXPECT_GE(rowCount(im, diagValueY(200, kH, scale), kDiagTeal), kW - 30) << "threshold line";

    // The curve through v[0] sits at x(1) = W / 10, about half the height up.
    const int x1 = kW / count;
    const auto atX1 = rowsIn(im, x1, x1, kDiagGreen);
    ASSERT_FALSE(atX1.empty());
    EXPECT_NEAR(atX1.front(), diagValueY(860, kH, scale), 2);
    // The open channel (v[3]) pulls the curve down at x(4).
    const int x4 = 4 * kW / count;
    const auto atX4 = rowsIn(im, x4, x4, kDiagGreen);
    ASSERT_FALSE(atX4.empty());
    EXPECT_NEAR(atX4.back(), diagValueY(35, kH, scale), 2);
    EXPECT_GT(atX4.back(), y0 - 20);

    // The difference bar between channels 2 and 3 is tall: |35 - 870|.
    const int bar = static_cast<int>(3.5 * kW / count);
    const auto barRows = rowsIn(im, bar - 1, bar, kDiagGreen);
    ASSERT_FALSE(barRows.empty());
    EXPECT_NEAR(barRows.front(), diagValueY(835, kH, scale), 2);

    // The smallest value (35, channel 3) is written at x = 4 * W / 10, top 24.
    const auto amberRows = rowsIn(im, x4, x4 + 20, kDiagAmber);
    ASSERT_FALSE(amberRows.empty());
    EXPECT_GE(amberRows.front(), 24);
    EXPECT_LT(amberRows.front(), 40);
    EXPECT_TRUE(rowsIn(im, 0, x4 - 2, kDiagAmber).front() >= y0 - 1) << "nothing amber up left";

    // Channel labels in red under the baseline.
    bool red = false;
    for (int y = y0 + 2; y < kH; ++y) red |= rowHas(im, y, kDiagRed);
    EXPECT_TRUE(red);
}

// The AD view draws a series that nothing writes: a flat curve on the
// baseline and the reference line at 200.
TEST(DiagGraph, ADViewIsFlatWithTheReferenceLine) {
    test_support::app();
    const QImage im = render(Series{}, 30, {200});
    const int y0 = diagBaseline(kH);
    const int refY = diagValueY(200, kH, 255);
    EXPECT_GE(rowCount(im, refY, kDiagTeal), kW - 30);
    for (int y = 0; y < y0 - 1; ++y) {
        EXPECT_FALSE(rowHas(im, y, kDiagGreen)) << "green above the baseline at row " << y;
    }
    EXPECT_TRUE(rowHas(im, y0, kDiagGreen) || rowHas(im, y0 - 1, kDiagGreen)) << "the flat curve";
    // The "200" label sits just above its line at the left.
    EXPECT_FALSE(rowsIn(im, 0, 25, kDiagTeal).empty());
    EXPECT_LT(rowsIn(im, 0, 25, kDiagTeal).front(), refY - 2);
}

// Fewer than two channels (0 when no counts were fetched, or negative):
// background, grid and baseline only.
TEST(DiagGraph, TooFewChannelsShowBackgroundGridAndBaselineOnly) {
    test_support::app();
    const Series s = seriesOf({900, 35, 700});
    for (int count : {1, 0, -1, -128}) {
        const QImage im = render(s, count, {200, 50});
        const int y0 = diagBaseline(kH);
        EXPECT_TRUE(rowHas(im, y0, kDiagAmber)) << count;
        EXPECT_TRUE(rowHas(im, y0 / 8, kDiagGrid)) << count;
        for (QRgb c : {kDiagRed, kDiagGreen, kDiagTeal})
            EXPECT_FALSE(anyPixel(im, c)) << count << " colour " << std::hex << c;
    }
}

// Two channels draw no curve segment (i runs from 1 to count - 2) but
// have labels and the smallest value.
TEST(DiagGraph, TwoChannelsHaveLabelsButNoCurve) {
    test_support::app();
    const QImage im = render(seriesOf({500, 600}), 2, {});
    EXPECT_TRUE(anyPixel(im, kDiagRed));
    EXPECT_FALSE(anyPixel(im, kDiagGreen));
    EXPECT_FALSE(anyPixel(im, kDiagTeal)) << "no threshold given";
}

}  // namespace
}  // namespace lumora::diag
