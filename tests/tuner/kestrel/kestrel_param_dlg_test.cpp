// The "Kestrel Param" page against a virtual Heron controller: what the
// controller receives from each command (its memory, its register blocks and
// the calls in its command log), the messages, the header export and the
// page's hooks.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <array>
#include <functional>
#include <memory>

#include "device/vexlink.h"
#include "host/packet_window.h"
#include "host/testing/doubles.h"
#include "tests/support/test_support.h"
#include "tuner/app/device_state.h"
#include "tuner/app/tuner_sheet.h"
#include "tuner/kestrel/kestrel_param_dlg.h"
#include "vexlink/virtual/control.h"

namespace lumora {
namespace {

namespace control = vexlink::control;
using Memory = std::array<uint16_t, 256>;
using Log = std::vector<control::CommandRecord>;

constexpr int kFactoryIndex = 2;  // the index a virtual Heron controller starts in

// The checksum as the controller keeps it, written out independently of the
// code under test.
uint16_t sealOf(const Memory& m) {
    uint32_t sum = 0x55;
    for (int k = 64; k <= 254; ++k) sum += m[k];
    return static_cast<uint16_t>(sum);
}

// Device word of byte `offset` of frequency record n.
int recordWord(int n, int offset) { return 192 + 12 * n + offset / 2; }

using lumora::test_support::waitUntil;

std::vector<std::pair<int, uint16_t>> wordWrites(const Log& log) {
    std::vector<std::pair<int, uint16_t>> out;
    for (const auto& r : log)
        if (r.operation == "DevWriteWord") out.push_back({r.u16(0), r.u16(2)});
    return out;
}

// The index argument of each call of one operation.
std::vector<int> indexesOf(const Log& log, const std::string& operation) {
    std::vector<int> out;
    for (const auto& r : log) {
        if (r.operation != operation) continue;
        // Register reads carry the blob id first; the other calls start with
        // the index.
        out.push_back(operation == "DevReadFreqRegs" ? r.u8(1) : r.u8(0));
    }
    return out;
}

const control::CommandRecord* lastOf(const Log& log, const std::string& operation) {
    for (auto it = log.rbegin(); it != log.rend(); ++it)
        if (it->operation == operation) return &*it;
    return nullptr;
}

class KestrelPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        test_support::app();
        static const bool dispatcher = [] {
            host::installGuiDispatcher();
            return true;
        }();
        (void)dispatcher;
        openDevice("heron");
    }

    void TearDown() override {
        m_page.reset();
        if (m_state.controller) CloseHIDDevice(m_state.controller);
        control::configure("");
    }

    void openDevice(const std::string& entry) {
        m_page.reset();
        if (m_state.controller) CloseHIDDevice(m_state.controller);
        const auto device = test_support::openOnlyDevice(entry);
        ASSERT_NE(device.handle, 0u) << device.error;
        m_id = device.id;
        m_state.controller = device.handle;
        m_state.typeCode = 6;
        m_state.titleBase = QStringLiteral("LumoraTuner_Release v2.3.2.6 for ");
        m_state.modelName = QStringLiteral("ZH-6022");
        m_state.fwVersion = QStringLiteral("6.0.42");
    }

    Memory deviceMemory() {
        Memory m{};
        for (int k = 0; k < 256; ++k) EXPECT_TRUE(control::getWord(m_id, k, &m[size_t(k)]));
        return m;
    }
    void setDeviceByte(int word, bool high, uint8_t value) {
        uint16_t w = 0;
        ASSERT_TRUE(control::getWord(m_id, word, &w));
        w = high ? static_cast<uint16_t>((w & 0x00FF) | (value << 8)) : static_cast<uint16_t>((w & 0xFF00) | value);
        ASSERT_TRUE(control::setWord(m_id, word, w));
    }
    void setPeriod(int n, uint8_t period) {
        setDeviceByte(recordWord(n, 0), false, period);
        ASSERT_TRUE(control::sealChecksum(m_id));
    }
    std::array<uint8_t, 64> deviceRegisters(int n) {
        std::array<uint8_t, 64> r{};
        EXPECT_TRUE(control::getFreqRegisters(m_id, n, r.data()));
        return r;
    }
    Log takeLog() {
        Log log = control::commandLog(m_id);
        control::clearCommandLog(m_id);
        return log;
    }

