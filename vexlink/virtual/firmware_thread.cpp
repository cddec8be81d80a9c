// What the firmware does on its own thread: stream frames at their pace
// and run the built-in panel tests that commands queued.
#include <algorithm>
#include <chrono>
#include <climits>

#include "vexlink/protocol.h"
#include "vexlink/virtual/firmware.h"
#include "vexlink/virtual/panel_tests.h"
#include "vexlink/virtual/touch_stimulus.h"
#include "vexlink/virtual/heron_image.h"

namespace vexlink::virt {

namespace {

// Frame pacing. A series frame every 15 ms is what the controller streams;
// node images are limited to about 4 packets per millisecond, half of what
// a high-speed HID endpoint carries, so a 90 x 90 panel slows its image
// rate instead of flooding the host.
constexpr int kSeriesPeriodMs = 15;
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
        PanelTestRequest request;
        request.command = job[0];
        request.selection = job[1];
        for (int i = 0; i < 4; ++i)
            request.thresholds[i] = static_cast<int32_t>(le32(&job[2 + 4 * i]));
        request.freqIndex = m_freqIndex;
        const PanelTestRun run = runPanelTest(p, b, request);
        if (!run.known) continue;
        for (const Report& r : run.items) broadcast(r);
        broadcast(doneRecord(run.test, run.pass ? 1 : 0));
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
    case StreamMode::kRawPoint:
        period = m_touch.frame(out, p, b, ms, m_reportId, m_filterDisabled, m_touchOutput);
        break;
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
    const std::vector<uint8_t>& muted = m_settings.mutedPackets;
    for (const Report& r : out)
        if (std::find(muted.begin(), muted.end(), r[2]) == muted.end()) broadcast(r);
    m_nextFrameMs = ms + period;
}

void Firmware::threadMain() {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_quit) {
        const int64_t now = nowMs();
        if (!m_pendingTests.empty() && now >= m_testDueMs && !m_gone) runPendingTests();
        if (m_stream != StreamMode::kNone && now >= m_nextFrameMs && !m_gone) streamFrame(now);
        // Under manual stimulus time the control API sends the stimulus reports.
        const bool stimulusHere = !stimulusTimeIsManual();
        if (stimulusHere) sendStimulusReports(stimulusNowNs());
        int64_t wakeAt = INT64_MAX;
        if (!m_pendingTests.empty()) wakeAt = m_testDueMs;
        if (m_stream != StreamMode::kNone) wakeAt = std::min(wakeAt, m_nextFrameMs);
        const int64_t stimulusAt = stimulusHere ? m_stimulusTouch.nextDueNs() : INT64_MAX;
        if (wakeAt == INT64_MAX && stimulusAt == INT64_MAX) {
            m_wake.wait(lock);
        } else {
            int64_t waitNs = INT64_MAX;
            if (wakeAt != INT64_MAX) waitNs = (wakeAt - nowMs()) * 1'000'000;
            if (stimulusAt != INT64_MAX) waitNs = std::min(waitNs, stimulusAt - stimulusNowNs());
            if (waitNs > 0) m_wake.wait_for(lock, std::chrono::nanoseconds(waitNs));
        }
    }
}

}  // namespace vexlink::virt
