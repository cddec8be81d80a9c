// The "Finch Draw Test" page's own rules (Heron class, type codes 6 and 8):
// 32 contact slots, the pens with their edge, bit-7 and pressure variants,
// what a multi-contact record draws, the contact information, the test
// grid, the test line with the offset distance, and the key places.
#pragma once

#include <QColor>
#include <QSize>
#include <QString>
#include <vector>

#include "tuner/draw/contact_model.h"
#include "tuner/draw/grid.h"

namespace lumora::draw::finch {

constexpr int kSlots = 32;
// Coordinates run from 0 to 4095; the drawing scale is 4095.
constexpr int kScale = 4095;
constexpr int kKeyPlaces = 6;
// Id 31 draws with a pen whose width follows its pressure.
constexpr int kPressureId = 31;
constexpr int kPenBase = 70;
constexpr int kPenStep = 10;

inline const QColor kEdgeColour(139, 121, 94);
inline const QColor kBit7Colour(121, 205, 205);

// The pen colour of an id: ids 0..11 their own twelve colours; ids 12..30
// have none of their own and take the colours again in the same order
// (id 12 as id 0, id 13 as id 1 ...), so every track stays visible and
// neighbouring ids differ; id 31 draws in black.
QColor idColour(int id);

// Width of id 31's pen at pressure p: (p - 70) / 10 + 1 from the pen base
// up, p / 10 + 1 below it.
int pressurePenWidth(int pressure);

// X or Y outside 1..4094: the contact is at the edge of the panel.
bool atEdge(int x, int y);

// One record's point moves and marks. Id 31's report keeps its pressure
// less the pen base when it reaches it.
void stepRecord(ContactTable& table, const TouchRecord& record, int drawMode,
                std::vector<Mark>& out);

// The contact information, one row per id (empty for none), 12 pixels
// apart from y = 8: "%d: %03dHz (%4d, %4d, %4d)- %d", or once the contact
// has lifted, the same with the rate shown as "000Hz".
QString infoRow(int id, const ContactSlot& slot);
std::vector<QString> infoRows(const ContactTable& table);
constexpr int kInfoFirstTop = 8;
constexpr int kInfoPitch = 12;

GridGeometry grid(QSize size, const GridSettings& settings);

// The test line of the full-screen test: from the top-left to the
// bottom-right corner of the surface, y = G * x with G = H / W in single
// precision.
struct TestLine {
    float g = 0;
};
TestLine testLineFor(QSize surface);

// The distance in millimetres of a reported point from the test line: the
// point in millimetres is x = (X * "X") >> 11, y = (Y * "Y") >> 11 (unsigned,
// a division by 2048), and the distance |G x - y| / sqrt(G^2 + 1).
float offsetDistance(int x, int y, const GridSettings& settings, TestLine line);

// Key i (0..5) at x = (i + 1) * width / 7, mid-height.
QPoint keyCentre(int key, QSize strip);
constexpr int kKeyCoverRadius = 23;

}  // namespace lumora::draw::finch
