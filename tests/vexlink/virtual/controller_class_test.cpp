// What every controller class answers, written once and run over each
// description: identity, a parameter memory that passes its family's
// check, word reads and writes, stream starts with the channel counts, and
// a reset that stops the stream while the memory persists.
#include <gtest/gtest.h>

#include <thread>

#include "device/packet.h"
#include "firmware_harness.h"

namespace vexlink::virt::testing {
namespace {

struct ClassCase {
    const char* entry;
    uint8_t typeCode;
    int8_t x, y;
    // The family's parameter check as the production tester makes it.
    int first, last;
    uint16_t seed;
};

std::ostream& operator<<(std::ostream& os, const ClassCase& c) { return os << c.entry; }

class EveryController : public ::testing::TestWithParam<ClassCase> {};

TEST_P(EveryController, AnswersItsIdentity) {
    const ClassCase& c = GetParam();
    Device d(c.entry);
    const Report type = d.request(wire::kGetTypeCode);
    ASSERT_EQ(type[4], wire::kOk);
    EXPECT_EQ(type[6], c.typeCode);
    for (uint8_t blob : {wire::kModelName, wire::kTypeName, wire::kFirmwareVersion}) {
        const std::string text = d.text(blob);
        EXPECT_FALSE(text.empty()) << int(blob);
        EXPECT_LT(text.size(), 64u);
        EXPECT_EQ(text.find('\0'), std::string::npos);
    }
    const auto info = d.blob(wire::kPcapInfo);
    ASSERT_EQ(info.size(), 64u);
    EXPECT_GT(info[1], 0) << "maximum contact count";
    EXPECT_GT(lumora::readLE16u(&info[2]), 0) << "physical X";
    EXPECT_GT(lumora::readLE16u(&info[4]), 0) << "physical Y";
    EXPECT_EQ(d.blob(wire::kCrcInfo).size(), 15u);
}

TEST_P(EveryController, ParameterMemoryPassesTheFamilyCheck) {
    const ClassCase& c = GetParam();
    Device d(c.entry);
    uint16_t words[256];
    for (int i = 0; i < 256; ++i) ASSERT_TRUE(d.readWord(i, &words[i])) << i;
    uint16_t sum = c.seed;
    for (int i = c.first; i <= c.last; ++i) sum = static_cast<uint16_t>(sum + words[i]);
    EXPECT_EQ(sum, words[255]);
    if (c.typeCode == 4) {
        // The Osprey frequency table: 128..190 with seed 0x55 in word 191,
        // which must not read as 0xFFFF ("no table").
        uint16_t table = 0x55;
        for (int i = 128; i <= 190; ++i) table = static_cast<uint16_t>(table + words[i]);
        EXPECT_EQ(table, words[191]);
        EXPECT_NE(words[191], 0xFFFF);
    }
}

TEST_P(EveryController, WordsReadBackWhatWasWrittenAndSurviveAReset) {
    Device d(GetParam().entry);
    ASSERT_EQ(d.writeWord(200, 0xBEEF), wire::kOk);
    uint16_t value = 0;
    ASSERT_TRUE(d.readWord(200, &value));
    EXPECT_EQ(value, 0xBEEF);
    EXPECT_EQ(d.status(wire::kReset), wire::kOk);
    ASSERT_TRUE(d.readWord(200, &value));
    EXPECT_EQ(value, 0xBEEF);
    // Indexes past the memory fail instead of reaching past it.
    EXPECT_FALSE(d.readWord(256, &value));
    EXPECT_EQ(d.writeWord(300, 1), wire::kFailed);
}

TEST_P(EveryController, StreamStartsAndStopReportTheChannelCounts) {
    const ClassCase& c = GetParam();
    Device d(c.entry);
    for (uint8_t command : {wire::kStopStream, wire::kStartSingle, wire::kStartRawPoint,
                            wire::kStartImageYX, wire::kStartImageXY, wire::kQueryCounts,
                            wire::kStopStream}) {
        const Report r = d.request(command);
        ASSERT_EQ(r[4], wire::kOk) << int(command);
        EXPECT_EQ(static_cast<int8_t>(r[6]), c.y) << int(command);
        EXPECT_EQ(static_cast<int8_t>(r[7]), c.x) << int(command);
    }
}

TEST_P(EveryController, ResetStopsTheStream) {
    Device d(GetParam().entry);
    ASSERT_EQ(d.status(wire::kStartSingle), wire::kOk);
    ASSERT_TRUE(d.sink.waitFor([](const std::vector<Report>& r) {
        return std::count_if(r.begin(), r.end(), [](const Report& p) { return p[2] == 0x3B; }) >= 4;
    }));
    ASSERT_EQ(d.status(wire::kReset), wire::kOk);
    d.sink.clear();
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_TRUE(d.sink.reports().empty());
    EXPECT_EQ(d.firmware->streamMode(), StreamMode::kNone);
}

INSTANTIATE_TEST_SUITE_P(
    Classes, EveryController,
    ::testing::Values(ClassCase{"osprey", 4, 40, 30, 192, 254, 0x55},
                      ClassCase{"osprey:x=90,y=64", 4, 90, 64, 192, 254, 0x55},
                      ClassCase{"osprey5", 5, 40, 30, 64, 254, 0xAA55},
                      ClassCase{"heron", 6, 36, 22, 64, 254, 0x55},
                      ClassCase{"heron8", 8, 48, 34, 64, 254, 0x55},
                      ClassCase{"uart-bridge", 4, 40, 30, 192, 254, 0x55},
                      ClassCase{"uart-bridge:pid=5806,family=heron", 6, 36, 22, 64, 254, 0x55}));

// Devices that are not touch controllers, or not yet running their
// firmware, answer what they model and kUnsupported for the rest.
TEST(OtherDevices, AnswerOnlyWhatTheyModel) {
    Device loader("bootloader:code=3");
    EXPECT_EQ(loader.request(wire::kGetTypeCode)[6], 3);
    EXPECT_EQ(loader.text(wire::kModelName), "ZT-LOADER");
    const Report stop = loader.request(wire::kStopStream);
    EXPECT_EQ(stop[4], wire::kUnsupported);
    EXPECT_EQ(stop[6], 0);
    EXPECT_EQ(stop[7], 0);
    uint16_t word = 0;
    EXPECT_FALSE(loader.readWord(0, &word));

    Device pwm("pwm-tester");
    EXPECT_EQ(pwm.request(wire::kGetTypeCode)[4], wire::kUnsupported);
    EXPECT_EQ(pwm.status(wire::kStartSingle), wire::kUnsupported);
    // SetHeronPWMFreq(divisor 700, voltage 1), then the stimulus on (index 2).
    EXPECT_EQ(pwm.status(wire::kSetPwmFreq, {0xBC, 0x02, 0, 0, 1}), wire::kOk);
    EXPECT_EQ(pwm.status(wire::kSetPwmFreq, {0xBC, 0x02, 0, 0, 3}), wire::kFailed);
    EXPECT_EQ(pwm.status(wire::kPwmApply, {0, 0, 0, 0, 0x44}), wire::kOk);
    EXPECT_EQ(pwm.request(wire::kSetFreqIndex, {2})[6], 2);
    EXPECT_EQ(pwm.status(wire::kSetOption, {2, 0}), wire::kOk);

    Device osprey("osprey");
    for (uint8_t command : std::initializer_list<uint8_t>{wire::kWriteModeByte, wire::kSetPwmFreq, uint8_t{0x7E}})
        EXPECT_EQ(osprey.status(command), wire::kUnsupported) << int(command);
}

// Texts longer than a host's 64-byte buffer arrive whole, in chunks; the
// host truncates.
TEST(OtherDevices, LongIdentityTextsArriveWhole) {
    Device d("osprey:model=" + std::string(150, 'M') + ",fw=9.9.9");
    EXPECT_EQ(d.text(wire::kModelName), std::string(150, 'M'));
    EXPECT_EQ(d.text(wire::kFirmwareVersion), "9.9.9");
}

TEST(OtherDevices, FeatureDeviceKeepsReportSeven) {
    Device thqa("thqa");
    uint8_t set[257] = {7};
    for (int i = 1; i < 257; ++i) set[i] = static_cast<uint8_t>(i * 3);
    EXPECT_EQ(thqa.firmware->sendFeature(set, sizeof set), 257);
    uint8_t get[512] = {7};
    EXPECT_EQ(thqa.firmware->getFeature(get, 257), 257);
    EXPECT_EQ(0, std::memcmp(get, set, 257));
    uint8_t wrongId[8] = {5};
    EXPECT_EQ(thqa.firmware->getFeature(wrongId, sizeof wrongId), -1);
}

// The type-9 controller: the mode-byte step 0 then 1 switches it to its
// family, which it announces with a mode report; until then it streams
// nothing.
TEST(Switcher, ModeByteStepSwitchesToTheFamily) {
    const struct {
        const char* entry;
        uint8_t mode;
        uint8_t type;
    } cases[] = {{"switcher", 2, 4}, {"switcher:family=heron", 6, 6},
                 {"switcher:family=osprey5", 4, 5}, {"switcher:family=heron8", 8, 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        Device d(c.entry);
        EXPECT_EQ(d.request(wire::kGetTypeCode)[6], 9);
        EXPECT_EQ(d.status(wire::kStartSingle), wire::kUnsupported);
        EXPECT_EQ(d.status(wire::kWriteModeByte, {1}), wire::kOk);  // 1 alone does nothing
        EXPECT_EQ(d.request(wire::kGetTypeCode)[6], 9);
        EXPECT_EQ(d.status(wire::kWriteModeByte, {0}), wire::kOk);
        EXPECT_TRUE(d.sink.withId(0x36, 0x7C).empty());
        EXPECT_EQ(d.status(wire::kWriteModeByte, {1}), wire::kOk);
        const auto modes = d.sink.withId(0x36, 0x7C);
        ASSERT_EQ(modes.size(), 1u);
        EXPECT_EQ(modes[0][4], c.mode);
        EXPECT_EQ(d.request(wire::kGetTypeCode)[6], c.type);
        EXPECT_EQ(d.status(wire::kStartSingle), wire::kOk);
        // The family's memory check holds once it reports as that family.
        const ChecksumArea area = checksumAreas(d.firmware->settings().behind->memory)[0];
        uint16_t sum = area.seed, word = 0;
        for (int i = area.first; i <= area.last; ++i) {
            ASSERT_TRUE(d.readWord(i, &word));
            sum = static_cast<uint16_t>(sum + word);
        }
        ASSERT_TRUE(d.readWord(area.sumWord, &word));
        EXPECT_EQ(sum, word);
    }
}

TEST(Faults, FailingReadsAndSpoiledChecksums) {
    Device d("osprey:failread=191+200");
    uint16_t value = 0;
    EXPECT_FALSE(d.readWord(191, &value));
    EXPECT_FALSE(d.readWord(200, &value));
    EXPECT_TRUE(d.readWord(192, &value));
    d.firmware->failRead(200, false);
    EXPECT_TRUE(d.readWord(200, &value));

    for (const char* entry : {"osprey:badcrc", "osprey5:badcrc", "heron:badcrc"}) {
        SCOPED_TRACE(entry);
        Device bad(entry);
        const auto area = checksumAreas(bad.firmware->settings().cls->memory)[0];
        uint16_t words[256];
        for (int i = 0; i < 256; ++i) ASSERT_TRUE(bad.readWord(i, &words[i]));
        uint16_t sum = area.seed;
        for (int i = area.first; i <= area.last; ++i) sum = static_cast<uint16_t>(sum + words[i]);
        EXPECT_NE(sum, words[area.sumWord]);
    }
}

}  // namespace
}  // namespace vexlink::virt::testing
