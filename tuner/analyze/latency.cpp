#include "tuner/analyze/latency.h"

#include <algorithm>

#include "device/packet.h"
#include "device/type_codes.h"

namespace lumora::analyze {

void LatencyStats::add(double latencyMs) {
    max = std::max(max, latencyMs);
    min = std::min(min, latencyMs);
    total += latencyMs;
    ++count;
    avg = total / count;
}

QString latencyLogFileName(const QTime& t) {
    return QStringLiteral("HERON_LatencyLog") +
           QString::asprintf("-%02d%02d%02d.csv", t.hour(), t.minute(), t.second());
}

QByteArray latencyLogHeader() { return QByteArrayLiteral("\r\nTime,Index,Latency\r\n"); }

QByteArray latencyLogLine(const QTime& t, int number, double latencyMs) {
    return QString::asprintf("%02d:%02d:%02d,%d,%.3f\r\n", t.hour(), t.minute(), t.second(), number,
                             latencyMs)
        .toLatin1();
}

QByteArray latencyLogSummary(const LatencyStats& s) {
    return QString::asprintf("Min,,%.3f\r\nMax,,%.3f\r\nAvg,,%.3f\r\n", s.min, s.max, s.avg).toLatin1();
}

QString touchStatusText(const uint8_t* p, uint8_t typeCode) {
    if (!isTouching(p)) return QString();
    if (isOspreyFamily(typeCode))
        return QString::asprintf("State:%02X, ID:%d, X: %d, Y:%d", unsigned(p[4]), int(p[11]),
                                 int(readLE16(&p[5])), int(readLE16(&p[7])));
    return QString::asprintf("State:%02X, ID:%d, X: %d, Y:%d", unsigned(p[4]), int(p[5]),
                             int(readLE16(&p[6])), int(readLE16(&p[8])));
}

}  // namespace lumora::analyze
