// The "Finch Image Data" page against a virtual Heron controller: what it
// asks of the controller on creation, show, hide, activation, reset and
// close (checked in the device's command log), the Kestrel values it reads,
// packets, clicks, the threshold box and the full-screen view.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <functional>
#include <memory>

#include "device/vexlink.h"
#include "host/testing/doubles.h"
#include "tests/support/test_support.h"
#include "tuner/app/device_state.h"
#include "tuner/finch_image/finch_image_dlg.h"
#include "vexlink/virtual/control.h"

namespace lumora {
namespace {

namespace control = vexlink::control;
using namespace finch;

using lumora::test_support::waitUntil;
using lumora::test_support::pump;


void typeKey(QWidget& widget, int key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(&widget, &press);
}

using test_support::imagePacket;

// The Kestrel page as this page sees it.
class FakeKestrel : public KestrelParamSource {
public:
    int index = 2;
    int touch[kFreqRecordCount] = {30, 31, 25, 33, 34};
    int water[kFreqRecordCount] = {40, 41, 42, 43, 44};
    int stray = 50;
    int strayWater = 60;
    int currentFreqIndex() const override { return index; }
    int touchThreshold(int n) const override { return n >= 0 && n < kFreqRecordCount ? touch[n] : 0; }
    int waterThreshold(int n) const override { return n >= 0 && n < kFreqRecordCount ? water[n] : 0; }
    int chkStrayTh() const override { return stray; }
    int chkStrayThWater() const override { return strayWater; }
};

// A call of the log with its 32-bit argument (DevModeWord) or first byte.
struct Call {
    std::string operation;
    uint32_t arg = 0;
    bool operator==(const Call&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Call& c) {
    return os << c.operation << '(' << std::hex << c.arg << std::dec << ')';
}

class FinchPageTest : public testing::Test {
protected:
    void open(const std::string& devices) {
        test_support::app();
        const auto device = test_support::openOnlyDevice(devices);
        ASSERT_NE(device.handle, 0u) << device.error;
        m_id = device.id;
        state.controller = device.handle;
        state.typeCode = 6;
        int8_t y = 0, x = 0;
        PCAPStopGetData(state.controller, &y, &x);
        state.xAboveY = x > y ? 1 : 0;
    }

    void TearDown() override {
        if (page) page->onDestroyed();
        page.reset();
        if (state.controller) CloseHIDDevice(state.controller);
        control::configure("");
    }

    // The sheet's order when the tab is first chosen; the log then starts
    // afresh unless `keepLog`.
    CFinchImageDataDlg& makePage(bool keepLog = false) {
        page = std::make_unique<CFinchImageDataDlg>(state);
        QObject::connect(page.get(), &TunerPage::quitRequested, [this](int code) { quitCodes.push_back(code); });
        QObject::connect(page.get(), &TunerPage::closeRequested, [this] { ++closeRequests; });
        page->resize(1000, 640);
        page->show();
        page->onCreated();
        page->onActivated();
        page->onShown();
        if (!keepLog) control::clearCommandLog(m_id);
        return *page;
    }

    // The page's calls among `operations`, in order.
    std::vector<Call> calls(const std::vector<std::string>& operations) {
        std::vector<Call> out;
        for (const auto& r : control::commandLog(m_id)) {
            if (std::find(operations.begin(), operations.end(), r.operation) == operations.end()) continue;
            out.push_back({r.operation, r.operation == "DevModeWord" ? r.u32(0) : r.u8(0)});
        }
        return out;
    }

    int stream() {
        control::DeviceStatus s;
        control::status(m_id, &s);
        return s.stream;
    }

