#include "tuner/draw/osprey_style.h"

#include <array>
#include <cmath>

namespace lumora::draw::osprey {

namespace {

const std::array<QColor, 4> kSingleColours = {QColor(255, 0, 0), QColor(102, 205, 0),
                                              QColor(0, 128, 128), QColor(255, 185, 15)};

const std::array<QColor, kSlots> kMultiColours = {
    QColor(255, 0, 0),     QColor(0, 128, 0),     QColor(0, 0, 255),     QColor(255, 185, 15),
    QColor(160, 32, 240),  QColor(139, 121, 94),  QColor(205, 102, 0),   QColor(105, 139, 34),
    QColor(255, 130, 171), QColor(152, 251, 152), QColor(121, 205, 205), QColor(238, 221, 130)};

const QColor kGridBorder(128, 128, 128);

Mark circle(const Point& at, int radius, const QColor& colour, bool whiteFill) {
    Mark m;
    m.shape = Shape::Circle;
    m.from = QPoint(at.x, at.y);
    m.radius = radius;
    m.color = colour;
    m.whiteFill = whiteFill;
    return m;
}

Mark line(const Point& from, const Point& to, const QColor& colour) {
    Mark m;
    m.shape = Shape::Line;
    m.from = QPoint(from.x, from.y);
    m.to = QPoint(to.x, to.y);
    m.color = colour;
    return m;
}

}  // namespace

QColor singleColour(int id) { return kSingleColours[static_cast<size_t>(id % 4)]; }

QColor multiColour(int id) { return kMultiColours[static_cast<size_t>(id % kSlots)]; }

void redrawTracks(const ContactTable& table, int drawMode, std::vector<Mark>& out) {
    for (int id = 0; id < table.size(); ++id) {
        const ContactSlot& s = table.at(id);
        const bool hasCurrent = !s.current.empty(), hasPrevious = !s.previous.empty();
        if (!hasCurrent && hasPrevious) {
            out.push_back(circle(s.previous, 5, singleColour(id), true));  // lift
        } else if (hasCurrent && !hasPrevious) {
            out.push_back(circle(s.current, 2, Qt::black, true));  // touch-down
        } else if (hasCurrent && hasPrevious) {
            if (drawMode == kLineMode)
                out.push_back(line(s.current, s.previous, singleColour(id)));
            else
                out.push_back(circle(s.previous, 3, singleColour(id), false));
        }
    }
}

void stepSingleContact(ContactTable& table, const TouchRecord& r, int drawMode,
                       std::vector<Mark>& out, std::vector<QString>* rows) {
    if (!table.holds(r.id)) return;
    ContactSlot& s = table.at(r.id);
    // Each redraw shows the contact information as it is at that moment;
    // the last one stays until the next report.
    auto redraw = [&] {
        redrawTracks(table, drawMode, out);
        if (rows) *rows = infoRows(table);
    };
    if (r.touching) {
        if (s.current.empty()) s.previous = Point{};  // touch-down: a new track
        s.current = Point::of(r);
        redraw();
        s.previous = s.current;
    } else {
        s.current = Point::of(r);
        redraw();
        s.current = Point{};
        s.previous = Point::of(r);
        redraw();
        s.previous = Point{};
    }
}

void stepMultiContact(ContactTable& table, const TouchRecord& r, int drawMode,
                      std::vector<Mark>& out) {
    if (!table.holds(r.id)) return;
    ContactSlot& s = table.at(r.id);
    const Point report = Point::of(r);
    if (r.touching && s.current.empty()) {
        const bool edge = r.x == 0 || r.x == 4095 || r.y == 0 || r.y == 4095;
        s.current = report;
        out.push_back(circle(report, 5, edge ? kEdgeColour : multiColour(r.id), true));
    } else if (r.touching) {
        s.current = report;
        if (drawMode == kLineMode) {
            out.push_back(line(s.previous, report, multiColour(r.id)));
        } else {
            Mark dot;
            dot.shape = Shape::Dot;
            dot.from = QPoint(report.x, report.y);
            dot.color = multiColour(r.id);
            out.push_back(dot);
        }
    } else {
        // A lift of a contact that never touched has no previous point to mark.
        if (!s.previous.empty()) out.push_back(circle(s.previous, 2, Qt::black, true));
        s.current = Point{};
    }
    s.previous = report;
}

QString infoRow(int id, const ContactSlot& s) {
    // A lifted contact shows "ID n : 0" alone: its current point holds no
    // position to show beside the rate.
    if (s.current.empty()) return s.previous.empty() ? QString() : QString::asprintf("ID %d : 0", id);
    if (s.rate == 0) return {};
    const Point& c = s.current;
    return QString::asprintf("ID %d : %03d Hz", id, s.rate) +
           QString::asprintf(" ( %4d, %4d, %4d )", c.x, c.y, c.pressure) +
           QString::asprintf(" - %d, %d, %d", s.extra, c.auxA, c.auxB);
}

std::vector<QString> infoRows(const ContactTable& table) {
    std::vector<QString> rows(static_cast<size_t>(table.size()));
    for (int id = 0; id < table.size(); ++id) rows[static_cast<size_t>(id)] = infoRow(id, table.at(id));
    return rows;
}

QString fullScreenRow(int id, const ContactSlot& s) {
    if (s.current.empty()) return s.previous.empty() ? QString() : QString::asprintf("ID %d : 0", id);
    if (s.rate == 0) return {};
    const Point& c = s.current;
    // The line has a ninth place; it shows whether the contact is down
    // (bit 0 of its latest status), the one field of the report the other
    // eight leave out.
    return QString::asprintf("ID %d : %03d Hz ( %4d, %4d, %4d ) - %d, %d, %d, %d", id, s.rate, c.x,
                             c.y, c.pressure, s.extra, c.auxA, c.auxB, s.status & 1);
}

GridGeometry grid(QSize size, const GridSettings& g) {
    const int w = size.width(), h = size.height();
    const double d = g.distance;
    // An "X" or "Y" of 0 gives no band rather than a division by zero.
    const int offX = g.gridX != 0 ? toPixels(double(w) / g.gridX * d) : 0;
    const int offY = g.gridY != 0 ? toPixels(double(h) / g.gridY * d) : 0;
    // The diagonal bands are shifted vertically; they follow "D" like the
    // others, so that a D of 0 lays every band on its line.
    const double diagonal = std::sqrt(double(w) * w + double(h) * h);
    const int shift =
        g.gridY != 0 && diagonal > 0 ? toPixels(w / diagonal * h / g.gridY * d) : 0;

    GridGeometry out;
    out.borderColor = kGridBorder;
    for (int i = 1; i <= 7; ++i) {
        const int y = i * h / 8, x = i * w / 8;
        out.grey.emplace_back(0, y, w, y);
        out.pink.emplace_back(0, y - offY, w, y - offY);
        out.pink.emplace_back(0, y + offY, w, y + offY);
        out.grey.emplace_back(x, 0, x, h);
        out.pink.emplace_back(x - offX, 0, x - offX, h);
        out.pink.emplace_back(x + offX, 0, x + offX, h);
    }
    out.grey.emplace_back(0, 0, w, h);
    out.grey.emplace_back(w, 0, 0, h);
    for (const int sign : {-1, 1}) {
        out.pink.emplace_back(0, sign * shift, w, h + sign * shift);
        out.pink.emplace_back(w, sign * shift, 0, h + sign * shift);
    }
    out.targets = cornerTargets(w, h);
    return out;
}

QPoint keyCentre(int key, QSize strip) { return draw::keyCentre(key, strip, kKeyPlaces); }

}  // namespace lumora::draw::osprey
