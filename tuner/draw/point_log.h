// The point logs of the draw test pages. The lines collect in memory from
// "Start Log" to "Stop Log", which appends them to the file: 8-bit text,
// CR LF line ends, comma-separated, the file opened for the one write,
// created when missing and never truncated.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTime>

#include "tuner/draw/touch_report.h"

namespace lumora::draw {

// In the current directory.
QString pointLogFileName();       // "PCAP_POINTLOG.csv", both pages
QString fullScreenLogFileName();  // "PointLog_FullScreen.csv", the Finch page's full screen

// What "Start Log" puts at the head of each text.
QByteArray pointLogHeader();
QByteArray fullScreenLogHeader();

// One line per contact record, with the local time:
//   "Draw Test":        "hh:mm:ss, id, state, X, Y, pressure"
//   "Finch Draw Test":  "hh:mm:ss, id, 0xSS, X, Y, pressure"
//   Finch full screen:  "hh:mm:ss,id,state,X,Y,pressure,distance" (distance as "%f",
//                       always with a point)
// where state is bit 0 of the status.
QByteArray ospreyPointLine(const QTime& time, const TouchRecord& record);
QByteArray finchPointLine(const QTime& time, const TouchRecord& record);
QByteArray fullScreenPointLine(const QTime& time, const TouchRecord& record, float distance);

}  // namespace lumora::draw
