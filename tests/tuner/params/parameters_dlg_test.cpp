// The "Parameters" page against a virtual Osprey controller: what the
// controller holds after each load and save, the messages, the frequency
// table at creation and the controller going away.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/vexlink.h"
#include "host/testing/doubles.h"
#include "tuner/app/device_state.h"
#include "tuner/params/osprey_param_io.h"
#include "tuner/params/parameters_dlg.h"
#include "tests/support/test_support.h"
#include "vexlink/virtual/control.h"

namespace lumora {
namespace {

namespace control = vexlink::control;
using Words = std::array<uint16_t, 64>;
using Shown = host::testing::RecordingMessages::Shown;

// The checksum as the controller's firmware keeps it, written out here
// independently of the code under test.
uint16_t sealOf(const Words& w) {
    uint32_t sum = 0x55;
    for (int k = 0; k < 63; ++k) sum += w[k];
    return static_cast<uint16_t>(sum);
}

// A realistic block in which a save without changes sends back what it read:
// "AUTO CALIBRATION" set, gains multiples of 2 x "FreqIndex2", limits kept.
Words baseBlock() {
    Words w{};
    for (int k = 1; k < 63; ++k) w[k] = static_cast<uint16_t>(0x0100 * (k % 7) + 3 * k);
    w[0] = 0x0002;   // AUTO CALIBRATION
    w[18] = 0x0201;  // FreqIndex 1, FreqIndex2 2
    w[19] = 0x05EE;  // uncaptioned 0xEE, AvailableTouch 5
    w[20] = 0x1410;  // SingleGain 16, MultiGain 20
    w[26] = 10;      // right click 300 ms
    w[30] = 0x400C;  // LinearFilterLevel 12
    w[34] = 0x0A14;  // EdgeCompenLevel 20, EdgeCompenLimit 10
    w[63] = sealOf(w);
    return w;
}

using lumora::test_support::waitUntil;

class ParametersPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        test_support::app();
        const auto device = test_support::openOnlyDevice("osprey");
        ASSERT_NE(device.handle, 0u) << device.error;
        m_id = device.id;
        m_state.controller = device.handle;
        m_state.typeCode = 4;
    }

    void TearDown() override {
        if (m_page) m_page->onDestroyed();
        m_page.reset();
        if (m_state.controller) CloseHIDDevice(m_state.controller);
        control::configure("");
    }

    void writeDeviceBlock(const Words& w) {
        for (int k = 0; k < 64; ++k) ASSERT_TRUE(control::setWord(m_id, 192 + k, w[k]));
    }
    Words deviceWords(int first) {
        Words w{};
        for (int k = 0; k < 64; ++k) EXPECT_TRUE(control::getWord(m_id, first + k, &w[k]));
        return w;
    }
    Words deviceBlock() { return deviceWords(192); }

    // The sheet's order for the first page: created, activated, shown.
    CParametersDlg& openPage() {
        m_page = std::make_unique<CParametersDlg>(m_state);
        QObject::connect(m_page.get(), &TunerPage::quitRequested,
                         [this](int code) { m_quitCodes.push_back(code); });
        m_page->onCreated();
        m_page->onActivated();
        m_page->onShown();
        return *m_page;
    }
    void click(const char* button) {
        auto* b = m_page->findChild<QPushButton*>(QString::fromLatin1(button));
        ASSERT_NE(b, nullptr) << button;
        b->click();
    }
    QCheckBox* check(const char* name) {
        return m_page->findChild<QCheckBox*>(QString::fromLatin1(name));
    }
    bool deviceOpen() {
        const auto devices = control::list();
        return !devices.empty() && devices[0].open;
    }
    void expectMessages(std::initializer_list<std::pair<const char*, const char*>> expected) {
        test_support::expectMessages(m_messages, expected);
    }

    host::testing::RecordingMessages m_messages;
    DeviceState m_state;
    int m_id = 0;
    std::unique_ptr<CParametersDlg> m_page;
    std::vector<int> m_quitCodes;
};

// ---- Load and save --------------------------------------------------------

struct SaveCase {
    const char* name;
    std::vector<std::pair<int, uint16_t>> loaded;  // block words changed from baseBlock()
    std::vector<std::pair<int, uint16_t>> saved;   // block words the controller holds after
};
void PrintTo(const SaveCase& c, std::ostream* os) { *os << c.name; }

