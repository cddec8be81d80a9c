#include "tuner/kestrel/kestrel_param_block.h"

namespace lumora {

namespace {

// Indexed by KestrelField.
constexpr KestrelFieldInfo kFields[kKestrelFieldCount] = {
    {"CheckGhostCnt", 2, 2, false},
    {"IdleProcCnt", 4, 2, false},
    {"HidRightClickCnts", 6, 2, false},
    {"MinDistance", 8, 2, false},
    {"PredictLevel", 20, 2, false},
    {"VUnit", 22, 2, false},
    {"SuspendCnt", 24, 2, false},
    {"SlowDownCnt", 38, 2, false},
    {"LengthOfTx", 40, 2, false},
    {"LengthOfRx", 42, 2, false},
    {"MarginPosTx0", 44, 2, true},
    {"MarginPosTxN", 46, 2, true},
    {"MarginPosRx0", 48, 2, true},
    {"MarginPosRxN", 50, 2, true},
    {"3PT LLX", 52, 2, false},
    {"3PT LLY", 54, 2, false},
    {"3PT ULX", 56, 2, false},
    {"3PT ULY", 58, 2, false},
    {"3PT URX", 60, 2, false},
    {"3PT URY", 62, 2, false},
    {"3PT LRX", 64, 2, false},
    {"3PT LRY", 66, 2, false},
    {"ChkStrayTimeOut", 68, 2, false},
    {"LL", 70, 2, false},
    {"UL", 72, 2, false},
    {"UR", 74, 2, false},
    {"LR", 76, 2, false},
    {"RawOffsetTh", 128, 1, false},
    {"FilterMax", 129, 1, false},
    {"FilterMin", 130, 1, false},
    {"FilterOrder", 134, 1, false},
    {"FilterShift", 136, 1, false},
    {"DownCnt", 138, 1, false},
    {"UpCnt", 139, 1, false},
    {"ClickRange", 140, 1, false},
    {"HidCtrl", 141, 1, false},
    {"SleepCnt", 142, 1, false},
    {"DrawInSpeed", 143, 1, false},
    {"DrawOutSpeed", 144, 1, false},
    {"HVICGannetVotlage", 147, 1, false},
    {"NoiseInterval", 148, 1, false},
    {"NoiseCnt", 149, 1, false},
    {"ChkStrayTh", 151, 1, false},
    {"SlowTh", 153, 1, false},
    {"DrawInRange", 154, 1, false},
    {"SlowConst", 155, 1, false},
    {"MeasureStartCh", 156, 1, false},
    {"TxStartChannel", 157, 1, false},
    {"TxEndChannel", 158, 1, false},
    {"TxStartChannel IC2", 159, 1, false},
    {"NumsOfTx", 160, 1, false},
    {"NumsOfRx", 161, 1, false},
    {"MergeDistance", 162, 1, false},
    {"NumsOfFreq", 163, 1, false},
    {"FirstConstX", 164, 1, false},
    {"FirstConstY", 165, 1, false},
    {"TxMultiplier", 168, 1, false},
    {"WaterSkip", 169, 1, false},
    {"DrawInAcc", 230, 1, false},
    {"EdgeClamp", 231, 1, false},
    {"DrawInRange-A", 232, 1, false},
    {"DrawInRange-B", 233, 1, false},
    {"DrawInRange-C", 234, 1, false},
    {"Rx0MassRatio", 235, 1, false},
    {"RxNMassRatio", 236, 1, false},
    {"ChkStrayThWater", 237, 1, false},
};

// Captioned bytes of a frequency record; 2..4, 17 and 20..23 carry none.
constexpr int kCaptionedFreqBytes[] = {0, 1, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 18, 19};
// Captioned bytes of a wave record: "WaterWaveN", "A", "B", "TxB".
constexpr int kCaptionedWaveBytes = 4;

// The sample-rate code of each entry and the period it runs at.
constexpr std::array<PwmEntry, kPwmEntryCount> kPwmTable = {{
    {0x56, 120}, {0x54, 80},  {0x47, 111}, {0x46, 96},  {0x45, 80},  {0x44, 63},
    {0x3A, 120}, {0x39, 108}, {0x38, 96},  {0x37, 83},  {0x36, 72},  {0x35, 60},
    {0x34, 48},  {0xF3, 180}, {0xE3, 168}, {0xD3, 156}, {0xC3, 144}, {0xB3, 132},
    {0xA3, 120}, {0x93, 108}, {0x83, 96},  {0x73, 84},  {0x63, 72},  {0x53, 60},
    {0x43, 48},  {0x33, 36},  {0x2F, 120}, {0x2E, 112}, {0x2D, 104}, {0x2C, 96},
    {0x2B, 88},  {0x2A, 80},  {0x29, 72},  {0x28, 64},  {0x27, 56},  {0x26, 48},
}};

}  // namespace

const KestrelFieldInfo& fieldInfo(KestrelField field) { return kFields[static_cast<int>(field)]; }

uint16_t KestrelParamBlock::word(int k) const {
    return static_cast<uint16_t>(bytes[size_t(2 * k)] | (bytes[size_t(2 * k + 1)] << 8));
}

void KestrelParamBlock::setWord(int k, uint16_t value) {
    bytes[size_t(2 * k)] = static_cast<uint8_t>(value & 0xFF);
    bytes[size_t(2 * k + 1)] = static_cast<uint8_t>(value >> 8);
}

void KestrelParamBlock::setFlag(KestrelFlag f, bool on) {
    setFlags(static_cast<uint16_t>(on ? (flags() | f) : (flags() & ~f)));
}

int KestrelParamBlock::value(KestrelField field) const {
    const KestrelFieldInfo& info = fieldInfo(field);
    const size_t at = size_t(info.offset);
    if (info.width == 1) return bytes[at];
    const uint16_t v = static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
    return info.isSigned ? static_cast<int16_t>(v) : v;
}

void KestrelParamBlock::setValue(KestrelField field, int value) {
    const KestrelFieldInfo& info = fieldInfo(field);
    const size_t at = size_t(info.offset);
    bytes[at] = static_cast<uint8_t>(value & 0xFF);
    if (info.width == 2) bytes[at + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

namespace {

// A record is a copy of its bytes of the block; setting one copies it back.
template <size_t N>
std::array<uint8_t, N> bytesAt(const std::array<uint8_t, kKestrelBlockBytes>& block, int at) {
    std::array<uint8_t, N> out{};
    for (size_t i = 0; i < N; ++i) out[i] = block[size_t(at) + i];
    return out;
}
template <size_t N>
void putBytesAt(std::array<uint8_t, kKestrelBlockBytes>& block, int at, const std::array<uint8_t, N>& in) {
    for (size_t i = 0; i < N; ++i) block[size_t(at) + i] = in[i];
}

}  // namespace

KestrelFreqRecord KestrelParamBlock::freqRecord(int n) const {
    return {bytesAt<kKestrelFreqRecordBytes>(bytes, freqRecordOffset(n))};
}

void KestrelParamBlock::setFreqRecord(int n, const KestrelFreqRecord& record) {
    putBytesAt(bytes, freqRecordOffset(n), record.bytes);
}

KestrelWaveRecord KestrelParamBlock::waveRecord(int n) const {
    return {bytesAt<kKestrelWaveRecordBytes>(bytes, waveRecordOffset(n))};
}

void KestrelParamBlock::setWaveRecord(int n, const KestrelWaveRecord& record) {
    putBytesAt(bytes, waveRecordOffset(n), record.bytes);
}

uint16_t KestrelParamBlock::checksum() const {
    uint16_t sum = kKestrelChecksumSeed;
    for (int k = 0; k < kKestrelBlockWords; ++k) sum = static_cast<uint16_t>(sum + word(k));
    return sum;
}

void KestrelParamBlock::takeCaptionedFrom(const KestrelParamBlock& values) {
    auto take = [&](int at, int count) {
        for (int i = 0; i < count; ++i) bytes[size_t(at + i)] = values.bytes[size_t(at + i)];
    };
    take(0, 2);  // the flag word
    for (const KestrelFieldInfo& f : kFields) take(f.offset, f.width);
    for (int n = 0; n < kKestrelFreqCount; ++n) {
        take(waveRecordOffset(n), kCaptionedWaveBytes);
        for (int b : kCaptionedFreqBytes) take(freqRecordOffset(n) + b, 1);
    }
}

void KestrelRegisters::restoreSavedBytes(const KestrelRegisters& loaded, int sampleRate) {
    for (size_t i = 0; i <= 4; ++i) bytes[i] = loaded.bytes[i];
    for (size_t i = 19; i <= 25; ++i) bytes[i] = loaded.bytes[i];
    setSampleRate(sampleRate);
}

const std::array<PwmEntry, kPwmEntryCount>& pwmTable() { return kPwmTable; }

int pwmEntryFor(int code) {
    for (int i = 0; i < kPwmEntryCount; ++i)
        if (kPwmTable[size_t(i)].sampleRate == code) return i;
    return -1;
}

}  // namespace lumora
