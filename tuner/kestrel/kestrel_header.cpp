#include "tuner/kestrel/kestrel_header.h"

#include <cstdarg>
#include <cstdio>

namespace lumora {

namespace {

using F = KestrelField;

struct ReferenceValue {
    KestrelField field;
    int value;
};

constexpr ReferenceValue kReferenceValues[] = {
    {F::PredictLevel, 4},       {F::VUnit, 35},           {F::SuspendCnt, 50},
    {F::SlowDownCnt, 0},        {F::MarginPosTx0, -10},   {F::MarginPosTxN, -10},
    {F::MarginPosRx0, -10},     {F::MarginPosRxN, -10},   {F::ThreePtLLX, 65535},
    {F::ThreePtLLY, 65535},     {F::ThreePtULX, 65535},   {F::ThreePtULY, 65535},
    {F::ThreePtURX, 65535},     {F::ThreePtURY, 65535},   {F::ThreePtLRX, 65535},
    {F::ThreePtLRY, 65535},     {F::ChkStrayTimeOut, 0},  {F::LL, 100},
    {F::UL, 100},               {F::UR, 100},             {F::LR, 100},
    {F::FilterMax, 15},         {F::FilterMin, 12},       {F::FilterOrder, 16},
    {F::FilterShift, 4},        {F::DownCnt, 0},          {F::UpCnt, 2},
    {F::ClickRange, 3},         {F::SleepCnt, 9},         {F::DrawInSpeed, 30},
    {F::DrawOutSpeed, 100},     {F::HVICGannetVotlage, 255}, {F::NoiseInterval, 250},
    {F::NoiseCnt, 3},           {F::SlowTh, 15},          {F::DrawInRange, 10},
    {F::SlowConst, 9},          {F::MeasureStartCh, 255}, {F::TxStartChannel, 255},
    {F::TxEndChannel, 255},     {F::TxStartChannelIC2, 255}, {F::NumsOfFreq, 5},
    {F::FirstConstX, 20},       {F::FirstConstY, 20},     {F::TxMultiplier, 255},
    {F::WaterSkip, 10},         {F::DrawInAcc, 20},       {F::EdgeClamp, 0},
    {F::DrawInRangeA, 0},       {F::DrawInRangeB, 0},     {F::DrawInRangeC, 0},
    {F::Rx0MassRatio, 8},       {F::RxNMassRatio, 8},
};

// The control word's lines, in flag order. Each continues the line before it
// with " |\" so that the list reads as one C expression; the tail of the last
// one is cut off again.
struct ControlLine {
    KestrelFlag flag;
    const char* text;
};
constexpr ControlLine kControlLines[] = {
    {kKestrelAutoFrequency, "       CTRL_AUTO_FREQUENCY         |\\\r\n"},
    {kKestrelAutoCalibration, "                           CTRL_AUTO_CALIBRATION       |\\\r\n"},
    {kKestrelRawOffsetRx, "                           CTRL_RAW_OFFSET_RX          |\\\r\n"},
    {kKestrelDrawInComp, "                           CTRL_DRAW_IN_COMPENSATION   |\\\r\n"},
    {kKestrelLiftOffComp, "                           CTRL_LIFT_OFF_COMPENSATION  |\\\r\n"},
    {kKestrelPenDigitizer, "                           CTRL_PEN_DIGITIZER          |\\\r\n"},
    {kKestrelPenDetection, "                           CTRL_PEN_DETECTION          |\\\r\n"},
    {kKestrelWaterFirst, "                           CTRL_WATER_FIRST            |\\\r\n"},
    {kKestrelRecoveryCheck, "                           CTRL_RECOVERY_CHECK         |\\\r\n"},
    {kKestrelExtendGroup, "                           CTRL_EXTEND_GROUP           |\\\r\n"},
    {kKestrelRdMode, "                           CTRL_RD_MODE                |\\\r\n"},
    {kKestrelSwapXY, "                           CTRL_SWAP_XY                |\\\r\n"},
    {kKestrelSwapX, "                           CTRL_SWAP_X                 |\\\r\n"},
    {kKestrelSwapY, "                           CTRL_SWAP_Y                 |\\\r\n"},
    {kKestrelMarginImprove, "                           CTRL_MARGIN_IMPROVE         |\\\r\n"},
    {kKestrelFwRaw, "                           CTRL_FW_RAW\t\t\t        |\\\r\n"},
};

// printf into a byte string. Only integers and texts go through here: the one
// floating-point value is formatted by freqIndexComment, independently of the
// process locale.
QByteArray format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    char buffer[512];
    const int n = std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    return QByteArray(buffer, n < 0 ? 0 : std::min<int>(n, int(sizeof buffer) - 1));
}

class HeaderWriter {
public:
    explicit HeaderWriter(const KestrelHeaderInputs& in) : m_in(in) {}

