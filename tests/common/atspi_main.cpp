// Test entry point for tests that read the program as a screen reader does: a private Xvfb and a
// private session with at-spi2-core's accessibility bus and registry, started before Qt so that
// the application's bridge registers there (never on the desktop of the person running the tests).
#include <gtest/gtest.h>
#include <QAccessible>
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "AccessibilityBus.h"
#include "EventLoopWait.h"
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
    // Qt's bridge asks the session bus for the accessibility bus; the tests read it there.
    setenv("DBUS_SESSION_BUS_ADDRESS", bus.SessionAddress().c_str(), 1);
    setenv("QUORVEL_TEST_ACCESSIBILITY_BUS", bus.Address().c_str(), 1);
    setenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1", 1);
    int status;
    {
        QApplication app(argc, argv);
        // The first question brings the bridge up; it registers with the registry on its own.
        if (!testing_support::WaitUntil([] { return QAccessible::isActive(); }, std::chrono::seconds(15))) {
            fprintf(stderr, "Qt's accessibility bridge did not come up on the private bus\n");
            return 1;
        }
        status = RUN_ALL_TESTS();
    }
    return status;
}
