// The "Image Data" page against a virtual Osprey controller: the life cycle,
// the streams each drive order starts, the thresholds, the keys, the
// messages, the clamps of large panels and the controller going away.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "device/vexlink.h"
#include "host/packet_window.h"
#include "host/testing/doubles.h"
#include "tests/support/test_support.h"
#include "tests/tuner/image/test_app.h"
#include "tuner/app/device_state.h"
#include "tuner/image/image_dlg.h"
#include "vexlink/virtual/control.h"

namespace lumora {
namespace {

namespace control = vexlink::control;
using namespace image;

using lumora::test_support::waitUntil;
using lumora::test_support::pump;

void typeKey(QWidget& widget, char c) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(QChar(c)));
    QCoreApplication::sendEvent(&widget, &press);
}

using test_support::imagePacket;

// Counts the image packets that the controller streams, by id, through a
// window of its own beside the page's.
class StreamWatch {
public:
    explicit StreamWatch(VexHandle handle) {
        m_window.setHandler([this](uint32_t, const VexPacket& p) { ++m_counts[p.bytes[2]]; });
        for (const uint8_t id : {kAdRowPacket, kAdColumnPacket, kAdLevelRowPacket, kAdLevelColumnPacket})
            m_window.registerPacket(handle, id, kStreamMessage);
    }
    void clear() { m_counts.clear(); }
    int count(uint8_t id) { return m_counts[id]; }

private:
    host::PacketWindow m_window;
    std::map<uint8_t, int> m_counts;
};

class ImagePageTest : public testing::Test {
protected:
    void open(const std::string& devices) {
        testing_support::app();
        const auto device = lumora::test_support::openOnlyDevice(devices);
        ASSERT_NE(device.handle, 0u) << device.error;
        m_id = device.id;
        state.controller = device.handle;
        state.typeCode = 4;
        state.typeName = QStringLiteral("Osprey PCAP");
        state.paramBlock[3] = 900;   // "ThresholdMulti X2Y"
        state.paramBlock[4] = 1300;  // "ThresholdMulti Y2X"
    }

    void TearDown() override {
        if (page) page->onDestroyed();
        page.reset();
        if (state.controller) CloseHIDDevice(state.controller);
        control::configure("");
    }

    // The sheet's order when the tab is first chosen.
    CImageDlg& makePage() {
        page = std::make_unique<CImageDlg>(state);
        QObject::connect(page.get(), &TunerPage::quitRequested, [this](int code) { quitCodes.push_back(code); });
        QObject::connect(page.get(), &TunerPage::closeRequested, [this] { ++closeRequests; });
        page->resize(900, 600);
        page->onCreated();
        page->onActivated();
        page->onShown();
        return *page;
    }

    void stopStream() {
        int8_t y = 0, x = 0;
        PCAPStopGetData(state.controller, &y, &x);
        pump(100);  // packets already under way
    }

    DeviceState state;
    int m_id = 0;
    std::unique_ptr<CImageDlg> page;
    std::vector<int> quitCodes;
    int closeRequests = 0;
};

TEST_F(ImagePageTest, ShowingStartsTheRowStreamAndTheWorkerDrawsTheFinger) {
    open("osprey");
    host::testing::CapturedTrace trace;
    auto& p = makePage();
    EXPECT_TRUE(trace.contains(QStringLiteral("PCAP : OpenHIDDevice...OK\r\n")));
    EXPECT_EQ(state.activePage, kImagePages);
    EXPECT_EQ(p.yCount(), 30);
    EXPECT_EQ(p.xCount(), 40);
    EXPECT_EQ(p.fields().threshold, 1300);
    EXPECT_EQ(p.thresholdBox()->text(), QStringLiteral("1300"));
    EXPECT_EQ(p.findChild<QRadioButton*>()->text(), QStringLiteral("Clean Data"));
    ASSERT_TRUE(p.worker() && p.worker()->started());

    // Both images arrive; the AD Level view is drawn first.
    ASSERT_TRUE(waitUntil([&] {
        const ImageGrids g = p.shared().grids();
        bool ad = false, level = false;
        for (int r = 0; r < 30; ++r)
            for (int c = 0; c < 40; ++c) ad |= g.ad[r][c] != 0, level |= g.adLevel[r][c] != 0;
        return ad && level;
    }));
    ASSERT_TRUE(waitUntil([&] { return !p.imageFrame()->frame().isNull(); }));
    EXPECT_EQ(p.imageFrame()->frame().size(), p.imageFrame()->areaSize());

    p.chooseView(kCleanDataView);
    EXPECT_EQ(p.shared().settings().displayMode, kCleanDataView);
    const int before = p.worker()->framesDrawn();
    EXPECT_TRUE(waitUntil([&] { return p.worker()->framesDrawn() > before + 1; }));
}