    // The sheet's order for the first page: created, then shown.
    CKestrelParamFreqDlg& openPage(bool show = true) {
        m_page = std::make_unique<CKestrelParamFreqDlg>(m_state);
        QObject::connect(m_page.get(), &TunerPage::quitRequested,
                         [this](int code) { m_quitCodes.push_back(code); });
        QObject::connect(m_page.get(), &TunerPage::closeRequested, [this] { ++m_closeRequests; });
        m_page->show();  // as the sheet shows a page before its first hook
        m_page->onCreated();
        if (show) m_page->onShown();
        return *m_page;
    }
    void click(const char* button) {
        auto* b = m_page->findChild<QPushButton*>(QString::fromLatin1(button));
        ASSERT_NE(b, nullptr) << button;
        b->click();
    }
    QCheckBox* check(const char* name) { return m_page->findChild<QCheckBox*>(QString::fromLatin1(name)); }
    // A key press as the focused control receives it; true when it was
    // passed on (not consumed).
    bool pressKey(QWidget* target, int key, Qt::KeyboardModifiers modifiers) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(target, &press);
        return !press.isAccepted();
    }
    void expectMessages(std::initializer_list<std::pair<const char*, const char*>> expected) {
        test_support::expectMessages(m_messages, expected);
    }
    std::string firstTexts() {
        std::string out;
        for (const auto& s : m_messages.shown()) out += "[" + s.text.toStdString() + "] ";
        return out;
    }

    host::testing::RecordingMessages m_messages;
    host::testing::ScriptedFileDialogs m_dialogs;
    DeviceState m_state;
    int m_id = 0;
    std::unique_ptr<CKestrelParamFreqDlg> m_page;
    std::vector<int> m_quitCodes;
    int m_closeRequests = 0;
};

// ---- Show and Load --------------------------------------------------------------

TEST_F(KestrelPageTest, ShowLoadsBothPartsAndPublishesTheWorkingCopy) {
    setDeviceByte(64, true, 0x21);  // Swap Y (bit 13) and Recovery Check (bit 8)
    ASSERT_TRUE(control::sealChecksum(m_id));
    const Memory device = deviceMemory();
    takeLog();

    CKestrelParamFreqDlg& page = openPage();
    EXPECT_TRUE(m_messages.shown().empty()) << firstTexts();
    const Log log = takeLog();
    EXPECT_EQ(control::operationsOf(log, {"PCAPStopGetData", "PCAPGetRawPoint", "DevSetFreqIndex",
                                          "DevReadFreqRegs"}),
              (std::vector<std::string>{"PCAPStopGetData", "PCAPGetRawPoint", "DevSetFreqIndex",
                                        "DevReadFreqRegs", "DevReadFreqRegs"}));
    EXPECT_EQ(indexesOf(log, "DevSetFreqIndex"), std::vector<int>{255});
    EXPECT_EQ(indexesOf(log, "DevReadFreqRegs"), (std::vector<int>{kFactoryIndex, kFactoryIndex}));
    // Every word twice (reference, then working copy), then the checksum.
    std::vector<int> reads;
    for (const auto& r : log)
        if (r.operation == "DevReadWord") reads.push_back(r.u16(0));
    ASSERT_EQ(reads.size(), 2u * 191 + 1);
    for (int k = 0; k < 191; ++k) {
        EXPECT_EQ(reads[size_t(2 * k)], 64 + k);
        EXPECT_EQ(reads[size_t(2 * k + 1)], 64 + k);
    }
    EXPECT_EQ(reads.back(), 255);

    for (int k = 0; k < 191; ++k) {
        EXPECT_EQ(page.workingBlock().word(k), device[size_t(64 + k)]) << "word " << 64 + k;
        EXPECT_EQ(page.referenceBlock().word(k), device[size_t(64 + k)]) << "word " << 64 + k;
    }
    EXPECT_TRUE(check("swapYCheck")->isChecked());
    EXPECT_FALSE(check("swapXCheck")->isChecked());
    EXPECT_FALSE(check("swapXYCheck")->isChecked());
    const auto regs = deviceRegisters(kFactoryIndex);
    EXPECT_TRUE(std::equal(regs.begin(), regs.end(), page.loadedRegisters().bytes.begin()));
    EXPECT_EQ(page.pwmEntry(), 29) << "code 0x2C is the 30th entry";
    EXPECT_NE(page.packetRegistration(), 0u);
    EXPECT_NE(page.timeoutRegistration(), 0u);

    // What the other pages read.
    ASSERT_EQ(m_state.kestrel, &page);
    const KestrelParamSource& source = *m_state.kestrel;
    EXPECT_EQ(source.currentFreqIndex(), kFactoryIndex);
    EXPECT_EQ(source.touchThreshold(1), device[size_t(recordWord(1, 5))] >> 8);
    EXPECT_EQ(source.waterThreshold(4), device[size_t(recordWord(4, 7))] >> 8);
    EXPECT_EQ(source.period(3), device[size_t(recordWord(3, 0))] & 0xFF);
    EXPECT_EQ(source.chkStrayTh(), device[139] >> 8);
    EXPECT_EQ(source.chkStrayThWater(), device[182] >> 8);
    EXPECT_EQ(source.touchThreshold(5), 0);
    EXPECT_EQ(source.currentTouchThreshold(), device[size_t(recordWord(kFactoryIndex, 5))] >> 8);

    m_page.reset();
    EXPECT_EQ(m_state.kestrel, nullptr);
}

struct LoadFailure {
    const char* name;
    std::function<void(int id)> fault;
    const char* message;
    const char* caption;
    bool freqPart;  // the failure lies in the frequency part
};
void PrintTo(const LoadFailure& c, std::ostream* os) { *os << c.name; }

