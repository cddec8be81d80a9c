// CIniReader: the tester's window onto its ini file.
//
// The file is read the way a conventional Windows ini reader reads it:
// section and key names match without regard to case, the first of two
// equal keys wins, a value is at most 254 characters, a semicolon or hash
// starts a comment only at the start of a line (a value keeps a ";" in it),
// there is no line continuation, and lines that are neither a section header
// nor "key=value" are passed over. A missing file reads as a file without
// sections.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace lumora::tester {

// The contents of one ini file as read at one moment.
class IniContents {
public:
    // Values longer than this are cut, as by a 255-character read buffer.
    static constexpr int kMaxValueLength = 254;
    // The section-name list is read through a buffer of this many characters
    // (each name ends with a NUL and the list with a second one).
    static constexpr int kSectionListBuffer = 500;

    // True when the section has at least one key.
    bool sectionExists(const QString& section) const;
    // All section names in file order, each once (the first spelling), cut to
    // what fits the 500-character list: names that no longer fit are left
    // out and the last one that partly fits is shortened.
    QStringList sectionNames() const;
    // The value of a key; empty when the key or the section is missing.
    QString value(const QString& section, const QString& key) const;
    // The keys of a section in file order, in lower case.
    QStringList keys(const QString& section) const;

    // Building (used by the reader).
    void addSection(const QByteArray& name);
    void addValue(const QByteArray& section, const QByteArray& key, const QByteArray& value);

private:
    // Names are looked up through hashes, so reading a file takes time in
    // proportion to its size however many keys a section holds.
    struct Section {
        QByteArray name;
        QByteArray folded;
        std::vector<std::pair<QByteArray, QByteArray>> values;  // folded key, value
        QHash<QByteArray, qsizetype> index;                    // folded key -> place in values
    };
    const Section* find(const QByteArray& folded) const;
    Section& findOrAdd(const QByteArray& name);

    std::vector<Section> m_sections;
    QHash<QByteArray, qsizetype> m_sectionIndex;  // folded name -> place in m_sections
};

class CIniReader {
public:
    // A reader on the file at path. Returns nullptr when the reader cannot
    // be created: the path names something that exists but cannot be read
    // as a file (a folder, a file without read permission). A missing file
    // is not an error; it reads as empty.
    static std::unique_ptr<CIniReader> create(const QString& path);

    const QString& path() const { return m_path; }

    // Reads the file as it is now, so an edit made between two readings is
    // seen by the second. Callers that ask for many values take one
    // snapshot with read() and query it.
    IniContents read() const;

    bool sectionExists(const QString& section) const { return read().sectionExists(section); }
    QStringList sectionNames() const { return read().sectionNames(); }
    QString value(const QString& section, const QString& key) const {
        return read().value(section, key);
    }

    // Parses ini text held in memory (the same rules as a file).
    static IniContents parse(const QByteArray& text);

private:
    explicit CIniReader(QString path) : m_path(std::move(path)) {}
    QString m_path;
};

}  // namespace lumora::tester
