#include "tuner/image/image_frame.h"

#include <QPainter>

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

void ImageFrame::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.fillRect(area, Qt::black);
    if (!m_frame.isNull()) painter.drawImage(area.topLeft(), m_frame);
}

void ImageFrame::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    emit areaResized(areaSize());
}

}  // namespace lumora::image