const SaveCase kSaveCases[] = {
    {"AutoCalibrationSetKeepsTheUncaptionedFlagBits", {{0, 0xF71A}}, {{0, 0xF71A}}},
    // Only CHANGE FREQUENCY, SWAPXY, INVERSE X and INVERSE Y survive.
    {"AutoCalibrationClearDropsTheUncaptionedFlagBits", {{0, 0xF7F9}}, {{0, 0x00E1}}},
    {"EdgeCompenLevel5IsSavedAs10", {{34, 0x0805}}, {{34, 0x080A}}},
    {"EdgeCompenLimit2IsSavedAs3", {{34, 0x020C}}, {{34, 0x030C}}},
    {"LinearFilterLevel20IsSavedAs15", {{30, 0x4014}}, {{30, 0x400F}}},
    {"AvailableTouch0IsSavedAs1", {{19, 0x00EE}}, {{19, 0x01EE}}},
    {"AvailableTouch9IsSavedAs5", {{19, 0x09EE}}, {{19, 0x05EE}}},
    // SingleGain 25 -> cycle 6 -> 24; MultiGain 31 -> cycle 7 -> 28.
    {"GainsRoundDownToMultiplesOf2xFreqIndex2", {{18, 0x0201}, {20, 0x1F19}}, {{20, 0x1C18}}},
    {"GainsAreSavedAs0WhenFreqIndex2Is0", {{18, 0x0001}, {20, 0x1F19}}, {{20, 0x0000}}},
    {"RightClickTimeSurvivesBeyond16Bits", {{26, 0xFFFF}}, {{26, 0xFFFF}}},
};

class ParametersSaveTest : public ParametersPageTest,
                           public ::testing::WithParamInterface<SaveCase> {};

TEST_P(ParametersSaveTest, ControllerHoldsTheConvertedBlock) {
    const SaveCase& c = GetParam();
    Words loaded = baseBlock();
    for (auto [k, v] : c.loaded) loaded[k] = v;
    loaded[63] = sealOf(loaded);
    writeDeviceBlock(loaded);

    openPage();
    ASSERT_TRUE(m_messages.shown().empty());
    click("saveParamButton");

    Words expected = loaded;
    for (auto [k, v] : c.saved) expected[k] = v;
    expected[63] = sealOf(expected);
    EXPECT_EQ(deviceBlock(), expected);
    expectMessages({{"Save Parameters OK", "ZEMA Quillet"}});
    // The reload brought the controller's words back into the shared block.
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), m_state.paramBlock));
}

