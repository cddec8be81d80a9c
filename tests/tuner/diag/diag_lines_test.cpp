// The result lines of every test in both flavours, from the record bytes the
// library delivers to the exact text, and the final-result texts.
#include <gtest/gtest.h>

#include <QString>
#include <array>
#include <string>
#include <vector>

#include "device/packet.h"
#include "device/test_records.h"
#include "tuner/diag/diag_lines.h"

namespace lumora::diag {
namespace {

constexpr uint16_t kRx = 0x8000;

// An item record as an item callback receives it.
std::array<uint8_t, 64> record(int8_t result, uint16_t first, uint16_t secondOrValue,
                               int16_t value = 0) {
    std::array<uint8_t, 64> r{};
    r[4] = static_cast<uint8_t>(result);
    writeLE16(&r[5], first);
    writeLE16(&r[7], secondOrValue);
    writeLE16(&r[9], value);
    return r;
}

DiagSettings heronSettings() {
    DiagSettings s;
    s.shortRxTh = 45;
    return s;
}

struct LineCase {
    const char* name;
    DiagTest test;
    bool table;  // a mutual-table item
    Flavour flavour;
    std::array<uint8_t, 64> bytes;
    const char* expected;
};

QString lineOf(const LineCase& c, const DiagSettings& s) {
    const uint8_t* r = c.bytes.data();
    switch (c.test) {
    case DiagTest::Open: return openLine(openItemOf(r), c.flavour, s);
    case DiagTest::Short: return shortLine(pairItemOf(kShortTestKind, r), c.flavour, s);
    case DiagTest::Mutual:
        return c.table ? mutualTableLine(pairItemOf(kMutualTestKind, r))
                       : mutualLine(pairItemOf(kMutualTestKind, r), c.flavour);
    case DiagTest::ADLevel: return adLevelLine(pairItemOf(kADLevelTestKind, r), s);
    }
    return {};
}

TEST(ResultLines, EveryTestInBothFlavours) {
    const Flavour O = Flavour::Osprey, H = Flavour::Heron;
    const LineCase cases[] = {
        {"open X fails", DiagTest::Open, false, O, record(0, 3, 35), "Open : X[004] = 0035, LTh: 200, Fail\r\n"},
        {"open Y passes", DiagTest::Open, false, O, record(1, kRx | 0, 860), "Open : Y[001] = 0860, LTh: 200, Pass\r\n"},
        {"open -1 passes, negative value", DiagTest::Open, false, O, record(-1, 0, uint16_t(-5)),
         "Open : X[001] = -005, LTh: 200, Pass\r\n"},
        {"open Tx", DiagTest::Open, false, H, record(0, 5, 2600), "Open : Tx[006] = 2600, LTh: 50, UTh: 200, Fail\r\n"},
        {"open Rx", DiagTest::Open, false, H, record(1, kRx | 21, 3905),
         "Open : Rx[022] = 3905, LTh: 50, UTh: 200, Pass\r\n"},
        {"short Y pair", DiagTest::Short, false, O, record(0, kRx | 5, kRx | 6, 3200),
         "Short : Y[006] - Y[007] : R: 0 - 600, V: 3200, Fail\r\n"},
        {"short X pair", DiagTest::Short, false, O, record(1, 0, 1, 480), "Short : X[001] - X[002] : R: 0 - 600, V: 0480, Pass\r\n"},
        {"short Tx pair", DiagTest::Short, false, H, record(0, 2, 3, 30),
         "Short : Tx[003] - Tx[004] : Tx Th: 100, V: 0030, Fail\r\n"},
        {"short Rx pair takes the Rx threshold", DiagTest::Short, false, H, record(1, kRx | 5, kRx | 6, 3712),
         "Short : Rx[006] - Rx[007] : Rx Th: 45, V: 3712, Pass\r\n"},
        {"mutual X-Y", DiagTest::Mutual, false, O, record(0, 0, kRx | 1, 150), "Mutual : X[001] - Y[002] : V: 0150, Fail\r\n"},
        {"mutual any nonzero byte passes", DiagTest::Mutual, false, O, record(-128, 4, kRx | 0, 3100),
         "Mutual : X[005] - Y[001] : V: 3100, Pass\r\n"},
        {"mutual Tx-Rx", DiagTest::Mutual, false, H, record(1, 0, kRx | 1, 3100), "Mutual : Tx[001] - Rx[002] : V: 3100, Pass\r\n"},
        {"mutual system stray", DiagTest::Mutual, false, H, record(0, 0x0100, kRx | 4, 20),
         "Mutual : SysStray - Rx[005] : V: 0020, Fail\r\n"},
        {"mutual IC stray", DiagTest::Mutual, false, H, record(1, 0x0200, kRx | 0, 125),
         "Mutual : ICStray - Rx[001] : V: 0125, Pass\r\n"},
        {"mutual stray as second channel", DiagTest::Mutual, false, H, record(1, kRx | 0, 0x0100, 7),
         "Mutual : Rx[001] SysStray  V: 0007, Pass\r\n"},
        {"mutual Tx as second channel", DiagTest::Mutual, false, H, record(1, kRx | 2, 9, 7),
         "Mutual : Rx[003] - Tx[010] : V: 0007, Pass\r\n"},
        {"mutual unknown sub-kinds print nothing", DiagTest::Mutual, false, H, record(1, 0x0300, 0x0F00, 1),
         "Mutual :  V: 0001, Pass\r\n"},
        {"table frequency", DiagTest::Mutual, true, O, record(1, 255, 100, 2), "UTable : Freq:  V: 2\r\n"},
        {"table valid count", DiagTest::Mutual, true, H, record(1, 255, 101, 18), "UTable : ValidCnt:  V: 18\r\n"},
        {"table offset", DiagTest::Mutual, true, O, record(1, 255, 102, 512), "UTable : Offset:  V: 512\r\n"},
        {"table threshold", DiagTest::Mutual, true, O, record(0, 255, 103, 2500), "UTable : Threshold:  V: 2500\r\n"},
        {"table unknown entry", DiagTest::Mutual, true, O, record(1, 255, 104, 7), "UTable :  V: 7\r\n"},
        {"table node, indexes as they are", DiagTest::Mutual, true, H, record(1, 3, kRx | 5, -12),
         "UTable : Tx[003] - Rx[005]  V: -12\r\n"},
        {"AD level X", DiagTest::ADLevel, false, O, record(0, 8, 0x00FF, 2400), "ADLevel : X[009]  R: 0 - 1700, V: 2400, Fail\r\n"},
        {"AD level Y in Heron stays X/Y", DiagTest::ADLevel, false, H, record(1, kRx | 2, 0x00FF, 700),
         "ADLevel : Y[003]  R: 0 - 1700, V: 0700, Pass\r\n"},
        {"AD level two channels", DiagTest::ADLevel, false, O, record(1, 0, kRx | 1, 700),
         "ADLevel : X[001] - Y[002] : R: 0 - 1700, V: 0700, Pass\r\n"},
        {"AD level no first channel (low byte 0xFF)", DiagTest::ADLevel, false, O, record(1, 0x01FF, 2, 800),
         "ADLevel : - X[003] : R: 0 - 1700, V: 0800, Pass\r\n"},
    };
    for (const LineCase& c : cases) {
        const DiagSettings s = c.flavour == Flavour::Heron ? heronSettings() : DiagSettings{};
        EXPECT_EQ(lineOf(c, s).toStdString(), std::string(c.expected)) << c.name;
    }
}

TEST(ResultLines, ThresholdsComeFromTheSettings) {
    DiagSettings s;
    s.openTh = 150;
    s.shortTh = 900;
    s.adLevelTh = 1500;
    s.openLower = 60;
    s.openUpper = 180;
    s.shortTxTh = 120;
    EXPECT_EQ(openLine(openItemOf(record(1, 0, 900).data()), Flavour::Osprey, s),
              QStringLiteral("Open : X[001] = 0900, LTh: 150, Pass\r\n"));
    EXPECT_EQ(openLine(openItemOf(record(1, 0, 160).data()), Flavour::Heron, s),
              QStringLiteral("Open : Tx[001] = 0160, LTh: 60, UTh: 180, Pass\r\n"));
    EXPECT_EQ(shortLine(pairItemOf(kShortTestKind, record(1, 0, 1, 40).data()), Flavour::Osprey, s),
              QStringLiteral("Short : X[001] - X[002] : R: 0 - 900, V: 0040, Pass\r\n"));
    EXPECT_EQ(shortLine(pairItemOf(kShortTestKind, record(1, 0, 1, 3900).data()), Flavour::Heron, s),
              QStringLiteral("Short : Tx[001] - Tx[002] : Tx Th: 120, V: 3900, Pass\r\n"));
    EXPECT_EQ(adLevelLine(pairItemOf(kADLevelTestKind, record(1, 0, 0xFF, 700).data()), s),
              QStringLiteral("ADLevel : X[001]  R: 0 - 1500, V: 0700, Pass\r\n"));
}

std::vector<CTestResult> openItems() {
    return {openItemOf(record(1, 0, 860).data()), openItemOf(record(0, 3, 35).data())};
}

TEST(FinalResultText, FailOnlyWithoutItemsIsTheOneLineSummary) {
    DiagSettings failOnly;
    failOnly.selection = kShowFailOnly;
    const struct {
        DiagTest test;
        int overall;
        const char* expected;
    } cases[] = {
        {DiagTest::Open, 1, "Open Test Pass!\r\n"},
        {DiagTest::Open, 0, "Open Test Fail!\r\n"},
        {DiagTest::Short, 1, "Short Test Pass!\r\n"},
        {DiagTest::Short, 0, "Short Test Fail!\r\n"},
        {DiagTest::Mutual, 1, "Mutual Test Pass!\r\n"},
        {DiagTest::Mutual, 0, "Mutual Test Fail!\r\n"},
        {DiagTest::ADLevel, 0, "ADLevel Test Fail!\r\n"},
        {DiagTest::ADLevel, -1, "ADLevel Test Pass!\r\n"},  // any nonzero result passes
    };
    for (const auto& c : cases)
        EXPECT_EQ(finalResultText(c.test, {}, {}, c.overall, Flavour::Osprey, failOnly).toStdString(),
                  std::string(c.expected));
}

TEST(FinalResultText, ShowAllListsItemsResultAndFinishEvenWithoutItems) {
    const DiagSettings all;
    EXPECT_EQ(finalResultText(DiagTest::Open, {}, {}, 1, Flavour::Osprey, all),
              QStringLiteral("Controller Result: 1\r\nOpen Test Finish!\r\n"));
    EXPECT_EQ(finalResultText(DiagTest::Short, {}, {}, -1, Flavour::Heron, all),
              QStringLiteral("Controller Result: -1\r\nShort Test Finish!\r\n"));
    EXPECT_EQ(finalResultText(DiagTest::ADLevel, {}, {}, 0, Flavour::Osprey, all),
              QStringLiteral("Controller Result: 0\r\nADLevel Test Finish!\r\n"));
    EXPECT_EQ(finalResultText(DiagTest::Open, openItems(), {}, 0, Flavour::Osprey, all),
              QStringLiteral("Open : X[001] = 0860, LTh: 200, Pass\r\n"
                             "Open : X[004] = 0035, LTh: 200, Fail\r\n"
                             "Controller Result: 0\r\nOpen Test Finish!\r\n"));
    // Fail-only with items lists them like "Show All".
    DiagSettings failOnly;
    failOnly.selection = kShowFailOnly;
    EXPECT_TRUE(finalResultText(DiagTest::Open, openItems(), {}, 0, Flavour::Osprey, failOnly)
                    .endsWith(QStringLiteral("Controller Result: 0\r\nOpen Test Finish!\r\n")));
}

TEST(FinalResultText, MutualTableFollowsTheFinishLine) {
    const std::vector<CTestResult> nodes = {pairItemOf(kMutualTestKind, record(0, 1, kRx | 0, 150).data())};
    const std::vector<CTestResult> table = {pairItemOf(kMutualTestKind, record(1, 255, 100, 0).data()),
                                            pairItemOf(kMutualTestKind, record(1, 255, 101, 11).data())};
    const QString listing = QStringLiteral(
        "Mutual : X[002] - Y[001] : V: 0150, Fail\r\n"
        "Controller Result: 0\r\nMutual Test Finish!\r\n"
        "UTable : Freq:  V: 0\r\nUTable : ValidCnt:  V: 11\r\n");
    EXPECT_EQ(finalResultText(DiagTest::Mutual, nodes, table, 0, Flavour::Osprey, DiagSettings{}), listing);
    // Another test's final never shows the mutual table.
    EXPECT_EQ(finalResultText(DiagTest::Open, {}, table, 1, Flavour::Osprey, DiagSettings{}),
              QStringLiteral("Controller Result: 1\r\nOpen Test Finish!\r\n"));
    // "Show Fail Only" with table rows but no node: the rows are listed, not
    // replaced by the summary.
    DiagSettings failOnly;
    failOnly.selection = kShowFailOnly;
    EXPECT_EQ(finalResultText(DiagTest::Mutual, {}, table, 1, Flavour::Osprey, failOnly),
              QStringLiteral("Controller Result: 1\r\nMutual Test Finish!\r\n"
                             "UTable : Freq:  V: 0\r\nUTable : ValidCnt:  V: 11\r\n"));
    EXPECT_EQ(finalResultText(DiagTest::Mutual, {}, {}, 1, Flavour::Osprey, failOnly),
              QStringLiteral("Mutual Test Pass!\r\n"));
}

TEST(Flavour, ByTypeCode) {
    EXPECT_EQ(flavourFor(4), Flavour::Osprey);
    EXPECT_EQ(flavourFor(6), Flavour::Heron);
    EXPECT_EQ(flavourFor(8), Flavour::Heron);
}

}  // namespace
}  // namespace lumora::diag