    DeviceState state;
    FakeKestrel kestrel;
    int m_id = 0;
    std::unique_ptr<CFinchImageDataDlg> page;
    std::vector<int> quitCodes;
    int closeRequests = 0;
};

const std::vector<std::string> kStreamCalls = {"DevModeWord",    "PCAPStopGetData", "PCAPGetRawPoint",
                                               "PCAPGetImageYX", "DevResetController", "DevSetFreqIndex"};

TEST_F(FinchPageTest, CreationTakesTheInfoBlockAndTheKestrelValues) {
    open("heron:uniformity=2");
    state.kestrel = &kestrel;
    host::testing::CapturedTrace trace;
    auto& p = makePage(true);
    EXPECT_TRUE(trace.contains(QStringLiteral("PCAP : OpenHIDDevice...OK\r\n")));
    EXPECT_EQ(state.activePage, kImagePages);
    EXPECT_EQ(state.pcapInfo[13], 2);
    EXPECT_EQ(state.pcapInfo[1], 10);  // the rest of the block too: maximum contacts
    EXPECT_EQ(p.fields().uniformity, 2);
    // The threshold box from the record in use, the checks from record 0.
    EXPECT_EQ(p.fields().threshold, 25);
    EXPECT_EQ(p.thresholdBox()->text(), QStringLiteral("25"));
    const FinchFrameSettings s = p.shared().settings();
    EXPECT_EQ(s.uniformity.kind, 2);
    EXPECT_EQ(s.uniformity.touch, 30);
    EXPECT_EQ(s.water, 40);
    EXPECT_EQ(s.uniformity.stray, 50);
    EXPECT_EQ(s.uniformity.strayWater, 60);
    EXPECT_TRUE(s.rdMode);
    EXPECT_EQ(p.fields().shift, 2);
    EXPECT_EQ(p.dataModeLabel()->text(), QStringLiteral("Clean"));
    ASSERT_TRUE(p.worker() && p.worker()->started());
    // With a Kestrel page nothing of its values is read from the controller.
    EXPECT_TRUE(calls({"DevReadWord"}).empty());

    // Values the Kestrel page changed while this page was hidden count
    // from the next show; the threshold box keeps what it shows.
    p.onHidden();
    kestrel.touch[0] = 12;
    kestrel.stray = 14;
    p.onActivated();
    p.onShown();
    EXPECT_EQ(p.shared().settings().uniformity.touch, 12);
    EXPECT_EQ(p.shared().settings().uniformity.stray, 14);
    EXPECT_EQ(p.fields().threshold, 25);
}

TEST_F(FinchPageTest, WithoutAKestrelPageTheValuesComeFromTheController) {
    open("heron");
    // Record 2 (the index in use at power-up): TouchThreshold in the high
    // byte of word 218; ChkStrayTh in the high byte of word 139.
    uint16_t word = 0;
    ASSERT_TRUE(control::getWord(m_id, 218, &word));
    ASSERT_TRUE(control::setWord(m_id, 218, uint16_t((word & 0x00FF) | (33 << 8))));
    ASSERT_TRUE(control::getWord(m_id, 139, &word));
    ASSERT_TRUE(control::setWord(m_id, 139, uint16_t((word & 0x00FF) | (45 << 8))));
    auto& p = makePage(true);
    EXPECT_EQ(p.fields().threshold, 33);
    EXPECT_EQ(p.kestrelValues().chkStrayTh, 45);
    EXPECT_EQ(p.kestrelValues().touchThreshold0, 60);  // factory record 0
    EXPECT_EQ(p.kestrelValues().waterThreshold0, 80);
    EXPECT_EQ(p.kestrelValues().chkStrayThWater, 60);
    // The index was only asked, not switched.
    EXPECT_EQ(calls({"DevSetFreqIndex"}), (std::vector<Call>{{"DevSetFreqIndex", 255}}));
}

TEST_F(FinchPageTest, ShowingSwitchesTheModeWordAndStreamsTheImages) {
    open("heron:finger=12+7");
    state.kestrel = &kestrel;
    auto& p = makePage();
    p.onHidden();
    control::clearCommandLog(m_id);
    p.onActivated();
    EXPECT_EQ(calls(kStreamCalls), (std::vector<Call>{{"PCAPStopGetData", 0}, {"PCAPGetRawPoint", 0}}));
    control::clearCommandLog(m_id);
    p.onShown();
    // Read, then written with bit 7 cleared and bit 10 set (power-up 0x0001).
    EXPECT_EQ(calls(kStreamCalls), (std::vector<Call>{{"DevModeWord", 0xFFFF},
                                                      {"DevModeWord", 0x0401},
                                                      {"PCAPStopGetData", 0},
                                                      {"PCAPGetRawPoint", 0},
                                                      {"PCAPGetImageYX", 0}}));
    EXPECT_EQ(stream(), 3);  // the image stream, drive order Y->X
    EXPECT_EQ(p.xCount(), 36);
    EXPECT_EQ(p.yCount(), 22);
    EXPECT_EQ(p.pageXCount(), 36);
    EXPECT_EQ(p.pageYCount(), 22);

    // Both images arrive: the finger as a dip of the raw image at Tx 12,
    // Rx 7, the stray image on its level; and the worker draws them.
    ASSERT_TRUE(waitUntil([&] {
        const FinchGrids g = p.shared().grids();
        return g.raw[12][7].value < -300 && g.stray[3][3].value > 100;
    }));
    ASSERT_TRUE(waitUntil([&] { return !p.imageFrame()->frame().isNull(); }));
    EXPECT_EQ(p.imageFrame()->frame().size(), p.imageFrame()->areaSize());
}

TEST_F(FinchPageTest, HidingAndClosingEndTheStreamAndRestoreTheModeWord) {
    open("heron");
    state.kestrel = &kestrel;
    host::testing::CapturedTrace trace;
    auto& p = makePage();
    p.onHidden();
    EXPECT_EQ(calls(kStreamCalls), (std::vector<Call>{{"PCAPGetRawPoint", 0}}));
    // The registrations ended with it: nothing reaches the grids any more.
    state.activePage = kImagePages;
    pump(100);
    const VexPacket packet = imagePacket(kRawImagePacket, 3, 0, 777);
    ASSERT_TRUE(control::injectPacket(m_id, packet.bytes));
    pump(200);
    EXPECT_NE(p.shared().grids().raw[3][0].value, 777);

    control::clearCommandLog(m_id);
    p.onDestroyed();
    EXPECT_EQ(calls(kStreamCalls), (std::vector<Call>{{"PCAPStopGetData", 0},
                                                      {"PCAPGetRawPoint", 0},
                                                      {"DevModeWord", 0xFFFF},
                                                      {"DevModeWord", 0x0081}}));
    EXPECT_TRUE(trace.contains(QStringLiteral(" DrawImageThread:ThreadExit\n")));
    page.reset();
}

TEST_F(FinchPageTest, ResetSwitchesToIndexZeroAndRestartsTheImages) {
    open("heron");
    state.kestrel = &kestrel;
    host::testing::RecordingMessages messages;
    makePage();
    uint32_t word = 0x0880;  // as another program might have left it
    ASSERT_TRUE(DevModeWord(state.controller, &word));
    control::clearCommandLog(m_id);
    page->resetController();
    EXPECT_EQ(calls(kStreamCalls), (std::vector<Call>{{"PCAPStopGetData", 0},
                                                      {"PCAPGetRawPoint", 0},
                                                      {"DevResetController", 0},
                                                      {"DevModeWord", 0xFFFF},
                                                      {"DevModeWord", 0x0C00},
                                                      {"DevSetFreqIndex", 0},
                                                      {"PCAPGetImageYX", 0}}));
    EXPECT_EQ(stream(), 3);
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, QStringLiteral("Reset OK"));
    EXPECT_EQ(messages.shown()[0].caption, QStringLiteral("ZEMA PCAP Raw Viewer"));
}

TEST_F(FinchPageTest, NoChannelsAndAFailedModeWordRead) {
    open("bootloader");  // streams nothing and has no mode word
    host::testing::RecordingMessages messages;
    makePage(true);
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, QStringLiteral("PCAPGetSingleData Fail!"));
    EXPECT_EQ(messages.shown()[0].caption, QStringLiteral("Quillet"));
    EXPECT_EQ(closeRequests, 1);
    // The read failed, so nothing was written over the controller's word.
    EXPECT_EQ(calls({"DevModeWord"}), (std::vector<Call>{{"DevModeWord", 0xFFFF}}));
    control::clearCommandLog(m_id);
    page->onDestroyed();
    EXPECT_EQ(calls({"DevModeWord"}), (std::vector<Call>{{"DevModeWord", 0xFFFF}}));
}

TEST_F(FinchPageTest, NoControllerAtCreationClosesThePage) {
    test_support::app();
    host::testing::CapturedTrace trace;
    makePage();
    EXPECT_TRUE(trace.contains(QStringLiteral("PCAP : OpenHIDDevice...FAIL\r\n")));
    EXPECT_EQ(closeRequests, 1);
    EXPECT_EQ(page->worker(), nullptr);
}

TEST_F(FinchPageTest, PacketsCountWhileActiveAndTheEndPacketEndsTheProgram) {
    open("heron");
    state.kestrel = &kestrel;
    auto& p = makePage();
    int8_t y = 0, x = 0;
    PCAPStopGetData(state.controller, &y, &x);
    pump(100);
    const VexPacket packet = imagePacket(kStrayImagePacket, 4, 0, 7777);
    state.activePage = kRawDataPage;
    p.handlePacket(kStreamMessage, packet);
    EXPECT_NE(p.shared().grids().stray[4][0].value, 7777);
    state.activePage = kImagePages;
    p.handlePacket(0x601, packet);
    EXPECT_NE(p.shared().grids().stray[4][0].value, 7777);
    p.handlePacket(kStreamMessage, packet);
    EXPECT_EQ(p.shared().grids().stray[4][28].value, 7777);

    // Under a registered id that carries no image.
    ASSERT_TRUE(control::injectPacket(m_id, test_support::endPacket(0x51).bytes));
    ASSERT_TRUE(waitUntil([&] { return !quitCodes.empty(); }));
    EXPECT_EQ(state.controller, 0u);
    EXPECT_EQ(quitCodes, std::vector<int>{0});
}

TEST_F(FinchPageTest, ClicksSelectLinesWithThePageWideCounts) {
    open("heron:x=45,y=30");
    state.kestrel = &kestrel;
    auto& p = makePage();
    ASSERT_EQ(state.xAboveY, 1);
    // x = 400 of 792 with 45 lines across: line 22; y = 10 of 448: position 0.
    p.frameClicked(Qt::LeftButton, Qt::LeftButton, {400, 10}, {792, 448});
    EXPECT_TRUE(p.selections().a[22]);
    EXPECT_TRUE(p.selections().b[0]);
    EXPECT_TRUE(p.shared().settings().selectedLines[22]);
    p.frameClicked(Qt::LeftButton, Qt::LeftButton, {400, 10}, {792, 448});
    EXPECT_FALSE(p.selections().a[22]);

    // Through the frame's own mouse input, in its drawing area.
    CMyStatic& frame = *p.imageFrame();
    const QSize area = frame.areaSize();
    const QPoint inside(area.width() / 2, area.height() / 3);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(inside + frame.contentsRect().topLeft()),
                      QPointF(frame.mapToGlobal(inside)), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&frame, &press);
    const int a = clickIndex(inside.x(), area.width(), 45);
    EXPECT_TRUE(p.selections().a[size_t(a)]) << a;
    EXPECT_TRUE(p.shared().settings().selectedLines[size_t(a)]);