const LoadFailure kLoadFailures[] = {
    {"WordRead", [](int id) { control::failRead(id, 100, true); }, "Load paremeters Fail!", "Error!", false},
    {"ChecksumMismatch",
     [](int id) {
         uint16_t w = 0;
         control::getWord(id, 100, &w);
         control::setWord(id, 100, static_cast<uint16_t>(w + 1));
     },
     "CRC Fail!", " Error", false},
    {"ChecksumWordUnreadable", [](int id) { control::failRead(id, 255, true); }, "CRC Fail!", " Error", false},
    {"RegisterBlockUnreadable", [](int id) { control::failFreqRegsRead(id, kFactoryIndex, true); },
     "Load Freqency Parameters Error!", " Error", true},
    {"IndexPastTheRecords", [](int id) { control::setFreqIndexInUse(id, 7); },
     "Load Freqency Parameters Error!", " Error", true},
};

class KestrelLoadFailureTest : public KestrelPageTest, public ::testing::WithParamInterface<LoadFailure> {};

TEST_P(KestrelLoadFailureTest, PartMessageThenLoadParamFailed) {
    const LoadFailure& c = GetParam();
    CKestrelParamFreqDlg& page = openPage();
    ASSERT_TRUE(m_messages.shown().empty()) << firstTexts();
    c.fault(m_id);
    takeLog();
    click("loadParamButton");
    expectMessages({{c.message, c.caption}, {"Load Param Failed!", "Error"}});
    const Log log = takeLog();
    if (!c.freqPart) {
        EXPECT_TRUE(indexesOf(log, "DevSetFreqIndex").empty()) << "the load ends with the general part";
        EXPECT_EQ(page.currentFreqIndex(), kFactoryIndex);
        return;
    }
    // A save then has no register block to send and sends nothing.
    EXPECT_EQ(page.pwmEntry(), -1);
    m_messages.clear();
    click("saveParamButton");
    expectMessages({{"PWM Setting Select Error!", "Error"}});
    const Log saveLog = takeLog();
    EXPECT_TRUE(wordWrites(saveLog).empty());
    EXPECT_EQ(lastOf(saveLog, "DevWriteFreqRegs"), nullptr);
    if (std::string(c.name) == "IndexPastTheRecords") {
        EXPECT_EQ(indexesOf(log, "DevReadFreqRegs"), std::vector<int>{}) << "no block past the five";
        EXPECT_EQ(page.currentFreqIndex(), KestrelParamSource::kNoFreqIndex);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, KestrelLoadFailureTest, ::testing::ValuesIn(kLoadFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(KestrelPageTest, ShowStopsAfterAFailedGeneralPart) {
    ASSERT_TRUE(control::failRead(m_id, 180, true));
    takeLog();
    openPage();
    expectMessages({{"Load paremeters Fail!", "Error!"}, {"Load Param Failed!", "Error"}});
    EXPECT_TRUE(indexesOf(takeLog(), "DevSetFreqIndex").empty());
}

TEST_F(KestrelPageTest, PeriodBelowTheEntrysMinimumIsReportedAtEveryLoad) {
    struct Case {
        uint8_t period;
        uint8_t code;
        bool reported;
    };
    const Case cases[] = {
        {40, 0x34, true},   // entry period 48, minimum 49
        {48, 0x34, true},
        {49, 0x34, false},
        {0, 0x2C, true},
        {97, 0x2C, false},  // entry period 96
    };
    openPage();
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.period));
        setPeriod(kFactoryIndex, c.period);
        ASSERT_TRUE(control::setFreqRegister(m_id, kFactoryIndex, 5, c.code));
        for (int load = 0; load < 2; ++load) {
            m_messages.clear();
            click("loadParamButton");
            if (c.reported)
                expectMessages({{"Period Error! Please update new firmware!", "Error"},
                                {"Load Param OK!", "LumoraTuner"}});
            else
                expectMessages({{"Load Param OK!", "LumoraTuner"}});
        }
    }
}

// ---- Save --------------------------------------------------------------------------

