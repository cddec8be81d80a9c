#include "vexlink/virtual/param_memory.h"

namespace vexlink::virt {

namespace {

uint16_t bytes(int low, int high) { return static_cast<uint16_t>((low & 0xFF) | ((high & 0xFF) << 8)); }

// The Osprey parameter block (words 192..254). Values are those of a
// tuned 15-inch panel; every field the parameters page limits on save is
// inside its limit and both gains are multiples of 2 x "FreqIndex2", so a
// save without changes writes back exactly what was read.
void fillOspreyBlock(WordMemory& m, int xCount, int yCount) {
    const int freqIndex2 = 3;
    const int singleCycle = 7, multiCycle = 10;
    const uint16_t block[63] = {
        0x0003,                          // 0 flags: CHANGE FREQUENCY, AUTO CALIBRATION
        120, 120,                        // 1, 2 ThresholdSingleX / Y
        1600, 1600,                      // 3, 4 ThresholdMulti X2Y / Y2X
        512,                             // 5 PressureBase
        bytes(xCount, yCount),           // 6 NumsOfX / NumsOfY
        bytes(0, 1),                     // 7 S11WithWhichSDA / S1WithWhichSDA
        bytes(2, 3),                     // 8 DownCnt / UpCnt
        bytes(2, 4),                     // 9 ZOrder / ZLevel
        bytes(3, 40),                    // 10 ZShift / ZRange
        0x0401,                          // 11 BID
        64,                              // 12 TrackingRange
        bytes(8, 24),                    // 13 ConstTouchArea / TrackEnableArea
        bytes(11, 1),                    // 14 S11ToWhichPin / S1ToWhichPin
        96, 96,                          // 15, 16 MergeRangeX / Y
        16,                              // 17 UpdateStraySpeed
        bytes(2, freqIndex2),            // 18 FreqIndex / FreqIndex2
        bytes(0, 5),                     // 19 (no caption) / AvailableTouch 1..5
        bytes(2 * singleCycle * freqIndex2, 2 * multiCycle * freqIndex2),  // 20 gains
        bytes(4, 4),                     // 21 SingleShiftX / Y
        bytes(5, 5),                     // 22 MultiShiftX / Y
        bytes(3, 0x12),                  // 23 KVersion / SBusID
        0x4030,                          // 24 FWModel
        bytes(0x03, 0x0F),               // 25 UartLCR / HidCtrl
        30,                              // 26 right-click time, 30 x 30 ms
        1023,                            // 27 PressureMax
        300,                             // 28 CheckStrayTime
        0,                               // 29 (no caption)
        bytes(8, 12),                    // 30 LinearFilterLevel 3..15 / SingleLineFilterMax
        bytes(2, 4),                     // 31 SingleLineFilterInc / MultiLineFilterStart
        bytes(1, 2),                     // 32 MultiLineFilterEnable / MultiLineFilterInc
        bytes(0, xCount - 1),            // 33 TxChStart / TxChEnd
        bytes(40, 12),                   // 34 EdgeCompenLevel >= 10 / EdgeCompenLimit 3..20
        200, 200, 180, 180,              // 35..38 Open Th X1 Y1 X2 Y2
        600, 600, 550, 550,              // 39..42 Short Th X1 Y1 X2 Y2
        2500, 2500,                      // 43, 44 Mutual Th X1 Y1
        bytes(0, 0),                     // 45 2ndTxChStart / RxChStart
        bytes(1, 0),                     // 46 1stAukletSDA / CDInverse
        24,                              // 47 MinDistance
        3000,                            // 48 ThresholdHigh
        bytes(1, 0),                     // 49 OPEnable / LargeRange
        900, 1100,                       // 50, 51 ZThresholdEdge / Center
        0,                               // 52 (no caption)
        0x4217,                          // 53 FWVersion
        1985, 1990, 62, 58,              // 54..57 4PT LRX LRY ULX ULY
        3450, 2600,                      // 58, 59 PhysicalX / Y (0.1 mm)
        bytes(10, 5),                    // 60 SleepCnt / SlowDownTimer
        800,                             // 61 ZthresholdBottom
        3,                               // 62 ZBottomSize
    };
    for (int k = 0; k < 63; ++k) m[osprey::kBlock + k] = block[k];
}

// The Osprey frequency table (words 128..190): five scan frequencies of
// twelve words each (period, pulse count, gains, offsets), then spares.
void fillOspreyFreqTable(WordMemory& m) {
    for (int k = 0; k < 63; ++k) m[osprey::kFreqTable + k] = 0;
    for (int n = 0; n < kFrequencyCount; ++n) {
        uint16_t* e = &m[osprey::kFreqTable + 12 * n];
        e[0] = static_cast<uint16_t>(120 - 6 * n);  // period in 0.1 us
        e[1] = 16;                                  // pulses per line
        e[2] = bytes(3, 2);                         // Tx gain / Rx gain
        e[3] = 512;                                 // AD offset
        e[4] = static_cast<uint16_t>(0x0800 + 0x10 * n);
        e[5] = 40;                                  // noise limit
        e[6] = 0x0101;
    }
}

// The Kestrel parameter block of the Heron class (words 64..254).
void fillHeronBlock(WordMemory& m, int xCount, int yCount) {
    auto w = [&](int device, uint16_t value) { m[device] = value; };
    for (int k = 64; k <= 254; ++k) m[k] = 0;
    w(64, 0x0103);        // Auto Frequency, Auto Calibration, Recovery Check
    w(65, 8);             // CheckGhostCnt
    w(66, 200);           // IdleProcCnt
    w(67, 30);            // HidRightClickCnts
    w(68, 24);            // MinDistance
    w(74, 2);             // PredictLevel
    w(75, 64);            // VUnit
    w(76, 600);           // SuspendCnt
    w(83, 20);            // SlowDownCnt
    w(84, 3450);          // LengthOfTx
    w(85, 2600);          // LengthOfRx
    w(86, 12);            // MarginPosTx0
    w(87, static_cast<uint16_t>(-12));
    w(88, 10);
    w(89, static_cast<uint16_t>(-10));
    const uint16_t points[8] = {60, 1990, 60, 58, 1988, 58, 1988, 1990};  // 3PT LL UL UR LR
    for (int i = 0; i < 8; ++i) w(90 + i, points[i]);
    w(98, 300);           // ChkStrayTimeOut
    for (int i = 0; i < 4; ++i) w(99 + i, 40);  // LL UL UR LR
    w(128, bytes(30, 12));   // RawOffsetTh / FilterMax
    w(129, bytes(2, 0));     // FilterMin
    w(131, bytes(3, 0));     // FilterOrder
    w(132, bytes(2, 0));     // FilterShift
    w(133, bytes(2, 3));     // DownCnt / UpCnt
    w(134, bytes(16, 0x0F)); // ClickRange / HidCtrl
    w(135, bytes(10, 4));    // SleepCnt / DrawInSpeed
    w(136, bytes(4, 0));     // DrawOutSpeed
    w(137, bytes(0, 7));     // HVICGannetVotlage
    w(138, bytes(8, 3));     // NoiseInterval / NoiseCnt
    w(139, bytes(0, 40));    // ChkStrayTh
    w(140, bytes(0, 20));    // SlowTh
    w(141, bytes(30, 5));    // DrawInRange / SlowConst
    w(142, bytes(0, 0));     // MeasureStartCh / TxStartChannel
    w(143, bytes(xCount - 1, 0));  // TxEndChannel / TxStartChannel IC2
    w(144, bytes(xCount, yCount)); // NumsOfTx / NumsOfRx
    w(145, bytes(20, kFrequencyCount));  // MergeDistance / NumsOfFreq
    w(146, bytes(6, 6));     // FirstConstX / FirstConstY
    w(148, bytes(2, 1));     // TxMultiplier / WaterSkip
    for (int n = 0; n < kFrequencyCount; ++n) {  // wave records at block byte 172 + 12n
        w(150 + 6 * n, bytes(8 + n, 2));          // WaterWaveN / A
        w(151 + 6 * n, bytes(14, 3));             // B / TxB
    }
    w(179, bytes(3, 2));     // DrawInAcc / EdgeClamp
    w(180, bytes(10, 20));   // DrawInRange-A / -B
    w(181, bytes(30, 100));  // DrawInRange-C / Rx0MassRatio
    w(182, bytes(100, 60));  // RxNMassRatio / ChkStrayThWater
}

// Frequency records: every "Period" stays above the minimum period of the
// PWM entry that the register blocks select (code 0x2C, period 96).
void fillHeronFreqRecords(WordMemory& m) {
    const int periods[kFrequencyCount] = {120, 112, 106, 100, 98};
    for (int n = 0; n < kFrequencyCount; ++n) {
        uint16_t* r = &m[heron::freqRecordWord(n)];
        r[0] = bytes(periods[n], 16);   // Period / Pulse
        r[1] = 0;
        r[2] = bytes(0, 60);            // byte 5 TouchThreshold
        r[3] = bytes(30, 80);           // NoiseThreshold / WaterThreshold
        r[4] = 0x0120;                  // RI_Index
        r[5] = bytes(0x45, 0x0C);       // WaterSCCtrl / water phase
        r[6] = 400;                     // TouchMassTh
        r[7] = 200;                     // PenMassTh
        r[8] = bytes(30, 0);            // RawOffsetTh
        r[9] = 0x0100;                  // RI_WaterIndex
        r[10] = 0;
        r[11] = 0;
    }
}

}  // namespace

std::vector<ChecksumArea> checksumAreas(MemoryLayout layout) {
    switch (layout) {
    case MemoryLayout::kOsprey: return {{192, 254, 255, 0x0055}, {128, 190, 191, 0x0055}};
    case MemoryLayout::kSibling: return {{64, 254, 255, 0xAA55}};
    case MemoryLayout::kHeron: return {{64, 254, 255, 0x0055}};
    default: return {};
    }
}

uint16_t areaChecksum(const WordMemory& memory, const ChecksumArea& area) {
    uint16_t sum = area.seed;
    for (int k = area.first; k <= area.last; ++k) sum = static_cast<uint16_t>(sum + memory[k]);
    return sum;
}

void sealArea(WordMemory& memory, const ChecksumArea& area) {
    memory[area.sumWord] = areaChecksum(memory, area);
}

bool areaValid(const WordMemory& memory, const ChecksumArea& area) {
    return memory[area.sumWord] == areaChecksum(memory, area);
}

WordMemory factoryMemory(MemoryLayout layout, int xCount, int yCount) {
    WordMemory m{};
    switch (layout) {
    case MemoryLayout::kOsprey:
        fillOspreyFreqTable(m);
        fillOspreyBlock(m, xCount, yCount);
        break;
    case MemoryLayout::kSibling:
        // The sibling keeps the Osprey block fields one area lower, with the
        // frequency table behind them.
        fillOspreyBlock(m, xCount, yCount);
        fillOspreyFreqTable(m);
        for (int k = 0; k < 63; ++k) {
            m[64 + k] = m[osprey::kBlock + k];
            m[128 + 64 + k] = 0;
        }
        break;
    case MemoryLayout::kHeron:
        fillHeronBlock(m, xCount, yCount);
        fillHeronFreqRecords(m);
        break;
    default:
        return m;
    }
    for (const ChecksumArea& area : checksumAreas(layout)) sealArea(m, area);
    // The tuner treats word 191 = 0xFFFF as "no frequency table"; a table
    // whose sum happened to land there gets a different spare word.
    if (layout == MemoryLayout::kOsprey && m[osprey::kFreqTableSum] == 0xFFFF) {
        m[osprey::kFreqTable + 62] = 1;
        for (const ChecksumArea& area : checksumAreas(layout)) sealArea(m, area);
    }
    return m;
}

void restoreFrequencyDefaults(WordMemory& memory, MemoryLayout layout, int xCount, int yCount) {
    const WordMemory factory = factoryMemory(layout, xCount, yCount);
    if (layout == MemoryLayout::kOsprey) {
        for (int k = osprey::kFreqTable; k <= osprey::kFreqTableSum; ++k) memory[k] = factory[k];
    } else if (layout == MemoryLayout::kHeron) {
        for (int k = heron::freqRecordWord(0); k < heron::freqRecordWord(kFrequencyCount); ++k)
            memory[k] = factory[k];
        sealArea(memory, checksumAreas(layout)[0]);
    }
}

FreqRegisters factoryFreqRegisters(int frequencyIndex) {
    FreqRegisters r{};
    r[0] = 0x01;                                        // mode
    r[1] = static_cast<uint8_t>(0x60 | (5 + frequencyIndex));  // SCctrl: gain 3, K1
    r[2] = static_cast<uint8_t>(0x08 + frequencyIndex); // phase
    r[3] = 0x08;                                        // wave
    r[4] = 0x42;                                        // TskipAndPskip
    r[5] = 0x2C;                                        // sample-rate code (PWM period 96)
    // Tx drive and the four settle delays and pauses of a scan line.
    const uint8_t timing[9] = {0x1F, 0x24, 0x06, 0x18, 0x06, 0x10, 0x04, 0x0C, 0x04};
    for (int i = 0; i < 9; ++i) r[7 + i] = timing[i];
    r[8] = static_cast<uint8_t>(r[8] + 2 * frequencyIndex);  // each index settles a little longer
    for (int i = 0; i < 7; ++i) r[19 + i] = static_cast<uint8_t>(0x80 + 3 * i);  // DAC positions
    for (int i = 32; i < 64; ++i) r[i] = static_cast<uint8_t>(i);               // analog trims
    return r;
}

}  // namespace vexlink::virt
