#include "tuner/rawdata/raw_model.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace lumora::rawdata {

namespace {

constexpr uint8_t kIdDelta = 0x3B;
constexpr uint8_t kIdRaw = 0x4E;
constexpr uint8_t kIdStray = 0x4C;
constexpr uint8_t kIdDStray = 0x4D;
constexpr uint8_t kIdAdLevel = 0x4F;
constexpr uint8_t kIdPenRaw = 0x57;
constexpr uint8_t kId58 = 0x58;
constexpr uint8_t kIdRawView = 0x59;
constexpr uint8_t kIdNoise = 0x48;
constexpr uint8_t kIdVk = 0x36;
constexpr uint8_t kIdReadBack = 0x54;
constexpr int kLastReadBackRecord = kReadBackRecords - 1;
constexpr int kFirstValueByte = 4;


std::span<int32_t> firstN(Channels& c, int n) { return {c.data(), static_cast<size_t>(n)}; }

}  // namespace

int seriesIdOf(uint8_t packetId) {
    switch (packetId) {
    case kIdDelta: return kSeriesDelta;
    case kIdRaw: return kSeriesRaw;
    case kIdStray: return kSeriesStray;
    case kIdDStray: return kSeriesDStray;
    case kIdAdLevel: return kSeriesAdLevel;
    case kIdPenRaw: return kSeriesPenRaw;
    case kId58: return kSeries58;
    case kIdRawView: return kSeriesRawView;
    case kIdNoise: return kSeriesNoise;
    default: return -1;
    }
}

// ---- Derivations ------------------------------------------------------------------

void computeAb(std::span<const int32_t> d, std::span<int32_t> ab) {
    const int n = static_cast<int>(std::min(d.size(), ab.size()));
    if (n <= 0) return;
    // The formulas overwrite one another for small n, in this order; each is
    // applied only where its inputs and its target lie inside the n values.
    ab[0] = -d[0];
    if (n >= 2) ab[1] = d[0] / 2 - d[1];
    for (int i = 2; i <= n - 3; ++i) ab[i] = (d[i - 1] - d[i]) / 2;
    if (n - 2 >= 2) ab[n - 2] = d[n - 3] - d[n - 2] / 2;
    if (n >= 2) ab[n - 1] = d[n - 2];
    for (int i = 0; i < n; ++i) ab[i] = std::max(ab[i], 0);
}

void computeRecovery(std::span<const int32_t> d, std::span<int32_t> r) {
    const int n = static_cast<int>(std::min(d.size(), r.size()));
    if (n <= 0) return;
    r[n - 1] = 0;
    for (int i = n - 2; i >= 0; --i) r[i] = r[i + 1] - d[i];
    int32_t m = 0;
    for (int i = 0; i < n; ++i) m = std::min(m, r[i]);
    int64_t sum = 0;
    for (int i = 0; i < n; ++i) {
        r[i] -= m;
        sum += r[i];
    }
    const auto mean = static_cast<int32_t>(sum / n);
    for (int i = 0; i < n; ++i) r[i] -= mean;
}

int vkValueCount(const uint8_t* packet) {
    const int claimed = (packet[1] - 2) / 2;
    // Values start at byte 4; a claim beyond byte 63 is cut to what the packet holds.
    constexpr int kRoom = (kPacketSize - kFirstValueByte) / 2;
    return std::clamp(claimed, 0, kRoom);
}

VkSplit findVkSplit(const uint8_t* packet, int valueCount) {
    for (int i = 0; i < valueCount; ++i) {
        const uint8_t* p = packet + kFirstValueByte + 2 * i;
        if (((p[0] << 8) | p[1]) == kVkSplitMarker) return {i, true};
    }
    return {valueCount, false};
}

std::array<int, 2> splitVkValues(const uint8_t* packet, int valueCount, VkSplit split,
                                 std::span<int32_t, kVkPlaces> group1,
                                 std::span<int32_t, kVkPlaces> group2) {
    std::array<int, 2> counts{0, 0};
    for (int i = 0; i < valueCount; ++i) {
        const int32_t v = readBE16(packet + kFirstValueByte + 2 * i);
        if (i < split.position) {
            if (counts[0] < kVkPlaces) group1[static_cast<size_t>(counts[0]++)] = v;
        } else if (split.marker && i > split.position) {
            if (counts[1] < kVkPlaces) group2[static_cast<size_t>(counts[1]++)] = v;
        }
    }
    return counts;
}

int strayScaleOf(std::span<const int32_t> values) {
    if (values.empty()) return 1;
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    return static_cast<int>(3 * (int64_t(*hi) - *lo) + 1);
}

int abScaleOf(std::span<const int32_t> abMax) {
    int32_t largest = 0;
    if (!abMax.empty()) largest = *std::max_element(abMax.begin(), abMax.end());
    return static_cast<int>(1.7 * largest + 1);
}

// ---- RawDataModel ----------------------------------------------------------------

