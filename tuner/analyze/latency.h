// The touch latency test of the "Kestrel Latency Test" group: the loop
// statistics, the texts of its log "HERON_LatencyLog-hhmmss.csv" and of the
// status line, and the file writes.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTime>
#include <cstdint>

namespace lumora::analyze {

// Microseconds of the high-resolution counter (nanoseconds): integer
// arithmetic that cannot overflow for any counter value.
inline int64_t microsOf(int64_t counterNs) { return counterNs / 1000; }
// A counter reading in microseconds as the fields show it, in milliseconds.
inline double millisOf(int64_t micros) { return static_cast<double>(micros) / 1000.0; }

// Min, max, total and average of the latencies measured since the last
// reset. The average divides by the measurements actually made, so a loop
// that "Stop" ended early still reports the mean of what it measured.
struct LatencyStats {
    double total = 0;
    double avg = 0;
    double min = 9999.0;
    double max = 0;
    int count = 0;

    void reset() { *this = LatencyStats{}; }
    void add(double latencyMs);
};

// "HERON_LatencyLog-hhmmss.csv" of the local time the loop started.
QString latencyLogFileName(const QTime& time);
// The block each loop starts with: an empty line, then the column titles.
QByteArray latencyLogHeader();
// "hh:mm:ss,<number>,<latency %.3f>" and CR LF.
QByteArray latencyLogLine(const QTime& time, int number, double latencyMs);
// "Min,,", "Max,,", "Avg,," lines with three decimals.
QByteArray latencyLogSummary(const LatencyStats& stats);

// The status line for a touch report seen outside a measurement. Type codes
// 4 and 5 carry the state in byte 4, the contact id in byte 11 and X, Y as
// signed 16-bit values at bytes 5 and 7; the others the id in byte 5 and X,
// Y at bytes 6 and 8. A report without touch (byte 4 bit 0 clear) gives an
// empty line.
QString touchStatusText(const uint8_t* packet64, uint8_t typeCode);
inline bool isTouching(const uint8_t* packet64) { return (packet64[4] & 1) != 0; }

}  // namespace lumora::analyze
