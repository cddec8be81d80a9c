#include "tuner/draw/full_screen.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

#include "device/packet.h"
#include "tuner/draw/touch_report.h"
#include "tuner/draw/track_render.h"

namespace lumora::draw {

namespace {

// The report rates: the title, then one line per active id.
constexpr int kRatesLeft = 10;
constexpr int kRatesTop = 10;
constexpr int kRatesLine = 16;
constexpr int kRatesWidth = 520;
constexpr int kMaxRateLines = 32;

bool insideAny(const std::vector<QRect>& zones, QPoint p) {
    for (const QRect& z : zones)
        if (z.contains(p)) return true;
    return false;
}

}  // namespace

FullScreenWindow::FullScreenWindow(VexHandle controller, QWidget* owner)
    : SurfaceView(QSize(320, 240), owner), m_controller(controller) {
    // A window of its own even though the page owns it.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowTitle(QStringLiteral("PCAP_RawPoint"));
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(1, 1);
    setCursor(Qt::CrossCursor);
    m_packets.setHandler(
        [this](uint32_t message, const VexPacket& packet) { handlePacket(message, packet); });
    connect(this, &SurfaceView::surfaceReset, this, [this] { drawTestGrid(); });
}

FullScreenWindow::~FullScreenWindow() { m_packets.unregisterAll(); }

void FullScreenWindow::start() {
    const QWidget* owner = parentWidget();
    QScreen* screen = owner && owner->screen() ? owner->screen() : QGuiApplication::primaryScreen();
    if (screen) setGeometry(screen->geometry());
    show();
    activateWindow();
    setFocus();
    m_packets.registerPacket(m_controller, kEndPacketId, kStreamMessage);
    m_packets.registerSubPacket(m_controller, kTouchPacketId, kTouchSubId, kTouchMessage);
    m_packets.registerSubPacket(m_controller, kTouchPacketId, kGestureSubId, kTouchMessage);
    drawTestGrid();
}

void FullScreenWindow::end() {
    if (m_ended) return;
    m_ended = true;
    m_packets.unregisterAll();
    hide();
    emit finished();
}

void FullScreenWindow::drawTestGrid() {
    drawGridOn(surface());
    changedAll();
}

void FullScreenWindow::handlePacket(uint32_t message, const VexPacket& packet) {
    if (m_ended) return;
    const uint8_t* p = packet.bytes;
    if (message == kStreamMessage) {
        if (isEndPacket(p)) end();
        return;
    }
    if (message != kTouchMessage || p[2] != kTouchPacketId) return;
    if (p[3] == kGestureSubId)
        changed(drawGesture(surface(), gestureActive(p)));
    else if (p[3] == kTouchSubId)
        handleTouch(packet);
}

bool FullScreenWindow::liftAt(QPoint pixel) {
    const Boxes b = boxes();
    if (b.quit.contains(pixel)) {
        end();
        return true;
    }
    if (b.clean.contains(pixel)) drawTestGrid();
    return false;
}

void FullScreenWindow::ratesChanged() { changed(ratesArea()); }

QRect FullScreenWindow::ratesArea() const {
    return QRect(kRatesLeft, kRatesTop, kRatesWidth, kRatesLine * (kMaxRateLines + 1) + 4);
}

void FullScreenWindow::paintOverlay(QPainter& painter, const QRect& exposed) {
    const Boxes b = boxes();
    painter.setFont(font());
    for (const auto& [box, caption] : {std::pair{b.clean, QStringLiteral("Clean")},
                                       std::pair{b.quit, QStringLiteral("Quit")}}) {
        if (!box.intersects(exposed)) continue;
        painter.setPen(Qt::black);
        painter.setBrush(Qt::white);
        painter.drawRect(box.adjusted(0, 0, -1, -1));
        painter.drawText(box, Qt::AlignCenter, caption);
    }
    if (!ratesArea().intersects(exposed)) return;
    std::vector<QString> lines{QStringLiteral("Report Rate:")};
    for (const QString& row : rateRows())
        if (!row.isEmpty() && lines.size() <= kMaxRateLines) lines.push_back(row);
    const QFontMetrics metrics(painter.font());
    painter.setPen(Qt::black);
    for (size_t i = 0; i < lines.size(); ++i) {
        const QRect line(kRatesLeft, kRatesTop + static_cast<int>(i) * kRatesLine,
                         metrics.horizontalAdvance(lines[i]) + 8, kRatesLine);
        painter.fillRect(line, Qt::white);
        painter.drawText(line.adjusted(4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, lines[i]);
    }
}

void FullScreenWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_F: end(); break;
    case Qt::Key_Space: drawTestGrid(); break;
    default: SurfaceView::keyPressEvent(event); return;
    }
    event->accept();
}

void FullScreenWindow::mouseReleaseEvent(QMouseEvent* event) {
    const Boxes b = boxes();
    if (!b.anyButton && event->button() != Qt::LeftButton) return;
    const QPoint at = event->position().toPoint();
    if (insideAny(b.quitZones, at))
        end();
    else if (insideAny(b.cleanZones, at))
        drawTestGrid();
}

void FullScreenWindow::closeEvent(QCloseEvent* event) {
    // Closed from outside (the window manager): end as by "Quit".
    end();
    SurfaceView::closeEvent(event);
}

}  // namespace lumora::draw
