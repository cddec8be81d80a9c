#include "tuner/draw/touch_report.h"

#include <algorithm>

#include "device/packet.h"

namespace lumora::draw {

KeyReport decodeKey(const uint8_t* p) { return {(p[4] & 1) != 0, p[5]}; }

bool gestureActive(const uint8_t* p) { return p[4] != 0; }

TouchRecord decodeSingleContact(const uint8_t* p) {
    TouchRecord r;
    r.status = p[4];
    r.touching = (p[4] & 1) != 0;
    r.x = readLE16u(&p[5]);
    r.y = readLE16u(&p[7]);
    r.pressure = readLE16u(&p[9]);
    r.id = static_cast<int8_t>(p[11]);
    r.extra = p[12];
    r.auxA = readLE16u(&p[13]);
    r.auxB = readLE16u(&p[15]);
    return r;
}

MultiContactReport decodeMultiContact(const uint8_t* p) {
    MultiContactReport out;
    out.count = std::min<int>(p[kRecordCountByte], kMaxRecords);
    for (int i = 0; i < out.count; ++i) {
        const uint8_t* rec = &p[4 + 10 * i];
        TouchRecord& r = out.records[static_cast<size_t>(i)];
        r.status = rec[0];
        r.touching = (rec[0] & 1) != 0;
        r.id = static_cast<int8_t>(rec[1]);
        r.x = readLE16(&rec[2]);
        r.y = readLE16(&rec[4]);
        r.pressure = readLE16(&rec[6]);
        r.extra = readLE16(&rec[8]);
    }
    return out;
}

MultiContactReport decodeEitherForm(const uint8_t* p) {
    if (!isSingleContact(p)) return decodeMultiContact(p);
    MultiContactReport out;
    out.count = 1;
    out.records[0] = decodeSingleContact(p);
    return out;
}

}  // namespace lumora::draw
