#include "tester/config/test_plan.h"

#include <algorithm>

#include "device/type_codes.h"
#include "tester/config/ini_number.h"
#include "tester/config/plan_location.h"

namespace lumora::tester {

namespace {

const QString kTestParameter = QStringLiteral("TestParameter");

// An empty text (key missing, section missing, or empty value) leaves the
// field as it was, so a key deleted between two runs keeps its last value.
void readInt(const IniContents& ini, const QString& section, const char* key, int32_t& field) {
    const QString text = ini.value(section, QLatin1String(key));
    if (!text.isEmpty()) field = readIniInteger(text.toLatin1().toStdString());
}

void readInt16(const IniContents& ini, const QString& section, const char* key, int16_t& field) {
    const QString text = ini.value(section, QLatin1String(key));
    if (!text.isEmpty()) field = readIniInteger16(text.toLatin1().toStdString());
}

void readText(const IniContents& ini, const QString& section, const char* key, QString& field) {
    const QString text = ini.value(section, QLatin1String(key));
    if (!text.isEmpty()) field = text;
}

void clamp(int32_t& field, int32_t low, int32_t high) { field = std::clamp(field, low, high); }


// Keys that plans may carry from older testers. They are read so that a
// file written for those testers loads unchanged, and have no effect here.
void readKeysWithoutEffect(const IniContents& ini, const QString& section, int typeCode) {
    QString ignoredText;
    int32_t ignored = 0;
    readText(ini, section, "TargetModel", ignoredText);
    for (const char* key : {"SupportDrawTestMode", "ResetAutoCalibration", "RunHardwareCalibration",
                            "CheckCalibrationCycle", "RunOpenTest", "RunShortTest",
                            "RunADLevelTest3", "RunOPDraw", "YOpenLower", "XOpenLower"})
        readInt(ini, section, key, ignored);
    for (int n = 1; n <= 128; ++n) {
        readInt(ini, section, QStringLiteral("Y%1OpenLower").arg(n).toLatin1().constData(), ignored);
        readInt(ini, section, QStringLiteral("X%1OpenLower").arg(n).toLatin1().constData(), ignored);
    }
    if (isOspreyFamily(typeCode)) readInt(ini, section, "ADLevel", ignored);
}

}  // namespace

QString testPlanFileName(int typeCode) {
    return isHeronFamily(typeCode) ? QStringLiteral("LumoraPCBTester_Heron.ini")
                                   : QStringLiteral("LumoraPCBTester_Osprey.ini");
}

TestConfig::LoadResult TestConfig::load(int typeCode, const QString& dataFolder) {
    if (m_reader) return LoadResult::AlreadyLoaded;
    m_reader = CIniReader::create(locateTestPlan(
        testPlanFileName(typeCode), PlanFolders{dataFolder, m_programFolder, m_examplesFolder}));
    if (!m_reader) return LoadResult::ReaderFailed;

    const IniContents ini = m_reader->read();
    readText(ini, kTestParameter, "CaseName", m_plan.CaseName);
    readInt(ini, kTestParameter, "ConnectorMode", m_plan.ConnectorMode);

    m_caseList.clear();
    for (const QString& name : ini.sectionNames())
        if (name.compare(kTestParameter, Qt::CaseInsensitive) != 0) m_caseList << name;

    // The same snapshot: the case list and the plan come from one version
    // of the file. A missing case section is reported when a run starts.
    readTestPlanFrom(ini, typeCode);
    return LoadResult::Loaded;
}

bool TestConfig::readTestPlan(int typeCode) {
    // One snapshot per reading: an edit saved while the plan is read cannot
    // mix two versions of the file.
    return m_reader && readTestPlanFrom(m_reader->read(), typeCode);
}

bool TestConfig::readTestPlanFrom(const IniContents& ini, int typeCode) {
    TestPlan& p = m_plan;

    readInt(ini, kTestParameter, "AutoRun", p.AutoRun);
    readInt(ini, kTestParameter, "AutoExit", p.AutoExit);
    readInt(ini, kTestParameter, "CountDownTimer", p.CountDownTimer);
    clamp(p.CountDownTimer, 1, 10);

    const QString section = m_caseName.isEmpty() ? QStringLiteral("DEFAULT") : m_caseName;
    if (!ini.sectionExists(section)) return false;

    readInt(ini, section, "EnableTestResultFile", p.EnableTestResultFile);
    readInt(ini, section, "DeviceInterface", p.DeviceInterface);
    readInt(ini, section, "InputInfo", p.InputInfo);
    readInt(ini, section, "CheckModel", p.CheckModel);
    readText(ini, section, "ModelName", p.ModelName);
    readInt(ini, section, "CheckVersion", p.CheckVersion);
    readText(ini, section, "Version", p.Version);
    readInt(ini, section, "RunFWUpdate", p.RunFWUpdate);
    readInt(ini, section, "RunADLevelTest", p.RunADLevelTest);
    readInt(ini, section, "RunADLevelTest2", p.RunADLevelTest2);
    readInt(ini, section, "ADLevelTestTime", p.ADLevelTestTime);
    clamp(p.ADLevelTestTime, 2, 200);
    readInt(ini, section, "ADLevelTest2Time", p.ADLevelTest2Time);
    clamp(p.ADLevelTest2Time, 2, 200);
    readInt(ini, section, "PCBTestMode", p.PCBTestMode);
    readInt16(ini, section, "ShortLower", p.ShortLower);
    readInt16(ini, section, "ShortUpper", p.ShortUpper);
    readInt(ini, section, "FailStop", p.FailStop);
    readInt(ini, section, "LoopTest", p.LoopTest);
    readKeysWithoutEffect(ini, section, typeCode);

    if (isOspreyFamily(typeCode)) {
        readInt16(ini, section, "PCBShortTh", p.PCBShortTh);
        readInt16(ini, section, "PCBADLevel", p.PCBADLevel);
        readInt(ini, section, "ConnTestXTh", p.ConnTestXTh);
        readInt(ini, section, "ConnTestYTh", p.ConnTestYTh);
        readInt16(ini, section, "ADLevel2", p.ADLevel2);
    } else if (isHeronFamily(typeCode)) {
        readInt(ini, section, "RunDACCalibration", p.RunDACCalibration);
        readInt(ini, section, "OpenTestTxUTh", p.OpenTestTxUTh);
        readInt(ini, section, "OpenTestRxLTh", p.OpenTestRxLTh);
        readInt(ini, section, "ShortTestTxLTh", p.ShortTestTxLTh);
    }

    readInt(ini, kTestParameter, "DisableTouchWhenTesting", p.DisableTouchWhenTesting);
    return true;
}

bool TestConfig::select(const QString& name) {
    const int index = m_caseList.indexOf(name);  // exact, case-sensitive
    if (index < 0) return false;
    m_selected = index;
    return true;
}

QString TestConfig::selectedCase() const {
    return m_selected >= 0 && m_selected < m_caseList.size() ? m_caseList[m_selected] : QString();
}

void TestConfig::chooseCaseForPcbT1() {
    if (m_selected >= 0) return;  // stays selected for the rest of the connection
    // A case name kept from the unit before stays while this file has that
    // section; a name the file does not know would hide its [DEFAULT].
    if (!m_caseName.isEmpty() && !m_caseList.contains(m_caseName)) m_caseName.clear();
    const int wanted = m_plan.DeviceInterface;
    if ((wanted == 0 && select(QStringLiteral("USB"))) ||
        (wanted == 1 && select(QStringLiteral("UART"))))
        m_caseName = selectedCase();
    if (m_caseName.isEmpty() && select(QStringLiteral("DEFAULT"))) m_caseName = selectedCase();
}

void TestConfig::chooseCaseForStartTest(int detectedInterface) {
    m_caseName.clear();
    if (m_selected >= 0) {
        m_caseName = selectedCase();
        return;
    }
    if ((detectedInterface == 0 && select(QStringLiteral("USB"))) ||
        (detectedInterface == 1 && select(QStringLiteral("UART"))))
        m_caseName = selectedCase();
    if (m_caseName.isEmpty() && select(QStringLiteral("DEFAULT"))) m_caseName = selectedCase();
}

void TestConfig::discard() {
    m_reader.reset();
    m_caseList.clear();
    m_selected = -1;
    // The case name stays until "Start Test" clears it: the next unit's
    // first reading of its plan uses the section the unit before ran with.
}

}  // namespace lumora::tester
