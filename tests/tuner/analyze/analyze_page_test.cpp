// The workbench commands of the "Analyze" page, checked through what the
// virtual devices received and hold.
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>

#include "tests/tuner/analyze/analyze_fixture.h"
#include "tuner/analyze/analyze_format.h"

namespace lumora::analyze_test {
namespace {

QStringList rowOf(QTableWidget* list, int row) {
    QStringList texts;
    for (int c = 0; c < list->columnCount(); ++c) texts << list->item(row, c)->text();
    return texts;
}

TEST_F(AnalyzePageTest, FwUpdateInfoListsThreeRecordsThenFailsAndAppendsAgain) {
    plug("heron", "heron", 6);
    openPage();
    auto* list = child<QTableWidget>("downloadList");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->columnCount(), 11);
    EXPECT_EQ(list->horizontalHeaderItem(0)->text(), "Index");
    EXPECT_EQ(list->horizontalHeaderItem(10)->text(), "BinCRC");

    clearLogs();
    click("getFwUpdateInfoButton");
    expectMessages({{"DevGetDownloadInfo Fail!\r\n", "Error"}});
    ASSERT_EQ(list->rowCount(), 3);
    EXPECT_EQ(rowOf(list, 0), (QStringList{"1", "1", "20261102-101530", "DEFAULT", "0x0203",
                                           "Stinok Tech (0x012)", "Stinok Tech (0x012)", "0x7B06",
                                           "ZH-6022", "6.0.42", "0x5A3C"}));
    EXPECT_EQ(list->item(1, 3)->text(), "GOTO_FW");
    EXPECT_EQ(list->item(2, 3)->text(), "GOTO_LOADER");
    // Indexes 0 to 3 were asked for; the fourth does not exist.
    const auto reads = log("heron", "DevGetDownloadInfo");
    ASSERT_EQ(reads.size(), 4u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(reads[size_t(i)].u8(1), i);

    click("getFwUpdateInfoButton");
    ASSERT_EQ(list->rowCount(), 6);
    EXPECT_EQ(list->item(3, 0)->text(), "1");
    EXPECT_EQ(list->item(5, 0)->text(), "3");
    EXPECT_EQ(list->item(5, 3)->text(), "GOTO_LOADER");
    EXPECT_EQ(m_messages.shown().size(), 2u);
}

TEST_F(AnalyzePageTest, SetFwUpdateInfoWritesTheRecordWithProductIdAndLocalTime) {
    plug("heron", "heron", 6);
    m_clock.setLocalTime(QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5)));
    openPage();
    clearLogs();
    click("setFwUpdateInfoButton");
    const auto writes = log("heron", "DevSetDownloadInfo");
    ASSERT_EQ(writes.size(), 1u);
    const analyze::DownloadRecord expected =
        analyze::newDownloadRecord(0x7B06, QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5)));
    std::vector<uint8_t> sent(writes[0].args.begin() + 1, writes[0].args.end());
    EXPECT_EQ(sent, std::vector<uint8_t>(expected.begin(), expected.end()));

    click("getFwUpdateInfoButton");
    auto* list = child<QTableWidget>("downloadList");
    ASSERT_EQ(list->rowCount(), 4);
    EXPECT_EQ(rowOf(list, 3), (QStringList{"4", "0", "20240102-030405", "DEFAULT", "0x1234",
                                           "ZEMA (0x000)", "ZEMA (0x000)", "0x7B06", "Model",
                                           "Version", "0xABCD"}));
}

