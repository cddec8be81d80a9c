// The one QApplication of the test program (fonts and widgets need it),
// made on first use; the offscreen platform needs no display.
#pragma once

#include "tests/support/test_support.h"

namespace lumora::image::testing_support {

using lumora::test_support::app;

}  // namespace lumora::image::testing_support
