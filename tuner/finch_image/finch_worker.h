// The grids and frame settings that the GUI thread writes and the drawing
// worker reads, and the worker itself.
//
// The GUI thread decodes packets into the grids; the worker copies what one
// frame needs under a short lock and renders the copy, so the two never
// touch the same memory at once. A frame may still mix lines of two
// successive device images, which is fine for a live view.
#pragma once

#include <QImage>
#include <QSize>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>

#include "host/worker_thread.h"
#include "tuner/finch_image/finch_model.h"
#include "tuner/finch_image/finch_render.h"

namespace lumora::finch {

class SharedFinchImage {
public:
    // GUI thread.
    int decodePacket(const uint8_t* packet64);
    void fillGrids(Node node);     // Raw and Stray
    void resetRawAndWork();        // every node of Raw and Work to kStartNode
    void setSettings(const FinchFrameSettings& settings);  // keeps the counts
    void setCounts(int yCount, int xCount);  // limited to 0 .. 90
    void setAreaSize(QSize size);            // the page's image frame
    // The full-screen view: open with its size, or closed (an empty size).
    void setFullScreen(QSize size);

    // Any thread: copies under the lock.
    FinchFrameSettings settings() const;
    FinchGrids grids() const;
    QSize fullScreenSize() const;

    // Worker: everything one frame needs. *resetWork is set once after each
    // resetRawAndWork().
    void snapshot(FinchFrameSettings* settings, FinchGrids* grids, QSize* area,
                  QSize* fullScreen, bool* resetWork) const;

private:
    mutable std::mutex m_mutex;
    FinchGrids m_grids;
    FinchFrameSettings m_settings;
    QSize m_area;
    QSize m_fullScreen;
    mutable bool m_resetWork = false;
};

// Draws the chosen view every 50 ms while the image pages are the active
// page, sleeps 2 000 ms while they are not and 500 ms while a channel count
// is 0. While the full-screen view is open it draws there instead, with its
// larger texts, whenever 30 ms have passed since its last frame, looking
// every 10 ms. Started with its page; runs until requestQuit().
class FinchDrawWorker {
public:
    // Called on the worker thread with each finished frame; `fullScreen`
    // tells which view it is for.
    using FrameReady = std::function<void(const QImage& frame, bool fullScreen)>;

    static constexpr int kActivePeriodMs = 50;
    static constexpr int kIdlePeriodMs = 2000;
    static constexpr int kNoChannelsPeriodMs = 500;
    static constexpr int kFullScreenPollMs = 10;
    static constexpr int kFullScreenFrameMs = 30;
    static constexpr int kPageTextHeight = 10;
    static constexpr int kFullScreenTextHeight = 11;

    FinchDrawWorker(const SharedFinchImage& shared, const std::atomic<int32_t>& activePage,
                    FrameReady frameReady);
    ~FinchDrawWorker();  // quits and joins
    FinchDrawWorker(const FinchDrawWorker&) = delete;
    FinchDrawWorker& operator=(const FinchDrawWorker&) = delete;

    void start();
    // Sets the quit flag and wakes the thread from its sleep.
    void requestQuit();
    // Waits for the thread to end (after requestQuit()).
    void join();
    // Draws the next frame now (a setting changed).
    void wake();

    bool started() const { return m_thread.started(); }
    int framesDrawn() const { return m_frames.load(); }
    int fullScreenFramesDrawn() const { return m_fullScreenFrames.load(); }

private:
    // One step of the thread; returns the sleep before the next one.
    int step();

    const SharedFinchImage& m_shared;
    const std::atomic<int32_t>& m_activePage;
    FrameReady m_frameReady;
    // Used by the worker thread only.
    FinchRenderer m_pageRenderer{kPageTextHeight};
    FinchRenderer m_fullScreenRenderer{kFullScreenTextHeight};
    FinchGrids m_grids;
    NodeGrid m_work{};
    QImage m_frame;
    QImage m_fullScreenFrame;
    std::chrono::steady_clock::time_point m_lastFullScreenFrame{};

    std::atomic<int> m_frames{0};
    std::atomic<int> m_fullScreenFrames{0};
    host::WorkerThread m_thread;  // last member: stopped before the rest goes
};

}  // namespace lumora::finch