RawDataModel::RawDataModel() {
    for (auto& axes : m_lastIndex) axes.fill(-1);
    m_readBack.fill(static_cast<int16_t>(0xCCCC));
}

void RawDataModel::setCounts(int8_t yCount, int8_t xCount) {
    m_data.xCount = clampChannels(xCount);
    m_data.yCount = clampChannels(yCount);
    m_packets[kAxisX] = packetCountFor(m_data.xCount);
    m_packets[kAxisY] = packetCountFor(m_data.yCount);
}

void RawDataModel::clearSeriesAndHolds() {
    for (SeriesPair* s : {&m_data.delta, &m_data.ab, &m_data.recovery, &m_data.raw,
                          &m_data.stray, &m_data.dstray, &m_data.deltaMax, &m_data.deltaMin,
                          &m_data.abMax})
        s->clear();
    for (auto& h : m_data.history) h.fill(0);
    // The stray series is all zero now: 3 x 0 + 1.
    m_data.strayScale = {1, 1};
}

void RawDataModel::resetForShow(int thresholdX, int thresholdY) {
    m_data.thresholdX = thresholdX;
    m_data.thresholdY = thresholdY;
    clearSeriesAndHolds();
    // Both groups are cleared with their counts: a group 2 count left from
    // before would draw and log the cleared places as keys.
    m_data.vk = {};
    m_readBack.fill(static_cast<int16_t>(0xCCCC));
    m_data.abScale = {500, 500};
    m_started = false;
    m_readLogActive = false;
    for (auto& f : m_complete) f = {false, false};
    for (auto& c : m_counter) c = {0, 0};
    for (auto& l : m_lastIndex) l = {-1, -1};
    m_vkSplit = {};
    m_data.view = 1;
    m_data.lowerMode = 0;
}

void RawDataModel::clearAllSeries() {
    clearSeriesAndHolds();
    // Unlike a new show, these commands clear every series: the AD level,
    // noise and raw views start again from the next packets too.
    for (SeriesPair* s : {&m_data.adLevel, &m_data.penRaw, &m_data.rawView, &m_data.noise})
        s->clear();
}

void RawDataModel::cleanScreen() {
    m_data.abScale = {500, 500};
    m_data.deltaPeak = {100, 100};
    m_started = false;
    m_readLogActive = false;
    for (int s : {kSeriesStray, kSeriesDStray, kSeriesAdLevel}) m_complete[s] = {false, false};
    clearAllSeries();
}

void RawDataModel::resetForController() {
    m_data.abScale = {500, 500};
    m_started = false;
    m_complete[kSeriesStray][kAxisX] = false;
    m_complete[kSeriesDStray][kAxisX] = false;
    clearAllSeries();
}

int RawDataModel::parseSeries(const uint8_t* packet, SeriesPair& target, int series) {
    const int index = packet[3];
    int axis;
    int first;
    if (index < m_packets[kAxisX]) {
        axis = kAxisX;
        first = 0;
    } else if (index < m_packets[kAxisX] + m_packets[kAxisY]) {
        axis = kAxisY;
        first = m_packets[kAxisX];
    } else {
        return -1;  // beyond the announced packets: changes nothing
    }
    const int base = kSeriesValuesPerPacket * (index - first);
    Channels& values = target.axis(axis);
    for (int i = 0; i < kSeriesValuesPerPacket && base + i < kMaxChannels; ++i)
        values[static_cast<size_t>(base + i)] = readBE16(packet + kFirstValueByte + 2 * i);

    // The counter restarts at the axis's first index. A packet that repeats
    // the index just seen (0x3B is registered twice and so arrives twice) is
    // not counted again, so an axis completes only when all its packets came.
    int& counter = m_counter[series][axis];
    int& last = m_lastIndex[series][axis];
    if (index == first) {
        counter = 1;
    } else if (index != last) {
        ++counter;
    }
    last = index;
    if (counter == m_packets[axis]) m_complete[series][axis] = true;
    return axis;
}

void RawDataModel::onDelta() {
    for (int a : {kAxisX, kAxisY}) {
        const int n = m_data.count(a);
        const auto d = firstN(m_data.delta.axis(a), n);
        auto ab = firstN(m_data.ab.axis(a), n);
        computeAb(d, ab);
        computeRecovery(d, firstN(m_data.recovery.axis(a), n));
        Channels& dMax = m_data.deltaMax.axis(a);
        Channels& dMin = m_data.deltaMin.axis(a);
        Channels& aMax = m_data.abMax.axis(a);
        int32_t& peak = m_data.deltaPeak[static_cast<size_t>(a)];
        for (int c = 0; c < n; ++c) {
            const auto i = static_cast<size_t>(c);
            dMax[i] = std::max(dMax[i], d[i]);
            dMin[i] = std::min(dMin[i], d[i]);
            peak = std::max({peak, std::abs(dMax[i]), std::abs(dMin[i])});
            aMax[i] = std::max(aMax[i], ab[i]);
        }
        m_data.abScale[static_cast<size_t>(a)] = abScaleOf(firstN(aMax, n));
    }
}

