// Graph renderers of the raw data viewer. Each takes its data and paints a
// whole graph into a QImage (black first, then grid, series and texts); none
// keeps state between calls, so a test renders one and looks at its pixels.
//
// Layout shared by all kinds: a graph of k slots places entry i at
// x = (i + 1) * width / k and draws entries 0..k-2. The signed, clean and
// recovery graphs take k = n + 1 and so show all n channels; the others take
// k = n and leave the last channel out. A value v lies at
// y = baseline - v * height / scale, in integer arithmetic.
#pragma once

#include <QImage>
#include <QRgb>
#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace lumora::rawdata {

// Colours, also used by the tests to look for what a graph drew.
constexpr QRgb kGraphBlack = qRgb(0, 0, 0);
constexpr QRgb kGraphRed = qRgb(255, 0, 0);
constexpr QRgb kGraphGreen = qRgb(0, 255, 0);
constexpr QRgb kGraphTeal = qRgb(0, 170, 170);
constexpr QRgb kGraphOrange = qRgb(255, 165, 0);
constexpr QRgb kGraphGrid = qRgb(56, 56, 56);
constexpr QRgb kGraphText = qRgb(230, 230, 230);

// The AD level above which a level bar turns red.
constexpr int kAdLevelLimit = 1800;

using Values = std::span<const int32_t>;

// ---- Geometry (shared by the renderers, exposed for tests) --------------------
int slotX(int index, int width, int slotCount);
// y of v, clamped to a band around the image so that a wild value stays a
// drawable coordinate. A scale below 1 counts as 1.
int valueY(int64_t value, int baseline, int height, int scale);
int lowerBaseline(int height);  // 13/16 of the height

// ---- Scales ---------------------------------------------------------------------
// Each returns at least 1, so no graph divides by zero or flips.
int levelScaleOf(Values drawn);                    // 2 x max + 1000
int signedScaleOf(Values drawn, int threshold);    // max(int(3 (max - min) + 1), 6 threshold)
int recoveryScaleOf(Values drawn, int threshold);  // max(2 max - 2 min + 1, 2 threshold)
int historyScaleOf(Values history);                // max(int(1.3 x largest), 10)

// ---- Renderers ------------------------------------------------------------------
// Bars of |value| (red for a negative value, green otherwise), hold lines of
// |holdMax| (green) and |holdMin| (red), a teal threshold line when given,
// the frame's max/min above their channels and the largest holds at the left.
// A scale of 0 counts as 1. Holds may be empty (no hold lines).
void drawBarGraph(QImage& image, Values values, int scale, Values holdMax, Values holdMin,
                  std::optional<int> threshold);

// AD levels: scale 2 x max + 1000, red bars above 1800, an orange line at 1800.
void drawLevelGraph(QImage& image, Values values);

// As the level graph, plus "Max Noise: %d" and "Avg Noise: %d" over the
// channels drawn.
void drawNoiseGraph(QImage& image, Values values);

// Two curves (stray green, dstray red) centred on the midpoint of their
// combined range, legends "S" and "DS"; the channel where they differ most
// is marked with a teal vertical line and a circle.
void drawStrayGraph(QImage& image, Values stray, Values dstray, int scale);

// Bars green below the threshold, red at or above it (all green without
// one), the hold as a thin green line, the teal threshold line, the max
// written at the top and the min at the bottom above their channels.
void drawCleanGraph(QImage& image, Values values, int scale, Values hold,
                    std::optional<int> threshold);

// Per-frame statistics of the history graph: Max and Min of the AB holds,
// Avg the integer mean of |ab| (0 over no channels).
struct HistoryStats {
    int max = 0;
    int min = 0;
    int avg = 0;
};
HistoryStats historyStatsOf(Values abMax, Values ab);
// The 511 segments of the history and its texts "Max: %d", "Min: %d",
// "Avg: %d", "S/N (Max): %02d", "S/N (Min): %02d" ("N/A" while Avg is 0).
void drawHistoryGraph(QImage& image, Values history, const HistoryStats& stats);
// The two S/N texts as drawn.
std::array<QString, 2> historySnTexts(const HistoryStats& stats);

// A stem (green) and a small circle per channel around the middle line; the
// max and min written at the bottom.
void drawSignedGraph(QImage& image, Values values, int threshold);

// As the signed graph; channels whose value is positive and at least the
// threshold above the minimum get a larger red circle.
void drawRecoveryGraph(QImage& image, Values values, int threshold);

}  // namespace lumora::rawdata