TEST_F(KestrelPageTest, SaveAfterChangingOnlySwapXSendsEveryOtherWordAsLoaded) {
    const Memory before = deviceMemory();
    openPage();
    ASSERT_TRUE(m_messages.shown().empty()) << firstTexts();
    takeLog();

    check("swapXCheck")->setChecked(true);
    click("saveParamButton");
    const Log log = takeLog();

    Memory expected = before;
    expected[64] = static_cast<uint16_t>(before[64] | 0x1000);
    ASSERT_NE(expected[64], before[64]);
    expected[255] = sealOf(expected);
    const auto writes = wordWrites(log);
    ASSERT_EQ(writes.size(), 192u);
    for (int k = 0; k < 192; ++k) {
        EXPECT_EQ(writes[size_t(k)].first, 64 + k);
        EXPECT_EQ(writes[size_t(k)].second, expected[size_t(64 + k)]) << "word " << 64 + k;
    }
    EXPECT_EQ(deviceMemory(), expected);

    // Register block re-read, words, index switch and block, reset, then the
    // DAC calibration with its load.
    EXPECT_EQ(control::operationsOf(log, {"DevReadFreqRegs", "DevSetFreqIndex", "DevWriteFreqRegs",
                                          "DevResetController", "DevDACCalibration"}),
              (std::vector<std::string>{"DevReadFreqRegs", "DevSetFreqIndex", "DevWriteFreqRegs",
                                        "DevResetController", "DevDACCalibration", "DevSetFreqIndex",
                                        "DevSetFreqIndex", "DevReadFreqRegs", "DevReadFreqRegs"}));
    EXPECT_EQ(indexesOf(log, "DevSetFreqIndex"), (std::vector<int>{kFactoryIndex, kFactoryIndex, 255}));
    EXPECT_EQ(log.front().operation, "DevReadFreqRegs");
    const auto* block = lastOf(log, "DevWriteFreqRegs");
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->u8(0), kFactoryIndex);
    const auto regs = deviceRegisters(kFactoryIndex);
    ASSERT_EQ(block->args.size(), 65u);
    EXPECT_TRUE(std::equal(regs.begin(), regs.end(), block->args.begin() + 1)) << "unchanged block";
    expectMessages({{"DAC Cailabration OK!", "LumoraTuner"}});
    EXPECT_TRUE(check("swapXCheck")->isChecked());
}

// The register values of the last load go back even when the controller
// changed them since, or an export left another index's block in the page.
TEST_F(KestrelPageTest, SaveSendsTheLoadedRegisterValuesIntoTheCurrentBlock) {
    CKestrelParamFreqDlg& page = openPage();
    const auto loaded = deviceRegisters(kFactoryIndex);
    QTemporaryDir dir;
    m_dialogs.script(dir.filePath(QStringLiteral("k.def")));
    page.onExportHeader();
    ASSERT_EQ(page.workingRegisters(), [&] {
        KestrelRegisters r;
        const auto four = deviceRegisters(4);
        std::copy(four.begin(), four.end(), r.bytes.begin());
        return r;
    }()) << "the export leaves index 4's block in the working copy";

    for (int byte : {0, 3, 5, 20, 30, 40})
        ASSERT_TRUE(control::setFreqRegister(m_id, kFactoryIndex, byte, 0xEE));
    takeLog();
    m_messages.clear();
    click("saveParamButton");
    const Log log = takeLog();
    const auto* block = lastOf(log, "DevWriteFreqRegs");
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->u8(0), kFactoryIndex);
    EXPECT_EQ(indexesOf(log, "DevReadFreqRegs").front(), kFactoryIndex);
    for (int byte : {0, 3, 20}) EXPECT_EQ(block->u8(size_t(1 + byte)), loaded[size_t(byte)]) << byte;
    EXPECT_EQ(block->u8(1 + 5), 0x2C) << "the chosen entry's code";
    for (int byte : {30, 40}) EXPECT_EQ(block->u8(size_t(1 + byte)), 0xEE) << "as the controller holds it";
    EXPECT_EQ(deviceRegisters(kFactoryIndex)[20], loaded[20]);
}

TEST_F(KestrelPageTest, UnknownSampleRateCodeIsSavedAs0x26) {
    ASSERT_TRUE(control::setFreqRegister(m_id, kFactoryIndex, 5, 0x99));
    CKestrelParamFreqDlg& page = openPage();
    EXPECT_TRUE(m_messages.shown().empty()) << firstTexts();
    EXPECT_EQ(page.pwmEntry(), 35);
    EXPECT_EQ(page.workingRegisters().sampleRate(), 0x26);
    takeLog();
    click("saveParamButton");
    const Log log = takeLog();
    const auto* block = lastOf(log, "DevWriteFreqRegs");
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->u8(1 + 5), 0x26);
    EXPECT_EQ(deviceRegisters(kFactoryIndex)[5], 0x26);
}

TEST_F(KestrelPageTest, FailedWriteLeavesTheWordsBeforeItAndTheOldChecksum) {
    struct Case {
        int failingWord;
    };
    for (const Case& c : {Case{70}, Case{255}}) {
        SCOPED_TRACE(c.failingWord);
        openDevice("heron");
        const Memory before = deviceMemory();
        openPage();
        check("swapXCheck")->setChecked(true);
        ASSERT_TRUE(control::failWrite(m_id, c.failingWord, true));
        takeLog();
        m_messages.clear();
        click("saveParamButton");
        expectMessages({{" Save paremeters Fail ! ", " Error "}});
        const Log log = takeLog();
        const auto writes = wordWrites(log);
        ASSERT_FALSE(writes.empty());
        EXPECT_EQ(writes.front().first, 64);
        EXPECT_EQ(writes.back().first, c.failingWord) << "the first failure ends the save";
        EXPECT_EQ(control::operationsOf(log, {"DevWriteFreqRegs", "DevResetController", "DevDACCalibration"}),
                  std::vector<std::string>{});
        const Memory after = deviceMemory();
        EXPECT_EQ(after[64], before[64] | 0x1000) << "written before the failure";
        EXPECT_EQ(after[255], before[255]) << "the old checksum stays";

        // The controller's block no longer matches its checksum.
        m_messages.clear();
        click("loadParamButton");
        expectMessages({{"CRC Fail!", " Error"}, {"Load Param Failed!", "Error"}});
    }
}

