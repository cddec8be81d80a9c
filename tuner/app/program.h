// LumoraTuner from start to end: the single-instance check, the one search
// for the controller, the sheet of its pages and the exit sequence.
#pragma once

#include <QString>

#include "tuner/app/startup.h"

namespace lumora {

// Runs the program under the QApplication the caller made and returns its
// exit code. The tuner looks for its controller once: it installs no
// hot-plug listener, which would also start the real-HID backend's
// once-a-second enumeration for the life of the program. Tests pass a lock
// name of their own.
int runTunerProgram(const QString& customerLabel,
                    const QString& instanceName = QString::fromLatin1(kTunerInstanceName));

}  // namespace lumora
