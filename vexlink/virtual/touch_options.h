// What a virtual controller's raw-point stream does, as the VEXLINK_DEVICES
// options of an entry describe it (docs/virtual-devices.md, "Touch reports").
// Kept apart from the script itself so that the device descriptions can
// carry it without knowing how the fingers move.
#pragma once

#include <cstdint>
#include <string>

namespace vexlink::virt {

// The paths the fingers trace.
enum class TouchPath : uint8_t {
    kFigure,  // one slow figure over the panel, lifting 0.8 s every 5 s (the default)
    kLine,    // strokes along both diagonals and the middle lines, as a line-drawing test
    kCircle,  // a circle round the centre of the panel
    kMulti,   // several fingers, each circling in its own cell of the panel
    kEdges,   // strokes along the four edges, from corner to corner (coordinates 0 and max)
};

// The form of the touch reports.
enum class TouchForm : uint8_t {
    kClass,   // the class's own: single-contact for Osprey, multi-contact for Heron
    kSingle,  // one single-contact report per contact (bit 7 of byte 4 set)
    kMulti,   // up to 5 records per report, the record count in byte 54
};

struct TouchOptions {
    TouchPath path = TouchPath::kFigure;
    int contacts = 0;   // fingers, 1..32; 0: the path's own count (multi: 10, others: 1)
    int rate = 0;       // reports per second of each contact, 1..1000; 0: 125
    TouchForm form = TouchForm::kClass;
    bool gestures = false;  // a gesture report now and then (packet 0x36 / 0x30)
    int keys = -1;      // touch keys that report presses; -1: the class's virtual keys
};

// Whether `key` is one of the touch options: touch, contacts, rate, form,
// gesture, keys.
bool isTouchOption(const std::string& key);

// Takes one touch option into *options. Returns an empty text on success,
// otherwise what the value should have been ("1 to 32 contacts").
std::string parseTouchOption(const std::string& key, const std::string& value,
                             TouchOptions* options);

}  // namespace vexlink::virt
