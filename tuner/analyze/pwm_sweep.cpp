#include "tuner/analyze/pwm_sweep.h"

namespace lumora::analyze {

int wholeKhz(uint32_t divisor) { return divisor == 0 ? 0 : static_cast<int>(36000u / divisor); }

void PwmSweep::begin(uint32_t start, uint32_t end, uint32_t step) {
    m_start = start;
    m_end = end;
    m_step = step;
    m_current = start;
    m_lastApplied = 0;
    m_done = step == 0 || start == 0;
}

std::optional<uint32_t> PwmSweep::next() {
    if (m_done || m_current < m_end) {
        m_done = true;
        return std::nullopt;
    }
    // Compared with the divisor applied last, so that every step changes the
    // whole-kHz value.
    if (m_current != m_start && m_lastApplied != 0) {
        const int lastKhz = wholeKhz(m_lastApplied);
        while (wholeKhz(m_current) == lastKhz) {
            // Going below the end or to 0 (or round past it) ends the sweep.
            if (m_current < m_step || m_current - m_step < m_end || m_current - m_step == 0) {
                m_done = true;
                return std::nullopt;
            }
            m_current -= m_step;
        }
    }
    const uint32_t apply = m_current;
    m_lastApplied = apply;
    if (m_current <= m_step)
        m_done = true;  // the next divisor would be 0 or wrap round
    else
        m_current -= m_step;
    return apply;
}

}  // namespace lumora::analyze
