// The two areas of an Osprey controller's 256-word parameter memory that the
// tuner knows: the frequency table (device words 128..191) and the parameter
// block (device words 192..255). Each is 64 words, low byte first, and its last
// word is a checksum over the 63 words before it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace lumora {

// Device word index of each area's word 0.
constexpr int kOspreyFreqTableFirstWord = 128;
constexpr int kOspreyParamBlockFirstWord = 192;
constexpr int kOspreyAreaWords = 64;
// The checksum covers words 0..62 and lives in word 63.
constexpr int kOspreyChecksumWord = 63;
constexpr uint16_t kOspreyChecksumSeed = 0x0055;

// The checksum of an area: the 16-bit wrap-around sum of its words 0..62 plus
// 0x0055. It is an additive sum, although the page calls it "CRC".
uint16_t ospreyChecksum(const uint16_t* words63);

// Bits of the block's word 0 that the page shows or keeps as flags. Bits 3, 4
// and 8..15 carry no caption.
enum OspreyFlag : uint16_t {
    kFlagChangeFrequency = 1u << 0,
    kFlagAutoCalibration = 1u << 1,
    kFlagAntiBending = 1u << 2,
    kFlagSwapXY = 1u << 5,
    kFlagInverseX = 1u << 6,
    kFlagInverseY = 1u << 7,
};

// Every captioned field of the block except the flag word, in word order.
enum class OspreyField : int {
    ThresholdSingleX,
    ThresholdSingleY,
    ThresholdMultiX2Y,
    ThresholdMultiY2X,
    PressureBase,
    NumsOfX,
    NumsOfY,
    S11WithWhichSDA,
    S1WithWhichSDA,
    DownCnt,
    UpCnt,
    ZOrder,
    ZLevel,
    ZShift,
    ZRange,
    Bid,
    TrackingRange,
    ConstTouchArea,
    TrackEnableArea,
    S11ToWhichPin,
    S1ToWhichPin,
    MergeRangeX,
    MergeRangeY,
    UpdateStraySpeed,
    FreqIndex,
    FreqIndex2,
    AvailableTouch,
    SingleGain,
    MultiGain,
    SingleShiftX,
    SingleShiftY,
    MultiShiftX,
    MultiShiftY,
    KVersion,
    SBusId,
    FwModel,
    UartLcr,
    HidCtrl,
    HidRightClickCnts,
    PressureMax,
    CheckStrayTime,
    LinearFilterLevel,
    SingleLineFilterMax,
    SingleLineFilterInc,
    MultiLineFilterStart,
    MultiLineFilterEnable,
    MultiLineFilterInc,
    TxChStart,
    TxChEnd,
    EdgeCompenLevel,
    EdgeCompenLimit,
    OpenThX1,
    OpenThY1,
    OpenThX2,
    OpenThY2,
    ShortThX1,
    ShortThY1,
    ShortThX2,
    ShortThY2,
    MutualThX1,
    MutualThY1,
    SecondTxChStart,
    RxChStart,
    FirstAukletSDA,
    CdInverse,
    MinDistance,
    ThresholdHigh,
    OpEnable,
    LargeRange,
    ZThresholdEdge,
    ZThresholdCenter,
    FwVersion,
    FourPtLRX,
    FourPtLRY,
    FourPtULX,
    FourPtULY,
    PhysicalX,
    PhysicalY,
    SleepCnt,
    SlowDownTimer,
    ZthresholdBottom,
    ZBottomSize,
    Crc,
    Count
};
constexpr int kOspreyFieldCount = static_cast<int>(OspreyField::Count);

// Where a field lives inside its word.
enum class FieldPart : uint8_t { Word, Low, High };

struct OspreyFieldInfo {
    OspreyField field;
    const char* caption;  // the caption the page gives the field
    int word;             // block word 0..63
    FieldPart part;
};

// One row per OspreyField, in the enum's order.
extern const std::array<OspreyFieldInfo, kOspreyFieldCount> kOspreyFields;
const OspreyFieldInfo& fieldInfo(OspreyField field);

