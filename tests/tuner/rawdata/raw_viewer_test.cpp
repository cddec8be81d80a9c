// The "Raw Data" page against a virtual Osprey controller: start-up, the
// drawing worker's frames, the commands, the log buttons and their messages,
// and the controller going away. Exact packets are fed to the page's handler
// with the controller's own stream stopped, so the values are known.
#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/vexlink.h"
#include "host/testing/doubles.h"
#include "tuner/app/device_state.h"
#include "tuner/rawdata/raw_frame.h"
#include "tuner/rawdata/raw_graphs.h"
#include "tuner/rawdata/raw_viewer.h"
#include "tests/support/test_support.h"
#include "vexlink/virtual/control.h"

namespace lumora {
namespace {

namespace control = vexlink::control;
using rawdata::kAxisX;
using rawdata::kAxisY;

using lumora::test_support::waitUntil;

VexPacket seriesPacket(uint8_t id, uint8_t index, const std::vector<int>& values) {
    VexPacket p{};
    p.bytes[1] = 62;
    p.bytes[2] = id;
    p.bytes[3] = index;
    for (size_t i = 0; i < values.size() && i < 30; ++i) writeBE16(&p.bytes[4 + 2 * i], values[i]);
    return p;
}

bool hasColour(const QImage& image, QRgb colour) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF)) return true;
    return false;
}

// The page before any controller: what creation sets up.
TEST(RawViewerPage, CreationSetsTitleControlsAndLogButtons) {
    DeviceState state;
    CRawViewer page(state);
    page.onCreated();
    EXPECT_EQ(page.windowTitle(), "PCAP Raw Viewer v1.0.0.0");
    ASSERT_NE(page.button("Start Log Raw Data"), nullptr);
    EXPECT_TRUE(page.button("Start Log Raw Data")->isEnabled());
    EXPECT_FALSE(page.button("Stop Log Raw Data")->isEnabled());
    for (const char* caption : {"Change Mode", "Read Log", "Clean Screen", "Reset Controller",
                                "Hardware Calibration"})
        EXPECT_NE(page.button(caption), nullptr) << caption;
    QStringList radios;
    for (auto* r : page.findChildren<QRadioButton*>()) radios << r->text();
    EXPECT_EQ(radios, (QStringList{"Raw data", "Clean Data", "Stray Data", "AD Level"}));
    for (auto* c : page.findChildren<QCheckBox*>()) EXPECT_FALSE(c->isEnabled()) << c->text().toStdString();
    EXPECT_EQ(page.logPerBox()->text(), "10");
    EXPECT_EQ(page.viewButtons()->checkedId(), 1);
    page.onDestroyed();
}

TEST(RawViewerPage, ZeroChannelCountShowsTheFailureAndAsksToClose) {
    host::testing::RecordingMessages messages;
    DeviceState state;  // no controller: the stream cannot start
    CRawViewer page(state);
    int closeRequests = 0;
    QObject::connect(&page, &TunerPage::closeRequested, [&] { ++closeRequests; });
    page.onCreated();
    page.onShown();
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, "PCAPGetSingleData Fail!");
    EXPECT_EQ(messages.shown()[0].caption, "Quillet");
    EXPECT_EQ(closeRequests, 1);
    EXPECT_EQ(state.activePage, kRawDataPage);
    page.onDestroyed();
}

class RawViewerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_oldDir = QDir::currentPath();
        QDir::setCurrent(m_dir.path());  // the log goes to the current directory
        const auto device = test_support::openOnlyDevice("osprey");
        ASSERT_NE(device.handle, 0u) << device.error;
        m_id = device.id;
        m_state.controller = device.handle;
        m_state.typeCode = 4;
        m_state.paramBlock[1] = 120;  // "ThresholdSingleX"
        m_state.paramBlock[2] = 130;  // "ThresholdSingleY"
    }

    void TearDown() override {
        if (m_page) m_page->onDestroyed();
        m_page.reset();
        if (m_state.controller) CloseHIDDevice(m_state.controller);
        control::configure("");
        QDir::setCurrent(m_oldDir);
    }

    // The sheet's order: created, activated, shown. The controller's own
    // stream is stopped afterwards, so only the packets a test feeds arrive.
    CRawViewer& openPage() {
        m_page = std::make_unique<CRawViewer>(m_state);
        QObject::connect(m_page.get(), &TunerPage::quitRequested, [this](int code) { m_quitCodes.push_back(code); });
        m_page->onCreated();
        m_page->onActivated();
        m_page->onShown();
        int8_t y = 0, x = 0;
        PCAPStopGetData(m_state.controller, &y, &x);
        // Packets already on their way when the stream stopped arrive now.
        waitUntil([] { return false; }, 200);
        m_page->cleanScreen();
        return *m_page;
    }

    void feed(const VexPacket& p) { m_page->handlePacket(CRawViewer::kStreamMessage, p); }
    // One whole delta frame with the same values on every channel.
    void feedDeltaFrame(int value) {
        const auto s = m_page->snapshot();
        const int xp = packetCountFor(s.xCount);
        const int yp = packetCountFor(s.yCount);
        for (int i = 0; i < xp + yp; ++i) feed(seriesPacket(0x3B, static_cast<uint8_t>(i), std::vector<int>(30, value)));
    }

    QTemporaryDir m_dir;
    QString m_oldDir;
    host::testing::RecordingMessages m_messages;
    DeviceState m_state;
    int m_id = 0;
    std::unique_ptr<CRawViewer> m_page;
    std::vector<int> m_quitCodes;
};

TEST_F(RawViewerTest, ShownPageTakesCountsThresholdsAndStartingSettings) {
    CRawViewer& page = openPage();
    const auto s = page.snapshot();
    EXPECT_GT(s.xCount, 0);
    EXPECT_GT(s.yCount, 0);
    EXPECT_LE(s.xCount, 90);
    EXPECT_EQ(s.thresholdX, 120);
    EXPECT_EQ(s.thresholdY, 130);
    EXPECT_EQ(s.view, 1);
    EXPECT_EQ(s.lowerMode, 0);
    EXPECT_EQ(page.logState().interval, 10);
    EXPECT_EQ(m_state.activePage, kRawDataPage);
    EXPECT_TRUE(m_messages.shown().empty());
}

TEST_F(RawViewerTest, FirstDeltaFrameReleasesTheWorkerWhichDrawsEveryArea) {
    CRawViewer& page = openPage();
    // The controller's packets that came before its stream stopped may have
    // released the worker already; "Clean Screen" (in openPage) has cleared
    // `started`, and the next whole delta frame sets it again.
    EXPECT_FALSE(page.started());
    feedDeltaFrame(400);
    EXPECT_TRUE(page.worker().released());
    EXPECT_TRUE(page.started());
    // Clean view: the AB bars of the top row show in green or red.
    ASSERT_TRUE(waitUntil([&] {
        const QImage& x = page.area(0)->image();
        return hasColour(x, rawdata::kGraphRed) || hasColour(x, rawdata::kGraphGreen);
    }));
    for (int i = 0; i < CRawViewer::kAreaCount; ++i) EXPECT_FALSE(page.area(i)->image().isNull()) << i;
}

TEST_F(RawViewerTest, ChangeModeAndViewRadiosChangeTheSettings) {
    CRawViewer& page = openPage();
    for (int expected : {1, 2, 3, 0, 1}) {
        page.button("Change Mode")->click();
        EXPECT_EQ(page.snapshot().lowerMode, expected);
    }
    page.viewButtons()->button(3)->click();
    EXPECT_EQ(page.snapshot().view, 3);
    page.viewButtons()->button(0)->click();
    EXPECT_EQ(page.snapshot().view, 0);
}

TEST_F(RawViewerTest, ReadLogBlocksLiveRawAndStrayUntilCleanScreen) {
    CRawViewer& page = openPage();
    page.button("Read Log")->click();
    EXPECT_TRUE(page.readLogActive());
    feed(seriesPacket(0x4E, 0, {777}));
    feed(seriesPacket(0x4C, 0, {888}));
    EXPECT_EQ(page.snapshot().raw.x[0], 0);
    EXPECT_EQ(page.snapshot().stray.x[0], 0);
    page.button("Clean Screen")->click();
    EXPECT_FALSE(page.readLogActive());
    feed(seriesPacket(0x4E, 0, {777}));
    EXPECT_EQ(page.snapshot().raw.x[0], 777);
}

