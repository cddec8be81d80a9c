// The Kestrel parameters of a Heron-class controller (type codes 6 and 8):
// the general block in device words 64..254 with its five wave and five
// frequency records, the 64-byte analog front-end register block of each
// frequency index, and the PWM table that ties a register block's sample-rate
// code to the shortest scan period it allows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace lumora {

using std::size_t;

// Block byte 2k is the low byte of device word 64 + k; word 255 holds the
// checksum of the 191 words (16-bit wrap-around sum plus 0x0055).
constexpr int kKestrelFirstWord = 64;
constexpr int kKestrelBlockWords = 191;
constexpr int kKestrelBlockBytes = 2 * kKestrelBlockWords;
constexpr int kKestrelChecksumWord = 255;
constexpr uint16_t kKestrelChecksumSeed = 0x0055;
constexpr int kKestrelFreqCount = 5;
constexpr int kKestrelFreqRecordBytes = 24;
constexpr int kKestrelWaveRecordBytes = 12;
constexpr int kKestrelRegisterBytes = 64;

// The sixteen flags of block word 0 (device word 64), bit n = 1 << n.
enum KestrelFlag : uint16_t {
    kKestrelAutoFrequency = 1u << 0,
    kKestrelAutoCalibration = 1u << 1,
    kKestrelRawOffsetRx = 1u << 2,
    kKestrelDrawInComp = 1u << 3,
    kKestrelLiftOffComp = 1u << 4,
    kKestrelPenDigitizer = 1u << 5,
    kKestrelPenDetection = 1u << 6,
    kKestrelWaterFirst = 1u << 7,
    kKestrelRecoveryCheck = 1u << 8,
    kKestrelExtendGroup = 1u << 9,
    kKestrelRdMode = 1u << 10,
    kKestrelSwapXY = 1u << 11,
    kKestrelSwapX = 1u << 12,
    kKestrelSwapY = 1u << 13,
    kKestrelMarginImprove = 1u << 14,
    kKestrelFwRaw = 1u << 15,
};

// The captioned general fields, in block order.
enum class KestrelField : int {
    CheckGhostCnt,
    IdleProcCnt,
    HidRightClickCnts,
    MinDistance,
    PredictLevel,
    VUnit,
    SuspendCnt,
    SlowDownCnt,
    LengthOfTx,
    LengthOfRx,
    MarginPosTx0,
    MarginPosTxN,
    MarginPosRx0,
    MarginPosRxN,
    ThreePtLLX,
    ThreePtLLY,
    ThreePtULX,
    ThreePtULY,
    ThreePtURX,
    ThreePtURY,
    ThreePtLRX,
    ThreePtLRY,
    ChkStrayTimeOut,
    LL,
    UL,
    UR,
    LR,
    RawOffsetTh,
    FilterMax,
    FilterMin,
    FilterOrder,
    FilterShift,
    DownCnt,
    UpCnt,
    ClickRange,
    HidCtrl,
    SleepCnt,
    DrawInSpeed,
    DrawOutSpeed,
    HVICGannetVotlage,
    NoiseInterval,
    NoiseCnt,
    ChkStrayTh,
    SlowTh,
    DrawInRange,
    SlowConst,
    MeasureStartCh,
    TxStartChannel,
    TxEndChannel,
    TxStartChannelIC2,
    NumsOfTx,
    NumsOfRx,
    MergeDistance,
    NumsOfFreq,
    FirstConstX,
    FirstConstY,
    TxMultiplier,
    WaterSkip,
    DrawInAcc,
    EdgeClamp,
    DrawInRangeA,
    DrawInRangeB,
    DrawInRangeC,
    Rx0MassRatio,
    RxNMassRatio,
    ChkStrayThWater,
    Count
};
constexpr int kKestrelFieldCount = static_cast<int>(KestrelField::Count);

struct KestrelFieldInfo {
    const char* caption;
    int offset;      // block byte
    int width;       // 1 or 2 bytes, low byte first
    bool isSigned;   // the four "MarginPos" words
};
const KestrelFieldInfo& fieldInfo(KestrelField field);

// One frequency record: 24 bytes at block byte 256 + 24n.
struct KestrelFreqRecord {
    std::array<uint8_t, kKestrelFreqRecordBytes> bytes{};

    // Scan period; the scan frequency in kHz is 12000 / period.
    int period() const { return bytes[0]; }
    int pulse() const { return bytes[1]; }
    static constexpr int kTouchThresholdByte = 5;
    static constexpr int kWaterThresholdByte = 7;

    int touchThreshold() const { return bytes[kTouchThresholdByte]; }
    int noiseThreshold() const { return bytes[6]; }
    int waterThreshold() const { return bytes[kWaterThresholdByte]; }
    int riIndex() const { return word(8); }
    int waterScCtrl() const { return bytes[10]; }
    int waterGainIndex() const { return bytes[10] >> 5; }
    int waterK1() const { return bytes[10] & 0x1F; }
    int waterPhaseRegister() const { return bytes[11]; }
    int waterPhase() const { return bytes[11] & 0x1F; }
    int touchMassTh() const { return word(12); }
    int penMassTh() const { return word(14); }
    int rawOffsetTh() const { return bytes[16]; }
    int riWaterIndex() const { return word(18); }

