// The "Image" frame of the image pages: shows the last finished frame of a
// drawing worker 1:1 and tells its page the drawing area whenever it is
// resized.
#pragma once

#include <QFrame>
#include <QImage>
#include <QSize>
#include <mutex>

class QPainter;

namespace lumora::image {

// Draws `frame` at the top left of `area` and fills the rest of the area
// black (all of it when there is no frame yet): a frame that covers the
// area costs no fill on every paint.
void paintFrame(QPainter& painter, const QRect& area, const QImage& frame);

// Hands a drawing worker's frames to the GUI thread: the worker puts each
// finished frame (a copy, since it draws the next one into the same
// buffer), a GUI-thread timer takes the newest, and no frame crosses
// threads without the lock.
class FrameSlot {
public:
    void put(const QImage& frame);
    // The newest frame put since the last take; null when there is none.
    QImage take();
    void clear();

private:
    std::mutex m_mutex;
    QImage m_frame;  // guarded by m_mutex
};

class ImageFrame : public QFrame {
    Q_OBJECT
public:
    explicit ImageFrame(QWidget* parent = nullptr);
    void setFrame(const QImage& frame);
    const QImage& frame() const { return m_frame; }
    QSize areaSize() const { return contentsRect().size(); }

signals:
    void areaResized(QSize size);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QImage m_frame;
};

}  // namespace lumora::image
