// The PWM tester's touch stimulus as the controllers feel it.
//
// The tester switches a stimulus on the panel on and off (DevSetFreqIndex 2
// and 1). The registry hands every switch to the plugged controllers, and
// each controller answers like a finger that follows the stimulus after the
// controller's latency: a touch report `latency` after the stimulus went on,
// the same report again every touch period while it stays on, and one lift
// report `latency` after it went off.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

namespace vexlink::virt {

// Time of the stimulus in nanoseconds. The steady clock, unless a test has
// taken the time into its own hands (setManualStimulusTime), so that a
// measured latency depends on nothing but the configured one.
int64_t stimulusNowNs();
bool stimulusTimeIsManual();
void setManualStimulusTime(int64_t ns);
void useSteadyStimulusTime();

// One controller's contact with the stimulus: a delay line of the switches.
class StimulusTouch {
public:
    // The touch period of the controller's touch reports.
    static constexpr int64_t kRepeatNs = 8'000'000;

    void setLatencyNs(int64_t latencyNs) { m_latencyNs = latencyNs < 0 ? 0 : latencyNs; }

    // The stimulus switched on or off at atNs. A switch to the state it is
    // already in changes nothing.
    void change(bool on, int64_t atNs);

    // The reports that have come due by nowNs, oldest first: true for a
    // touch, false for a lift. A repeat that fell behind is sent once, not
    // as a burst of the missed ones.
    std::vector<bool> due(int64_t nowNs);

    // When the next report comes due; INT64_MAX when none will without a
    // further switch.
    int64_t nextDueNs() const;

    bool touching() const { return m_touching; }

private:
    struct Switch {
        bool on;
        int64_t atNs;
    };
    int64_t m_latencyNs = 0;
    bool m_stimulusOn = false;          // the state after the last switch
    std::deque<Switch> m_pending;       // switches the contact has not followed yet
    bool m_touching = false;            // the contact: a touch reported, no lift yet
    int64_t m_nextRepeatNs = 0;
};

}  // namespace vexlink::virt
