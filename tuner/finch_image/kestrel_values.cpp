#include "tuner/finch_image/kestrel_values.h"

namespace lumora::finch {
namespace {

// One byte of the Kestrel block read from the controller; 0 when its word
// cannot be read.
int readBlockByte(VexHandle handle, int blockByte) {
    uint16_t word = 0;
    if (!DevReadWord(handle, ControllerKestrelValues::wordOfBlockByte(blockByte), &word)) return 0;
    return (blockByte % 2) ? (word >> 8) : (word & 0xFF);
}

}  // namespace

KestrelValues readKestrelValues(const KestrelParamSource& source) {
    KestrelValues v;
    v.currentTouchThreshold = source.currentTouchThreshold();
    v.touchThreshold0 = source.touchThreshold(0);
    v.waterThreshold0 = source.waterThreshold(0);
    v.chkStrayTh = source.chkStrayTh();
    v.chkStrayThWater = source.chkStrayThWater();
    return v;
}

void ControllerKestrelValues::load(VexHandle handle) {
    for (int n = 0; n < kFreqRecordCount; ++n) {
        m_touch[size_t(n)] = readBlockByte(handle, recordByte(n, kTouchThresholdOffset));
        m_water[size_t(n)] = readBlockByte(handle, recordByte(n, kWaterThresholdOffset));
    }
    m_chkStrayTh = readBlockByte(handle, kChkStrayThByte);
    m_chkStrayThWater = readBlockByte(handle, kChkStrayThWaterByte);
    uint8_t buffer[64] = {};
    m_freqIndex = kNoFreqIndex;
    if (DevSetFreqIndex(handle, buffer, 255) && buffer[2] < kFreqRecordCount)
        m_freqIndex = buffer[2];
}

int ControllerKestrelValues::touchThreshold(int freqRecord) const {
    return freqRecord >= 0 && freqRecord < kFreqRecordCount ? m_touch[size_t(freqRecord)] : 0;
}

int ControllerKestrelValues::waterThreshold(int freqRecord) const {
    return freqRecord >= 0 && freqRecord < kFreqRecordCount ? m_water[size_t(freqRecord)] : 0;
}

}  // namespace lumora::finch
