#include <gtest/gtest.h>

#include "tests/tester/app/print_qt.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "tester/config/ini_reader.h"

using lumora::tester::CIniReader;
using lumora::tester::IniContents;

namespace {

TEST(IniReader, MatchesNamesWithoutCaseAndKeepsTheFirstOfEqualKeys) {
    const IniContents ini = CIniReader::parse(
        "[TestParameter]\r\n"
        "AutoRun=1\r\n"
        "AUTORUN=2\r\n"
        "[usb]\r\n"
        "ModelName = OSP-20 \r\n"
        "[USB]\r\n"
        "ModelName=later\r\n"
        "Version=1.2\r\n");
    EXPECT_EQ(ini.value("testparameter", "autorun"), "1");
    EXPECT_EQ(ini.value("USB", "MODELNAME"), "OSP-20");
    EXPECT_EQ(ini.value("Usb", "version"), "1.2");  // a repeated section adds to the first
    EXPECT_EQ(ini.sectionNames(), QStringList({"TestParameter", "usb"}));
    EXPECT_EQ(ini.value("USB", "Missing"), "");
    EXPECT_EQ(ini.value("Missing", "ModelName"), "");
}

// The inih options that a conventional Windows reader implies: each of these
// lines reads differently under the library's built-in defaults.
TEST(IniReader, ReadsLikeAWindowsIniReader) {
    const QByteArray value254(254, 'v');
    const IniContents ini = CIniReader::parse(
        "[S]\n"
        "Version=1.0 ;beta\n"         // no inline comments
        "Model=A#1\n"
        "First=1\n"
        "    Indented=2\n"            // an indented key is a key, not a continuation
        "\tTabbed=3\n"
        "; Commented=4\n"
        "# Hashed=5\n"
        "Long=" + value254 + "\n"     // longer than the library's 200-byte stack line
        "After=6\n");
    EXPECT_EQ(ini.value("S", "Version"), "1.0 ;beta");
    EXPECT_EQ(ini.value("S", "Model"), "A#1");
    EXPECT_EQ(ini.value("S", "First"), "1");
    EXPECT_EQ(ini.value("S", "Indented"), "2");
    EXPECT_EQ(ini.value("S", "Tabbed"), "3");
    EXPECT_EQ(ini.value("S", "Commented"), "");
    EXPECT_EQ(ini.value("S", "Hashed"), "");
    EXPECT_EQ(ini.value("S", "Long"), QString::fromLatin1(value254));
    EXPECT_EQ(ini.value("S", "After"), "6");
}

TEST(IniReader, CutsLongValuesAndNeverReadsTheTailOfALineAsALine) {
    const QByteArray tail = "Injected=1";
    const IniContents ini = CIniReader::parse(
        "[S]\n"
        "Value=" + QByteArray(300, 'a') + "\n"
        "Huge=" + QByteArray(6000, 'b') + tail + "\n"
        "Next=7\n");
    EXPECT_EQ(ini.value("S", "Value"), QString(254, 'a'));
    EXPECT_EQ(ini.value("S", "Huge"), QString(254, 'b'));
    EXPECT_EQ(ini.value("S", "Injected"), "");
    EXPECT_EQ(ini.value("S", "Next"), "7");
}

TEST(IniReader, PassesOverGarbage) {
    QByteArray text("\xEF\xBB\xBF" "Orphan=1\r\n"  // byte-order mark, key before any section
                    "[A]\r\n"
                    "no equals sign here\r\n"
                    "[broken header\r\n"
                    "Key=1\r\n"
                    "=no name\r\n"
                    "\x01\x02\xFF garbage \x7F\r\n"
                    "Key2=\xE9t\xE9\r\n");
    text += QByteArray("Nul=a\0b\r\n", 9);
    const IniContents ini = CIniReader::parse(text);
    EXPECT_EQ(ini.sectionNames(), QStringList({"A"}));
    EXPECT_EQ(ini.value("A", "Key"), "1");  // "[broken header" keeps section A
    EXPECT_EQ(ini.value("A", "Key2"), QString::fromLatin1("\xE9t\xE9"));
    EXPECT_EQ(ini.value("A", "Nul"), "a");
    EXPECT_EQ(ini.value("", "Orphan"), "");
}

TEST(IniReader, ASectionExistsOnlyWithAKey) {
    const IniContents ini = CIniReader::parse(
        "[DEFAULT]\n"
        "; nothing but a comment\n"
        "[USB]\n"
        "Empty=\n"
        "[UART]\n"
        "DeviceInterface=1\n");
    EXPECT_FALSE(ini.sectionExists("DEFAULT"));
    EXPECT_TRUE(ini.sectionExists("USB"));  // an empty value is still a key
    EXPECT_TRUE(ini.sectionExists("uart"));
    EXPECT_FALSE(ini.sectionExists("Missing"));
    // The list names empty sections too, in file order.
    EXPECT_EQ(ini.sectionNames(), QStringList({"DEFAULT", "USB", "UART"}));
}

TEST(IniReader, SectionListIsCutAtFiveHundredCharacters) {
    // 8 sections of 59 characters take 8 x 60 = 480 places; the ninth name
    // has 18 places left before the closing double NUL and is shortened to
    // them, the tenth is left out.
    QByteArray text;
    QStringList expected;
    for (int i = 0; i < 8; ++i) {
        const QByteArray name = QByteArray::number(i) + QByteArray(58, 'n');
        text += "[" + name + "]\nK=1\n";
        expected << QString::fromLatin1(name);
    }
    text += "[USB_and_more_characters_here]\nK=1\n[DEFAULT]\nK=1\n";
    expected << "USB_and_more_chara";
    const IniContents ini = CIniReader::parse(text);
    EXPECT_EQ(ini.sectionNames(), expected);
    EXPECT_TRUE(ini.sectionExists("DEFAULT"));  // the limit is the list's, not the file's

    // A list of exactly 499 characters still fits.
    QByteArray fits;
    for (int i = 0; i < 4; ++i) fits += "[" + QByteArray(99, char('a' + i)) + "]\n";
    fits += "[" + QByteArray(98, 'e') + "]\n";  // 4 x 100 + 99 = 499
    EXPECT_EQ(CIniReader::parse(fits).sectionNames().last(), QString(98, 'e'));
}

TEST(IniReaderFile, MissingFileReadsEmptyAndEditsAreSeen) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("plan.ini");
    auto reader = CIniReader::create(path);
    ASSERT_NE(reader, nullptr);
    EXPECT_TRUE(reader->sectionNames().isEmpty());
    EXPECT_FALSE(reader->sectionExists("DEFAULT"));

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[DEFAULT]\r\nPCBShortTh=300\r\n");
    file.close();
    EXPECT_EQ(reader->value("DEFAULT", "PCBShortTh"), "300");

    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[DEFAULT]\r\nPCBShortTh=250\r\n");
    file.close();
    EXPECT_EQ(reader->value("DEFAULT", "PCBShortTh"), "250");
}

TEST(IniReaderFile, AFolderInPlaceOfTheFileCannotBeRead) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir("plan.ini"));
    EXPECT_EQ(CIniReader::create(dir.filePath("plan.ini")), nullptr);
}

}  // namespace
