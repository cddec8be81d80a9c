// Whole runs of the test sequence, byte for byte against golden result
// files: each case drives a fresh tester (or, where it says so, the same
// tester after an earlier unit) through its steps with the test records and
// packets a controller would send, and compares the file the run leaves.
//
// LUMORA_WRITE_GOLDEN=1 writes the files a run produced over the golden
// files (for a deliberate change of format; review the difference).
#include <gtest/gtest.h>

#include <functional>

#include "tests/tester/sequence/sequence_fixture.h"

namespace lumora::tester {
namespace {

using namespace sequence_testing;

// The plans the cases run with; %1 stands for keys of the case section that
// the case sets (the first of two equal keys is the one read).
const char* const kOspreyPlan =
    "[TestParameter]\r\nCaseName=Golden\r\nConnectorMode=%2\r\nAutoRun=%3\r\n"
    "[DEFAULT]\r\n%1EnableTestResultFile=1\r\nRunADLevelTest=1\r\nRunADLevelTest2=1\r\n"
    "ADLevelTestTime=2\r\nADLevelTest2Time=2\r\nShortLower=0\r\nShortUpper=600\r\n"
    "PCBShortTh=200\r\nPCBADLevel=1200\r\nADLevel2=1800\r\nConnTestXTh=100\r\nConnTestYTh=90\r\n";
const char* const kHeronPlan =
    "[TestParameter]\r\nCaseName=Golden\r\nConnectorMode=%2\r\n"
    "[DEFAULT]\r\n%1EnableTestResultFile=1\r\nShortTestTxLTh=3000\r\nOpenTestTxUTh=1500\r\n"
    "OpenTestRxLTh=3500\r\nRunDACCalibration=1\r\n";

class GoldenRunTest;
struct GoldenCase {
    const char* name;
    std::function<void(GoldenRunTest&)> run;
    const char* file;    // the result file, under "Controller Log"
};

class GoldenRunTest : public SequenceFixture, public ::testing::WithParamInterface<GoldenCase> {
public:
    using SequenceFixture::feed;
    using SequenceFixture::feedImage;
    using SequenceFixture::m_clock;
    using SequenceFixture::seq;
    using SequenceFixture::settle;

    // ---- Units -------------------------------------------------------------------------
    void osprey(const char* extraKeys = "", bool connector = false, bool autoRun = false) {
        writePlan(4, QString::fromLatin1(kOspreyPlan)
                         .arg(QString::fromLatin1(extraKeys), connector ? "1" : "0", autoRun ? "1" : "0")
                         .toLatin1()
                         .constData());
        openUnit("osprey:x=6,y=5");
    }
    void heron(const char* extraKeys = "", bool connector = false) {
        writePlan(6, QString::fromLatin1(kHeronPlan)
                         .arg(QString::fromLatin1(extraKeys), connector ? "1" : "0")
                         .toLatin1()
                         .constData());
        openUnit("heron:x=5,y=4");
    }

    // ---- Steps -------------------------------------------------------------------------
    void pcbT1(const std::vector<ShortItem>& items) {
        seq().pcbT1();
        shortTest(items);
    }
    void pcbT2Short(const std::vector<ShortItem>& items) {
        m_clock.advanceMs(2000);
        seq().pcbT2();
        shortTest(items);
    }
    void pcbT2Open(const std::vector<OpenItem>& items) {
        m_clock.advanceMs(2000);
        seq().pcbT2();
        openTest(items);
    }
    // One AD level frame, a second after the step began.
    void adFrame(uint32_t message, const std::vector<int>& x, const std::vector<int>& y) {
        m_clock.advanceMs(1000);
        feed(message, seriesFrame(0x4F, x, y));
    }
    void connectorFrame(uint32_t message, const std::vector<int>& x, const std::vector<int>& y) {
        feed(message, seriesFrame(0x52, x, y));
    }
    // An image streamed twice: the second time more than a second after the
    // step began, so that its first packet is judged with the whole image
    // in place.
    void imageY(const std::function<int(int, int)>& valueAt) { image(ImageYPacketMessage, valueAt); }
    void imageX(const std::function<int(int, int)>& valueAt) { image(ImageXPacketMessage, valueAt); }
    void image(uint32_t message, const std::function<int(int, int)>& valueAt) {
        feedImage(message, valueAt);
        m_clock.advanceMs(1001);
        feedImage(message, valueAt);
    }
    void timeOut(bool image) {
        m_clock.advanceMs(3000);  // ADLevelTestTime / ADLevelTest2Time 2, plus one second
        image ? seq().onImageTimer() : seq().onStepTimer();
        settle();
    }

