// The tester's ini reader on any text. Checks, beyond the sanitizers:
//  - the section list fits its 500-character buffer: names and their NULs
//    take at most 498 characters;
//  - every key of a section is in lower case (names fold ASCII letters only)
//    and appears once (the first of equal keys wins), and its value is at
//    most 254 characters;
//  - names match without regard to (ASCII) case: the same value comes back
//    for the section and key written in upper case;
//  - a section exists exactly when it has a key.
#include <QByteArray>
#include <QSet>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "tester/config/ini_reader.h"

namespace {

QString asciiUpper(const QString& s) {
    QString out = s;
    for (QChar& c : out)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) c = QChar(c.unicode() - 32);
    return out;
}

bool hasAsciiUpper(const QString& s) {
    for (const QChar c : s)
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) return true;
    return false;
}

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using lumora::tester::CIniReader;
    using lumora::tester::IniContents;
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const IniContents ini = CIniReader::parse(text);

    const QStringList sections = ini.sectionNames();
    qsizetype listLength = 0;
    for (const QString& name : sections) listLength += name.size() + 1;
    check(listLength <= IniContents::kSectionListBuffer - 2);

    for (const QString& section : sections) {
        const QStringList keys = ini.keys(section);
        check(ini.sectionExists(section) == !keys.isEmpty());
        QSet<QString> seen;
        for (const QString& key : keys) {
            check(!hasAsciiUpper(key));
            check(!seen.contains(key));
            seen.insert(key);
            const QString value = ini.value(section, key);
            check(value.size() <= IniContents::kMaxValueLength);
            check(ini.value(asciiUpper(section), asciiUpper(key)) == value);
        }
    }
    return 0;
}
