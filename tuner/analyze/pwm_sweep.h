// The noise sweep of the "PWM Tester" group: from the start divisor down to
// the end divisor in steps, applying only divisors that change the whole-kHz
// value of the noise frequency (36000 / divisor).
#pragma once

#include <cstdint>
#include <optional>

namespace lumora::analyze {

// int(36000 / divisor); 0 for divisor 0.
int wholeKhz(uint32_t divisor);

class PwmSweep {
public:
    // Starts over at `start`. A step of 0 would never reach the end: such a
    // sweep is complete at once (the page refuses the step before).
    void begin(uint32_t start, uint32_t end, uint32_t step);

    // The divisor to apply at this step, or none when the sweep is complete:
    // the next divisor is below the end divisor, would reach 0, or the
    // skipping of same-kHz divisors ran past the end. A divisor whose whole
    // kHz equals that of the divisor applied last is skipped.
    std::optional<uint32_t> next();

    // The divisor the next step starts from (what "Current" shows).
    uint32_t current() const { return m_current; }

private:
    uint32_t m_start = 0;
    uint32_t m_end = 0;
    uint32_t m_step = 0;
    uint32_t m_current = 0;
    uint32_t m_lastApplied = 0;  // 0: nothing applied in this sweep yet
    bool m_done = true;
};

}  // namespace lumora::analyze
