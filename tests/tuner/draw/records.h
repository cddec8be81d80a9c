// A touch record as a report of either form decodes into.
#pragma once

#include "tuner/draw/touch_report.h"

namespace lumora::draw::testing_support {

inline TouchRecord record(int id, bool touching, int x, int y, int pressure = 100, int extra = 0) {
    TouchRecord r;
    r.id = id;
    r.touching = touching;
    r.status = touching ? 1 : 0;
    r.x = x;
    r.y = y;
    r.pressure = pressure;
    r.extra = extra;
    return r;
}

}  // namespace lumora::draw::testing_support
