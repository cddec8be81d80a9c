// The widgets of the draw test pages: an area that shows an off-screen
// surface, and the contact information area.
//
// Reports draw into the surface on the GUI thread as they arrive; the screen
// gets only the parts that changed, copied at most once per paint. Repaints
// go through one clock for all these widgets: every kRepaintMs at most, the
// parts changed since the last tick are repainted together, so a tick costs
// one copy to the screen per window however many reports came and however
// many areas they changed.
#pragma once

#include <QFont>
#include <QImage>
#include <QPointer>
#include <QRegion>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

namespace lumora::draw {

// Also the period of the contact information: it is drawn at most this often.
constexpr int kRepaintMs = 20;

class RepaintClock : public QObject {
public:
    static RepaintClock& instance();
    // Repaints `region` of `widget` at the next tick.
    void request(QWidget* widget, const QRegion& region);

private:
    RepaintClock();
    void tick();

    QTimer m_timer;
    std::vector<std::pair<QPointer<QWidget>, QRegion>> m_pending;
};

class SurfaceView : public QWidget {
    Q_OBJECT
public:
    explicit SurfaceView(QSize minimum, QWidget* parent = nullptr);

    QImage& surface() { return m_surface; }
    const QImage& surface() const { return m_surface; }

    // After drawing into surface(): show that part at the next repaint.
    void changed(const QRect& rect);
    void changedAll() { changed(m_surface.rect()); }

signals:
    // The widget took a new size: the surface was made anew, white, at that size.
    void surfaceReset(QSize size);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Drawn over the surface at each paint (texts, boxes).
    virtual void paintOverlay(QPainter& painter, const QRect& exposed) {}

private:
    QImage m_surface;
};

// Rows of text on white, row i with its top at firstTop + i * pitch. The
// rows are asked for at paint time, at most every kRepaintMs.
class InfoView : public QWidget {
    Q_OBJECT
public:
    using Rows = std::function<std::vector<QString>()>;
    InfoView(QSize minimum, int firstTop, int pitch, const QFont& font, QWidget* parent = nullptr);

    void setRows(Rows rows) { m_rows = std::move(rows); }
    // The rows changed: repaint soon.
    void refresh();
    // What a paint shows now.
    std::vector<QString> rows() const { return m_rows ? m_rows() : std::vector<QString>{}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Rows m_rows;
    int m_firstTop;
    int m_pitch;
    QFont m_font;
};

}  // namespace lumora::draw
