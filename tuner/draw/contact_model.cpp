#include "tuner/draw/contact_model.h"

namespace lumora::draw {

void ContactTable::noteReport(const TouchRecord& r) {
    if (!holds(r.id)) return;
    at(r.id).extra = r.extra;
    at(r.id).status = r.status;
}

void ContactTable::clearPoints() {
    for (ContactSlot& s : m_slots) {
        s.current = Point{};
        s.previous = Point{};
    }
}

void ContactTable::restartRates(uint32_t nowMs) {
    for (ContactSlot& s : m_slots) s.rateStart = nowMs;
}

void ContactTable::resetAll(uint32_t nowMs) {
    for (ContactSlot& s : m_slots) {
        s.current = Point{};
        s.previous = Point{};
        s.rateCount = 0;
        s.rate = 0;
        s.rateStart = nowMs;
    }
}

void ContactTable::countReport(int id, uint32_t nowMs) {
    if (!holds(id)) return;
    ContactSlot& s = at(id);
    s.rateCount += 1;
    if (uint32_t(nowMs - s.rateStart) > kRatePeriodMs) {
        s.rate = s.rateCount;
        s.rateCount = 0;
        s.rateStart = nowMs;
    }
}

}  // namespace lumora::draw
