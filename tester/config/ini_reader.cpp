#include "tester/config/ini_reader.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <cstring>

#include <ini.h>

namespace lumora::tester {

namespace {

// Line buffer handed to inih. Long enough for any key with a value of 254
// characters; a longer line is cut here and the rest of it skipped, so that
// the tail of a long line is never read as a line of its own.
constexpr int kLineBuffer = 4096;

// inih is configured through process-wide variables. They are set before
// every parse (ini files are read on the GUI thread only):
//  - heap line buffer of kLineBuffer bytes: the built-in default is a
//    200-byte stack buffer, too short for a 254-character value;
//  - no multi-line values: an indented line is a key of its own, not the
//    continuation of the previous value;
//  - no inline comments: "Version=1.0 ;beta" keeps ";beta" in the value.
void configureInih() {
    ini_use_stack = false;
    ini_allow_realloc = false;
    ini_max_line = kLineBuffer;
    ini_initial_alloc = kLineBuffer;
    ini_allow_multiline = false;
    ini_allow_inline_comments = false;
    ini_allow_no_value = false;
    ini_stop_on_first_error = false;
    ini_allow_bom = true;
}

struct ParseContext {
    QIODevice* device = nullptr;
    bool firstLine = true;
    bool inSection = false;
    QByteArray section;  // the section of the line inih is handling
    IniContents* contents = nullptr;
};

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// fgets-style reader for ini_parse_stream. It also notes section headers:
// inih reports only keys, but the section list names empty sections too, and
// inih shortens long section names.
char* readLine(char* str, int num, void* stream) {
    auto* ctx = static_cast<ParseContext*>(stream);
    if (num < 2 || ctx->device->atEnd()) return nullptr;
    const qint64 got = ctx->device->readLine(str, num);
    if (got <= 0) return nullptr;
    if (str[got - 1] != '\n') {
        // The line did not fit: skip the rest of it.
        char c = 0;
        while (ctx->device->getChar(&c) && c != '\n') {
        }
    }
    if (ctx->firstLine) {
        ctx->firstLine = false;
        if (got >= 3 && std::memcmp(str, "\xEF\xBB\xBF", 3) == 0)
            std::memmove(str, str + 3, std::strlen(str + 3) + 1);
    }

    // A section header as inih recognises one: '[' after leading blanks, up to ']'.
    const char* p = str;
    while (*p && isSpace(*p)) ++p;
    if (*p == '[') {
        const char* end = std::strchr(p + 1, ']');
        if (end) {
            ctx->section = QByteArray(p + 1, int(end - p - 1)).trimmed();
            ctx->inSection = true;
            ctx->contents->addSection(ctx->section);
        }
    }
    return str;
}

int onValue(void* user, const char* /*section*/, const char* name, const char* value) {
    auto* ctx = static_cast<ParseContext*>(user);
    // Keys before the first section belong to no section and are not read.
    if (!ctx->inSection || !name) return 1;
    QByteArray text(value ? value : "");
    if (text.size() > IniContents::kMaxValueLength) text.truncate(IniContents::kMaxValueLength);
    ctx->contents->addValue(ctx->section, QByteArray(name), text);
    return 1;  // keep going: a bad line is skipped, never fatal
}

IniContents parseDevice(QIODevice& device) {
    IniContents contents;
    ParseContext ctx;
    ctx.device = &device;
    ctx.contents = &contents;
    configureInih();
    // The result (line of the first bad line, or -2 when the line buffer
    // could not be allocated) is not used: bad lines are skipped as a
    // Windows reader skips them, and what was read before stands.
    ini_parse_stream(&readLine, &ctx, &onValue, &ctx);
    return contents;
}

}  // namespace

// ---- IniContents -----------------------------------------------------------

const IniContents::Section* IniContents::find(const QByteArray& folded) const {
    const auto it = m_sectionIndex.constFind(folded);
    return it == m_sectionIndex.constEnd() ? nullptr : &m_sections[static_cast<size_t>(*it)];
}

IniContents::Section& IniContents::findOrAdd(const QByteArray& name) {
    const QByteArray folded = name.toLower();
    const auto it = m_sectionIndex.constFind(folded);
    if (it != m_sectionIndex.constEnd()) return m_sections[static_cast<size_t>(*it)];
    m_sectionIndex.insert(folded, static_cast<qsizetype>(m_sections.size()));
    m_sections.push_back(Section{name, folded, {}, {}});
    return m_sections.back();
}

void IniContents::addSection(const QByteArray& name) { findOrAdd(name); }

void IniContents::addValue(const QByteArray& section, const QByteArray& key,
                           const QByteArray& value) {
    Section& s = findOrAdd(section);
    const QByteArray folded = key.toLower();
    if (s.index.contains(folded)) return;  // the first of equal keys wins
    s.index.insert(folded, static_cast<qsizetype>(s.values.size()));
    s.values.emplace_back(folded, value);
}

bool IniContents::sectionExists(const QString& section) const {
    const Section* s = find(section.toLatin1().toLower());
    return s && !s->values.empty();
}

QStringList IniContents::sectionNames() const {
    // The names as a NUL-separated list read through a 500-character buffer:
    // at most 498 characters of names and separators fit before the closing
    // double NUL; a name cut by the limit stays in its shortened form.
    QByteArray list;
    for (const Section& s : m_sections) {
        list += s.name;
        list += '\0';
    }
    constexpr int kRoom = kSectionListBuffer - 2;
    if (list.size() > kRoom + 1) list.truncate(kRoom);
    QStringList names;
    for (const QByteArray& name : list.split('\0'))
        if (!name.isEmpty()) names << QString::fromLatin1(name);
    return names;
}

QString IniContents::value(const QString& section, const QString& key) const {
    const Section* s = find(section.toLatin1().toLower());
    if (!s) return {};
    const auto it = s->index.constFind(key.toLatin1().toLower());
    return it == s->index.constEnd() ? QString()
                                     : QString::fromLatin1(s->values[static_cast<size_t>(*it)].second);
}

QStringList IniContents::keys(const QString& section) const {
    QStringList keys;
    if (const Section* s = find(section.toLatin1().toLower()))
        for (const auto& kv : s->values) keys << QString::fromLatin1(kv.first);
    return keys;
}

// ---- CIniReader --------------------------------------------------------------

std::unique_ptr<CIniReader> CIniReader::create(const QString& path) {
    const QFileInfo info(path);
    if (info.exists()) {
        QFile file(path);
        if (info.isDir() || !file.open(QIODevice::ReadOnly)) return nullptr;
    }
    return std::unique_ptr<CIniReader>(new CIniReader(path));
}

IniContents CIniReader::read() const {
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return parseDevice(file);
}

IniContents CIniReader::parse(const QByteArray& text) {
    QByteArray copy(text);
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return parseDevice(buffer);
}

}  // namespace lumora::tester
