// The tester's test plan: every value it takes from its ini file, and the
// rules by which the file is found, read, and its case section chosen.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

#include "tester/config/ini_reader.h"

namespace lumora::tester {

// Every value the tester reads from its ini file. Each field is named after
// its key; the defaults are the values a test page starts with.
struct TestPlan {
    // [TestParameter]
    QString CaseName = QStringLiteral("Demo");  // read once per connection
    int32_t ConnectorMode = 0;                  // read once per connection
    int32_t AutoRun = 0;
    int32_t AutoExit = 0;
    int32_t CountDownTimer = 3;  // seconds, 1..10
    // Read last and only when the case section exists. The file may leave it
    // out; 0 (touch output stays on) is the safe start value.
    int32_t DisableTouchWhenTesting = 0;

    // Case section, every family
    int32_t EnableTestResultFile = 0;
    int32_t DeviceInterface = 0;  // 0 USB, 1 UART
    int32_t InputInfo = 0;
    int32_t CheckModel = 0;
    QString ModelName;
    int32_t CheckVersion = 0;
    QString Version;
    int32_t RunFWUpdate = 0;
    int32_t RunADLevelTest = 0;
    int32_t RunADLevelTest2 = 0;
    int32_t ADLevelTestTime = 2;   // seconds, 2..200
    int32_t ADLevelTest2Time = 2;  // seconds, 2..200
    int32_t PCBTestMode = 0;
    int16_t ShortLower = 0;
    int16_t ShortUpper = 600;
    int32_t FailStop = 0;
    int32_t LoopTest = 0;

    // Case section, type codes 4 and 5
    int16_t PCBShortTh = 200;
    int16_t PCBADLevel = 1200;
    int32_t ConnTestXTh = 100;
    int32_t ConnTestYTh = 100;
    int16_t ADLevel2 = 1800;

    // Case section, type codes 6 and 8
    int32_t RunDACCalibration = 1;
    int32_t OpenTestTxUTh = 1500;
    int32_t OpenTestRxLTh = 3500;
    int32_t ShortTestTxLTh = 3000;
};

// The ini file name of a controller family.
QString testPlanFileName(int typeCode);

// The configuration of one connection: the reader on the family's file, the
// case list, the chosen case section, and the plan read from them.
class TestConfig {
public:
    enum class LoadResult { Loaded, AlreadyLoaded, ReaderFailed };

    // Finds the family's file, looking in dataFolder and then in the
    // fallback folders (locateTestPlan), creates the reader and reads
    // CaseName, ConnectorMode, the case list and the plan. Does nothing while
    // a reader exists for the current connection.
    LoadResult load(int typeCode, const QString& dataFolder);
    // Where load() looks after the data folder: beside the program, then
    // among the example plans. None unless set.
    void setFallbackFolders(const QString& programFolder, const QString& examplesFolder) {
        m_programFolder = programFolder;
        m_examplesFolder = examplesFolder;
    }
    bool loaded() const { return m_reader != nullptr; }

    // Reads [TestParameter] and the current case section into the plan.
    // False when there is no reader or the case section does not exist.
    bool readTestPlan(int typeCode);

    // Case choice before "PCB T1": the section for the plan's DeviceInterface.
    void chooseCaseForPcbT1();
    // Case choice before "Start Test": the section for the interface detected
    // at enumeration (0 USB, 1 UART).
    void chooseCaseForStartTest(int detectedInterface);
    // Every connection starts without a selected case.
    void clearSelection() { m_selected = -1; }

    // At disconnection: the reader goes and the case list is emptied; the next
    // connection loads the file afresh. The case name stays until a
    // "Start Test" clears it.
    void discard();

    TestPlan& plan() { return m_plan; }
    const TestPlan& plan() const { return m_plan; }
    const QStringList& caseList() const { return m_caseList; }
    // The case list entry selected for this connection, or empty.
    QString selectedCase() const;
    // The case section a reading uses (empty means "DEFAULT").
    const QString& caseName() const { return m_caseName; }
    const CIniReader* reader() const { return m_reader.get(); }

private:
    // readTestPlan over contents already read.
    bool readTestPlanFrom(const IniContents& ini, int typeCode);

    // Selects the entry named exactly `name`; false when there is none.
    bool select(const QString& name);

    TestPlan m_plan;
    std::unique_ptr<CIniReader> m_reader;
    QStringList m_caseList;
    int m_selected = -1;
    QString m_caseName;
    QString m_programFolder;
    QString m_examplesFolder;
};

}  // namespace lumora::tester
