// CZEMATestUtilityPelmaApp: the tester's process from start to exit code.
#pragma once

#include <QString>
#include <functional>

namespace lumora::tester {

class CMySheet;

class CZEMATestUtilityPelmaApp {
public:
    // programDir: where the ini files are read (the program's folder when
    // empty). lockName: the single-instance name; tests pass their own so
    // that a tester running on the machine is never disturbed.
    explicit CZEMATestUtilityPelmaApp(QString programDir = QString(),
                                      QString lockName = QStringLiteral("ZEMA_TEST_UTILITY"));

    // Single instance, then the sheet shown modally. Returns the exit code.
    int run();

    int exitCode() const { return m_exitCode; }
    void setExitCode(int exitCode) { m_exitCode = exitCode; }

    // Called with the sheet before it is shown (screenshots, tests).
    void setSheetHook(std::function<void(CMySheet&)> hook) { m_sheetHook = std::move(hook); }

private:
    QString m_programDir;
    QString m_lockName;
    int m_exitCode = 0;
    std::function<void(CMySheet&)> m_sheetHook;
};

}  // namespace lumora::tester
