#include "tester/sequence/judgements.h"

#include <cstdlib>

namespace lumora::tester {

namespace {

// The channels of an axis that are judged: 0 .. count-2.
int judgedChannels(int count) { return boundedChannels(count - 1); }

// Applies one value to a judgement in progress: the last value that is
// missing or too high decides.
void judgeValue(Judgement& state, int value, int threshold) {
    if (value == -1)
        state = Judgement::NotReady;
    else if (value >= threshold)
        state = Judgement::Fail;
}

QString f(const char* format, int a) { return QString::asprintf(format, a); }
QString f(const char* format, int a, int b) { return QString::asprintf(format, a, b); }
QString f(const char* format, int a, int b, int c) { return QString::asprintf(format, a, b, c); }

// The first-stage pieces that name an X-X pair by its second channel: the S
// channels, the seventh S channel and the virtual keys; nothing for other
// channels.
bool specialXPair(int b, const ShortContext& c, QString& detail) {
    if (b >= 91 && b <= 96) {
        const int s = c.sCounter ? ++*c.sCounter : 0;
        detail += f("T1-1,X,S%d,X,%d,", s, s);
        return true;
    }
    if (b == 97) {
        detail += f("T1-1,X,S7,X,%d,", c.xCount);
        return true;
    }
    if (b >= 81 && b <= 89) {
        const int k = c.vkeyCounter ? ++*c.vkeyCounter : 0;
        detail += f("T1-1,X,VKey%d,X,%d,", k, k);
        return true;
    }
    return false;
}

void judgeYPair(int a, int b, int v, const ShortContext& c, JudgedItems& out) {
    QString& detail = out.detail;
    const QString stage = QLatin1String(c.step == 5 ? "T2" : "T1-1");
    // The first stage of a Heron unit has a lower limit of its own, and its
    // run log names the S pairs by their numbers.
    const bool heronFirst = c.step != 5 && c.heron;
    if (a == 98)
        detail += stage + f(",Y,S2,Y,%d,", c.yCount);
    else if (a == 99)
        detail += stage + QLatin1String(",Y,S1,Y,1,");
    else
        detail += stage + f(",Y,%d, ", a) + f("Y,%d, ", b);

    bool pass = false;
    int threshold = 0;
    if (heronFirst) {
        pass = v >= c.shortTestTxLTh;
        threshold = c.shortTestTxLTh;
        detail += f("%d,-,%d, ", static_cast<int16_t>(c.shortTestTxLTh), v);
    } else {
        // The first stage wants the bare board inside the short range; the
        // second looks for the sensor, so a pair inside it has none attached.
        const bool inRange = c.shortLower <= v && v <= c.pcbShortTh;
        pass = c.step == 5 ? !inRange : inRange;
        threshold = c.pcbShortTh;
        detail += f("%d,%d,%d, ", c.shortLower, c.pcbShortTh, v);
    }
    detail += QLatin1String(passFailLine(pass));
    if (pass) return;

    ++out.failures;
    QString& log = out.runLog;
    if (a == 98 && !heronFirst)
        log += stage + f(" - Y[S02] :: Y[%03d], ", c.yCount);
    else if (a == 99 && !heronFirst)
        log += stage + QLatin1String(" - Y[S01] :: Y[001], ");
    else
        log += stage + f(" - Y[%03d] :: ", a) + f("Y[%03d], ", b);
    log += f("Th:%d, Result:%d, ", threshold, v) + QLatin1String("(X)\r\n");
}

void judgeXPair(int a, int b, int v, const ShortContext& c, JudgedItems& out) {
    QString& detail = out.detail;
    QString& log = out.runLog;
    if (c.step == 5) {
        if (b == 96)
            detail += QLatin1String("T2,X,S1,X,1,");
        else if (b == 97)
            detail += f("T2,X,S2,X,%d,", c.xCount);
        else
            detail += f("T2,X,%d, ", a) + f("X, %d, ", b);
        const bool pass = v < c.shortLower || v > c.pcbShortTh;
        detail += f("%d, %d, %d, ", c.shortLower, c.pcbShortTh, v) + QLatin1String(passFailLine(pass));
        if (!pass) {
            ++out.failures;
            if (b == 96)
                log += QLatin1String("T2 - X[S01] :: X[001], ");
            else if (b == 97)
                log += f("T2 - X[S02] :: X[%03d], ", c.xCount);
            else
                log += f("T2 - X[%03d] :: ", a) + f("X[%03d], ", b);
            log += f("Th:%d, Result:%d, ", c.pcbShortTh, v) + QLatin1String("(X)\r\n");
        }
        return;
    }

    if (!specialXPair(b, c, detail))
        detail += (c.heron ? f("Short,Tx,%d, ", a) : f("T1-1,X, %d, ", a)) + f("Tx, %d, ", b);
    if (c.heron) {
        const bool pass = v >= c.shortTestTxLTh;
        detail += f("%d,%d,", static_cast<int16_t>(c.shortTestTxLTh), v) + QLatin1String(passFailLine(pass));
        // The Heron family lists every pair in the run log.
        if (b == 96)
            log += QLatin1String("T1 - Tx[S01] :: Tx[001],");
        else if (b == 97)
            log += f("T1 - Tx[S02] :: Tx[%03d],", c.xCount);
        else
            log += f("T1 - Tx[%03d] :: ", a) + f("Tx[%03d], ", b);
        log += f("LTh:%d, Result:%d", c.shortTestTxLTh, v);
        log += pass ? QLatin1String("\r\n") : QLatin1String(", (X)\r\n");
        if (!pass) ++out.failures;
        return;
    }
    const bool pass = c.shortLower <= v && v <= c.pcbShortTh;
    detail += f("%d,%d,%d,", c.shortLower, c.pcbShortTh, v) + QLatin1String(passFailLine(pass));
    if (!pass) {
        ++out.failures;
        if (b == 96)
            log += QLatin1String("T1-1 - X[S01] :: X[001],");
        else if (b == 97)
            log += f("T1-1 - X[S02] :: X[%03d],", c.xCount);
        else
            log += f("T1-1 - X[%03d] :: ", a) + f("X[%03d], ", b);
        log += f("Th:%d, Result:%d, ", c.pcbShortTh, v) + QLatin1String("(X)\r\n");
    }
}

}  // namespace

Judgement judgeADLevel(const ChannelValues& x, const ChannelValues& y, int xCount, int yCount,
                       int16_t threshold) {
    Judgement state = Judgement::Pass;
    for (int i = 0; i < judgedChannels(xCount); ++i) judgeValue(state, x[i], threshold);
    for (int j = 0; j < judgedChannels(yCount); ++j) judgeValue(state, y[j], threshold);
    return state;
}

Judgement judgeImage(const ImageValues& image, int rows, int columns, int16_t threshold) {
    Judgement state = Judgement::Pass;
    for (int r = 0; r < boundedChannels(rows); ++r)
        for (int c = 0; c < boundedChannels(columns); ++c) judgeValue(state, image[r][c], threshold);
    return state;
}

Judgement judgeConnectorT2(const ChannelValues& t1x, const ChannelValues& t1y, const ChannelValues& t2x,
                           const ChannelValues& t2y, int xCount, int yCount, int32_t xThreshold,
                           int32_t yThreshold) {
    Judgement state = Judgement::Pass;
    auto scan = [&state](const ChannelValues& t1, const ChannelValues& t2, int count, int32_t threshold) {
        for (int i = 0; i < judgedChannels(count); ++i) {
            if (t2[i] == -1) {
                state = Judgement::NotReady;
                return;
            }
            if (std::abs(t2[i] - t1[i]) <= threshold) state = Judgement::Fail;
        }
    };
    scan(t1x, t2x, xCount, xThreshold);
    scan(t1y, t2y, yCount, yThreshold);
    return state;
}

QString adStepRunLog(const ChannelValues& x, const ChannelValues& y, int xCount, int yCount,
                     int16_t threshold) {
    QString log;
    auto lines = [&](const char* format, const ChannelValues& values, int count) {
        for (int i = 1; i <= judgedChannels(count); ++i) {
            const int v = values[i - 1];
            if (v >= threshold || v == -1) log += f(format, i, threshold, v);
        }
    };
    lines("T1-2 - X[%03d], Th: %d, Result: %d (X)\r\n", x, xCount);
    lines("T1-2 - Y[%03d], Th: %d, Result: %d (X)\r\n", y, yCount);
    log += QLatin1String("Finish!\r\n");
    return log;
}

QString connectorT1RunLog(const ChannelValues& connectorX, const ChannelValues& connectorY,
                          const ChannelValues& adX, const ChannelValues& adY, int xCount, int yCount,
                          int16_t threshold) {
    QString log = QStringLiteral("Connector Test\r\n");
    for (int i = 1; i <= judgedChannels(xCount); ++i)
        log += f("T1-2 (Con) - X[%03d], Result: %d\r\n", i, connectorX[i - 1]);
    for (int j = 1; j <= judgedChannels(yCount); ++j)
        log += f("T1-2 (Con) - Y[%03d], Result: %d\r\n", j, connectorY[j - 1]);
    log += QLatin1String("\r\n");
    log += QLatin1String("AD Level Test\r\n");
    auto lines = [&](const char* good, const char* bad, const ChannelValues& values, int count) {
        for (int i = 1; i <= judgedChannels(count); ++i) {
            const int v = values[i - 1];
            log += f(v < threshold && v != -1 ? good : bad, i, threshold, v);
        }
    };
    lines("T1-2 (AD) - X[%03d], Th: %d, Result: %d\r\n", "T1-2 (AD) - X[%03d], Th: %d, Result: %d (X)\r\n",
          adX, xCount);
    lines("T1-2 (AD) - Y[%03d], Th: %d, Result: %d\r\n", "T1-2 (AD) - Y[%03d], Th: %d, Result: %d (X)\r\n",
          adY, yCount);
    log += QLatin1String("Finish!\r\n");
    return log;
}

QString connectorT2RunLog(const ChannelValues& t1x, const ChannelValues& t1y, const ChannelValues& t2x,
                          const ChannelValues& t2y, int xCount, int yCount, int32_t xThreshold,
                          int32_t yThreshold) {
    QString log = QStringLiteral("Connector Test\r\n");
    auto lines = [&](const char* format, const ChannelValues& t1, const ChannelValues& t2, int count,
                     int32_t threshold) {
        for (int i = 1; i <= judgedChannels(count); ++i) {
            const int delta = std::abs(t2[i - 1] - t1[i - 1]);
            log += f(format, i, t2[i - 1], delta);
            log += delta <= threshold ? QLatin1String("(X)\r\n") : QLatin1String("\r\n");
        }
    };
    lines("T2 (Con) - X[%03d], Result: %d, D: %d", t1x, t2x, xCount, xThreshold);
    lines("T2 (Con) - Y[%03d], Result: %d, D: %d", t1y, t2y, yCount, yThreshold);
    log += QLatin1String("\r\n");
    log += QLatin1String("Finish!\r\n");
    return log;
}

JudgedItems judgeShortItems(const std::vector<CTestResult>& items, const ShortContext& context) {
    JudgedItems out;
    for (const CTestResult& item : items) {
        const int a = item.firstIndex + 1;
        const int b = item.secondIndex + 1;
        // The short test's values are unsigned: 40000 is a very high
        // coupling, not a negative one, and is printed as it was compared.
        const int v = static_cast<uint16_t>(item.value);
        if (item.firstAxis == kAxisY && item.secondAxis == kAxisY)
            judgeYPair(a, b, v, context, out);
        else if (item.firstAxis == kAxisX && item.secondAxis == kAxisX)
            judgeXPair(a, b, v, context, out);
    }
    return out;
}

JudgedItems judgeOpenItems(const std::vector<CTestResult>& items, int32_t txUpper, int32_t rxLower) {
    JudgedItems out;
    bool txSinceRx = false;
    for (const CTestResult& item : items) {
        const int n = item.firstIndex + 1;
        const int v = item.value;
        bool pass = false;
        if (item.firstAxis == kAxisY) {
            if (txSinceRx) {
                out.detail += QLatin1String("\r\n");
                out.runLog += QLatin1String("\r\n");
            }
            txSinceRx = false;
            out.detail += f("Open,Rx,%d,%d,%d,", n, rxLower, v);
            out.runLog += f("T2 - Rx[%03d] ", n) + f("UTh:%d, Result:%d", rxLower, v);
            pass = v >= rxLower;
        } else {
            txSinceRx = true;
            out.detail += f("Open,Tx,%d,%d,%d,", n, txUpper, v);
            out.runLog += f("T2 - Tx[%03d] ", n) + f("UTh:%d, Result:%d", txUpper, v);
            pass = v <= txUpper;
        }
        if (pass) {
            out.detail += QLatin1String("PASS\r\n");
            out.runLog += QLatin1String("\r\n");
        } else {
            out.detail += QLatin1String("FAIL\r\n");
            out.runLog += QLatin1String(", (X)\r\n");
            ++out.failures;
        }
    }
    return out;
}

}  // namespace lumora::tester
