#include "tuner/app/program.h"

#include <QTabWidget>
#include <QTimer>

#include "host/packet_window.h"
#include "host/screenshot.h"
#include "host/services.h"
#include "tuner/app/device_state.h"
#include "tuner/app/page_table.h"
#include "tuner/app/tuner_sheet.h"

namespace lumora {

namespace {

// LUMORA_TAB_CYCLE_MS, a development aid of the soak test: the sheet moves on
// to its next tab every that many milliseconds, as a person clicking through
// the pages would, so that every page, the streaming ones included, is
// created, shown and hidden again and again while units come and go.
void cycleTabsFromEnvironment(TunerSheet& sheet) {
    bool ok = false;
    const int periodMs = qEnvironmentVariableIntValue("LUMORA_TAB_CYCLE_MS", &ok);
    QTabWidget* tabs = sheet.tabs();
    if (!ok || periodMs <= 0 || !tabs || tabs->count() < 2) return;
    auto* timer = new QTimer(&sheet);
    QObject::connect(timer, &QTimer::timeout, tabs,
                     [tabs] { tabs->setCurrentIndex((tabs->currentIndex() + 1) % tabs->count()); });
    timer->start(periodMs);
}

}  // namespace

int runTunerProgram(const QString& customerLabel, const QString& instanceName) {
    host::installGuiDispatcher();

    DeviceState& state = deviceState();
    TunerStartup startup(state, customerLabel, instanceName);
    const StartupOutcome outcome = startup.run();
    if (!outcome.showSheet) return outcome.exitCode;

    int exitCode = 0;
    {
        TunerSheet sheet(state, outcome.title, pagesFor(outcome.pageSet), outcome.placeholder);
        host::scheduleScreenshots(&sheet, sheet.tabs(), QStringLiteral("LumoraTuner"));
        cycleTabsFromEnvironment(sheet);
        sheet.exec();
        exitCode = sheet.quitCode().value_or(0);
    }  // the pages end their streams and threads before the controller is handed back

    runExitSequence(state, host::isModernMultitouchHost());
    return exitCode;
}

}  // namespace lumora
