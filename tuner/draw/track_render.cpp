#include "tuner/draw/track_render.h"

#include <QPainter>
#include <algorithm>

namespace lumora::draw {

QPoint toSurface(QPoint report, QSize size, int divisor) {
    if (divisor <= 0) return {};
    return {static_cast<int>(int64_t(report.x()) * size.width() / divisor),
            static_cast<int>(int64_t(report.y()) * size.height() / divisor)};
}

QRect drawMarks(QImage& surface, const std::vector<Mark>& marks, int divisor) {
    if (marks.empty()) return {};
    QPainter p(&surface);
    p.setRenderHint(QPainter::Antialiasing, false);
    QRect touched;
    const QSize size = surface.size();
    for (const Mark& m : marks) {
        const QPoint a = toSurface(m.from, size, divisor);
        // Round ends, so that the segments of a wide line join without gaps;
        // thin lines join well enough with square ends, which draw far
        // faster than round ones.
        const int width = std::max(1, m.width);
        p.setPen(QPen(m.color, width, Qt::SolidLine, width > 2 ? Qt::RoundCap : Qt::SquareCap,
                      width > 2 ? Qt::RoundJoin : Qt::MiterJoin));
        p.setBrush(m.whiteFill ? QBrush(Qt::white) : QBrush(Qt::NoBrush));
        QRect box;
        switch (m.shape) {
        case Shape::Circle:
            p.drawEllipse(a, m.radius, m.radius);
            box = QRect(a.x() - m.radius, a.y() - m.radius, 2 * m.radius + 1, 2 * m.radius + 1);
            break;
        case Shape::Square:
            box = QRect(a.x() - m.radius, a.y() - m.radius, 2 * m.radius, 2 * m.radius);
            p.drawRect(box);
            break;
        case Shape::Line: {
            const QPoint b = toSurface(m.to, size, divisor);
            p.drawLine(a, b);
            box = QRect(a, b).normalized();
            break;
        }
        case Shape::Dot:
            p.setPen(QPen(m.color, 1));
            p.drawPoint(a);
            box = QRect(a, QSize(1, 1));
            break;
        case Shape::Ring:
            p.drawEllipse(QRect(a.x() - 1, a.y() - 1, 3, 3));
            box = QRect(a.x() - 1, a.y() - 1, 3, 3);
            break;
        }
        const int margin = m.width / 2 + 2;
        touched |= box.adjusted(-margin, -margin, margin, margin);
    }
    return touched & surface.rect();
}

QRect drawGesture(QImage& surface, bool active) {
    const QPoint centre(surface.width() / 2, surface.height() / 2);
    QPainter p(&surface);
    constexpr int kOutline = 12;
    const QRect box(centre.x() - kGestureRadius - kOutline, centre.y() - kGestureRadius - kOutline,
                    2 * (kGestureRadius + kOutline), 2 * (kGestureRadius + kOutline));
    if (active) {
        p.setPen(QPen(kGestureOrange, kOutline));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(centre, kGestureRadius, kGestureRadius);
        QFont font = p.font();
        font.setPixelSize(20);
        font.setBold(true);
        p.setFont(font);
        p.setPen(kGestureText);
        p.drawText(box, Qt::AlignCenter, QStringLiteral("Gesture!"));
    } else {
        p.setPen(QPen(Qt::white, kOutline));
        p.setBrush(Qt::white);
        p.drawEllipse(centre, kGestureRadius, kGestureRadius);
    }
    return box & surface.rect();
}

void clearKeyStrip(QImage& strip) {
    strip.fill(Qt::white);
    QPainter p(&strip);
    p.setPen(Qt::black);
    p.drawRect(0, 0, strip.width() - 1, strip.height() - 1);
}

void drawPressedKey(QImage& strip, QPoint centre, int number, bool outlined) {
    constexpr int kRadius = 20;
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(outlined ? QPen(kKeyGreen, 2) : QPen(Qt::NoPen));
    p.setBrush(kKeyGreen);
    p.drawEllipse(centre, kRadius, kRadius);
    p.setPen(Qt::black);
    p.drawText(QRect(centre.x() - kRadius, centre.y() - kRadius, 2 * kRadius, 2 * kRadius),
               Qt::AlignCenter, QString::number(number));
}

void drawInfoRows(QPainter& p, const QRect& area, const std::vector<QString>& rows, int firstTop,
                  int pitch, const QFont& font) {
    p.fillRect(area, Qt::white);
    p.setFont(font);
    p.setPen(Qt::black);
    // drawText at a point takes Qt's short path (no layout in a box).
    const int ascent = QFontMetrics(font).ascent();
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].isEmpty()) continue;
        const int top = area.top() + firstTop + static_cast<int>(i) * pitch;
        p.drawText(QPoint(area.left() + 6, top + ascent), rows[i]);
    }
}

}  // namespace lumora::draw