    // A whole first stage of the Osprey family that passes.
    void ospreyT1Pass() {
        pcbT1({yPair(0, 1, 45), xPair(0, 1, 50)});
        adFrame(ADLevelPacketMessage, kAdX, kAdY);
        imageY(imageYValue);
        imageX(imageXValue);
    }
    static int imageYValue(int r, int c) { return 1000 + 10 * r + c; }
    static int imageXValue(int r, int c) { return 1500 + 10 * r + c; }

    const std::vector<int> kAdX{700, 710, 720, 730, 740, 750};
    const std::vector<int> kAdY{800, 810, 820, 830, 840};
    const std::vector<int> kConnT1X{210, 223, 236, 249, 212, 225};
    const std::vector<int> kConnT1Y{215, 228, 241, 254, 217};

    // The file a run left, named as `file` says.
    QString resultPath(const char* file) const {
        return QDir(resultRootFolder(dataFolder())).filePath(QString::fromLatin1(file));
    }
};

TEST_P(GoldenRunTest, WritesTheGoldenFile) {
    const GoldenCase& c = GetParam();
    GetParam().run(*this);
    const QString path = resultPath(c.file);
    ASSERT_EQ(seq().lastResultFile(), path);
    ASSERT_TRUE(QFile::exists(path)) << path.toStdString();
    const QString golden = QStringLiteral(LUMORA_GOLDEN_DIR "/%1.csv").arg(QString::fromLatin1(c.name));
    const QByteArray written = readFile(path);
    if (qEnvironmentVariableIntValue("LUMORA_WRITE_GOLDEN") == 1) {
        QFile out(golden);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(written);
    }
    EXPECT_EQ(written.toStdString(), readFile(golden).toStdString());
}

// ---- The cases ---------------------------------------------------------------------------

void ospreyAllPass(GoldenRunTest& t) {
    t.osprey();
    // Every special channel of the first stage: Y pairs named by their first
    // channel (98, 99), X pairs by their second (virtual keys 81..89, S
    // channels 91..96, S7 at 97), a generic pair of each axis, and a pair of
    // mixed axes that is not judged.
    std::vector<ShortItem> t1 = {yPair(97, 0, 60), yPair(98, 0, 61), yPair(0, 1, 45)};
    for (int b = 81; b <= 89; ++b) t1.push_back(xPair(b - 2, b - 1, b));
    for (int b = 91; b <= 97; ++b) t1.push_back(xPair(b - 2, b - 1, b + 10));
    t1.push_back(xPair(2, 3, 55));
    t1.push_back({false, 1, true, 1, 999});
    t.pcbT1(t1);
    t.adFrame(ADLevelPacketMessage, t.kAdX, t.kAdY);
    t.imageY(GoldenRunTest::imageYValue);
    t.imageX(GoldenRunTest::imageXValue);
    t.pcbT2Short({yPair(97, 0, 480), yPair(98, 0, 490), yPair(0, 1, 500), xPair(94, 95, 510),
                  xPair(95, 96, 520), xPair(2, 3, 530), {true, 0, false, 0, 10}});
}

void ospreyT1FailFresh(GoldenRunTest& t) {
    t.osprey("FailStop=1\r\n");
    // 40000 is compared as an unsigned value and fails against 200.
    t.pcbT1({yPair(0, 1, 40000), xPair(0, 1, 50)});
}

void ospreyADTimeOut(GoldenRunTest& t) {
    t.osprey();
    t.pcbT1({yPair(0, 1, 45)});
    // Only the X packet arrives; the Y channels stay at -1.
    std::vector<Packet> frame = seriesFrame(0x4F, t.kAdX, t.kAdY);
    frame.resize(1);
    t.feed(ADLevelPacketMessage, frame);
    t.timeOut(false);
}

void ospreyADFail(GoldenRunTest& t) {
    t.osprey();
    t.pcbT1({yPair(0, 1, 45)});
    // A missing X channel, then a high Y channel: the last decides, fail.
    t.adFrame(ADLevelPacketMessage, {700, -1, 720, 730, 740, 750}, {800, 810, 1500, 830, 840});
}

void ospreyImageYTimeOut(GoldenRunTest& t) {
    t.osprey();
    t.pcbT1({yPair(0, 1, 45)});
    t.adFrame(ADLevelPacketMessage, t.kAdX, t.kAdY);
    t.feedImage(ImageYPacketMessage, GoldenRunTest::imageYValue, 3);  // rows 3 and 4 never come
    t.timeOut(true);
}

void ospreyImageYFail(GoldenRunTest& t) {
    t.osprey();
    t.pcbT1({yPair(0, 1, 45)});
    t.adFrame(ADLevelPacketMessage, t.kAdX, t.kAdY);
    t.imageY([](int r, int c) { return r == 2 && c == 3 ? 1900 : GoldenRunTest::imageYValue(r, c); });
}

void ospreyImageXFail(GoldenRunTest& t) {
    t.osprey();
    t.pcbT1({yPair(0, 1, 45)});
    t.adFrame(ADLevelPacketMessage, t.kAdX, t.kAdY);
    t.imageY(GoldenRunTest::imageYValue);
    t.imageX([](int r, int c) { return r == 1 && c == 5 ? 2000 : GoldenRunTest::imageXValue(r, c); });
}

void ospreyT2Fail(GoldenRunTest& t) {
    t.osprey();
    t.ospreyT1Pass();
    // A pair inside the short range (0..200) fails the second stage.
    t.pcbT2Short({yPair(0, 1, 100), xPair(0, 1, 300)});
}

void heronAllPass(GoldenRunTest& t) {
    t.heron();
    t.pcbT1({yPair(0, 1, 3700), yPair(1, 2, 3710), xPair(0, 1, 3800), xPair(95, 96, 3750)});
    t.pcbT2Open({{false, 0, 150}, {false, 1, 157}, {false, 2, 164}, {false, 3, 171}, {false, 4, 178},
                 {true, 0, 3900}, {true, 1, 3907}, {true, 2, 3914}, {true, 3, 3921}});
}

void heronOpenFail(GoldenRunTest& t) {
    t.heron();
    t.pcbT1({yPair(0, 1, 3700), xPair(0, 1, 3800)});
    t.pcbT2Open({{false, 0, 150}, {false, 1, 2600}, {false, 2, 164}, {true, 0, 3900}, {true, 1, 20},
                 {false, 3, 171}, {true, 2, 3914}});
}

void heronT1FailAfterPass(GoldenRunTest& t) {
    heronAllPass(t);
    t.m_clock.advanceMs(5000);
    t.m_clock.setLocalTime(QDateTime(QDate(2024, 3, 5), QTime(14, 9, 30)));
    // The second stage's result and details of the unit before stand: "PCB
    // T1" does not reset them.
    t.pcbT1({yPair(0, 1, 30), xPair(0, 1, 3800)});
}

// The first stage of the connector mode: the short test, then the connector
// values and the AD levels of one frame.
void connectorT1(GoldenRunTest& t, const std::vector<int>& adY) {
    t.pcbT1({yPair(0, 1, 45), xPair(0, 1, 50)});
    t.m_clock.advanceMs(1000);
    t.connectorFrame(ConnectorT1PacketMessage, t.kConnT1X, t.kConnT1Y);
    t.feed(ConnectorT1PacketMessage, seriesFrame(0x4F, t.kAdX, adY));
}

void connectorT2(GoldenRunTest& t, const std::vector<int>& x, const std::vector<int>& y) {
    t.m_clock.advanceMs(2000);
    t.seq().pcbT2();
    t.settle();
    t.m_clock.advanceMs(1000);
    t.connectorFrame(ConnectorT2PacketMessage, x, y);
}

void connectorPassAfterStartTest(GoldenRunTest& t) {
    t.osprey("", true, true);
    t.seq().startTest();
    connectorT1(t, t.kAdY);
    connectorT2(t, {830, 843, 856, 869, 832, 845}, {835, 848, 861, 874, 837});
}

void connectorT2FailNoBarcode(GoldenRunTest& t) {
    t.osprey("", true);
    connectorT1(t, t.kAdY);
    // X channel 3 (index 2) changed by 100 only: not above ConnTestXTh.
    connectorT2(t, {830, 843, 336, 869, 832, 845}, {835, 848, 861, 874, 837});
}

void connectorADFail(GoldenRunTest& t) {
    t.osprey("", true);
    connectorT1(t, {800, 1300, 820, 830, 840});
}

void heronConnectorMode(GoldenRunTest& t) {
    t.heron("", true);
    // The Heron family goes from its short test straight to the connector
    // log, with the connector result of the unit before (none: FAIL).
    t.pcbT1({yPair(0, 1, 3700), xPair(0, 1, 3800)});
}

void verdictOnlyPass(GoldenRunTest& t) {
    t.osprey("EnableTestResultFile=0\r\n");
    t.ospreyT1Pass();
    t.pcbT2Short({yPair(0, 1, 480)});
}

void verdictOnlyFail(GoldenRunTest& t) {
    t.osprey("EnableTestResultFile=0\r\n");
    t.pcbT1({yPair(0, 1, 300)});
}

INSTANTIATE_TEST_SUITE_P(
    Table, GoldenRunTest,
    ::testing::Values(
        GoldenCase{"a_osprey_all_pass", ospreyAllPass, "2024-03-05/OK/OK-140709.csv"},
        GoldenCase{"b_osprey_t1_fail_fresh", ospreyT1FailFresh, "2024-03-05/NG/NG-140709.csv"},
        GoldenCase{"c_osprey_ad_time_out", ospreyADTimeOut, "2024-03-05/NG/NG-140709.csv"},
        GoldenCase{"d_osprey_ad_fail", ospreyADFail, "2024-03-05/NG/NG-140709.csv"},
        GoldenCase{"e_osprey_image_y_time_out", ospreyImageYTimeOut, "2024-03-05/NG/NG-140709.csv"},
        GoldenCase{"f_osprey_image_y_fail", ospreyImageYFail, "2024-03-05/NG/NG-140709.csv"},
        GoldenCase{"g_osprey_image_x_fail", ospreyImageXFail, "2024-03-05/NG/NG-140709.csv"},
        GoldenCase{"h_osprey_t2_fail", ospreyT2Fail, "2024-03-05/NG/NG-140709.csv"},
        GoldenCase{"i_heron_all_pass", heronAllPass, "2024-03-05/OK/OK-140709.csv"},
        GoldenCase{"j_heron_open_fail", heronOpenFail, "2024-03-05/NG/NG-140709.csv"},
        GoldenCase{"k_heron_t1_fail_after_pass", heronT1FailAfterPass, "2024-03-05/NG/NG-140930.csv"},
        GoldenCase{"l_connector_pass_after_start_test", connectorPassAfterStartTest,
                   "2024-03-05/OK/OK-ZEMA-140709.csv"},
        GoldenCase{"m_connector_t2_fail_no_barcode", connectorT2FailNoBarcode,
                   "2024-03-05/NG/NG--140709.csv"},
        GoldenCase{"n_connector_ad_fail", connectorADFail, "2024-03-05/NG/NG--140709.csv"},
        GoldenCase{"o_heron_connector_mode", heronConnectorMode, "2024-03-05/NG/NG--140709.csv"},
        GoldenCase{"p_verdict_only_pass", verdictOnlyPass, "2024-03-05/OK/OK-140709.csv"},
        GoldenCase{"p_verdict_only_fail", verdictOnlyFail, "2024-03-05/NG/NG-140709.csv"}),
    [](const ::testing::TestParamInfo<GoldenCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lumora::tester
