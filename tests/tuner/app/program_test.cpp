// The tuner from start to end as main() runs it, against virtual devices;
// the screenshot run closes the sheet by itself.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>

#include <cstdlib>

#include "device/vexlink.h"
#include "host/testing/doubles.h"
#include "tests/support/test_support.h"
#include "tuner/app/program.h"
#include "vexlink/virtual/control.h"

namespace lumora {
namespace {

struct Heard {
    int arrivals = 0;
};

void heardArrival(void* context, int event, const char*) {
    if (event == VEX_DEVICE_ARRIVED) ++static_cast<Heard*>(context)->arrivals;
}

// The tuner has no hot-plug. It must install no listener of its own: with
// one, the real-HID backend enumerates the bus every second for the life of
// the program. A listener that was there before it ran still hears a unit
// plugged while its window is open.
TEST(TunerProgram, InstallsNoHotplugListener) {
    test_support::app();
    host::testing::RecordingMessages messages;
    QTemporaryDir shots;
    ASSERT_TRUE(shots.isValid());
    setenv("LUMORA_SCREENSHOT_DIR", qPrintable(shots.path()), 1);
    setenv("LUMORA_SCREENSHOT_DELAY_MS", "50", 1);
    ASSERT_EQ(vexlink::control::configure(""), "");

    Heard heard;
    VexSetHotplugListener(&heardArrival, &heard);
    int plugged = 0;
    QTimer::singleShot(0, [&] { plugged = vexlink::control::plug("pwm-tester"); });
    const int code =
        runTunerProgram(QStringLiteral("ACME"), QStringLiteral("LUMORA_TUNER_PROGRAM_TEST_%1").arg(getpid()));

    test_support::waitUntil([&] { return heard.arrivals != 0; }, 5000);
    EXPECT_EQ(code, 0);
    EXPECT_GT(plugged, 0) << "plugged while the window was open";
    EXPECT_EQ(heard.arrivals, 1);
    ASSERT_FALSE(messages.shown().empty());
    EXPECT_EQ(messages.shown()[0].text, "ZEMA Device not Found!");
    EXPECT_TRUE(QDir(shots.path()).exists("LumoraTuner-0-window.png")) << "the sheet was shown";

    VexSetHotplugListener(nullptr, nullptr);
    VexSetDispatcher(nullptr, nullptr);
    vexlink::control::configure("");
    unsetenv("LUMORA_SCREENSHOT_DIR");
    unsetenv("LUMORA_SCREENSHOT_DELAY_MS");
}

}  // namespace
}  // namespace lumora
