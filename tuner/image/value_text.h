// Value texts drawn fast: the font of the image views, direct pixel access
// to a frame, and a cache of rendered number texts. Shared by the image
// pages of both controller classes.
#pragma once

#include <QFont>
#include <QImage>
#include <QRect>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace lumora::image {

// Bold, 10 pixels high with 5-pixel average characters. Liberation Sans is
// metric-compatible with the face the layout was made for, so the text
// offsets of the cells hold. Antialiasing is off: the 9-pixel digits stay
// crisp on black, and every glyph pixel is either the text colour or left
// alone, which lets ValueTextCache reproduce drawText exactly.
QFont valueTextFont();

// The same face for a text cell `height` pixels high (ascent plus descent),
// e.g. 11 for the larger texts of a full-screen view.
QFont valueTextFont(int height);

// Direct access to the pixels of a Format_RGB32 / ARGB32 frame, taken once
// per frame so that the many small stores of a frame skip QImage's checks.
struct Canvas {
    explicit Canvas(QImage& image)
        : pixels(reinterpret_cast<QRgb*>(image.bits())),
          stride(image.bytesPerLine() / qsizetype(sizeof(QRgb))),
          width(image.width()),
          height(image.height()) {}
    QRgb* line(int y) const { return pixels + y * stride; }
    // Fills the part of `rect` that lies inside the frame: the same pixels
    // as QPainter::fillRect on an aliased painter.
    void fillRect(QRect rect, QRgb colour) const;

    QRgb* pixels;
    qsizetype stride;  // in pixels
    int width;
    int height;
};

// How a cache writes its numbers.
enum class NumberFormat {
    Decimal,    // "%d"
    TwoDigits,  // "%02d": 1 -> "01", -5 -> "-5", 123 -> "123"
};

// The text of `value` in `format`, as printf writes it.
QString formatNumber(int32_t value, NumberFormat format);

// Rendered value texts, one entry per value: the pixels that drawText sets
// for the text of that value, relative to the text's top left corner.
// Writing them into the frame costs a few hundred pixel stores per cell
// instead of a text layout, and gives the same pixels as drawing the text
// with the same font and colour on a transparent background. The pixels do
// not depend on the colour (no antialiasing), so one cache serves texts of
// every colour.
class ValueTextCache {
public:
    ValueTextCache(const QFont& font, QRgb colour, NumberFormat format = NumberFormat::Decimal);

    // Puts the text of `value` with its top left corner at (x, y), clipped
    // to the canvas, in the cache's colour or in `colour`.
    void draw(const Canvas& canvas, int x, int y, int32_t value) {
        draw(canvas, x, y, value, m_colour);
    }
    void draw(const Canvas& canvas, int x, int y, int32_t value, QRgb colour);

    size_t size() const { return m_entries.size(); }
    const QFont& font() const { return m_font; }

private:
    // The set pixels of a text as one bit mask per pixel row: bit b of
    // rows[i] is the pixel (bounds.left() + b, bounds.top() + i). Texts of
    // 32-bit values stay well under 64 pixels wide.
    struct Entry {
        std::vector<uint64_t> rows;
        QRect bounds;  // relative to the text's top left corner
    };
    const Entry& entryFor(int32_t value);
    Entry render(int32_t value) const;

    QFont m_font;
    QRgb m_colour;
    NumberFormat m_format;
    int m_ascent = 0;
    // Values of the packets' 16-bit range are looked up by index; the rest
    // (a grid holds 32-bit numbers) by hash.
    std::vector<const Entry*> m_byValue;
    std::unordered_map<int32_t, Entry> m_entries;
};

}  // namespace lumora::image
