// The "Draw Test" page's own rules (Osprey class, type code 4): 12 contact
// slots, pens, how each report form moves the points and what it draws, the
// contact information texts, the test grid and the key places.
#pragma once

#include <QColor>
#include <QSize>
#include <QString>
#include <vector>

#include "tuner/draw/contact_model.h"
#include "tuner/draw/grid.h"

namespace lumora::draw::osprey {

constexpr int kSlots = 12;
// Coordinates run from 0 to 2047. The single-contact form is scaled by
// 2047, the multi-contact form by 2048.
constexpr int kSingleScale = 2047;
constexpr int kMultiScale = 2048;
constexpr int kKeyPlaces = 10;

inline const QColor kEdgeColour(139, 121, 94);

// Single-contact form: by id modulo 4, red, green, teal, orange.
QColor singleColour(int id);
// Multi-contact form: one pen per id 0..11.
QColor multiColour(int id);

// The track redraw of the single-contact form, over every slot.
void redrawTracks(const ContactTable& table, int drawMode, std::vector<Mark>& out);

// A single-contact report moves the contact's points with a track redraw
// between the moves: a touch after an empty current point starts a new
// track; a lift draws the last segment, then the lift mark, and empties the
// contact. With `rows`, the contact information of the last redraw goes
// there (a lifted contact's "ID n : 0").
void stepSingleContact(ContactTable& table, const TouchRecord& record, int drawMode,
                       std::vector<Mark>& out, std::vector<QString>* rows = nullptr);

// A multi-contact record draws directly: a touch-down circle, a line or
// dot, or a lift circle at the previous point.
void stepMultiContact(ContactTable& table, const TouchRecord& record, int drawMode,
                      std::vector<Mark>& out);

// The page's contact information, one row per id (empty for none):
// "ID %d : %03d Hz ( %4d, %4d, %4d ) - %d, %d, %d" or, after a lift, "ID %d : 0".
QString infoRow(int id, const ContactSlot& slot);
std::vector<QString> infoRows(const ContactTable& table);
constexpr int kInfoFirstTop = 10;
constexpr int kInfoPitch = 36;

// The full-screen window's line of an id, with the touching state as its
// last value.
QString fullScreenRow(int id, const ContactSlot& slot);

GridGeometry grid(QSize size, const GridSettings& settings);

// Key i (0..9) at x = (i + 1) * width / 11, mid-height.
QPoint keyCentre(int key, QSize strip);

}  // namespace lumora::draw::osprey
