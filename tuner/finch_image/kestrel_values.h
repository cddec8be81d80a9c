// What the "Finch Image Data" page reads of the Kestrel page's working copy,
// and where it reads it from when there is no Kestrel page.
#pragma once

#include "device/vexlink.h"
#include "tuner/kestrel/kestrel_param_block.h"
#include "tuner/kestrel/kestrel_source.h"

namespace lumora::finch {

// The values, taken at one moment on the GUI thread.
struct KestrelValues {
    int currentTouchThreshold = 0;  // "TouchThreshold" of the record in use
    int touchThreshold0 = 0;        // "TouchThreshold" of record 0
    int waterThreshold0 = 0;        // "WaterThreshold" of record 0
    int chkStrayTh = 0;             // "ChkStrayTh"
    int chkStrayThWater = 0;        // "ChkStrayThWater"
};
KestrelValues readKestrelValues(const KestrelParamSource& source);

// The same values read from the controller's parameter memory, for a sheet
// without a Kestrel page (DeviceState::kestrel null). The Kestrel page's
// working copy starts as exactly this memory, so the page shows what it
// would show beside a freshly loaded Kestrel page. The frequency index in
// use is asked with DevSetFreqIndex(255), which switches nothing.
class ControllerKestrelValues : public KestrelParamSource {
public:
    // Reads the words the values live in; a word that cannot be read gives
    // 0 for its values, an index that cannot be asked kNoFreqIndex.
    void load(VexHandle handle);

    int currentFreqIndex() const override { return m_freqIndex; }
    int touchThreshold(int freqRecord) const override;
    int waterThreshold(int freqRecord) const override;
    int chkStrayTh() const override { return m_block.chkStrayTh(); }
    int chkStrayThWater() const override { return m_block.chkStrayThWater(); }

private:
    int m_freqIndex = kNoFreqIndex;
    // The block as far as it was read: only the words of the values above.
    KestrelParamBlock m_block;
};

}  // namespace lumora::finch