// A 64-word area of the parameter memory as a fixed-layout record: byte 2k is
// the low byte of word k and byte 2k+1 its high byte, whatever the host's byte
// order.
class OspreyArea {
public:
    uint16_t word(int k) const {
        return static_cast<uint16_t>(m_bytes[2 * k] | (m_bytes[2 * k + 1] << 8));
    }
    void setWord(int k, uint16_t v) {
        m_bytes[2 * k] = static_cast<uint8_t>(v & 0xFF);
        m_bytes[2 * k + 1] = static_cast<uint8_t>(v >> 8);
    }
    uint8_t lowByte(int k) const { return m_bytes[2 * k]; }
    uint8_t highByte(int k) const { return m_bytes[2 * k + 1]; }
    void setLowByte(int k, uint8_t v) { m_bytes[2 * k] = v; }
    void setHighByte(int k, uint8_t v) { m_bytes[2 * k + 1] = v; }

    // The checksum of words 0..62 as they are now.
    uint16_t computedChecksum() const;
    // Word 63 matches the checksum of words 0..62.
    bool checksumMatches() const { return word(kOspreyChecksumWord) == computedChecksum(); }

    const uint8_t* bytes() const { return m_bytes; }

    // Conversions to and from a plain word array such as DeviceState.paramBlock.
    void fromWords(const uint16_t* words64);
    void toWords(uint16_t* words64) const;

private:
    uint8_t m_bytes[2 * kOspreyAreaWords] = {};
};

// The parameter block: block word k lives at device word 192 + k.
class OspreyParamBlock : public OspreyArea {
public:
    static OspreyParamBlock fromWordArray(const uint16_t* words64) {
        OspreyParamBlock block;
        block.fromWords(words64);
        return block;
    }

    // Any captioned field by its table row (bytes widen to 16 bits).
    uint16_t field(OspreyField f) const;
    // Stores the low 8 or 16 bits of value, as the field's place holds.
    void setField(OspreyField f, int value);

    uint16_t flags() const { return word(0); }
    void setFlags(uint16_t v) { setWord(0, v); }
    bool flag(OspreyFlag bit) const { return (word(0) & bit) != 0; }

