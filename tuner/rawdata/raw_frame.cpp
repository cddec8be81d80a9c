#include "tuner/rawdata/raw_frame.h"

#include <algorithm>

#include "tuner/rawdata/raw_graphs.h"

namespace lumora::rawdata {

namespace {

Values channelsOf(const SeriesPair& s, int axis, int n) {
    return Values(s.axis(axis).data(), static_cast<size_t>(n));
}

// Every path below paints the whole area, so a fresh image needs no fill here.
QImage blankArea(const QSize& size) { return QImage(size, QImage::Format_RGB32); }

void renderTop(const RawSnapshot& d, int axis, QImage& image) {
    const int n = d.count(axis);
    const int threshold = d.threshold(axis);
    switch (d.view) {
    case 0:
        // The second series that the signed graph could join with a line is
        // left out: no packet fills one for this view.
        drawSignedGraph(image, channelsOf(d.rawView, axis, n), threshold);
        break;
    case 1:
        drawCleanGraph(image, channelsOf(d.ab, axis, n), d.abScale[static_cast<size_t>(axis)],
                       channelsOf(d.abMax, axis, n), threshold);
        break;
    case 2:
        drawStrayGraph(image, channelsOf(d.stray, axis, n), channelsOf(d.dstray, axis, n),
                       d.strayScale[static_cast<size_t>(axis)]);
        break;
    default:
        drawLevelGraph(image, channelsOf(d.adLevel, axis, n));
        break;
    }
}

void renderLower(const RawSnapshot& d, int axis, QImage& image) {
    const int n = d.count(axis);
    const int threshold = d.threshold(axis);
    switch (d.lowerMode) {
    case 0: {
        const auto& h = d.history[static_cast<size_t>(axis)];
        drawHistoryGraph(image, Values(h.data(), h.size()),
                         historyStatsOf(channelsOf(d.abMax, axis, n), channelsOf(d.ab, axis, n)));
        break;
    }
    case 1:
        drawCleanGraph(image, channelsOf(d.ab, axis, n), d.abScale[static_cast<size_t>(axis)],
                       channelsOf(d.abMax, axis, n), threshold);
        break;
    case 2:
        drawBarGraph(image, channelsOf(d.delta, axis, n),
                     static_cast<int>(1.7 * d.deltaPeak[static_cast<size_t>(axis)]),
                     channelsOf(d.deltaMax, axis, n), channelsOf(d.deltaMin, axis, n), threshold);
        break;
    default:
        drawSignedGraph(image, channelsOf(d.rawView, axis, n), threshold);
        break;
    }
}

// One VK row. The keys have no hold arrays of their own, so their bar and
// clean graphs are drawn without hold lines (the electrodes' holds would
// draw lines that belong to other channels), and without a threshold line.
void renderVk(const RawSnapshot& d, const VkGroup& g, QImage& image) {
    const int n = std::clamp(g.count, 0, kVkPlaces);
    if (n == 0) {
        image.fill(kGraphBlack);
        return;
    }
    const Values data(g.data.data(), static_cast<size_t>(n));
    switch (d.view) {
    case 0: {
        std::array<int32_t, kVkPlaces> recovery{};
        computeRecovery(data, std::span<int32_t>(recovery.data(), static_cast<size_t>(n)));
        drawRecoveryGraph(image, Values(recovery.data(), static_cast<size_t>(n)), kVkScale);
        break;
    }
    case 1:
        if (d.lowerMode != 0) {
            drawBarGraph(image, data, kVkScale, {}, {}, std::nullopt);
        } else {
            std::array<int32_t, kVkPlaces> ab{};
            computeAb(data, std::span<int32_t>(ab.data(), static_cast<size_t>(n)));
            drawCleanGraph(image, Values(ab.data(), static_cast<size_t>(n)), kVkScale, {},
                           std::nullopt);
        }
        break;
    case 2:
        drawStrayGraph(image, Values(g.stray.data(), static_cast<size_t>(n)),
                       Values(g.dstray.data(), static_cast<size_t>(n)), kVkStrayScale);
        break;
    default:
        image.fill(kGraphBlack);
        break;
    }
}

}  // namespace

void renderFrame(const RawSnapshot& d, const AreaSizes& sizes, RawFrame& f) {
    f.x = blankArea(sizes.top);
    f.y = blankArea(sizes.top);
    f.xr = blankArea(sizes.lower);
    f.yr = blankArea(sizes.lower);
    f.noise = blankArea(sizes.noise);
    f.vk1 = blankArea(sizes.vk);
    f.vk2 = blankArea(sizes.vk);
    renderTop(d, kAxisX, f.x);
    renderTop(d, kAxisY, f.y);
    renderLower(d, kAxisX, f.xr);
    renderLower(d, kAxisY, f.yr);
    // Only the Y half of the noise series is drawn.
    drawNoiseGraph(f.noise, channelsOf(d.noise, kAxisY, d.yCount));
    renderVk(d, d.vk[0], f.vk1);
    renderVk(d, d.vk[1], f.vk2);
}

}  // namespace lumora::rawdata
