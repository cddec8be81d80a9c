// What the other Heron-class pages read of the "Kestrel Param" page: values
// of its working copy and the scan-frequency index in use. The Kestrel page
// is the first page of the sheet for type codes 6 and 8; it publishes itself
// in DeviceState::kestrel while it exists. Read on the GUI thread only.
#pragma once

#include "tuner/kestrel/kestrel_param_block.h"

namespace lumora {

class KestrelParamSource {
public:
    static constexpr int kNoFreqIndex = -1;
    static constexpr int kFreqRecordCount = kKestrelFreqCount;

    virtual ~KestrelParamSource() = default;

    // The index the controller reported at the last load, 0..4; kNoFreqIndex
    // before any load, or when the controller reported an index past the five
    // frequency records.
    virtual int currentFreqIndex() const = 0;

    // Fields of the working copy (8-bit values). Frequency records 0..4; any
    // other record number reads 0.
    virtual int touchThreshold(int freqRecord) const = 0;
    virtual int waterThreshold(int freqRecord) const = 0;
    virtual int chkStrayTh() const = 0;
    // "Period" of a frequency record (the scan frequency in kHz is
    // 12000 / Period; 0 has none). Records outside 0..4 read 0.
    virtual int period(int /*freqRecord*/) const { return 0; }
    virtual int chkStrayThWater() const = 0;

    // "TouchThreshold" of the record in use; 0 when no index is known.
    int currentTouchThreshold() const {
        const int n = currentFreqIndex();
        return n >= 0 && n < kFreqRecordCount ? touchThreshold(n) : 0;
    }
};

}  // namespace lumora
