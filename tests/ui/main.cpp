#include <gtest/gtest.h>

#include <QApplication>

// The window tests need a QApplication; they draw nowhere but in memory.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
