// The two graphs of the "Diagnostic" page (X above Y): one series of
// per-channel values drawn as a curve with difference bars, the threshold
// lines and the smallest value. Pure: a test renders one and reads pixels.
//
// Geometry, in integer arithmetic: baseline y0 = H * 14 / 16; value v lies
// at y0 - v * H / scale; channel i at x(i) = i * W / count. The curve runs
// from x(1) to x(count - 1) through v[0] .. v[count - 2]; v[count - 1] is
// not drawn.
#pragma once

#include <QImage>
#include <QRgb>
#include <cstdint>
#include <span>

namespace lumora::diag {

constexpr QRgb kDiagBlack = qRgb(0, 0, 0);
constexpr QRgb kDiagGrid = qRgb(30, 30, 30);
constexpr QRgb kDiagAmber = qRgb(255, 185, 15);   // baseline and the smallest value
constexpr QRgb kDiagRed = qRgb(255, 0, 0);        // channel labels and ticks
constexpr QRgb kDiagGreen = qRgb(102, 205, 0);    // curve and difference bars
constexpr QRgb kDiagTeal = qRgb(0, 128, 128);     // threshold lines

using SeriesValues = std::span<const int16_t>;

int diagBaseline(int height);

// The largest of v[0] .. v[count - 2]; 0 or less gives 255, else
// 2 * largest + 1, never below 255. So values up to 127 keep the scale at
// 255 and a larger value sits about half the height above the baseline.
int diagGraphScale(SeriesValues values, int count);

// y of value v at this scale (clamped far outside the image, so that no
// coordinate overflows).
int diagValueY(int value, int height, int scale);

// Draws the whole graph into `image`. `count` is the channel count the
// controller reported (signed; values past the series are ignored). A count
// below 2, negative included, has no channel to draw: the graph shows its
// background, grid and baseline only. Each nonzero threshold gets its line.
void drawDiagGraph(QImage& image, SeriesValues values, int count, std::span<const int> thresholds);

}  // namespace lumora::diag
