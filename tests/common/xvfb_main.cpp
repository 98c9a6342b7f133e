// Test entry point for tests that need a real X server: starts a private Xvfb first.
#include <gtest/gtest.h>
#include <QApplication>
#include <cstdlib>
#include <cstring>
#include <memory>

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
    setenv("DISPLAY", server.Display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    int status;
    {
        QApplication app(argc, argv);
        status = RUN_ALL_TESTS();
    }
    return status;
}
