// Test doubles of the host services. Each one installs itself for its
// lifetime (constructor) and puts the Qt implementation back when it goes.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <deque>
#include <mutex>
#include <vector>

#include "host/services.h"

namespace lumora::host::testing {

// Records every message box and answers from a script. With the script
// empty it answers with the first button of the set (Ok or Yes), as a user
// pressing Enter would.
class RecordingMessages final : public MessageService {
public:
    struct Shown {
        QString text;
        QString caption;
        Icon icon = Icon::None;
        Buttons buttons = Buttons::Ok;
    };

    RecordingMessages();
    ~RecordingMessages() override;

    void script(Answer answer) { m_script.push_back(answer); }
    const std::vector<Shown>& shown() const { return m_shown; }
    void clear() { m_shown.clear(); }

    Answer show(QWidget* parent, const QString& text, const QString& caption, Icon icon,
                Buttons buttons) override;

private:
    std::vector<Shown> m_shown;
    std::deque<Answer> m_script;
};

// Captures trace lines from any thread.
class CapturedTrace final : public TraceSink {
public:
    CapturedTrace();
    ~CapturedTrace() override;

    void write(const QString& line) override;
    QStringList lines() const;
    // Every trace concatenated as written.
    QString text() const;
    bool contains(const QString& line) const { return lines().contains(line); }
    void clear();

private:
    mutable std::mutex m_mutex;
    QStringList m_lines;
};

// A clock that moves only when the test moves it.
class FakeClock final : public Clock {
public:
    FakeClock();
    ~FakeClock() override;

    void setMs(int64_t ms) { m_ns = ms * 1'000'000; }
    void advanceMs(int64_t ms) { m_ns += ms * 1'000'000; }
    void advanceNs(int64_t ns) { m_ns += ns; }
    void setLocalTime(const QDateTime& t) { m_local = t; }

    int64_t tickMs() override { return m_ns / 1'000'000; }
    int64_t counterNs() override { return m_ns; }
    QDateTime localTime() override { return m_local; }

private:
    int64_t m_ns = 0;
    QDateTime m_local{QDate(2024, 1, 2), QTime(3, 4, 5)};
};

// File dialogs that return scripted names (empty = cancelled once the
// script is used up) and record what they were asked.
class ScriptedFileDialogs final : public FileDialogs {
public:
    struct Asked {
        bool save = false;
        QString caption;
        QString dir;
        QString filter;
        Overwrite overwrite = Overwrite::Ask;  // save dialogs only
    };

    ScriptedFileDialogs();
    ~ScriptedFileDialogs() override;

    void script(const QString& fileName) { m_script.push_back(fileName); }
    const std::vector<Asked>& asked() const { return m_asked; }

    QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter, Overwrite overwrite) override;

private:
    QString next();
    std::vector<Asked> m_asked;
    std::deque<QString> m_script;
};

}  // namespace lumora::host::testing
