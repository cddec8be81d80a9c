// The raw data log "PCAP_RAWLOG.csv": a header line when logging starts and
// one block of eleven labelled rows per interval. 8-bit text, CR LF line
// ends; the file is opened for each write, appended to and never truncated,
// so it grows from one run to the next.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTime>
#include <cstdint>

#include "tuner/rawdata/raw_model.h"

namespace lumora::rawdata {

// The file name, in the current directory.
QString rawLogFileName();

// "hh:mm:ss," then the channel numbers 0..x-1 and 0..y-1 as "%6d,", CR LF.
QByteArray formatLogHeader(const QTime& time, int xCount, int yCount);

// "---" and the rows Delta, AB, Recovery, Raw, Stray, DStray, ADLevel,
// Pen-Raw (X channels then Y channels) and VK_Data, VK_Raw, VK_Stray (the
// group-1 keys), each row starting with the block's time.
QByteArray formatLogBlock(const QTime& time, const RawSnapshot& data);

// A block is due when more than interval x 100 ms have passed since the last
// one; the difference is taken unsigned, as the tick count wraps.
bool logBlockDue(uint32_t nowMs, uint32_t lastMs, int intervalTenths);

// The "Log per" text as an interval in units of 100 ms: a whole number of 0
// or more. Anything else (empty, negative, not a number) keeps `previous`.
int parseLogInterval(const QString& text, int previous);

}  // namespace lumora::rawdata
