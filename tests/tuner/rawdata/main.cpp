// One test program for the raw data viewer: the pure logic, the graphs and
// the page. Text rendering and the page's widgets need a QApplication
// (offscreen under ctest).
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
