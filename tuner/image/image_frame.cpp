#include "tuner/image/image_frame.h"

#include <QPainter>
#include <QRegion>
#include <utility>

namespace lumora::image {

ImageFrame::ImageFrame(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("Image"));
    setFrameStyle(QFrame::Box | QFrame::Plain);
    // Room for 90 cells of about 9 x 5 pixels and their value texts.
    setMinimumSize(792, 448);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setFocusPolicy(Qt::ClickFocus);
}

void ImageFrame::setFrame(const QImage& frame) {
    m_frame = frame;
    update();
}

void FrameSlot::put(const QImage& frame) {
    QImage copy = frame.copy();
    std::lock_guard lock(m_mutex);
    m_frame = std::move(copy);
}

QImage FrameSlot::take() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_frame, QImage());
}

void FrameSlot::clear() {
    std::lock_guard lock(m_mutex);
    m_frame = QImage();
}

void paintFrame(QPainter& painter, const QRect& area, const QImage& frame) {
    const QRegion uncovered = QRegion(area).subtracted(QRect(area.topLeft(), frame.size()));
    for (const QRect& r : uncovered) painter.fillRect(r, Qt::black);
    if (!frame.isNull()) painter.drawImage(area.topLeft(), frame);
}

void ImageFrame::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    paintFrame(painter, contentsRect(), m_frame);
}

void ImageFrame::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    emit areaResized(areaSize());
}

}  // namespace lumora::image
