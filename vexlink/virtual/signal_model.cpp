#include "vexlink/virtual/signal_model.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>

namespace vexlink::virt {

namespace {

constexpr double kPi = 3.14159265358979323846;

// A small integer hash: deterministic noise without shared generator state.
uint32_t mix(uint32_t a, uint32_t b, uint32_t c) {
    uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u ^ (c + 0x165667B1u) * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

int count(const Panel& p, int axis) { return axis == 0 ? p.xCount : p.yCount; }

// Self-capacitance touch signal of one channel: a Gaussian around the finger.
int fingerSignal(const FingerState& f, int axis, int index) {
    if (!f.touching) return 0;
    const double d = index - (axis == 0 ? f.x : f.y);
    return static_cast<int>(900.0 * std::exp(-d * d / (2 * 1.2 * 1.2)));
}

int baseline(int axis, int index) { return 3000 + (index * 37 + axis * 11) % 120; }
int strayBase(int axis, int index) { return 180 + (index * 53 + axis * 7) % 60; }

// Stray drifts unevenly after a calibration, as a panel warms unevenly:
// most (twice the panel's drift count) around the channel three quarters
// along each axis, half of it far from there.
int strayDriftAt(const Panel& p, int axis, int index) {
    if (p.strayDrift <= 0) return 0;
    const int n = count(p, axis);
    const double d = index - 0.75 * (n - 1);
    const double weight = 0.5 + 1.5 * std::exp(-d * d / (2 * 1.5 * 1.5));
    return static_cast<int>(p.strayDrift * weight + 0.5);
}

}  // namespace

// Axes 0 and 1 are the channels of the series; a noisy channel there gets
// kNoisyAmplitude.
int noiseAt(const Panel& p, int axis, int index, int64_t ms, uint32_t salt) {
    const int amplitude = axis < 2 && p.isNoisy(axis == 1, index) ? kNoisyAmplitude : p.noise;
    if (amplitude <= 0) return 0;
    const uint32_t h = mix(p.seed + salt, static_cast<uint32_t>(axis * 1000 + index),
                           static_cast<uint32_t>(ms / 10));
    return static_cast<int>(h % static_cast<uint32_t>(2 * amplitude + 1)) - amplitude;
}

Panel panelFor(const DeviceSettings& s) {
    Panel p;
    p.xCount = s.xCount;
    p.yCount = s.yCount;
    p.noise = s.noise;
    p.finger = s.finger;
    p.fingerResting = s.fingerTx >= 0;
    p.restX = s.fingerTx;
    p.restY = s.fingerRx;
    p.unevenLine = s.unevenLine;
    p.attached = s.panelAttached;
    p.openChannels = s.openChannels;
    p.shortedChannels = s.shortedChannels;
    p.noisyChannels = s.noisyChannels;
    p.seed = static_cast<uint32_t>(std::hash<std::string>{}(s.entry));
    return p;
}

bool Panel::isOpen(bool yAxis, int index) const {
    return std::find(openChannels.begin(), openChannels.end(), ChannelRef{yAxis, index}) !=
           openChannels.end();
}

bool Panel::isNoisy(bool yAxis, int index) const {
    return !noisyChannels.empty() &&
           std::find(noisyChannels.begin(), noisyChannels.end(), ChannelRef{yAxis, index}) !=
               noisyChannels.end();
}

bool Panel::isShorted(bool yAxis, int index) const {
    for (const ChannelRef& c : shortedChannels)
        if (c.yAxis == yAxis && (c.index == index || c.index + 1 == index)) return true;
    return false;
}

FingerState fingerAt(const Panel& p, int64_t ms) {
    FingerState f;
    if (!p.finger || !p.attached || p.xCount <= 0 || p.yCount <= 0) return f;
    if (p.fingerResting) {
        f.touching = true;
        f.x = p.restX;
        f.y = p.restY;
        return f;
    }
    const int64_t inCycle = ms % 5000;
    if (inCycle >= 4200) return f;  // lifted
    const double t = static_cast<double>(ms) / 1000.0;
    f.touching = true;
    f.x = (0.5 + 0.4 * std::sin(2 * kPi * t / 6.0)) * (p.xCount - 1);
    f.y = (0.5 + 0.4 * std::sin(2 * kPi * t / 4.3 + 1.0)) * (p.yCount - 1);
    return f;
}

SeriesFrame seriesAt(const Panel& p, int64_t ms) {
    SeriesFrame s;
    const FingerState f = fingerAt(p, ms);
    for (int axis = 0; axis < 2; ++axis) {
        const int n = count(p, axis);
        for (auto* v : {&s.delta[axis], &s.raw[axis], &s.stray[axis], &s.dstray[axis],
                        &s.adLevel[axis], &s.penRaw[axis], &s.rawAlt[axis], &s.rawView[axis],
                        &s.noise[axis], &s.connector[axis]})
            v->assign(n, 0);
        for (int i = 0; i < n; ++i) {
            const bool open = p.isOpen(axis == 1, i);
            const int noise = noiseAt(p, axis, i, ms);
            // A broken trace sees neither the finger nor the panel.
            const int delta = open ? noise / 2 : fingerSignal(f, axis, i) + noise;
            // 0x4D is the stray the controller stored at its last calibration,
            // 0x4C the stray it measures now: the two lie close together,
            // and apart where the panel has drifted most since.
            const int calibrated = calibratedStrayValue(p, axis == 1, i);
            const int stray = systemStrayValue(p, axis == 1, i) + noiseAt(p, axis, i, ms, 7) / 3;
            s.delta[axis][i] = delta;
            s.stray[axis][i] = stray;
            s.dstray[axis][i] = calibrated;
            s.raw[axis][i] = baseline(axis, i) + stray - delta;
            s.rawAlt[axis][i] = s.raw[axis][i] + noiseAt(p, axis, i, ms, 3);
            s.rawView[axis][i] = delta;
            s.adLevel[axis][i] = adLevelValue(p, axis == 1, i) + noiseAt(p, axis, i, ms, 5) / 2;
            s.penRaw[axis][i] = noiseAt(p, axis, i, ms, 9);
            s.noise[axis][i] = std::abs(noiseAt(p, axis, i, ms, 11)) + p.noise / 2;
            // The connector sense level rises when the sensor's traces load the pins.
            s.connector[axis][i] = (p.attached && !open ? 820 : 210) + (i * 13) % 40 +
                                   noiseAt(p, axis, i, ms, 13) / 2;
        }
    }
    return s;
}

int pressedKeyAt(const Panel& p, int64_t ms, int keys) {
    // One key at a time is pressed for half a second, then 1 s of rest,
    // round the keys in turn.
    const int64_t slot = ms / 500;
    if (keys <= 0 || !p.attached || slot % 3 != 0) return -1;
    return static_cast<int>((slot / 3) % keys);
}

KeyFrame keysAt(const Panel& p, int64_t ms, int group1, int group2) {
    KeyFrame k;
    const int pressed = pressedKeyAt(p, ms, group1 + group2);
    for (int g = 0; g < 2; ++g) {
        const int n = g == 0 ? group1 : group2;
        for (int i = 0; i < n; ++i) {
            const int key = g == 0 ? i : group1 + i;
            const int noise = noiseAt(p, 2 + g, i, ms);
            const int delta = (key == pressed ? 2600 : 0) + noise;
            // Stray now and as stored at the last calibration, as for the channels.
            const int calibrated = 240 + 17 * i;
            const int stray = calibrated + p.strayDrift + noise / 3;
            k.data[g].push_back(delta);
            k.raw[g].push_back(3100 + 23 * i + stray - delta);
            k.stray[g].push_back(stray);
            k.dstray[g].push_back(calibrated);
        }
    }
    return k;
}

ImageFrame imageAt(const Panel& p, int64_t ms) {
    ImageFrame im;
    const int nx = std::max(p.xCount, 0), ny = std::max(p.yCount, 0);
    im.ad.assign(static_cast<size_t>(nx) * ny, 0);
    im.adLevel.assign(static_cast<size_t>(nx) * ny, 0);
    const FingerState f = fingerAt(p, ms);
    for (int r = 0; r < ny; ++r) {
        for (int c = 0; c < nx; ++c) {
            const bool dead = p.isOpen(false, c) || p.isOpen(true, r);
            int blob = 0;
            if (f.touching && !dead) {
                const double dx = c - f.x, dy = r - f.y;
                blob = static_cast<int>(2400.0 * std::exp(-(dx * dx + dy * dy) / (2 * 1.3 * 1.3)));
            }
            const size_t at = static_cast<size_t>(r) * nx + c;
            im.ad[at] = blob + noiseAt(p, 4, r * 128 + c, ms);
            // A noisy channel's noise shows along its whole line of nodes.
            if (p.isNoisy(false, c)) im.ad[at] += noiseAt(p, 0, c, ms, 17 + r);
            if (p.isNoisy(true, r)) im.ad[at] += noiseAt(p, 1, r, ms, 17 + c);
            im.adLevel[at] = (adLevelValue(p, false, c) + adLevelValue(p, true, r)) / 2 + blob / 8 +
                             noiseAt(p, 5, r * 128 + c, ms) / 2;
        }
    }
    return im;
}

int openValue(const Panel& p, const DeviceClass& cls, bool yAxis, int index) {
    if (p.isOpen(yAxis, index)) return yAxis ? cls.openFaultY : cls.openFaultX;
    const int base = yAxis ? cls.openY : cls.openX;
    return base + (index * 7) % 25;
}

int shortValue(const Panel& p, const DeviceClass& cls, bool yAxis, int index) {
    const ShortModel& m = cls.shortModel;
    for (const ChannelRef& c : p.shortedChannels)
        if (c.yAxis == yAxis && c.index == index) return m.shorted;
    const int base = p.attached ? m.withPanel : m.bareBoard;
    return base + (index * 11) % 30;
}

int mutualValue(const Panel& p, int x, int y) {
    if (p.isOpen(false, x) || p.isOpen(true, y)) return 150 + (x + y) % 20;
    if (!p.attached) return 400 + (x * 3 + y) % 40;
    const int healthy = 3100 + (x * 17 + y * 5) % 250;
    // Noise on a channel pulls every other node of its line far down.
    const bool noisy = p.isNoisy(false, x) || p.isNoisy(true, y);
    return noisy && (x + y) % 2 == 1 ? healthy - 900 : healthy;
}

int adLevelValue(const Panel& p, bool yAxis, int index) {
    if (p.isShorted(yAxis, index)) return 2400 + (index * 5) % 40;
    const int level = 700 + (index * 29 + (yAxis ? 13 : 0)) % 300;
    return p.isNoisy(yAxis, index) ? level + 1100 : level;
}

int calibratedStrayValue(const Panel& p, bool yAxis, int index) {
    return p.attached && !p.isOpen(yAxis, index) ? strayBase(yAxis ? 1 : 0, index) : 20;
}

int systemStrayValue(const Panel& p, bool yAxis, int index) {
    return calibratedStrayValue(p, yAxis, index) + strayDriftAt(p, yAxis ? 1 : 0, index);
}

int icStrayValue(bool yAxis, int index) { return 120 + (index * 13 + (yAxis ? 5 : 0)) % 20; }

}  // namespace vexlink::virt
