// Test entry point for tests that read the program as a screen reader does: a private Xvfb and a
// private accessibility bus with at-spi2-core's registry, started before Qt so that the
// application's bridge registers there (and never on the desktop of the person running the tests).
#include <gtest/gtest.h>
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "AccessibilityBus.h"
#include "TestEnvironment.h"
#include "XvfbServer.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    testing_support::IsolateUserFolders();
    testing_support::XvfbServer server;
    if (!server.Running()) {
        fprintf(stderr, "Xvfb could not be started\n");
        return 1;
    }
    testing_support::TAccessibilityBus bus;
    if (!bus.Running()) {
        fprintf(stderr, "the accessibility bus or its registry could not be started\n");
        return 1;
    }
    setenv("DISPLAY", server.Display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("AT_SPI_BUS_ADDRESS", bus.Address().c_str(), 1);
    setenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1", 1);
    int status;
    {
        QApplication app(argc, argv);
        status = RUN_ALL_TESTS();
    }
    return status;
}
