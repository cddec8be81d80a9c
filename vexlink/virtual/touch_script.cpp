#include "vexlink/virtual/touch_script.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "vexlink/protocol.h"

namespace vexlink::virt {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Later fingers of a one-finger path follow the first at this distance in time.
constexpr int64_t kFollowerLagMs = 150;
// A frame more than this late starts the schedule anew instead of catching up.
constexpr double kMaxCatchUpMs = 50;

bool wholeNumber(const std::string& text, int lo, int hi, int* out) {
    if (text.empty() || text.size() > 5) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    const int v = std::atoi(text.c_str());
    if (v < lo || v > hi) return false;
    *out = v;
    return true;
}

std::string lowered(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Position in a repeating cycle of `periodMs`, never negative.
int64_t phase(int64_t ms, int64_t periodMs) {
    const int64_t p = ms % periodMs;
    return p < 0 ? p + periodMs : p;
}

ScriptedFinger between(double x0, double y0, double x1, double y1, double u) {
    return {true, x0 + (x1 - x0) * u, y0 + (y1 - y0) * u};
}

// Strokes of a line-drawing test: both diagonals, then the middle lines,
// each drawn in 1.6 s with a slight wobble across the line, 0.4 s lifted
// between them.
ScriptedFinger linePath(int64_t ms) {
    constexpr int64_t kStroke = 2000, kDown = 1600;
    const int64_t in = phase(ms, 4 * kStroke);
    const int stroke = static_cast<int>(in / kStroke);
    const int64_t t = in % kStroke;
    if (t >= kDown) return {};
    const double u = static_cast<double>(t) / kDown;
    const double wobble = 0.006 * std::sin(2 * kPi * 3 * u);
    switch (stroke) {
    case 0: return between(0.05, 0.05 + wobble, 0.95, 0.95 + wobble, u);
    case 1: return between(0.95, 0.05 + wobble, 0.05, 0.95 + wobble, u);
    case 2: return between(0.05, 0.5 + wobble, 0.95, 0.5 + wobble, u);
    default: return between(0.5 + wobble, 0.05, 0.5 + wobble, 0.95, u);
    }
}

// One circle round the centre in 2.4 s, then 0.4 s lifted.
ScriptedFinger circlePath(int64_t ms) {
    constexpr int64_t kCycle = 2800, kDown = 2400;
    const int64_t t = phase(ms, kCycle);
    if (t >= kDown) return {};
    const double a = 2 * kPi * static_cast<double>(t) / kDown;
    return {true, 0.5 + 0.35 * std::cos(a), 0.5 + 0.35 * std::sin(a)};
}

// Along the four edges from corner to corner: every point has a
// coordinate of exactly 0 or 1, touch-down and lift happen at corners.
ScriptedFinger edgePath(int64_t ms) {
    constexpr int64_t kStroke = 1500, kDown = 1200;
    static constexpr double kCorner[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    const int64_t in = phase(ms, 4 * kStroke);
    const int stroke = static_cast<int>(in / kStroke);
    const int64_t t = in % kStroke;
    if (t >= kDown) return {};
    const double* from = kCorner[stroke];
    const double* to = kCorner[(stroke + 1) % 4];
    // The last sample of a stroke lands on the corner itself.
    const double u = std::min(1.0, static_cast<double>(t) / (kDown - kDown / 8));
    return between(from[0], from[1], to[0], to[1], u);
}

// Finger k of n circles in a cell of its own (cells laid out wider than
// high, as panels are) at a speed of its own, and lifts for 0.4 s of every
// 3 s at a time of its own, so touch-downs and lifts of different contacts
// interleave.
ScriptedFinger multiPath(int64_t ms, int k, int n) {
    const int cols = std::max(1, static_cast<int>(std::ceil(std::sqrt(n * 1.6))));
    const int rows = (n + cols - 1) / cols;
    constexpr int64_t kCycle = 3000, kDown = 2600;
    if (phase(ms + k * 211, kCycle) >= kDown) return {};
    const double cx = (k % cols + 0.5) / cols, cy = (k / cols + 0.5) / rows;
    const double period = 1800.0 + 97.0 * k;
    const double a = 2 * kPi * (static_cast<double>(ms) / period + 0.13 * k);
    return {true, cx + 0.3 / cols * std::cos(a), cy + 0.3 / rows * std::sin(a)};
}

}  // namespace

bool isTouchOption(const std::string& key) {
    return key == "touch" || key == "contacts" || key == "rate" || key == "form" ||
           key == "gesture" || key == "keys";
}

std::string parseTouchOption(const std::string& key, const std::string& rawValue,
                             TouchOptions* o) {
    const std::string value = lowered(rawValue);
    int v = 0;
    if (key == "touch") {
        static const struct {
            const char* name;
            TouchPath path;
        } kPaths[] = {{"figure", TouchPath::kFigure}, {"line", TouchPath::kLine},
                      {"circle", TouchPath::kCircle}, {"multi", TouchPath::kMulti},
                      {"edges", TouchPath::kEdges}};
        for (const auto& p : kPaths)
            if (value == p.name) {
                o->path = p.path;
                return {};
            }
        return "figure, line, circle, multi or edges";
    }
    if (key == "contacts") {
        if (!wholeNumber(value, 1, kMaxScriptContacts, &v)) return "1 to 32 contacts";
        o->contacts = v;
        return {};
    }
    if (key == "rate") {
        if (!wholeNumber(value, 1, 1000, &v)) return "1 to 1000 reports per second";
        o->rate = v;
        return {};
    }
    if (key == "form") {
        if (value == "single") o->form = TouchForm::kSingle;
        else if (value == "multi") o->form = TouchForm::kMulti;
        else return "single or multi";
        return {};
    }
    if (key == "gesture") {
        // A bare "gesture" switches it on, as "badcrc" does.
        if (value.empty() || value == "1") o->gestures = true;
        else if (value == "0") o->gestures = false;
        else return "0 or 1";
        return {};
    }
    if (key == "keys") {
        if (!wholeNumber(value, 0, 10, &v)) return "0 to 10 keys";
        o->keys = v;
        return {};
    }
    return "a touch option";
}

int scriptContacts(const TouchOptions& o) {
    if (o.contacts > 0) return std::min(o.contacts, kMaxScriptContacts);
    return o.path == TouchPath::kMulti ? 10 : 1;
}

ScriptedFinger scriptedFinger(const TouchOptions& o, const Panel& p, int k, int n, int64_t ms) {
    if (!p.finger || !p.attached || p.xCount <= 0 || p.yCount <= 0) return {};
    const int64_t at = ms - k * kFollowerLagMs;
    switch (o.path) {
    case TouchPath::kFigure: {
        // The finger of the signal model, so that the touch reports agree
        // with the channel data and the node images.
        const FingerState f = fingerAt(p, at);
        if (!f.touching) return {};
        return {true, p.xCount > 1 ? f.x / (p.xCount - 1) : 0, p.yCount > 1 ? f.y / (p.yCount - 1) : 0};
    }
    case TouchPath::kLine: return linePath(at);
    case TouchPath::kCircle: return circlePath(at);
    case TouchPath::kEdges: return edgePath(at);
    case TouchPath::kMulti: return multiPath(ms, k, n);
    }
    return {};
}

uint16_t scriptedPressure(int id, int64_t ms) {
    if (id != 31) return 300;
    const double s = std::sin(2 * kPi * static_cast<double>(phase(ms, 3000)) / 3000.0);
    return static_cast<uint16_t>(120 + std::lround(100 * s));
}

Report gestureReport(uint8_t reportId, bool active) {
    Report r{};
    r[0] = reportId;
    r[1] = 3;  // payload: byte 4
    r[2] = 0x36;
    r[3] = 0x30;
    r[4] = active ? 1 : 0;
    return r;
}

int TouchScript::frame(std::vector<Report>& out, const Panel& p, const DeviceClass& b, int64_t ms,
                       uint8_t reportId, bool filterDisabled, bool output) {
    // A touch-key report whenever the pressed key changes.
    const int keys = m_options.keys >= 0 ? m_options.keys : b.vkGroup1 + b.vkGroup2;
    const int key = pressedKeyAt(p, ms, keys);
    if (key != m_lastKey && output)
        out.push_back(touchKeyReport(reportId, key >= 0, key >= 0 ? key : m_lastKey));
    m_lastKey = key;

    // A gesture for one second of every four.
    const bool gesture = m_options.gestures && p.attached && phase(ms, 4000) >= 2000 &&
                         phase(ms, 4000) < 3000;
    if (gesture != m_gesture && output) out.push_back(gestureReport(reportId, gesture));
    m_gesture = gesture;

    std::vector<Touch> touches;
    const int n = scriptContacts(m_options);
    for (int k = 0; k < n; ++k) {
        const ScriptedFinger f = scriptedFinger(m_options, p, k, n, ms);
        Contact& c = m_contacts[static_cast<size_t>(k)];
        const bool wasTouching = c.touching;
        c.touching = f.touching;
        if (!f.touching && !wasTouching) continue;
        Touch t;
        if (f.touching) {
            t.id = static_cast<uint8_t>(k);
            t.touching = true;
            t.x = static_cast<uint16_t>(std::clamp(f.x, 0.0, 1.0) * b.touchMax);
            t.y = static_cast<uint16_t>(std::clamp(f.y, 0.0, 1.0) * b.touchMax);
            t.pressure = scriptedPressure(k, ms);
            // Channel coordinates in hundredths, as the firmware's own
            // position before scaling.
            t.auxA = static_cast<uint16_t>(std::clamp(f.x, 0.0, 1.0) * std::max(p.xCount - 1, 0) * 100);
            t.auxB = static_cast<uint16_t>(std::clamp(f.y, 0.0, 1.0) * std::max(p.yCount - 1, 0) * 100);
            c.last = t;
        } else {
            // One lift report at the last touching position.
            t = c.last;
            t.touching = false;
            t.pressure = 0;
        }
        t.extra = filterDisabled ? 1 : 0;
        touches.push_back(t);
    }
    if (output && !touches.empty()) {
        const bool multi = m_options.form == TouchForm::kMulti ||
                           (m_options.form == TouchForm::kClass && b.multiTouch);
        if (multi) {
            // Five records fill a report.
            for (size_t i = 0; i < touches.size(); i += 5) {
                const auto first = touches.begin() + static_cast<long>(i);
                const auto last = touches.begin() + static_cast<long>(std::min(touches.size(), i + 5));
                out.push_back(multiTouchReport(reportId, 0x13, std::vector<Touch>(first, last)));
            }
        } else {
            for (const Touch& t : touches) out.push_back(touchReport(reportId, 0x13, t));
        }
    }

    // Keep to the rate on average: the next frame is due one period after
    // this one was due, not after it ran.
    const double period = 1000.0 / (m_options.rate > 0 ? m_options.rate : kDefaultTouchRate);
    const double now = static_cast<double>(ms);
    if (m_dueMs < 0 || now - m_dueMs > kMaxCatchUpMs || m_dueMs - now > period) m_dueMs = now;
    m_dueMs += period;
    return std::max(1, static_cast<int>(std::ceil(m_dueMs - now)));
}

}  // namespace vexlink::virt
