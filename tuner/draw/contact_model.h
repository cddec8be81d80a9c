// The track model the two draw test pages share: one slot per contact id
// with its current and previous point, its extra value and its report rate,
// and the marks that a report leaves on the drawing surface. The marks are
// kept in report coordinates; the renderer scales them to the surface.
#pragma once

#include <QColor>
#include <QPoint>
#include <cstdint>
#include <vector>

#include "tuner/draw/touch_report.h"

namespace lumora::draw {

// One point of a contact. X and Y both -1 mark an empty point.
struct Point {
    int x = -1;
    int y = -1;
    int pressure = 0;
    int auxA = 0;
    int auxB = 0;

    bool empty() const { return x == -1 && y == -1; }
    static Point of(const TouchRecord& r) { return {r.x, r.y, r.pressure, r.auxA, r.auxB}; }
};

struct ContactSlot {
    Point current;
    Point previous;
    int extra = 0;       // the extra value of the contact's latest report
    int status = 0;      // the status byte of its latest report
    uint32_t rateStart = 0;  // tick count (ms) at which the running period began
    int rateCount = 0;   // reports counted in the running period
    int rate = 0;        // reports counted in the last completed period
};

// A period ends with the first report more than this long after it began.
constexpr uint32_t kRatePeriodMs = 1000;

class ContactTable {
public:
    explicit ContactTable(int count) : m_slots(static_cast<size_t>(count)) {}

    int size() const { return static_cast<int>(m_slots.size()); }
    // Ids outside the slots (above the last, or negative) are no contact of the page.
    bool holds(int id) const { return id >= 0 && id < size(); }
    ContactSlot& at(int id) { return m_slots[static_cast<size_t>(id)]; }
    const ContactSlot& at(int id) const { return m_slots[static_cast<size_t>(id)]; }

    // Keeps the extra value and the status of a record of one of the slots.
    void noteReport(const TouchRecord& record);

    // Every point empty; the rates stay.
    void clearPoints();
    // Every running period starts now.
    void restartRates(uint32_t nowMs);
    // Points empty, counters and rates 0, periods starting now.
    void resetAll(uint32_t nowMs);

    // One more report of `id`. When more than kRatePeriodMs have passed since
    // the period began (taken unsigned, as the tick count wraps), the count
    // becomes the rate and a new period begins. An id that stops reporting
    // keeps its last rate.
    void countReport(int id, uint32_t nowMs);

private:
    std::vector<ContactSlot> m_slots;
};

// What a report leaves on the drawing surface. Positions are in report
// coordinates; radius and width in pixels.
enum class Shape : uint8_t {
    Circle,  // radius around `from`
    Square,  // half side `radius` around `from`
    Line,    // from `from` to `to`
    Dot,     // the one pixel at `from`
    Ring,    // an ellipse one pixel around `from`
};

struct Mark {
    Shape shape = Shape::Dot;
    QPoint from;
    QPoint to;
    int radius = 0;
    QColor color;
    int width = 2;
    bool whiteFill = false;
};

// The drawing modes of the "Dot Mode" / "Line Mode" radios.
enum DrawMode : int { kDotMode = 0, kLineMode = 1 };

}  // namespace lumora::draw
