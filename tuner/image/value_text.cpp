#include "tuner/image/value_text.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <bit>
#include <climits>

namespace lumora::image {

QFont valueTextFont() { return valueTextFont(10); }

QFont valueTextFont(int height) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setBold(true);
    // The em is one pixel less than the cell: a 9-pixel em has ascent 8 +
    // descent 2 = the 10-pixel cell height and an average character width
    // of 5; a 10-pixel em fills a cell of 11.
    font.setPixelSize(std::max(height - 1, 1));
    font.setStyleStrategy(QFont::NoAntialias);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

QString formatNumber(int32_t value, NumberFormat format) {
    // printf's "%02d" pads to two characters, the sign counted.
    if (format == NumberFormat::TwoDigits && value >= 0 && value < 10)
        return QStringLiteral("0") + QString::number(value);
    return QString::number(value);
}

void Canvas::fillRect(QRect rect, QRgb colour) const {
    rect = rect.intersected(QRect(0, 0, width, height));
    if (rect.isEmpty()) return;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        QRgb* row = line(y);
        std::fill(row + rect.left(), row + rect.right() + 1, colour);
    }
}

// ---- ValueTextCache ----------------------------------------------------------

ValueTextCache::ValueTextCache(const QFont& font, QRgb colour, NumberFormat format)
    : m_font(font),
      m_colour(colour),
      m_format(format),
      m_ascent(QFontMetrics(font).ascent()),
      m_byValue(size_t(1) << 16, nullptr) {}

ValueTextCache::Entry ValueTextCache::render(int32_t value) const {
    // Render the text the plain way once, with room around it for glyphs
    // that reach left of their origin or below the descent.
    const QString text = formatNumber(value, m_format);
    const QFontMetrics metrics(m_font);
    const int pad = 4;
    QImage scratch(metrics.horizontalAdvance(text) + 2 * pad, metrics.height() + 2 * pad,
                   QImage::Format_ARGB32_Premultiplied);
    scratch.fill(Qt::transparent);
    {
        QPainter painter(&scratch);
        painter.setFont(m_font);
        painter.setPen(QColor(m_colour));
        painter.drawText(pad, pad + m_ascent, text);
    }

    // Without antialiasing a glyph pixel is fully set or untouched.
    QRect bounds;
    for (int y = 0; y < scratch.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(scratch.constScanLine(y));
        for (int x = 0; x < scratch.width(); ++x)
            if (qAlpha(line[x]) != 0) bounds |= QRect(x, y, 1, 1);
    }
    Entry entry;
    if (bounds.isEmpty()) return entry;
    Q_ASSERT(bounds.width() <= 64);
    for (int y = bounds.top(); y <= bounds.bottom(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(scratch.constScanLine(y));
        uint64_t mask = 0;
        for (int x = bounds.left(); x <= bounds.right() && x - bounds.left() < 64; ++x)
            if (qAlpha(line[x]) != 0) mask |= uint64_t(1) << (x - bounds.left());
        entry.rows.push_back(mask);
    }
    entry.bounds = bounds.translated(-pad, -pad);
    return entry;
}

const ValueTextCache::Entry& ValueTextCache::entryFor(int32_t value) {
    const bool indexed = value >= INT16_MIN && value <= INT16_MAX;
    const size_t index = size_t(value - INT16_MIN);
    if (indexed && m_byValue[index]) return *m_byValue[index];
    auto found = m_entries.find(value);
    if (found != m_entries.end()) return found->second;

    // A noisy image can bring tens of thousands of distinct values over a long
    // run; starting afresh keeps the memory bounded (a few MB) and costs
    // one slow frame.
    constexpr size_t kMaxEntries = 20000;
    if (m_entries.size() >= kMaxEntries) {
        m_entries.clear();
        std::fill(m_byValue.begin(), m_byValue.end(), nullptr);
    }
    // Node-based map: the entry's address stays valid as the map grows.
    const Entry& entry = m_entries.emplace(value, render(value)).first->second;
    if (indexed) m_byValue[index] = &entry;
    return entry;
}

void ValueTextCache::draw(const Canvas& canvas, int x, int y, int32_t value, QRgb colour) {
    const Entry& entry = entryFor(value);
    const int left = x + entry.bounds.left();
    const int top = y + entry.bounds.top();
    const bool inside = left >= 0 && top >= 0 && left + entry.bounds.width() <= canvas.width &&
                        top + entry.bounds.height() <= canvas.height;
    for (size_t i = 0; i < entry.rows.size(); ++i) {
        const int py = top + int(i);
        uint64_t mask = entry.rows[i];
        if (!inside) {
            if (py < 0 || py >= canvas.height) continue;
            // Drop the bits left of column 0 and right of the last column.
            if (left < 0) mask = -left >= 64 ? 0 : mask & (~uint64_t(0) << -left);
            const int room = canvas.width - left;
            if (room <= 0) mask = 0;
            else if (room < 64) mask &= (uint64_t(1) << room) - 1;
        }
        QRgb* line = canvas.line(py);
        while (mask) {
            line[left + std::countr_zero(mask)] = colour;
            mask &= mask - 1;
        }
    }
}

}  // namespace lumora::image
