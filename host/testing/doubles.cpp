#include "host/testing/doubles.h"

namespace lumora::host::testing {

RecordingMessages::RecordingMessages() { setMessageService(this); }
RecordingMessages::~RecordingMessages() { setMessageService(nullptr); }

Answer RecordingMessages::show(QWidget*, const QString& text, const QString& caption, Icon icon,
                               Buttons buttons) {
    m_shown.push_back({text, caption, icon, buttons});
    if (!m_script.empty()) {
        const Answer a = m_script.front();
        m_script.pop_front();
        return a;
    }
    return (buttons == Buttons::Ok || buttons == Buttons::OkCancel) ? Answer::Ok : Answer::Yes;
}

CapturedTrace::CapturedTrace() { setTraceSink(this); }
CapturedTrace::~CapturedTrace() { setTraceSink(nullptr); }

void CapturedTrace::write(const QString& line) {
    std::lock_guard lock(m_mutex);
    m_lines.append(line);
}

QStringList CapturedTrace::lines() const {
    std::lock_guard lock(m_mutex);
    return m_lines;
}

QString CapturedTrace::text() const { return lines().join(QString()); }

void CapturedTrace::clear() {
    std::lock_guard lock(m_mutex);
    m_lines.clear();
}

FakeClock::FakeClock() { setClock(this); }
FakeClock::~FakeClock() { setClock(nullptr); }

ScriptedFileDialogs::ScriptedFileDialogs() { setFileDialogs(this); }
ScriptedFileDialogs::~ScriptedFileDialogs() { setFileDialogs(nullptr); }

QString ScriptedFileDialogs::next() {
    if (m_script.empty()) return {};
    QString name = m_script.front();
    m_script.pop_front();
    return name;
}

QString ScriptedFileDialogs::openFileName(QWidget*, const QString& caption, const QString& dir,
                                          const QString& filter) {
    m_asked.push_back({false, caption, dir, filter});
    return next();
}

QString ScriptedFileDialogs::saveFileName(QWidget*, const QString& caption, const QString& dir,
                                          const QString& filter, Overwrite overwrite) {
    m_asked.push_back({true, caption, dir, filter, overwrite});
    return next();
}

}  // namespace lumora::host::testing
