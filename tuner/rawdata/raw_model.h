// The raw data viewer's series and the pure logic that fills them: the
// multi-packet parse, the AB and recovery derivations, the hold arrays and
// scales, the virtual-key lists and the log read-back. Nothing here knows of
// windows or threads; the page owns one RawDataModel, writes it on the GUI
// thread and hands copies (RawSnapshot) to its drawing worker.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "device/packet.h"

namespace lumora::rawdata {

constexpr int kAxisX = 0;
constexpr int kAxisY = 1;
constexpr int kVkPlaces = 10;           // values per virtual-key group
constexpr int kHistoryLength = 512;     // entries of the history graph, oldest first
constexpr int kReadBackRecords = 34;    // records of the 0x54 log read-back
constexpr int kReadBackValues = kReadBackRecords * kSeriesValuesPerPacket;
constexpr uint16_t kVkSplitMarker = 0x7FFF;

using Channels = std::array<int32_t, kMaxChannels>;

// One series: a value per X electrode and one per Y electrode.
struct SeriesPair {
    Channels x{};
    Channels y{};
    Channels& axis(int a) { return a == kAxisX ? x : y; }
    const Channels& axis(int a) const { return a == kAxisX ? x : y; }
    void clear() { x.fill(0); y.fill(0); }
};

// One group of virtual keys (the keys before or after the 0x7FFF marker).
struct VkGroup {
    std::array<int32_t, kVkPlaces> data{};
    std::array<int32_t, kVkPlaces> raw{};
    std::array<int32_t, kVkPlaces> stray{};
    std::array<int32_t, kVkPlaces> dstray{};
    int count = 0;  // 0..kVkPlaces
};

// Series packet ids with a completion flag per axis.
enum SeriesId : int {
    kSeriesDelta,    // 0x3B
    kSeriesRaw,      // 0x4E
    kSeriesStray,    // 0x4C
    kSeriesDStray,   // 0x4D
    kSeriesAdLevel,  // 0x4F
    kSeriesPenRaw,   // 0x57
    kSeries58,       // 0x58, parsed and not used further
    kSeriesRawView,  // 0x59
    kSeriesNoise,    // 0x48
    kSeriesCount
};
// The SeriesId of a series packet id, or -1.
int seriesIdOf(uint8_t packetId);

// ---- Pure derivations --------------------------------------------------------

// AB series of n delta values (division by 2 truncates toward zero; negative
// results become 0). With n of 1 or 2 only the formulas whose inputs exist are
// applied, so nothing before or after the n values is read or written.
void computeAb(std::span<const int32_t> delta, std::span<int32_t> ab);

// Recovery series of n delta values: running sum from the last channel back,
// shifted to be non-negative, then centred on its integer mean.
void computeRecovery(std::span<const int32_t> delta, std::span<int32_t> recovery);

// The virtual-key values of a 0x36 sub-packet: n = (byte 1 - 2) / 2 values,
// big-endian from byte 4. A byte 1 below 2 gives none; a count that claims
// more than the packet holds is cut at byte 63.
int vkValueCount(const uint8_t* packet);

// The split of a 0x50 list: position of the first 0x7FFF marker, or the
// value count when there is none (all values are group 1).
struct VkSplit {
    int position = 0;     // values before it are group 1
    bool marker = false;  // values after it are group 2
};
VkSplit findVkSplit(const uint8_t* packet, int valueCount);

// Copies the values of a sub-packet into the two groups around the split;
// each group keeps at most kVkPlaces values. Returns the two counts.
std::array<int, 2> splitVkValues(const uint8_t* packet, int valueCount, VkSplit split,
                                 std::span<int32_t, kVkPlaces> group1,
                                 std::span<int32_t, kVkPlaces> group2);

// 3 x (max - min) + 1 over n values; 1 for none.
int strayScaleOf(std::span<const int32_t> values);
// int(1.7 x largest + 1) over n values; 1 for none.
int abScaleOf(std::span<const int32_t> abMax);

// ---- The page's data -----------------------------------------------------------

// Everything the drawing worker and the log read: copied as a whole under the
// page's lock, so a frame may mix two device frames but never tears a value.
struct RawSnapshot {
    int xCount = 0;  // 0..90
    int yCount = 0;  // 0..90
    int view = 1;       // 0 raw data, 1 clean, 2 stray, 3 AD level
    int lowerMode = 0;  // 0 history, 1 clean, 2 bar of delta, 3 raw view
    int thresholdX = 0;
    int thresholdY = 0;

