// LumoraTuner: finds the controller once, shows the sheet of its pages and,
// when the sheet closes, hands the controller back in the state it came in.
#include <QApplication>

#include "tuner/app/program.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    return lumora::runTunerProgram(QStringLiteral(LUMORA_CUSTOMER_LABEL));
}