TEST_F(ImagePageTest, SwapChoosesTheStreamAndTheThreshold) {
    open("osprey");
    auto& p = makePage();
    StreamWatch watch(state.controller);
    ASSERT_TRUE(waitUntil([&] { return watch.count(kAdRowPacket) > 0; }));

    p.swapDriveOrder();
    EXPECT_EQ(p.fields().orientation, kDriveXY);
    EXPECT_EQ(p.fields().threshold, 900);
    EXPECT_EQ(p.fields().driveText, QStringLiteral("X -> Y"));
    pump(100);
    watch.clear();
    // The watch may have been cleared in the middle of a frame, so wait for
    // both kinds of the new order rather than expecting them together.
    EXPECT_TRUE(waitUntil([&] {
        return watch.count(kAdLevelColumnPacket) > 0 && watch.count(kAdColumnPacket) > 0;
    }));
    EXPECT_EQ(watch.count(kAdRowPacket), 0);
    EXPECT_EQ(watch.count(kAdLevelRowPacket), 0);

    typeKey(p, 's');  // the same command by key
    EXPECT_EQ(p.fields().orientation, kDriveYX);
    EXPECT_EQ(p.fields().threshold, 1300);
    EXPECT_EQ(p.fields().driveText, QStringLiteral("Y -> X"));
    pump(100);
    watch.clear();
    ASSERT_TRUE(waitUntil([&] { return watch.count(kAdRowPacket) > 0; }));
    EXPECT_EQ(watch.count(kAdColumnPacket), 0);
}

TEST_F(ImagePageTest, ShowingInXYOrderStillTakesTheY2XThreshold) {
    open("osprey");
    auto& p = makePage();
    p.swapDriveOrder();
    ASSERT_EQ(p.fields().threshold, 900);
    p.onHidden();
    p.onActivated();
    p.onShown();
    EXPECT_EQ(p.fields().orientation, kDriveXY);
    EXPECT_EQ(p.fields().threshold, 1300);
    EXPECT_EQ(p.thresholdBox()->text(), QStringLiteral("1300"));
    // The stream restarts in the order in use.
    StreamWatch watch(state.controller);
    ASSERT_TRUE(waitUntil([&] { return watch.count(kAdColumnPacket) > 0; }));
    // A view choice takes the threshold of the order again.
    p.chooseView(kAdLevelView);
    EXPECT_EQ(p.fields().threshold, 900);
}

TEST_F(ImagePageTest, ChannelCountsAboveNinetyAreShownAsNinety) {
    open("osprey:x=120,y=100");
    auto& p = makePage();
    EXPECT_EQ(p.xCount(), 120);
    EXPECT_EQ(p.yCount(), 100);
    EXPECT_EQ(p.shared().settings().xCount, 90);
    EXPECT_EQ(p.shared().settings().yCount, 90);
    const int before = p.worker()->framesDrawn();
    EXPECT_TRUE(waitUntil([&] { return p.worker()->framesDrawn() > before + 1; }));
    // Every other stream start is limited as well: swap, reset, calibration.
    host::testing::RecordingMessages messages;
    const std::function<void()> starts[] = {[&] { p.swapDriveOrder(); },
                                            [&] { p.resetController(); },
                                            [&] { p.hardwareCalibration(); }};
    for (const auto& start : starts) {
        stopStream();
        start();
        EXPECT_EQ(p.xCount(), 120);
        EXPECT_EQ(p.shared().settings().xCount, 90);
        EXPECT_EQ(p.shared().settings().yCount, 90);
    }
    p.chooseView(kCleanDataView);
    const int later = p.worker()->framesDrawn();
    EXPECT_TRUE(waitUntil([&] { return p.worker()->framesDrawn() > later + 1; }));
}

TEST_F(ImagePageTest, PacketsCountOnlyWhileTheImagePageIsActive) {
    open("osprey");
    auto& p = makePage();
    stopStream();
    const VexPacket row = imagePacket(kAdLevelRowPacket, 4, 0, 7777);
    const int32_t streamed = p.shared().grids().adLevel[4][0];
    ASSERT_NE(streamed, 7777);
    state.activePage = kRawDataPage;
    p.handlePacket(kStreamMessage, row);
    EXPECT_EQ(p.shared().grids().adLevel[4][0], streamed);
    state.activePage = kImagePages;
    p.handlePacket(0x601, row);  // not the stream message
    EXPECT_EQ(p.shared().grids().adLevel[4][0], streamed);
    p.handlePacket(kStreamMessage, row);
    EXPECT_EQ(p.shared().grids().adLevel[4][0], 7777);
    EXPECT_EQ(p.shared().grids().adLevel[4][28], 7777);
    // The last block of a 90-value line: positions 87 .. 89 kept, the rest dropped.
    p.handlePacket(kStreamMessage, imagePacket(kAdColumnPacket, 89, 3, -5));
    EXPECT_EQ(p.shared().grids().ad[89][89], -5);
    EXPECT_EQ(p.shared().grids().ad[86][89], 0);
}

