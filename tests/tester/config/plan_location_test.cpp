// Where the tester finds a family's plan: its data folder, then beside the
// program, then the examples, copied into the data folder on first use.
#include <gtest/gtest.h>

#include "tests/tester/app/print_qt.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "tester/config/plan_location.h"
#include "tester/config/test_plan.h"

using lumora::tester::locateTestPlan;
using lumora::tester::PlanFolders;
using lumora::tester::TestConfig;

namespace {

const QString kName = QStringLiteral("LumoraPCBTester_Osprey.ini");

class PlanLocation : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_root.isValid()); }

    QString folder(const char* name) const { return QDir(m_root.path()).filePath(name); }
    void put(const char* where, const QByteArray& text) {
        ASSERT_TRUE(QDir().mkpath(folder(where)));
        QFile file(QDir(folder(where)).filePath(kName));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }
    static QByteArray contents(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    PlanFolders folders() const { return {folder("data"), folder("bin"), folder("examples")}; }

    QTemporaryDir m_root;
};

TEST_F(PlanLocation, FirstFolderHoldingThePlanWins) {
    const struct {
        bool data, program, examples;
        const char* found;  // whose text is read
    } cases[] = {
        {true, true, true, "data"},
        {false, true, true, "bin"},
        {true, false, true, "data"},
        {true, true, false, "data"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.found);
        ASSERT_TRUE(QDir(m_root.path()).removeRecursively());
        ASSERT_TRUE(QDir().mkpath(m_root.path()));
        if (c.data) put("data", "data");
        if (c.program) put("bin", "bin");
        if (c.examples) put("examples", "examples");
        const QString path = locateTestPlan(kName, folders());
        EXPECT_EQ(contents(path), QByteArray(c.found));
        EXPECT_EQ(path, QDir(folder(c.found)).filePath(kName));
    }
}

TEST_F(PlanLocation, AnExampleIsCopiedIntoTheDataFolderOnFirstUse) {
    put("examples", "[TestParameter]\r\nCaseName=Example\r\n");
    // Installed examples are read-only; the user's copy must not be.
    const QString example = QDir(folder("examples")).filePath(kName);
    ASSERT_TRUE(QFile::setPermissions(example, QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                                                   QFileDevice::ReadOther));

    const QString path = locateTestPlan(kName, folders());  // the data folder does not exist yet
    EXPECT_EQ(path, QDir(folder("data")).filePath(kName));
    EXPECT_EQ(contents(path), contents(example));
    EXPECT_TRUE(QFile::permissions(path) & QFileDevice::WriteOwner);

    // From then on the copy is the plan, edits and all.
    QFile edit(path);
    ASSERT_TRUE(edit.open(QIODevice::WriteOnly | QIODevice::Truncate));
    edit.write("[TestParameter]\r\nCaseName=Edited\r\n");
    edit.close();
    EXPECT_EQ(locateTestPlan(kName, folders()), path);
    EXPECT_EQ(contents(path), QByteArray("[TestParameter]\r\nCaseName=Edited\r\n"));
}

TEST_F(PlanLocation, NoPlanAnywhereOrNoPlaceForTheCopy) {
    // Nothing found: the data folder's path, which reads as an empty file.
    EXPECT_EQ(locateTestPlan(kName, folders()), QDir(folder("data")).filePath(kName));
    EXPECT_FALSE(QDir(folder("data")).exists());

    // A data folder that cannot be made (a file is in the way): the example
    // is read where it lies.
    put("examples", "example");
    QFile blocker(folder("data"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_EQ(locateTestPlan(kName, folders()), QDir(folder("examples")).filePath(kName));

    // Folders not given are not looked in.
    put("bin", "bin");
    EXPECT_EQ(locateTestPlan(kName, {folder("data2"), {}, {}}), QDir(folder("data2")).filePath(kName));
}

TEST_F(PlanLocation, TestConfigReadsThePlanFoundThroughItsFallbackFolders) {
    put("examples", "[TestParameter]\r\nCaseName=Example\r\n[DEFAULT]\r\nPCBTestMode=1\r\n");
    TestConfig config;
    config.setFallbackFolders(folder("bin"), folder("examples"));
    ASSERT_EQ(config.load(4, folder("data")), TestConfig::LoadResult::Loaded);
    EXPECT_EQ(config.plan().CaseName, "Example");
    EXPECT_EQ(config.plan().PCBTestMode, 1);
    EXPECT_TRUE(QFile::exists(QDir(folder("data")).filePath(kName)));

    // Without fallback folders only the data folder counts.
    TestConfig alone;
    ASSERT_EQ(alone.load(4, folder("elsewhere")), TestConfig::LoadResult::Loaded);
    EXPECT_EQ(alone.plan().CaseName, "Demo");
    EXPECT_FALSE(alone.readTestPlan(4));
}

}  // namespace
