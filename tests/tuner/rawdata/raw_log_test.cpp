#include "tuner/rawdata/raw_log.h"
#include "host/services.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace lumora::rawdata {
namespace {

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void setPair(SeriesPair& s, std::initializer_list<int> x, std::initializer_list<int> y) {
    size_t i = 0;
    for (int v : x) s.x[i++] = v;
    i = 0;
    for (int v : y) s.y[i++] = v;
}

// Three X and two Y channels, with values at the edges of "%6d,".
RawSnapshot goldenSnapshot() {
    RawSnapshot d;
    d.xCount = 3;
    d.yCount = 2;
    setPair(d.delta, {12, -3, -32768}, {7, 0});
    setPair(d.ab, {1, 2, 3}, {4, 5});
    setPair(d.recovery, {-1, 0, 1}, {2, -2});
    setPair(d.raw, {3000, 3001, 3002}, {2990, 2991});
    setPair(d.stray, {100, -100, 0}, {5, 6});
    setPair(d.dstray, {1, 1, 1}, {2, 2});
    setPair(d.adLevel, {1800, 1801, 12}, {0, 32767});
    // Channels past the counts must not be written.
    d.delta.x[3] = 999;
    d.delta.y[2] = 999;
    d.vk[0].count = 2;
    d.vk[0].data = {500, -7, 1};
    d.vk[0].raw = {4000, 4001, 1};
    d.vk[0].stray = {10, 11, 1};
    d.vk[1].count = 3;  // group 2 is not logged
    return d;
}

TEST(RawLog, ByteExactAgainstTheGoldenFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(rawLogFileName());
    RawSnapshot d = goldenSnapshot();
    ASSERT_TRUE(host::appendToFile(path, formatLogHeader(QTime(9, 5, 7), d.xCount, d.yCount)));
    ASSERT_TRUE(host::appendToFile(path, formatLogBlock(QTime(9, 5, 7), d)));
    d.vk[0].count = 0;  // empty VK groups: the labels alone
    ASSERT_TRUE(host::appendToFile(path, formatLogBlock(QTime(9, 5, 8), d)));
    // A second start appends a second header; nothing is truncated.
    ASSERT_TRUE(host::appendToFile(path, formatLogHeader(QTime(23, 59, 59), d.xCount, d.yCount)));
    EXPECT_EQ(readFile(path), readFile(QStringLiteral(LUMORA_GOLDEN_DIR "/rawlog.csv")));
}

TEST(RawLog, ZeroChannelsGiveRowsWithoutValues) {
    RawSnapshot d;
    d.xCount = 0;
    d.yCount = 0;
    EXPECT_EQ(formatLogHeader(QTime(1, 2, 3), 0, 0), "01:02:03,\r\n");
    const QByteArray block = formatLogBlock(QTime(1, 2, 3), d);
    EXPECT_TRUE(block.startsWith("---\r\n01:02:03,Delta,\r\n01:02:03,AB,\r\n"));
    EXPECT_TRUE(block.endsWith("01:02:03,VK_Stray,\r\n"));
}

TEST(RawLog, AppendKeepsWhatTheFileHeldAndFailsWhenItCannotOpen) {
    QTemporaryDir dir;
    const QString path = dir.filePath(rawLogFileName());
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("earlier run\r\n");
    }
    ASSERT_TRUE(host::appendToFile(path, "next\r\n"));
    EXPECT_EQ(readFile(path), "earlier run\r\nnext\r\n");
    EXPECT_FALSE(host::appendToFile(dir.filePath("missing-folder/PCAP_RAWLOG.csv"), "x"));
}

// A full disk takes the bytes into QFile's buffer and refuses them only when
// they are flushed: a block of either size is a failed write, never a log
// cut short mid-line that reports success.
TEST(RawLog, AFullDiskIsAFailedWrite) {
    ASSERT_TRUE(QFile::exists("/dev/full"));
    RawSnapshot d = goldenSnapshot();
    d.xCount = 90;
    d.yCount = 90;
    const QByteArray header = formatLogHeader(QTime(9, 5, 7), d.xCount, d.yCount);
    const QByteArray block = formatLogBlock(QTime(9, 5, 7), d);
    ASSERT_LT(header.size(), 4096) << "smaller than the write buffer";
    ASSERT_GT(block.size(), 5000);
    EXPECT_FALSE(host::appendToFile("/dev/full", header));
    EXPECT_FALSE(host::appendToFile("/dev/full", block));
    EXPECT_FALSE(host::appendToFile("/dev/full", QByteArray(20000, 'x'))) << "larger than the buffer";
}

TEST(RawLog, IntervalRule) {
    struct Case {
        uint32_t now, last;
        int interval;
        bool due;
    };
    const Case cases[] = {
        {1000, 0, 10, false},  // exactly the interval: not yet
        {1001, 0, 10, true},
        {5, 5, 0, false},      // interval 0: only once the tick has moved
        {6, 5, 0, true},
        {44, 0xFFFFFF00u, 3, false},  // across the wrap: 300 ms have passed, not more
        {45, 0xFFFFFF00u, 3, true},
        {UINT32_MAX, 0, 50'000'000, false},  // a huge interval never overflows into "due"
    };
    for (const auto& c : cases)
        EXPECT_EQ(logBlockDue(c.now, c.last, c.interval), c.due) << c.now << " " << c.last << " " << c.interval;
}

TEST(RawLog, LogPerTextKeepsTheLastValidInterval) {
    const std::pair<const char*, int> cases[] = {
        {"5", 5}, {"0", 0}, {" 7 ", 7}, {"-3", 12}, {"abc", 12}, {"", 12}, {"2.5", 12},
        {"99999999999", 12}};
    for (auto [text, expected] : cases) EXPECT_EQ(parseLogInterval(text, 12), expected) << text;
}

}  // namespace
}  // namespace lumora::rawdata