TEST_F(AnalyzePageTest, ChannelXEqualToTheCountIsAcceptedAndOneAboveRefused) {
    plug("heron", "heron", 6);  // 36 Tx x 22 Rx, counts from PCAPGetRawPoint at show
    openPage();
    struct Case {
        int x, y;
        bool mutual, yDrive, accepted;
    };
    const Case cases[] = {
        {36, 22, false, false, true},
        {37, 1, false, false, false},
        {1, 23, true, false, false},
        {0, 0, true, true, true},
        {36, 22, true, true, true},
    };
    for (const Case& c : cases) {
        clearLogs();
        m_messages.clear();
        setSpin("channelXEdit", c.x);
        setSpin("channelYEdit", c.y);
        child<QRadioButton>(c.yDrive ? "yDriveRadio" : "xDriveRadio")->setChecked(true);
        click(c.mutual ? "mutualCapButton" : "selfCapButton");
        const auto starts = log("heron", c.mutual ? "PCAPStartMutualCapChannel" : "PCAPStartSelfCapChannel");
        const std::string what = std::to_string(c.x) + "/" + std::to_string(c.y);
        if (c.accepted) {
            EXPECT_TRUE(m_messages.shown().empty()) << what;
            ASSERT_EQ(starts.size(), 1u) << what;
            EXPECT_EQ(starts[0].u8(0), c.yDrive ? 1 : 0) << what;
            EXPECT_EQ(starts[0].u8(1), c.x) << what;
            EXPECT_EQ(starts[0].u8(2), c.y) << what;
        } else {
            expectMessages({{"Invalid Channel!", "Error"}});
            EXPECT_TRUE(starts.empty()) << what;
        }
    }
    clearLogs();
    click("channelStopButton");
    EXPECT_EQ(ops("heron"), std::vector<std::string>{"PCAPStopChannelTest"});
}

TEST_F(AnalyzePageTest, DisableFilterTwiceSendsOneThenZeroEachWithReportIdSix) {
    plug("heron", "heron", 6);
    openPage();
    auto* button = child("disableFilterButton");
    EXPECT_EQ(button->text(), "Disable Filter");
    clearLogs();
    control::DeviceStatus status;

    click("disableFilterButton");
    EXPECT_EQ(button->text(), "Enable Filter");
    ASSERT_TRUE(control::status(idOf("heron"), &status));
    EXPECT_TRUE(status.filterDisabled);

    click("disableFilterButton");
    EXPECT_EQ(button->text(), "Disble Filter");
    ASSERT_TRUE(control::status(idOf("heron"), &status));
    EXPECT_FALSE(status.filterDisabled);
    EXPECT_EQ(status.reportId, 6);

    const auto all = control::commandLog(idOf("heron"));
    ASSERT_EQ(control::operationsOf(all), (std::vector<std::string>{
                  "PCAPStopGetData", "DevDisableFilter", "SetReportId",
                  "PCAPStopGetData", "DevDisableFilter", "SetReportId"}));
    EXPECT_EQ(all[1].u8(0), 1);
    EXPECT_EQ(all[2].u8(0), 6);
    EXPECT_EQ(all[4].u8(0), 0);
    EXPECT_EQ(all[5].u8(0), 6);
}

TEST_F(AnalyzePageTest, InfoCrcAndCustomerIds) {
    plug("heron", "heron", 6);
    CAnalyzeDlg& page = openPage();
    click("getPcapInfoButton");
    EXPECT_EQ(page.infoText(),
              "SupportPressure: 0x1\r\nMaxCount: 0xA\r\nPhyX: 0xD7A\r\nPhyY: 0xA28\r\n"
              "Builder Version: 0x203\r\nInterface: 0x0\r\nVK: 0x0\r\n");
    click("getCrcButton");
    EXPECT_EQ(page.infoText(), "ApInfoCRC: 0x1C3D\r\nApCRC:0xC4E1\r\nApSize: 0xF800\r\nBinCRC: 0x5A3C\r\n");

    click("getCidButton");
    EXPECT_EQ(child<QLineEdit>("cid1Edit")->text(), "12");
    EXPECT_EQ(child<QLineEdit>("cid2NameEdit")->text(), "Stinok Tech");
    clearLogs();
    child<QLineEdit>("cid2Edit")->setText("5");
    click("setCidButton");
    const auto sets = log("heron", "DevSetCID");
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].u16(0), 5);
    click("getCidButton");
    EXPECT_EQ(child<QLineEdit>("cid2Edit")->text(), "5");
    EXPECT_EQ(child<QLineEdit>("cid2NameEdit")->text(), "Gondok Tech");
    EXPECT_EQ(child<QLineEdit>("cid1NameEdit")->text(), "Stinok Tech");
    EXPECT_TRUE(m_messages.shown().empty());

    // An id past 16 bits is refused rather than cut to another one.
    clearLogs();
    child<QLineEdit>("cid2Edit")->setText("65536");
    click("setCidButton");
    expectMessages({{"Invalid CID!", "Error"}});
    EXPECT_TRUE(log("heron", "DevSetCID").empty());
}

