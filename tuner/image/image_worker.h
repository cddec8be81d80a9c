// The grids and view settings that the GUI thread writes and the drawing
// worker reads, and the worker itself.
//
// The GUI thread decodes packets into the grids; the worker copies what one
// frame needs under a short lock and renders the copy, so the two never
// touch the same memory at once. A frame may still mix lines of two
// successive device images, which is fine for a live view.
#pragma once

#include <QImage>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include "host/worker_thread.h"
#include "tuner/image/image_model.h"
#include "tuner/image/image_render.h"

namespace lumora::image {

// What the worker needs besides a grid to draw one frame.
struct FrameSettings {
    int32_t displayMode = kAdLevelView;
    CleanDataView clean;
    int32_t highlightLimit = 1800;
    int width = 0;   // the "Image" area, pixels
    int height = 0;
    int xCount = 0;  // channel counts, already limited to 0 .. 90
    int yCount = 0;
};

class SharedImage {
public:
    // GUI thread.
    int decodePacket(const uint8_t* packet64);
    void clearAdRows(int rows);  // rows 0 .. rows-1 of the AD grid
    void setSettings(const FrameSettings& settings);
    void setAreaSize(int width, int height);
    void setCounts(int yCount, int xCount);

    // Any thread: copies under the lock.
    FrameSettings settings() const;
    ImageGrids grids() const;

    // Worker: the settings and the one grid that the chosen view shows.
    void snapshot(FrameSettings* settings, ImageGrid* grid) const;

private:
    mutable std::mutex m_mutex;
    ImageGrids m_grids;
    FrameSettings m_settings;
};

// Draws the chosen view every 50 ms while the image page is the active
// page, and otherwise sleeps 2 000 ms. Made suspended with its page: the
// thread starts at the first resume() and runs until requestQuit().
class ImageDrawWorker {
public:
    // Called on the worker thread with each finished frame.
    using FrameReady = std::function<void(const QImage& frame)>;

    static constexpr int kActivePeriodMs = 50;
    static constexpr int kIdlePeriodMs = 2000;

    ImageDrawWorker(const SharedImage& shared, const std::atomic<int32_t>& activePage,
                    FrameReady frameReady);
    ~ImageDrawWorker();  // quits and joins
    ImageDrawWorker(const ImageDrawWorker&) = delete;
    ImageDrawWorker& operator=(const ImageDrawWorker&) = delete;

    // Starts the thread the first time; later calls do nothing.
    void resume();
    // Sets the quit flag and wakes the thread from its sleep.
    void requestQuit();
    // Waits for the thread to end (after requestQuit()).
    void join();

    bool started() const { return m_thread.started(); }
    int framesDrawn() const { return m_frames.load(); }

private:
    // One step of the thread; returns the sleep before the next one.
    int step();
    void drawFrame();

    const SharedImage& m_shared;
    const std::atomic<int32_t>& m_activePage;
    FrameReady m_frameReady;
    ImageRenderer m_renderer;  // used by the worker thread only
    ImageGrid m_grid{};        // the frame's copy of the shown grid
    ImageGrid m_work{};        // the Clean Data work grid
    QImage m_frame;

    std::atomic<int> m_frames{0};
    host::WorkerThread m_thread;  // last member: stopped before the rest goes
};

}  // namespace lumora::image
