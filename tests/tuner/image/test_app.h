// The one QApplication of the test program (fonts and widgets need it),
// made on first use; the offscreen platform needs no display.
#pragma once

#include <QApplication>

namespace lumora::image::testing_support {

inline QApplication& app() {
    static int argc = 1;
    static char name[] = "tuner_image_tests";
    static char* argv[] = {name, nullptr};
    static auto* instance = new QApplication(argc, argv);
    return *instance;
}

}  // namespace lumora::image::testing_support