    QByteArray text;

    void line(const char* s) { text += s; text += "\r\n"; }
    void line(const QByteArray& s) { text += s; text += "\r\n"; }

    // "#define NAME         value" when the page's value differs from the
    // reference copy's.
    void conditional(const char* name, KestrelField field) {
        const int value = m_in.values.value(field);
        if (value == m_in.reference.value(field)) return;
        text += format("#define %s         %d\r\n", name, value);
    }

    void controlWord() {
        text += "#define DEFAULT_CTRL";
        const uint16_t flags = m_in.values.flags();
        bool any = false;
        for (const ControlLine& c : kControlLines) {
            if (!(flags & c.flag)) continue;
            text += c.text;
            any = true;
        }
        if (any) {
            qsizetype end = text.size();
            while (end > 0) {
                const char c = text[end - 1];
                if (c != ' ' && c != '|' && c != '\\' && c != '\r' && c != '\n') break;
                --end;
            }
            text.truncate(end);
        }
        text += "\r\n";
    }

    void offsetPoints(const int (&points)[kDacPositionCount]) {
        for (int i = 0; i < kDacPositionCount; ++i)
            text += format("\t#define OFFSET_POINT_TX%d               %d\r\n", i, points[i]);
    }

    void freqBlock(int n, const KestrelRegisters& regs) {
        const KestrelFreqRecord rec = m_in.working.freqRecord(n);
        const KestrelWaveRecord wave = m_in.working.waveRecord(n);
        auto dec = [&](const char* fmt, int value) { text += format(fmt, n, value); };
        dec("    #define DEFAULT_PERIOD_%d                  %d\r\n", rec.period());
        dec("    #define DEFAULT_PULSE_%d                   %d\r\n", rec.pulse());
        dec("    #define TOUCHTHRESHOLD_%d                  %d\r\n", rec.touchThreshold());
        dec("    #define DEFAULT_NOISE_THRESHOLD_%d         %d\r\n", rec.noiseThreshold());
        dec("    #define DEFAULT_WATER_THRESHOLD_%d         %d\r\n", rec.waterThreshold());
        dec("    #define DEFAULT_TOUCH_MASS_THRESHOLD_%d    %d\r\n", rec.touchMassTh());
        dec("    #define DEFAULT_PEN_MASS_THRESHOLD_%d      %d\r\n", rec.penMassTh());
        dec("    #define DEFAULT_RAW_OFFSET_THRESHOLD_%d    %d\r\n", rec.rawOffsetTh());
        dec("    #define DEFAULT_MODE%d                     0x%02X\r\n", regs.mode());
        dec("    #define DEFAULT_SCTRL%d                    0x%02X\r\n", regs.scCtrl());
        dec("    #define DEFAULT_PHASE%d                    0x%02X\r\n", regs.phaseRegister());
        dec("    #define DEFAULT_WAVEN%d                    0x%02X\r\n", regs.waveRegister());
        dec("    #define DEFAULT_WAVEN_A_%d                 %d\r\n", wave.rangeA());
        dec("    #define DEFAULT_WAVEN_B_%d                 %d\r\n", wave.rangeB());
        dec("    #define DEFAULT_TXB_CHANNEL_%d             %d\r\n", wave.txB());
        dec("    #define DEFAULT_SKIP%d                     0x%02X\r\n", regs.tskipAndPskip());
        dec("    #define DEFAULT_SAMPLE_RATE%d              0x%02X\r\n", regs.sampleRate());
        dec("    #define DEFAULT_TX%d                       0x%02X\r\n", regs.bytes[7]);
        dec("    #define DEFAULT_VDEL1%d                    0x%02X\r\n", regs.bytes[8]);
        // The first two pauses are fixed at 0 in every firmware build.
        dec("    #define DEFAULT_VPASUE1%d                  0x%02X\r\n", 0);
        dec("    #define DEFAULT_VDEL2%d                    0x%02X\r\n", regs.bytes[10]);
        dec("    #define DEFAULT_VPAUSE2%d                  0x%02X\r\n", 0);
        dec("    #define DEFAULT_VDEL3%d                    0x%02X\r\n", regs.bytes[12]);
        dec("    #define DEFAULT_VPAUSE3%d                  0x%02X\r\n", regs.bytes[13]);
        dec("    #define DEFAULT_VDEL4%d                    0x%02X\r\n", regs.bytes[14]);
        dec("    #define DEFAULT_VPAUSE4%d                  0x%02X\r\n", regs.bytes[15]);
        dec("    #define RI_INDEX_%d                        %d\r\n", rec.riIndex());
        dec("    #define DEFAULT_WATER_K1_FREQ_%d           0x%02X\r\n", rec.waterScCtrl());
        dec("    #define DEFAULT_WATER_PHASE_FREQ_%d        0x%02X\r\n", rec.waterPhaseRegister());
        dec("    #define DEFAULT_RI_WATER_WAVEN_%d          0x%02X\r\n", wave.waterWaveN());
        dec("    #define DEFAULT_RI_WATER_INDEX_%d          %d\r\n", rec.riWaterIndex());
    }

private:
    const KestrelHeaderInputs& m_in;
};

}  // namespace

