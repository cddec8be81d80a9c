// The one signal model behind every stream of a virtual controller: a
// per-channel baseline, stray capacitance, noise, and one finger moving
// across the panel. Series, node images, touch reports and the built-in
// tests all read it, so what one view shows agrees with the others.
//
// Pure functions of (panel, time): the same inputs give the same frame.
#pragma once

#include <cstdint>
#include <vector>

#include "vexlink/virtual/device_class.h"

namespace vexlink::virt {

struct Panel {
    int xCount = 0;
    int yCount = 0;
    int noise = 6;                 // amplitude of the noise in counts
    bool finger = true;
    bool attached = true;          // a sensor is connected to the board
    int strayDrift = 0;            // counts of stray drift since the last calibration (uneven
                                   // over the channels: up to twice this where the panel drifts most)
    std::vector<ChannelRef> openChannels;
    std::vector<ChannelRef> shortedChannels;
    std::vector<ChannelRef> noisyChannels;  // channels that pick up strong noise
    uint32_t seed = 1;             // varies the noise between devices
    // A finger resting at (restX, restY) in channel coordinates instead of
    // the moving one (finger=T+R).
    bool fingerResting = false;
    double restX = 0;
    double restY = 0;
    int unevenLine = -1;           // Heron stray image: this Tx line stands out (uneven=N)

    bool isOpen(bool yAxis, int index) const;
    // Part of a shorted pair (either side).
    bool isShorted(bool yAxis, int index) const;
    bool isNoisy(bool yAxis, int index) const;
};

// The panel a device's settings describe; its noise seed follows the entry,
// so that two devices of one list differ.
Panel panelFor(const DeviceSettings& settings);

// Noise amplitude in counts of a noisy channel, whatever noise= says.
constexpr int kNoisyAmplitude = 150;
// Noise in [-amplitude, amplitude] of one channel or node (`index`) of a
// series or image (`axis`), new every 10 ms frame; `salt` decorrelates the
// kinds of one channel.
int noiseAt(const Panel& panel, int axis, int index, int64_t ms, uint32_t salt = 0);

// Where the finger is at time t (ms): channel coordinates (fractional), or
// not touching. It traces a slow figure across the panel and lifts for
// 0.8 s every 5 s, so touch-down and lift both occur.
struct FingerState {
    bool touching = false;
    double x = 0;
    double y = 0;
};
FingerState fingerAt(const Panel& panel, int64_t ms);

// The per-channel series of one frame (index 0 = X axis, 1 = Y axis).
struct SeriesFrame {
    std::vector<int> delta[2];     // 0x3B: touch signal
    std::vector<int> raw[2];       // 0x4E
    std::vector<int> stray[2];     // 0x4C: stray measured now
    std::vector<int> dstray[2];    // 0x4D: stray stored at the last calibration
    std::vector<int> adLevel[2];   // 0x4F
    std::vector<int> penRaw[2];    // 0x57
    std::vector<int> rawAlt[2];    // 0x58: raw of the second scan
    std::vector<int> rawView[2];   // 0x59: signed raw around the baseline
    std::vector<int> noise[2];     // 0x48: noise amplitude per channel
    std::vector<int> connector[2]; // 0x52: connector sense level
};
SeriesFrame seriesAt(const Panel& panel, int64_t ms);

// The virtual key pressed at time t (0-based over both groups), or -1.
int pressedKeyAt(const Panel& panel, int64_t ms, int keys);

// Virtual keys: group 1 and group 2 values of the four kinds.
struct KeyFrame {
    std::vector<int> data[2], raw[2], stray[2], dstray[2];
};
KeyFrame keysAt(const Panel& panel, int64_t ms, int group1, int group2);

// Node images, row-major (row = Y channel, column = X channel).
struct ImageFrame {
    std::vector<int> ad;           // mutual delta: the finger is a blob
    std::vector<int> adLevel;      // AD level of every node
};
ImageFrame imageAt(const Panel& panel, int64_t ms);

// Values the built-in tests measure.
int openValue(const Panel& panel, const DeviceClass& cls, bool yAxis, int index);
int shortValue(const Panel& panel, const DeviceClass& cls, bool yAxis, int index);  // pair index, index+1
int mutualValue(const Panel& panel, int x, int y);
int adLevelValue(const Panel& panel, bool yAxis, int index);
// Stray of a channel's trace as the 0x4C series carries it, without noise:
// its value at the last calibration (a broken trace or a bare board reads
// about 20; the 0x4D series) plus the drift since. And the controller's own
// input stray, which no panel fault changes.
int calibratedStrayValue(const Panel& panel, bool yAxis, int index);
int systemStrayValue(const Panel& panel, bool yAxis, int index);
int icStrayValue(bool yAxis, int index);

}  // namespace vexlink::virt
