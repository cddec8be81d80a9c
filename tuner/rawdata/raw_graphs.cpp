#include "tuner/rawdata/raw_graphs.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cstdlib>
#include <map>
#include <tuple>

namespace lumora::rawdata {

namespace {

constexpr int kNumberPixels = 9;   // channel numbers under the baseline
constexpr int kTextPixels = 11;    // every other text

QFont graphFont(int pixels) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(pixels);
    return font;
}

// Slots that a graph of n channels is given: n + 1 for the kinds that show
// all channels, n for the others (which leave out the last one).
int drawnOf(int slotCount) { return slotCount >= 2 ? slotCount - 1 : 0; }

Values firstN(Values v, int n) { return v.first(static_cast<size_t>(std::clamp<int>(n, 0, static_cast<int>(v.size())))); }

void fillBlack(QImage& image) { image.fill(kGraphBlack); }

void drawGrid(QPainter& p, int width, int height, int lines) {
    p.setPen(QColor(kGraphGrid));
    for (int j = 1; j <= lines; ++j) {
        const int y = j * height / (lines + 1);
        p.drawLine(0, y, width - 1, y);
    }
}

// The channel numbers are the same in every frame of a given geometry, so
// they are laid out once per (width, slotCount, count) and copied afterwards:
// text layout is the dearest part of a frame. Each drawing thread keeps its
// own cache; a geometry change simply adds an entry.
const QImage& channelNumberStrip(int width, int slotCount, int drawn) {
    thread_local std::map<std::tuple<int, int, int>, QImage> cache;
    const auto key = std::make_tuple(width, slotCount, drawn);
    if (auto it = cache.find(key); it != cache.end()) return it->second;
    if (cache.size() > 32) cache.clear();
    const int lineHeight = kNumberPixels + 1;
    QImage strip(std::max(width, 1), 2 * lineHeight + 2, QImage::Format_ARGB32_Premultiplied);
    strip.fill(Qt::transparent);
    {
        QPainter p(&strip);
        p.setFont(graphFont(kNumberPixels));
        p.setPen(QColor(kGraphRed));
        const QFontMetrics fm(p.font());
        for (int i = 0; i < drawn; ++i) {
            const QString text = QString::number(i);
            const int x = slotX(i, width, slotCount) - fm.horizontalAdvance(text) / 2;
            // Alternating heights keep neighbouring numbers apart at 90 channels.
            p.drawText(x, kNumberPixels + (i % 2) * lineHeight, text);
        }
    }
    return cache.emplace(key, std::move(strip)).first->second;
}

void drawChannelNumbers(QPainter& p, int width, int baseline, int slotCount, int drawn) {
    if (drawn <= 0) return;
    p.drawImage(0, baseline + 2, channelNumberStrip(width, slotCount, drawn));
}

void drawTextAt(QPainter& p, int x, int y, const QString& text, QRgb colour) {
    p.setPen(QColor(colour));
    p.drawText(x, y, text);
}

// A number centred on x, kept inside the image.
void drawNumberAt(QPainter& p, int x, int y, int value, QRgb colour, int width) {
    const QString text = QString::number(value);
    const int w = p.fontMetrics().horizontalAdvance(text);
    drawTextAt(p, std::clamp(x - w / 2, 0, std::max(0, width - w)), y, text, colour);
}

int barHalfWidth(int width, int slotCount) { return std::max(1, width / std::max(slotCount, 1) / 4); }

void drawBar(QPainter& p, int x, int halfWidth, int top, int baseline, QRgb colour) {
    const int y0 = std::min(top, baseline);
    const int y1 = std::max(top, baseline);
    p.fillRect(x - halfWidth, y0, 2 * halfWidth, std::max(1, y1 - y0), QColor(colour));
}

void drawThresholdLine(QPainter& p, int width, int y, int threshold) {
    p.setPen(QColor(kGraphTeal));
    p.drawLine(0, y, width - 1, y);
    p.drawText(2, y - 2, QString::number(threshold));
}

void drawHoldLine(QPainter& p, Values hold, bool absolute, int width, int slotCount, int baseline,
                  int height, int scale, QRgb colour) {
    const int drawn = std::min(drawnOf(slotCount), static_cast<int>(hold.size()));
    if (drawn <= 0) return;
    p.setPen(QColor(colour));
    QPoint previous;
    for (int i = 0; i < drawn; ++i) {
        const int64_t v = absolute ? std::abs(int64_t(hold[static_cast<size_t>(i)])) : hold[static_cast<size_t>(i)];
        const QPoint point(slotX(i, width, slotCount), valueY(v, baseline, height, scale));
        if (i == 0) p.drawPoint(point);
        else p.drawLine(previous, point);
        previous = point;
    }
}

// Index of the largest / smallest entry (first one on ties); -1 when empty.
int indexOfMax(Values v) {
    return v.empty() ? -1 : static_cast<int>(std::max_element(v.begin(), v.end()) - v.begin());
}
int indexOfMin(Values v) {
    return v.empty() ? -1 : static_cast<int>(std::min_element(v.begin(), v.end()) - v.begin());
}

void drawLevelBars(QPainter& p, Values drawn, int width, int height, int slotCount, int baseline,
                   int scale) {
    const int half = barHalfWidth(width, slotCount);
    for (size_t i = 0; i < drawn.size(); ++i) {
        const int32_t v = drawn[i];
        drawBar(p, slotX(static_cast<int>(i), width, slotCount), half,
                valueY(v, baseline, height, scale), baseline,
                v > kAdLevelLimit ? kGraphRed : kGraphGreen);
    }
    const int limitY = valueY(kAdLevelLimit, baseline, height, scale);
    p.setPen(QColor(kGraphOrange));
    p.drawLine(0, limitY, width - 1, limitY);
}

// Shared by the signed and recovery graphs: stems from the middle line.
void drawStems(QPainter& p, Values drawn, int width, int height, int slotCount, int scale,
               int threshold, bool markRecovered) {
    const int middle = height / 2;
    const int32_t lowest = drawn.empty() ? 0 : *std::min_element(drawn.begin(), drawn.end());
    p.setPen(QColor(kGraphGreen));
    p.setBrush(Qt::NoBrush);
    for (size_t i = 0; i < drawn.size(); ++i) {
        const int x = slotX(static_cast<int>(i), width, slotCount);
        const int y = valueY(drawn[i], middle, height, scale);
        p.drawLine(x, middle, x, y);
        p.drawEllipse(QPoint(x, y), 2, 2);
    }
    if (!markRecovered) return;
    p.setPen(QColor(kGraphRed));
    for (size_t i = 0; i < drawn.size(); ++i) {
        const int64_t v = drawn[i];
        if (v > 0 && v - lowest >= threshold) {
            const int x = slotX(static_cast<int>(i), width, slotCount);
            p.drawEllipse(QPoint(x, valueY(v, middle, height, scale)), 5, 5);
        }
    }
}

void drawMaxMinAtBottom(QPainter& p, Values drawn, int height) {
    if (drawn.empty()) return;
    const auto [lo, hi] = std::minmax_element(drawn.begin(), drawn.end());
    drawTextAt(p, 2, height - 4, QString::number(*hi), kGraphGreen);
    drawTextAt(p, 60, height - 4, QString::number(*lo), kGraphRed);
}

}  // namespace

