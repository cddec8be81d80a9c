// The controller's built-in panel tests (open, short, mutual, AD level) as
// pure functions of the panel model and the start request: which items a
// test reports, in which order, and its overall result. The firmware thread
// runs a queued start through runPanelTest and broadcasts what it returns.
#pragma once

#include <cstdint>
#include <vector>

#include "vexlink/virtual/device_class.h"
#include "vexlink/virtual/packets.h"
#include "vexlink/virtual/signal_model.h"

namespace vexlink::virt {

// A test start as the wire request carries it: the start command, the
// report selection byte and the four thresholds (0 sets no limit).
struct PanelTestRequest {
    uint8_t command = 0;           // wire::kStartOpenTest ... kStartADLevelTest
    uint8_t selection = 1;         // 0 reports failing items only
    int32_t thresholds[4] = {};
    int freqIndex = 0;             // the scan-frequency index in use (mutual table)
};

struct PanelTestRun {
    bool known = false;            // false: not a test start, nothing to report
    uint8_t test = 0;              // 0 open, 1 short, 2 mutual, 4 AD level
    bool pass = true;
    std::vector<Report> items;     // test records in the order they are reported
};

// A system stray below this many counts means the channel's trace carries
// no panel at all (a broken trace or no sensor): its mutual stray item fails.
constexpr int kStrayFloor = 50;

PanelTestRun runPanelTest(const Panel& panel, const DeviceClass& cls, const PanelTestRequest& request);

}  // namespace vexlink::virt
