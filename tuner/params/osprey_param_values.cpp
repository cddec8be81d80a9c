#include "tuner/params/osprey_param_values.h"

#include <algorithm>

namespace lumora {

namespace {

// Word 26 counts the right-click time in units of this many milliseconds.
constexpr int kRightClickUnitMs = 30;

void setBit(uint16_t& word, uint16_t bit, bool on) {
    word = static_cast<uint16_t>(on ? (word | bit) : (word & ~bit));
}

}  // namespace

void valuesFromBlock(const OspreyParamBlock& block, OspreyParamValues& values) {
    values.changeFrequency = block.flag(kFlagChangeFrequency);
    values.autoCalibration = block.flag(kFlagAutoCalibration);
    values.antiBending = block.flag(kFlagAntiBending);
    values.swapXY = block.flag(kFlagSwapXY);
    values.inverseX = block.flag(kFlagInverseX);
    values.inverseY = block.flag(kFlagInverseY);

    for (const OspreyFieldInfo& info : kOspreyFields) values[info.field] = block.field(info.field);

    values.hidRightClickTimeMs = block.hidRightClickCnts() * kRightClickUnitMs;

    const int freqIndex2 = block.freqIndex2();
    if (freqIndex2 != 0) {
        values.singleCycle = block.singleGain() / (2 * freqIndex2);
        values.multiCycle = block.multiGain() / (2 * freqIndex2);
    }
}

void applySaveLimits(OspreyParamValues& values) {
    auto limit = [&](OspreyField f, int low, int high) {
        values[f] = std::clamp(values[f], low, high);
    };
    limit(OspreyField::LinearFilterLevel, 3, 15);
    // The upper limit of 300 lies above any byte value, so in practice the
    // level is only raised to 10.
    limit(OspreyField::EdgeCompenLevel, 10, 300);
    limit(OspreyField::EdgeCompenLimit, 3, 20);
    limit(OspreyField::AvailableTouch, 1, 5);
}

void blockFromValues(OspreyParamValues& values, OspreyParamBlock& block) {
    // With "AUTO CALIBRATION" set the uncaptioned bits 3, 4 and 8..15 go back
    // as loaded; with it clear the whole word starts from 0 and they are lost.
    uint16_t flags = block.flags();
    if (values.autoCalibration)
        flags |= kFlagAutoCalibration;
    else
        flags = 0;
    setBit(flags, kFlagAntiBending, values.antiBending);
    setBit(flags, kFlagSwapXY, values.swapXY);
    setBit(flags, kFlagInverseX, values.inverseX);
    setBit(flags, kFlagInverseY, values.inverseY);
    setBit(flags, kFlagChangeFrequency, values.changeFrequency);
    block.setFlags(flags);

    applySaveLimits(values);

    // A gain goes back rounded down to a multiple of 2 x "FreqIndex2", and as 0
    // when "FreqIndex2" is 0.
    const int freqIndex2 = values[OspreyField::FreqIndex2];
    block.setField(OspreyField::SingleGain, 2 * values.singleCycle * freqIndex2);
    block.setField(OspreyField::MultiGain, 2 * values.multiCycle * freqIndex2);

    block.setField(OspreyField::HidRightClickCnts, values.hidRightClickTimeMs / kRightClickUnitMs);

    for (const OspreyFieldInfo& info : kOspreyFields) {
        switch (info.field) {
        case OspreyField::SingleGain:
        case OspreyField::MultiGain:
        case OspreyField::HidRightClickCnts:
            continue;  // derived above
        default:
            block.setField(info.field, values[info.field]);
        }
    }
}

}  // namespace lumora