    SeriesPair delta, ab, recovery, raw, stray, dstray, adLevel, penRaw, rawView, noise;
    SeriesPair deltaMax, deltaMin, abMax;
    std::array<int32_t, 2> deltaPeak{100, 100};
    std::array<int32_t, 2> abScale{500, 500};
    std::array<int32_t, 2> strayScale{1, 1};
    std::array<VkGroup, 2> vk{};
    std::array<std::array<int32_t, kHistoryLength>, 2> history{};

    int count(int axis) const { return axis == kAxisX ? xCount : yCount; }
    int threshold(int axis) const { return axis == kAxisX ? thresholdX : thresholdY; }
};

// What a packet asks of the page beyond the data it changed.
struct PacketOutcome {
    bool endPacket = false;       // close the controller and end the program
    bool restartStream = false;   // read-back complete: PCAPGetSingleData again
    bool releaseDrawing = false;  // first whole delta frame: start the drawing worker
};

class RawDataModel {
public:
    RawDataModel();

    const RawSnapshot& data() const { return m_data; }

    // Channel counts as a stream start wrote them (signed bytes), clamped to
    // 0..90; the packet counts follow.
    void setCounts(int8_t yCount, int8_t xCount);
    int packets(int axis) const { return m_packets[axis]; }

    // The page became visible: the state of a fresh start (keeps adLevel,
    // penRaw, rawView, noise and deltaPeak).
    void resetForShow(int thresholdX, int thresholdY);
    // "Clean Screen", and the clearing part of "Reset Controller" /
    // "Hardware Calibration": every series, hold array and history.
    void cleanScreen();
    void resetForController();

    void setView(int view) { m_data.view = view; }
    void nextLowerMode() { m_data.lowerMode = (m_data.lowerMode + 1) % 4; }
    void setReadLogActive(bool on) { m_readLogActive = on; }
    bool readLogActive() const { return m_readLogActive; }
    bool started() const { return m_started; }
    bool complete(int series, int axis) const { return m_complete[series][axis]; }

    // Handles one 64-byte packet of the stream (any packet id).
    PacketOutcome handlePacket(const uint8_t* packet);

    // One history step per axis (Avg of |ab| appended, oldest dropped): run by
    // the drawing worker once per frame drawn with the history graph.
    void advanceHistory();
    // Avg, the integer mean of |ab| over an axis's channels (0 for none).
    static int averageAbs(std::span<const int32_t> values);

    int16_t readBack(int index) const { return m_readBack[static_cast<size_t>(index)]; }

private:
    // Stores the 30 values of a series packet; returns the axis it filled or -1.
    int parseSeries(const uint8_t* packet, SeriesPair& target, int series);
    void onDelta();
    void onVk(const uint8_t* packet);
    bool onReadBack(const uint8_t* packet);
    void clearSeriesAndHolds();
    void clearAllSeries();  // every series, holds and histories

    RawSnapshot m_data;
    std::array<int, 2> m_packets{};
    bool m_started = false;
    bool m_readLogActive = false;
    std::array<std::array<bool, 2>, kSeriesCount> m_complete{};
    std::array<std::array<int, 2>, kSeriesCount> m_counter{};
    std::array<std::array<int, 2>, kSeriesCount> m_lastIndex{};
    VkSplit m_vkSplit;
    std::array<int16_t, kReadBackValues> m_readBack{};
};

}  // namespace lumora::rawdata