// ---- Geometry -----------------------------------------------------------------------

int slotX(int index, int width, int slotCount) { return slotCount <= 0 ? 0 : (index + 1) * width / slotCount; }

int valueY(int64_t value, int baseline, int height, int scale) {
    const int64_t y = baseline - value * height / std::max(scale, 1);
    return static_cast<int>(std::clamp<int64_t>(y, -2 * int64_t(height), 3 * int64_t(height)));
}

int lowerBaseline(int height) { return height * 13 / 16; }

// ---- Scales -------------------------------------------------------------------------

int levelScaleOf(Values drawn) {
    const int64_t largest = drawn.empty() ? 0 : *std::max_element(drawn.begin(), drawn.end());
    return static_cast<int>(std::clamp<int64_t>(2 * largest + 1000, 1, INT32_MAX));
}

int signedScaleOf(Values drawn, int threshold) {
    int64_t spread = 0;
    if (!drawn.empty()) {
        const auto [lo, hi] = std::minmax_element(drawn.begin(), drawn.end());
        spread = int64_t(*hi) - *lo;
    }
    return static_cast<int>(std::clamp<int64_t>(std::max(3 * spread + 1, 6 * int64_t(threshold)), 1, INT32_MAX));
}

int recoveryScaleOf(Values drawn, int threshold) {
    int64_t spread = 0;
    if (!drawn.empty()) {
        const auto [lo, hi] = std::minmax_element(drawn.begin(), drawn.end());
        spread = 2 * int64_t(*hi) - 2 * int64_t(*lo);
    }
    return static_cast<int>(std::clamp<int64_t>(std::max(spread + 1, 2 * int64_t(threshold)), 1, INT32_MAX));
}