INSTANTIATE_TEST_SUITE_P(Cases, ParametersSaveTest, ::testing::ValuesIn(kSaveCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ParametersPageTest, LoadShowsTheFlagsAndFillsTheSharedBlock) {
    Words w = baseBlock();
    w[0] = 0x00A2;  // AUTO CALIBRATION, SWAPXY, INVERSE Y
    w[63] = sealOf(w);
    writeDeviceBlock(w);

    CParametersDlg& page = openPage();
    EXPECT_TRUE(check("autoCalibrationCheck")->isChecked());
    EXPECT_TRUE(check("swapXYCheck")->isChecked());
    EXPECT_TRUE(check("inverseYCheck")->isChecked());
    EXPECT_FALSE(check("inverseXCheck")->isChecked());
    EXPECT_TRUE(std::equal(w.begin(), w.end(), m_state.paramBlock));
    EXPECT_EQ(page.values()[OspreyField::Crc], w[63]);
    EXPECT_EQ(page.values().singleCycle, 4);  // 16 / (2 x 2)
    EXPECT_EQ(page.values().hidRightClickTimeMs, 300);
    EXPECT_TRUE(m_messages.shown().empty());
}

TEST_F(ParametersPageTest, ChangingSwapXYChangesOnlyItsBitAndTheChecksum) {
    const Words before = deviceBlock();  // the controller's own default memory
    openPage();
    ASSERT_TRUE(m_messages.shown().empty()) << "the default block must load";
    EXPECT_TRUE(check("autoCalibrationCheck")->isChecked());

    // Saving without a change writes back what was read.
    click("saveParamButton");
    EXPECT_EQ(deviceBlock(), before);

    check("swapXYCheck")->setChecked(!check("swapXYCheck")->isChecked());
    click("saveParamButton");
    const Words after = deviceBlock();
    for (int k = 1; k < 63; ++k) EXPECT_EQ(after[k], before[k]) << "word " << 192 + k;
    EXPECT_EQ(after[0], before[0] ^ 0x0020);
    EXPECT_EQ(after[63], sealOf(after));
    EXPECT_NE(after[63], before[63]);
    expectMessages({{"Save Parameters OK", "ZEMA Quillet"}, {"Save Parameters OK", "ZEMA Quillet"}});
}

TEST_F(ParametersPageTest, CyclesAreTheGainsOver2xFreqIndex2RoundedDown) {
    Words w = baseBlock();
    w[18] = 0x0201;   // FreqIndex2 2
    w[20] = 0x1F19;   // SingleGain 25, MultiGain 31
    w[63] = sealOf(w);
    writeDeviceBlock(w);
    CParametersDlg& page = openPage();
    ASSERT_TRUE(m_messages.shown().empty());
    EXPECT_EQ(page.values().singleCycle, 6);
    EXPECT_EQ(page.values().multiCycle, 7);
    EXPECT_EQ(page.values()[OspreyField::SingleGain], 25);
    EXPECT_EQ(page.values()[OspreyField::MultiGain], 31);
}

// A read failure stops the load at that word: the words before it are the
// controller's, the words from it on keep what the shared block held.
TEST_F(ParametersPageTest, LoadStopsAtTheFirstFailedReadKeepingTheWordsReadSoFar) {
    const Words device = baseBlock();
    writeDeviceBlock(device);
    for (int k = 0; k < 64; ++k) m_state.paramBlock[k] = static_cast<uint16_t>(0xC000 + k);
    ASSERT_TRUE(control::failRead(m_id, 192 + 10, true));
    EXPECT_EQ(LoadParamBlock(m_state), ParamResult::ReadFailure);
    for (int k = 0; k < 10; ++k) EXPECT_EQ(m_state.paramBlock[k], device[k]) << "word " << k;
    for (int k = 10; k < 64; ++k)
        EXPECT_EQ(m_state.paramBlock[k], 0xC000 + k) << "word " << k;

    ASSERT_TRUE(control::failRead(m_id, 192 + 10, false));
    ASSERT_TRUE(control::setWord(m_id, 192 + 5, static_cast<uint16_t>(device[5] + 1)));
    EXPECT_EQ(LoadParamBlock(m_state), ParamResult::ChecksumFailure);
    // The block keeps every word read, the changed one included.
    EXPECT_EQ(m_state.paramBlock[5], device[5] + 1);
    EXPECT_EQ(m_state.paramBlock[63], device[63]);
}

// Creating and activating the page both stop whatever stream was running.
TEST_F(ParametersPageTest, CreationAndActivationStopTheStream) {
    int8_t y = 0, x = 0;
    ASSERT_NE(PCAPGetSingleData(m_state.controller, &y, &x), 0);
    control::DeviceStatus status;
    ASSERT_TRUE(control::status(m_id, &status));
    ASSERT_NE(status.stream, 0);
    CParametersDlg& page = openPage();
    ASSERT_TRUE(control::status(m_id, &status));
    EXPECT_EQ(status.stream, 0);

    page.onHidden();
    m_state.activePage = kRawDataPage;
    ASSERT_NE(PCAPGetSingleData(m_state.controller, &y, &x), 0);
    page.onActivated();
    ASSERT_TRUE(control::status(m_id, &status));
    EXPECT_EQ(status.stream, 0);
    EXPECT_EQ(m_state.activePage.load(), kParametersPage);
}

TEST_F(ParametersPageTest, TwoSavesInARowSendTheSameBlock) {
    Words w = baseBlock();
    w[0] = 0x0018;    // AUTO CALIBRATION clear, uncaptioned bits 3 and 4
    w[18] = 0x0201;
    w[20] = 0x1F19;   // gains that are no multiples of 4
    w[34] = 0x0205;   // both edge limits below their minimum
    w[63] = sealOf(w);
    writeDeviceBlock(w);
    openPage();

    click("saveParamButton");
    const Words first = deviceBlock();
    ASSERT_NE(first, w);
    click("saveParamButton");
    EXPECT_EQ(deviceBlock(), first);
}

TEST_F(ParametersPageTest, StoreWritesTheComputedChecksumNotTheBlocksWord63) {
    Words w = baseBlock();
    std::copy(w.begin(), w.end(), m_state.paramBlock);
    m_state.paramBlock[63] = static_cast<uint16_t>(w[63] ^ 0x5A5A);
    StoreParamBlock(m_state);
    EXPECT_EQ(deviceBlock(), w);
}

TEST_F(ParametersPageTest, ChecksumFailureKeepsThePageValuesAndASaveSendsThem) {
    const Words good = baseBlock();
    writeDeviceBlock(good);
    CParametersDlg& page = openPage();

    // One word changes behind the checksum's back.
    ASSERT_TRUE(control::setWord(m_id, 192 + 1, good[1] + 1));
    click("loadParamButton");
    expectMessages({{"CRC Error!", "ZEMA PCAP Raw Viewer"}});
    EXPECT_EQ(page.values()[OspreyField::ThresholdSingleX], good[1]);
    // The shared block holds the words read, as they are.
    EXPECT_EQ(m_state.paramBlock[1], good[1] + 1);

    m_messages.clear();
    click("saveParamButton");
    EXPECT_EQ(deviceBlock(), good);
    expectMessages({{"Save Parameters OK", "ZEMA Quillet"}});
}

TEST_F(ParametersPageTest, ReadFailureAtCreationEndsTheProgramAfterClosingTheDevice) {
    ASSERT_TRUE(control::failRead(m_id, 200, true));
    m_state.hasFreqTable = 1;
    CParametersDlg& page = openPage();

    // Shown once, although the page loads again when it is shown, and no
    // table failure is reported for the device that is already closed.
    expectMessages({{"Load Param Fail!\r\n", "LumoraTuner"}});
    ASSERT_EQ(m_quitCodes.size(), 1u);
    EXPECT_NE(m_quitCodes.front(), 0);
    EXPECT_EQ(m_state.controller, 0u);
    EXPECT_FALSE(deviceOpen());
    EXPECT_EQ(page.registration(), 0u);
}

// The mended fault: a save whose reload fails reports that failure only.
TEST_F(ParametersPageTest, SaveWhoseReloadFailsDoesNotReportSuccess) {
    writeDeviceBlock(baseBlock());
    openPage();
    ASSERT_TRUE(control::failRead(m_id, 192 + 40, true));
    click("saveParamButton");
    expectMessages({{"Load Param Fail!\r\n", "LumoraTuner"}});
    EXPECT_EQ(m_quitCodes.size(), 1u);
    EXPECT_EQ(m_state.controller, 0u);
    EXPECT_FALSE(deviceOpen());
}

TEST_F(ParametersPageTest, HardwareCalibrationResetsWithoutReloading) {
    writeDeviceBlock(baseBlock());
    openPage();
    // A reload would fail on this word and end the program.
    ASSERT_TRUE(control::failRead(m_id, 192, true));
    ASSERT_TRUE(control::clearCommandLog(m_id));
    click("hardwareCalibrationButton");
    // Calibration once, then the reset, and nothing else.
    EXPECT_EQ(control::operationsOf(control::commandLog(m_id)),
              (std::vector<std::string>{"DevHardwareCalibration", "DevResetController"}));
    expectMessages({{"Reset OK", "ZEMA Quillet"}});
    EXPECT_TRUE(m_quitCodes.empty());
    EXPECT_NE(m_state.controller, 0u);
}

// A save writes the 64 words in order, the checksum last, then resets the
// controller so that it takes the block, then reads the block back. Neither
// a save nor a load calibrates.
TEST_F(ParametersPageTest, SaveWritesTheBlockThenResetsThenReloads) {
    writeDeviceBlock(baseBlock());
    openPage();
    ASSERT_TRUE(control::clearCommandLog(m_id));
    click("saveParamButton");
    click("loadParamButton");
    const auto log = control::commandLog(m_id);
    std::vector<std::string> expected(64, "DevWriteWord");
    expected.push_back("DevResetController");
    expected.insert(expected.end(), 128, "DevReadWord");  // the save's reload, then the load
    EXPECT_EQ(control::operationsOf(log, {"DevWriteWord", "DevResetController", "DevReadWord",
                                          "DevHardwareCalibration"}),
              expected);
    for (int k = 0; k < 64 && k < int(log.size()); ++k) EXPECT_EQ(log[size_t(k)].u16(0), 192 + k);
    expectMessages({{"Save Parameters OK", "ZEMA Quillet"}});
}

// A page shown again reads the controller again: a word changed there while
// the page was hidden shows in its controls and in the shared block.
TEST_F(ParametersPageTest, ShowingThePageAgainReloadsTheBlock) {
    Words w = baseBlock();
    writeDeviceBlock(w);
    CParametersDlg& page = openPage();
    ASSERT_FALSE(check("swapXYCheck")->isChecked());
    page.onHidden();
    w[0] = 0x00A2;  // AUTO CALIBRATION, SWAPXY, INVERSE Y
    w[63] = sealOf(w);
    writeDeviceBlock(w);
    page.onActivated();
    page.onShown();
    EXPECT_TRUE(check("swapXYCheck")->isChecked());
    EXPECT_TRUE(check("inverseYCheck")->isChecked());
    EXPECT_EQ(m_state.paramBlock[0], 0x00A2);
    EXPECT_TRUE(m_messages.shown().empty());
}

// ---- The frequency table at creation ---------------------------------------

TEST_F(ParametersPageTest, FrequencyTableLoadsLowByteFirstWithWord63Zero) {
    std::memset(m_state.freqTable, 0xA5, sizeof m_state.freqTable);
    m_state.hasFreqTable = 1;
    const Words device = deviceWords(128);
    openPage();
    ASSERT_TRUE(m_messages.shown().empty());
    for (int k = 0; k < 63; ++k) {
        EXPECT_EQ(m_state.freqTable[2 * k], device[k] & 0xFF) << "word " << k;
        EXPECT_EQ(m_state.freqTable[2 * k + 1], device[k] >> 8) << "word " << k;
    }
    EXPECT_EQ(m_state.freqTable[126], 0);
    EXPECT_EQ(m_state.freqTable[127], 0);
    for (int b = 128; b < 164; ++b) EXPECT_EQ(m_state.freqTable[b], 0xA5) << "byte " << b;
}

TEST_F(ParametersPageTest, FrequencyTableIsNotReadWithoutTheFlag) {
    std::memset(m_state.freqTable, 0xA5, sizeof m_state.freqTable);
    m_state.hasFreqTable = 0;
    openPage();
    EXPECT_EQ(m_state.freqTable[0], 0xA5);
    EXPECT_NE(m_state.controller, 0u);
}

// A failed read of word 191 compares the table with the bare seed 0x0055.
TEST_F(ParametersPageTest, FrequencyTableWithUnreadableChecksumMatchesTheSeed) {
    for (int k = 128; k < 191; ++k) ASSERT_TRUE(control::setWord(m_id, k, 0));
    ASSERT_TRUE(control::setWord(m_id, 128, 0x1234));
    ASSERT_TRUE(control::setWord(m_id, 129, static_cast<uint16_t>(0x10000 - 0x1234)));
    ASSERT_TRUE(control::failRead(m_id, 191, true));
    std::memset(m_state.freqTable, 0xA5, sizeof m_state.freqTable);
    m_state.hasFreqTable = 1;
    openPage();
    EXPECT_TRUE(m_messages.shown().empty());
    EXPECT_EQ(m_state.freqTable[0], 0x34);
    EXPECT_EQ(m_state.freqTable[1], 0x12);
    EXPECT_NE(m_state.controller, 0u);
}

struct TableFailure {
    const char* name;
    int failingRead;           // -1: none
    int changedWord;           // -1: none; else this word is changed without resealing
    const char* message;
};
void PrintTo(const TableFailure& c, std::ostream* os) { *os << c.name; }

const TableFailure kTableFailures[] = {
    {"ReadFailure", 150, -1, "Get Parameters Fail!"},
    {"ChecksumFailure", -1, 140, "CRC Fail!"},
    {"UnreadableChecksumWord", 191, -1, "CRC Fail!"},
};

class FrequencyTableFailureTest : public ParametersPageTest,
                                  public ::testing::WithParamInterface<TableFailure> {};

TEST_P(FrequencyTableFailureTest, LeavesTheTableAndGoesOnWithoutADevice) {
    const TableFailure& c = GetParam();
    if (c.failingRead >= 0) {
        ASSERT_TRUE(control::failRead(m_id, c.failingRead, true));
    }
    if (c.changedWord >= 0) {
        uint16_t v = 0;
        ASSERT_TRUE(control::getWord(m_id, c.changedWord, &v));
        ASSERT_TRUE(control::setWord(m_id, c.changedWord, static_cast<uint16_t>(v + 1)));
    }
    if (c.failingRead == 191) {
        // Make sure the real table does not happen to sum to the bare seed.
        uint16_t v = 0;
        ASSERT_TRUE(control::getWord(m_id, 130, &v));
        ASSERT_TRUE(control::setWord(m_id, 130, static_cast<uint16_t>(v + 1)));
    }
    writeDeviceBlock(baseBlock());
    std::memset(m_state.freqTable, 0xA5, sizeof m_state.freqTable);
    m_state.hasFreqTable = 1;

    CParametersDlg& page = openPage();

    // Creation goes on without a device; the load when the page is shown
    // then finds no device and ends the program.
    expectMessages({{c.message, "LumoraTuner"}, {"Load Param Fail!\r\n", "LumoraTuner"}});
    EXPECT_EQ(m_quitCodes.size(), 1u);
    for (uint8_t b : m_state.freqTable) ASSERT_EQ(b, 0xA5);
    EXPECT_EQ(m_state.controller, 0u);
    EXPECT_FALSE(deviceOpen());
    EXPECT_EQ(page.registration(), 0u);
    EXPECT_EQ(m_state.activePage.load(), kParametersPage);
    // The block was loaded before the table; the page keeps those values.
    EXPECT_EQ(page.values()[OspreyField::ThresholdSingleX], baseBlock()[1]);
}

INSTANTIATE_TEST_SUITE_P(Cases, FrequencyTableFailureTest, ::testing::ValuesIn(kTableFailures),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Registration and the controller going away ------------------------------

TEST_F(ParametersPageTest, RegistersOnceAtCreationAndKeepsItWhileHidden) {
    CParametersDlg& page = openPage();
    const VexRegistration registration = page.registration();
    EXPECT_NE(registration, 0u);
    page.onHidden();
    page.onActivated();
    page.onShown();
    EXPECT_EQ(page.registration(), registration);
    EXPECT_EQ(m_state.activePage.load(), kParametersPage);
    page.onDestroyed();
    EXPECT_EQ(page.registration(), 0u);
}

struct PacketCase {
    const char* name;
    std::array<uint8_t, 5> head;  // bytes 0..4 of the packet
    int32_t activePage;
    bool ends;
};
void PrintTo(const PacketCase& c, std::ostream* os) { *os << c.name; }

const PacketCase kPacketCases[] = {
    {"EndPacketEndsTheProgram", {0, 2, 0x3B, 0x70, 3}, kParametersPage, true},
    {"OtherPacketIsIgnored", {0, 2, 0x3B, 0x70, 2}, kParametersPage, false},
    {"EndPacketWhileAnotherPageIsActiveIsIgnored", {0, 2, 0x3B, 0x70, 3}, kRawDataPage, false},
};

class ParametersPacketTest : public ParametersPageTest,
                             public ::testing::WithParamInterface<PacketCase> {};

TEST_P(ParametersPacketTest, DeviceGoneCheck) {
    const PacketCase& c = GetParam();
    openPage();
    m_state.activePage = c.activePage;
    uint8_t packet[64] = {};
    std::copy(c.head.begin(), c.head.end(), packet);
    ASSERT_TRUE(control::injectPacket(m_id, packet));
    if (!c.ends) {
        // Give the packet time to arrive; it must change nothing.
        waitUntil([] { return false; }, 300);
        EXPECT_TRUE(m_quitCodes.empty());
        EXPECT_NE(m_state.controller, 0u);
        return;
    }
    ASSERT_TRUE(waitUntil([this] { return !m_quitCodes.empty(); }));
    EXPECT_EQ(m_quitCodes, std::vector<int>{0});
    EXPECT_EQ(m_state.controller, 0u);
    EXPECT_FALSE(deviceOpen());
}

INSTANTIATE_TEST_SUITE_P(Cases, ParametersPacketTest, ::testing::ValuesIn(kPacketCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ParametersPageTest, UnpluggingTheControllerEndsTheProgram) {
    openPage();
    ASSERT_TRUE(control::unplug(m_id));
    ASSERT_TRUE(waitUntil([this] { return !m_quitCodes.empty(); }));
    EXPECT_EQ(m_state.controller, 0u);
}

TEST_F(ParametersPageTest, NothingArrivesAfterTheRegistrationEnded) {
    CParametersDlg& page = openPage();
    page.onDestroyed();
    uint8_t packet[64] = {0, 2, 0x3B, 0x70, 3};
    ASSERT_TRUE(control::injectPacket(m_id, packet));
    waitUntil([] { return false; }, 300);
    EXPECT_TRUE(m_quitCodes.empty());
    EXPECT_NE(m_state.controller, 0u);
}

}  // namespace
}  // namespace lumora
