// LumoraTester: waits for controller boards, identifies them and tests them
// with the plan of their family's ini file.
#include <QApplication>

#include "host/packet_window.h"
#include "host/screenshot.h"
#include "tester/app/my_sheet.h"
#include "tester/app/tester_app.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Device callbacks and hot-plug notifications run on the GUI thread.
    lumora::host::installGuiDispatcher();

    lumora::tester::CZEMATestUtilityPelmaApp tester;
    tester.setSheetHook([](lumora::tester::CMySheet& sheet) {
        lumora::host::scheduleScreenshots(&sheet, nullptr, QStringLiteral("LumoraTester"));
    });
    return tester.run();
}
