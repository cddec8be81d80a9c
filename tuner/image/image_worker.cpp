#include "tuner/image/image_worker.h"

#include <algorithm>
#include <chrono>

#include "host/services.h"
#include "tuner/app/device_state.h"

namespace lumora::image {

// ---- SharedImage -------------------------------------------------------------

int SharedImage::decodePacket(const uint8_t* packet64) {
    std::lock_guard lock(m_mutex);
    return decodeImagePacket(packet64, m_grids);
}

void SharedImage::clearAdRows(int rows) {
    rows = std::clamp(rows, 0, kGridSize);
    std::lock_guard lock(m_mutex);
    for (int r = 0; r < rows; ++r) m_grids.ad[r].fill(0);
}

void SharedImage::setSettings(const FrameSettings& settings) {
    std::lock_guard lock(m_mutex);
    // The area size and the counts have setters of their own.
    const int width = m_settings.width, height = m_settings.height;
    const int xCount = m_settings.xCount, yCount = m_settings.yCount;
    m_settings = settings;
    m_settings.width = width;
    m_settings.height = height;
    m_settings.xCount = xCount;
    m_settings.yCount = yCount;
}

void SharedImage::setAreaSize(int width, int height) {
    std::lock_guard lock(m_mutex);
    m_settings.width = std::max(width, 0);
    m_settings.height = std::max(height, 0);
}

void SharedImage::setCounts(int yCount, int xCount) {
    std::lock_guard lock(m_mutex);
    // The grids hold 90 lines; nothing past them is ever indexed.
    m_settings.yCount = clampChannels(yCount);
    m_settings.xCount = clampChannels(xCount);
}

FrameSettings SharedImage::settings() const {
    std::lock_guard lock(m_mutex);
    return m_settings;
}

ImageGrids SharedImage::grids() const {
    std::lock_guard lock(m_mutex);
    return m_grids;
}

void SharedImage::snapshot(FrameSettings* settings, ImageGrid* grid) const {
    std::lock_guard lock(m_mutex);
    *settings = m_settings;
    *grid = m_settings.displayMode == kCleanDataView ? m_grids.ad : m_grids.adLevel;
}

// ---- ImageDrawWorker ------------------------------------------------------------

ImageDrawWorker::ImageDrawWorker(const SharedImage& shared,
                                 const std::atomic<int32_t>& activePage, FrameReady frameReady)
    : m_shared(shared),
      m_activePage(activePage),
      m_frameReady(std::move(frameReady)),
      m_thread([this] { return step(); },
               [] {
                   host::trace(QStringLiteral(" DrawImageThread:ThreadExit:Quit)\n"));
                   host::trace(QStringLiteral(" DrawImageThread:ThreadExit\n"));
               }) {}

ImageDrawWorker::~ImageDrawWorker() {
    requestQuit();
    join();
}

void ImageDrawWorker::resume() { m_thread.start(); }

void ImageDrawWorker::requestQuit() { m_thread.requestQuit(); }

void ImageDrawWorker::join() { m_thread.join(); }

// Draws while the image page is the active page; otherwise sleeps long, and
// the quit flag cuts that sleep short.
int ImageDrawWorker::step() {
    if (m_activePage.load() != kImagePages) return kIdlePeriodMs;
    drawFrame();
    return kActivePeriodMs;
}

void ImageDrawWorker::drawFrame() {
    FrameSettings settings;
    m_shared.snapshot(&settings, &m_grid);
    const CellGeometry geometry{settings.width, settings.height, settings.xCount,
                                settings.yCount};
    // A count of 0 (no stream) or an area not laid out yet: nothing to draw.
    if (!geometry.drawable()) return;
    if (m_frame.size() != QSize(geometry.width, geometry.height))
        m_frame = ImageRenderer::makeFrame(geometry.width, geometry.height);
    if (settings.displayMode == kCleanDataView)
        m_renderer.renderCleanData(m_frame, m_grid, m_work, geometry, settings.clean);
    else
        m_renderer.renderAdLevel(m_frame, m_grid, geometry, settings.highlightLimit);
    ++m_frames;
    if (m_frameReady) m_frameReady(m_frame);
}

}  // namespace lumora::image
