// The program on a Wayland compositor (sway, headless) with a StatusNotifierItem tray host that
// starts after it: where a minimise cannot be seen, one click on the icon puts the shown, active
// program into the tray and the next brings it back to the front.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include "common/EventLoopWait.h"
#include "common/NotificationServer.h"
#include "common/ProgramProcess.h"
#include "common/StatusNotifierHost.h"
#include "common/SwayCompositor.h"

using testing_support::BuiltProgramPath;
using testing_support::TNotificationServer;
using testing_support::TProgramProcesses;
using testing_support::TStatusNotifierHost;
using testing_support::TSwayCompositor;
using testing_support::WaitUntil;

TEST(WaylandTray, OneClickOnTheIconTogglesTheProgramBetweenTrayAndFront) {
    TSwayCompositor sway;
    ASSERT_TRUE(sway.Running()) << sway.Log().toStdString();
    TNotificationServer bus(false);
    ASSERT_TRUE(bus.Running());
    QTemporaryDir runtime, config;
    QProcessEnvironment environment = sway.ClientEnvironment(runtime.path());
    environment.insert("XDG_CONFIG_HOME", config.path());
    environment.insert("DBUS_SESSION_BUS_ADDRESS", bus.Address());
    TProgramProcesses processes;
    QProcess* program = processes.Start(BuiltProgramPath(), {}, environment);
    ASSERT_TRUE(WaitUntil([&] { return sway.FocusedPid() == program->processId(); }));
    ASSERT_GT(sway.WindowsOf(program->processId()), 0);

    TStatusNotifierHost host(bus.Address());
    ASSERT_TRUE(host.Running());
    ASSERT_TRUE(host.WaitForItems(1)) << "the icon reaches a host that starts later";

    struct Row {
        const char* Name;
        bool InTrayAfter;
    };
    const Row Table[] = {
        {"a click on the shown, active program puts it into the tray", true},
        {"the next click brings it back to the front", false},
        {"and the one after puts it away again", true},
    };
    for (const Row& R : Table) {
        SCOPED_TRACE(R.Name);
        ASSERT_TRUE(host.Call("Activate"));
        if (R.InTrayAfter) {
            EXPECT_TRUE(WaitUntil([&] { return sway.WindowsOf(program->processId()) == 0; }))
                << sway.WindowsOf(program->processId()) << " windows still on show";
        } else {
            EXPECT_TRUE(WaitUntil([&] {
                return sway.WindowsOf(program->processId()) > 0 && sway.FocusedPid() == program->processId();
            })) << "windows "
                << sway.WindowsOf(program->processId()) << ", focus with " << sway.FocusedPid();
        }
    }
}