TEST_F(KestrelPageTest, SaveStopsWhenTheRegisterBlockCannotBeReadAgain) {
    openPage();
    ASSERT_TRUE(control::failFreqRegsRead(m_id, kFactoryIndex, true));
    takeLog();
    click("saveParamButton");
    expectMessages({{"Save Freqency Parameters Error!", " Error"}});
    const Log log = takeLog();
    EXPECT_TRUE(wordWrites(log).empty());
    EXPECT_EQ(lastOf(log, "DevWriteFreqRegs"), nullptr);
}

// Before any load there is no index: nothing is sent by Save, and the other
// commands only ask (255) for the index, never switch to an undefined one.
TEST_F(KestrelPageTest, CommandsBeforeAnyLoadNeverSwitchToAnUndefinedIndex) {
    openPage(/*show=*/false);
    takeLog();
    click("saveParamButton");
    expectMessages({{"PWM Setting Select Error!", "Error"}});
    EXPECT_TRUE(takeLog().empty());

    for (const char* button : {"dacCalibrationButton", "resetControllerButton", "defaultParamButton"}) {
        SCOPED_TRACE(button);
        openDevice("heron");
        openPage(false);
        takeLog();
        click(button);
        const std::vector<int> switched = indexesOf(takeLog(), "DevSetFreqIndex");
        EXPECT_EQ(switched, std::vector<int>{255}) << "only the load's ask";
    }
}

// ---- DAC calibration, defaults, reset -----------------------------------------------

TEST_F(KestrelPageTest, DacCalibrationSwitchesBackLoadsAndTracesItsTimes) {
    openPage();
    host::testing::CapturedTrace trace;
    host::testing::FakeClock clock;
    takeLog();
    click("dacCalibrationButton");
    expectMessages({{"DAC Cailabration OK!", "LumoraTuner"}});
    const Log log = takeLog();
    EXPECT_EQ(log.front().operation, "DevDACCalibration");
    EXPECT_EQ(indexesOf(log, "DevSetFreqIndex"), (std::vector<int>{kFactoryIndex, 255}));
    EXPECT_EQ(log[1].operation, "DevSetFreqIndex") << "switched back before the load";
    EXPECT_EQ(trace.text(), QStringLiteral("Take Time 1: 0.000\r\nTake Time 2: 0.000\r\n"
                                           "Take Time 3: 0.000\r\nTake Time 4: 0.000\r\n"));

    ASSERT_TRUE(control::setDacAcknowledged(m_id, false));
    m_messages.clear();
    trace.clear();
    click("dacCalibrationButton");
    expectMessages({{"DAC Cailabration Fail!", "Error"}});
    EXPECT_EQ(control::operationsOf(takeLog()), std::vector<std::string>{"DevDACCalibration"});
    EXPECT_TRUE(trace.text().isEmpty());
}

TEST_F(KestrelPageTest, DefaultParametersRestoreBothPartsAfterTheQuestion) {
    const Memory factory = deviceMemory();
    ASSERT_TRUE(control::setWord(m_id, 66, 9999));
    ASSERT_TRUE(control::sealChecksum(m_id));
    CKestrelParamFreqDlg& page = openPage();
    ASSERT_EQ(page.workingBlock().word(2), 9999);

    m_messages.script(host::Answer::No);
    takeLog();
    click("defaultParamButton");
    expectMessages({{" Are You Sure Go To Default Value ? ", " WARING "}});
    EXPECT_TRUE(takeLog().empty());

    m_messages.clear();
    click("defaultParamButton");
    expectMessages({{" Are You Sure Go To Default Value ? ", " WARING "},
                    {"Load Default Freq Param OK!", "LumoraTuner"},
                    {"Load Default Parameters OK!", " Error"}});
    const Log log = takeLog();
    EXPECT_EQ(control::operationsOf(log, {"DevLoadDefaultFreqParam", "DevResetController",
                                          "DevLoadDefaultParam", "DevSetFreqIndex"}),
              (std::vector<std::string>{"DevLoadDefaultFreqParam", "DevResetController",
                                        "DevLoadDefaultParam", "DevSetFreqIndex", "DevSetFreqIndex"}));
    EXPECT_EQ(indexesOf(log, "DevSetFreqIndex"), (std::vector<int>{kFactoryIndex, 255}));
    EXPECT_EQ(deviceMemory()[66], factory[66]);
    EXPECT_EQ(page.workingBlock().word(2), factory[66]) << "loaded again";
}