TEST_F(RawViewerTest, ReadBackRecordThirtyThreeCopiesAndRestartsTheStream) {
    CRawViewer& page = openPage();
    page.button("Read Log")->click();
    for (int r = 0; r <= 33; ++r) {
        std::vector<int> values(30);
        for (int i = 0; i < 30; ++i) values[static_cast<size_t>(i)] = 30 * r + i;
        feed(seriesPacket(0x54, static_cast<uint8_t>(r), values));
    }
    const auto s = page.snapshot();
    EXPECT_EQ(s.raw.x[1], 1);
    EXPECT_EQ(s.raw.y[1], 129);
    EXPECT_EQ(s.stray.x[1], 257);
    EXPECT_EQ(s.stray.y[1], 385);
    // The stream runs again: the controller's own packets arrive.
    EXPECT_TRUE(waitUntil([&] { return page.snapshot().delta.x != rawdata::Channels{}; }));
}

TEST_F(RawViewerTest, ReadLogAgainstTheControllerKeepsItsValuesWhileTheStreamRuns) {
    CRawViewer& page = openPage();
    page.button("Read Log")->click();
    // The controller answers with 34 records; the last one copies them and
    // restarts the stream, whose delta frames arrive again.
    ASSERT_TRUE(waitUntil([&] { return page.snapshot().delta.x != rawdata::Channels{}; }));
    const auto s = page.snapshot();
    for (int c = 0; c < s.xCount; ++c) {
        EXPECT_NE(s.raw.x[static_cast<size_t>(c)], 0) << c;
        EXPECT_NE(s.raw.x[static_cast<size_t>(c)], int16_t(0xCCCC)) << c;
    }
    EXPECT_TRUE(page.readLogActive());
    // Live raw and stray packets keep coming but change nothing until "Clean Screen".
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(page.snapshot().raw.x, s.raw.x);
    EXPECT_EQ(page.snapshot().stray.y, s.stray.y);
}

TEST_F(RawViewerTest, ResetAndCalibrationClearAndReport) {
    CRawViewer& page = openPage();
    feedDeltaFrame(300);
    ASSERT_NE(page.snapshot().delta.x[0], 0);
    ASSERT_TRUE(control::clearCommandLog(m_id));
    page.button("Reset Controller")->click();
    EXPECT_EQ(control::operationsOf(control::commandLog(m_id)),
              (std::vector<std::string>{"PCAPStopGetData", "DevResetController", "PCAPGetSingleData"}));
    ASSERT_EQ(m_messages.shown().size(), 1u);
    EXPECT_EQ(m_messages.shown()[0].text, "Reset OK");
    EXPECT_EQ(m_messages.shown()[0].caption, "ZEMA PCAP Raw Viewer");
    EXPECT_FALSE(page.started());
    ASSERT_TRUE(control::clearCommandLog(m_id));
    page.button("Hardware Calibration")->click();
    // The calibration once, before the reset that makes the controller take it.
    EXPECT_EQ(control::operationsOf(control::commandLog(m_id)),
              (std::vector<std::string>{"PCAPStopGetData", "DevHardwareCalibration", "DevResetController",
                                        "PCAPGetSingleData"}));
    ASSERT_EQ(m_messages.shown().size(), 2u);
    EXPECT_EQ(m_messages.shown()[1].text, "Reset Stray OK");
    EXPECT_EQ(m_messages.shown()[1].caption, "ZEMA PCAP Raw Viewer");
    EXPECT_GT(page.snapshot().xCount, 0) << "counts taken again from the restarted stream";
}