int historyScaleOf(Values history) {
    const int64_t largest = history.empty() ? 0 : *std::max_element(history.begin(), history.end());
    return static_cast<int>(std::clamp<int64_t>(std::max<int64_t>(int64_t(1.3 * double(largest)), 10), 1, INT32_MAX));
}

// ---- Renderers ----------------------------------------------------------------------

void drawBarGraph(QImage& image, Values values, int scale, Values holdMax, Values holdMin,
                  std::optional<int> threshold) {
    fillBlack(image);
    const int w = image.width();
    const int h = image.height();
    const int slotCount = static_cast<int>(values.size());
    const int baseline = lowerBaseline(h);
    scale = std::max(scale, 1);
    QPainter p(&image);
    p.setFont(graphFont(kTextPixels));
    drawGrid(p, w, h, 6);
    const Values drawn = firstN(values, drawnOf(slotCount));
    const int half = barHalfWidth(w, slotCount);
    for (size_t i = 0; i < drawn.size(); ++i) {
        const int32_t v = drawn[i];
        drawBar(p, slotX(static_cast<int>(i), w, slotCount), half,
                valueY(std::abs(int64_t(v)), baseline, h, scale), baseline,
                v < 0 ? kGraphRed : kGraphGreen);
    }
    drawHoldLine(p, holdMax, true, w, slotCount, baseline, h, scale, kGraphGreen);
    drawHoldLine(p, holdMin, true, w, slotCount, baseline, h, scale, kGraphRed);
    if (threshold) drawThresholdLine(p, w, valueY(*threshold, baseline, h, scale), *threshold);
    if (const int i = indexOfMax(drawn); i >= 0) {
        const int32_t v = drawn[static_cast<size_t>(i)];
        drawNumberAt(p, slotX(i, w, slotCount), valueY(std::abs(int64_t(v)), baseline, h, scale) - 3, v, kGraphGreen, w);
    }
    if (const int i = indexOfMin(drawn); i >= 0) {
        const int32_t v = drawn[static_cast<size_t>(i)];
        drawNumberAt(p, slotX(i, w, slotCount), valueY(std::abs(int64_t(v)), baseline, h, scale) - 3, v, kGraphRed, w);
    }
    auto largestAbs = [](Values hold) {
        int64_t m = 0;
        for (int32_t v : hold) m = std::max(m, std::abs(int64_t(v)));
        return m;
    };
    // The largest holds, when there are holds (the VK rows have none).
    if (!drawn.empty() && !holdMax.empty() && !holdMin.empty()) {
        const Values maxDrawn = firstN(holdMax, static_cast<int>(drawn.size()));
        const Values minDrawn = firstN(holdMin, static_cast<int>(drawn.size()));
        drawTextAt(p, 2, kTextPixels + 1, QString::number(largestAbs(maxDrawn)), kGraphGreen);
        drawTextAt(p, 2, 2 * kTextPixels + 3, QString::number(largestAbs(minDrawn)), kGraphRed);
    }
    drawChannelNumbers(p, w, baseline, slotCount, static_cast<int>(drawn.size()));
}

void drawLevelGraph(QImage& image, Values values) {
    fillBlack(image);
    const int w = image.width();
    const int h = image.height();
    const int slotCount = static_cast<int>(values.size());
    const int baseline = lowerBaseline(h);
    const Values drawn = firstN(values, drawnOf(slotCount));
    const int scale = levelScaleOf(drawn);
    QPainter p(&image);
    p.setFont(graphFont(kTextPixels));
    drawGrid(p, w, h, 8);
    drawLevelBars(p, drawn, w, h, slotCount, baseline, scale);
    if (const int i = indexOfMax(drawn); i >= 0) {
        const int32_t v = drawn[static_cast<size_t>(i)];
        drawNumberAt(p, slotX(i, w, slotCount), std::max(valueY(v, baseline, h, scale), kTextPixels + 3) - 3, v,
                     kGraphText, w);
    }
    drawChannelNumbers(p, w, baseline, slotCount, static_cast<int>(drawn.size()));
}

