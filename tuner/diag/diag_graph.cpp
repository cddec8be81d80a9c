#include "tuner/diag/diag_graph.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cstdlib>

namespace lumora::diag {

namespace {

constexpr int kGridLines = 8;
constexpr int kLabelPixels = 11;

QFont labelFont() {
    // Metric-compatible with the Arial of the controller maker's tools.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(kLabelPixels);
    font.setBold(true);
    return font;
}

int channelX(int i, int width, int count) { return static_cast<int>(int64_t(i) * width / count); }

// Text with its top-left corner at (x, y), as the graphs place all texts.
void drawTextAt(QPainter& p, int x, int y, const QString& text, QRgb colour) {
    p.setPen(QColor(colour));
    p.drawText(x, y + p.fontMetrics().ascent(), text);
}

// The 2-pixel lines: rows y - 1 and y across, or columns x - 1 and x down.
void thickRow(QPainter& p, int y, int width, QRgb colour) {
    p.fillRect(0, y - 1, width, 2, QColor(colour));
}
void thickColumn(QPainter& p, int x, int yA, int yB, QRgb colour) {
    const int top = std::min(yA, yB), bottom = std::max(yA, yB);
    if (bottom > top) p.fillRect(x - 1, top, 2, bottom - top, QColor(colour));
}

}  // namespace

int diagBaseline(int height) { return height * 14 / 16; }

int diagGraphScale(SeriesValues values, int count) {
    const int drawn = std::min<int>(count - 1, static_cast<int>(values.size()));
    if (drawn <= 0) return 255;
    const int largest = *std::max_element(values.begin(), values.begin() + drawn);
    if (largest <= 0) return 255;
    return std::max(255, 2 * largest + 1);
}

int diagValueY(int value, int height, int scale) {
    const int64_t y = diagBaseline(height) - int64_t(value) * height / std::max(scale, 1);
    return static_cast<int>(std::clamp<int64_t>(y, -4 * int64_t(height), 5 * int64_t(height)));
}

void drawDiagGraph(QImage& image, SeriesValues values, int count, std::span<const int> thresholds) {
    const int w = image.width(), h = image.height();
    image.fill(kDiagBlack);
    if (w <= 0 || h <= 0) return;
    QPainter p(&image);
    const int y0 = diagBaseline(h);

    p.setPen(QColor(kDiagGrid));
    for (int k = 0; k < kGridLines; ++k) {
        const int y = k * y0 / kGridLines;
        p.drawLine(0, y, w - 1, y);
    }
    thickRow(p, y0, w, kDiagAmber);

    // The series holds 128 channels; a count past it draws what there is.
    count = std::min<int>(count, static_cast<int>(values.size()));
    // Fewer than two channels leave nothing to draw, and a count of 0 would
    // divide by zero: background, grid and baseline only.
    if (count < 2) return;

    p.setFont(labelFont());
    for (int i = 0; i < count; ++i)
        drawTextAt(p, channelX(i, w, count) - 6, i % 2 == 0 ? y0 + 6 : y0, QString::number(i),
                   kDiagRed);

    const int scale = diagGraphScale(values, count);
    auto y = [&](int v) { return diagValueY(v, h, scale); };
    for (int i = 1; i <= count - 2; ++i) {
        const int previous = values[size_t(i - 1)], current = values[size_t(i)];
        p.setPen(QColor(kDiagGreen));
        p.drawLine(channelX(i, w, count), y(previous), channelX(i + 1, w, count), y(current));
        p.fillRect(channelX(i, w, count) - 1, y0 - 1, 2, 2, QColor(kDiagRed));
        const int barX = static_cast<int>((i + 0.5) * w / count);
        thickColumn(p, barX, y(1), y(std::abs(current - previous)), kDiagGreen);
    }

    for (const int t : thresholds) {
        if (t == 0) continue;
        drawTextAt(p, 0, y(t) - 12, QString::number(t), kDiagTeal);
        thickRow(p, y(t), w, kDiagTeal);
    }

    // The smallest drawn value; a later channel wins a tie.
    int smallest = 0;
    for (int i = 1; i <= count - 2; ++i)
        if (values[size_t(i)] <= values[size_t(smallest)]) smallest = i;
    drawTextAt(p, channelX(smallest + 1, w, count), 24, QString::number(values[size_t(smallest)]),
               kDiagAmber);
}

}  // namespace lumora::diag