    uint16_t thresholdSingleX() const { return word(1); }
    void setThresholdSingleX(uint16_t v) { setWord(1, v); }
    uint16_t thresholdSingleY() const { return word(2); }
    void setThresholdSingleY(uint16_t v) { setWord(2, v); }
    uint16_t thresholdMultiX2Y() const { return word(3); }
    void setThresholdMultiX2Y(uint16_t v) { setWord(3, v); }
    uint16_t thresholdMultiY2X() const { return word(4); }
    void setThresholdMultiY2X(uint16_t v) { setWord(4, v); }
    uint16_t pressureBase() const { return word(5); }
    void setPressureBase(uint16_t v) { setWord(5, v); }
    uint8_t numsOfX() const { return lowByte(6); }
    void setNumsOfX(uint8_t v) { setLowByte(6, v); }
    uint8_t numsOfY() const { return highByte(6); }
    void setNumsOfY(uint8_t v) { setHighByte(6, v); }
    uint8_t s11WithWhichSDA() const { return lowByte(7); }
    void setS11WithWhichSDA(uint8_t v) { setLowByte(7, v); }
    uint8_t s1WithWhichSDA() const { return highByte(7); }
    void setS1WithWhichSDA(uint8_t v) { setHighByte(7, v); }
    uint8_t downCnt() const { return lowByte(8); }
    void setDownCnt(uint8_t v) { setLowByte(8, v); }
    uint8_t upCnt() const { return highByte(8); }
    void setUpCnt(uint8_t v) { setHighByte(8, v); }
    uint8_t zOrder() const { return lowByte(9); }
    void setZOrder(uint8_t v) { setLowByte(9, v); }
    uint8_t zLevel() const { return highByte(9); }
    void setZLevel(uint8_t v) { setHighByte(9, v); }
    uint8_t zShift() const { return lowByte(10); }
    void setZShift(uint8_t v) { setLowByte(10, v); }
    uint8_t zRange() const { return highByte(10); }
    void setZRange(uint8_t v) { setHighByte(10, v); }
    uint16_t bid() const { return word(11); }
    void setBid(uint16_t v) { setWord(11, v); }
    uint16_t trackingRange() const { return word(12); }
    void setTrackingRange(uint16_t v) { setWord(12, v); }
    uint8_t constTouchArea() const { return lowByte(13); }
    void setConstTouchArea(uint8_t v) { setLowByte(13, v); }
    uint8_t trackEnableArea() const { return highByte(13); }
    void setTrackEnableArea(uint8_t v) { setHighByte(13, v); }
    uint8_t s11ToWhichPin() const { return lowByte(14); }
    void setS11ToWhichPin(uint8_t v) { setLowByte(14, v); }
    uint8_t s1ToWhichPin() const { return highByte(14); }
    void setS1ToWhichPin(uint8_t v) { setHighByte(14, v); }
    uint16_t mergeRangeX() const { return word(15); }
    void setMergeRangeX(uint16_t v) { setWord(15, v); }
    uint16_t mergeRangeY() const { return word(16); }
    void setMergeRangeY(uint16_t v) { setWord(16, v); }
    uint16_t updateStraySpeed() const { return word(17); }
    void setUpdateStraySpeed(uint16_t v) { setWord(17, v); }
    uint8_t freqIndex() const { return lowByte(18); }
    void setFreqIndex(uint8_t v) { setLowByte(18, v); }
    uint8_t freqIndex2() const { return highByte(18); }
    void setFreqIndex2(uint8_t v) { setHighByte(18, v); }
    uint8_t availableTouch() const { return highByte(19); }
    void setAvailableTouch(uint8_t v) { setHighByte(19, v); }
    uint8_t singleGain() const { return lowByte(20); }
    void setSingleGain(uint8_t v) { setLowByte(20, v); }
    uint8_t multiGain() const { return highByte(20); }
    void setMultiGain(uint8_t v) { setHighByte(20, v); }
    uint8_t singleShiftX() const { return lowByte(21); }
    void setSingleShiftX(uint8_t v) { setLowByte(21, v); }
    uint8_t singleShiftY() const { return highByte(21); }
    void setSingleShiftY(uint8_t v) { setHighByte(21, v); }
    uint8_t multiShiftX() const { return lowByte(22); }
    void setMultiShiftX(uint8_t v) { setLowByte(22, v); }
    uint8_t multiShiftY() const { return highByte(22); }
    void setMultiShiftY(uint8_t v) { setHighByte(22, v); }
    uint8_t kVersion() const { return lowByte(23); }
    void setKVersion(uint8_t v) { setLowByte(23, v); }
    uint8_t sBusId() const { return highByte(23); }
    void setSBusId(uint8_t v) { setHighByte(23, v); }
    uint16_t fwModel() const { return word(24); }
    void setFwModel(uint16_t v) { setWord(24, v); }
    uint8_t uartLcr() const { return lowByte(25); }
    void setUartLcr(uint8_t v) { setLowByte(25, v); }
    uint8_t hidCtrl() const { return highByte(25); }
    void setHidCtrl(uint8_t v) { setHighByte(25, v); }
    uint16_t hidRightClickCnts() const { return word(26); }
    void setHidRightClickCnts(uint16_t v) { setWord(26, v); }
    uint16_t pressureMax() const { return word(27); }
    void setPressureMax(uint16_t v) { setWord(27, v); }
    uint16_t checkStrayTime() const { return word(28); }
    void setCheckStrayTime(uint16_t v) { setWord(28, v); }
    uint8_t linearFilterLevel() const { return lowByte(30); }
    void setLinearFilterLevel(uint8_t v) { setLowByte(30, v); }
    uint8_t singleLineFilterMax() const { return highByte(30); }
    void setSingleLineFilterMax(uint8_t v) { setHighByte(30, v); }
    uint8_t singleLineFilterInc() const { return lowByte(31); }
    void setSingleLineFilterInc(uint8_t v) { setLowByte(31, v); }
    uint8_t multiLineFilterStart() const { return highByte(31); }
    void setMultiLineFilterStart(uint8_t v) { setHighByte(31, v); }
    uint8_t multiLineFilterEnable() const { return lowByte(32); }
    void setMultiLineFilterEnable(uint8_t v) { setLowByte(32, v); }
    uint8_t multiLineFilterInc() const { return highByte(32); }
    void setMultiLineFilterInc(uint8_t v) { setHighByte(32, v); }
    uint8_t txChStart() const { return lowByte(33); }
    void setTxChStart(uint8_t v) { setLowByte(33, v); }
    uint8_t txChEnd() const { return highByte(33); }
    void setTxChEnd(uint8_t v) { setHighByte(33, v); }
    uint8_t edgeCompenLevel() const { return lowByte(34); }
    void setEdgeCompenLevel(uint8_t v) { setLowByte(34, v); }
    uint8_t edgeCompenLimit() const { return highByte(34); }
    void setEdgeCompenLimit(uint8_t v) { setHighByte(34, v); }
    uint16_t openThX1() const { return word(35); }
    void setOpenThX1(uint16_t v) { setWord(35, v); }
    uint16_t openThY1() const { return word(36); }
    void setOpenThY1(uint16_t v) { setWord(36, v); }
    uint16_t openThX2() const { return word(37); }
    void setOpenThX2(uint16_t v) { setWord(37, v); }
    uint16_t openThY2() const { return word(38); }
    void setOpenThY2(uint16_t v) { setWord(38, v); }
    uint16_t shortThX1() const { return word(39); }
    void setShortThX1(uint16_t v) { setWord(39, v); }
    uint16_t shortThY1() const { return word(40); }
    void setShortThY1(uint16_t v) { setWord(40, v); }
    uint16_t shortThX2() const { return word(41); }
    void setShortThX2(uint16_t v) { setWord(41, v); }
    uint16_t shortThY2() const { return word(42); }
    void setShortThY2(uint16_t v) { setWord(42, v); }
    uint16_t mutualThX1() const { return word(43); }
    void setMutualThX1(uint16_t v) { setWord(43, v); }
    uint16_t mutualThY1() const { return word(44); }
    void setMutualThY1(uint16_t v) { setWord(44, v); }
    uint8_t secondTxChStart() const { return lowByte(45); }
    void setSecondTxChStart(uint8_t v) { setLowByte(45, v); }
    uint8_t rxChStart() const { return highByte(45); }
    void setRxChStart(uint8_t v) { setHighByte(45, v); }
    uint8_t firstAukletSDA() const { return lowByte(46); }
    void setFirstAukletSDA(uint8_t v) { setLowByte(46, v); }
    uint8_t cdInverse() const { return highByte(46); }
    void setCdInverse(uint8_t v) { setHighByte(46, v); }
    uint16_t minDistance() const { return word(47); }
    void setMinDistance(uint16_t v) { setWord(47, v); }
    uint16_t thresholdHigh() const { return word(48); }
    void setThresholdHigh(uint16_t v) { setWord(48, v); }
    uint8_t opEnable() const { return lowByte(49); }
    void setOpEnable(uint8_t v) { setLowByte(49, v); }
    uint8_t largeRange() const { return highByte(49); }
    void setLargeRange(uint8_t v) { setHighByte(49, v); }
    uint16_t zThresholdEdge() const { return word(50); }
    void setZThresholdEdge(uint16_t v) { setWord(50, v); }
    uint16_t zThresholdCenter() const { return word(51); }
    void setZThresholdCenter(uint16_t v) { setWord(51, v); }
    uint16_t fwVersion() const { return word(53); }
    void setFwVersion(uint16_t v) { setWord(53, v); }
    uint16_t fourPtLRX() const { return word(54); }
    void setFourPtLRX(uint16_t v) { setWord(54, v); }
    uint16_t fourPtLRY() const { return word(55); }
    void setFourPtLRY(uint16_t v) { setWord(55, v); }
    uint16_t fourPtULX() const { return word(56); }
    void setFourPtULX(uint16_t v) { setWord(56, v); }
    uint16_t fourPtULY() const { return word(57); }
    void setFourPtULY(uint16_t v) { setWord(57, v); }
    uint16_t physicalX() const { return word(58); }
    void setPhysicalX(uint16_t v) { setWord(58, v); }
    uint16_t physicalY() const { return word(59); }
    void setPhysicalY(uint16_t v) { setWord(59, v); }
    uint8_t sleepCnt() const { return lowByte(60); }
    void setSleepCnt(uint8_t v) { setLowByte(60, v); }
    uint8_t slowDownTimer() const { return highByte(60); }
    void setSlowDownTimer(uint8_t v) { setHighByte(60, v); }
    uint16_t zthresholdBottom() const { return word(61); }
    void setZthresholdBottom(uint16_t v) { setWord(61, v); }
    uint16_t zBottomSize() const { return word(62); }
    void setZBottomSize(uint16_t v) { setWord(62, v); }
    uint16_t crc() const { return word(63); }
    void setCrc(uint16_t v) { setWord(63, v); }
};

// The frequency table: table word k lives at device word 128 + k for k 0..62;
// device word 191 holds its checksum. The table's own word 63 is never read
// from the controller and stays 0. The tuner does not interpret the contents.
class OspreyFreqTable : public OspreyArea {};

static_assert(sizeof(OspreyArea) == 128, "an area is 64 words");
static_assert(sizeof(OspreyParamBlock) == 128, "the block is 64 words");
static_assert(sizeof(OspreyFreqTable) == 128, "the table is 64 words");

}  // namespace lumora
