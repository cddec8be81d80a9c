// The frequency part of the firmware model as tests and VEXLINK_DEVICES
// options shape it: failing word writes and register reads, an unanswered
// DAC calibration, register blocks and frequency records that start from
// other values than the factory's, and the index the controller reports.
#include <algorithm>

#include "vexlink/virtual/firmware.h"

namespace vexlink::virt {

// Called by the constructor before the device thread starts; no lock needed.
void Firmware::applyFrequencySettings() {
    m_failingWrites.insert(m_settings.failingWrites.begin(), m_settings.failingWrites.end());
    m_failingFreqRegReads.insert(m_settings.failingFreqRegReads.begin(),
                                 m_settings.failingFreqRegReads.end());
    m_dacAcknowledged = m_settings.dacAcknowledged;
    if (m_settings.freqIndex >= 0) m_freqIndex = static_cast<uint8_t>(m_settings.freqIndex);
    if (family().memory != MemoryLayout::kHeron) return;
    if (m_settings.sampleRate >= 0)
        for (FreqRegisters& regs : m_freqRegs) regs[5] = static_cast<uint8_t>(m_settings.sampleRate);
    if (m_settings.period >= 0) {
        // "Period" is the low byte of a record's first word. The checksum
        // stays valid (the constructor spoils it afterwards with `badcrc`).
        for (int n = 0; n < kFrequencyCount; ++n) {
            uint16_t& word = m_memory[heron::freqRecordWord(n)];
            word = static_cast<uint16_t>((word & 0xFF00) | (m_settings.period & 0xFF));
        }
        sealArea(m_memory, checksumAreas(family().memory)[0]);
    }
}

bool Firmware::failWrite(int index, bool fail) {
    if (index < 0 || index > 255) return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (fail)
        m_failingWrites.insert(index);
    else
        m_failingWrites.erase(index);
    return true;
}

bool Firmware::failFreqRegsRead(int freqIndex, bool fail) {
    if (freqIndex < 0 || freqIndex >= kFrequencyCount || !has(kCapFrequency)) return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (fail)
        m_failingFreqRegReads.insert(freqIndex);
    else
        m_failingFreqRegReads.erase(freqIndex);
    return true;
}

void Firmware::setDacAcknowledged(bool acknowledged) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_dacAcknowledged = acknowledged;
}

bool Firmware::freqRegisters(int freqIndex, uint8_t* out64) const {
    if (freqIndex < 0 || freqIndex >= kFrequencyCount || !out64 || !has(kCapFrequency)) return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    std::copy(m_freqRegs[freqIndex].begin(), m_freqRegs[freqIndex].end(), out64);
    return true;
}

bool Firmware::setFreqRegister(int freqIndex, int byte, uint8_t value) {
    if (freqIndex < 0 || freqIndex >= kFrequencyCount || byte < 0 || byte >= 64 ||
        !has(kCapFrequency))
        return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_freqRegs[freqIndex][byte] = value;
    return true;
}

bool Firmware::setFreqIndexInUse(int index) {
    if (index < 0 || index > 254 || !has(kCapFrequency)) return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_freqIndex = static_cast<uint8_t>(index);
    return true;
}

bool Firmware::sealChecksum() {
    const auto areas = checksumAreas(family().memory);
    if (areas.empty()) return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const ChecksumArea& area : areas) sealArea(m_memory, area);
    return true;
}

}  // namespace vexlink::virt