void drawNoiseGraph(QImage& image, Values values) {
    drawLevelGraph(image, values);
    const Values drawn = firstN(values, drawnOf(static_cast<int>(values.size())));
    int64_t largest = 0;
    int64_t sum = 0;
    for (int32_t v : drawn) {
        largest = std::max<int64_t>(largest, v);
        sum += v;
    }
    if (drawn.empty()) largest = 0;
    const int64_t average = drawn.empty() ? 0 : sum / static_cast<int64_t>(drawn.size());
    QPainter p(&image);
    p.setFont(graphFont(kTextPixels));
    drawTextAt(p, image.width() - 110, kTextPixels + 1,
               QString::asprintf("Max Noise: %d", static_cast<int>(largest)), kGraphText);
    drawTextAt(p, image.width() - 110, 2 * kTextPixels + 3,
               QString::asprintf("Avg Noise: %d", static_cast<int>(average)), kGraphText);
}

void drawStrayGraph(QImage& image, Values stray, Values dstray, int scale) {
    fillBlack(image);
    const int w = image.width();
    const int h = image.height();
    const int slotCount = static_cast<int>(std::min(stray.size(), dstray.size()));
    const int baseline = lowerBaseline(h);
    const int centre = baseline - h / 3;
    scale = std::max(scale, 1);
    const Values s = firstN(stray, drawnOf(slotCount));
    const Values ds = firstN(dstray, drawnOf(slotCount));
    QPainter p(&image);
    p.setFont(graphFont(kTextPixels));
    drawGrid(p, w, h, 8);
    int64_t lo = 0;
    int64_t hi = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const int64_t a = s[i];
        const int64_t b = ds[i];
        lo = i == 0 ? std::min(a, b) : std::min({lo, a, b});
        hi = i == 0 ? std::max(a, b) : std::max({hi, a, b});
    }
    const int64_t midpoint = (lo + hi) / 2;
    auto curve = [&](Values v, QRgb colour) {
        p.setPen(QColor(colour));
        QPoint previous;
        for (size_t i = 0; i < v.size(); ++i) {
            const QPoint point(slotX(static_cast<int>(i), w, slotCount),
                               valueY(int64_t(v[i]) - midpoint, centre, h, scale));
            if (i == 0) p.drawPoint(point);
            else p.drawLine(previous, point);
            previous = point;
        }
    };
    curve(s, kGraphGreen);
    curve(ds, kGraphRed);
    int widest = -1;
    int64_t widestGap = -1;
    for (size_t i = 0; i < s.size(); ++i) {
        const int64_t gap = std::abs(int64_t(s[i]) - ds[i]);
        if (gap > widestGap) {
            widestGap = gap;
            widest = static_cast<int>(i);
        }
    }
    if (widest >= 0) {
        const int x = slotX(widest, w, slotCount);
        p.setPen(QColor(kGraphTeal));
        p.drawLine(x, 0, x, h - 1);
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPoint(x, valueY(int64_t(s[static_cast<size_t>(widest)]) - midpoint, centre, h, scale)), 4, 4);
    }
    drawTextAt(p, 2, kTextPixels + 1, QStringLiteral("S"), kGraphGreen);
    drawTextAt(p, 2, 2 * kTextPixels + 3, QStringLiteral("DS"), kGraphRed);
    drawChannelNumbers(p, w, baseline, slotCount, static_cast<int>(s.size()));
}

void drawCleanGraph(QImage& image, Values values, int scale, Values hold,
                    std::optional<int> threshold) {
    fillBlack(image);
    const int w = image.width();
    const int h = image.height();
    const int n = static_cast<int>(values.size());
    const int slotCount = n + 1;
    const int baseline = lowerBaseline(h);
    scale = std::max(scale, 1);
    QPainter p(&image);
    p.setFont(graphFont(kTextPixels));
    drawGrid(p, w, h, 8);
    const int half = barHalfWidth(w, slotCount);
    for (int i = 0; i < n; ++i) {
        const int32_t v = values[static_cast<size_t>(i)];
        const bool over = threshold && v >= *threshold;
        drawBar(p, slotX(i, w, slotCount), half, valueY(v, baseline, h, scale), baseline,
                over ? kGraphRed : kGraphGreen);
    }
    drawHoldLine(p, firstN(hold, n), false, w, slotCount, baseline, h, scale, kGraphGreen);
    if (threshold) drawThresholdLine(p, w, valueY(*threshold, baseline, h, scale), *threshold);
    if (const int i = indexOfMax(values); i >= 0)
        drawNumberAt(p, slotX(i, w, slotCount), kTextPixels + 1, values[static_cast<size_t>(i)], kGraphGreen, w);
    if (const int i = indexOfMin(values); i >= 0)
        drawNumberAt(p, slotX(i, w, slotCount), h - 3, values[static_cast<size_t>(i)], kGraphRed, w);
    drawChannelNumbers(p, w, baseline, slotCount, n);
}

