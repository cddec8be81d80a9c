#include "tuner/rawdata/raw_log.h"

#include <cstdio>

namespace lumora::rawdata {

namespace {

void appendTime(QByteArray& out, const QTime& t) {
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%02d:%02d:%02d,", t.hour(), t.minute(), t.second());
    out.append(text, n);
}

void appendNumber(QByteArray& out, int value) {
    char text[16];
    const int n = std::snprintf(text, sizeof text, "%6d,", value);
    out.append(text, n);
}

void appendRow(QByteArray& out, const QTime& t, const char* label, const SeriesPair& s,
               int xCount, int yCount) {
    appendTime(out, t);
    out += label;
    for (int c = 0; c < xCount; ++c) appendNumber(out, s.x[static_cast<size_t>(c)]);
    for (int c = 0; c < yCount; ++c) appendNumber(out, s.y[static_cast<size_t>(c)]);
    out += "\r\n";
}

void appendVkRow(QByteArray& out, const QTime& t, const char* label,
                 const std::array<int32_t, kVkPlaces>& values, int count) {
    appendTime(out, t);
    out += label;
    for (int i = 0; i < count && i < kVkPlaces; ++i) appendNumber(out, values[static_cast<size_t>(i)]);
    out += "\r\n";
}

}  // namespace

QString rawLogFileName() { return QStringLiteral("PCAP_RAWLOG.csv"); }

QByteArray formatLogHeader(const QTime& time, int xCount, int yCount) {
    QByteArray out;
    appendTime(out, time);
    for (int c = 0; c < xCount; ++c) appendNumber(out, c);
    for (int c = 0; c < yCount; ++c) appendNumber(out, c);
    out += "\r\n";
    return out;
}

QByteArray formatLogBlock(const QTime& time, const RawSnapshot& d) {
    // Counts come clamped from the model; clamp again so a hand-made snapshot
    // can never index past the 90 places.
    const int x = clampChannels(d.xCount);
    const int y = clampChannels(d.yCount);
    QByteArray out;
    out.reserve(8 * 1024);
    out += "---\r\n";
    appendRow(out, time, "Delta,", d.delta, x, y);
    appendRow(out, time, "AB,", d.ab, x, y);
    appendRow(out, time, "Recovery,", d.recovery, x, y);
    appendRow(out, time, "Raw,", d.raw, x, y);
    appendRow(out, time, "Stray,", d.stray, x, y);
    appendRow(out, time, "DStray,", d.dstray, x, y);
    appendRow(out, time, "ADLevel,", d.adLevel, x, y);
    appendRow(out, time, "Pen-Raw,", d.penRaw, x, y);
    const VkGroup& g = d.vk[0];
    appendVkRow(out, time, "VK_Data,", g.data, g.count);
    appendVkRow(out, time, "VK_Raw,", g.raw, g.count);
    appendVkRow(out, time, "VK_Stray,", g.stray, g.count);
    return out;
}

bool logBlockDue(uint32_t nowMs, uint32_t lastMs, int intervalTenths) {
    const uint64_t limit = uint64_t(intervalTenths < 0 ? 0 : intervalTenths) * 100u;
    return uint64_t(uint32_t(nowMs - lastMs)) > limit;
}

int parseLogInterval(const QString& text, int previous) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok && value >= 0 ? value : previous;
}

}  // namespace lumora::rawdata
