// One test program for the draw test pages: the pure logic, the drawing and
// the pages. Text, images and widgets need a QApplication (offscreen under
// ctest).
#include <gtest/gtest.h>

#include "tests/support/test_support.h"

int main(int argc, char** argv) {
    lumora::test_support::app();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