void applyReferenceValues(KestrelParamBlock& reference) {
    for (const ReferenceValue& r : kReferenceValues) reference.setValue(r.field, r.value);
}

QByteArray freqIndexComment(int index, int period, bool end) {
    const QByteArray hz = period == 0 ? QByteArray("inf") : QByteArray::number(12000.0 / period, 'f', 1);
    return format("// Freq Index %d: ", index) + hz + (end ? "Hz End" : "Hz");
}

KestrelHeader buildKestrelHeader(const KestrelHeaderInputs& in, const RegisterReader& readRegisters) {
    HeaderWriter w(in);
    KestrelHeader out;

    w.line("// Parameters Start");
    w.line("Date: " + in.timeText);
    w.line("Tool: " + in.titleBase);
    w.line("MODEL: " + in.modelName);
    w.line("FW Version: " + in.fwVersion);
    w.line("");

    w.controlWord();

    w.line("// General Setting");
    w.conditional("IC_TX_NUMBER", F::NumsOfTx);
    w.conditional("IC_RX_NUMBER", F::NumsOfRx);
    const int lengthOfTx = in.working.lengthOfTx();
    const int lengthOfRx = in.working.lengthOfRx();
    w.text += format("#define LENGTH_OF_TX                   %d\r\n", lengthOfTx);
    w.text += format("#define LENGTH_OF_RX                   %d\r\n", lengthOfRx);
    w.line("\r\n// !!! Please Check Tx/Rx Direction !!!");
    w.text += format("#define PHYSICAL_X_H                   0x%02X\r\n", lengthOfTx >> 8);
    w.text += format("#define PHYSICAL_X_L                   0x%02X\r\n", lengthOfTx & 0xFF);
    w.text += format("#define PHYSICAL_Y_H                   0x%02X\r\n", lengthOfRx >> 8);
    w.text += format("#define PHYSICAL_Y_L                   0x%02X\r\n", lengthOfRx & 0xFF);
    w.conditional("TX_START_CHANNEL", F::TxStartChannel);
    w.conditional("TX_END_CHANNEL", F::TxEndChannel);
    w.conditional("TX_START_CHANNEL_IC2", F::TxStartChannelIC2);
    w.conditional("MEASURESTARTCHANNEL", F::MeasureStartCh);
    w.conditional("DEFAULT_HVGANNETVOTLAGE", F::HVICGannetVotlage);
    w.conditional("DEFAULT_TX_MULTIPLIER", F::TxMultiplier);
    w.conditional("DEFAULT_WATER_SKIP", F::WaterSkip);
    w.conditional("DEFAULT_DRAW_IN_ACC", F::DrawInAcc);
    w.conditional("DEFAULT_EDGE_CLAMP", F::EdgeClamp);
    w.conditional("DEFAULT_DRAW_IN_RANGE_A", F::DrawInRangeA);
    w.conditional("DEFAULT_DRAW_IN_RANGE_B", F::DrawInRangeB);
    w.conditional("DEFAULT_DRAW_IN_RANGE_C", F::DrawInRangeC);
    w.conditional("DEFAULT_RX0_MASS_RATIO", F::Rx0MassRatio);
    w.conditional("DEFAULT_RXN_MASS_RATIO", F::RxNMassRatio);

    w.line("");
    w.line("// Filter");
    w.conditional("DEFAULT_DOWN_CNT", F::DownCnt);
    w.conditional("DEFAULT_UP_CNT", F::UpCnt);
    w.conditional("DEFAULT_SLEEP_CNT", F::SleepCnt);
    w.conditional("DEFAULT_DRAW_IN_SPEED", F::DrawInSpeed);
    w.conditional("DEFAULT_DRAW_OUT_SPEED", F::DrawOutSpeed);
    w.conditional("DEFAULT_DRAW_IN_RANGE", F::DrawInRange);
    w.conditional("DEFAULT_SLOW_TH", F::SlowTh);
    w.conditional("DEFAULT_SLOW_CONST", F::SlowConst);
    w.conditional("DEFAULT_PREDICT_LEVEL", F::PredictLevel);
    w.conditional("DEFAULT_VUNIT", F::VUnit);
    w.conditional("DEFAULT_SUSPEND_CNT", F::SuspendCnt);
    w.conditional("DEFAULT_MERGE_DISTANCE", F::MergeDistance);
    w.conditional("DEFAULT_CHECK_STRAY_TH", F::ChkStrayTh);
    w.conditional("DEFAULT_CHECK_STRAY_TH_WATER", F::ChkStrayThWater);
    w.conditional("DEFAULT_MIN_DISTANCE", F::MinDistance);
    w.conditional("DEFAULT_CLICK_RANGE", F::ClickRange);
    w.conditional("DEFAULT_NOISE_INTERVAL", F::NoiseInterval);
    w.conditional("DEFAULT_NOISE_CNT", F::NoiseCnt);
    w.conditional("DEFAULT_HID_RIGHT_CLICK_CNTS", F::HidRightClickCnts);
    w.conditional("DEFAULT_IDLE_PROC_CNT", F::IdleProcCnt);
    w.conditional("DEFAULT_CHECK_GHOST_CNT", F::CheckGhostCnt);
    w.conditional("DEFAULT_SLOW_DOWN_CNT", F::SlowDownCnt);
    w.conditional("DEFAULT_FILTER_ORDER", F::FilterOrder);
    w.conditional("DEFAULT_FILTER_SHIFT", F::FilterShift);

    w.line("");
    w.line("// Edge Compensation");
    w.conditional("DEFAULT_MARGIN_POS_TX0", F::MarginPosTx0);
    w.conditional("DEFAULT_MARGIN_POS_TXN", F::MarginPosTxN);
    w.conditional("DEFAULT_MARGIN_POS_RX0", F::MarginPosRx0);
    w.conditional("DEFAULT_MARGIN_POS_RXN", F::MarginPosRxN);
    // Firmware builds look for it in both sections.
    w.conditional("DEFAULT_SLOW_DOWN_CNT", F::SlowDownCnt);

    w.line("");
    w.line("// Calibration");
    w.conditional("DEFAULT_3PT_LLX", F::ThreePtLLX);
    w.conditional("DEFAULT_3PT_LLY", F::ThreePtLLY);
    w.conditional("DEFAULT_3PT_ULX", F::ThreePtULX);
    w.conditional("DEFAULT_3PT_ULY", F::ThreePtULY);
    w.conditional("DEFAULT_3PT_URX", F::ThreePtURX);
    w.conditional("DEFAULT_3PT_URY", F::ThreePtURY);
    w.conditional("DEFAULT_3PT_LRX", F::ThreePtLRX);
    w.conditional("DEFAULT_3PT_LRY", F::ThreePtLRY);
    w.conditional("DEFAULT_CHK_STRAY_TIME_OUT", F::ChkStrayTimeOut);
    // The corner order of the firmware: lower left, lower right, upper right,
    // upper left.
    w.conditional("DEFAULT_LLZ", F::LL);
    w.conditional("DEFAULT_LRZ", F::LR);
    w.conditional("DEFAULT_URZ", F::UR);
    w.conditional("DEFAULT_ULZ", F::UL);
    w.conditional("DEFAULT_AUTO_FILTER_MAX", F::FilterMax);
    w.conditional("DEFAULT_AUTO_FILTER_MIN", F::FilterMin);
    w.conditional("DEFAULT_FIRST_CONST_X", F::FirstConstX);
    w.conditional("DEFAULT_FIRST_CONST_Y", F::FirstConstY);

    w.line("");
    w.line("");
    w.line("// DAC Position");
    w.line("// Current setting");
    int current[kDacPositionCount];
    for (int i = 0; i < kDacPositionCount; ++i) current[i] = in.loadedRegisters.dacPosition(i);
    w.offsetPoints(current);

    // Suggested positions for the panel's Tx count, kept commented out: the
    // firmware engineer picks the variant of the board.
    const unsigned n = unsigned(in.values.numsOfTx());
    const int twoTx[kDacPositionCount] = {0, 1, int(2 * n / 4), int(n) - 2, int(n) - 1, int(n),
                                          int(n) + 1};
    const int spread[kDacPositionCount] = {0, int(n / 4), int(2 * n / 4), int(3 * n / 4),
                                           int(n) - 1, int(n), int(n) + 1};
    w.line("// Auto Set Position");
    w.line("/*#ifdef _TEST_KESTREL_2TX");
    w.offsetPoints(twoTx);
    w.line("#else");
    w.offsetPoints(spread);
    w.line("#endif");
    w.line("*/");

    w.line("// Freq Settings");
    w.conditional("DEFAULT_NUMS_OF_FREQ", F::NumsOfFreq);
    w.line("");

    // All five, whatever "NumsOfFreq" says: the firmware keeps five records.
    for (int i = 0; i < kKestrelFreqCount; ++i) {
        KestrelRegisters regs;
        if (!readRegisters(i, regs)) {
            out.failedIndex = i;
            break;
        }
        const int period = in.working.freqRecord(i).period();
        w.line(freqIndexComment(i, period, false));
        if (regs.sampleRate() == 0)
            w.line("// Parameter Error, Samplerate == 0 !!");
        else
            w.freqBlock(i, regs);
        w.line(freqIndexComment(i, period, true));
        w.line("");
    }
    w.line("// Parameters End");

    out.text = std::move(w.text);
    return out;
}

}  // namespace lumora
