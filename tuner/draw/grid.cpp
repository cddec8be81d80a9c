#include "tuner/draw/grid.h"

#include <QLocale>
#include <QPainter>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace lumora::draw {

double parseDistance(const QString& text) {
    // The leading number only, as the field was always read: "2.5mm" is 2.5.
    static const QRegularExpression number(
        QStringLiteral(R"(^\s*[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?)"));
    const QRegularExpressionMatch m = number.match(text);
    if (!m.hasMatch()) return 0;
    bool ok = false;
    const double value = QLocale::c().toDouble(m.captured(0).trimmed(), &ok);
    return ok && std::isfinite(value) ? value : 0;
}

int parseGridSize(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? value : 0;
}

int toPixels(double value) {
    constexpr double kLimit = 1e6;
    if (!std::isfinite(value)) return 0;
    return static_cast<int>(std::clamp(value, -kLimit, kLimit));
}

std::array<QPoint, 4> cornerTargets(int w, int h) {
    return {QPoint(w / 20, h / 20), QPoint(w / 20, 19 * h / 20), QPoint(19 * w / 20, h / 20),
            QPoint(19 * w / 20, 19 * h / 20)};
}

QPoint keyCentre(int key, QSize strip, int places) {
    return {(key + 1) * strip.width() / (places + 1), strip.height() / 2};
}

void drawGrid(QImage& surface, const GridGeometry& grid) {
    surface.fill(Qt::white);
    QPainter p(&surface);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(kGridPink, 1, Qt::DotLine));
    p.drawLines(grid.pink.data(), static_cast<int>(grid.pink.size()));
    p.setPen(QPen(kGridGrey, 1, Qt::DotLine));
    p.drawLines(grid.grey.data(), static_cast<int>(grid.grey.size()));

    p.setPen(QPen(grid.borderColor, 1));
    p.setBrush(Qt::NoBrush);
    for (const QPoint& t : grid.targets) {
        const int h = kTargetHalfSide;
        p.drawRect(t.x() - h, t.y() - h, 2 * h, 2 * h);
        p.drawLine(t.x() - h, t.y() - h, t.x() + h, t.y() + h);
        p.drawLine(t.x() - h, t.y() + h, t.x() + h, t.y() - h);
    }
    p.drawRect(0, 0, surface.width() - 1, surface.height() - 1);
}

}  // namespace lumora::draw