    // Both buttons down clear everything; the AD Level view ignores clicks.
    p.frameClicked(Qt::RightButton, Qt::LeftButton | Qt::RightButton, {10, 10}, {792, 448});
    EXPECT_EQ(p.selections().a, (std::array<bool, kGridSize>{}));
    EXPECT_EQ(p.selections().b, (std::array<bool, kGridSize>{}));
    p.chooseView(kAdLevelView);
    p.frameClicked(Qt::LeftButton, Qt::LeftButton, {400, 10}, {792, 448});
    EXPECT_FALSE(p.selections().a[22]);
}

TEST_F(FinchPageTest, ClicksAcrossPositionsWhenLinesAreRows) {
    open("heron:x=20,y=30");
    state.kestrel = &kestrel;
    auto& p = makePage();
    ASSERT_EQ(state.xAboveY, 0);
    // Across: 30 positions (Y); down: 20 lines (X), whose curves selection B marks.
    p.frameClicked(Qt::LeftButton, Qt::LeftButton, {400, 250}, {792, 448});
    EXPECT_TRUE(p.selections().a[15]);  // 400 / (792 / 30) = 15.2
    EXPECT_TRUE(p.selections().b[11]);  // 250 / (448 / 20) = 11.2
    EXPECT_TRUE(p.shared().settings().selectedLines[11]);
    EXPECT_FALSE(p.shared().settings().selectedLines[15]);
}

