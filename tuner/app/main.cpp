// LumoraTuner: finds the controller once, shows the sheet of its pages and,
// when the sheet closes, hands the controller back in the state it came in.
#include <QApplication>

#include "device/vexlink.h"
#include "host/packet_window.h"
#include "host/screenshot.h"
#include "host/services.h"
#include "tuner/app/device_state.h"
#include "tuner/app/page_table.h"
#include "tuner/app/startup.h"
#include "tuner/app/tuner_sheet.h"

namespace {

// The tuner has no hot-plug: it looks for its controller once. Device
// arrivals and removals are acknowledged and change nothing; a controller
// plugged in later is seen at the next start.
void ignoreDeviceChange(void*, int, const char*) {}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    lumora::host::installGuiDispatcher();
    VexSetHotplugListener(&ignoreDeviceChange, nullptr);

    lumora::DeviceState& state = lumora::deviceState();
    lumora::TunerStartup startup(state, QStringLiteral(LUMORA_CUSTOMER_LABEL));
    const lumora::StartupOutcome outcome = startup.run();
    if (!outcome.showSheet) return outcome.exitCode;

    int exitCode = 0;
    {
        lumora::TunerSheet sheet(state, outcome.title, lumora::pagesFor(outcome.pageSet),
                                 outcome.placeholder);
        lumora::host::scheduleScreenshots(&sheet, sheet.tabs(), QStringLiteral("LumoraTuner"));
        sheet.exec();
        exitCode = sheet.quitCode().value_or(0);
    }  // the pages end their streams and threads before the controller is handed back

    lumora::runExitSequence(state, lumora::host::isModernMultitouchHost());
    VexSetHotplugListener(nullptr, nullptr);
    return exitCode;
}
