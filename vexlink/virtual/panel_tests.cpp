#include "vexlink/virtual/panel_tests.h"

#include "vexlink/protocol.h"

namespace vexlink::virt {

namespace {

// Sub-kinds of a mutual item's channel word (bits 8..11) for the two stray
// measurements; the axis bit stays clear.
constexpr uint16_t kSystemStrayWord = 0x0100;
constexpr uint16_t kIcStrayWord = 0x0200;

struct Collector {
    bool showAll = true;
    bool pass = true;
    std::vector<Report>* items = nullptr;

    void add(bool itemPass, const Report& record) {
        pass = pass && itemPass;
        if (showAll || !itemPass) items->push_back(record);
    }
};

void runOpen(const Panel& p, const DeviceClass& b, const int32_t* th, Collector& c) {
    // Thresholds: X lower, Y lower, X upper, Y upper.
    for (int axis = 0; axis < 2; ++axis) {
        const bool y = axis == 1;
        for (int i = 0; i < (y ? p.yCount : p.xCount); ++i) {
            const int v = openValue(p, b, y, i);
            const int lower = th[axis], upper = th[2 + axis];
            bool pass = lower == 0 || v >= lower;
            if (upper != 0 && !(y && b.openUpperXOnly)) pass = pass && v <= upper;
            c.add(pass, openItemRecord(pass, channelWord(y, i), static_cast<int16_t>(v)));
        }
    }
}

void runShort(const Panel& p, const DeviceClass& b, const int32_t* th, Collector& c) {
    // Neighbouring pairs of each axis. Limit per axis: the first threshold
    // pair when given, else the second.
    for (int axis = 0; axis < 2; ++axis) {
        const bool y = axis == 1;
        const int limit = th[axis] != 0 ? th[axis] : th[2 + axis];
        for (int i = 0; i + 1 < (y ? p.yCount : p.xCount); ++i) {
            const int v = shortValue(p, b, y, i);
            const bool pass = limit == 0 || (b.shortModel.passAbove ? v >= limit : v <= limit);
            c.add(pass, pairItemRecord(wire::kShortItem, pass, channelWord(y, i),
                                       channelWord(y, i + 1), static_cast<int16_t>(v)));
        }
    }
}

void runMutual(const Panel& p, const DeviceClass& b, const PanelTestRequest& r, Collector& c) {
    // Threshold 1 is the lower limit of a node.
    const int32_t limit = r.thresholds[0];
    int valid = 0;
    for (int x = 0; x < p.xCount; ++x)
        for (int y = 0; y < p.yCount; ++y) {
            const int v = mutualValue(p, x, y);
            const bool pass = limit == 0 || v >= limit;
            valid += pass ? 1 : 0;
            c.add(pass, pairItemRecord(wire::kMutualItem, pass, channelWord(false, x),
                                       channelWord(true, y), static_cast<int16_t>(v)));
        }
    if (b.mutualStray) {
        // Per Rx channel: the system stray of its trace, then the IC's own
        // input stray, each with its sub-kind in the first channel word.
        for (int y = 0; y < p.yCount; ++y) {
            const int system = systemStrayValue(p, true, y);
            const bool systemPass = system >= kStrayFloor;
            c.add(systemPass, pairItemRecord(wire::kMutualItem, systemPass, kSystemStrayWord,
                                             channelWord(true, y), static_cast<int16_t>(system)));
            const int ic = icStrayValue(true, y);
            const bool icPass = ic >= kStrayFloor;
            c.add(icPass, pairItemRecord(wire::kMutualItem, icPass, kIcStrayWord,
                                         channelWord(true, y), static_cast<int16_t>(ic)));
        }
    }
    if (c.showAll) {
        // The summary table: first index 255, second the entry.
        const int table[4][2] = {{100, r.freqIndex}, {101, valid}, {102, 512}, {103, limit}};
        for (const auto& e : table)
            c.items->push_back(pairItemRecord(wire::kMutualTableItem, true, 255,
                                              static_cast<uint16_t>(e[0]),
                                              static_cast<int16_t>(e[1])));
    }
}

void runADLevel(const Panel& p, const int32_t* th, Collector& c) {
    // One channel per item: the second channel word is 0x00FF. Threshold 1
    // is the upper limit.
    for (int axis = 0; axis < 2; ++axis) {
        const bool y = axis == 1;
        for (int i = 0; i < (y ? p.yCount : p.xCount); ++i) {
            const int v = adLevelValue(p, y, i);
            const bool pass = th[0] == 0 || v <= th[0];
            c.add(pass, pairItemRecord(wire::kADLevelItem, pass, channelWord(y, i), 0x00FF,
                                       static_cast<int16_t>(v)));
        }
    }
}

}  // namespace

PanelTestRun runPanelTest(const Panel& p, const DeviceClass& b, const PanelTestRequest& r) {
    PanelTestRun run;
    Collector c{r.selection != 0, true, &run.items};
    run.known = true;
    switch (r.command) {
    case wire::kStartOpenTest:
        run.test = 0;
        runOpen(p, b, r.thresholds, c);
        break;
    case wire::kStartShortTest:
        run.test = 1;
        runShort(p, b, r.thresholds, c);
        break;
    case wire::kStartMutualTest:
        run.test = 2;
        runMutual(p, b, r, c);
        break;
    case wire::kStartADLevelTest:
        run.test = 4;
        runADLevel(p, r.thresholds, c);
        break;
    default:
        run.known = false;
        break;
    }
    run.pass = c.pass;
    return run;
}

}  // namespace vexlink::virt
