#include "tuner/params/osprey_param_block.h"

namespace lumora {

namespace {

constexpr std::array<OspreyFieldInfo, kOspreyFieldCount> kFieldTable = {{
    {OspreyField::ThresholdSingleX, "ThresholdSingleX", 1, FieldPart::Word},
    {OspreyField::ThresholdSingleY, "ThresholdSingleY", 2, FieldPart::Word},
    {OspreyField::ThresholdMultiX2Y, "ThresholdMulti X2Y", 3, FieldPart::Word},
    {OspreyField::ThresholdMultiY2X, "ThresholdMulti Y2X", 4, FieldPart::Word},
    {OspreyField::PressureBase, "PressureBase", 5, FieldPart::Word},
    {OspreyField::NumsOfX, "NumsOfX", 6, FieldPart::Low},
    {OspreyField::NumsOfY, "NumsOfY", 6, FieldPart::High},
    {OspreyField::S11WithWhichSDA, "S11WithWhichSDA", 7, FieldPart::Low},
    {OspreyField::S1WithWhichSDA, "S1WithWhichSDA", 7, FieldPart::High},
    {OspreyField::DownCnt, "DownCnt", 8, FieldPart::Low},
    {OspreyField::UpCnt, "UpCnt", 8, FieldPart::High},
    {OspreyField::ZOrder, "ZOrder", 9, FieldPart::Low},
    {OspreyField::ZLevel, "ZLevel", 9, FieldPart::High},
    {OspreyField::ZShift, "ZShift", 10, FieldPart::Low},
    {OspreyField::ZRange, "ZRange", 10, FieldPart::High},
    {OspreyField::Bid, "BID", 11, FieldPart::Word},
    {OspreyField::TrackingRange, "TrackingRange", 12, FieldPart::Word},
    {OspreyField::ConstTouchArea, "ConstTouchArea", 13, FieldPart::Low},
    {OspreyField::TrackEnableArea, "TrackEnableArea", 13, FieldPart::High},
    {OspreyField::S11ToWhichPin, "S11ToWhichPin", 14, FieldPart::Low},
    {OspreyField::S1ToWhichPin, "S1ToWhichPin", 14, FieldPart::High},
    {OspreyField::MergeRangeX, "MergeRangeX", 15, FieldPart::Word},
    {OspreyField::MergeRangeY, "MergeRangeY", 16, FieldPart::Word},
    {OspreyField::UpdateStraySpeed, "UpdateStraySpeed", 17, FieldPart::Word},
    {OspreyField::FreqIndex, "FreqIndex", 18, FieldPart::Low},
    {OspreyField::FreqIndex2, "FreqIndex2", 18, FieldPart::High},
    {OspreyField::AvailableTouch, "AvailableTouch", 19, FieldPart::High},
    {OspreyField::SingleGain, "SingleGain", 20, FieldPart::Low},
    {OspreyField::MultiGain, "MultiGain", 20, FieldPart::High},
    {OspreyField::SingleShiftX, "SingleShiftX", 21, FieldPart::Low},
    {OspreyField::SingleShiftY, "SingleShiftY", 21, FieldPart::High},
    {OspreyField::MultiShiftX, "MultiShiftX", 22, FieldPart::Low},
    {OspreyField::MultiShiftY, "MultiShiftY", 22, FieldPart::High},
    {OspreyField::KVersion, "KVersion", 23, FieldPart::Low},
    {OspreyField::SBusId, "SBusID", 23, FieldPart::High},
    {OspreyField::FwModel, "FWModel", 24, FieldPart::Word},
    {OspreyField::UartLcr, "UartLCR", 25, FieldPart::Low},
    {OspreyField::HidCtrl, "HidCtrl", 25, FieldPart::High},
    {OspreyField::HidRightClickCnts, "HidRightClickCnts", 26, FieldPart::Word},
    {OspreyField::PressureMax, "PressureMax", 27, FieldPart::Word},
    {OspreyField::CheckStrayTime, "CheckStrayTime", 28, FieldPart::Word},
    {OspreyField::LinearFilterLevel, "LinearFilterLevel", 30, FieldPart::Low},
    {OspreyField::SingleLineFilterMax, "SingleLineFilterMax", 30, FieldPart::High},
    {OspreyField::SingleLineFilterInc, "SingleLineFilterInc", 31, FieldPart::Low},
    {OspreyField::MultiLineFilterStart, "MultiLineFilterStart", 31, FieldPart::High},
    {OspreyField::MultiLineFilterEnable, "MultiLineFilterEnable", 32, FieldPart::Low},
    {OspreyField::MultiLineFilterInc, "MultiLineFilterInc", 32, FieldPart::High},
    {OspreyField::TxChStart, "TxChStart", 33, FieldPart::Low},
    {OspreyField::TxChEnd, "TxChEnd", 33, FieldPart::High},
    {OspreyField::EdgeCompenLevel, "EdgeCompenLevel", 34, FieldPart::Low},
    {OspreyField::EdgeCompenLimit, "EdgeCompenLimit", 34, FieldPart::High},
    {OspreyField::OpenThX1, "Open Th X1", 35, FieldPart::Word},
    {OspreyField::OpenThY1, "Open Th Y1", 36, FieldPart::Word},
    {OspreyField::OpenThX2, "Open Th X2", 37, FieldPart::Word},
    {OspreyField::OpenThY2, "Open Th Y2", 38, FieldPart::Word},
    {OspreyField::ShortThX1, "Short Th X1", 39, FieldPart::Word},
    {OspreyField::ShortThY1, "Short Th Y1", 40, FieldPart::Word},
    {OspreyField::ShortThX2, "Short Th X2", 41, FieldPart::Word},
    {OspreyField::ShortThY2, "Short Th Y2", 42, FieldPart::Word},
    {OspreyField::MutualThX1, "Mutual Th X1", 43, FieldPart::Word},
    {OspreyField::MutualThY1, "Mutual Th Y1", 44, FieldPart::Word},
    {OspreyField::SecondTxChStart, "2ndTxChStart", 45, FieldPart::Low},
    {OspreyField::RxChStart, "RxChStart", 45, FieldPart::High},
    {OspreyField::FirstAukletSDA, "1stAukletSDA", 46, FieldPart::Low},
    {OspreyField::CdInverse, "CDInverse", 46, FieldPart::High},
    {OspreyField::MinDistance, "MinDistance", 47, FieldPart::Word},
    {OspreyField::ThresholdHigh, "ThresholdHigh", 48, FieldPart::Word},
    {OspreyField::OpEnable, "OPEnable", 49, FieldPart::Low},
    {OspreyField::LargeRange, "LargeRange", 49, FieldPart::High},
    {OspreyField::ZThresholdEdge, "ZThresholdEdge", 50, FieldPart::Word},
    {OspreyField::ZThresholdCenter, "ZThresholdCenter", 51, FieldPart::Word},
    {OspreyField::FwVersion, "FWVersion", 53, FieldPart::Word},
    {OspreyField::FourPtLRX, "4PT LRX", 54, FieldPart::Word},
    {OspreyField::FourPtLRY, "4PT LRY", 55, FieldPart::Word},
    {OspreyField::FourPtULX, "4PT ULX", 56, FieldPart::Word},
    {OspreyField::FourPtULY, "4PT ULY", 57, FieldPart::Word},
    {OspreyField::PhysicalX, "PhysicalX", 58, FieldPart::Word},
    {OspreyField::PhysicalY, "PhysicalY", 59, FieldPart::Word},
    {OspreyField::SleepCnt, "SleepCnt", 60, FieldPart::Low},
    {OspreyField::SlowDownTimer, "SlowDownTimer", 60, FieldPart::High},
    {OspreyField::ZthresholdBottom, "ZthresholdBottom", 61, FieldPart::Word},
    {OspreyField::ZBottomSize, "ZBottomSize", 62, FieldPart::Word},
    {OspreyField::Crc, "CRC", 63, FieldPart::Word},
}};

// fieldInfo() indexes the table by the enum, so the rows must keep its order.
constexpr bool rowsFollowTheEnum() {
    for (int i = 0; i < kOspreyFieldCount; ++i)
        if (static_cast<int>(kFieldTable[static_cast<std::size_t>(i)].field) != i) return false;
    return true;
}
static_assert(rowsFollowTheEnum(), "kOspreyFields rows must follow the OspreyField order");

}  // namespace

// Constant-initialised, so pages may use it during static initialisation.
constinit const std::array<OspreyFieldInfo, kOspreyFieldCount> kOspreyFields = kFieldTable;

const OspreyFieldInfo& fieldInfo(OspreyField field) {
    return kOspreyFields[static_cast<std::size_t>(field)];
}

uint16_t ospreyChecksum(const uint16_t* words63) {
    uint16_t sum = kOspreyChecksumSeed;
    for (int k = 0; k < kOspreyChecksumWord; ++k) sum = static_cast<uint16_t>(sum + words63[k]);
    return sum;
}

uint16_t OspreyArea::computedChecksum() const {
    uint16_t words[kOspreyChecksumWord];
    for (int k = 0; k < kOspreyChecksumWord; ++k) words[k] = word(k);
    return ospreyChecksum(words);
}

void OspreyArea::fromWords(const uint16_t* words64) {
    for (int k = 0; k < kOspreyAreaWords; ++k) setWord(k, words64[k]);
}

void OspreyArea::toWords(uint16_t* words64) const {
    for (int k = 0; k < kOspreyAreaWords; ++k) words64[k] = word(k);
}

uint16_t OspreyParamBlock::field(OspreyField f) const {
    const OspreyFieldInfo& info = fieldInfo(f);
    switch (info.part) {
    case FieldPart::Low: return lowByte(info.word);
    case FieldPart::High: return highByte(info.word);
    case FieldPart::Word: break;
    }
    return word(info.word);
}

void OspreyParamBlock::setField(OspreyField f, int value) {
    const OspreyFieldInfo& info = fieldInfo(f);
    switch (info.part) {
    case FieldPart::Low: setLowByte(info.word, static_cast<uint8_t>(value & 0xFF)); return;
    case FieldPart::High: setHighByte(info.word, static_cast<uint8_t>(value & 0xFF)); return;
    case FieldPart::Word: break;
    }
    setWord(info.word, static_cast<uint16_t>(value & 0xFFFF));
}

}  // namespace lumora