void RawDataModel::onVk(const uint8_t* packet) {
    const int n = vkValueCount(packet);
    auto& g1 = m_data.vk[0];
    auto& g2 = m_data.vk[1];
    switch (packet[3]) {
    case 0x50: {
        m_vkSplit = findVkSplit(packet, n);
        const auto counts = splitVkValues(packet, n, m_vkSplit, g1.data, g2.data);
        g1.count = counts[0];
        g2.count = counts[1];
        break;
    }
    case 0x51: splitVkValues(packet, n, m_vkSplit, g1.raw, g2.raw); break;
    case 0x52: splitVkValues(packet, n, m_vkSplit, g1.stray, g2.stray); break;
    case 0x53: splitVkValues(packet, n, m_vkSplit, g1.dstray, g2.dstray); break;
    default: break;
    }
}

bool RawDataModel::onReadBack(const uint8_t* packet) {
    const int record = packet[3];
    if (record > kLastReadBackRecord) return false;  // the buffer holds 34 records
    for (int i = 0; i < kSeriesValuesPerPacket; ++i)
        m_readBack[static_cast<size_t>(kSeriesValuesPerPacket * record + i)] =
            readBE16(packet + kFirstValueByte + 2 * i);
    if (record != kLastReadBackRecord) return false;
    // The controller's log keeps 128 places per block: X raw, Y raw, X stray, Y stray.
    for (int c = 0; c < m_data.xCount; ++c) {
        m_data.raw.x[static_cast<size_t>(c)] = m_readBack[static_cast<size_t>(c)];
        m_data.stray.x[static_cast<size_t>(c)] = m_readBack[static_cast<size_t>(256 + c)];
    }
    for (int c = 0; c < m_data.yCount; ++c) {
        m_data.raw.y[static_cast<size_t>(c)] = m_readBack[static_cast<size_t>(128 + c)];
        m_data.stray.y[static_cast<size_t>(c)] = m_readBack[static_cast<size_t>(384 + c)];
    }
    // The stray graph scales from the series it draws; keep the scale in step
    // with the values just read back.
    for (int a : {kAxisX, kAxisY})
        m_data.strayScale[static_cast<size_t>(a)] =
            strayScaleOf(firstN(m_data.stray.axis(a), m_data.count(a)));
    return true;
}

PacketOutcome RawDataModel::handlePacket(const uint8_t* packet) {
    PacketOutcome out;
    if (isEndPacket(packet)) {
        out.endPacket = true;
        return out;
    }
    switch (packet[2]) {
    case kIdDelta:
        if (parseSeries(packet, m_data.delta, kSeriesDelta) >= 0) onDelta();
        break;
    case kIdStray:
        if (m_readLogActive) break;  // the read-back values stay until "Clean Screen"
        if (const int a = parseSeries(packet, m_data.stray, kSeriesStray); a >= 0)
            m_data.strayScale[static_cast<size_t>(a)] =
                strayScaleOf(firstN(m_data.stray.axis(a), m_data.count(a)));
        break;
    case kIdDStray: parseSeries(packet, m_data.dstray, kSeriesDStray); break;
    case kIdRaw:
        if (!m_readLogActive) parseSeries(packet, m_data.raw, kSeriesRaw);
        break;
    case kIdAdLevel: parseSeries(packet, m_data.adLevel, kSeriesAdLevel); break;
    case kIdRawView: parseSeries(packet, m_data.rawView, kSeriesRawView); break;
    case kIdNoise: parseSeries(packet, m_data.noise, kSeriesNoise); break;
    case kIdPenRaw: parseSeries(packet, m_data.penRaw, kSeriesPenRaw); break;
    case kId58: {
        SeriesPair unused;
        parseSeries(packet, unused, kSeries58);
        break;
    }
    case kIdReadBack: out.restartStream = onReadBack(packet); break;
    case kIdVk: onVk(packet); break;
    default: break;
    }

    if (!m_started && m_complete[kSeriesDelta][kAxisX] && m_complete[kSeriesDelta][kAxisY]) {
        out.releaseDrawing = true;
        m_started = true;
        m_complete[kSeriesDelta] = {false, false};
        for (int s : {kSeriesStray, kSeriesDStray, kSeriesAdLevel}) m_complete[s] = {true, true};
    }
    return out;
}

int RawDataModel::averageAbs(std::span<const int32_t> values) {
    if (values.empty()) return 0;
    int64_t sum = 0;
    for (int32_t v : values) sum += std::abs(int64_t(v));
    return static_cast<int>(sum / static_cast<int64_t>(values.size()));
}

void RawDataModel::advanceHistory() {
    for (int a : {kAxisX, kAxisY}) {
        auto& h = m_data.history[static_cast<size_t>(a)];
        std::memmove(h.data(), h.data() + 1, (h.size() - 1) * sizeof(int32_t));
        h.back() = averageAbs(firstN(m_data.ab.axis(a), m_data.count(a)));
    }
}

}  // namespace lumora::rawdata