TEST_F(FinchPageTest, ThresholdBoxShiftAndViews) {
    open("heron");
    state.kestrel = &kestrel;
    auto& p = makePage();
    p.thresholdBox()->setText(QStringLiteral("12"));
    EXPECT_EQ(p.fields().threshold, 12);
    EXPECT_EQ(p.shared().settings().threshold, 12);
    for (const char* bad : {"", "1x", "40000", "-40000"}) {
        p.thresholdBox()->setText(QString::fromLatin1(bad));
        EXPECT_EQ(p.fields().threshold, 12) << bad;
    }
    p.thresholdBox()->setText(QStringLiteral("-7"));
    EXPECT_EQ(p.shared().settings().threshold, -7);

    p.chooseView(kAdLevelView);
    EXPECT_EQ(p.dataModeLabel()->text(), QStringLiteral("ADLevel"));
    EXPECT_EQ(p.shared().settings().dataMode, kAdLevelMode);
    EXPECT_EQ(p.fields().threshold, -7);  // a view choice keeps the box
    p.chooseView(kCleanDataView);
    EXPECT_EQ(p.shared().settings().dataMode, kCleanMode);
    for (int i = 0; i < 20; ++i) p.shiftUp();
    EXPECT_EQ(p.shared().settings().shift, 15);
    for (int i = 0; i < 20; ++i) p.shiftDown();
    EXPECT_EQ(p.fields().shift, 1);
}