TEST_F(RawViewerTest, StartLogWritesTheHeaderAndTheWorkerAppendsBlocks) {
    CRawViewer& page = openPage();
    feedDeltaFrame(250);  // releases the worker; a whole frame before the first block
    page.logPerBox()->setText("0");
    page.button("Start Log Raw Data")->click();
    EXPECT_FALSE(page.button("Start Log Raw Data")->isEnabled());
    EXPECT_TRUE(page.button("Stop Log Raw Data")->isEnabled());
    EXPECT_TRUE(page.logState().logging);
    EXPECT_EQ(page.logState().interval, 0);
    QFile file(m_dir.filePath("PCAP_RAWLOG.csv"));
    // The worker may be in the middle of a block when the file is looked at:
    // wait for the header, the separator and one whole block of eleven rows.
    const auto completeLines = [&] {
        QFile reader(file.fileName());
        return reader.open(QIODevice::ReadOnly) ? reader.readAll().count('\n') : 0;
    };
    ASSERT_TRUE(waitUntil([&] { return completeLines() >= 13; }));
    page.button("Stop Log Raw Data")->click();
    EXPECT_FALSE(page.logState().logging);
    EXPECT_TRUE(page.button("Start Log Raw Data")->isEnabled());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_GT(lines.size(), 13);
    const auto s = page.snapshot();
    const int channels = s.xCount + s.yCount;
    EXPECT_EQ(lines[0].size(), 9 + 7 * channels + 1);
    EXPECT_EQ(lines[0].mid(8, 15), ",     0,     1,");
    EXPECT_EQ(lines[1], "---\r");
    EXPECT_EQ(lines[2].mid(8), ",Delta," + QByteArray("   250,").repeated(channels) + "\r");
    EXPECT_TRUE(lines[12].mid(8).startsWith(",VK_Stray,"));
}

TEST_F(RawViewerTest, LogPerTextThatIsNotAWholeNumberKeepsTheLastInterval) {
    CRawViewer& page = openPage();
    for (const char* text : {"-5", "abc", ""}) {
        page.logPerBox()->setText(text);
        page.viewButtons()->button(2)->click();  // reads the controls
        EXPECT_EQ(page.logState().interval, 10) << text;
        EXPECT_EQ(page.logPerBox()->text(), "10") << text;
    }
    page.logPerBox()->setText("25");
    page.viewButtons()->button(1)->click();
    EXPECT_EQ(page.logState().interval, 25);
}

// The two ways the log file can refuse a write: it cannot be opened (a folder
// in its place), or it opens and the bytes do not reach it (a full disk,
// /dev/full, which fails only when the buffered bytes are flushed).
struct LogFailure {
    const char* name;
    bool (*spoil)(const QString& path);
};
const LogFailure kLogFailures[] = {
    {"folder", [](const QString& path) { return QDir().mkdir(path); }},
    {"full disk", [](const QString& path) { return QFile::link("/dev/full", path); }},
};

TEST_F(RawViewerTest, StartLogThatCannotWriteTheFileKeepsLoggingOff) {
    CRawViewer& page = openPage();
    const QString path = m_dir.filePath("PCAP_RAWLOG.csv");
    for (const LogFailure& failure : kLogFailures) {
        SCOPED_TRACE(failure.name);
        QDir().rmdir(path);
        ASSERT_TRUE(failure.spoil(path));
        m_messages.clear();
        page.button("Start Log Raw Data")->click();
        ASSERT_EQ(m_messages.shown().size(), 1u);
        EXPECT_EQ(m_messages.shown()[0].text, "Open Log file error!");
        EXPECT_EQ(m_messages.shown()[0].caption, "Error!");
        EXPECT_FALSE(page.logState().logging);
        EXPECT_TRUE(page.button("Start Log Raw Data")->isEnabled());
        EXPECT_FALSE(page.button("Stop Log Raw Data")->isEnabled());
    }
}

TEST_F(RawViewerTest, FailedBlockWriteStopsLoggingAndTheButtonsTellTheTruth) {
    CRawViewer& page = openPage();
    const QString path = m_dir.filePath("PCAP_RAWLOG.csv");
    page.logPerBox()->setText("0");
    for (const LogFailure& failure : kLogFailures) {
        SCOPED_TRACE(failure.name);
        QDir().rmdir(path);
        QFile::remove(path);
        m_messages.clear();
        page.button("Start Log Raw Data")->click();
        ASSERT_TRUE(page.logState().logging);
        // The file turns into something that refuses the next block.
        ASSERT_TRUE(QFile::remove(path));
        ASSERT_TRUE(failure.spoil(path));
        feedDeltaFrame(100);
        ASSERT_TRUE(waitUntil([&] { return !m_messages.shown().empty(); }));
        EXPECT_EQ(m_messages.shown()[0].text, "Open Log file error!");
        EXPECT_EQ(m_messages.shown()[0].caption, "Error!");
        EXPECT_FALSE(page.logState().logging);
        EXPECT_TRUE(page.button("Start Log Raw Data")->isEnabled());
        EXPECT_FALSE(page.button("Stop Log Raw Data")->isEnabled());
        // One failure, one message: logging is off, no further block is tried.
        const int steps = page.worker().steps();
        ASSERT_TRUE(waitUntil([&] { return page.worker().steps() >= steps + 2; }));
        EXPECT_EQ(m_messages.shown().size(), 1u);
    }
}

