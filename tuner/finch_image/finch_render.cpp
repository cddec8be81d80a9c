#include "tuner/finch_image/finch_render.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <QPoint>
#include <algorithm>
#include <optional>
#include <type_traits>
#include <vector>

namespace lumora::finch {

using image::Canvas;
using image::NumberFormat;

namespace {

// Texts sit 2 pixels in from their cell's top left corner; the numbers of
// the uniformity marks stand 11 pixels above their segment.
constexpr int kTextInset = 2;
constexpr int kMarkTextRise = 11;

void setPixel(const Canvas& canvas, int x, int y, QRgb colour) {
    if (x >= 0 && y >= 0 && x < canvas.width && y < canvas.height) canvas.line(y)[x] = colour;
}

// A cell outlined by a 1-pixel pen and filled inside.
void outlinedCell(const Canvas& canvas, const QRect& cell, QRgb pen, QRgb inside) {
    canvas.fillRect(cell, pen);
    canvas.fillRect(cell.adjusted(1, 1, -1, -1), inside);
}

// A uniformity box: filled inside, its outline drawn with a dotted pen
// (every other pixel along the border; the gaps show what lay beneath).
void dottedBox(const Canvas& canvas, const QRect& cell, QRgb colour) {
    if (cell.isEmpty()) return;
    canvas.fillRect(cell.adjusted(1, 1, -1, -1), colour);
    for (int x = cell.left(); x <= cell.right(); ++x) {
        if ((x + cell.top()) % 2 == 0) setPixel(canvas, x, cell.top(), colour);
        if ((x + cell.bottom()) % 2 == 0) setPixel(canvas, x, cell.bottom(), colour);
    }
    for (int y = cell.top() + 1; y < cell.bottom(); ++y) {
        if ((cell.left() + y) % 2 == 0) setPixel(canvas, cell.left(), y, colour);
        if ((cell.right() + y) % 2 == 0) setPixel(canvas, cell.right(), y, colour);
    }
}

// Texts through the caches: a few pixel stores per text.
struct CachedTexts {
    image::ValueTextCache& values;
    image::ValueTextCache& labels;
    const Canvas& canvas;
    void value(int x, int y, int32_t v, QRgb colour) { values.draw(canvas, x, y, v, colour); }
    void label(int x, int y, int32_t v, QRgb colour) { labels.draw(canvas, x, y, v, colour); }
};

// Texts the plain way, one drawText each, with the same font.
struct PlainTexts {
    QPainter& painter;
    int ascent;
    QRgb pen = 0;
    bool penSet = false;
    void put(int x, int y, const QString& text, QRgb colour) {
        if (!penSet || pen != colour) {
            painter.setPen(QColor(colour));
            pen = colour;
            penSet = true;
        }
        painter.drawText(x, y + ascent, text);
    }
    void value(int x, int y, int32_t v, QRgb colour) {
        put(x, y, image::formatNumber(v, NumberFormat::Decimal), colour);
    }
    void label(int x, int y, int32_t v, QRgb colour) {
        put(x, y, image::formatNumber(v, NumberFormat::TwoDigits), colour);
    }
};

}  // namespace

QRect FinchLayout::cell(int l, int p) const {
    const int l0 = lineStart(l), l1 = lineStart(l + 1);
    const int p0 = positionStart(p), p1 = positionStart(p + 1);
    return xAboveY ? QRect(QPoint(l0, p0), QPoint(l1 - 1, p1 - 1))
                   : QRect(QPoint(p0, l0), QPoint(p1 - 1, l1 - 1));
}

QPoint FinchLayout::centre(int l, int p) const {
    const int lc = (lineStart(l) + lineStart(l + 1)) / 2;
    const int pc = (positionStart(p) + positionStart(p + 1)) / 2;
    return xAboveY ? QPoint(lc, pc) : QPoint(pc, lc);
}

FinchRenderer::FinchRenderer(int textHeight)
    : m_values(image::valueTextFont(textHeight), kOrangeText, NumberFormat::Decimal),
      m_labels(image::valueTextFont(textHeight), kLabelText, NumberFormat::TwoDigits) {}

QImage FinchRenderer::makeFrame(int width, int height) {
    QImage frame(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
    frame.fill(qRgb(0, 0, 0));
    return frame;
}

void FinchRenderer::render(QImage& frame, const NodeGrid& raw, const NodeGrid& stray,
                           NodeGrid& work, const FinchFrameSettings& settings) {
    const Canvas canvas(frame);
    CachedTexts texts{m_values, m_labels, canvas};
    renderWith(texts, frame, raw, stray, work, settings);
}

void FinchRenderer::renderPlain(QImage& frame, const NodeGrid& raw, const NodeGrid& stray,
                                NodeGrid& work, const FinchFrameSettings& settings) {
    // Bits taken before the painter starts, so the frame is never detached
    // under it.
    frame.bits();
    QPainter painter(&frame);
    painter.setFont(m_values.font());
    PlainTexts texts{painter, QFontMetrics(m_values.font()).ascent()};
    renderWith(texts, frame, raw, stray, work, settings);
}

template <typename Texts>
void FinchRenderer::renderWith(Texts& texts, QImage& frame, const NodeGrid& raw,
                               const NodeGrid& stray, NodeGrid& work,
                               const FinchFrameSettings& s) {
    const FinchLayout layout{frame.width(), frame.height(), std::clamp(s.xCount, 0, kGridSize),
                             std::clamp(s.yCount, 0, kGridSize), s.xAboveY};
    if (!layout.drawable()) return;
    const int X = layout.xCount, Y = layout.yCount;
    const Canvas canvas(frame);

    // Black, and the grid lines at every line and position boundary.
    canvas.fillRect(QRect(0, 0, canvas.width, canvas.height), qRgb(0, 0, 0));
    for (int l = 0; l <= X; ++l) {
        const int at = layout.lineStart(l);
        canvas.fillRect(s.xAboveY ? QRect(at, 0, 1, canvas.height) : QRect(0, at, canvas.width, 1),
                 kGridLineColour);
    }
    for (int p = 0; p <= Y; ++p) {
        const int at = layout.positionStart(p);
        canvas.fillRect(s.xAboveY ? QRect(0, at, canvas.width, 1) : QRect(at, 0, 1, canvas.height),
                 kGridLineColour);
    }

    const bool clean = s.dataMode == kCleanMode;
    const int shift = std::clamp(s.shift, 0, 31);
    // Curves need a painter; the cached way opens one only for them.
    std::optional<QPainter> ownPainter;
    QPainter* painter = nullptr;
    if constexpr (std::is_same_v<Texts, PlainTexts>) {
        painter = &texts.painter;
    } else if (clean) {
        ownPainter.emplace(&frame);
        painter = &*ownPainter;
    }
    if (painter) painter->setRenderHint(QPainter::Antialiasing, false);
    const QPen greenPen(QColor(kCurveColour), 1);
    const QPen selectedPen(QColor(kSelectedCurveColour), 2);
    const QPen rdPen(QColor(kRdCurveColour), 2);
    std::vector<QPoint> curve(static_cast<size_t>(Y));

    auto drawLabel = [&](int l, int p, int number) {
        const QRect cell = layout.cell(l, p);
        outlinedCell(canvas, cell, kGridLineColour, kLabelFill);
        texts.label(cell.left() + kTextInset, cell.top() + kTextInset, number, kLabelText);
    };

    // Curves and values belong to the data cells only: the label line and
    // the label position hold no data (a 90-channel line has no grid line
    // behind it), so their cells carry the labels and nothing else, and the
    // corner cell stays empty unless a uniformity box goes there.
    for (int l = 0; l < X; ++l) {
        const bool rdLine = isRdLine(l, X, s.rdMode);
        // The work line: the DD transform of the raw line, or the stray line.
        if (clean)
            ddTransform(&raw[l][0], &work[l][0], Y);
        else
            std::copy(stray[l].begin(), stray[l].begin() + Y, work[l].begin());

        if (clean && Y >= 2) {
            // Each point is its cell's centre moved by 4 * (W >> shift):
            // rightward when lines are columns, upward when they are rows.
            for (int p = 0; p < Y; ++p) {
                const int v = kCurveGain * (work[l][p].value >> shift);
                const QPoint c = layout.centre(l, p);
                curve[size_t(p)] = s.xAboveY ? QPoint(c.x() + v, c.y()) : QPoint(c.x(), c.y() - v);
            }
            painter->setPen(rdLine                        ? rdPen
                            : s.selectedLines[size_t(l)] ? selectedPen
                                                         : greenPen);
            painter->drawPolyline(curve.data(), Y);
        }

        QRgb colour = kGreyText;
        for (int p = 0; p < Y; ++p) {
            const int32_t w = work[l][p].value;
            if (clean)
                colour = cleanTextColour(w, s.threshold);
            else if (p <= Y - 2 || Y == 1)
                // The last position keeps the colour of the text before it.
                colour = adLevelTextColour(w, raw[l][p].value, s.threshold, s.water, rdLine);
            const QRect cell = layout.cell(l, p);
            texts.value(cell.left() + kTextInset, cell.top() + kTextInset, w, colour);
        }
        drawLabel(l, Y, l + 1);
    }
    for (int p = 0; p < Y; ++p) drawLabel(X, p, p + 1);

    if (clean) return;
    // The uniformity marks and boxes always take the line as the column and
    // the position as the row, whatever the layout of the cells.
    const FinchLayout marks{layout.width, layout.height, X, Y, true};
    const UniformityResult result = checkUniformity(work, X, Y, s.uniformity);
    for (const UniformityMark& m : result.marks) {
        const int y = marks.positionStart(m.position + 1);
        int x0 = marks.lineStart(m.line), x1 = marks.lineStart(m.line + 1);
        if (m.halfLineRight) {
            x0 = (marks.lineStart(m.line) + marks.lineStart(m.line + 1)) / 2;
            x1 = (marks.lineStart(m.line + 1) + marks.lineStart(m.line + 2)) / 2;
        }
        // Width 2 across the boundary.
        canvas.fillRect(QRect(QPoint(x0, y - 1), QPoint(x1 - 1, y)), m.red ? kRedMark : kGreenMark);
        if (m.labelled)
            texts.value(x0 + kTextInset, y - kMarkTextRise, m.value, m.red ? kRedMarkText : kGreenMark);
    }
    for (const UniformityBox& b : result.boxes) {
        const QRect cell = marks.cell(b.line, b.position);
        dottedBox(canvas, cell, kBoxColour);
        texts.label(cell.left() + kTextInset, cell.top() + kTextInset, b.value, kBoxText);
    }
}

}  // namespace lumora::finch
