// Renderers of the "Image Data" views. They take grids and fields and paint
// a whole frame into a QImage, off-screen, on whichever thread calls them
// (the page's drawing worker); the page shows the finished frame in one step.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <cstdint>
#include <vector>

#include "tuner/image/image_model.h"
#include "tuner/image/value_text.h"

namespace lumora::image {

// Colours of the views (red, green, blue).
inline constexpr QRgb kCellOutlineColour = qRgb(30, 30, 30);  // Clean Data grid and base line
inline constexpr QRgb kCurveColour = qRgb(102, 205, 0);
inline constexpr QRgb kAdLevelGridColour = qRgb(90, 90, 90);
inline constexpr QRgb kHighlightPenColour = qRgb(255, 185, 15);
inline constexpr QRgb kHighlightFillColour = qRgb(255, 62, 150);
inline constexpr QRgb kValueTextColour = qRgb(255, 193, 37);

// Cell layout of a W x H area split into xCount columns and yCount rows:
// cell (r, c) spans x from c*W/X to (c+1)*W/X and y from r*H/Y to
// (r+1)*H/Y (integer division); its centre is the truncated mean.
struct CellGeometry {
    int width = 0;
    int height = 0;
    int xCount = 0;
    int yCount = 0;

    // Nothing can be drawn while a count or a side is 0 (no division by it).
    bool drawable() const { return width > 0 && height > 0 && xCount > 0 && yCount > 0; }
    int left(int c) const { return c * width / xCount; }
    int top(int r) const { return r * height / yCount; }
    int centreX(int c) const { return (left(c) + left(c + 1)) / 2; }
    int centreY(int r) const { return (top(r) + top(r + 1)) / 2; }
};

// Fields of a Clean Data frame.
struct CleanDataView {
    uint8_t orientation = kDriveYX;
    int32_t threshold = 0;
    uint32_t shift = 5;
    bool showValues = true;
};

// Draws frames of both views. Holds the text cache and the Clean Data grid
// background, so one renderer belongs to one thread.
class ImageRenderer {
public:
    ImageRenderer();

    // "AD Level": black area, grey lines at every row top and column left
    // edge, then per cell the highlight when |v| >= highlightLimit and the
    // value at (left + 1, top + 1), 4 pixels lower in odd columns.
    void renderAdLevel(QImage& frame, const ImageGrid& adLevel, const CellGeometry& geometry,
                       int32_t highlightLimit);

    // "Clean Data": the work grid is set to `ad` and each drawn line is
    // transformed just before it is drawn (rows in Y->X, columns in X->Y);
    // base line and curve per line; then the texts of every cell whose
    // |w| >= |threshold|. `work` is left holding the transformed lines.
    void renderCleanData(QImage& frame, const ImageGrid& ad, ImageGrid& work,
                         const CellGeometry& geometry, const CleanDataView& view);

    // The same AD Level frame drawn the plain way, every value by its own
    // QPainter::drawText call: the reference that the cache must match and
    // the baseline of the benchmark.
    static void renderAdLevelPlain(QImage& frame, const ImageGrid& adLevel,
                                   const CellGeometry& geometry, int32_t highlightLimit);

    // The frame format of both views.
    static QImage makeFrame(int width, int height);

private:
    const QImage& cleanBackground(const CellGeometry& geometry);

    ValueTextCache m_texts;
    QImage m_background;
    CellGeometry m_backgroundGeometry;
};

}  // namespace lumora::image
