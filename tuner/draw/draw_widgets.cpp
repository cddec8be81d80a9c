#include "tuner/draw/draw_widgets.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

#include "tuner/draw/track_render.h"

namespace lumora::draw {

RepaintClock& RepaintClock::instance() {
    // Made on first use, on the GUI thread, and alive until the process ends.
    static RepaintClock* clock = new RepaintClock;
    return *clock;
}

RepaintClock::RepaintClock() {
    m_timer.setSingleShot(true);
    m_timer.setInterval(kRepaintMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
}

void RepaintClock::request(QWidget* widget, const QRegion& region) {
    if (!widget || region.isEmpty()) return;
    auto it = std::find_if(m_pending.begin(), m_pending.end(),
                           [widget](const auto& p) { return p.first == widget; });
    if (it == m_pending.end())
        m_pending.emplace_back(widget, region);
    else
        it->second += region;
    if (!m_timer.isActive()) m_timer.start();
}

void RepaintClock::tick() {
    const auto pending = std::move(m_pending);
    m_pending.clear();
    // All in one pass of the event loop: Qt paints them in one go.
    for (const auto& [widget, region] : pending)
        if (widget) widget->update(region);
}

SurfaceView::SurfaceView(QSize minimum, QWidget* parent)
    : QWidget(parent), m_surface(minimum, QImage::Format_RGB32) {
    setMinimumSize(minimum);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    // The surface covers every pixel: nothing behind it needs painting.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_surface.fill(Qt::white);
}

void SurfaceView::changed(const QRect& rect) { RepaintClock::instance().request(this, rect); }

void SurfaceView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    for (const QRect& r : event->region()) painter.drawImage(r.topLeft(), m_surface, r);
    paintOverlay(painter, event->rect());
}

void SurfaceView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (size() == m_surface.size()) return;
    m_surface = QImage(size(), QImage::Format_RGB32);
    m_surface.fill(Qt::white);
    emit surfaceReset(size());
    update();
}

InfoView::InfoView(QSize minimum, int firstTop, int pitch, const QFont& font, QWidget* parent)
    : QWidget(parent), m_firstTop(firstTop), m_pitch(pitch), m_font(font) {
    setMinimumSize(minimum);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void InfoView::refresh() { RepaintClock::instance().request(this, rect()); }

void InfoView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawInfoRows(painter, rect(), rows(), m_firstTop, m_pitch, m_font);
}

}  // namespace lumora::draw