TEST_F(KestrelPageTest, DefaultFrequencyParametersEndWithTheDacCalibration) {
    const auto factoryRegs = deviceRegisters(kFactoryIndex);
    const int factoryPeriod = deviceMemory()[size_t(recordWord(1, 0))] & 0xFF;
    ASSERT_TRUE(control::setFreqRegister(m_id, kFactoryIndex, 1, 0x1F));
    setPeriod(1, 77);
    openPage();
    ASSERT_EQ(m_page->period(1), 77);
    takeLog();
    click("defaultFreqParamButton");
    expectMessages({{" Are You Sure Go To Default Value ? ", " WARING "},
                    {"Load Default Freq Param OK!", "LumoraTuner"},
                    {"DAC Cailabration OK!", "LumoraTuner"}});
    const Log log = takeLog();
    EXPECT_EQ(control::operationsOf(log, {"DevLoadDefaultFreqParam", "DevResetController", "DevSetFreqIndex",
                                          "DevDACCalibration"}),
              (std::vector<std::string>{"DevLoadDefaultFreqParam", "DevResetController", "DevSetFreqIndex",
                                        "DevSetFreqIndex", "DevDACCalibration", "DevSetFreqIndex",
                                        "DevSetFreqIndex"}));
    EXPECT_EQ(indexesOf(log, "DevSetFreqIndex"), (std::vector<int>{kFactoryIndex, 255, kFactoryIndex, 255}));
    EXPECT_EQ(deviceRegisters(kFactoryIndex), factoryRegs);
    EXPECT_EQ(m_page->period(1), factoryPeriod) << "loaded again";
}

TEST_F(KestrelPageTest, ResetRestartsTheStreamAndLoads) {
    openPage();
    takeLog();
    click("resetControllerButton");
    expectMessages({{"Reset OK!", "LumoraTuner"}});
    const Log log = takeLog();
    const auto ops = control::operationsOf(log);
    ASSERT_GE(ops.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(ops.begin(), ops.begin() + 5),
              (std::vector<std::string>{"PCAPStopGetData", "DevResetController", "PCAPGetRawPoint",
                                        "DevSetFreqIndex", "DevReadWord"}));
    EXPECT_EQ(indexesOf(log, "DevSetFreqIndex"), (std::vector<int>{kFactoryIndex, 255}));
    control::DeviceStatus status;
    ASSERT_TRUE(control::status(m_id, &status));
    EXPECT_EQ(status.stream, 2) << "raw point stream";
}

// ---- Shortcuts ------------------------------------------------------------------------

TEST_F(KestrelPageTest, CtrlShortcutsWorkFromEveryControlWithOrWithoutShift) {
    struct Case {
        int key;
        Qt::KeyboardModifiers modifiers;
        const char* target;  // object name; "" for the page itself
        const char* firstOperation;
        const char* lastMessage;
    };
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    const Qt::KeyboardModifiers ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
    const Case cases[] = {
        {Qt::Key_L, ctrl, "swapXCheck", "DevReadWord", "Load Param OK!"},
        {Qt::Key_L, ctrlShift, "resetControllerButton", "DevReadWord", "Load Param OK!"},
        {Qt::Key_S, ctrl, "swapYCheck", "DevReadFreqRegs", "DAC Cailabration OK!"},
        {Qt::Key_K, ctrlShift, "", "DevDACCalibration", "DAC Cailabration OK!"},
        {Qt::Key_R, ctrl, "loadParamButton", "PCAPStopGetData", "Reset OK!"},
        {Qt::Key_D, ctrlShift, "swapGroup", "", " Are You Sure Go To Default Value ? "},
        {Qt::Key_F, ctrl, "swapXYCheck", "", " Are You Sure Go To Default Value ? "},
        {Qt::Key_L, Qt::NoModifier, "swapXCheck", "", ""},
        {Qt::Key_L, Qt::AltModifier, "swapXCheck", "", ""},
    };
    openPage();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.target) + " key " + std::to_string(c.key));
        QWidget* target = *c.target ? m_page->findChild<QWidget*>(QString::fromLatin1(c.target)) : m_page.get();
        ASSERT_NE(target, nullptr);
        m_messages.clear();
        m_messages.script(host::Answer::No);  // for the two default commands
        takeLog();
        EXPECT_TRUE(pressKey(target, c.key, c.modifiers)) << "the key goes on";
        const Log log = takeLog();
        if (*c.firstOperation) {
            ASSERT_FALSE(log.empty());
            EXPECT_EQ(log.front().operation, c.firstOperation);
        } else {
            EXPECT_TRUE(log.empty());
        }
        if (*c.lastMessage) {
            ASSERT_FALSE(m_messages.shown().empty());
            EXPECT_EQ(m_messages.shown().back().text, QString::fromLatin1(c.lastMessage));
        } else {
            EXPECT_TRUE(m_messages.shown().empty()) << firstTexts();
        }
    }
}

