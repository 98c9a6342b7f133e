// Test entry point for widget and event-loop tests on Qt's offscreen platform.
#include <gtest/gtest.h>
#include <QApplication>
#include <cstdlib>

#include "TestEnvironment.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testing_support::IsolateUserFolders();
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