TEST_F(RawViewerTest, ShowingThePageAgainEndsLoggingAndResetsTheButtons) {
    CRawViewer& page = openPage();
    page.button("Start Log Raw Data")->click();
    ASSERT_TRUE(page.logState().logging);
    page.onHidden();
    page.onActivated();
    page.onShown();
    EXPECT_FALSE(page.logState().logging);
    EXPECT_TRUE(page.button("Start Log Raw Data")->isEnabled());
    EXPECT_FALSE(page.button("Stop Log Raw Data")->isEnabled());
}

TEST_F(RawViewerTest, HiddenPageNeitherDrawsNorLogs) {
    CRawViewer& page = openPage();
    page.logPerBox()->setText("0");
    page.button("Start Log Raw Data")->click();
    feedDeltaFrame(100);
    QFile file(m_dir.filePath("PCAP_RAWLOG.csv"));
    ASSERT_TRUE(waitUntil([&] { return file.size() > 2000; }));
    page.onHidden();
    m_state.activePage = kImagePages;
    // A step that began before the page was hidden may still end its block.
    int steps = page.worker().steps();
    ASSERT_TRUE(waitUntil([&] { return page.worker().steps() >= steps + 2; }));
    const qint64 size = file.size();
    steps = page.worker().steps();
    ASSERT_TRUE(waitUntil([&] { return page.worker().steps() >= steps + 4; }));
    EXPECT_EQ(file.size(), size);
}

TEST_F(RawViewerTest, EndPacketClosesTheControllerAndEndsTheProgram) {
    CRawViewer& page = openPage();
    VexPacket end{};
    end.bytes[1] = 2;
    end.bytes[2] = 0x3B;
    end.bytes[3] = 0x70;
    end.bytes[4] = 3;
    page.handlePacket(CRawViewer::kStreamMessage, end);
    EXPECT_EQ(m_state.controller, 0u);
    EXPECT_EQ(m_quitCodes, std::vector<int>{0});
}

TEST_F(RawViewerTest, PacketsAreIgnoredWhileAnotherPageIsActive) {
    CRawViewer& page = openPage();
    m_state.activePage = kParametersPage;
    feed(seriesPacket(0x4E, 0, {555}));
    EXPECT_EQ(page.snapshot().raw.x[0], 0);
}

TEST_F(RawViewerTest, LiveStreamOfTheVirtualControllerFillsTheSeries) {
    CRawViewer& page = openPage();
    int8_t y = 0, x = 0;
    ASSERT_TRUE(PCAPGetSingleData(m_state.controller, &y, &x));
    EXPECT_TRUE(waitUntil([&] { return page.started(); }));
    EXPECT_TRUE(waitUntil([&] {
        const auto s = page.snapshot();
        return s.raw.x != rawdata::Channels{} && s.adLevel.y != rawdata::Channels{};
    }));
}

