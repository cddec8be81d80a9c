// The ".def" header that firmware builds include: the Kestrel parameters as
// "#define" lines. General fields are written only where they differ from a
// fixed set of reference values; the flag word, the channel lengths, the DAC
// positions and the five frequency blocks are always written.
#pragma once

#include <QByteArray>
#include <functional>

#include "tuner/kestrel/kestrel_param_block.h"

namespace lumora {

// Overwrites the fields that have a fixed reference value (the values a
// firmware build starts from); every other field keeps what it holds.
void applyReferenceValues(KestrelParamBlock& reference);

struct KestrelHeaderInputs {
    // The page's values: the flags as the check boxes show them and every
    // general field (a define is written where it differs from `reference`).
    KestrelParamBlock values;
    // The reference copy after applyReferenceValues().
    KestrelParamBlock reference;
    // The working copy: "LengthOfTx", "LengthOfRx", the frequency and the
    // wave records.
    KestrelParamBlock working;
    // The register block of the last load: its DAC positions "OfsXN-0..6".
    KestrelRegisters loadedRegisters;
    QByteArray timeText;   // local time as "%Y-%m-%d-%H-%M-r%S"
    QByteArray titleBase;
    QByteArray modelName;
    QByteArray fwVersion;
};

// Reads the register block of a frequency index from the controller.
using RegisterReader = std::function<bool(int index, KestrelRegisters& out)>;

struct KestrelHeader {
    QByteArray text;
    // The frequency index whose register read failed (the blocks from it on
    // are missing), or -1 when all five were read.
    int failedIndex = -1;
};

// Builds the whole file text, reading the register blocks 0..4 in order
// through `readRegisters` and stopping the frequency part at the first
// failed read.
KestrelHeader buildKestrelHeader(const KestrelHeaderInputs& in, const RegisterReader& readRegisters);

// The comment line of a frequency block: the scan frequency 12000 / period.
// A period of 0 has no frequency; it prints "inf" (what C's printf writes for
// the infinite quotient) without dividing by zero.
QByteArray freqIndexComment(int index, int period, bool end);

}  // namespace lumora
