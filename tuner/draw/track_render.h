// Drawing on the off-screen surfaces of the draw test pages: the marks of
// touch reports, the gesture circle, touch keys and the rows of contact
// information. Each function takes an image (or a painter) and data, so a
// test can draw and look at the pixels.
#pragma once

#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>
#include <vector>

#include "tuner/draw/contact_model.h"

class QPainter;

namespace lumora::draw {

// Report coordinates to pixels: x = X * width / divisor, y = Y * height / divisor.
QPoint toSurface(QPoint report, QSize size, int divisor);

// Draws the marks and returns the rectangle of pixels they touched (empty
// for none), for the screen copy of just that part.
QRect drawMarks(QImage& surface, const std::vector<Mark>& marks, int divisor);

// The gesture display at the centre of the drawing area, radius 70: active,
// a 12-pixel orange outline with "Gesture!" in it; not active, the same
// place painted over in white. Returns the rectangle touched.
QRect drawGesture(QImage& surface, bool active);

// The key strip cleared to white with a black frame.
void clearKeyStrip(QImage& strip);
// A pressed key: a green filled circle of radius 20 with `number` centred
// in it; with `outlined`, a green outline of width 2 round it.
void drawPressedKey(QImage& strip, QPoint centre, int number, bool outlined);

// Rows of text on a white background, row i with its top at firstTop + i * pitch.
void drawInfoRows(QPainter& painter, const QRect& area, const std::vector<QString>& rows,
                  int firstTop, int pitch, const QFont& font);

inline const QColor kKeyGreen(102, 205, 0);
inline const QColor kGestureOrange(255, 127, 0);
inline const QColor kGestureText(255, 185, 15);
constexpr int kGestureRadius = 70;

}  // namespace lumora::draw
