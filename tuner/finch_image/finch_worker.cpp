#include "tuner/finch_image/finch_worker.h"

#include <algorithm>

#include "host/services.h"
#include "tuner/app/device_state.h"

namespace lumora::finch {

// ---- SharedFinchImage ------------------------------------------------------------

int SharedFinchImage::decodePacket(const uint8_t* packet64) {
    std::lock_guard lock(m_mutex);
    return decodeFinchPacket(packet64, m_grids);
}

void SharedFinchImage::fillGrids(Node node) {
    std::lock_guard lock(m_mutex);
    fillGrid(m_grids.raw, node);
    fillGrid(m_grids.stray, node);
}

void SharedFinchImage::resetRawAndWork() {
    std::lock_guard lock(m_mutex);
    fillGrid(m_grids.raw, kStartNode);
    m_resetWork = true;
}

void SharedFinchImage::setSettings(const FinchFrameSettings& settings) {
    std::lock_guard lock(m_mutex);
    const int xCount = m_settings.xCount, yCount = m_settings.yCount;
    m_settings = settings;
    m_settings.xCount = xCount;
    m_settings.yCount = yCount;
}

void SharedFinchImage::setCounts(int yCount, int xCount) {
    std::lock_guard lock(m_mutex);
    // The grids hold 90 lines of 90 positions; nothing past them is ever
    // indexed, and a negative (unreadable) count draws nothing.
    m_settings.yCount = clampChannels(yCount);
    m_settings.xCount = clampChannels(xCount);
}

void SharedFinchImage::setAreaSize(QSize size) {
    std::lock_guard lock(m_mutex);
    m_area = size;
}

void SharedFinchImage::setFullScreen(QSize size) {
    std::lock_guard lock(m_mutex);
    m_fullScreen = size;
}

FinchFrameSettings SharedFinchImage::settings() const {
    std::lock_guard lock(m_mutex);
    return m_settings;
}

FinchGrids SharedFinchImage::grids() const {
    std::lock_guard lock(m_mutex);
    return m_grids;
}

QSize SharedFinchImage::fullScreenSize() const {
    std::lock_guard lock(m_mutex);
    return m_fullScreen;
}

void SharedFinchImage::snapshot(FinchFrameSettings* settings, FinchGrids* grids, QSize* area,
                                QSize* fullScreen, bool* resetWork) const {
    std::lock_guard lock(m_mutex);
    *settings = m_settings;
    *grids = m_grids;
    *area = m_area;
    *fullScreen = m_fullScreen;
    *resetWork = m_resetWork;
    m_resetWork = false;
}

// ---- FinchDrawWorker ----------------------------------------------------------------

FinchDrawWorker::FinchDrawWorker(const SharedFinchImage& shared,
                                 const std::atomic<int32_t>& activePage, FrameReady frameReady)
    : m_shared(shared),
      m_activePage(activePage),
      m_frameReady(std::move(frameReady)),
      m_thread([this] { return step(); },
               [] {
                   host::trace(QStringLiteral(" DrawImageThread:ThreadExit:Quit)\n"));
                   host::trace(QStringLiteral(" DrawImageThread:ThreadExit\n"));
               }) {}

FinchDrawWorker::~FinchDrawWorker() {
    requestQuit();
    join();
}

void FinchDrawWorker::start() { m_thread.start(); }

void FinchDrawWorker::requestQuit() { m_thread.requestQuit(); }

void FinchDrawWorker::join() { m_thread.join(); }

void FinchDrawWorker::wake() { m_thread.wake(); }

int FinchDrawWorker::step() {
    if (m_activePage.load() != kImagePages) return kIdlePeriodMs;
    FinchFrameSettings settings;
    QSize area, fullScreen;
    bool resetWork = false;
    m_shared.snapshot(&settings, &m_grids, &area, &fullScreen, &resetWork);
    if (resetWork) fillGrid(m_work, kStartNode);
    if (settings.xCount == 0 || settings.yCount == 0) return kNoChannelsPeriodMs;

    if (!fullScreen.isEmpty()) {
        // The full-screen view: a frame whenever 30 ms have passed, looked
        // for every 10 ms; the page's frame waits until the view closes.
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastFullScreenFrame >= std::chrono::milliseconds(kFullScreenFrameMs)) {
            m_lastFullScreenFrame = now;
            if (m_fullScreenFrame.size() != fullScreen)
                m_fullScreenFrame = FinchRenderer::makeFrame(fullScreen.width(), fullScreen.height());
            m_fullScreenRenderer.render(m_fullScreenFrame, m_grids.raw, m_grids.stray, m_work,
                                        settings);
            ++m_fullScreenFrames;
            if (m_frameReady) m_frameReady(m_fullScreenFrame, true);
        }
        return kFullScreenPollMs;
    }

    // An area not laid out yet: nothing to draw.
    if (area.isEmpty()) return kActivePeriodMs;
    if (m_frame.size() != area) m_frame = FinchRenderer::makeFrame(area.width(), area.height());
    m_pageRenderer.render(m_frame, m_grids.raw, m_grids.stray, m_work, settings);
    ++m_frames;
    if (m_frameReady) m_frameReady(m_frame, false);
    return kActivePeriodMs;
}

}  // namespace lumora::finch
