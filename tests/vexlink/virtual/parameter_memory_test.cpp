// The factory parameter memories hold values a tuned controller would:
// a save from the parameters pages without changes must write back what
// was read, which needs every limited field inside its limit, gains that
// are whole multiples of 2 x "FreqIndex2", and frequency records whose
// period suits their PWM setting.
#include <gtest/gtest.h>

#include <map>

#include "firmware_harness.h"

namespace vexlink::virt::testing {
namespace {

uint8_t low(uint16_t w) { return w & 0xFF; }
uint8_t high(uint16_t w) { return w >> 8; }

TEST(OspreyMemory, BlockSurvivesASaveUnchanged) {
    Device d("osprey:x=52,y=33");
    uint16_t b[64];
    for (int k = 0; k < 64; ++k) ASSERT_TRUE(d.readWord(192 + k, &b[k]));

    EXPECT_TRUE(b[0] & 0x0002) << "AUTO CALIBRATION";
    for (int k : {1, 2, 3, 4}) EXPECT_GT(b[k], 0) << "threshold word " << k;
    EXPECT_EQ(low(b[6]), 52) << "NumsOfX";
    EXPECT_EQ(high(b[6]), 33) << "NumsOfY";
    const int freqIndex2 = high(b[18]);
    ASSERT_GT(freqIndex2, 0);
    EXPECT_EQ(low(b[20]) % (2 * freqIndex2), 0) << "SingleGain";
    EXPECT_EQ(high(b[20]) % (2 * freqIndex2), 0) << "MultiGain";
    EXPECT_GT(low(b[20]), 0);
    EXPECT_GT(high(b[20]), 0);
    EXPECT_GE(high(b[19]), 1) << "AvailableTouch";
    EXPECT_LE(high(b[19]), 5);
    EXPECT_GE(low(b[30]), 3) << "LinearFilterLevel";
    EXPECT_LE(low(b[30]), 15);
    EXPECT_GE(low(b[34]), 10) << "EdgeCompenLevel";
    EXPECT_GE(high(b[34]), 3) << "EdgeCompenLimit";
    EXPECT_LE(high(b[34]), 20);
    EXPECT_GT(b[58], 0) << "PhysicalX";
    EXPECT_GT(b[59], 0) << "PhysicalY";
}

TEST(HeronMemory, FrequencyRecordsSuitTheirPwmSetting) {
    Device d("heron");
    uint16_t w[256];
    for (int i = 0; i < 256; ++i) ASSERT_TRUE(d.readWord(i, &w[i]));
    EXPECT_EQ(low(w[144]), 36) << "NumsOfTx";
    EXPECT_EQ(high(w[144]), 22) << "NumsOfRx";
    EXPECT_EQ(high(w[145]), 5) << "NumsOfFreq";

    // Register byte 5 selects a PWM table entry; a record's "Period" must
    // not be below that entry's period + 1.
    const std::map<uint8_t, int> pwmPeriod = {{0x2C, 96}, {0x2B, 88}, {0x2D, 104}, {0x26, 48}};
    for (int n = 0; n < 5; ++n) {
        SCOPED_TRACE(n);
        uint8_t status = 0;
        const auto regs = d.blob(wire::kFreqRegs, static_cast<uint8_t>(n), &status);
        ASSERT_EQ(regs.size(), 64u);
        ASSERT_TRUE(pwmPeriod.count(regs[5])) << "sample-rate code " << int(regs[5]);
        const uint16_t* record = &w[192 + 12 * n];  // block byte 256 + 24n
        EXPECT_GE(low(record[0]), pwmPeriod.at(regs[5]) + 1) << "Period";
        EXPECT_GT(high(record[2]), 0) << "TouchThreshold";
    }
    uint8_t status = 0;
    EXPECT_TRUE(d.blob(wire::kFreqRegs, 5, &status).empty());
    EXPECT_EQ(status, wire::kFailed);
}

TEST(HeronMemory, FrequencyIndexRegistersAndDefaults) {
    Device d("heron");
    const Report ask = d.request(wire::kSetFreqIndex, {255});
    ASSERT_EQ(ask[4], wire::kOk);
    const uint8_t inUse = ask[6];
    EXPECT_LT(inUse, 5);
    EXPECT_EQ(d.request(wire::kSetFreqIndex, {4})[6], 4);
    EXPECT_EQ(d.request(wire::kSetFreqIndex, {255})[6], 4);
    EXPECT_EQ(d.status(wire::kSetFreqIndex, {5}), wire::kFailed);

    // A register block written in two chunks reads back; the default
    // frequency parameters bring the factory block back.
    std::vector<uint8_t> regs = d.blob(wire::kFreqRegs, 1);
    const std::vector<uint8_t> factory = regs;
    regs[1] ^= 0x1F;
    regs[20] = 0x33;
    for (uint8_t offset : {uint8_t{0}, uint8_t{48}}) {
        const uint8_t length = offset == 0 ? 48 : 16;
        std::vector<uint8_t> args = {wire::kFreqRegs, 1, offset, length, uint8_t(offset != 0)};
        args.insert(args.end(), regs.begin() + offset, regs.begin() + offset + length);
        ASSERT_EQ(d.status(wire::kPutBlob, args), wire::kOk);
    }
    EXPECT_EQ(d.blob(wire::kFreqRegs, 1), regs);
    ASSERT_EQ(d.status(wire::kLoadDefaultFreq), wire::kOk);
    EXPECT_EQ(d.blob(wire::kFreqRegs, 1), factory);

    // Default general parameters: a changed general word comes back and
    // the area's checksum is valid again.
    uint16_t before = 0, after = 0, sum = 0;
    ASSERT_TRUE(d.readWord(66, &before));
    ASSERT_EQ(d.writeWord(66, 9999), wire::kOk);
    ASSERT_EQ(d.status(wire::kLoadDefaultParam), wire::kOk);
    ASSERT_TRUE(d.readWord(66, &after));
    EXPECT_EQ(after, before);
    uint16_t total = 0x55;
    for (int i = 64; i <= 254; ++i) {
        uint16_t v;
        ASSERT_TRUE(d.readWord(i, &v));
        total = static_cast<uint16_t>(total + v);
    }
    ASSERT_TRUE(d.readWord(255, &sum));
    EXPECT_EQ(total, sum);
}

// The faults and starting values a Kestrel page test needs: a write that
// fails at one word, a register block that cannot be read, an unanswered DAC
// calibration, a sample-rate code outside the PWM table, a short "Period"
// with the checksum still valid, and the index in use.
TEST(HeronMemory, FrequencyFaultsAndStartingValues) {
    Device d("heron:failwrite=70,failregs=3,dac=0,samplerate=0x99,period=40,freq=1");
    uint8_t status = 0;
    EXPECT_TRUE(d.blob(wire::kFreqRegs, 3, &status).empty());
    EXPECT_EQ(status, wire::kFailed);
    EXPECT_EQ(d.status(wire::kDacCalibration), wire::kFailed);
    EXPECT_EQ(d.status(wire::kHardwareCalibration), wire::kOk);
    EXPECT_EQ(d.request(wire::kSetFreqIndex, {255})[6], 1);

    uint16_t w[256];
    for (int i = 0; i < 256; ++i) ASSERT_TRUE(d.readWord(i, &w[i]));
    uint16_t sum = 0x55;
    for (int i = 64; i <= 254; ++i) sum = static_cast<uint16_t>(sum + w[i]);
    EXPECT_EQ(sum, w[255]);
    for (int n = 0; n < 5; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(low(w[192 + 12 * n]), 40) << "Period";
        EXPECT_EQ(high(w[192 + 12 * n]), 16) << "Pulse kept";
        if (n != 3) {
            EXPECT_EQ(d.blob(wire::kFreqRegs, uint8_t(n))[5], 0x99);
        }
    }

    EXPECT_EQ(d.writeWord(69, 1), wire::kOk);
    EXPECT_EQ(d.writeWord(70, 1), wire::kFailed);
    uint16_t value = 0;
    ASSERT_TRUE(d.readWord(70, &value));
    EXPECT_NE(value, 1) << "a failed write changes nothing";

    // The same faults through the control calls, switched off again.
    d.firmware->failWrite(70, false);
    d.firmware->failFreqRegsRead(3, false);
    d.firmware->setDacAcknowledged(true);
    EXPECT_EQ(d.writeWord(70, 1), wire::kOk);
    EXPECT_EQ(d.blob(wire::kFreqRegs, 3).size(), 64u);
    EXPECT_EQ(d.status(wire::kDacCalibration), wire::kOk);
    ASSERT_TRUE(d.firmware->setFreqIndexInUse(7));
    EXPECT_EQ(d.request(wire::kSetFreqIndex, {255})[6], 7);
    ASSERT_TRUE(d.firmware->setFreqRegister(0, 5, 0x12));
    uint8_t regs[64] = {};
    ASSERT_TRUE(d.firmware->freqRegisters(0, regs));
    EXPECT_EQ(regs[5], 0x12);
    EXPECT_FALSE(d.firmware->setFreqRegister(5, 0, 0));
    ASSERT_TRUE(d.firmware->sealChecksum());
    ASSERT_TRUE(d.readWord(255, &value));
    uint16_t resealed = 0x55;
    for (int i = 64; i <= 254; ++i) {
        uint16_t v = 0;
        ASSERT_TRUE(d.readWord(i, &v));
        resealed = static_cast<uint16_t>(resealed + v);
    }
    EXPECT_EQ(value, resealed);
}

TEST(PutBlob, ChunksThatWouldReachPastTheReportAreRefused) {
    Device d("heron");
    // A chunk length of 56 claims data beyond byte 63 of the request.
    std::vector<uint8_t> args = {wire::kFreqRegs, 0, 0, 56, 1};
    args.resize(60, 0xAA);
    EXPECT_EQ(d.status(wire::kPutBlob, args), wire::kFailed);
    // A chunk that does not continue the previous one is refused too.
    EXPECT_EQ(d.status(wire::kPutBlob, {wire::kFreqRegs, 0, 48, 16, 1}), wire::kFailed);
    // A transfer abandoned after its first chunk does not spoil the next one.
    std::vector<uint8_t> first = {wire::kFreqRegs, 0, 0, 48, 0};
    first.resize(5 + 48, 0x11);
    EXPECT_EQ(d.status(wire::kPutBlob, first), wire::kOk);
    std::vector<uint8_t> again = {wire::kFreqRegs, 1, 0, 48, 0};
    again.resize(5 + 48, 0x22);
    EXPECT_EQ(d.status(wire::kPutBlob, again), wire::kOk);
    std::vector<uint8_t> rest = {wire::kFreqRegs, 1, 48, 16, 1};
    rest.resize(5 + 16, 0x33);
    EXPECT_EQ(d.status(wire::kPutBlob, rest), wire::kOk);
    const auto written = d.blob(wire::kFreqRegs, 1);
    ASSERT_EQ(written.size(), 64u);
    EXPECT_EQ(written[0], 0x22);
    EXPECT_EQ(written[63], 0x33);
    const FreqRegisters factory = factoryFreqRegisters(0);
    EXPECT_EQ(d.blob(wire::kFreqRegs, 0), std::vector<uint8_t>(factory.begin(), factory.end()));
}

TEST(DownloadRecords, ExistingRecordsReadAndNewOnesAppend) {
    Device d("osprey");
    uint8_t status = 0;
    const auto first = d.blob(wire::kDownloadInfo, 0, &status);
    ASSERT_EQ(first.size(), 46u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&first[12])), "ZT-4030");
    // Three records from the factory, then none.
    EXPECT_EQ(d.blob(wire::kDownloadInfo, 2).size(), 46u);
    EXPECT_TRUE(d.blob(wire::kDownloadInfo, 3, &status).empty());
    EXPECT_EQ(status, wire::kFailed);

    std::vector<uint8_t> record(46, 0);
    record[0] = 7;
    record[36] = 1;
    std::vector<uint8_t> args = {wire::kDownloadInfo, 0, 0, 46, 1};
    args.insert(args.end(), record.begin(), record.end());
    ASSERT_EQ(d.status(wire::kPutBlob, args), wire::kOk);
    EXPECT_EQ(d.blob(wire::kDownloadInfo, 3), record);
}

}  // namespace
}  // namespace vexlink::virt::testing
