// The full-screen drawing window of the draw test pages: a frameless
// top-level window of the screen's size on the GUI thread, with packet
// registrations of its own (0x3B with 0x602, 0x36 / 0x13 and 0x36 / 0x30
// with 0x601), the test grid, a "Clean" and a "Quit" box, the report rates,
// and its keys: Esc and f end it, space draws the grid again. The end
// packet ends it too. Each page adds how it draws touch reports.
#pragma once

#include <QRect>
#include <QString>
#include <vector>

#include "host/packet_window.h"
#include "tuner/draw/draw_widgets.h"

namespace lumora::draw {

class FullScreenWindow : public SurfaceView {
    Q_OBJECT
public:
    // The two boxes as drawn, and the places where a mouse release acts.
    struct Boxes {
        QRect clean;
        QRect quit;
        std::vector<QRect> cleanZones;
        std::vector<QRect> quitZones;
        bool anyButton = false;  // else the left button only
    };

    // `owner` is the page: the window belongs to it (it goes when the page
    // goes) but is a window of its own.
    FullScreenWindow(VexHandle controller, QWidget* owner);
    ~FullScreenWindow() override;

    // Takes the size of the owner's screen, shows itself, registers and
    // draws the grid.
    void start();
    // Ends the registrations and closes; emits finished() once.
    void end();
    bool hasEnded() const { return m_ended; }

    Boxes boxes() const { return boxesFor(size()); }

    // Draws the test grid (Clean box, space key, and at the start).
    void drawTestGrid();

    void handlePacket(uint32_t message, const VexPacket& packet);

signals:
    void finished();

protected:
    virtual Boxes boxesFor(QSize size) const = 0;
    virtual void drawGridOn(QImage& surface) = 0;
    virtual void handleTouch(const VexPacket& packet) = 0;
    // The report-rate lines under the title "Report Rate:".
    virtual std::vector<QString> rateRows() const = 0;

    // A lift at this pixel: inside the drawn "Clean" box the grid is drawn
    // again, inside the "Quit" box the window ends. True when it ended.
    bool liftAt(QPoint pixel);
    // The report rates changed: repaint their place soon.
    void ratesChanged();

    void paintOverlay(QPainter& painter, const QRect& exposed) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QRect ratesArea() const;

    VexHandle m_controller;
    host::PacketWindow m_packets;
    bool m_ended = false;
};

}  // namespace lumora::draw
