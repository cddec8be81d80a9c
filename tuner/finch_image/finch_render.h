// Renderer of the "Finch Image Data" views. It takes the grids and the
// frame's settings and paints a whole frame into a QImage, off-screen, on
// whichever thread calls it (the page's drawing worker); the page or the
// full-screen view shows the finished frame in one step.
#pragma once

#include <QImage>
#include <QRect>
#include <array>
#include <cstdint>

#include "tuner/finch_image/finch_model.h"
#include "tuner/image/value_text.h"

namespace lumora::finch {

// The frame split into xCount + 1 lines and yCount + 1 positions, the last
// line and the last position holding the labels. With xAboveY a line is
// the column from x = l*W/(X+1) to (l+1)*W/(X+1) and a position the row
// from y = p*H/(Y+1) to (p+1)*H/(Y+1); otherwise lines are rows and
// positions columns. Bounds use integer division; a cell excludes its
// right and bottom bound.
struct FinchLayout {
    int width = 0;
    int height = 0;
    int xCount = 0;  // 0 .. 90
    int yCount = 0;
    bool xAboveY = true;

    bool drawable() const { return width > 0 && height > 0 && xCount > 0 && yCount > 0; }
    int lineStart(int l) const {
        return xAboveY ? l * width / (xCount + 1) : l * height / (xCount + 1);
    }
    int positionStart(int p) const {
        return xAboveY ? p * height / (yCount + 1) : p * width / (yCount + 1);
    }
    // The cell of line l at position p.
    QRect cell(int l, int p) const;
    QPoint centre(int l, int p) const;
};

// What one frame shows besides the grids.
struct FinchFrameSettings {
    int xCount = 0;  // channel counts, already limited to 0 .. 90
    int yCount = 0;
    bool xAboveY = true;
    int dataMode = kCleanMode;
    int32_t threshold = 0;  // the threshold box
    int shift = kStartShift;
    bool rdMode = false;
    int32_t water = 0;  // "WaterThreshold" of record 0
    UniformityParams uniformity;
    std::array<bool, kGridSize> selectedLines{};
};

// Draws frames of both data modes. Holds the text caches, so one renderer
// belongs to one thread; `textHeight` is the height of its texts (10 on
// the page, 11 full screen).
class FinchRenderer {
public:
    explicit FinchRenderer(int textHeight = 10);

    // The frame: black, the grid lines, then per line 0 .. X-1 its work
    // line (the DD transform of Raw in data mode 0, a copy of Stray in
    // data mode 3), its curve (data mode 0), its value texts and its
    // label; then the label line; then, in data mode 3, the uniformity
    // marks and boxes. `work` is left holding the work lines. Draws nothing
    // while a count or a side is 0.
    void render(QImage& frame, const NodeGrid& raw, const NodeGrid& stray, NodeGrid& work,
                const FinchFrameSettings& settings);

    // The same frame with every text put down by its own QPainter::drawText
    // call: the reference that the cached texts must match and the
    // baseline of the benchmark.
    void renderPlain(QImage& frame, const NodeGrid& raw, const NodeGrid& stray, NodeGrid& work,
                     const FinchFrameSettings& settings);

    // The frame format.
    static QImage makeFrame(int width, int height);

private:
    template <typename Texts>
    void renderWith(Texts& texts, QImage& frame, const NodeGrid& raw, const NodeGrid& stray,
                    NodeGrid& work, const FinchFrameSettings& settings);

    image::ValueTextCache m_values;  // "%d"
    image::ValueTextCache m_labels;  // "%02d"
};

}  // namespace lumora::finch