// The virtual controller's stray pair as the "Stray Data" view draws it:
// both curves inside the area along its whole width, and the channel marked
// as differing most visibly apart.
TEST_F(RawViewerTest, StrayViewOfTheVirtualControllerShowsBothCurves) {
    CRawViewer& page = openPage();
    int8_t y = 0, x = 0;
    ASSERT_TRUE(PCAPGetSingleData(m_state.controller, &y, &x));
    page.viewButtons()->button(2)->click();
    ASSERT_TRUE(waitUntil([&] {
        const auto s = page.snapshot();
        return s.stray.x != rawdata::Channels{} && s.stray.y != rawdata::Channels{} &&
               s.dstray.x != rawdata::Channels{} && s.dstray.y != rawdata::Channels{};
    }));
    const rawdata::RawSnapshot s = page.snapshot();
    ASSERT_EQ(s.view, 2);
    const rawdata::AreaSizes sizes;
    rawdata::RawFrame frame;
    rawdata::renderFrame(s, sizes, frame);
    for (const int axis : {kAxisX, kAxisY}) {
        SCOPED_TRACE(axis == kAxisX ? "X" : "Y");
        const QImage& image = axis == kAxisX ? frame.x : frame.y;
        const int n = s.count(axis);
        const int w = image.width();
        const int h = image.height();
        // The full-height teal line marks the channel of the widest gap.
        int marked = -1;
        for (int i = 0; i + 1 < n; ++i)
            if ((image.pixel(rawdata::slotX(i, w, n), 0) & 0xFFFFFF) == (rawdata::kGraphTeal & 0xFFFFFF)) marked = i;
        ASSERT_GE(marked, 0);
        const int markedX = rawdata::slotX(marked, w, n);
        // Above the baseline, where the channel numbers (also red) are not,
        // and right of the legends.
        const int baseline = rawdata::lowerBaseline(h);
        for (int i = 0; i + 1 < n; ++i) {
            const int column = rawdata::slotX(i, w, n);
            if (column < 24 || column == markedX) continue;
            bool green = false, red = false;
            for (int row = 0; row < baseline; ++row) {
                const QRgb c = image.pixel(column, row) & 0xFFFFFF;
                green = green || c == (rawdata::kGraphGreen & 0xFFFFFF);
                red = red || c == (rawdata::kGraphRed & 0xFFFFFF);
            }
            EXPECT_TRUE(green) << "S at channel " << i;
            EXPECT_TRUE(red) << "DS at channel " << i;
        }
        const auto& stray = axis == kAxisX ? s.stray.x : s.stray.y;
        const auto& dstray = axis == kAxisX ? s.dstray.x : s.dstray.y;
        const int gap = std::abs(stray[size_t(marked)] - dstray[size_t(marked)]);
        EXPECT_GE(gap * h / s.strayScale[size_t(axis)], 8) << "pixels between S and DS at the mark";
    }
}

TEST_F(RawViewerTest, LogOfTheLiveStreamIsWellFormedCsv) {
    CRawViewer& page = openPage();
    int8_t y = 0, x = 0;
    ASSERT_TRUE(PCAPGetSingleData(m_state.controller, &y, &x));
    page.logPerBox()->setText("2");  // a block every 200 ms
    page.button("Start Log Raw Data")->click();
    QFile file(m_dir.filePath("PCAP_RAWLOG.csv"));
    auto blocks = [&] {
        QFile f(file.fileName());
        return f.open(QIODevice::ReadOnly) ? f.readAll().count("---\r\n") : 0;
    };
    ASSERT_TRUE(waitUntil([&] { return blocks() >= 3; }, 5000));
    page.button("Stop Log Raw Data")->click();
    // A step that began before the stop may still write its block: let it end.
    const int steps = page.worker().steps();
    ASSERT_TRUE(waitUntil([&] { return page.worker().steps() >= steps + 2; }));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray all = file.readAll();
    ASSERT_TRUE(all.endsWith("\r\n"));
    QList<QByteArray> lines = all.split('\n');
    lines.removeLast();  // what follows the last line end
    const auto s = page.snapshot();
    const int channels = s.xCount + s.yCount;
    const char* labels[] = {"Delta", "AB", "Recovery", "Raw", "Stray", "DStray", "ADLevel", "Pen-Raw",
                            "VK_Data", "VK_Raw", "VK_Stray"};
    ASSERT_EQ((lines.size() - 1) % 12, 0) << "a header, then whole blocks";
    // Every line ends in CR and a comma before it; rows carry time, label and values.
    for (int i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i].toStdString());
        ASSERT_TRUE(lines[i].endsWith("\r"));
        const QList<QByteArray> fields = lines[i].chopped(1).split(',');
        if (i == 0) {
            EXPECT_EQ(fields.size(), 1 + channels + 1);
            continue;
        }
        const int row = (i - 1) % 12;
        if (row == 0) {
            EXPECT_EQ(lines[i], "---\r");
            continue;
        }
        EXPECT_EQ(fields[1], labels[row - 1]);
        if (row <= 8) EXPECT_EQ(fields.size(), 2 + channels + 1);
        else EXPECT_LE(fields.size(), 2 + rawdata::kVkPlaces + 1);
        for (int f = 2; f < fields.size() - 1; ++f) {
            bool ok = false;
            fields[f].trimmed().toInt(&ok);
            EXPECT_TRUE(ok && fields[f].size() == 6) << f;
        }
    }
}

}  // namespace
}  // namespace lumora
