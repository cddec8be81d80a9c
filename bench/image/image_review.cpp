// Review grabs of the "Image Data" page against a virtual controller: each
// view in each drive order, twice half a second apart so that a moving
// finger shows, into the folder given as the argument.
//
//   VEXLINK_DEVICES=osprey QT_QPA_PLATFORM=offscreen image_review <folder>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <cstdio>
#include <cstring>

#include "device/vexlink.h"
#include "tuner/app/device_state.h"
#include "tuner/image/image_dlg.h"

namespace {

int takeFirst(void* context, const char* path, void*, uint32_t v1, uint32_t v2) {
    auto* d = static_cast<VexDeviceDescriptor*>(context);
    // The touch collections are not the ones the tuner talks to.
    const QString upper = QString::fromLatin1(path).toUpper();
    if (d->path[0] != '\0' || upper.contains("&COL04") || upper.contains("&COL06")) return 0;
    std::strncpy(d->path, path, sizeof d->path - 1);
    d->value1 = v1;
    d->value2 = v2;
    return 1;
}

void pump(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: image_review <folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    lumora::DeviceState state;
    EnumerateHidDevices(&state.controllerDescriptor, takeFirst);
    state.controller = OpenHIDDevice(state.controllerDescriptor);
    if (state.controller == 0) {
        std::fprintf(stderr, "image_review: no controller (set VEXLINK_DEVICES)\n");
        return 1;
    }
    char text[64] = {};
    GetDevTypeName(state.controller, text);
    state.typeName = QString::fromLatin1(text);
    // The two image thresholds of the parameter block (words 195 and 196).
    DevReadWord(state.controller, 192 + 3, &state.paramBlock[3]);
    DevReadWord(state.controller, 192 + 4, &state.paramBlock[4]);

    lumora::CImageDlg page(state);
    page.resize(1100, 620);
    page.show();
    page.onCreated();
    page.onActivated();
    page.onShown();

    const struct {
        const char* name;
        int32_t view;
        bool swapFirst;
    } steps[] = {{"adlevel-yx", lumora::image::kAdLevelView, false},
                 {"clean-yx", lumora::image::kCleanDataView, false},
                 {"clean-xy", lumora::image::kCleanDataView, true},
                 {"adlevel-xy", lumora::image::kAdLevelView, false}};
    for (const auto& step : steps) {
        if (step.swapFirst) page.swapDriveOrder();
        page.chooseView(step.view);
        // A low threshold, so that the Clean Data view shows its texts too.
        if (step.view == lumora::image::kCleanDataView) page.thresholdBox()->setText("40");
        for (int shot = 0; shot < 2; ++shot) {
            pump(shot == 0 ? 1500 : 500);
            const QString file = out.filePath(QStringLiteral("image-%1-%2.png")
                                                  .arg(QString::fromLatin1(step.name))
                                                  .arg(shot));
            page.grab().save(file);
            std::printf("%s\n", qPrintable(file));
        }
    }
    page.onHidden();
    page.onDestroyed();
    CloseHIDDevice(state.controller);
    return 0;
}
