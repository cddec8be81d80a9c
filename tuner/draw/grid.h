// The line-drawing test grid both draw test pages draw with "Clean" and in
// their full-screen windows: dotted grey lines a finger should follow, with
// dotted pink tolerance bands on both sides, four target marks and a border.
// Each page computes its own geometry (osprey_style.h, finch_style.h); the
// drawing is shared.
#pragma once

#include <QColor>
#include <QImage>
#include <QLine>
#include <QRect>
#include <QString>
#include <array>
#include <vector>

namespace lumora::draw {

// The "X", "Y" and "D" fields: the screen's width and height in the unit of
// the tolerance distance D.
struct GridSettings {
    int gridX = 0;
    int gridY = 0;
    double distance = 0;
};

struct GridGeometry {
    std::vector<QLine> grey;  // the lines to follow
    std::vector<QLine> pink;  // their tolerance bands
    std::array<QPoint, 4> targets{};
    QColor borderColor;
};

inline const QColor kGridGrey(180, 180, 180);
inline const QColor kGridPink(255, 62, 150);

// "D" read as a decimal number: its leading number, with a point as the
// decimal separator whatever the locale; a text that starts with no number
// gives 0.
double parseDistance(const QString& text);

// "X" and "Y" read as whole numbers; a text that is none gives 0.
int parseGridSize(const QString& text);

// A pixel offset computed from the fields, cut to a whole number. The
// quotients before it (width / "X" and the like) are taken in real numbers:
// cut early, a 1920-pixel screen of 443 mm would lose a third of a pixel per
// millimetre and the bands would sit visibly off the tolerance. The
// fields are the user's: a huge or non-finite value is held to a range that
// no surface reaches instead of overflowing.
int toPixels(double value);

// Fills the surface white and draws the grid on it.
void drawGrid(QImage& surface, const GridGeometry& grid);

// The target marks: a square of +-10 pixels with an X in it, one near each
// corner of a w x h surface (a twentieth of the size in from its edges).
constexpr int kTargetHalfSide = 10;
std::array<QPoint, 4> cornerTargets(int w, int h);

// The centre of touch key `key` of `places` keys spread evenly along a strip.
QPoint keyCentre(int key, QSize strip, int places);

}  // namespace lumora::draw
