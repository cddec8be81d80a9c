// The "AP Status" panel of the test page: one large word on a state colour.
// Choosing what it shows and drawing it are plain functions; the page only
// calls them every 200 ms and copies the picture to the screen in one step.
#pragma once

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

namespace lumora::tester {

// What the panel looks at.
struct StatusPanelState {
    int countdown = 0;          // AutoRun seconds left
    bool controllerOpen = false;
    int typeCode = 0;
    bool runInProgress = false;
    bool runFinished = false;
    int verdict = 0;            // 1 pass
    int step = 0;
    int connectorMode = 0;
};

struct StatusPanelLook {
    QColor colour;
    QString text;
    bool controllerModeLine = true;  // " Controller Mode " above the text
};

StatusPanelLook statusPanelLook(const StatusPanelState& state);

// Draws the panel: the whole area in the state colour, the text in white
// (60 px bold) centred in the band from 30 % of the height to the bottom, and
// " Controller Mode " in teal (30 px bold) centred in the band from the top
// to 40 % of the height.
QImage renderStatusPanel(const StatusPanelLook& look, const QSize& size);

// The family standing in for Arial, with the same metrics.
inline const char* panelFontFamily() { return "Liberation Sans"; }

}  // namespace lumora::tester
