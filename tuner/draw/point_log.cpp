#include "tuner/draw/point_log.h"

#include <cstdio>

namespace lumora::draw {

namespace {

QByteArray clock(const QTime& t, const char* format) {
    char text[32];
    const int n = std::snprintf(text, sizeof text, format, t.hour(), t.minute(), t.second());
    return QByteArray(text, n);
}

int state(const TouchRecord& r) { return r.status & 1; }

}  // namespace

QString pointLogFileName() { return QStringLiteral("PCAP_POINTLOG.csv"); }
QString fullScreenLogFileName() { return QStringLiteral("PointLog_FullScreen.csv"); }

QByteArray pointLogHeader() { return QByteArrayLiteral("\r\nTime,ID,State, X, Y, Pressure\r\n"); }

QByteArray fullScreenLogHeader() {
    return QByteArrayLiteral("\r\nTime,ID,State, X, Y, Pressure, Offset Distance(mm)\r\n");
}

QByteArray ospreyPointLine(const QTime& time, const TouchRecord& r) {
    char text[96];
    const int n = std::snprintf(text, sizeof text, "%d, %d, %d, %d, %d\r\n", r.id, state(r), r.x,
                                r.y, r.pressure);
    return clock(time, "%02d:%02d:%02d, ") + QByteArray(text, n);
}

QByteArray finchPointLine(const QTime& time, const TouchRecord& r) {
    char text[96];
    const int n = std::snprintf(text, sizeof text, "%d, 0x%02X, %d, %d, %d\r\n", r.id, state(r),
                                r.x, r.y, r.pressure);
    return clock(time, "%02d:%02d:%02d, ") + QByteArray(text, n);
}

QByteArray fullScreenPointLine(const QTime& time, const TouchRecord& r, float distance) {
    char text[96];
    const int n = std::snprintf(text, sizeof text, "%d,%d,%d,%d,%d,", r.id, state(r), r.x, r.y,
                                r.pressure);
    // QByteArray::number is independent of the C library's locale, so the
    // separator is a point even where the user's locale writes a comma; with
    // 'f' and 6 digits it writes what "%f" writes.
    return clock(time, "%02d:%02d:%02d,") + QByteArray(text, n) +
           QByteArray::number(double(distance), 'f', 6) + "\r\n";
}

}  // namespace lumora::draw
