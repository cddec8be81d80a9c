// The drawing worker of the Finch image page: paced by the active page and
// the channel counts, drawing into the full-screen view while it is open,
// quick to quit, and race-free against the GUI thread writing the grids
// (run under ThreadSanitizer too).
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "host/testing/doubles.h"
#include "tests/support/test_support.h"
#include "tuner/app/device_state.h"
#include "tuner/finch_image/finch_worker.h"

namespace lumora::finch {
namespace {

// The worker runs on its own thread: no event loop to spin.
bool waitFor(const std::function<bool()>& done, int ms = 5000) { return test_support::sleepUntil(done, ms); }

class FinchWorkerTest : public testing::Test {
protected:
    FinchWorkerTest() {
        test_support::app();
        shared.setAreaSize(QSize(300, 200));
        shared.setCounts(22, 36);
    }

    FinchDrawWorker& makeWorker() {
        worker = std::make_unique<FinchDrawWorker>(shared, activePage, [this](const QImage& f, bool full) {
            std::lock_guard lock(frameMutex);
            (full ? lastFullScreen : lastPage) = f.copy();
        });
        return *worker;
    }

    QImage page() {
        std::lock_guard lock(frameMutex);
        return lastPage;
    }
    QImage fullScreen() {
        std::lock_guard lock(frameMutex);
        return lastFullScreen;
    }

    SharedFinchImage shared;
    std::atomic<int32_t> activePage{kImagePages};
    std::mutex frameMutex;
    QImage lastPage;
    QImage lastFullScreen;
    std::unique_ptr<FinchDrawWorker> worker;  // last: it goes first, before what it uses
};

TEST_F(FinchWorkerTest, DrawsWhileActiveWithChannelsAndRestsOtherwise) {
    shared.setCounts(0, 36);
    auto& w = makeWorker();
    w.start();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(w.framesDrawn(), 0);  // a count of 0: nothing to draw

    shared.setCounts(22, 36);
    ASSERT_TRUE(waitFor([&] { return w.framesDrawn() >= 3; }));
    EXPECT_EQ(page().size(), QSize(300, 200));

    activePage = kRawDataPage;
    std::this_thread::sleep_for(std::chrono::milliseconds(150));  // a frame in progress ends
    const int idleFrom = w.framesDrawn();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(w.framesDrawn(), idleFrom);
}

TEST_F(FinchWorkerTest, FullScreenViewTakesTheFramesWhileItIsOpen) {
    auto& w = makeWorker();
    w.start();
    ASSERT_TRUE(waitFor([&] { return w.framesDrawn() >= 1; }));

    shared.setFullScreen(QSize(640, 360));
    w.wake();
    ASSERT_TRUE(waitFor([&] { return w.fullScreenFramesDrawn() >= 3; }));
    EXPECT_EQ(fullScreen().size(), QSize(640, 360));
    const int pageFrames = w.framesDrawn();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(w.framesDrawn(), pageFrames);  // the page's frame waits meanwhile

    shared.setFullScreen(QSize());
    const int fullFrames = w.fullScreenFramesDrawn();
    ASSERT_TRUE(waitFor([&] { return w.framesDrawn() >= pageFrames + 2; }));
    EXPECT_LE(w.fullScreenFramesDrawn(), fullFrames + 1);
}

TEST_F(FinchWorkerTest, QuitEndsTheLongSleepAndTracesTheExit) {
    host::testing::CapturedTrace trace;
    activePage = kRawDataPage;  // the 2-second sleep
    auto& w = makeWorker();
    w.start();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    w.requestQuit();
    w.join();
    EXPECT_EQ(trace.lines(), (QStringList{QStringLiteral(" DrawImageThread:ThreadExit:Quit)\n"),
                                          QStringLiteral(" DrawImageThread:ThreadExit\n")}));
}

TEST_F(FinchWorkerTest, GuiThreadWritesWhileTheWorkerDraws) {
    // The GUI thread's side of a live stream: packets into both grids,
    // settings, counts and the full-screen size changing while frames are
    // drawn.
    shared.setCounts(90, 90);
    auto& w = makeWorker();
    w.start();
    std::array<uint8_t, 64> packet{};
    const auto start = std::chrono::steady_clock::now();
    int round = 0;
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(400)) {
        for (const uint8_t id : {kRawImagePacket, kStrayImagePacket}) {
            packet[2] = id;
            packet[3] = uint8_t(round % 90);
            packet[4] = uint8_t(round % 4);
            for (int i = 0; i < 29; ++i) writeBE16(&packet[6 + 2 * i], (round * 37 + i * 101) % 600 - 300);
            shared.decodePacket(packet.data());
        }
        if (round % 50 == 0) {
            FinchFrameSettings s;
            s.dataMode = (round / 50) % 2 ? kCleanMode : kAdLevelMode;
            s.xAboveY = (round / 100) % 2 == 0;
            s.rdMode = true;
            s.uniformity.kind = (round / 50) % 3;
            shared.setSettings(s);
            shared.setFullScreen((round / 150) % 2 ? QSize(320, 240) : QSize());
            shared.resetRawAndWork();
        }
        ++round;
    }
    EXPECT_TRUE(waitFor([&] { return w.framesDrawn() + w.fullScreenFramesDrawn() >= 2; }));
    w.requestQuit();
    w.join();
    int filled = 0;
    const FinchGrids grids = shared.grids();
    for (const auto& line : grids.stray)
        for (const Node& n : line) filled += n.value != 0;
    EXPECT_GT(filled, 100);
}

}  // namespace
}  // namespace lumora::finch