TEST_F(FinchPageTest, FullScreenViewOpensOnFAndClosesOnItsKeys) {
    open("heron");
    state.kestrel = &kestrel;
    auto& p = makePage();
    const struct {
        const char* what;
        std::function<void(QWidget&)> close;
    } closers[] = {
        {"Esc", [](QWidget& w) { typeKey(w, Qt::Key_Escape, QStringLiteral("\x1b")); }},
        {"f", [](QWidget& w) { typeKey(w, Qt::Key_F, QStringLiteral("f")); }},
        {"F", [](QWidget& w) { typeKey(w, Qt::Key_F, QStringLiteral("F")); }},
        {"right button", [](QWidget& w) {
             QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::RightButton,
                                 Qt::NoButton, Qt::NoModifier);
             QCoreApplication::sendEvent(&w, &release);
         }},
    };
    bool upper = false;
    for (const auto& c : closers) {
        SCOPED_TRACE(c.what);
        const int before = p.worker()->fullScreenFramesDrawn();
        typeKey(p, Qt::Key_F, upper ? QStringLiteral("F") : QStringLiteral("f"));
        upper = !upper;
        QPointer<FinchFullScreenView> view = p.fullScreenView();
        ASSERT_TRUE(view);
        EXPECT_TRUE(view->isVisible());
        EXPECT_TRUE(view->windowFlags() & Qt::FramelessWindowHint);
        EXPECT_EQ(view->size(), view->screen()->geometry().size());
        EXPECT_EQ(p.shared().fullScreenSize(), view->size());
        // A second request while one is open changes nothing.
        typeKey(p, Qt::Key_F, QStringLiteral("f"));
        EXPECT_EQ(p.fullScreenView(), view.data());
        // Two frames: one may still have been under way for the last view.
        ASSERT_TRUE(waitUntil([&] {
            return view && !view->frame().isNull() && p.worker()->fullScreenFramesDrawn() >= before + 2;
        }));
        EXPECT_EQ(view->frame().size(), view->size());

        c.close(*view);
        EXPECT_EQ(p.fullScreenView(), nullptr);
        EXPECT_TRUE(p.shared().fullScreenSize().isEmpty());
        // Deleted once closed.
        ASSERT_TRUE(waitUntil([&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return view.isNull();
        }));
    }
}

TEST_F(FinchPageTest, ChannelCountsAboveNinetyAreShownAsNinety) {
    open("heron:x=120,y=100");
    state.kestrel = &kestrel;
    auto& p = makePage();
    EXPECT_EQ(p.xCount(), 120);
    EXPECT_EQ(p.shared().settings().xCount, 90);
    EXPECT_EQ(p.shared().settings().yCount, 90);
    for (const int view : {kAdLevelView, kCleanDataView}) {
        p.chooseView(view);
        const int before = p.worker()->framesDrawn();
        EXPECT_TRUE(waitUntil([&] { return p.worker()->framesDrawn() > before + 1; })) << view;
    }
}

}  // namespace
}  // namespace lumora