HistoryStats historyStatsOf(Values abMax, Values ab) {
    HistoryStats s;
    if (!abMax.empty()) {
        const auto [lo, hi] = std::minmax_element(abMax.begin(), abMax.end());
        s.max = *hi;
        s.min = *lo;
    }
    if (!ab.empty()) {
        int64_t sum = 0;
        for (int32_t v : ab) sum += std::abs(int64_t(v));
        s.avg = static_cast<int>(sum / static_cast<int64_t>(ab.size()));
    }
    return s;
}

std::array<QString, 2> historySnTexts(const HistoryStats& s) {
    if (s.avg == 0) return {QStringLiteral("S/N (Max): N/A"), QStringLiteral("S/N (Min): N/A")};
    return {QString::asprintf("S/N (Max): %02d", s.max / s.avg),
            QString::asprintf("S/N (Min): %02d", s.min / s.avg)};
}

void drawHistoryGraph(QImage& image, Values history, const HistoryStats& stats) {
    fillBlack(image);
    const int w = image.width();
    const int h = image.height();
    const int scale = historyScaleOf(history);
    QPainter p(&image);
    p.setFont(graphFont(kTextPixels));
    drawGrid(p, w, h, 10);
    const int segments = static_cast<int>(history.size()) - 1;
    if (segments > 0) {
        p.setPen(QColor(kGraphGreen));
        // The history graph's baseline is the bottom edge, two pixels up.
        auto pointOf = [&](int j) {
            return QPoint(j * (w - 1) / segments, valueY(history[static_cast<size_t>(j)], h - 2, h, scale));
        };
        QPoint previous = pointOf(0);
        for (int j = 1; j <= segments; ++j) {
            const QPoint point = pointOf(j);
            p.drawLine(previous, point);
            previous = point;
        }
    }
    const auto sn = historySnTexts(stats);
    const int line = kTextPixels + 2;
    drawTextAt(p, 4, line, QString::asprintf("Max: %d", stats.max), kGraphGreen);
    drawTextAt(p, 4, 2 * line, QString::asprintf("Min: %d", stats.min), kGraphRed);
    drawTextAt(p, 4, 3 * line, QString::asprintf("Avg: %d", stats.avg), kGraphOrange);
    drawTextAt(p, 4, 4 * line, sn[0], kGraphText);
    drawTextAt(p, 4, 5 * line, sn[1], kGraphText);
}

void drawSignedGraph(QImage& image, Values values, int threshold) {
    fillBlack(image);
    const int w = image.width();
    const int h = image.height();
    const int slotCount = static_cast<int>(values.size()) + 1;
    const int scale = signedScaleOf(values, threshold);
    QPainter p(&image);
    p.setFont(graphFont(kTextPixels));
    drawGrid(p, w, h, 8);
    // Under the middle line, beneath the stems that cross it.
    drawChannelNumbers(p, w, h / 2, slotCount, static_cast<int>(values.size()));
    drawStems(p, values, w, h, slotCount, scale, threshold, false);
    drawMaxMinAtBottom(p, values, h);
}

void drawRecoveryGraph(QImage& image, Values values, int threshold) {
    fillBlack(image);
    const int w = image.width();
    const int h = image.height();
    const int slotCount = static_cast<int>(values.size()) + 1;
    const int scale = recoveryScaleOf(values, threshold);
    QPainter p(&image);
    p.setFont(graphFont(kTextPixels));
    drawGrid(p, w, h, 8);
    // Under the middle line, beneath the stems that cross it.
    drawChannelNumbers(p, w, h / 2, slotCount, static_cast<int>(values.size()));
    drawStems(p, values, w, h, slotCount, scale, threshold, true);
    drawMaxMinAtBottom(p, values, h);
}

}  // namespace lumora::rawdata
