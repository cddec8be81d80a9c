// The drawing worker: suspended until resumed, paced by the active page,
// silent while a count is 0, quick to quit, and race-free against the GUI
// thread writing the grids (run under ThreadSanitizer too).
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "host/testing/doubles.h"
#include "tests/tuner/image/test_app.h"
#include "tuner/app/device_state.h"
#include "tuner/image/image_worker.h"

namespace lumora::image {
namespace {

// The worker runs on its own thread: no event loop to spin.
bool waitFor(const std::function<bool()>& done, int ms = 3000) { return test_support::sleepUntil(done, ms); }

class ImageWorkerTest : public testing::Test {
protected:
    ImageWorkerTest() {
        testing_support::app();
        shared.setAreaSize(180, 90);
        shared.setCounts(9, 18);
    }

    ImageDrawWorker& makeWorker() {
        worker = std::make_unique<ImageDrawWorker>(shared, activePage, [this](const QImage& f) {
            std::lock_guard lock(frameMutex);
            lastFrame = f.copy();
        });
        return *worker;
    }

    QImage frame() {
        std::lock_guard lock(frameMutex);
        return lastFrame;
    }

    SharedImage shared;
    std::atomic<int32_t> activePage{kImagePages};
    std::mutex frameMutex;
    QImage lastFrame;
    std::unique_ptr<ImageDrawWorker> worker;  // last: it goes first, before what it uses
};

TEST_F(ImageWorkerTest, DrawsOnlyAfterResumeAndWhileThePageIsActive) {
    auto& w = makeWorker();
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_FALSE(w.started());
    EXPECT_EQ(w.framesDrawn(), 0);

    w.resume();
    // Every 50 ms: a few frames within a second even on a busy machine.
    ASSERT_TRUE(waitFor([&] { return w.framesDrawn() >= 3; }));
    EXPECT_EQ(frame().size(), QSize(180, 90));

    activePage = kRawDataPage;
    std::this_thread::sleep_for(std::chrono::milliseconds(120));  // let a frame in progress end
    const int idleFrom = w.framesDrawn();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(w.framesDrawn(), idleFrom);

    // Quitting cuts the 2-second idle sleep short.
    QElapsedTimer timer;
    timer.start();
    w.requestQuit();
    w.join();
    EXPECT_LT(timer.elapsed(), 1000);
}

TEST_F(ImageWorkerTest, NothingIsDrawnWhileACountIsZero) {
    shared.setCounts(0, 40);
    auto& w = makeWorker();
    w.resume();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(w.framesDrawn(), 0);
    shared.setCounts(30, 40);
    EXPECT_TRUE(waitFor([&] { return w.framesDrawn() >= 1; }));
}

TEST_F(ImageWorkerTest, QuitTracesTheExitAndAResumeAfterQuitStartsNothing) {
    host::testing::CapturedTrace trace;
    auto& w = makeWorker();
    w.resume();
    w.requestQuit();
    w.join();
    EXPECT_EQ(trace.lines(), (QStringList{QStringLiteral(" DrawImageThread:ThreadExit:Quit)\n"),
                                          QStringLiteral(" DrawImageThread:ThreadExit\n")}));
    ImageDrawWorker late(shared, activePage, {});
    late.requestQuit();
    late.resume();
    EXPECT_FALSE(late.started());
}

TEST_F(ImageWorkerTest, SettingsReachTheWorkerWithCountsLimitedToNinety) {
    FrameSettings s;
    s.displayMode = kCleanDataView;
    s.clean.shift = 3;
    shared.setSettings(s);
    shared.setCounts(127, 100);
    const FrameSettings seen = shared.settings();
    EXPECT_EQ(seen.displayMode, kCleanDataView);
    EXPECT_EQ(seen.clean.shift, 3u);
    EXPECT_EQ(seen.yCount, 90);
    EXPECT_EQ(seen.xCount, 90);
    EXPECT_EQ(seen.width, 180);  // settings leave the area size alone
    shared.setCounts(-56, 40);   // 200 channels read as a signed byte
    EXPECT_EQ(shared.settings().yCount, 0);
}

TEST_F(ImageWorkerTest, GuiThreadWritesWhileTheWorkerDraws) {
    // The GUI thread's side of a live stream: packets into both grids,
    // settings and counts changing, rows cleared, while frames are drawn.
    shared.setCounts(90, 90);
    shared.setAreaSize(400, 300);
    auto& w = makeWorker();
    w.resume();
    std::array<uint8_t, 64> packet{};
    const auto start = std::chrono::steady_clock::now();
    int round = 0;
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(400)) {
        for (const uint8_t id : {kAdRowPacket, kAdColumnPacket, kAdLevelRowPacket, kAdLevelColumnPacket}) {
            packet[2] = id;
            packet[3] = uint8_t(round % 90);
            packet[4] = uint8_t(round % 4);
            for (int i = 0; i < 29; ++i) writeBE16(&packet[6 + 2 * i], (round * 37 + i * 101) % 4000 - 2000);
            shared.decodePacket(packet.data());
        }
        if (round % 50 == 0) {
            FrameSettings s;
            s.displayMode = (round / 50) % 2 ? kCleanDataView : kAdLevelView;
            s.clean.orientation = (round / 100) % 2 ? kDriveXY : kDriveYX;
            shared.setSettings(s);
            shared.clearAdRows(90);
        }
        ++round;
    }
    EXPECT_TRUE(waitFor([&] { return w.framesDrawn() >= 2; }));
    w.requestQuit();
    w.join();
    const ImageGrids grids = shared.grids();
    int filled = 0;
    for (const auto& row : grids.adLevel)
        for (const int32_t v : row) filled += v != 0;
    EXPECT_GT(filled, 100);
}

}  // namespace
}  // namespace lumora::image