    void setPeriod(int v) { bytes[0] = static_cast<uint8_t>(v); }

private:
    int word(int at) const { return bytes[size_t(at)] | (bytes[size_t(at) + 1] << 8); }
};

// One wave record: 12 bytes at block byte 172 + 12n.
struct KestrelWaveRecord {
    std::array<uint8_t, kKestrelWaveRecordBytes> bytes{};

    int waterWaveN() const { return bytes[0]; }
    int rangeA() const { return bytes[1]; }  // the two ends of "WaveN Range"
    int rangeB() const { return bytes[2]; }
    int txB() const { return bytes[3]; }
};

// The general block as the controller holds it.
class KestrelParamBlock {
public:
    std::array<uint8_t, kKestrelBlockBytes> bytes{};

    uint16_t word(int k) const;  // block word k = device word 64 + k
    void setWord(int k, uint16_t value);

    uint16_t flags() const { return word(0); }
    void setFlags(uint16_t value) { setWord(0, value); }
    bool flag(KestrelFlag f) const { return (flags() & f) != 0; }
    void setFlag(KestrelFlag f, bool on);

    // A field's value: 8-bit and 16-bit fields read unsigned, the
    // "MarginPos" words signed.
    int value(KestrelField field) const;
    void setValue(KestrelField field, int value);

    // Named accessors of what other code reads most.
    int lengthOfTx() const { return value(KestrelField::LengthOfTx); }
    int lengthOfRx() const { return value(KestrelField::LengthOfRx); }
    int numsOfTx() const { return value(KestrelField::NumsOfTx); }
    int numsOfFreq() const { return value(KestrelField::NumsOfFreq); }
    int chkStrayTh() const { return value(KestrelField::ChkStrayTh); }
    int chkStrayThWater() const { return value(KestrelField::ChkStrayThWater); }

    // Records 0..4; the caller checks the index.
    KestrelFreqRecord freqRecord(int n) const;
    void setFreqRecord(int n, const KestrelFreqRecord& record);
    KestrelWaveRecord waveRecord(int n) const;
    void setWaveRecord(int n, const KestrelWaveRecord& record);

    // The checksum the controller keeps in device word 255.
    uint16_t checksum() const;

    // Every byte that carries a caption (flags, general fields, the captioned
    // bytes of the wave and frequency records) is taken from `values`; all
    // other bytes stay as they are here.
    void takeCaptionedFrom(const KestrelParamBlock& values);

    bool operator==(const KestrelParamBlock&) const = default;
};

// The first byte of frequency record n and of wave record n.
constexpr int freqRecordOffset(int n) { return 256 + kKestrelFreqRecordBytes * n; }
constexpr int waveRecordOffset(int n) { return 172 + kKestrelWaveRecordBytes * n; }

// The analog front-end register block of one frequency index.
struct KestrelRegisters {
    std::array<uint8_t, kKestrelRegisterBytes> bytes{};

    int mode() const { return bytes[0]; }
    int scCtrl() const { return bytes[1]; }
    int gainIndex() const { return bytes[1] >> 5; }
    int k1() const { return bytes[1] & 0x1F; }
    int phaseRegister() const { return bytes[2]; }
    int phase() const { return bytes[2] & 0x1F; }
    int waveRegister() const { return bytes[3]; }
    int waveN() const { return bytes[3] & 0x1F; }
    int tskipAndPskip() const { return bytes[4]; }
    int pskip() const { return bytes[4] >> 5; }
    int sampleRate() const { return bytes[5]; }
    void setSampleRate(int code) { bytes[5] = static_cast<uint8_t>(code); }
    // "OfsXN-0" .. "OfsXN-6": the DAC positions in bytes 19..25.
    int dacPosition(int i) const { return bytes[size_t(19 + i)]; }

    // What a save sends: the block as the controller holds it now, with bytes
    // 0..4 and the DAC positions 19..25 as `loaded` had them and byte 5 the
    // sample-rate code of the PWM entry in use.
    void restoreSavedBytes(const KestrelRegisters& loaded, int sampleRate);

    bool operator==(const KestrelRegisters&) const = default;
};
constexpr int kDacPositionCount = 7;

// One entry of the fixed PWM table.
struct PwmEntry {
    uint8_t sampleRate;
    int period;
    // A frequency record's "Period" below this does not fit the entry.
    int minimumPeriod() const { return period + 1; }
};
constexpr int kPwmEntryCount = 36;
const std::array<PwmEntry, kPwmEntryCount>& pwmTable();
// The entry (0-based) whose sample-rate code is `code`, or -1.
int pwmEntryFor(int code);
// The entry a load falls back to when the code is not in the table: 0x26.
constexpr int kFallbackPwmEntry = kPwmEntryCount - 1;

}  // namespace lumora