// In the sheet the keys also work while the tab bar has the focus, and only
// while the page is the visible one.
TEST_F(KestrelPageTest, ShortcutsReachTheVisiblePageFromTheSheetsTabBar) {
    {
        TunerSheet sheet(m_state, QStringLiteral("title"),
                         {{"Kestrel Param", makeKestrelParamPage},
                          {"Other", [](DeviceState& s) { return new TunerPage(s, QStringLiteral("Other")); }}},
                         QString());
        sheet.show();
        ASSERT_NE(m_state.kestrel, nullptr);
        ASSERT_TRUE(m_messages.shown().empty()) << firstTexts();
        QTabBar* tabBar = sheet.tabs()->tabBar();
        pressKey(tabBar, Qt::Key_L, Qt::ControlModifier);
        expectMessages({{"Load Param OK!", "LumoraTuner"}});

        sheet.tabs()->setCurrentIndex(1);
        m_messages.clear();
        takeLog();
        pressKey(tabBar, Qt::Key_L, Qt::ControlModifier);
        pressKey(sheet.page(1), Qt::Key_R, Qt::ControlModifier);
        EXPECT_TRUE(m_messages.shown().empty()) << firstTexts();
        EXPECT_TRUE(takeLog().empty());
        sheet.reject();
    }
    EXPECT_EQ(m_state.kestrel, nullptr);
}

// ---- Header export -------------------------------------------------------------------

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// A controller whose values differ from most reference values: "SlowDownCnt"
// 20, "UpCnt" 2 and "DownCnt" 0 (both as the reference), only "Swap X" and
// "FW Raw" set, "LengthOfTx" 0x1A2B, a "Period" of 0 in record 1, no sample
// rate in register block 0, and register block 3 unreadable. Fields written
// next to each other hold different values, so that a swapped pair shows.
TEST_F(KestrelPageTest, ExportRightAfterALoadMatchesTheGoldenHeader) {
    const std::pair<int, uint16_t> words[] = {
        {64, 0x9000},                                        // Swap X, FW Raw
        {84, 0x1A2B},                                        // LengthOfTx
        {133, 0x0200},                                       // UpCnt 2, DownCnt 0
        {90, 60}, {91, 1990}, {92, 61}, {93, 58},            // 3PT LL, UL
        {94, 1988}, {95, 59}, {96, 1987}, {97, 1991},        // 3PT UR, LR
        {99, 41}, {100, 42}, {101, 43}, {102, 44},           // LL, UL, UR, LR
        {136, 0x0005},                                       // DrawOutSpeed 5
        {142, 0x0201},                                       // MeasureStartCh 1, TxStartChannel 2
        {143, 0x0323},                                       // TxEndChannel 35, TxStartChannel IC2 3
        {146, 0x0706},                                       // FirstConstX 6, FirstConstY 7
        {182, 0x3C5A},                                       // RxNMassRatio 90, ChkStrayThWater 60
    };
    for (auto [word, value] : words) ASSERT_TRUE(control::setWord(m_id, word, value));
    setPeriod(1, 0);
    ASSERT_TRUE(control::setFreqRegister(m_id, 0, 5, 0x00));
    ASSERT_TRUE(control::failFreqRegsRead(m_id, 3, true));
    host::testing::FakeClock clock;  // 2024-01-02 03:04:05
    openPage();
    ASSERT_TRUE(m_messages.shown().empty()) << firstTexts();
    ASSERT_TRUE(check("swapXCheck")->isChecked());

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("kestrel.def"));
    m_dialogs.script(path);
    takeLog();
    pressKey(check("swapYCheck"), Qt::Key_E, Qt::ControlModifier);
    expectMessages({{"Get Registers Fail!", "LumoraTuner"}, {"Export Param  File OK!\r\n", "Lumoratuner"}});
    const QByteArray written = readFile(path);
    const QByteArray golden = readFile(QStringLiteral(LUMORA_GOLDEN_DIR "/after_load.def"));
    EXPECT_EQ(written, golden);
    if (written != golden) {
        QFile out(QDir::temp().filePath(QStringLiteral("kestrel_after_load.def")));
        if (out.open(QIODevice::WriteOnly)) out.write(written);
    }
    const Log log = takeLog();
    EXPECT_EQ(control::operationsOf(log), (std::vector<std::string>(4, "DevReadFreqRegs")));
    EXPECT_EQ(indexesOf(log, "DevReadFreqRegs"), (std::vector<int>{0, 1, 2, 3}));

    ASSERT_EQ(m_dialogs.asked().size(), 1u);
    const auto& asked = m_dialogs.asked().front();
    EXPECT_TRUE(asked.save);
    EXPECT_EQ(asked.dir, QStringLiteral("*.def"));
    EXPECT_EQ(asked.filter, QStringLiteral("Kestrel parameter file (*.def);;*.* (*)"));
    EXPECT_EQ(asked.overwrite, host::Overwrite::Replace);

    // Ctrl+Shift+E exports too, replacing the file without a question.
    QFile junk(path);
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly | QIODevice::Truncate));
    junk.write("an older header, longer than nothing at all\r\n");
    junk.close();
    m_dialogs.script(path);
    m_messages.clear();
    pressKey(check("swapXCheck"), Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
    expectMessages({{"Get Registers Fail!", "LumoraTuner"}, {"Export Param  File OK!\r\n", "Lumoratuner"}});
    EXPECT_EQ(readFile(path), golden);
}

