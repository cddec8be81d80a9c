// The tester's result files: one per unit, filed by day and verdict under
// "Controller Log". Building the text is a plain function of what the run
// measured; writing puts the whole text in place at once.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <array>
#include <cstdint>

namespace lumora::tester {

// Per-channel and node values as the measuring steps collect them: signed
// 16-bit, -1 where nothing was received. 128 entries per axis, the most a
// channel count (a signed byte) can ask for.
constexpr int kMaxArrayChannels = 128;
using ChannelValues = std::array<int16_t, kMaxArrayChannels>;
using ImageValues = std::array<ChannelValues, kMaxArrayChannels>;  // [row = Y][column = X]

// A channel count as loops over the arrays use it: 0 .. kMaxArrayChannels.
int boundedChannels(int count);
// "PASS\r\n" or "FAIL\r\n", the verdict column of the result lines.
const char* passFailLine(bool pass);

// The verdicts of a unit's steps (1 pass, 0 fail) and how they ended. The
// AD level and image results start every run at 1, so a step that never
// ran prints as passed.
struct StepResults {
    int t1Result = 0;
    int t2Result = 0;
    int t2ConnectorResult = 0;
    int adResult = 1;
    int imageYResult = 1;
    int imageXResult = 1;
    bool adDone = false;
    bool imageYDone = false;
    bool imageXDone = false;
    bool adTimeOut = false;
    bool imageYTimeOut = false;
    bool imageXTimeOut = false;
    int shortFailCount = 0;
};

// Everything a result file prints.
struct ResultLogData : StepResults {
    bool pass = false;

    // The unit
    QString modelName;
    QString fwVersion;
    int typeCode = 0;
    int xCount = 0;
    int yCount = 0;

    // The run
    QString testerName;
    QString barcode;
    QString caseName;
    QDateTime start;  // local time the unit's run began

    // Plan values printed
    int16_t shortUpper = 0;
    int16_t pcbADLevel = 0;
    int32_t connTestXTh = 0;
    int32_t connTestYTh = 0;

    QString t1Detail;
    QString t2Detail;
    QString firmwareUpdateText;
    QString hardwareCalibrationText;
    QString imageYText;
    QString imageXText;

    // The measured values; never null when a writer reads them.
    const ChannelValues* adX = nullptr;
    const ChannelValues* adY = nullptr;
    const ChannelValues* t1ConnectorX = nullptr;
    const ChannelValues* t1ConnectorY = nullptr;
    const ChannelValues* t2ConnectorX = nullptr;
    const ChannelValues* t2ConnectorY = nullptr;
    const ImageValues* imageY = nullptr;
    const ImageValues* imageX = nullptr;
};

// The full report of the short, AD level, image and open sequence.
QByteArray pcbLogText(const ResultLogData& data);
// The full report of the connector sequence.
QByteArray connectorLogText(const ResultLogData& data);
// The file of a plan with EnableTestResultFile 0: the verdict alone.
QByteArray verdictOnlyText(bool pass);

// "Controller Log" inside the data folder.
QString resultRootFolder(const QString& dataFolder);
// The day folder inside the root: "yyyy-mm-dd".
QString resultDayFolder(const QString& rootFolder, const QDate& day);
// The verdict folder inside the day folder: "OK" or "NG".
QString resultVerdictFolder(const QString& dayFolder, bool pass);
// "OK-hhmmss.csv" / "NG-hhmmss.csv".
QString pcbLogFileName(bool pass, const QTime& start);
// "OK-<barcode>-hhmmss.csv" / "NG-<barcode>-hhmmss.csv".
QString connectorLogFileName(bool pass, const QString& barcode, const QTime& start);

// Creates a folder and its parents when missing; false when it cannot.
bool makeFolder(const QString& folder);
// Writes the whole text to a temporary file beside `path` and renames it over
// `path`, so the file is either the old one or the complete new one, never
// half-written. False when it could not be written.
bool writeResultFile(const QString& path, const QByteArray& text);

}  // namespace lumora::tester
