// Platform services the programs need, each behind a small interface with
// one Qt implementation and one test double (host/testing/). Pages call the
// free functions; tests swap the implementation with the set...() calls.
#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>

class QWidget;

namespace lumora::host {

// ---- Modal message boxes -------------------------------------------------
enum class Icon { None, Information, Warning, Error, Question };
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Answer { Ok, Cancel, Yes, No };

class MessageService {
public:
    virtual ~MessageService() = default;
    virtual Answer show(QWidget* parent, const QString& text, const QString& caption, Icon icon,
                        Buttons buttons) = 0;
};

// Shows a modal message box; returns the button pressed.
Answer messageBox(const QString& text, const QString& caption, Icon icon = Icon::None,
                  Buttons buttons = Buttons::Ok, QWidget* parent = nullptr);

// ---- Debugger trace -------------------------------------------------------
class TraceSink {
public:
    virtual ~TraceSink() = default;
    virtual void write(const QString& line) = 0;
    // False when lines written would go nowhere.
    virtual bool enabled() const { return true; }
};

// Writes a trace line as given (callers include their own "\r\n").
// Silent by default; LUMORA_TRACE=1 sends it to stderr.
void trace(const QString& text);
// Whether trace lines go anywhere: a caller that traces per record asks
// first, so that a silent trace costs no text formatting.
bool traceEnabled();

// ---- Clock ----------------------------------------------------------------
class Clock {
public:
    virtual ~Clock() = default;
    virtual int64_t tickMs() = 0;        // steady milliseconds
    virtual int64_t counterNs() = 0;     // steady high-resolution nanoseconds
    virtual QDateTime localTime() = 0;
};
int64_t tickMs();
int64_t counterNs();
QDateTime localTime();

// ---- File dialogs ----------------------------------------------------------
// Whether the save dialog asks before an existing file is chosen.
enum class Overwrite { Ask, Replace };

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // Empty string when cancelled.
    virtual QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                                 const QString& filter) = 0;
    virtual QString saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                                 const QString& filter, Overwrite overwrite) = 0;
};
QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                     const QString& filter);
QString saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                     const QString& filter, Overwrite overwrite = Overwrite::Ask);

// ---- Swapping implementations (tests) --------------------------------------
// Passing nullptr restores the Qt implementation. Not thread-safe: call before
// the services are used.
void setMessageService(MessageService* service);
void setTraceSink(TraceSink* sink);
void setClock(Clock* clock);
void setFileDialogs(FileDialogs* dialogs);

// ---- Host version test -------------------------------------------------------
// True on a host with the modern multitouch stack (every Linux and macOS host;
// on Windows, 7 and later). The tuner and tester choose the report id they
// restore at exit from it.
bool isModernMultitouchHost();

// ---- Files -----------------------------------------------------------------------
// Appends bytes to the file, creating it when missing and never truncating;
// binary, so CR LF line ends go out as given. False when the file cannot be
// opened or not every byte reached it: a full disk shows only when the
// buffer is flushed, so the bytes count as written only after the flush and
// the close succeeded. The tuner's logs are opened, appended and closed
// again per write through this.
bool appendToFile(const QString& path, const QByteArray& bytes);
// Writes `bytes` as the whole file in one piece: written beside it and
// renamed over it once complete, so that a failure leaves the file as it
// was and never half-written. True only when the rename succeeded.
bool replaceFile(const QString& path, const QByteArray& bytes);

// ---- Folders -------------------------------------------------------------------
// The folder that holds the running program.
QString programFolder();

// The tester's data folder: where its ini files are looked for first and its
// result folders are made. The program's own folder while a file can be made
// there (a program run from where it was built or unpacked); otherwise, as
// for an installed program, the user's data folder
// (QStandardPaths::AppDataLocation), made when missing.
QString testerDataFolder();
// The rule of testerDataFolder() for given folders; makes nothing.
QString testerDataFolderFor(const QString& programFolder, const QString& userDataFolder);

// Where an installed program finds the tester's example plans
// (<prefix>/share/lumora/examples, found from the program's folder so that
// any prefix works). The folder need not exist.
QString testerExamplesFolder();

// True when a file can be made in `folder` right now: tried by making and
// removing one, so that permissions, ACLs and read-only mounts all count.
bool isWritableFolder(const QString& folder);

}  // namespace lumora::host
