#include "tuner/draw/finch_style.h"

#include <cmath>

#include "tuner/draw/osprey_style.h"

namespace lumora::draw::finch {

namespace {

const QColor kGridBorder(60, 60, 60);

Mark mark(Shape shape, const Point& at, int radius, const QColor& colour, int width, bool fill) {
    Mark m;
    m.shape = shape;
    m.from = QPoint(at.x, at.y);
    m.radius = radius;
    m.color = colour;
    m.width = width;
    m.whiteFill = fill;
    return m;
}

}  // namespace

QColor idColour(int id) {
    if (id == kPressureId) return Qt::black;
    // The twelve pens are those of the Osprey page's multi-contact form.
    return osprey::multiColour(id % osprey::kSlots);
}

int pressurePenWidth(int p) { return p >= kPenBase ? (p - kPenBase) / kPenStep + 1 : p / kPenStep + 1; }

bool atEdge(int x, int y) { return x < 1 || x > 4094 || y < 1 || y > 4094; }

void stepRecord(ContactTable& table, const TouchRecord& record, int drawMode,
                std::vector<Mark>& out) {
    if (!table.holds(record.id)) return;
    TouchRecord r = record;
    const int id = r.id;
    // The id's pen; id 31's follows the pressure as reported.
    const int penWidth = id == kPressureId ? std::max(1, pressurePenWidth(r.pressure)) : 2;
    if (id == kPressureId && r.pressure >= kPenBase) r.pressure -= kPenBase;

    ContactSlot& s = table.at(id);
    const Point report = Point::of(r);
    // Touch-down and lift marks change colour at the edge and with bit 7
    // of the extra value (bit 7 showing when both apply).
    const bool edge = atEdge(r.x, r.y), bit7 = (s.extra & 0x80) != 0;
    const Shape marker = id == kPressureId ? Shape::Square : Shape::Circle;
    auto markPen = [&](const QColor& normal, int normalWidth) -> std::pair<QColor, int> {
        if (bit7) return {kBit7Colour, 2};
        if (edge) return {kEdgeColour, 2};
        return {normal, normalWidth};
    };

    if (r.touching && !s.current.empty()) {
        s.current = report;
        if (drawMode == kLineMode) {
            Mark m = mark(Shape::Line, s.previous, 0, idColour(id), penWidth, false);
            m.to = QPoint(report.x, report.y);
            out.push_back(m);
        } else {
            out.push_back(mark(Shape::Ring, report, 1, idColour(id), penWidth, false));
        }
    } else if (r.touching) {
        s.current = report;
        const auto [colour, width] = markPen(idColour(id), penWidth);
        out.push_back(mark(marker, report, 5, colour, width, true));
    } else {
        s.current = Point{};
        // A lift of a contact that never touched has no previous point to mark.
        if (!s.previous.empty()) {
            const auto [colour, width] = markPen(Qt::black, 2);
            out.push_back(mark(marker, s.previous, 2, colour, width, true));
        }
    }
    s.previous = report;
}

QString infoRow(int id, const ContactSlot& s) {
    if (s.current.empty() && s.previous.empty()) return {};
    // The latest report is the previous point once a report is handled.
    const Point& p = s.previous;
    QString text;
    if (s.rate != 0)
        text = QString::asprintf("%d: %03dHz (%4d, %4d, %4d)- %d", id, s.rate, p.x, p.y, p.pressure,
                                 s.extra & 0x0F);
    if (s.current.empty()) {
        // Written over the start of the row, as it always was: the rate
        // reads 000Hz, the last position stays beside it.
        const QString lifted = QString::asprintf("%d: 000Hz", id);
        text = lifted + text.mid(lifted.size());
    }
    return text;
}

std::vector<QString> infoRows(const ContactTable& table) {
    std::vector<QString> rows(static_cast<size_t>(table.size()));
    for (int id = 0; id < table.size(); ++id) rows[static_cast<size_t>(id)] = infoRow(id, table.at(id));
    return rows;
}

GridGeometry grid(QSize size, const GridSettings& g) {
    const int w = size.width(), h = size.height();
    const double d = g.distance, x = g.gridX, y = g.gridY;
    // An "X" or "Y" of 0 gives no band rather than a division by zero.
    const int offX = g.gridX != 0 ? toPixels(w / x * d) : 0;
    const int offY = g.gridY != 0 ? toPixels(h / y * d) : 0;
    const bool both = g.gridX != 0 && g.gridY != 0;
    const int s = both ? toPixels(w / x * std::sqrt(d * d + std::pow(x * d / y, 2))) : 0;
    const int t = both ? toPixels(w / x * std::sqrt(d * d + std::pow(y * d / x, 2))) : 0;

    GridGeometry out;
    out.borderColor = kGridBorder;
    out.pink.emplace_back(0, offY, w, offY);
    out.pink.emplace_back(0, h - offY, w, h - offY);
    out.pink.emplace_back(offX, 0, offX, h);
    out.pink.emplace_back(w - offX, 0, w - offX, h);
    for (int i = 1; i <= 7; ++i) {
        const int yi = i * h / 8, xi = i * w / 8;
        out.pink.emplace_back(0, yi - offY, w, yi - offY);
        out.pink.emplace_back(0, yi + offY, w, yi + offY);
        out.pink.emplace_back(xi - offX, 0, xi - offX, h);
        out.pink.emplace_back(xi + offX, 0, xi + offX, h);
        out.grey.emplace_back(0, yi, w, yi);
        out.grey.emplace_back(xi, 0, xi, h);
    }
    out.pink.emplace_back(s, 0, w, h - t);
    out.pink.emplace_back(0, t, w - s, h);
    out.pink.emplace_back(w - s, 0, 0, h - t);
    out.pink.emplace_back(w, t, s, h);
    out.grey.emplace_back(0, 0, w, h);
    out.grey.emplace_back(w, 0, 0, h);
    out.targets = cornerTargets(w, h);
    return out;
}

TestLine testLineFor(QSize surface) {
    if (surface.width() <= 0) return {};
    return {float(surface.height()) / float(surface.width())};
}

float offsetDistance(int x, int y, const GridSettings& g, TestLine line) {
    // Unsigned, as the controller's coordinates and the fields are taken.
    const uint32_t mmX = (uint32_t(x) * uint32_t(g.gridX)) >> 11;
    const uint32_t mmY = (uint32_t(y) * uint32_t(g.gridY)) >> 11;
    const float G = line.g;
    return std::fabs(G * float(mmX) - float(mmY)) / std::sqrt(G * G + 1.0f);
}

QPoint keyCentre(int key, QSize strip) { return draw::keyCentre(key, strip, kKeyPlaces); }

}  // namespace lumora::draw::finch
