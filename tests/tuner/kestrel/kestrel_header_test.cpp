// The header text on its own: the control word, the conditional defines
// against the reference values, the frequency blocks and their comments.
// The whole file as the page writes it is checked against a golden file in
// the page tests.
#include <gtest/gtest.h>

#include <vector>

#include "tuner/kestrel/kestrel_header.h"

namespace lumora {
namespace {

// A block whose fields all equal their reference values, so that a test sees
// only the defines of the fields it changes.
KestrelHeaderInputs referenceInputs() {
    KestrelHeaderInputs in;
    applyReferenceValues(in.values);
    in.values.setValue(KestrelField::NumsOfTx, 36);
    in.values.setValue(KestrelField::NumsOfRx, 22);
    in.reference = in.values;
    in.working = in.values;
    for (int n = 0; n < kKestrelFreqCount; ++n) {
        KestrelFreqRecord r;
        r.setPeriod(120);
        in.working.setFreqRecord(n, r);
    }
    in.timeText = "2024-01-02-03-04-r05";
    in.titleBase = "Tool";
    in.modelName = "M";
    in.fwVersion = "V";
    return in;
}

// Register blocks whose sample-rate code is set, read without failure.
bool readRegisters(int index, KestrelRegisters& out) {
    out = {};
    out.setSampleRate(0x2C);
    out.bytes[0] = static_cast<uint8_t>(index);
    return true;
}

QByteArray build(const KestrelHeaderInputs& in) { return buildKestrelHeader(in, readRegisters).text; }

// The text between two markers (the first marker included, the second not).
QByteArray between(const QByteArray& text, const char* from, const char* to) {
    const qsizetype a = text.indexOf(from);
    const qsizetype b = text.indexOf(to, a);
    if (a < 0 || b < 0) return "<markers missing>";
    return text.mid(a, b - a);
}

TEST(KestrelHeader, ControlWordListsTheSetFlagsAndDropsTheLastContinuation) {
    struct Case {
        const char* name;
        uint16_t flags;
        const char* expected;
    };
    const Case cases[] = {
        {"none", 0, "#define DEFAULT_CTRL\r\n"},
        {"auto frequency continues the define line", kKestrelAutoFrequency,
         "#define DEFAULT_CTRL       CTRL_AUTO_FREQUENCY\r\n"},
        {"swap x and fw raw", kKestrelSwapX | kKestrelFwRaw,
         "#define DEFAULT_CTRL                           CTRL_SWAP_X                 |\\\r\n"
         "                           CTRL_FW_RAW\t\t\t\r\n"},
        {"auto frequency, lift off, margin", kKestrelAutoFrequency | kKestrelLiftOffComp | kKestrelMarginImprove,
         "#define DEFAULT_CTRL       CTRL_AUTO_FREQUENCY         |\\\r\n"
         "                           CTRL_LIFT_OFF_COMPENSATION  |\\\r\n"
         "                           CTRL_MARGIN_IMPROVE\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KestrelHeaderInputs in = referenceInputs();
        in.values.setFlags(c.flags);
        EXPECT_EQ(between(build(in), "#define DEFAULT_CTRL", "// General Setting"), QByteArray(c.expected));
    }
}

TEST(KestrelHeader, OnlyFieldsThatDifferFromTheReferenceAreDefined) {
    KestrelHeaderInputs in = referenceInputs();
    EXPECT_EQ(between(build(in), "// General Setting", "\r\n\r\n\r\n// DAC"),
              QByteArray("// General Setting\r\n"
                         "#define LENGTH_OF_TX                   0\r\n"
                         "#define LENGTH_OF_RX                   0\r\n"
                         "\r\n// !!! Please Check Tx/Rx Direction !!!\r\n"
                         "#define PHYSICAL_X_H                   0x00\r\n"
                         "#define PHYSICAL_X_L                   0x00\r\n"
                         "#define PHYSICAL_Y_H                   0x00\r\n"
                         "#define PHYSICAL_Y_L                   0x00\r\n"
                         "\r\n// Filter\r\n"
                         "\r\n// Edge Compensation\r\n"
                         "\r\n// Calibration"));

    in.values.setValue(KestrelField::SlowDownCnt, 20);
    in.values.setValue(KestrelField::MarginPosTxN, -12);
    in.values.setValue(KestrelField::MarginPosRx0, -10);  // the reference value
    in.values.setValue(KestrelField::ThreePtLLX, 60);
    in.values.setValue(KestrelField::UpCnt, 3);
    in.values.setValue(KestrelField::NumsOfTx, 40);       // not a reference field, changed since the load
    const QByteArray text = build(in);
    EXPECT_EQ(text.count("#define DEFAULT_SLOW_DOWN_CNT         20\r\n"), 2);
    EXPECT_EQ(between(text, "// Filter", "// Edge"),
              QByteArray("// Filter\r\n#define DEFAULT_UP_CNT         3\r\n"
                         "#define DEFAULT_SLOW_DOWN_CNT         20\r\n\r\n"));
    EXPECT_EQ(between(text, "// Edge Compensation", "// Calibration"),
              QByteArray("// Edge Compensation\r\n#define DEFAULT_MARGIN_POS_TXN         -12\r\n"
                         "#define DEFAULT_SLOW_DOWN_CNT         20\r\n\r\n"));
    EXPECT_EQ(between(text, "// Calibration", "\r\n\r\n\r\n"),
              QByteArray("// Calibration\r\n#define DEFAULT_3PT_LLX         60"));
    EXPECT_EQ(between(text, "// General Setting", "#define LENGTH"),
              QByteArray("// General Setting\r\n#define IC_TX_NUMBER         40\r\n"));
}

TEST(KestrelHeader, ReferenceValuesReplaceOnlyTheirFields) {
    KestrelParamBlock block;
    for (int k = 0; k < kKestrelBlockWords; ++k) block.setWord(k, 0x0707);
    applyReferenceValues(block);
    EXPECT_EQ(block.value(KestrelField::UpCnt), 2);
    EXPECT_EQ(block.value(KestrelField::DownCnt), 0);
    EXPECT_EQ(block.value(KestrelField::MarginPosRxN), -10);
    EXPECT_EQ(block.value(KestrelField::ThreePtURY), 65535);
    EXPECT_EQ(block.value(KestrelField::HVICGannetVotlage), 255);
    EXPECT_EQ(block.value(KestrelField::NumsOfFreq), 5);
    // Fields without a reference value keep what they held.
    for (KestrelField f : {KestrelField::NumsOfTx, KestrelField::MergeDistance, KestrelField::ChkStrayTh,
                           KestrelField::RawOffsetTh, KestrelField::HidCtrl})
        EXPECT_EQ(block.value(f), 0x07) << fieldInfo(f).caption;
    EXPECT_EQ(block.value(KestrelField::CheckGhostCnt), 0x0707);
    EXPECT_EQ(block.flags(), 0x0707);
}

TEST(KestrelHeader, LengthsAndPhysicalBytes) {
    KestrelHeaderInputs in = referenceInputs();
    in.working.setValue(KestrelField::LengthOfTx, 0x1A2B);
    in.working.setValue(KestrelField::LengthOfRx, 0x00F0);
    const QByteArray text = build(in);
    EXPECT_TRUE(text.contains("#define PHYSICAL_X_H                   0x1A\r\n"
                              "#define PHYSICAL_X_L                   0x2B\r\n"
                              "#define PHYSICAL_Y_H                   0x00\r\n"
                              "#define PHYSICAL_Y_L                   0xF0\r\n"));
    EXPECT_TRUE(text.contains("#define LENGTH_OF_TX                   6699\r\n"
                              "#define LENGTH_OF_RX                   240\r\n"
                              "\r\n// !!! Please Check Tx/Rx Direction !!!\r\n"));
}

TEST(KestrelHeader, AutoSetPositionsFollowTheTxCount) {
    struct Case {
        int tx;
        std::vector<int> twoTx;
        std::vector<int> spread;
    };
    const Case cases[] = {
        {36, {0, 1, 18, 34, 35, 36, 37}, {0, 9, 18, 27, 35, 36, 37}},
        {7, {0, 1, 3, 5, 6, 7, 8}, {0, 1, 3, 5, 6, 7, 8}},
        {1, {0, 1, 0, -1, 0, 1, 2}, {0, 0, 0, 0, 0, 1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tx);
        KestrelHeaderInputs in = referenceInputs();
        in.values.setValue(KestrelField::NumsOfTx, c.tx);
        auto lines = [](const std::vector<int>& v) {
            QByteArray out;
            for (int i = 0; i < 7; ++i)
                out += "\t#define OFFSET_POINT_TX" + QByteArray::number(i) + "               " +
                       QByteArray::number(v[size_t(i)]) + "\r\n";
            return out;
        };
        EXPECT_EQ(between(build(in), "// Auto Set Position", "// Freq Settings"),
                  "// Auto Set Position\r\n/*#ifdef _TEST_KESTREL_2TX\r\n" + lines(c.twoTx) + "#else\r\n" +
                      lines(c.spread) + "#endif\r\n*/\r\n");
    }
}

TEST(KestrelHeader, DacPositionsComeFromTheLoadedRegisters) {
    KestrelHeaderInputs in = referenceInputs();
    for (int i = 0; i < kDacPositionCount; ++i) in.loadedRegisters.bytes[size_t(19 + i)] = uint8_t(200 + i);
    EXPECT_EQ(between(build(in), "\r\n\r\n\r\n// DAC", "// Auto"),
              QByteArray("\r\n\r\n\r\n// DAC Position\r\n// Current setting\r\n"
                         "\t#define OFFSET_POINT_TX0               200\r\n"
                         "\t#define OFFSET_POINT_TX1               201\r\n"
                         "\t#define OFFSET_POINT_TX2               202\r\n"
                         "\t#define OFFSET_POINT_TX3               203\r\n"
                         "\t#define OFFSET_POINT_TX4               204\r\n"
                         "\t#define OFFSET_POINT_TX5               205\r\n"
                         "\t#define OFFSET_POINT_TX6               206\r\n"));
}

TEST(KestrelHeader, FrequencyCommentsPrintTheScanFrequency) {
    EXPECT_EQ(freqIndexComment(0, 120, false), QByteArray("// Freq Index 0: 100.0Hz"));
    EXPECT_EQ(freqIndexComment(3, 7, true), QByteArray("// Freq Index 3: 1714.3Hz End"));
    EXPECT_EQ(freqIndexComment(4, 255, false), QByteArray("// Freq Index 4: 47.1Hz"));
    // A period of 0 has no frequency.
    EXPECT_EQ(freqIndexComment(1, 0, false), QByteArray("// Freq Index 1: infHz"));
    EXPECT_EQ(freqIndexComment(1, 0, true), QByteArray("// Freq Index 1: infHz End"));
}

TEST(KestrelHeader, ARegisterReadFailureEndsTheFrequencyPart) {
    KestrelHeaderInputs in = referenceInputs();
    std::vector<int> asked;
    const KestrelHeader header = buildKestrelHeader(in, [&](int index, KestrelRegisters& out) {
        asked.push_back(index);
        return index == 2 ? false : readRegisters(index, out);
    });
    EXPECT_EQ(asked, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(header.failedIndex, 2);
    EXPECT_TRUE(header.text.contains("// Freq Index 1: 100.0Hz End\r\n\r\n// Parameters End\r\n"));
    EXPECT_FALSE(header.text.contains("// Freq Index 2"));
    EXPECT_TRUE(header.text.endsWith("\r\n\r\n// Parameters End\r\n"));

    const KestrelHeader whole = buildKestrelHeader(in, readRegisters);
    EXPECT_EQ(whole.failedIndex, -1);
    EXPECT_TRUE(whole.text.contains("// Freq Index 4: 100.0Hz End\r\n\r\n// Parameters End\r\n"));
}

TEST(KestrelHeader, ABlockWithoutSampleRateIsOneErrorLine) {
    KestrelHeaderInputs in = referenceInputs();
    const QByteArray text = buildKestrelHeader(in, [](int index, KestrelRegisters& out) {
        readRegisters(index, out);
        if (index == 1) out.setSampleRate(0);
        return true;
    }).text;
    EXPECT_EQ(between(text, "// Freq Index 1: ", "// Freq Index 2: "),
              QByteArray("// Freq Index 1: 100.0Hz\r\n// Parameter Error, Samplerate == 0 !!\r\n"
                         "// Freq Index 1: 100.0Hz End\r\n\r\n"));
    EXPECT_EQ(text.count("    #define DEFAULT_PERIOD_"), 4);
}

}  // namespace
}  // namespace lumora
