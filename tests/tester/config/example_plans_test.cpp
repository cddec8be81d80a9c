// The example plans shipped beside the program: they load, every key in them
// is one the tester knows (a misspelt key would be passed over without a
// word), and every key line has its comment above it.
#include <gtest/gtest.h>

#include <QFile>
#include <QDir>
#include <QSet>

#include "tester/config/test_plan.h"
#include "tests/tester/app/print_qt.h"

namespace lumora::tester {
namespace {

const QStringList kTestParameterKeys = {"casename", "connectormode", "autorun", "autoexit",
                                        "countdowntimer", "disabletouchwhentesting"};
const QStringList kCaseKeys = {
    "enabletestresultfile", "deviceinterface", "inputinfo", "checkmodel", "modelname",
    "checkversion", "version", "runfwupdate", "runadleveltest", "runadleveltest2",
    "adleveltesttime", "adleveltest2time", "pcbtestmode", "shortlower", "shortupper", "failstop",
    "looptest"};
const QStringList kOspreyKeys = {"pcbshortth", "pcbadlevel", "conntestxth", "conntestyth",
                                 "adlevel2"};
const QStringList kHeronKeys = {"rundaccalibration", "opentesttxuth", "opentestrxlth",
                                "shorttesttxlth"};

struct Example {
    const char* file;
    int typeCode;
    const QStringList* familyKeys;
};

class ExamplePlanTest : public testing::TestWithParam<Example> {};

TEST_P(ExamplePlanTest, LoadsWithKnownAndDocumentedKeys) {
    const QString dir = QStringLiteral(LUMORA_TESTER_SOURCE_DIR);
    TestConfig config;
    ASSERT_EQ(config.load(GetParam().typeCode, dir), TestConfig::LoadResult::Loaded);
    EXPECT_TRUE(config.readTestPlan(GetParam().typeCode));
    EXPECT_EQ(config.caseList(), QStringList({"DEFAULT"}));
    EXPECT_EQ(config.plan().CaseName, "Demo");

    const IniContents ini = config.reader()->read();
    auto asSet = [](const QStringList& list) { return QSet<QString>(list.begin(), list.end()); };
    EXPECT_EQ(asSet(ini.keys("TestParameter")), asSet(kTestParameterKeys));
    EXPECT_EQ(asSet(ini.keys("DEFAULT")), asSet(kCaseKeys + *GetParam().familyKeys));

    QFile file(QDir(dir).filePath(GetParam().file));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        EXPECT_TRUE(lines[i].isEmpty() || lines[i].endsWith('\r')) << "line " << i + 1;  // CR LF
        if (lines[i].contains('=') && !lines[i].startsWith(';')) {
            EXPECT_TRUE(i > 0 && lines[i - 1].startsWith(';')) << GetParam().file << " line " << i + 1;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Files, ExamplePlanTest,
                         testing::Values(Example{"LumoraPCBTester_Osprey.ini", 4, &kOspreyKeys},
                                         Example{"LumoraPCBTester_Heron.ini", 6, &kHeronKeys}));

}  // namespace
}  // namespace lumora::tester
