// Result file names, folders and the one-piece write.
#include "tester/logs/result_log.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace lumora::tester {
namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

TEST(ResultLog, AVerdictOnlyFileHoldsTheVerdictAndEnd) {
    EXPECT_EQ(verdictOnlyText(true), QByteArray("PASS\r\n\r\nEND\r\n"));
    EXPECT_EQ(verdictOnlyText(false), QByteArray("FAIL\r\n\r\nEND\r\n"));
}

TEST(ResultLog, NamesAndFoldersFollowTheStartAndTheVerdict) {
    const QTime t(9, 5, 7);
    EXPECT_EQ(pcbLogFileName(true, t), "OK-090507.csv");
    EXPECT_EQ(pcbLogFileName(false, QTime(23, 59, 0)), "NG-235900.csv");
    EXPECT_EQ(connectorLogFileName(true, "ZEMA", t), "OK-ZEMA-090507.csv");
    // An empty barcode leaves two dashes in a row.
    EXPECT_EQ(connectorLogFileName(false, "", t), "NG--090507.csv");

    const QString root = resultRootFolder("/data/tester");
    EXPECT_EQ(root, "/data/tester/Controller Log");
    const QString day = resultDayFolder(root, QDate(2024, 1, 2));
    EXPECT_EQ(day, "/data/tester/Controller Log/2024-01-02");
    EXPECT_EQ(resultVerdictFolder(day, true), day + "/OK");
    EXPECT_EQ(resultVerdictFolder(day, false), day + "/NG");
}

// A file of the same name (two units in the same second) is replaced as a
// whole, and nothing but the file is left in the folder.
TEST(ResultLog, AFileIsReplacedInOnePiece) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = resultVerdictFolder(resultDayFolder(resultRootFolder(dir.path()), QDate(2024, 1, 2)), true);
    ASSERT_TRUE(makeFolder(folder));
    const QString path = QDir(folder).filePath(pcbLogFileName(true, QTime(1, 2, 3)));
    ASSERT_TRUE(writeResultFile(path, QByteArray(5000, 'a')));
    ASSERT_TRUE(writeResultFile(path, "PASS\r\n\r\nEND\r\n"));
    EXPECT_EQ(readAll(path), "PASS\r\n\r\nEND\r\n");
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"OK-010203.csv"});
}

TEST(ResultLog, AFolderThatCannotBeMadeFailsTheWrite) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A file stands where the root folder should be.
    const QString root = resultRootFolder(dir.path());
    QFile blocker(root);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString day = resultDayFolder(root, QDate(2024, 1, 2));
    EXPECT_FALSE(makeFolder(day));
    EXPECT_FALSE(writeResultFile(QDir(day).filePath("OK-010203.csv"), "PASS\r\n"));
}

}  // namespace
}  // namespace lumora::tester
