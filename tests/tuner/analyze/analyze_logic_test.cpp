// The plain logic of the "Analyze" page: record rows, info texts, customer
// names, the noise sweep, the latency statistics and texts, THQA files.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <vector>

#include "tuner/analyze/analyze_format.h"
#include "tuner/analyze/customer_names.h"
#include "tuner/analyze/latency.h"
#include "tuner/analyze/pwm_sweep.h"
#include "tuner/analyze/thqa_file.h"

namespace lumora::analyze {
namespace {

DownloadRecord sampleRecord() {
    DownloadRecord r{};
    const uint8_t head[12] = {0x03, 0x00, 0x03, 0x02, 12, 0, 0x59, 0x01, 0x06, 0x7B, 0x3C, 0x5A};
    std::memcpy(r.data(), head, sizeof head);
    std::memcpy(&r[12], "ZH-6022", 7);
    std::memcpy(&r[28], "6.0.42", 6);
    r[36] = 2;
    const uint8_t when[6] = {26, 11, 27, 9, 5, 7};
    std::memcpy(&r[37], when, 6);
    return r;
}

TEST(DownloadRecords, RowShowsEveryColumnInItsFormat) {
    const QStringList row = downloadRecordRow(4, sampleRecord());
    const QStringList expected = {
        "4", "3", "20261127-090507", "GOTO_FW", "0x0203", "Stinok Tech (0x012)",
        "Unknown (0x345)", "0x7B06", "ZH-6022", "6.0.42", "0x5A3C"};
    EXPECT_EQ(row, expected);
    ASSERT_EQ(int(kDownloadColumns.size()), row.size());
    EXPECT_STREQ(kDownloadColumns[0].title, "Index");
    EXPECT_EQ(kDownloadColumns[2].width, 120);
}

TEST(DownloadRecords, ModeTextsAndTextFieldsStayInsideTheirBytes) {
    for (auto [mode, text] : {std::pair{0, "DEFAULT"}, {1, "GOTO_LOADER"}, {2, "GOTO_FW"}, {3, "UNKNOWN"},
                              {255, "UNKNOWN"}})
        EXPECT_EQ(modeText(uint8_t(mode)), QString::fromLatin1(text)) << mode;

    // Model and version fill their 16 and 8 bytes without a NUL: they end
    // there, not in the next field.
    DownloadRecord r = sampleRecord();
    std::memset(&r[12], 'M', 16);
    std::memset(&r[28], 'V', 8);
    const QStringList row = downloadRecordRow(1, r);
    EXPECT_EQ(row[8], QString(16, QLatin1Char('M')));
    EXPECT_EQ(row[9], QString(8, QLatin1Char('V')));
}

TEST(DownloadRecords, NewRecordCarriesTheFixedFieldsAndTheTime) {
    const DownloadRecord r = newDownloadRecord(0x7B06, QDateTime(QDate(2025, 3, 14), QTime(15, 9, 26)));
    const uint8_t head[12] = {0, 0, 0x34, 0x12, 0, 0, 0, 0, 0x06, 0x7B, 0xCD, 0xAB};
    EXPECT_EQ(0, std::memcmp(r.data(), head, sizeof head));
    EXPECT_STREQ(reinterpret_cast<const char*>(&r[12]), "Model");
    EXPECT_STREQ(reinterpret_cast<const char*>(&r[28]), "Version");
    const std::vector<uint8_t> tail(r.begin() + 36, r.end());
    EXPECT_EQ(tail, (std::vector<uint8_t>{0, 25, 3, 14, 15, 9, 26, 0, 0, 0}));

    // Without a clock the date is 0 and the time 0xFF.
    const DownloadRecord none = newDownloadRecord(1, QDateTime());
    const std::vector<uint8_t> noTime(none.begin() + 37, none.begin() + 43);
    EXPECT_EQ(noTime, (std::vector<uint8_t>{0, 0, 0, 0xFF, 0xFF, 0xFF}));
}

TEST(InfoTexts, InfoBlockAndChecksumLines) {
    uint8_t info[64] = {1, 10, 0x7A, 0x0D, 0x28, 0x0A, 0, 0, 0x03, 0x02, 1, 7};
    EXPECT_EQ(pcapInfoText(info),
              "SupportPressure: 0x1\r\nMaxCount: 0xA\r\nPhyX: 0xD7A\r\nPhyY: 0xA28\r\n"
              "Builder Version: 0x203\r\nInterface: 0x1\r\nVK: 0x7\r\n");

    const uint8_t crc[15] = {0, 0, 0x1C, 0x3D, 0x12, 0x34, 0xC4, 0xE1, 0, 0, 0xF8, 0, 0x5A, 0x3C, 0};
    EXPECT_EQ(crcInfoText(crc),
              "ApInfoCRC: 0x1C3D\r\nApCRC:0x1234C4E1\r\nApSize: 0xF800\r\nBinCRC: 0x5A3C\r\n");
    // The image checksum prints sign-extended from 16 bits.
    const uint8_t high[15] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0x01, 0};
    EXPECT_TRUE(crcInfoText(high).endsWith("BinCRC: 0xFFFFF001\r\n"));
}

TEST(CustomerNames, TableOf345WithUnknownBeyond) {
    EXPECT_EQ(customerName(0), "ZEMA");
    EXPECT_EQ(customerName(12), "Stinok Tech");
    EXPECT_EQ(customerName(1), "") << "an id never given out";
    EXPECT_FALSE(customerName(kCustomerNameCount - 1).isNull());
    EXPECT_EQ(customerName(kCustomerNameCount), "Unknown");
    EXPECT_EQ(customerName(0xFFFFFFFFu), "Unknown");
}

TEST(Khz, DivisorsToKilohertz) {
    EXPECT_EQ(khzText(700), "51.42857143");
    EXPECT_EQ(khzText(36), "1000");
    EXPECT_EQ(khzText(0), "") << "never a division by 0";
    EXPECT_EQ(wholeKhz(700), 51);
    EXPECT_EQ(wholeKhz(0), 0);
}

std::vector<uint32_t> runSweep(uint32_t start, uint32_t end, uint32_t step, size_t limit = 10000) {
    PwmSweep sweep;
    sweep.begin(start, end, step);
    std::vector<uint32_t> applied;
    while (applied.size() < limit) {
        const auto d = sweep.next();
        if (!d) break;
        applied.push_back(*d);
    }
    return applied;
}

// 700 down to 36 in steps of 1: each applied divisor raises the whole kHz by
// one until the divisors are small enough for every one to give a kHz of
// its own (below 190).
TEST(PwmSweep, SkipsDivisorsOfTheSameWholeKhzAsTheOneApplied) {
    const std::vector<uint32_t> seq = runSweep(700, 36, 1);
    ASSERT_EQ(seq.size(), 293u);
    EXPECT_EQ(std::vector<uint32_t>(seq.begin(), seq.begin() + 10),
              (std::vector<uint32_t>{700, 692, 679, 666, 654, 642, 631, 620, 610, 600}));
    EXPECT_EQ(std::vector<uint32_t>(seq.end() - 8, seq.end()),
              (std::vector<uint32_t>{43, 42, 41, 40, 39, 38, 37, 36}));
    // Every divisor left out has the whole kHz of the one applied before it.
    size_t k = 0;
    for (uint32_t d = 700; d >= 36; --d) {
        if (k < seq.size() && seq[k] == d) {
            ++k;
            continue;
        }
        ASSERT_GT(k, 0u);
        EXPECT_EQ(wholeKhz(d), wholeKhz(seq[k - 1])) << "divisor " << d << " was skipped";
    }
}

TEST(PwmSweep, EndsBeforeTheEndZeroOrAWrap) {
    struct Case {
        const char* what;
        uint32_t start, end, step;
        std::vector<uint32_t> expected;
    };
    const Case cases[] = {
        {"start below end: nothing", 36, 700, 1, {}},
        {"big steps stop above the end", 100, 36, 30, {100, 70, 40}},
        {"end 0 never reaches divisor 0", 5, 0, 2, {5, 3, 1}},
        {"a step larger than the divisor does not wrap", 3, 0, 10, {3}},
        {"a step of 0 does not run forever", 700, 36, 0, {}},
        {"skipping past the end stops", 700, 695, 1, {700}},
    };
    for (const Case& c : cases) EXPECT_EQ(runSweep(c.start, c.end, c.step, 100), c.expected) << c.what;
}

TEST(Latency, StatisticsDivideByTheMeasurementsMade) {
    LatencyStats s;
    EXPECT_EQ(s.min, 9999.0);
    s.add(7.5);
    s.add(9.25);
    s.add(6.0);
    EXPECT_DOUBLE_EQ(s.total, 22.75);
    EXPECT_DOUBLE_EQ(s.avg, 22.75 / 3);
    EXPECT_EQ(s.min, 6.0);
    EXPECT_EQ(s.max, 9.25);
    EXPECT_EQ(s.count, 3);
    s.reset();
    EXPECT_EQ(s.count, 0);
    EXPECT_EQ(s.total, 0.0);
}

TEST(Latency, MicrosecondsOfAnyCounterValue) {
    EXPECT_EQ(microsOf(INT64_MAX), INT64_MAX / 1000) << "no overflow near the counter's end";
    EXPECT_EQ(microsOf(7'500'999), 7500);
    EXPECT_DOUBLE_EQ(millisOf(7500), 7.5);
}

TEST(Latency, LogTexts) {
    EXPECT_EQ(latencyLogFileName(QTime(9, 5, 7)), "HERON_LatencyLog-090507.csv");
    EXPECT_EQ(latencyLogHeader(), QByteArray("\r\nTime,Index,Latency\r\n"));
    EXPECT_EQ(latencyLogLine(QTime(23, 59, 1), 12, 7.5), QByteArray("23:59:01,12,7.500\r\n"));
    LatencyStats s;
    s.add(7.1234);
    s.add(8.0);
    EXPECT_EQ(latencyLogSummary(s), QByteArray("Min,,7.123\r\nMax,,8.000\r\nAvg,,7.562\r\n"));
}

TEST(Latency, StatusLineByTypeCode) {
    uint8_t single[64] = {4, 15, 0x36, 0x13, 0x81, 0x10, 0x02, 0xFE, 0xFF, 0x2C, 0x01, 3};
    EXPECT_EQ(touchStatusText(single, 4), "State:81, ID:3, X: 528, Y:-2");
    EXPECT_EQ(touchStatusText(single, 5), "State:81, ID:3, X: 528, Y:-2");
    uint8_t multi[64] = {6, 53, 0x36, 0x13, 0x01, 2, 0xFF, 0x07, 0x00, 0x08};
    EXPECT_EQ(touchStatusText(multi, 6), "State:01, ID:2, X: 2047, Y:2048");
    multi[4] = 0;
    EXPECT_EQ(touchStatusText(multi, 6), "") << "a lift clears the line";
}

TEST(ThqaFiles, LoadReadsUpTo385BytesAndSaveReplacesTheWholeFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ThqaData data{};
    data.fill(0xEE);

    // A short file overwrites its length only; a long one its first 385 bytes.
    const QString shortPath = dir.filePath("short.bin");
    QFile f(shortPath);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(10, '\x11'));
    f.close();
    ASSERT_TRUE(loadThqaFile(shortPath, data));
    EXPECT_EQ(data[9], 0x11);
    EXPECT_EQ(data[10], 0xEE);
    EXPECT_FALSE(loadThqaFile(dir.filePath("missing.bin"), data));
    EXPECT_EQ(data[9], 0x11) << "unchanged by a failed open";

    // Saving over a longer file leaves exactly the 385 bytes.
    const QString target = dir.filePath("image.bin");
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(1000, '\x77'));
    old.close();
    ASSERT_TRUE(saveThqaFile(target, data));
    QFile back(target);
    ASSERT_TRUE(back.open(QIODevice::ReadOnly));
    const QByteArray bytes = back.readAll();
    ASSERT_EQ(bytes.size(), kThqaDataSize);
    EXPECT_EQ(0, std::memcmp(bytes.constData(), data.data(), kThqaDataSize));

    // A folder that does not exist: nothing written, nothing left behind.
    EXPECT_FALSE(saveThqaFile(dir.filePath("no/such/folder/x.bin"), data));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).size(), 2);
}

}  // namespace
}  // namespace lumora::analyze
