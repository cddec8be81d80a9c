#include "tester/logs/result_log.h"

#include <QDir>
#include <cstdlib>

#include "device/type_codes.h"
#include "host/services.h"

namespace lumora::tester {

namespace {

const char* const kPairHeader = "Type,Axis,Index,Pair,Index,LRange,URange,Value,Result\r\n";
const char* const kHeronPairHeader = "Type,Axis,Index,Pair,Index,PassThreshold,Value,Result\r\n";
const char* const kHeronOpenHeader = "Type,Axis,Index,PassThreshold,Value,Result\r\n";
const char* const kConnectorHeader = "Type,Axis,Index,Range,Value,Result\r\n";
const char* const kConnectorT2Header = "Type,Axis,Index,Range,Value,Delta,Result\r\n";
const char* const kSeparatorA = "\r\n------\r\n";
const char* const kSeparatorB = "------\r\n\r\n";
const char* const kSeparatorC = "------\r\n";


// "PASS", "TIME_OUT" or "FAIL" after a step's heading.
const char* stepOutcome(int result, bool timedOut) {
    if (result == 1) return "PASS\r\n";
    return timedOut ? "TIME_OUT\r\n" : "FAIL\r\n";
}

// Lines 1 to 5 of both reports: program, heading, model, version, tester.
void appendIdentity(QString& t, const ResultLogData& d) {
    t += QLatin1String("LumoraPCBTester v2.3.2.6 for ");
    t += QLatin1String("\r\n");
    t += QLatin1String("Test Result Log:\r\n\r\n");
    t += QLatin1String("Model,") + d.modelName + QLatin1String("\r\n");
    t += QLatin1String("Version,") + QStringLiteral("=\"%1\"").arg(d.fwVersion) + QLatin1String("\r\n");
    t += QLatin1String("Tester Name,") + d.testerName + QLatin1String("\r\n");
}

void appendDateAndTime(QString& t, const ResultLogData& d) {
    const QDate day = d.start.date();
    const QTime time = d.start.time();
    t += QLatin1String("Date,") + QString::asprintf("%04d-%02d-%02d\r\n", day.year(), day.month(), day.day());
    t += QLatin1String("Time,") +
         QString::asprintf("%02d:%02d:%02d\r\n", time.hour(), time.minute(), time.second());
}

void appendSetting(QString& t, const ResultLogData& d) {
    t += QLatin1String("Setting,") + d.caseName + QLatin1String("\r\n");
    t += QLatin1String("Short Upper Threshold, ") + QString::asprintf("%d", d.shortUpper) + QLatin1String("\r\n");
    t += QLatin1String("PCB AD Level Threshold, ") + QString::asprintf("%d", d.pcbADLevel) +
         QLatin1String("\r\n");
    t += QLatin1String("\r\n");
    t += QLatin1String("Firmware Update,") + d.firmwareUpdateText + QLatin1String("\r\n");
    t += QLatin1String("\r\n");
    t += QLatin1String("Hardware Calibration,") + d.hardwareCalibrationText + QLatin1String("\r\n");
}

// The AD level lines of channels 1 .. n-1, in the form `format` (index,
// threshold, value), ended by the verdict of each value.
void appendADLines(QString& t, const ResultLogData& d, const char* format, const ChannelValues& values,
                   int count) {
    for (int i = 1; i <= count - 1; ++i) {
        const int v = values[i - 1];
        t += QString::asprintf(format, i, d.pcbADLevel, v);
        if (v < d.pcbADLevel && !d.adTimeOut)
            t += QLatin1String(",PASS\r\n");
        else
            t += d.adTimeOut ? QLatin1String(",FAIL,TIME_OUT\r\n") : QLatin1String(",FAIL\r\n");
    }
}

// An image as a table: `rows` lines "Y[r]," of `columns` values, then the
// column labels.
void appendImageTable(QString& t, const ImageValues& image, int rows, int columns) {
    for (int r = 1; r <= rows; ++r) {
        t += QString::asprintf("Y[%03d],", r);
        for (int c = 1; c <= columns; ++c) t += QString::asprintf("%d,", image[r - 1][c - 1]);
        t += QLatin1String("\r\n");
    }
    t += QLatin1String(",");
    for (int c = 1; c <= columns; ++c) t += QString::asprintf("X[%03d],", c);
    t += QLatin1String("\r\n");
}

}  // namespace

int boundedChannels(int count) { return count < 0 ? 0 : (count > kMaxArrayChannels ? kMaxArrayChannels : count); }

const char* passFailLine(bool pass) { return pass ? "PASS\r\n" : "FAIL\r\n"; }

QByteArray verdictOnlyText(bool pass) {
    return QByteArray(pass ? "PASS\r\n" : "FAIL\r\n") + "\r\nEND\r\n";
}

QByteArray pcbLogText(const ResultLogData& d) {
    const bool osprey = isOspreyFamily(d.typeCode);
    const bool heron = isHeronFamily(d.typeCode);
    const int x = boundedChannels(d.xCount), y = boundedChannels(d.yCount);
    QString t;
    appendIdentity(t, d);
    appendDateAndTime(t, d);
    // The two verdict lines differ in their first word.
    t += d.pass ? QLatin1String("LumoraPCBTester Auto Diag Result,PASS\r\n")
                : QLatin1String("LumoraTester Auto Diag Result,FAIL\r\n");
    if (osprey) appendSetting(t, d);
    t += QLatin1String(kSeparatorA);
    t += QLatin1String(kSeparatorB);

    if (osprey) t += QLatin1String("T1-1(Short), ") + QLatin1String(passFailLine(d.t1Result));
    if (heron) t += QLatin1String("TEST 1, ") + QLatin1String(passFailLine(d.t1Result));
    t += QLatin1String(kSeparatorA);
    if (osprey) t += QLatin1String(kPairHeader);
    if (heron) t += QLatin1String(kHeronPairHeader);
    t += d.t1Detail;
    t += QLatin1String(kSeparatorB);

    if (osprey) {
        t += QLatin1String("T1-2(AD Level),") + QLatin1String(stepOutcome(d.adResult, d.adTimeOut));
        if (d.adDone) {
            t += QLatin1String(kPairHeader);
            t += QLatin1String(kSeparatorA);
            appendADLines(t, d, "T1-2,X,%02d,,,0,%04d,%d", *d.adX, x);
            appendADLines(t, d, "T1-2,Y,%02d,,,0,%04d,%d", *d.adY, y);
            t += QLatin1String(kSeparatorB);
        }
        t += QLatin1String("T1-3(AD Level Image Y),") +
             QLatin1String(stepOutcome(d.imageYResult, d.imageYTimeOut));
        t += QLatin1String("AD Level Image Y Test, ") + d.imageYText + QLatin1String("\r\n");
        if (d.imageYDone) appendImageTable(t, *d.imageY, y, x - 1);
        // The image X step has a time-out of its own on the model of the
        // image Y step, so its heading can read TIME_OUT too.
        t += QLatin1String("T1-4(AD Level Image X),") +
             QLatin1String(stepOutcome(d.imageXResult, d.imageXTimeOut));
        t += QLatin1String("AD Level Image X Test, ") + d.imageXText + QLatin1String("\r\n");
        if (d.imageXDone) appendImageTable(t, *d.imageX, y - 1, x);
    }

    if (osprey) t += QLatin1String("T2(Non-Short), ") + QLatin1String(passFailLine(d.t2Result));
    if (heron) t += QLatin1String("TEST 2, ") + QLatin1String(passFailLine(d.t2Result));
    t += QLatin1String(kSeparatorA);
    if (osprey) t += QLatin1String(kPairHeader) + d.t2Detail;
    if (heron) t += QLatin1String(kHeronOpenHeader) + d.t2Detail;
    t += QLatin1String(kSeparatorB);
    t += QLatin1String("\r\nEND\r\n");
    return t.toLatin1();
}

QByteArray connectorLogText(const ResultLogData& d) {
    const int x = boundedChannels(d.xCount), y = boundedChannels(d.yCount);
    QString t;
    appendIdentity(t, d);
    t += QLatin1String("Barcode,") + d.barcode + QLatin1String("\r\n");
    appendDateAndTime(t, d);
    t += QLatin1String("LumoraTester Auto Diag Result,") + QLatin1String(passFailLine(d.pass));
    appendSetting(t, d);
    t += QLatin1String(kSeparatorA);
    t += QLatin1String(kSeparatorB);

    t += QLatin1String("T1-1(Short), ") + QLatin1String(passFailLine(d.shortFailCount <= 0));
    t += QLatin1String(kSeparatorC);
    t += QLatin1String(kPairHeader);
    t += d.t1Detail;
    t += QLatin1String(kSeparatorB);

    if (d.adDone) {
        t += QLatin1String(kSeparatorA);
        t += QLatin1String("T1-2(Con Test), ") + QLatin1String(passFailLine(d.t1Result));
        t += QLatin1String(kConnectorHeader);
        for (int i = 1; i <= x - 1; ++i)
            t += QString::asprintf("T1-2 (Con),X,%02d,%04d,%d,-\r\n", i, d.connTestXTh,
                                   (*d.t1ConnectorX)[i - 1]);
        for (int j = 1; j <= y - 1; ++j)
            t += QString::asprintf("T1-2 (Con),Y,%02d,%04d,%d,-\r\n", j, d.connTestYTh,
                                   (*d.t1ConnectorY)[j - 1]);
        t += QLatin1String(kSeparatorB);
        t += QLatin1String("T1-2(AD Level),") + QLatin1String(stepOutcome(d.adResult, d.adTimeOut));
        t += QLatin1String(kPairHeader);
        appendADLines(t, d, "T1-2 (AD),X,%02d,,,0,%04d,%d", *d.adX, x);
        appendADLines(t, d, "T1-2 (AD),Y,%02d,,,0,%04d,%d", *d.adY, y);
        t += QLatin1String(kSeparatorB);
    }

    t += QLatin1String("T2(Connector Test 2), ") + QLatin1String(passFailLine(d.t2Result));
    t += QLatin1String(kConnectorT2Header);
    // The T1 value is printed beside the change, not the T2 value.
    auto t2Lines = [&](const char* format, const ChannelValues& first, const ChannelValues& second,
                       int count, int32_t threshold) {
        for (int i = 1; i <= count - 1; ++i) {
            const int a = first[i - 1];
            const int delta = std::abs(a - second[i - 1]);
            t += QString::asprintf(format, i, threshold, a, delta);
            t += QLatin1String(passFailLine(delta > threshold));
        }
    };
    t2Lines("T2,X,%02d,%04d,%d,%d,", *d.t1ConnectorX, *d.t2ConnectorX, x, d.connTestXTh);
    t2Lines("T2,Y,%02d,%04d,%d,%d,", *d.t1ConnectorY, *d.t2ConnectorY, y, d.connTestYTh);
    t += QLatin1String(kSeparatorB);
    t += QLatin1String("\r\nEND\r\n");
    return t.toLatin1();
}

QString resultRootFolder(const QString& dataFolder) {
    return QDir(dataFolder).filePath(QStringLiteral("Controller Log"));
}

QString resultDayFolder(const QString& rootFolder, const QDate& day) {
    return QDir(rootFolder).filePath(
        QString::asprintf("%04d-%02d-%02d", day.year(), day.month(), day.day()));
}

QString resultVerdictFolder(const QString& dayFolder, bool pass) {
    return QDir(dayFolder).filePath(pass ? QStringLiteral("OK") : QStringLiteral("NG"));
}

QString pcbLogFileName(bool pass, const QTime& start) {
    return QString::asprintf(pass ? "OK-%02d%02d%02d" : "NG-%02d%02d%02d", start.hour(), start.minute(),
                             start.second()) +
           QStringLiteral(".csv");
}

QString connectorLogFileName(bool pass, const QString& barcode, const QTime& start) {
    return (pass ? QStringLiteral("OK-") : QStringLiteral("NG-")) + barcode +
           QString::asprintf("-%02d%02d%02d", start.hour(), start.minute(), start.second()) +
           QStringLiteral(".csv");
}

bool makeFolder(const QString& folder) { return QDir().mkpath(folder); }

bool writeResultFile(const QString& path, const QByteArray& text) { return host::replaceFile(path, text); }

}  // namespace lumora::tester
