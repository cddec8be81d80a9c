// The "Image" frame of the image pages: shows the last finished frame of a
// drawing worker 1:1 and tells its page the drawing area whenever it is
// resized.
#pragma once

#include <QFrame>
#include <QImage>
#include <QSize>

namespace lumora::image {

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
