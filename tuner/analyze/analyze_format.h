// What the "Analyze" page shows and sends, as plain functions: the firmware-
// update records and their list rows, the info and checksum texts, and the
// kHz of a PWM divisor.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>

namespace lumora::analyze {

// ---- Firmware-update records (46 bytes, 16-bit fields little-endian) -------
constexpr int kDownloadRecordSize = 46;
using DownloadRecord = std::array<uint8_t, kDownloadRecordSize>;
// DevGetDownloadInfo takes record indexes 0 to 9.
constexpr int kDownloadRecordSlots = 10;

// The list's columns, in order, with their widths in pixels.
struct ListColumn {
    const char* title;
    int width;
};
constexpr std::array<ListColumn, 11> kDownloadColumns = {{
    {"Index", 50}, {"UpdateCnt", 50}, {"Time", 120}, {"Mode", 100}, {"ToolVersion", 60},
    {"CID1", 90}, {"CID2", 90}, {"PID", 60}, {"Model", 70}, {"Version", 70}, {"BinCRC", 70},
}};

// "DEFAULT", "GOTO_LOADER", "GOTO_FW" for modes 0, 1, 2, else "UNKNOWN".
QString modeText(uint8_t mode);

// The texts of one list row, column by column; `index` is the 1-based
// position shown under "Index". The model and version texts end at their
// first NUL or at the end of their 16 and 8 bytes, whichever comes first.
QStringList downloadRecordRow(int index, const DownloadRecord& record);

// The record "Set FW Update Info" writes: update count 0, tool version
// 0x1234, customer ids 0, the product id given, image checksum 0xABCD,
// model "Model", version "Version", mode 0 and the time `now`; when `now`
// is not valid, the date parts are 0 and hour, minute and second 0xFF.
DownloadRecord newDownloadRecord(uint16_t productId, const QDateTime& now);

// ---- Texts of the "PCAP Info" box -----------------------------------------
// The seven lines of the 64-byte info block, each ending "\r\n".
QString pcapInfoText(const uint8_t* info64);
// The four lines of the 15-byte checksum information: bytes 0-3, 4-7 and
// 8-11 as big-endian 32-bit values, bytes 12-13 as a big-endian 16-bit value
// that prints sign-extended.
QString crcInfoText(const uint8_t* info15);

// ---- PWM divisors --------------------------------------------------------------
// The noise frequency of a divisor in kHz: 36000 / divisor. None for 0.
std::optional<double> khzOfDivisor(uint32_t divisor);
// As the kHz fields show it; empty for divisor 0.
QString khzText(uint32_t divisor);

}  // namespace lumora::analyze
