#include "tester/app/tester_app.h"

#include "host/services.h"
#include "host/single_instance.h"
#include "tester/app/my_sheet.h"
#include "tester/app/test_page.h"

namespace lumora::tester {

CZEMATestUtilityPelmaApp::CZEMATestUtilityPelmaApp(QString programDir, QString lockName)
    : m_programDir(std::move(programDir)), m_lockName(std::move(lockName)) {}

int CZEMATestUtilityPelmaApp::run() {
    host::SingleInstanceLock lock(m_lockName);
    if (lock.alreadyRunning()) {
        host::messageBox(QStringLiteral("ZEMA_TEST_UTILITY is already running"),
                         QStringLiteral("Warning!"));
        return m_exitCode;
    }

    auto* page = new CTestPage(m_programDir);
    CMySheet sheet(page);
    if (m_sheetHook) m_sheetHook(sheet);
    const int result = sheet.exec();
    if (sheet.quitCode()) m_exitCode = *sheet.quitCode();
    return exitCodeForSheetResult(result, m_exitCode);
}

}  // namespace lumora::tester
