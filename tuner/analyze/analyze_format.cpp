#include "tuner/analyze/analyze_format.h"

#include <cstring>

#include "device/packet.h"
#include "tuner/analyze/customer_names.h"

namespace lumora::analyze {

namespace {

// A text field of a record: up to its first NUL, never past its bytes.
QString fixedText(const uint8_t* p, size_t size) {
    const auto* begin = reinterpret_cast<const char*>(p);
    const void* nul = std::memchr(begin, 0, size);
    const size_t n = nul ? static_cast<size_t>(static_cast<const char*>(nul) - begin) : size;
    return QString::fromLatin1(begin, static_cast<qsizetype>(n));
}

QString hex4(uint32_t v) { return QString::asprintf("0x%04X", v); }

// The name, then the id in decimal behind "0x".
QString customerText(uint16_t id) {
    return QString::asprintf("%s (0x%03d)", customerName(id).toLatin1().constData(), int(id));
}

}  // namespace

QString modeText(uint8_t mode) {
    switch (mode) {
    case 0: return QStringLiteral("DEFAULT");
    case 1: return QStringLiteral("GOTO_LOADER");
    case 2: return QStringLiteral("GOTO_FW");
    default: return QStringLiteral("UNKNOWN");
    }
}

QStringList downloadRecordRow(int index, const DownloadRecord& r) {
    const uint8_t* t = &r[37];
    const QString time = QString::asprintf("%04d%02d%02d-%02d%02d%02d", t[0] + 2000, t[1], t[2], t[3],
                                           t[4], t[5]);
    return {
        QString::number(index),
        QString::number(readLE16u(&r[0])),
        time,
        modeText(r[36]),
        hex4(readLE16u(&r[2])),
        customerText(readLE16u(&r[4])),
        customerText(readLE16u(&r[6])),
        hex4(readLE16u(&r[8])),
        fixedText(&r[12], 16),
        fixedText(&r[28], 8),
        hex4(readLE16u(&r[10])),
    };
}

DownloadRecord newDownloadRecord(uint16_t productId, const QDateTime& now) {
    DownloadRecord r{};
    writeLE16(&r[0], 0);
    writeLE16(&r[2], 0x1234);
    writeLE16(&r[4], 0);
    writeLE16(&r[6], 0);
    writeLE16(&r[8], productId);
    writeLE16(&r[10], 0xABCD);
    std::memcpy(&r[12], "Model", 5);
    std::memcpy(&r[28], "Version", 7);
    r[36] = 0;
    if (now.isValid()) {
        const QDate d = now.date();
        const QTime t = now.time();
        // The year is kept as an offset from 2000 in one byte.
        r[37] = static_cast<uint8_t>(d.year() - 2000);
        r[38] = static_cast<uint8_t>(d.month());
        r[39] = static_cast<uint8_t>(d.day());
        r[40] = static_cast<uint8_t>(t.hour());
        r[41] = static_cast<uint8_t>(t.minute());
        r[42] = static_cast<uint8_t>(t.second());
    } else {
        r[40] = r[41] = r[42] = 0xFF;
    }
    return r;
}

QString pcapInfoText(const uint8_t* info) {
    return QString::asprintf(
        "SupportPressure: 0x%X\r\nMaxCount: 0x%X\r\nPhyX: 0x%X\r\nPhyY: 0x%X\r\n"
        "Builder Version: 0x%X\r\nInterface: 0x%X\r\nVK: 0x%X\r\n",
        unsigned(info[0]), unsigned(info[1]), unsigned(readLE16u(&info[2])),
        unsigned(readLE16u(&info[4])), unsigned(readLE16u(&info[8])), unsigned(info[10]),
        unsigned(info[11]));
}

QString crcInfoText(const uint8_t* info) {
    const int32_t binCrc = readBE16(&info[12]);  // sign-extended, as the firmware tool prints it
    return QString::asprintf("ApInfoCRC: 0x%04X\r\nApCRC:0x%04X\r\nApSize: 0x%04X\r\nBinCRC: 0x%02X\r\n",
                             readBE32u(&info[0]), readBE32u(&info[4]), readBE32u(&info[8]),
                             static_cast<uint32_t>(binCrc));
}

std::optional<double> khzOfDivisor(uint32_t divisor) {
    if (divisor == 0) return std::nullopt;
    return 36000.0 / divisor;
}

QString khzText(uint32_t divisor) {
    const auto khz = khzOfDivisor(divisor);
    return khz ? QString::number(*khz, 'g', 10) : QString();
}

}  // namespace lumora::analyze
