// The Kestrel block as device words, its records, the register bytes a save
// puts back, and the PWM table.
#include <gtest/gtest.h>

#include <set>

#include "tuner/kestrel/kestrel_param_block.h"

namespace lumora {
namespace {

// Fields found through the device word and byte half that hold them, which
// is how the controller's documentation places them.
struct FieldAtWord {
    KestrelField field;
    int deviceWord;
    int half;     // 0 low byte, 1 high byte, 2 whole word
    int sharing;  // other fields in the same word
};

TEST(KestrelParamBlock, FieldsSitInTheirDeviceWords) {
    const FieldAtWord cases[] = {
        {KestrelField::CheckGhostCnt, 65, 2, 0},      {KestrelField::SlowDownCnt, 83, 2, 0},
        {KestrelField::LengthOfTx, 84, 2, 0},         {KestrelField::ThreePtLRY, 97, 2, 0},
        {KestrelField::LR, 102, 2, 0},                {KestrelField::RawOffsetTh, 128, 0, 1},
        {KestrelField::FilterMax, 128, 1, 1},         {KestrelField::FilterOrder, 131, 0, 0},
        {KestrelField::DownCnt, 133, 0, 1},           {KestrelField::UpCnt, 133, 1, 1},
        {KestrelField::HVICGannetVotlage, 137, 1, 0}, {KestrelField::ChkStrayTh, 139, 1, 0},
        {KestrelField::TxStartChannelIC2, 143, 1, 1}, {KestrelField::NumsOfFreq, 145, 1, 1},
        {KestrelField::WaterSkip, 148, 1, 1},         {KestrelField::DrawInAcc, 179, 0, 1},
        {KestrelField::ChkStrayThWater, 182, 1, 1},
    };
    for (const FieldAtWord& c : cases) {
        SCOPED_TRACE(fieldInfo(c.field).caption);
        KestrelParamBlock block;
        block.setWord(c.deviceWord - kKestrelFirstWord, 0xA1B2);
        const int expected = c.half == 0 ? 0xB2 : c.half == 1 ? 0xA1 : 0xA1B2;
        EXPECT_EQ(block.value(c.field), expected);
        int others = 0;
        for (int f = 0; f < kKestrelFieldCount; ++f)
            if (f != static_cast<int>(c.field) && block.value(static_cast<KestrelField>(f)) != 0) ++others;
        EXPECT_EQ(others, c.sharing) << "fields reading the same word";
    }
}

TEST(KestrelParamBlock, MarginPosWordsAreSignedAndOtherWordsUnsigned) {
    KestrelParamBlock block;
    block.setValue(KestrelField::MarginPosTxN, -12);
    block.setValue(KestrelField::ThreePtLLX, 65535);
    EXPECT_EQ(block.word(87 - kKestrelFirstWord), 0xFFF4);
    EXPECT_EQ(block.value(KestrelField::MarginPosTxN), -12);
    EXPECT_EQ(block.value(KestrelField::ThreePtLLX), 65535);
    block.setWord(86 - kKestrelFirstWord, 0x8000);
    EXPECT_EQ(block.value(KestrelField::MarginPosTx0), -32768);
}

TEST(KestrelParamBlock, ChecksumIsTheWrappingSumPlus0x55) {
    KestrelParamBlock block;
    EXPECT_EQ(block.checksum(), 0x0055);
    for (int k = 0; k < kKestrelBlockWords; ++k) block.setWord(k, 0xFFFF);
    // 0x55 + 191 x 0xFFFF = 0x55 - 191 (mod 2^16)
    EXPECT_EQ(block.checksum(), 0xFF96);
    block.setWord(190, 0x0000);  // device word 254, the last one counted
    EXPECT_EQ(block.checksum(), 0xFF97);
}

TEST(KestrelParamBlock, RecordsLieAtTheirDeviceWords) {
    KestrelParamBlock block;
    // Frequency record 3 starts at device word 192 + 12 x 3 = 228.
    const int first = 228 - kKestrelFirstWord;
    block.setWord(first + 0, 0x1078);   // Pulse 16, Period 120
    block.setWord(first + 2, 0x3C00);   // TouchThreshold 60 (byte 5)
    block.setWord(first + 3, 0x501E);   // WaterThreshold 80, NoiseThreshold 30
    block.setWord(first + 4, 0x0120);   // RI_Index
    block.setWord(first + 5, 0x2CA7);   // water phase register 0x2C, WaterSCCtrl 0xA7
    block.setWord(first + 9, 0xBEEF);   // RI_WaterIndex
    const KestrelFreqRecord r = block.freqRecord(3);
    EXPECT_EQ(r.period(), 120);
    EXPECT_EQ(r.pulse(), 16);
    EXPECT_EQ(r.touchThreshold(), 60);
    EXPECT_EQ(r.noiseThreshold(), 30);
    EXPECT_EQ(r.waterThreshold(), 80);
    EXPECT_EQ(r.riIndex(), 0x0120);
    EXPECT_EQ(r.waterGainIndex(), 5);
    EXPECT_EQ(r.waterK1(), 7);
    EXPECT_EQ(r.waterPhase(), 0x0C);
    EXPECT_EQ(r.riWaterIndex(), 0xBEEF);
    EXPECT_EQ(block.freqRecord(2).period(), 0);

    // Wave record 4 starts at block byte 172 + 48 = 220, device word 174.
    block.setWord(174 - kKestrelFirstWord, 0x020C);
    block.setWord(175 - kKestrelFirstWord, 0x030E);
    const KestrelWaveRecord w = block.waveRecord(4);
    EXPECT_EQ(w.waterWaveN(), 12);
    EXPECT_EQ(w.rangeA(), 2);
    EXPECT_EQ(w.rangeB(), 14);
    EXPECT_EQ(w.txB(), 3);
}

TEST(KestrelParamBlock, TakingTheValuesLeavesUncaptionedBytesAlone) {
    KestrelParamBlock read;     // what a load read
    KestrelParamBlock values;   // what the page holds
    for (int i = 0; i < kKestrelBlockBytes; ++i) {
        read.bytes[size_t(i)] = 0x11;
        values.bytes[size_t(i)] = 0x22;
    }
    read.takeCaptionedFrom(values);
    // Captioned: flags, a word field, byte fields, wave bytes 0..3,
    // frequency record bytes 0, 1, 5..16, 18, 19.
    for (int b : {0, 1, 2, 3, 40, 41, 128, 129, 130, 237, waveRecordOffset(2) + 3,
                  freqRecordOffset(4) + 0, freqRecordOffset(4) + 16, freqRecordOffset(4) + 19})
        EXPECT_EQ(read.bytes[size_t(b)], 0x22) << "byte " << b;
    // Without a caption: general bytes 10..19, 78..127, 131..133, wave bytes
    // 4..11, frequency record bytes 2..4, 17, 20..23.
    for (int b : {10, 19, 78, 127, 131, 133, 145, 146, 238, waveRecordOffset(2) + 4,
                  freqRecordOffset(0) + 2, freqRecordOffset(0) + 4, freqRecordOffset(0) + 17,
                  freqRecordOffset(4) + 23})
        EXPECT_EQ(read.bytes[size_t(b)], 0x11) << "byte " << b;
}

TEST(KestrelRegisters, ASaveKeepsTheControllersBytesBesideThePagesValues) {
    KestrelRegisters loaded, now;
    for (int i = 0; i < kKestrelRegisterBytes; ++i) {
        loaded.bytes[size_t(i)] = static_cast<uint8_t>(0x40 + i);
        now.bytes[size_t(i)] = static_cast<uint8_t>(0x80 + i);
    }
    now.restoreSavedBytes(loaded, 0x26);
    for (int i = 0; i < kKestrelRegisterBytes; ++i) {
        SCOPED_TRACE(i);
        if (i <= 4 || (i >= 19 && i <= 25))
            EXPECT_EQ(now.bytes[size_t(i)], 0x40 + i);
        else if (i == 5)
            EXPECT_EQ(now.bytes[size_t(i)], 0x26);
        else
            EXPECT_EQ(now.bytes[size_t(i)], 0x80 + i);
    }
    EXPECT_EQ(now.dacPosition(0), 0x40 + 19);
    EXPECT_EQ(now.dacPosition(6), 0x40 + 25);
    KestrelRegisters r;
    r.bytes[1] = 0xA7;
    r.bytes[4] = 0xE3;
    EXPECT_EQ(r.gainIndex(), 5);
    EXPECT_EQ(r.k1(), 7);
    EXPECT_EQ(r.pskip(), 7);
}

TEST(PwmTable, EntriesAreFoundByTheirSampleRateCode) {
    struct Entry {
        int code;
        int entry;  // 1-based, as the table is usually read
        int period;
    };
    const Entry cases[] = {
        {0x56, 1, 120}, {0x44, 6, 63}, {0x34, 13, 48}, {0xF3, 14, 180}, {0x93, 20, 108},
        {0x43, 25, 48}, {0x33, 26, 36}, {0x2C, 30, 96}, {0x26, 36, 48},
    };
    for (const Entry& c : cases) {
        SCOPED_TRACE(c.code);
        const int i = pwmEntryFor(c.code);
        EXPECT_EQ(i, c.entry - 1);
        ASSERT_GE(i, 0);
        EXPECT_EQ(pwmTable()[size_t(i)].period, c.period);
        EXPECT_EQ(pwmTable()[size_t(i)].minimumPeriod(), c.period + 1);
    }
    for (int code : {0x00, 0x25, 0x99, 0xFF}) EXPECT_EQ(pwmEntryFor(code), -1) << code;
    EXPECT_EQ(pwmTable()[kFallbackPwmEntry].sampleRate, 0x26);
    std::set<int> codes;
    for (const PwmEntry& e : pwmTable()) codes.insert(e.sampleRate);
    EXPECT_EQ(codes.size(), size_t(kPwmEntryCount)) << "every code chooses one entry";
}

}  // namespace
}  // namespace lumora