TEST_F(AnalyzePageTest, HeronSetFreqAndStop) {
    plug("heron", "heron", 6);
    openPage();
    uint16_t before = 0;
    ASSERT_TRUE(control::getWord(idOf("heron"), 255, &before));
    clearLogs();
    click("heronSetFreqButton");
    expectMessages({{"SetHeronPWMFreq OK!", " Message "}});
    const auto freq = log("heron", "SetHeronPWMFreq");
    ASSERT_EQ(freq.size(), 1u);
    EXPECT_EQ(freq[0].u32(0), 60u);
    EXPECT_EQ(freq[0].u8(4), 0);
    EXPECT_EQ(child<QLineEdit>("heronStartKhz")->text(), "600");
    EXPECT_EQ(child<QLineEdit>("heronEndKhz")->text(), "1800");
    EXPECT_EQ(child<QLineEdit>("heronCurrentEdit")->text(), "60");

    clearLogs();
    m_messages.clear();
    click("heronStopButton");
    expectMessages({{" Load Default OK ! ", " Message "}});
    EXPECT_EQ(ops("heron"), (std::vector<std::string>{"DevReadWord", "DevWriteWord", "DevResetController",
                                                     "DevLoadDefaultFreqParam", "DevResetController",
                                                     "DevSetFreqIndex"}));
    // Word 255 read, then written back one up (loading the default
    // frequencies reseals the area afterwards, so the log shows the write).
    const auto write = log("heron", "DevWriteWord");
    ASSERT_EQ(write.size(), 1u);
    EXPECT_EQ(write[0].u16(0), 255);
    EXPECT_EQ(write[0].u16(2), uint16_t(before + 1));
    EXPECT_EQ(log("heron", "DevSetFreqIndex")[0].u8(0), 0);
}

TEST_F(AnalyzePageTest, HeronStopWritesNoWordAfterAFailedRead) {
    plug("heron:failread=255", "heron", 6);
    openPage();
    clearLogs();
    click("heronStopButton");
    EXPECT_EQ(ops("heron", {"DevReadWord", "DevWriteWord", "DevLoadDefaultFreqParam"}),
              (std::vector<std::string>{"DevReadWord", "DevLoadDefaultFreqParam"}));
}

// With the PWM tester alone (the page's own configuration) the controller
// commands go to handle 0: they fail without reaching any device, and only
// the failures with a message of their own show one.
TEST_F(AnalyzePageTest, ControllerCommandsWithoutAControllerFailCleanly) {
    plug("pwm-tester");
    CAnalyzeDlg& page = openPage();
    EXPECT_TRUE(m_trace.contains("PCAP : OpenHIDDevice...FAIL\r\n"));
    for (const char* button : {"selfCapButton", "mutualCapButton", "channelStopButton", "getPcapInfoButton",
                               "getCrcButton", "setFwUpdateInfoButton", "getCidButton", "setCidButton",
                               "disableFilterButton", "heronSetFreqButton", "resetControllerButton"})
        click(button);
    EXPECT_EQ(page.infoText(), "ApInfoCRC: 0x0000\r\nApCRC:0x0000\r\nApSize: 0x0000\r\nBinCRC: 0x00\r\n");
    expectMessages({{"Reset controller OK!", "LumoraTuner"}});
    m_messages.clear();
    click("getFwUpdateInfoButton");
    click("heronStopButton");
    expectMessages({{"DevGetDownloadInfo Fail!\r\n", "Error"}, {" No ACK ! ", " Error "}});
    EXPECT_EQ(child<QTableWidget>("downloadList")->rowCount(), 0);
    EXPECT_TRUE(ops("pwm-tester").empty()) << "nothing reached the tester";
}

