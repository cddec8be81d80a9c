// What the firmware does on its own thread: stream frames at their pace
// and run the built-in panel tests that commands queued.
#include <algorithm>
#include <chrono>
#include <climits>

#include "vexlink/protocol.h"
#include "vexlink/virtual/firmware.h"
#include "vexlink/virtual/heron_image.h"

namespace vexlink::virt {

namespace {

// Frame pacing. A series frame every 15 ms is what the controller streams;
// node images are limited to about 4 packets per millisecond, half of what
// a high-speed HID endpoint carries, so a 90 x 90 panel slows its image
// rate instead of flooding the host.
constexpr int kSeriesPeriodMs = 15;
constexpr int kTouchPeriodMs = 8;
constexpr int kImageMinPeriodMs = 40;
constexpr int kImagePacketsPerMs = 4;

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

}  // namespace

void Firmware::runPendingTests() {
    const Panel p = panel();
    const DeviceClass& b = behaviour();
    while (!m_pendingTests.empty()) {
        const std::vector<uint8_t> job = m_pendingTests.front();
        m_pendingTests.pop_front();
        const uint8_t command = job[0];
        const bool showAll = job[1] != 0;
        int32_t th[4];
        for (int i = 0; i < 4; ++i) th[i] = static_cast<int32_t>(le32(&job[2 + 4 * i]));
        bool allPass = true;
        std::vector<Report> items;
        auto add = [&](bool pass, const Report& record) {
            allPass = allPass && pass;
            if (showAll || !pass) items.push_back(record);
        };
        const int nx = m_settings.xCount, ny = m_settings.yCount;
        uint8_t test = 0;
        switch (command) {
        case wire::kStartOpenTest:
            // Thresholds: X lower, Y lower, X upper, Y upper; 0 sets no limit.
            test = 0;
            for (int axis = 0; axis < 2; ++axis) {
                const bool y = axis == 1;
                for (int i = 0; i < (y ? ny : nx); ++i) {
                    const int v = openValue(p, b, y, i);
                    const int lower = th[axis], upper = th[2 + axis];
                    bool pass = lower == 0 || v >= lower;
                    if (upper != 0 && !(y && b.openUpperXOnly)) pass = pass && v <= upper;
                    add(pass, openItemRecord(pass, channelWord(y, i), static_cast<int16_t>(v)));
                }
            }
            break;
        case wire::kStartShortTest:
            // Neighbouring pairs of each axis. Limit per axis: the first
            // threshold pair when given, else the second.
            test = 1;
            for (int axis = 0; axis < 2; ++axis) {
                const bool y = axis == 1;
                const int limit = th[axis] != 0 ? th[axis] : th[2 + axis];
                for (int i = 0; i + 1 < (y ? ny : nx); ++i) {
                    const int v = shortValue(p, b, y, i);
                    const bool pass =
                        limit == 0 || (b.shortModel.passAbove ? v >= limit : v <= limit);
                    add(pass, pairItemRecord(wire::kShortItem, pass, channelWord(y, i),
                                             channelWord(y, i + 1), static_cast<int16_t>(v)));
                }
            }
            break;
        case wire::kStartMutualTest: {
            test = 2;
            int valid = 0;
            for (int x = 0; x < nx; ++x)
                for (int yy = 0; yy < ny; ++yy) {
                    const int v = mutualValue(p, x, yy);
                    const bool pass = th[0] == 0 || v >= th[0];
                    valid += pass ? 1 : 0;
                    add(pass, pairItemRecord(wire::kMutualItem, pass, channelWord(false, x),
                                             channelWord(true, yy), static_cast<int16_t>(v)));
                }
            if (showAll) {
                // The summary table: first index 255, second the entry.
                const int table[4][2] = {{100, m_freqIndex}, {101, valid}, {102, 512}, {103, th[0]}};
                for (const auto& e : table)
                    items.push_back(pairItemRecord(wire::kMutualTableItem, true, 255,
                                                   static_cast<uint16_t>(e[0]),
                                                   static_cast<int16_t>(e[1])));
            }
            break;
        }
        case wire::kStartADLevelTest:
            // One channel per item: the second channel word is 0x00FF.
            test = 4;
            for (int axis = 0; axis < 2; ++axis) {
                const bool y = axis == 1;
                for (int i = 0; i < (y ? ny : nx); ++i) {
                    const int v = adLevelValue(p, y, i);
                    const bool pass = th[0] == 0 || v <= th[0];
                    add(pass, pairItemRecord(wire::kADLevelItem, pass, channelWord(y, i), 0x00FF,
                                             static_cast<int16_t>(v)));
                }
            }
            break;
        default: continue;
        }
        for (const Report& r : items) broadcast(r);
        broadcast(doneRecord(test, allPass ? 1 : 0));
    }
}

void Firmware::streamFrame(int64_t ms) {
    const Panel p = panel();
    const DeviceClass& b = behaviour();
    std::vector<Report> out;
    int period = kSeriesPeriodMs;
    switch (m_stream) {
    case StreamMode::kSingle: {
        const SeriesFrame f = seriesAt(p, ms);
        appendSeries(out, 0x3B, f.delta[0], f.delta[1]);
        appendSeries(out, 0x4E, f.raw[0], f.raw[1]);
        appendSeries(out, 0x4C, f.stray[0], f.stray[1]);
        appendSeries(out, 0x4D, f.dstray[0], f.dstray[1]);
        appendSeries(out, 0x4F, f.adLevel[0], f.adLevel[1]);
        appendSeries(out, 0x52, f.connector[0], f.connector[1]);
        appendSeries(out, 0x57, f.penRaw[0], f.penRaw[1]);
        appendSeries(out, 0x58, f.rawAlt[0], f.rawAlt[1]);
        appendSeries(out, 0x59, f.rawView[0], f.rawView[1]);
        appendSeries(out, 0x48, f.noise[0], f.noise[1]);
        if (b.vkGroup1 + b.vkGroup2 > 0) {
            const KeyFrame k = keysAt(p, ms, b.vkGroup1, b.vkGroup2);
            out.push_back(keyPacket(0x50, k.data[0], k.data[1]));
            out.push_back(keyPacket(0x51, k.raw[0], k.raw[1]));
            out.push_back(keyPacket(0x52, k.stray[0], k.stray[1]));
            out.push_back(keyPacket(0x53, k.dstray[0], k.dstray[1]));
        }
        break;
    }
    case StreamMode::kRawPoint: {
        period = kTouchPeriodMs;
        // A key report whenever the pressed key changes.
        const int key = pressedKeyAt(p, ms, b.vkGroup1 + b.vkGroup2);
        if (key != m_lastKey && m_touchOutput)
            out.push_back(touchKeyReport(m_reportId, key >= 0, key >= 0 ? key : m_lastKey));
        m_lastKey = key;
        const FingerState f = fingerAt(p, ms);
        const bool wasTouching = m_lastTouching;
        m_lastTouching = f.touching;
        if (!m_touchOutput || (!f.touching && !wasTouching)) break;
        Touch t;
        t.touching = f.touching;
        const FingerState at = f.touching ? f : m_lastFinger;
        if (f.touching) m_lastFinger = f;
        const double sx = p.xCount > 1 ? at.x / (p.xCount - 1) : 0;
        const double sy = p.yCount > 1 ? at.y / (p.yCount - 1) : 0;
        t.x = static_cast<uint16_t>(std::clamp(sx, 0.0, 1.0) * b.touchMax);
        t.y = static_cast<uint16_t>(std::clamp(sy, 0.0, 1.0) * b.touchMax);
        t.pressure = f.touching ? 300 : 0;
        t.extra = m_filterDisabled ? 1 : 0;
        t.auxA = static_cast<uint16_t>(at.x * 100);
        t.auxB = static_cast<uint16_t>(at.y * 100);
        out.push_back(b.multiTouch ? multiTouchReport(m_reportId, 0x13, {t})
                                   : touchReport(m_reportId, 0x13, t));
        break;
    }
    case StreamMode::kImageYX:
    case StreamMode::kImageXY: {
        const ImageFrame im = b.memory == MemoryLayout::kHeron
                                  ? heronImageAt(p, ms, (m_modeWord & kModeWordRdMode) != 0)
                                  : imageAt(p, ms);
        const int nx = p.xCount, ny = p.yCount;
        const ImageStream& layout = m_stream == StreamMode::kImageYX ? b.imageYX : b.imageXY;
        for (int pass = 0; pass < 2; ++pass) {
            const std::vector<int>& grid = pass == 0 ? im.ad : im.adLevel;
            const int lines = layout.linesAreX ? nx : ny, length = layout.linesAreX ? ny : nx;
            for (int l = 0; l < lines; ++l) {
                std::vector<int> line(length);
                for (int k = 0; k < length; ++k)
                    line[k] = layout.linesAreX ? grid[static_cast<size_t>(k) * nx + l]
                                               : grid[static_cast<size_t>(l) * nx + k];
                appendImageLine(out, pass == 0 ? layout.imageId : layout.levelId, l, line);
            }
        }
        period = std::max(kImageMinPeriodMs, static_cast<int>(out.size()) / kImagePacketsPerMs);
        break;
    }
    case StreamMode::kNone: return;
    }
    for (const Report& r : out) broadcast(r);
    m_nextFrameMs = ms + period;
}

void Firmware::threadMain() {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_quit) {
        const int64_t now = nowMs();
        if (!m_pendingTests.empty() && now >= m_testDueMs && !m_gone) runPendingTests();
        if (m_stream != StreamMode::kNone && now >= m_nextFrameMs && !m_gone) streamFrame(now);
        int64_t wakeAt = INT64_MAX;
        if (!m_pendingTests.empty()) wakeAt = m_testDueMs;
        if (m_stream != StreamMode::kNone) wakeAt = std::min(wakeAt, m_nextFrameMs);
        if (wakeAt == INT64_MAX) {
            m_wake.wait(lock);
        } else {
            const int64_t wait = std::max<int64_t>(0, wakeAt - nowMs());
            if (wait > 0) m_wake.wait_for(lock, std::chrono::milliseconds(wait));
        }
    }
}

}  // namespace vexlink::virt
