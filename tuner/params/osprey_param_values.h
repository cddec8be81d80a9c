// What the "Parameters" page holds for an Osprey parameter block, and the
// conversions between those values and the block. The page shows only four
// flags; every other value is hidden but passes through each load and save.
#pragma once

#include <array>

#include "tuner/params/osprey_param_block.h"

namespace lumora {

struct OspreyParamValues {
    // The flag bits of word 0. The first four have check boxes on the page.
    bool inverseY = false;
    bool inverseX = false;
    bool swapXY = false;
    bool autoCalibration = false;
    bool antiBending = false;
    bool changeFrequency = false;

    // One value per captioned field, indexed by OspreyField. Kept as int, as
    // the user might see them, and narrowed to their 8 or 16 bits on save.
    std::array<int, kOspreyFieldCount> fields{};

    // The gains divided by 2 x "FreqIndex2"; a save multiplies them back.
    int singleCycle = 0;
    int multiCycle = 0;
    // Word 26 in milliseconds (units of 30 ms). Up to 65535 x 30, so it needs
    // more than 16 bits.
    int hidRightClickTimeMs = 0;

    int& operator[](OspreyField f) { return fields[static_cast<std::size_t>(f)]; }
    int operator[](OspreyField f) const { return fields[static_cast<std::size_t>(f)]; }
};

// The load conversion: every value from the block. When "FreqIndex2" is 0 the
// two cycles keep the values they had, since there is nothing to divide by.
void valuesFromBlock(const OspreyParamBlock& block, OspreyParamValues& values);

// The limits a save applies to the values before it stores them.
void applySaveLimits(OspreyParamValues& values);

// The save conversion. `block` holds the block as last loaded and is turned
// into the block to send: the flag-word rule, the limits (applied to `values`
// too), the gains from the cycles, word 26 from the milliseconds, then every
// other captioned field into its place. Bytes and words without a caption keep
// their loaded values.
void blockFromValues(OspreyParamValues& values, OspreyParamBlock& block);

}  // namespace lumora
