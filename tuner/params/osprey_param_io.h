// Loading and storing the Osprey parameter block and loading the frequency
// table, one word at a time through the open controller of DeviceState. The
// messages and what follows a failure belong to the calling page.
#pragma once

#include "tuner/params/osprey_param_block.h"

namespace lumora {

struct DeviceState;

enum class ParamResult {
    Done,
    ReadFailure,      // a DevReadWord reported failure
    ChecksumFailure,  // the words read do not match their checksum word
};

// Reads device words 192..255 in ascending order straight into
// state.paramBlock, stopping at the first read that fails (the words read so
// far stay, the failed one keeps its old value). Then checks word 63 against
// the checksum of words 0..62; on a mismatch the block keeps the words read.
ParamResult LoadParamBlock(DeviceState& state);

// Writes block words 0..62 of state.paramBlock to device words 192..254, then
// their computed checksum to device word 255 (not the block's own word 63),
// then resets the controller. Write results are not looked at: the reload
// that follows shows what the controller holds.
void StoreParamBlock(DeviceState& state);

// Reads device words 128..190 into a scratch table whose word 63 is 0 and
// checks them against device word 191. Only a complete table with a matching
// checksum replaces the first 128 bytes of state.freqTable; on any failure the
// in-memory table is untouched.
ParamResult LoadFreqTable(DeviceState& state);

// The in-memory copies as records.
OspreyParamBlock paramBlockOf(const DeviceState& state);
OspreyFreqTable freqTableOf(const DeviceState& state);

}  // namespace lumora
