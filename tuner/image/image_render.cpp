#include "tuner/image/image_render.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPoint>
#include <algorithm>
#include <climits>
#include <cstdlib>

namespace lumora::image {
namespace {

// Value texts sit 4 pixels lower in odd columns, so that the numbers of
// neighbouring narrow cells do not run into each other.
constexpr int kOddColumnDrop = 4;

int textDrop(int column) { return (column & 1) ? kOddColumnDrop : 0; }

// Direct stores into the frame, or the same fills through an open painter
// (the plain way): both put down exactly the pixels of the rectangle.
struct DirectFill {
    const Canvas& canvas;
    void operator()(const QRect& rect, QRgb colour) const { canvas.fillRect(rect, colour); }
};
struct PainterFill {
    QPainter& painter;
    void operator()(const QRect& rect, QRgb colour) const { painter.fillRect(rect, QColor(colour)); }
};

// A rectangle outlined by a 1-pixel pen and filled, covering x0 .. x1-1 and
// y0 .. y1-1 (the right and bottom bounds excluded, as cell bounds are).
template <typename Fill>
void outlinedRect(const Fill& fill, int x0, int y0, int x1, int y1, QRgb pen, QRgb inside) {
    fill(QRect(QPoint(x0, y0), QPoint(x1 - 1, y1 - 1)), pen);
    fill(QRect(QPoint(x0 + 1, y0 + 1), QPoint(x1 - 2, y1 - 2)), inside);
}

// Everything of an AD Level frame but the texts: black, the grid lines,
// and the highlight of one cell. Shared by the cached and the plain way so
// that they differ only in how the texts are put down.
template <typename Fill>
void adLevelBackground(const Fill& fill, const CellGeometry& g) {
    fill(QRect(0, 0, g.width, g.height), qRgb(0, 0, 0));
    for (int r = 0; r < g.yCount; ++r) fill(QRect(0, g.top(r), g.width, 1), kAdLevelGridColour);
    for (int c = 0; c < g.xCount; ++c) fill(QRect(g.left(c), 0, 1, g.height), kAdLevelGridColour);
}

// The cell rectangle grown by 1 pixel on every side.
template <typename Fill>
void highlightCell(const Fill& fill, const CellGeometry& g, int r, int c) {
    outlinedRect(fill, g.left(c) - 1, g.top(r) - 1, g.left(c + 1) + 1, g.top(r + 1) + 1,
                 kHighlightPenColour, kHighlightFillColour);
}

bool reachesLimit(int32_t value, int32_t limit) {
    // 64-bit magnitudes: |INT32_MIN| does not fit an int32.
    return std::llabs(static_cast<long long>(value)) >= std::llabs(static_cast<long long>(limit));
}

}  // namespace

// ---- ImageRenderer -----------------------------------------------------------

ImageRenderer::ImageRenderer() : m_texts(valueTextFont(), kValueTextColour) {}

QImage ImageRenderer::makeFrame(int width, int height) {
    QImage frame(width, height, QImage::Format_RGB32);
    frame.fill(qRgb(0, 0, 0));
    return frame;
}

void ImageRenderer::renderAdLevel(QImage& frame, const ImageGrid& adLevel,
                                  const CellGeometry& g, int32_t highlightLimit) {
    if (!g.drawable()) return;
    const Canvas canvas(frame);
    const DirectFill fill{canvas};
    adLevelBackground(fill, g);
    for (int r = 0; r < g.yCount; ++r) {
        for (int c = 0; c < g.xCount; ++c) {
            const int32_t v = adLevel[r][c];
            if (reachesLimit(v, highlightLimit)) highlightCell(fill, g, r, c);
            m_texts.draw(canvas, g.left(c) + 1, g.top(r) + 1 + textDrop(c), v);
        }
    }
}

void ImageRenderer::renderAdLevelPlain(QImage& frame, const ImageGrid& adLevel,
                                       const CellGeometry& g, int32_t highlightLimit) {
    if (!g.drawable()) return;
    QPainter painter(&frame);
    const PainterFill fill{painter};
    adLevelBackground(fill, g);
    const QFont font = valueTextFont();
    const int ascent = QFontMetrics(font).ascent();
    painter.setFont(font);
    painter.setPen(QColor(kValueTextColour));
    for (int r = 0; r < g.yCount; ++r) {
        for (int c = 0; c < g.xCount; ++c) {
            const int32_t v = adLevel[r][c];
            if (reachesLimit(v, highlightLimit)) highlightCell(fill, g, r, c);
            painter.drawText(g.left(c) + 1, g.top(r) + 1 + textDrop(c) + ascent,
                             QString::number(v));
        }
    }
}

const QImage& ImageRenderer::cleanBackground(const CellGeometry& g) {
    const bool same = m_background.width() == g.width && m_background.height() == g.height &&
                      m_backgroundGeometry.xCount == g.xCount &&
                      m_backgroundGeometry.yCount == g.yCount;
    if (!same) {
        // Drawn once per layout: black cells outlined by the dark grey pen.
        m_background = makeFrame(g.width, g.height);
        const Canvas canvas(m_background);
        for (int r = 0; r < g.yCount; ++r)
            for (int c = 0; c < g.xCount; ++c)
                outlinedRect(DirectFill{canvas}, g.left(c), g.top(r), g.left(c + 1), g.top(r + 1),
                             kCellOutlineColour, qRgb(0, 0, 0));
        m_backgroundGeometry = g;
    }
    return m_background;
}

void ImageRenderer::renderCleanData(QImage& frame, const ImageGrid& ad, ImageGrid& work,
                                    const CellGeometry& g, const CleanDataView& view) {
    if (!g.drawable()) return;
    frame = cleanBackground(g).copy();
    work = ad;

    const bool rows = view.orientation == kDriveYX;
    // Lines are rows of X cells in Y->X order and columns of Y cells in X->Y.
    const int lineCount = rows ? g.yCount : g.xCount;
    const int lineLength = rows ? g.xCount : g.yCount;
    const int shift = static_cast<int>(std::min<uint32_t>(view.shift, 31));

    QPainter painter(&frame);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QPen basePen(QColor(kCellOutlineColour), 0);
    const QPen curvePen(QColor(kCurveColour), 0);
    std::vector<QPoint> base(static_cast<size_t>(lineLength));
    std::vector<QPoint> curve(static_cast<size_t>(lineLength));
    for (int line = 0; line < lineCount; ++line) {
        if (rows)
            transformLine(&ad[line][0], 1, &work[line][0], 1, lineLength);
        else
            transformLine(&ad[0][line], kGridSize, &work[0][line], kGridSize, lineLength);
        for (int k = 0; k < lineLength; ++k) {
            const int r = rows ? line : k;
            const int c = rows ? k : line;
            const QPoint centre(g.centreX(c), g.centreY(r));
            // Work values are 0 or above, so the shift is a plain division.
            const int v = work[r][c] >> shift;
            base[k] = centre;
            curve[k] = rows ? QPoint(centre.x(), centre.y() - v) : QPoint(centre.x() + v, centre.y());
        }
        // Base line first, the curve over it: each line is one connected
        // path from its first cell (which joins itself) to its last.
        painter.setPen(basePen);
        painter.drawPolyline(base.data(), lineLength);
        painter.setPen(curvePen);
        painter.drawPolyline(curve.data(), lineLength);
    }
    painter.end();

    if (!view.showValues) return;
    // Texts sit one pixel further in when the curves run down the columns.
    const int inset = rows ? 2 : 1;
    const Canvas canvas(frame);
    for (int r = 0; r < g.yCount; ++r) {
        for (int c = 0; c < g.xCount; ++c) {
            const int32_t w = work[r][c];
            if (reachesLimit(w, view.threshold))
                m_texts.draw(canvas, g.left(c) + inset, g.top(r) + inset + textDrop(c), w);
        }
    }
}

}  // namespace lumora::image
