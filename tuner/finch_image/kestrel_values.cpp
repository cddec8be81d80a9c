#include "tuner/finch_image/kestrel_values.h"

namespace lumora::finch {
namespace {

// Reads the word that holds a byte of the Kestrel block into `block`; a
// word that cannot be read stays 0.
void readWordOf(VexHandle handle, KestrelParamBlock& block, int blockByte) {
    const int k = blockByte / 2;
    uint16_t word = 0;
    if (DevReadWord(handle, kKestrelFirstWord + k, &word)) block.setWord(k, word);
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
    m_block = {};
    for (int n = 0; n < kFreqRecordCount; ++n) {
        readWordOf(handle, m_block, freqRecordOffset(n) + KestrelFreqRecord::kTouchThresholdByte);
        readWordOf(handle, m_block, freqRecordOffset(n) + KestrelFreqRecord::kWaterThresholdByte);
    }
    readWordOf(handle, m_block, fieldInfo(KestrelField::ChkStrayTh).offset);
    readWordOf(handle, m_block, fieldInfo(KestrelField::ChkStrayThWater).offset);
    uint8_t buffer[64] = {};
    m_freqIndex = kNoFreqIndex;
    if (DevSetFreqIndex(handle, buffer, 255) && buffer[2] < kFreqRecordCount)
        m_freqIndex = buffer[2];
}

int ControllerKestrelValues::touchThreshold(int freqRecord) const {
    return freqRecord >= 0 && freqRecord < kFreqRecordCount ? m_block.freqRecord(freqRecord).touchThreshold() : 0;
}

int ControllerKestrelValues::waterThreshold(int freqRecord) const {
    return freqRecord >= 0 && freqRecord < kFreqRecordCount ? m_block.freqRecord(freqRecord).waterThreshold() : 0;
}

}  // namespace lumora::finch
