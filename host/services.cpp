#include "host/services.h"

#include <QAbstractButton>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QOperatingSystemVersion>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>

#include "host/screenshot.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>

namespace lumora::host {
namespace {

// ---- Qt implementations ---------------------------------------------------

class QtMessageService final : public MessageService {
public:
    Answer show(QWidget* parent, const QString& text, const QString& caption, Icon icon,
                Buttons buttons) override {
        QMessageBox box(parent);
        box.setWindowTitle(caption);
        box.setText(text);
        switch (icon) {
            case Icon::None: box.setIcon(QMessageBox::NoIcon); break;
            case Icon::Information: box.setIcon(QMessageBox::Information); break;
            case Icon::Warning: box.setIcon(QMessageBox::Warning); break;
            case Icon::Error: box.setIcon(QMessageBox::Critical); break;
            case Icon::Question: box.setIcon(QMessageBox::Question); break;
        }
        QMessageBox::StandardButtons set;
        QMessageBox::StandardButton escape = QMessageBox::Ok;
        switch (buttons) {
            case Buttons::Ok: set = QMessageBox::Ok; escape = QMessageBox::Ok; break;
            case Buttons::OkCancel:
                set = QMessageBox::Ok | QMessageBox::Cancel;
                escape = QMessageBox::Cancel;
                break;
            case Buttons::YesNo:
                set = QMessageBox::Yes | QMessageBox::No;
                escape = QMessageBox::No;
                break;
            case Buttons::YesNoCancel:
                set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
                escape = QMessageBox::Cancel;
                break;
        }
        box.setStandardButtons(set);
        box.setEscapeButton(escape);
        // Unattended screenshot runs grab the box and press Ok or Yes.
        scheduleMessageBoxScreenshot(&box, [&box] {
            QAbstractButton* b = box.button(QMessageBox::Ok);
            if (!b) b = box.button(QMessageBox::Yes);
            if (b) b->click();
        });
        // Commands show their messages while a wait cursor is up; the box
        // itself gets the normal cursor.
        const bool waiting = QGuiApplication::overrideCursor() != nullptr;
        if (waiting) QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
        const int answer = box.exec();
        if (waiting) QGuiApplication::restoreOverrideCursor();
        switch (answer) {
            case QMessageBox::Yes: return Answer::Yes;
            case QMessageBox::No: return Answer::No;
            case QMessageBox::Cancel: return Answer::Cancel;
            default: return Answer::Ok;
        }
    }
};

// Trace lines are debugger output: nobody sees them unless LUMORA_TRACE=1
// asks for them on stderr. Callers on worker threads trace too, so writes
// are serialised to keep lines whole.
class StderrTraceSink final : public TraceSink {
public:
    StderrTraceSink() : m_enabled(qEnvironmentVariable("LUMORA_TRACE") == QLatin1String("1")) {}
    void write(const QString& line) override {
        if (!m_enabled) return;
        QByteArray bytes = line.toLocal8Bit();
        // Some traces (a device path) carry no line end of their own; end
        // them here so the next trace starts on its own line.
        if (!bytes.endsWith('\n')) bytes.append('\n');
        std::lock_guard lock(m_mutex);
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
        std::fflush(stderr);
    }
    bool enabled() const override { return m_enabled; }

private:
    const bool m_enabled;
    std::mutex m_mutex;
};

class SteadyClock final : public Clock {
public:
    int64_t tickMs() override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    int64_t counterNs() override {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    QDateTime localTime() override { return QDateTime::currentDateTime(); }
};

class QtFileDialogs final : public FileDialogs {
public:
    QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter) override {
        return QFileDialog::getOpenFileName(parent, caption, dir, filter);
    }
    QString saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter, Overwrite overwrite) override {
        const QFileDialog::Options options = overwrite == Overwrite::Replace
                                                 ? QFileDialog::DontConfirmOverwrite
                                                 : QFileDialog::Options();
        return QFileDialog::getSaveFileName(parent, caption, dir, filter, nullptr, options);
    }
};

// The Qt implementations live for the whole process; the pointers below
// select either them or a test double. Atomics, because worker threads trace
// and read the clock while a test may swap the implementation between cases.
MessageService& qtMessages() { static QtMessageService s; return s; }
TraceSink& stderrTrace() { static StderrTraceSink s; return s; }
Clock& steadyClock() { static SteadyClock s; return s; }
FileDialogs& qtFileDialogs() { static QtFileDialogs s; return s; }

std::atomic<MessageService*> g_messages{nullptr};
std::atomic<TraceSink*> g_trace{nullptr};
std::atomic<Clock*> g_clock{nullptr};
std::atomic<FileDialogs*> g_fileDialogs{nullptr};

template <class T>
T& current(const std::atomic<T*>& slot, T& fallback) {
    T* p = slot.load(std::memory_order_acquire);
    return p ? *p : fallback;
}

}  // namespace

Answer messageBox(const QString& text, const QString& caption, Icon icon, Buttons buttons,
                  QWidget* parent) {
    return current(g_messages, qtMessages()).show(parent, text, caption, icon, buttons);
}

void trace(const QString& text) { current(g_trace, stderrTrace()).write(text); }

bool traceEnabled() { return current(g_trace, stderrTrace()).enabled(); }

int64_t tickMs() { return current(g_clock, steadyClock()).tickMs(); }
int64_t counterNs() { return current(g_clock, steadyClock()).counterNs(); }
QDateTime localTime() { return current(g_clock, steadyClock()).localTime(); }

QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                     const QString& filter) {
    return current(g_fileDialogs, qtFileDialogs()).openFileName(parent, caption, dir, filter);
}
QString saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                     const QString& filter, Overwrite overwrite) {
    return current(g_fileDialogs, qtFileDialogs()).saveFileName(parent, caption, dir, filter, overwrite);
}

void setMessageService(MessageService* service) { g_messages.store(service, std::memory_order_release); }
void setTraceSink(TraceSink* sink) { g_trace.store(sink, std::memory_order_release); }
void setClock(Clock* clock) { g_clock.store(clock, std::memory_order_release); }
void setFileDialogs(FileDialogs* dialogs) { g_fileDialogs.store(dialogs, std::memory_order_release); }

bool isModernMultitouchHost() {
#if defined(Q_OS_WIN)
    // The report id the controllers use with the multitouch stack of
    // Windows 7 and later; older hosts get the legacy id back at exit.
    return QOperatingSystemVersion::current() >= QOperatingSystemVersion::Windows7;
#else
    // Linux and macOS always take the multitouch report ids.
    return true;
#endif
}

QString programFolder() { return QCoreApplication::applicationDirPath(); }

bool isWritableFolder(const QString& folder) {
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) return false;
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".lumora-write-test-XXXXXX")));
    return probe.open();
}

QString testerDataFolderFor(const QString& programFolder, const QString& userDataFolder) {
    return isWritableFolder(programFolder) ? programFolder : userDataFolder;
}

QString testerDataFolder() {
    const QString userData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    const QString folder = testerDataFolderFor(programFolder(), userData);
    // A folder that cannot be made shows up as a failed write of the plan
    // copy or of a result file, each reported where it happens.
    if (folder == userData) QDir().mkpath(folder);
    return folder;
}

QString testerExamplesFolder() {
    return QDir::cleanPath(QDir(programFolder()).filePath(QStringLiteral(LUMORA_EXAMPLES_FROM_PROGRAM)));
}

bool replaceFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool appendToFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return false;
    bool ok = file.write(bytes) == bytes.size();
    ok = file.flush() && ok;
    file.close();
    return ok && file.error() == QFileDevice::NoError;
}

}  // namespace lumora::host