TEST_F(KestrelPageTest, ExportTakesTheSwapFlagsFromTheCheckBoxes) {
    openPage();
    check("swapXYCheck")->setChecked(true);
    QTemporaryDir dir;
    // A name typed without an extension gets ".def".
    m_dialogs.script(dir.filePath(QStringLiteral("header")));
    m_page->onExportHeader();
    const QByteArray text = readFile(dir.filePath(QStringLiteral("header.def")));
    EXPECT_TRUE(text.contains("CTRL_SWAP_XY")) << text.left(400).toStdString();
    EXPECT_TRUE(text.startsWith("// Parameters Start\r\n"));
    EXPECT_EQ(deviceMemory()[64] & 0x0800, 0) << "the export writes nothing to the controller";
}

TEST_F(KestrelPageTest, ExportEndsSilentlyWithoutAWritableTarget) {
    openPage();
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("a folder.def"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString missing = dir.filePath(QStringLiteral("no such folder/k.def"));
    for (const QString& target : {QString(), folder, missing}) {
        SCOPED_TRACE(target.toStdString());
        if (!target.isEmpty()) m_dialogs.script(target);  // empty: the dialog is cancelled
        takeLog();
        m_messages.clear();
        m_page->onExportHeader();
        EXPECT_TRUE(m_messages.shown().empty()) << firstTexts();
        EXPECT_TRUE(takeLog().empty()) << "nothing read from the controller";
    }
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_FALSE(QFileInfo::exists(missing));
}

#if defined(__linux__)
TEST_F(KestrelPageTest, ExportDoesNotReplaceAReadOnlyTarget) {
    openPage();
    QTemporaryDir dir;
    // The folder takes new files, so a file written beside the target and
    // renamed over it would replace it: only the target's own permission
    // stands in the way.
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                      QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                      QFileDevice::WriteOther | QFileDevice::ExeOther));
    const QString path = dir.filePath(QStringLiteral("locked.def"));
    QFile locked(path);
    ASSERT_TRUE(locked.open(QIODevice::WriteOnly));
    locked.write("kept\r\n");
    locked.close();
    ASSERT_TRUE(locked.setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                                      QFileDevice::ReadOther));
    m_dialogs.script(path);
    {
        // As root, the export runs as an ordinary user, for whom a
        // read-only file is one.
        test_support::OrdinaryUser user;
        ASSERT_FALSE(QFile(path).open(QIODevice::WriteOnly | QIODevice::Append));
        m_page->onExportHeader();
    }
    EXPECT_TRUE(m_messages.shown().empty()) << firstTexts();
    EXPECT_EQ(readFile(path), QByteArray("kept\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"locked.def"})) << "no file left beside it";
}
#endif

// ---- Hooks -----------------------------------------------------------------------------

TEST_F(KestrelPageTest, TimeOutReportShowsItsMessage) {
    openPage();
    uint8_t timeout[64] = {0, 2, 0x36, 0x6B};
    ASSERT_TRUE(control::injectPacket(m_id, timeout));
    ASSERT_TRUE(waitUntil([this] { return !m_messages.shown().empty(); }));
    expectMessages({{"Kestrel Hardware TimeOut! Reset default Parameters!", "Error"}});
    EXPECT_TRUE(m_quitCodes.empty());
}

TEST_F(KestrelPageTest, EndPacketClosesTheControllerAndEndsTheProgram) {
    openPage();
    // Another page is active: the Kestrel page watches regardless.
    m_state.activePage = kRawDataPage;
    uint8_t end[64] = {0, 2, 0x3B, 0x70, 3};
    ASSERT_TRUE(control::injectPacket(m_id, end));
    ASSERT_TRUE(waitUntil([this] { return !m_quitCodes.empty(); }));
    EXPECT_EQ(m_quitCodes, std::vector<int>{0});
    EXPECT_EQ(m_state.controller, 0u);
}

TEST_F(KestrelPageTest, NothingArrivesAfterBothRegistrationsEnded) {
    CKestrelParamFreqDlg& page = openPage();
    page.onDestroyed();
    EXPECT_EQ(page.packetRegistration(), 0u);
    EXPECT_EQ(page.timeoutRegistration(), 0u);
    uint8_t timeout[64] = {0, 2, 0x36, 0x6B};
    uint8_t end[64] = {0, 2, 0x3B, 0x70, 3};
    ASSERT_TRUE(control::injectPacket(m_id, timeout));
    ASSERT_TRUE(control::injectPacket(m_id, end));
    waitUntil([] { return false; }, 300);
    EXPECT_TRUE(m_messages.shown().empty()) << firstTexts();
    EXPECT_TRUE(m_quitCodes.empty());
    EXPECT_NE(m_state.controller, 0u);
}

TEST_F(KestrelPageTest, ZeroChannelCountsAskTheSheetToClose) {
    openDevice("heron:x=0");
    takeLog();
    openPage();
    expectMessages({{"PCAPStopGetData Fail! (Y: 22, X: 0)", "Quillet"}});
    waitUntil([this] { return m_closeRequests > 0; }, 300);
    EXPECT_EQ(m_closeRequests, 1);
    EXPECT_EQ(control::operationsOf(takeLog(), {"DevReadWord", "PCAPGetRawPoint"}), std::vector<std::string>{});
}

}  // namespace
}  // namespace lumora
