// The raw-point stream of a virtual controller: fingers that follow a
// scripted path, their touch reports in the single- or multi-contact form,
// touch-key reports and gesture reports, at the report rate the options ask
// for. The firmware calls frame() from its device thread, under its lock.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "vexlink/virtual/device_class.h"
#include "vexlink/virtual/packets.h"
#include "vexlink/virtual/signal_model.h"
#include "vexlink/virtual/touch_options.h"

namespace vexlink::virt {

// Contact ids run from 0 to 31: as many as the largest controller reports.
constexpr int kMaxScriptContacts = 32;
constexpr int kDefaultTouchRate = 125;  // reports per second: one every 8 ms

// Where finger `finger` (of `fingers`) of a script is at time ms: panel
// units, 0..1 on both axes (0 and 1 are the edges), or not touching.
struct ScriptedFinger {
    bool touching = false;
    double x = 0;
    double y = 0;
};
ScriptedFinger scriptedFinger(const TouchOptions& options, const Panel& panel, int finger,
                              int fingers, int64_t ms);

// The number of fingers a script moves.
int scriptContacts(const TouchOptions& options);

// The pressure a contact reports while touching. Contact 31 presses
// harder and softer in turn (20..220 over 3 s), so that a host that draws
// its lines by pressure shows it; the others press evenly.
uint16_t scriptedPressure(int id, int64_t ms);

// Gesture report 0x36 / 0x30: byte 4 is 1 while a gesture is active, 0 when it ends.
Report gestureReport(uint8_t reportId, bool active);

class TouchScript {
public:
    explicit TouchScript(const TouchOptions& options = {}) : m_options(options) {}

    // Appends the reports of the frame at time ms: a touch-key report when
    // the pressed key changed, a gesture report when the gesture state
    // changed, and the touch reports of every touching contact plus one lift
    // report for each contact that has just lifted. With `output` false the
    // fingers move on but nothing is sent. Returns the milliseconds until
    // the next frame; frames keep to the report rate on average, however
    // late the device thread wakes.
    int frame(std::vector<Report>& out, const Panel& panel, const DeviceClass& cls, int64_t ms,
              uint8_t reportId, bool filterDisabled, bool output);

private:
    struct Contact {
        bool touching = false;
        Touch last;  // the last touching report, for the lift report
    };

    TouchOptions m_options;
    std::array<Contact, kMaxScriptContacts> m_contacts{};
    int m_lastKey = -1;      // the key last reported pressed
    bool m_gesture = false;  // the gesture state last reported
    double m_dueMs = -1;     // when the next frame is due
};

}  // namespace vexlink::virt
