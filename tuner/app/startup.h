// LumoraTuner from process start to the window, and back to the controller
// at exit. No window is needed here: the outcome says what the window shows.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>

#include "device/type_codes.h"
#include "tuner/app/page_table.h"

namespace lumora {

namespace host { class SingleInstanceLock; }
struct DeviceState;

// "LumoraTuner" + "_Release " + "v2.3.2.6 for "
QString tunerTitleBase();

// The text after the customer label: for code 4 " (Model:%s, X:%d, Y:%d, Ver:%s)",
// for 5, 6 and 8 the same with a blank before ")", for other codes nothing.
// The counts are the controller's signed bytes, so 200 prints as -56.
QString identitySuffix(uint8_t typeCode, const QString& modelName, int8_t xCount, int8_t yCount,
                       const QString& fwVersion);

// The report id the exit sequence restores: on a modern multitouch host 4
// for codes 4 and 5, 6 for codes 6 and 8, and 0 (no switch) for the rest;
// on an older host always the legacy id 1.
int exitReportId(uint8_t typeCode, bool modernHost);

// Searches for the controller once and identifies it into `state`. Returns
// false only when a controller was found but could not be opened.
bool findAndOpenController(DeviceState& state);

struct StartupOutcome {
    bool showSheet = false;  // false: the program ends without a window
    int exitCode = 0;        // when it ends without a window
    QString title;
    int pageSet = kNoPageSet;  // key into pagesFor()
    QString placeholder;       // what the window shows when it has no page
};

// The name of the tuner's single-instance lock.
inline constexpr char kTunerInstanceName[] = "LUMORA_TUNER";

// The start-up of the program: single instance, search, identification,
// title and page set. Holds the single-instance lock for as long as it lives.
// Tests pass a lock name of their own so that they never meet a tuner that
// runs on the same machine.
class TunerStartup {
public:
    TunerStartup(DeviceState& state, QString customerLabel,
                 QString instanceName = QString::fromLatin1(kTunerInstanceName));
    ~TunerStartup();

    StartupOutcome run();

private:
    DeviceState& m_state;
    QString m_customerLabel;
    QString m_instanceName;
    std::unique_ptr<host::SingleInstanceLock> m_lock;
};

// The exit sequence: stream stopped, filter back on, report id restored and
// the controller closed (type code 2 only gets closed); the PWM tester
// handle is closed if one is still open.
void runExitSequence(DeviceState& state, bool modernHost);

}  // namespace lumora
