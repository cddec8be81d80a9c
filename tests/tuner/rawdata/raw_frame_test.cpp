// Which graph each area of a frame shows for every view and lowerMode: each
// area must equal the graph drawn straight from the series it should show.
#include "tuner/rawdata/raw_frame.h"

#include <gtest/gtest.h>

#include <functional>

#include "tuner/rawdata/raw_graphs.h"

namespace lumora::rawdata {
namespace {

RawSnapshot sample() {
    RawSnapshot d;
    d.xCount = 12;
    d.yCount = 9;
    d.thresholdX = 150;
    d.thresholdY = 170;
    for (int c = 0; c < 12; ++c) {
        const auto i = static_cast<size_t>(c);
        // Every series different, so that a mixed-up series shows.
        d.delta.x[i] = 40 * c - 200;
        d.ab.x[i] = 30 * c;
        d.abMax.x[i] = 35 * c;
        d.deltaMax.x[i] = 45 * c;
        d.deltaMin.x[i] = -20 * c;
        d.stray.x[i] = 1000 + 7 * c;
        d.dstray.x[i] = 1010 - 3 * c;
        d.adLevel.x[i] = 150 * c;
        d.rawView.x[i] = (c % 3 - 1) * 90;
        d.noise.y[i] = 11 * c;
        d.noise.x[i] = 500;
    }
    d.abScale = {640, 700};
    d.strayScale = {90, 90};
    d.deltaPeak = {480, 300};
    for (int j = 0; j < kHistoryLength; ++j) d.history[kAxisX][static_cast<size_t>(j)] = j % 50;
    d.vk[0].count = 4;
    d.vk[0].data = {300, -120, 900, 40};
    d.vk[0].stray = {5000, 5100, 4900, 5050};
    d.vk[0].dstray = {5010, 5000, 4950, 5000};
    d.vk[1].count = 0;
    return d;
}

Values xOf(const SeriesPair& s, int n) { return Values(s.x.data(), static_cast<size_t>(n)); }

QImage drawn(QSize size, const std::function<void(QImage&)>& draw) {
    QImage image(size, QImage::Format_RGB32);
    draw(image);
    return image;
}

TEST(RawFrame, TopRowFollowsTheView) {
    const AreaSizes sizes;
    RawSnapshot d = sample();
    const int n = d.xCount;
    const std::function<void(QImage&)> expected[] = {
        [&](QImage& i) { drawSignedGraph(i, xOf(d.rawView, n), d.thresholdX); },
        [&](QImage& i) { drawCleanGraph(i, xOf(d.ab, n), d.abScale[0], xOf(d.abMax, n), d.thresholdX); },
        [&](QImage& i) { drawStrayGraph(i, xOf(d.stray, n), xOf(d.dstray, n), d.strayScale[0]); },
        [&](QImage& i) { drawLevelGraph(i, xOf(d.adLevel, n)); },
    };
    for (int view = 0; view < 4; ++view) {
        SCOPED_TRACE(view);
        d.view = view;
        RawFrame frame;
        renderFrame(d, sizes, frame);
        EXPECT_EQ(frame.x, drawn(sizes.top, expected[view]));
    }
}

TEST(RawFrame, LowerRowFollowsTheLowerMode) {
    const AreaSizes sizes;
    RawSnapshot d = sample();
    const int n = d.xCount;
    const auto& h = d.history[kAxisX];
    const std::function<void(QImage&)> expected[] = {
        [&](QImage& i) {
            drawHistoryGraph(i, Values(h.data(), h.size()), historyStatsOf(xOf(d.abMax, n), xOf(d.ab, n)));
        },
        [&](QImage& i) { drawCleanGraph(i, xOf(d.ab, n), d.abScale[0], xOf(d.abMax, n), d.thresholdX); },
        // Scale int(1.7 x deltaPeak) = 816.
        [&](QImage& i) { drawBarGraph(i, xOf(d.delta, n), 816, xOf(d.deltaMax, n), xOf(d.deltaMin, n), d.thresholdX); },
        [&](QImage& i) { drawSignedGraph(i, xOf(d.rawView, n), d.thresholdX); },
    };
    for (int mode = 0; mode < 4; ++mode) {
        SCOPED_TRACE(mode);
        d.lowerMode = mode;
        RawFrame frame;
        renderFrame(d, sizes, frame);
        EXPECT_EQ(frame.xr, drawn(sizes.lower, expected[mode]));
    }
}

TEST(RawFrame, NoiseShowsTheYHalf) {
    const AreaSizes sizes;
    const RawSnapshot d = sample();
    RawFrame frame;
    renderFrame(d, sizes, frame);
    EXPECT_EQ(frame.noise, drawn(sizes.noise, [&](QImage& i) {
                  drawNoiseGraph(i, Values(d.noise.y.data(), static_cast<size_t>(d.yCount)));
              }));
}

TEST(RawFrame, VkRowsFollowViewAndLowerModeAndStayBlackWithoutKeys) {
    const AreaSizes sizes;
    RawSnapshot d = sample();
    const VkGroup& g = d.vk[0];
    const Values data(g.data.data(), 4);
    // Recovery of [300, -120, 900, 40]: r = [-1080, -780, -900, 0], shifted by
    // 1080 -> [0, 300, 180, 1080], mean 390.
    const std::vector<int32_t> recovery{-390, -90, -210, 690};
    // AB of the same keys: [-300 -> 0, 150 + 120, -120 - 450 -> 0, 900].
    const std::vector<int32_t> ab{0, 270, 0, 900};
    struct Case {
        int view;
        int lowerMode;
        std::function<void(QImage&)> expected;
    };
    const Case cases[] = {
        {0, 0, [&](QImage& i) { drawRecoveryGraph(i, recovery, kVkScale); }},
        {1, 0, [&](QImage& i) { drawCleanGraph(i, ab, kVkScale, {}, std::nullopt); }},
        {1, 2, [&](QImage& i) { drawBarGraph(i, data, kVkScale, {}, {}, std::nullopt); }},
        {2, 0, [&](QImage& i) {
             drawStrayGraph(i, Values(g.stray.data(), 4), Values(g.dstray.data(), 4), kVkStrayScale);
         }},
        {3, 0, [&](QImage& i) { i.fill(kGraphBlack); }},
    };
    const QImage black = drawn(sizes.vk, [](QImage& i) { i.fill(kGraphBlack); });
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "view " << c.view << " lowerMode " << c.lowerMode);
        d.view = c.view;
        d.lowerMode = c.lowerMode;
        RawFrame frame;
        renderFrame(d, sizes, frame);
        EXPECT_EQ(frame.vk1, drawn(sizes.vk, c.expected));
        EXPECT_EQ(frame.vk2, black) << "group 2 has no keys";
    }
}

TEST(RawFrame, ZeroChannelsDrawEveryArea) {
    RawSnapshot d;
    d.xCount = 0;
    d.yCount = 0;
    for (int view = 0; view < 4; ++view) {
        for (int mode = 0; mode < 4; ++mode) {
            d.view = view;
            d.lowerMode = mode;
            RawFrame frame;
            renderFrame(d, AreaSizes{}, frame);
            for (const QImage* image : {&frame.x, &frame.y, &frame.xr, &frame.yr, &frame.noise})
                EXPECT_FALSE(image->isNull());
        }
    }
}

}  // namespace
}  // namespace lumora::rawdata
