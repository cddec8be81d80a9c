#include "tuner/params/osprey_param_io.h"

#include <cstring>

#include "device/vexlink.h"
#include "tuner/app/device_state.h"

namespace lumora {

static_assert(sizeof(DeviceState::paramBlock) == sizeof(OspreyParamBlock),
              "DeviceState.paramBlock holds one parameter block");
static_assert(sizeof(DeviceState::freqTable) >= sizeof(OspreyFreqTable),
              "the first 128 bytes of DeviceState.freqTable hold the frequency table");

ParamResult LoadParamBlock(DeviceState& state) {
    for (int k = 0; k < kOspreyAreaWords; ++k) {
        // Read into a scratch word so that a failed read cannot leave a
        // half-written value in the block.
        uint16_t value = 0;
        if (!DevReadWord(state.controller, kOspreyParamBlockFirstWord + k, &value))
            return ParamResult::ReadFailure;
        state.paramBlock[k] = value;
    }
    if (ospreyChecksum(state.paramBlock) != state.paramBlock[kOspreyChecksumWord])
        return ParamResult::ChecksumFailure;
    return ParamResult::Done;
}

void StoreParamBlock(DeviceState& state) {
    const VexHandle handle = state.controller;
    uint16_t checksum = kOspreyChecksumSeed;
    for (int k = 0; k < kOspreyChecksumWord; ++k) {
        DevWriteWord(handle, kOspreyParamBlockFirstWord + k, state.paramBlock[k]);
        checksum = static_cast<uint16_t>(checksum + state.paramBlock[k]);
    }
    DevWriteWord(handle, kOspreyParamBlockFirstWord + kOspreyChecksumWord, checksum);
    DevResetController(handle);
}

ParamResult LoadFreqTable(DeviceState& state) {
    uint16_t words[kOspreyAreaWords] = {};  // word 63 is never read and stays 0
    for (int k = 0; k < kOspreyChecksumWord; ++k) {
        if (!DevReadWord(state.controller, kOspreyFreqTableFirstWord + k, &words[k]))
            return ParamResult::ReadFailure;
    }
    // The result of this read is not looked at: when it fails the table is
    // compared with the bare seed 0x0055.
    uint16_t stored = 0;
    if (!DevReadWord(state.controller, kOspreyFreqTableFirstWord + kOspreyChecksumWord, &stored))
        stored = kOspreyChecksumSeed;
    if (ospreyChecksum(words) != stored) return ParamResult::ChecksumFailure;

    OspreyFreqTable table;
    table.fromWords(words);
    std::memcpy(state.freqTable, table.bytes(), sizeof(OspreyFreqTable));
    return ParamResult::Done;
}

OspreyParamBlock paramBlockOf(const DeviceState& state) {
    return OspreyParamBlock::fromWordArray(state.paramBlock);
}

OspreyFreqTable freqTableOf(const DeviceState& state) {
    OspreyFreqTable table;
    uint16_t words[kOspreyAreaWords];
    for (int k = 0; k < kOspreyAreaWords; ++k)
        words[k] = static_cast<uint16_t>(state.freqTable[2 * k] | (state.freqTable[2 * k + 1] << 8));
    table.fromWords(words);
    return table;
}

}  // namespace lumora
