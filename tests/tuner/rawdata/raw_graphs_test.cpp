#include "tuner/rawdata/raw_graphs.h"

#include <gtest/gtest.h>

#include <vector>

namespace lumora::rawdata {
namespace {

constexpr int kW = 400;
constexpr int kH = 160;  // lower baseline 130, middle 80

QImage area() { return QImage(kW, kH, QImage::Format_RGB32); }
QRgb at(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }
QRgb rgb(QRgb c) { return c & 0xFFFFFF; }

// True when some pixel of column x between y0 and y1 has the colour.
bool columnHas(const QImage& image, int x, int y0, int y1, QRgb colour) {
    for (int y = y0; y <= y1; ++y)
        if (at(image, x, y) == rgb(colour)) return true;
    return false;
}
bool imageHas(const QImage& image, QRgb colour) {
    for (int x = 0; x < image.width(); ++x)
        if (columnHas(image, x, 0, image.height() - 1, colour)) return true;
    return false;
}

TEST(RawGraphs, ScalesNeverFallBelowOne) {
    const std::vector<int32_t> lowLevels{-600, -900};
    const std::vector<int32_t> flat{7, 7};
    const std::vector<int32_t> spread{-50, 100};
    EXPECT_EQ(levelScaleOf(lowLevels), 1);
    EXPECT_EQ(levelScaleOf({}), 1000);
    EXPECT_EQ(levelScaleOf(spread), 1200);
    EXPECT_EQ(signedScaleOf(flat, 0), 1);
    EXPECT_EQ(signedScaleOf(spread, 0), 451);
    EXPECT_EQ(signedScaleOf(spread, 100), 600);
    EXPECT_EQ(recoveryScaleOf({}, 0), 1);
    EXPECT_EQ(recoveryScaleOf(spread, 0), 301);
    EXPECT_EQ(recoveryScaleOf(spread, 4000), 8000);
    const std::vector<int32_t> history{0, 100, 3};
    EXPECT_EQ(historyScaleOf(history), 130);
    EXPECT_EQ(historyScaleOf(flat), 10);
    EXPECT_EQ(valueY(1, 100, 160, 0), 100 - 160);
    EXPECT_EQ(valueY(int64_t(1) << 40, 100, 160, 1), -320) << "wild values stay drawable";
}

TEST(RawGraphs, BarColourFollowsTheSignAndTheThresholdLineItsRow) {
    QImage image = area();
    // Five channels: four slots drawn at x = 80, 160, 240, 320; the last is left out.
    const std::vector<int32_t> values{-50, 80, 0, 30, 999};
    const std::vector<int32_t> holdMax{60, 60, 0, 0, 0};
    drawBarGraph(image, values, 100, holdMax, {}, 40);
    EXPECT_EQ(at(image, 80, 100), rgb(kGraphRed));     // |-50| from y 50 down to 130
    EXPECT_EQ(at(image, 80, 25), rgb(kGraphBlack));    // above the bar and its hold
    EXPECT_EQ(at(image, 160, 100), rgb(kGraphGreen));  // 80 from y 2 down
    EXPECT_EQ(at(image, 320, 115), rgb(kGraphGreen));  // 30 reaches y 82
    EXPECT_EQ(at(image, 395, 66), rgb(kGraphTeal));    // threshold 40 at 130 - 64
    EXPECT_EQ(at(image, 120, 34), rgb(kGraphGreen));   // max hold 60 at 130 - 96
}

TEST(RawGraphs, BarScaleOfZeroCountsAsOne) {
    QImage image = area();
    const std::vector<int32_t> values{1, 0};
    drawBarGraph(image, values, 0, {}, {}, std::nullopt);
    EXPECT_EQ(at(image, 200, 5), rgb(kGraphGreen));  // 1 fills the whole height
    EXPECT_FALSE(imageHas(image, kGraphTeal)) << "no threshold, no line";
}

TEST(RawGraphs, LevelBarsTurnRedAbove1800UnderTheOrangeLine) {
    QImage image = area();
    const std::vector<int32_t> values{100, 2500, 0};  // scale 6000
    drawLevelGraph(image, values);
    EXPECT_EQ(at(image, 266, 100), rgb(kGraphRed));    // 2500 from y 64 down
    EXPECT_EQ(at(image, 133, 129), rgb(kGraphGreen));  // 100 reaches y 128
    EXPECT_EQ(at(image, 10, 82), rgb(kGraphOrange));   // 1800 at 130 - 48
}

TEST(RawGraphs, StrayCurvesAroundTheirMidpointAndTheWidestGapMarked) {
    QImage image = area();
    // Drawn: channels 0..2 at x = 100, 200, 300; range 90..120, midpoint 105, centre y 77.
    const std::vector<int32_t> s{100, 110, 120, 0};
    const std::vector<int32_t> ds{100, 90, 120, 0};
    drawStrayGraph(image, s, ds, 60);
    EXPECT_TRUE(columnHas(image, 150, 70, 84, kGraphGreen));  // from y 90 up to 64
    EXPECT_TRUE(columnHas(image, 150, 97, 110, kGraphRed));   // from y 90 down to 117
    EXPECT_EQ(at(image, 200, 5), rgb(kGraphTeal));            // widest gap: channel 1
    EXPECT_NE(at(image, 100, 5), rgb(kGraphTeal));
}

TEST(RawGraphs, CleanBarsRedAtOrAboveTheThresholdAndAllChannelsShown) {
    QImage image = area();
    // Four channels in five slots: x = 80, 160, 240, 320.
    const std::vector<int32_t> values{10, 50, 49, 0};
    drawCleanGraph(image, values, 100, {}, 50);
    EXPECT_EQ(at(image, 80, 120), rgb(kGraphGreen));
    EXPECT_EQ(at(image, 160, 100), rgb(kGraphRed));
    EXPECT_EQ(at(image, 240, 100), rgb(kGraphGreen));
    EXPECT_EQ(at(image, 320, 130), rgb(kGraphGreen)) << "the last channel is drawn";
    EXPECT_EQ(at(image, 395, 50), rgb(kGraphTeal));  // threshold 50 at 130 - 80
}

TEST(RawGraphs, HistoryCurveAndTexts) {
    QImage image = area();
    const std::vector<int32_t> history(512, 100);  // scale 130: y = 158 - 123
    drawHistoryGraph(image, history, {300, 20, 100});
    EXPECT_EQ(at(image, 300, 35), rgb(kGraphGreen));
    const std::vector<int32_t> zeros(512, 0);  // scale 10: the curve lies at y 158
    drawHistoryGraph(image, zeros, {});
    EXPECT_EQ(at(image, 300, 158), rgb(kGraphGreen));

    EXPECT_EQ(historySnTexts({300, 20, 100})[0], "S/N (Max): 03");
    EXPECT_EQ(historySnTexts({300, 20, 100})[1], "S/N (Min): 00");
    EXPECT_EQ(historySnTexts({2500, 1200, 100})[0], "S/N (Max): 25");
    EXPECT_EQ(historySnTexts({300, 20, 0})[0], "S/N (Max): N/A");
    EXPECT_EQ(historySnTexts({300, 20, 0})[1], "S/N (Min): N/A");
}

TEST(RawGraphs, HistoryStatsOverTheChannels) {
    const std::vector<int32_t> abMax{5, 40, 12};
    const std::vector<int32_t> ab{-3, 4, 6};
    const HistoryStats s = historyStatsOf(abMax, ab);
    EXPECT_EQ(s.max, 40);
    EXPECT_EQ(s.min, 5);
    EXPECT_EQ(s.avg, 13 / 3);
    const HistoryStats none = historyStatsOf({}, {});
    EXPECT_EQ(none.max, 0);
    EXPECT_EQ(none.avg, 0);
}

TEST(RawGraphs, SignedStemsScaleWithSpreadOrThreshold) {
    QImage image = area();
    // Three channels in four slots: x = 100, 200, 300; scale 601 around y 80.
    const std::vector<int32_t> values{100, -100, 0};
    drawSignedGraph(image, values, 0);
    EXPECT_EQ(at(image, 100, 65), rgb(kGraphGreen));  // up to y 54
    EXPECT_EQ(at(image, 200, 95), rgb(kGraphGreen));  // down to y 106
    drawSignedGraph(image, values, 1000);             // scale 6000: stems of 2 pixels
    EXPECT_EQ(at(image, 100, 65), rgb(kGraphBlack));
}

TEST(RawGraphs, RecoveryMarksChannelsAtLeastTheThresholdAboveTheMinimum) {
    QImage image = area();
    // min -50, scale 301; channel 1 (100) qualifies, channel 2 (10) does not.
    const std::vector<int32_t> values{-50, 100, 10};
    drawRecoveryGraph(image, values, 100);
    EXPECT_TRUE(columnHas(image, 205, 20, 34, kGraphRed));   // big circle around (200, 27)
    EXPECT_FALSE(columnHas(image, 305, 68, 82, kGraphRed));  // none around (300, 75)
    EXPECT_EQ(at(image, 200, 50), rgb(kGraphGreen));         // its stem
}

TEST(RawGraphs, NoChannelsDrawNoData) {
    // Zero and one channel: slot counts of 0, 1 and 2, empty averages and
    // maxima. Each graph still paints its black area and nothing in colour.
    for (int n : {0, 1}) {
        SCOPED_TRACE(n);
        const std::vector<int32_t> v(static_cast<size_t>(n), 5000);
        QImage image = area();
        drawBarGraph(image, v, 0, v, v, std::nullopt);
        EXPECT_FALSE(imageHas(image, kGraphGreen));
        drawLevelGraph(image, v);
        EXPECT_FALSE(imageHas(image, kGraphRed));
        drawNoiseGraph(image, v);
        EXPECT_FALSE(imageHas(image, kGraphRed));
        drawStrayGraph(image, v, v, 0);
        EXPECT_FALSE(imageHas(image, kGraphTeal));
    }
    QImage image = area();
    drawCleanGraph(image, {}, 0, {}, 0);
    EXPECT_FALSE(imageHas(image, kGraphGreen));
    drawSignedGraph(image, {}, 0);
    EXPECT_FALSE(imageHas(image, kGraphGreen));
    drawRecoveryGraph(image, {}, 0);
    EXPECT_FALSE(imageHas(image, kGraphGreen));
    drawHistoryGraph(image, {}, {});
    EXPECT_EQ(at(image, 300, 100), rgb(kGraphBlack));
}

}  // namespace
}  // namespace lumora::rawdata
