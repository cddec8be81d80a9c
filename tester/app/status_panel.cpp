#include "tester/app/status_panel.h"

#include <QFont>
#include <QPainter>

#include "tester/app/link_rules.h"

namespace lumora::tester {

namespace {

const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);
const QColor kGreen(0, 128, 0);
const QColor kTeal(0, 128, 128);

QString waitText(int step) {
    switch (step) {
    case 0: return QStringLiteral("Wait T1 Test");
    case 1: return QStringLiteral("Wait T1-2 Test");
    case 2: return QStringLiteral("Wait T1-3 Test");
    case 3: return QStringLiteral("Wait T1-4 Test");
    case 4: return QStringLiteral("Wait T2 Test");
    default: return QString();
    }
}

QFont panelFont(int pixels) {
    QFont font(QString::fromLatin1(panelFontFamily()));
    font.setPixelSize(pixels);
    font.setBold(true);
    return font;
}

}  // namespace

StatusPanelLook statusPanelLook(const StatusPanelState& s) {
    if (s.countdown > 0 && s.controllerOpen)
        return {kBlue, QStringLiteral(" %1 ").arg(s.countdown), false};
    if (!s.runInProgress) {
        if (s.controllerOpen && !isBootLoaderCode(s.typeCode)) return {kBlue, waitText(s.step)};
        return {kRed, QStringLiteral(" NO LINK ")};
    }
    if (s.runFinished)
        return s.verdict ? StatusPanelLook{kGreen, QStringLiteral(" PASS ")}
                         : StatusPanelLook{kRed, QStringLiteral(" FAIL ")};
    if (s.connectorMode) {
        if (s.step == 0) return {kBlue, QStringLiteral("Wait T1 Test")};
        if (s.step == 2) return {kBlue, QStringLiteral("Wait T2 Test")};
        return {kBlue, QStringLiteral("DON'T TOUCH")};
    }
    return {kBlue, waitText(s.step)};
}

QImage renderStatusPanel(const StatusPanelLook& look, const QSize& size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(look.colour);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const int w = size.width(), h = size.height();

    painter.setPen(Qt::white);
    painter.setFont(panelFont(60));
    const int top = h * 30 / 100;
    painter.drawText(QRect(0, top, w, h - top), Qt::AlignCenter | Qt::TextSingleLine, look.text);

    if (look.controllerModeLine) {
        painter.setPen(kTeal);
        painter.setFont(panelFont(30));
        painter.drawText(QRect(0, 0, w, h * 40 / 100), Qt::AlignCenter | Qt::TextSingleLine,
                         QStringLiteral(" Controller Mode "));
    }
    return image;
}

}  // namespace lumora::tester