TEST_F(AnalyzePageTest, ThqaFindLoadSetGetAndSave) {
    plug("thqa");
    CAnalyzeDlg& page = openPage();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QByteArray image(analyze::kThqaDataSize, 0);
    for (int i = 0; i < image.size(); ++i) image[i] = char(i * 7 + 1);
    const QString imagePath = dir.filePath("image.bin");
    {
        QFile f(imagePath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(image);
    }

    click("thqaFindButton");
    ASSERT_NE(page.thqaHandle(), 0u);
    EXPECT_TRUE(m_trace.contains("PCAP : EnumerateHidDevices...OK\r\n"));
    click("thqaFindButton");  // again: the first handle is closed, not leaked
    control::DeviceStatus status;
    ASSERT_TRUE(control::status(idOf("thqa"), &status));
    EXPECT_EQ(status.connections, 1);

    m_dialogs.script(imagePath);
    click("thqaLoadButton");
    EXPECT_EQ(child<QLineEdit>("thqaLoadPath")->text(), imagePath);
    EXPECT_EQ(0, std::memcmp(page.thqaData().data(), image.constData(), analyze::kThqaDataSize));
    EXPECT_EQ(m_dialogs.asked().back().dir, "*.bin");

    clearLogs();
    click("thqaSetButton");
    const auto sets = log("thqa", "DevSetFeature");
    ASSERT_EQ(sets.size(), 1u);
    ASSERT_EQ(sets[0].args.size(), 257u) << "report id 7 and 256 data bytes";
    EXPECT_EQ(sets[0].args[0], 7);
    EXPECT_EQ(0, std::memcmp(sets[0].args.data() + 1, image.constData(), 256));

    // Get brings back what the device holds: 256 bytes behind the id, zero
    // beyond.
    click("thqaGetButton");
    EXPECT_EQ(0, std::memcmp(page.thqaData().data(), image.constData(), 256));
    for (int i = 256; i < analyze::kThqaDataSize; ++i) ASSERT_EQ(page.thqaData()[size_t(i)], 0) << i;
    EXPECT_TRUE(m_messages.shown().empty());

    // Save replaces a longer file by exactly the 385 bytes.
    const QString savePath = dir.filePath("saved.bin");
    {
        QFile f(savePath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(2000, 'x'));
    }
    m_dialogs.script(savePath);
    click("thqaSaveButton");
    EXPECT_EQ(child<QLineEdit>("thqaSavePath")->text(), savePath);
    QFile saved(savePath);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray bytes = saved.readAll();
    ASSERT_EQ(bytes.size(), analyze::kThqaDataSize);
    EXPECT_EQ(0, std::memcmp(bytes.constData(), page.thqaData().data(), analyze::kThqaDataSize));
}

TEST_F(AnalyzePageTest, GetFillsTheDataEvenWhenTheDeviceFails) {
    plug("pwm-tester");  // no feature-report device: "Find" finds nothing
    CAnalyzeDlg& page = openPage();
    QTemporaryDir dir;
    const QString imagePath = dir.filePath("image.bin");
    {
        QFile f(imagePath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(analyze::kThqaDataSize, '\x5A'));
    }
    m_dialogs.script(imagePath);
    click("thqaLoadButton");
    ASSERT_EQ(page.thqaData()[384], 0x5A);
    click("thqaFindButton");
    EXPECT_EQ(page.thqaHandle(), 0u);
    click("thqaSetButton");
    click("thqaGetButton");
    expectMessages({{"Set Feature Fail!", "LumoraTuner"}, {"Get Feature Fail!", "LumoraTuner"}});
    for (uint8_t b : page.thqaData()) ASSERT_EQ(b, 0);
}

TEST_F(AnalyzePageTest, EndPacketClosesTheControllerAndEndsTheProgram) {
    plug("heron", "heron", 6);
    openPage();
    uint8_t end[64] = {0, 2, 0x3B, 0x70, 3};
    ASSERT_TRUE(control::injectPacket(idOf("heron"), end));
    ASSERT_TRUE(waitUntil([&] { return !m_quitCodes.empty(); }));
    EXPECT_EQ(m_quitCodes, std::vector<int>{0});
    EXPECT_EQ(m_state.controller, 0u);
}

}  // namespace
}  // namespace lumora::analyze_test