TEST_F(ImagePageTest, EndPacketClosesTheControllerAndEndsTheProgram) {
    open("osprey");
    makePage();
    // Under any registered id.
    ASSERT_TRUE(control::injectPacket(m_id, test_support::endPacket(0x56).bytes));
    ASSERT_TRUE(waitUntil([&] { return !quitCodes.empty(); }));
    EXPECT_EQ(state.controller, 0u);
    EXPECT_EQ(quitCodes, std::vector<int>{0});
}

TEST_F(ImagePageTest, KeysAndTheThresholdBox) {
    open("osprey");
    auto& p = makePage();
    typeKey(p, '+');
    EXPECT_EQ(p.fields().threshold, 1500);
    EXPECT_EQ(p.thresholdBox()->text(), QStringLiteral("1500"));
    for (int i = 0; i < 20; ++i) typeKey(p, '-');
    EXPECT_EQ(p.fields().threshold, 200);
    for (int i = 0; i < 20; ++i) typeKey(p, 'a');
    EXPECT_EQ(p.fields().shift, 1u);
    typeKey(p, 'q');
    EXPECT_EQ(p.fields().shift, 2u);
    typeKey(p, 'i');
    EXPECT_FALSE(p.fields().showValues);
    EXPECT_FALSE(p.shared().settings().clean.showValues);
    typeKey(p, 'Q');  // lower case only
    EXPECT_EQ(p.fields().shift, 2u);

    // A typed number takes effect at once; a text that is none keeps it.
    p.thresholdBox()->setText(QStringLiteral("4321"));
    EXPECT_EQ(p.fields().threshold, 4321);
    EXPECT_EQ(p.shared().settings().clean.threshold, 4321);
    for (const char* bad : {"", "43x", "99999999999"}) {
        p.thresholdBox()->setText(QString::fromLatin1(bad));
        EXPECT_EQ(p.fields().threshold, 4321) << bad;
    }
    p.shiftUp();
    EXPECT_EQ(p.fields().shift, 3u);
    p.shiftDown();
    EXPECT_EQ(p.fields().shift, 2u);
}

TEST_F(ImagePageTest, ResetAndCalibrationRestartTheStreamAndSayResetOk) {
    open("osprey");
    host::testing::RecordingMessages messages;
    auto& p = makePage();
    p.swapDriveOrder();
    for (const bool calibrate : {false, true}) {
        SCOPED_TRACE(calibrate);
        stopStream();
        StreamWatch watch(state.controller);
        ASSERT_TRUE(control::clearCommandLog(m_id));
        calibrate ? p.hardwareCalibration() : p.resetController();
        // The calibration only for its button, once, before the reset.
        std::vector<std::string> expected = {"PCAPStopGetData", "DevResetController", "PCAPGetImageXY"};
        if (calibrate) expected.insert(expected.begin() + 1, "DevHardwareCalibration");
        EXPECT_EQ(control::operationsOf(control::commandLog(m_id)), expected);
        ASSERT_FALSE(messages.shown().empty());
        EXPECT_EQ(messages.shown().back().text, QStringLiteral("Reset OK"));
        EXPECT_EQ(messages.shown().back().caption, QStringLiteral("ZEMA PCAP Raw Viewer"));
        // Restarted in the order in use.
        EXPECT_TRUE(waitUntil([&] { return watch.count(kAdColumnPacket) > 0; }));
        EXPECT_EQ(watch.count(kAdRowPacket), 0);
    }
    EXPECT_EQ(messages.shown().size(), 2u);
}

TEST_F(ImagePageTest, NoChannelsOnShowAsksToClose) {
    open("bootloader");  // streams nothing: both counts 0
    host::testing::RecordingMessages messages;
    makePage();
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, QStringLiteral("PCAPGetSingleData Fail!"));
    EXPECT_EQ(messages.shown()[0].caption, QStringLiteral("Quillet"));
    EXPECT_EQ(closeRequests, 1);
    EXPECT_FALSE(page->worker()->started());
}

TEST_F(ImagePageTest, NoControllerAtCreationClosesThePage) {
    testing_support::app();
    host::testing::CapturedTrace trace;
    makePage();
    EXPECT_TRUE(trace.contains(QStringLiteral("PCAP : OpenHIDDevice...FAIL\r\n")));
    EXPECT_EQ(closeRequests, 1);
    EXPECT_EQ(state.activePage, kImagePages);
    EXPECT_EQ(page->worker(), nullptr);
}

TEST_F(ImagePageTest, ClosingStopsTheStreamAndTheWorker) {
    open("osprey");
    host::testing::CapturedTrace trace;
    auto& p = makePage();
    state.activePage = kRawDataPage;  // the worker is in its long sleep
    pump(100);
    StreamWatch watch(state.controller);
    QElapsedTimer timer;
    timer.start();
    p.onDestroyed();
    EXPECT_LT(timer.elapsed(), 1500);
    EXPECT_TRUE(trace.contains(QStringLiteral(" DrawImageThread:ThreadExit\n")));
    pump(150);
    watch.clear();
    pump(200);
    EXPECT_EQ(watch.count(kAdRowPacket) + watch.count(kAdLevelRowPacket), 0);
    page.reset();
}

}  // namespace
}  // namespace lumora
