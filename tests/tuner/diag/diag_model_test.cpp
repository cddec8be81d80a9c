// The page's result lists and final-result handling: what the box gets,
// which lists empty, which buttons come back, the busy flag, and the graph
// series that only the open test writes.
#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <array>

#include "device/packet.h"
#include "tuner/diag/diag_model.h"

namespace lumora::diag {
namespace {

constexpr uint16_t kRx = 0x8000;

CTestResult openItem(int8_t result, uint16_t channel, int16_t value) {
    std::array<uint8_t, 64> r{};
    r[4] = static_cast<uint8_t>(result);
    writeLE16(&r[5], channel);
    writeLE16(&r[7], value);
    return openItemOf(r.data());
}

CTestResult pairItem(TestKind kind, int8_t result, uint16_t first, uint16_t second, int16_t value) {
    std::array<uint8_t, 64> r{};
    r[4] = static_cast<uint8_t>(result);
    writeLE16(&r[5], first);
    writeLE16(&r[7], second);
    writeLE16(&r[9], value);
    return pairItemOf(kind, r.data());
}

// Records what the page would do, in order.
struct Recorder {
    QStringList events;
    QString shown;
    DiagModel::FinalSteps steps() {
        DiagModel::FinalSteps s;
        s.showText = [this](const QString& text) {
            shown = text;
            events << QStringLiteral("show");
        };
        s.enableTests = [this](bool ad) {
            events << (ad ? QStringLiteral("enable all") : QStringLiteral("enable all but AD level"));
        };
        return s;
    }
};

TEST(DiagModel, FinalShowsTheListingEmptiesTheListAndEnablesTheButtons) {
    DiagModel m;
    m.reset();
    m.startTest(DiagTest::Short);
    m.addItem(ItemList::Short, pairItem(kShortTestKind, 0, kRx | 5, kRx | 6, 3200));
    Recorder r;
    ASSERT_TRUE(m.handleFinal(DiagTest::Short, 0, Flavour::Osprey, DiagSettings{}, r.steps()));
    EXPECT_EQ(r.shown, QStringLiteral("Short : Y[006] - Y[007] : R: 0 - 600, V: 3200, Fail\r\n"
                                      "Controller Result: 0\r\nShort Test Finish!\r\n"));
    EXPECT_EQ(m.resultText(), r.shown);
    EXPECT_EQ(r.events, QStringList({"show", "enable all"}));
    EXPECT_TRUE(m.items(ItemList::Short).empty());
    EXPECT_FALSE(m.busy());
}

TEST(DiagModel, AfterTheMutualTestADLevelStaysDisabledAndBothListsEmpty) {
    DiagModel m;
    m.reset();
    m.addItem(ItemList::Mutual, pairItem(kMutualTestKind, 1, 0, kRx | 0, 3100));
    m.addItem(ItemList::MutualTable, pairItem(kMutualTestKind, 1, 255, 103, 2500));
    m.addItem(ItemList::ADLevel, pairItem(kADLevelTestKind, 1, 0, 0xFF, 700));
    Recorder r;
    ASSERT_TRUE(m.handleFinal(DiagTest::Mutual, 1, Flavour::Heron, DiagSettings{}, r.steps()));
    EXPECT_EQ(r.events, QStringList({"show", "enable all but AD level"}));
    EXPECT_TRUE(r.shown.endsWith(QStringLiteral("Mutual Test Finish!\r\nUTable : Threshold:  V: 2500\r\n")));
    EXPECT_TRUE(m.items(ItemList::Mutual).empty());
    EXPECT_TRUE(m.items(ItemList::MutualTable).empty());
    EXPECT_EQ(m.items(ItemList::ADLevel).size(), 1u) << "another test's list is left alone";
}

// A listing adds to the stored text, which a start empties; the summary
// replaces it.
TEST(DiagModel, StoredTextAcrossFinals) {
    DiagModel m;
    m.reset();
    Recorder r;
    m.handleFinal(DiagTest::Open, 1, Flavour::Osprey, DiagSettings{}, r.steps());
    m.handleFinal(DiagTest::Short, 1, Flavour::Osprey, DiagSettings{}, r.steps());
    EXPECT_EQ(m.resultText(), QStringLiteral("Controller Result: 1\r\nOpen Test Finish!\r\n"
                                             "Controller Result: 1\r\nShort Test Finish!\r\n"));
    DiagSettings failOnly;
    failOnly.selection = kShowFailOnly;
    m.handleFinal(DiagTest::Open, 0, Flavour::Osprey, failOnly, r.steps());
    EXPECT_EQ(m.resultText(), QStringLiteral("Open Test Fail!\r\n"));
    m.startTest(DiagTest::Mutual);
    EXPECT_TRUE(m.resultText().isEmpty());
}

// A final result arriving while another is being handled is dropped; its
// items wait for the next final result of their test.
TEST(DiagModel, FinalArrivingWhileBusyIsDroppedAndItsItemsWait) {
    DiagModel m;
    m.reset();
    m.addItem(ItemList::Open, openItem(0, 3, 35));
    bool nestedAccepted = true;
    DiagModel::FinalSteps steps;
    steps.showText = [&](const QString&) {
        EXPECT_TRUE(m.busy());
        m.addItem(ItemList::ADLevel, pairItem(kADLevelTestKind, 0, 8, 0xFF, 2400));
        nestedAccepted = m.handleFinal(DiagTest::ADLevel, 0, Flavour::Osprey, DiagSettings{}, {});
    };
    ASSERT_TRUE(m.handleFinal(DiagTest::Open, 0, Flavour::Osprey, DiagSettings{}, steps));
    EXPECT_FALSE(nestedAccepted);
    ASSERT_EQ(m.items(ItemList::ADLevel).size(), 1u);
    EXPECT_FALSE(m.resultText().contains(QStringLiteral("ADLevel")));

    m.startTest(DiagTest::ADLevel);
    m.addItem(ItemList::ADLevel, pairItem(kADLevelTestKind, 1, 9, 0xFF, 800));
    Recorder r;
    ASSERT_TRUE(m.handleFinal(DiagTest::ADLevel, 0, Flavour::Osprey, DiagSettings{}, r.steps()));
    EXPECT_EQ(r.shown, QStringLiteral("ADLevel : X[009]  R: 0 - 1700, V: 2400, Fail\r\n"
                                      "ADLevel : X[010]  R: 0 - 1700, V: 0800, Pass\r\n"
                                      "Controller Result: 0\r\nADLevel Test Finish!\r\n"));
}

TEST(DiagModel, OnlyTheOpenFinalWritesTheSeries) {
    DiagModel m;
    m.reset();
    m.addItem(ItemList::Open, openItem(1, 0, 860));
    m.addItem(ItemList::Open, openItem(0, 3, 35));
    m.addItem(ItemList::Open, openItem(1, kRx | 2, 720));
    m.addItem(ItemList::Open, openItem(1, 127, 901));
    m.addItem(ItemList::Open, openItem(1, 128, 999));           // past the series
    m.addItem(ItemList::Open, openItem(1, kRx | 0x7FFF, 999));  // far past it
    // Items alone write nothing: the final result does.
    EXPECT_EQ(m.openSeries().x[0], 0);
    m.addItem(ItemList::ADLevel, pairItem(kADLevelTestKind, 1, 1, 0xFF, 700));
    m.handleFinal(DiagTest::ADLevel, 1, Flavour::Osprey, DiagSettings{}, {});
    EXPECT_EQ(m.adSeries().x[1], 0) << "the AD series is never written";
    EXPECT_EQ(m.openSeries().x[1], 0);

    m.handleFinal(DiagTest::Open, 0, Flavour::Osprey, DiagSettings{}, {});
    EXPECT_EQ(m.openSeries().x[0], 860);
    EXPECT_EQ(m.openSeries().x[3], 35);
    EXPECT_EQ(m.openSeries().y[2], 720);
    EXPECT_EQ(m.openSeries().x[2], 0) << "a Y item goes to the Y series only";
    EXPECT_EQ(m.openSeries().x[127], 901);

    m.cleanScreen();
    EXPECT_EQ(m.openSeries().x[0], 0);
    EXPECT_EQ(m.openSeries().y[2], 0);
}

TEST(DiagModel, ViewFollowsOpenAndADLevelStartsOnly) {
    DiagModel m;
    m.reset();
    EXPECT_EQ(m.view(), kOpenView);
    m.startTest(DiagTest::ADLevel);
    EXPECT_EQ(m.view(), kADView);
    m.startTest(DiagTest::Short);
    m.startTest(DiagTest::Mutual);
    m.cleanScreen();
    EXPECT_EQ(m.view(), kADView);
    m.startTest(DiagTest::Open);
    EXPECT_EQ(m.view(), kOpenView);
}

}  // namespace
}  // namespace lumora::diag
