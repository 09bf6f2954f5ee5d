#include <gtest/gtest.h>

#include <QApplication>

// The window tests need a QApplication; they draw nowhere but in memory, on one screen
// of 1366 by 768 pixels scaled by 1.25 (offscreen-screen.json): a common laptop's, on which
// the window's stored position would put its bottom off the screen.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" PALMOTA_OFFSCREEN_SCREEN);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
