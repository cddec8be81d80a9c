#include "tester/tester_app.h"

#include "host/services.h"
#include "host/single_instance.h"
#include "tester/my_sheet.h"
#include "tester/test_page.h"

namespace lumora::tester {

CZEMATestUtilityPelmaApp::CZEMATestUtilityPelmaApp(QString programDir)
    : m_programDir(std::move(programDir)) {}

int CZEMATestUtilityPelmaApp::run() {
    host::SingleInstanceLock lock(QStringLiteral("ZEMA_TEST_UTILITY"));
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
