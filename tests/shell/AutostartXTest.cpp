// The real program started by the desktop ("--autostart", the argument of its XDG autostart
// entry) under Xvfb: with a tray (trayer) it shows no window, polls, announces a message on a
// real notification server (dunst) and comes forward with the message when the notification
// is clicked; without a tray, or when the Connection dialog must open, it shows its window.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSystemTrayIcon>
#include <QTemporaryDir>

#include "common/NotificationServer.h"
#include "common/PollScript.h"
#include "common/ProgramHarness.h"
#include "common/ProgramProcess.h"
#include "support/SettingsStore.h"

using namespace testing_support;

namespace {

class StartedByTheDesktop : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QFile::exists(BuiltProgramPath())) << BuiltProgramPath().toStdString() << " is not built";
        ResetUserSettings();
        ASSERT_TRUE(share_.isValid());
        iconFolder_ = InstallProgramIcon(share_.path());
        ASSERT_FALSE(iconFolder_.isEmpty());
    }
    void TearDown() override {
        processes_.reset();
        if (tray_.state() != QProcess::NotRunning) {
            tray_.terminate();
            tray_.waitForFinished(10000);
        }
        WaitUntil([] { return !QSystemTrayIcon::isSystemTrayAvailable(); }, std::chrono::seconds(10));
    }

    void Store(bool savePass) {
        StoreSettings([&](TSettingsStore& store) {
            store.WriteText("Connection", "User", "ann");
            store.WriteText("Connection", "URL", script_.Url());
            store.WriteNumber("Connection", "Delay", 60);
            store.WriteText("Connection", "Pass", savePass ? "pw" : "");
            store.WriteFlag("Caching", "SavePass", savePass);
        });
    }

    void StartTray() {
        tray_.start("trayer", {"--edge",        "top",   "--align",           "right", "--widthtype", "pixel",
                               "--width",       "96",    "--heighttype",      "pixel", "--height",    "28",
                               "--SetDockType", "false", "--SetPartialStrut", "false", "--expand",    "false",
                               "--transparent", "false"});
        ASSERT_TRUE(tray_.waitForStarted(10000)) << "trayer could not be started";
        ASSERT_TRUE(WaitUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }))
            << "no tray host appeared";
    }

    void StartProgram(const QString& busAddress = QString()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!busAddress.isEmpty()) environment.insert("DBUS_SESSION_BUS_ADDRESS", busAddress);
        environment.insert("XDG_DATA_DIRS", share_.path());
        program_ = processes_->Start(BuiltProgramPath(), {"--autostart"}, environment);
    }

    // The titles of the program's visible windows.
    QString Names() {
        QStringList names;
        for (const QString& window : VisibleWindows(program_->processId(), "."))
            names << RunTool("xdotool", {"getwindowname", window});
        return names.join(", ");
    }

    // Neither the main window nor the Connection dialog shows for that long.
    bool StaysHidden(int ms) {
        return !WaitUntil(
            [&] {
                return !VisibleWindows(program_->processId(), MainWindowTitle).isEmpty() ||
                       !VisibleWindows(program_->processId(), "^Connection$").isEmpty();
            },
            std::chrono::milliseconds(ms));
    }

    QTemporaryDir share_;
    QString iconFolder_;
    TPollScript script_;
    QProcess tray_;
    std::unique_ptr<TProgramProcesses> processes_ = std::make_unique<TProgramProcesses>();
    QProcess* program_ = nullptr;
};

TEST_F(StartedByTheDesktop, WithATrayItShowsNoWindowPollsAndComesForwardFromItsNotification) {
    TNotificationServer server(true, iconFolder_);
    ASSERT_TRUE(server.Running());
    Store(true);
    script_.AddMessage({1, "2 items, paid", "Order #1001 from Ann", "<p>Order</p>"});
    StartTray();
    StartProgram(server.Address());
    ASSERT_TRUE(script_.WaitForRequests(1)) << "the program polls from the start";
    EXPECT_TRUE(StaysHidden(3000)) << "a window of the program showed: " << Names().toStdString();
    EXPECT_EQ(program_->state(), QProcess::Running);
    ASSERT_TRUE(server.WaitDisplayed(1)) << "no notification arrived";
    EXPECT_TRUE(VisibleWindows(program_->processId(), MainWindowTitle).isEmpty());

    ASSERT_TRUE(server.InvokeDefault(0));
    EXPECT_TRUE(WaitUntil([&] { return !VisibleWindows(program_->processId(), MainWindowTitle).isEmpty(); }))
        << "the main window did not come forward";

    const auto received = server.Received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].AppName, "Quorvel");
    EXPECT_EQ(received[0].Summary, "Order #1001 from Ann");
    EXPECT_EQ(received[0].Body, "2 items, paid");
    EXPECT_EQ(received[0].IconPath, QDir(iconFolder_).filePath("quorvel.svg"));
    EXPECT_EQ(received[0].DefaultAction, "default");
}

TEST_F(StartedByTheDesktop, ADoubleClickOnTheTrayIconShowsTheWindowForTheFirstTime) {
    Store(true);
    StartTray();
    StartProgram();
    ASSERT_TRUE(script_.WaitForRequests(1));
    ASSERT_TRUE(StaysHidden(1500));
    // The icon's window in the tray: the one visible window of the program's class now.
    QString icon;
    ASSERT_TRUE(WaitUntil([&] {
        icon =
            RunTool("xdotool", {"search", "--onlyvisible", "--classname", "^quorvel$"}).section('\n', 0, 0);
        return !icon.isEmpty();
    })) << "the icon is not in the tray";
    RunTool("xdotool",
            {"mousemove", "--window", icon, "8", "8", "click", "--repeat", "2", "--delay", "80", "1"});
    EXPECT_TRUE(WaitUntil([&] { return !VisibleWindows(program_->processId(), MainWindowTitle).isEmpty(); }))
        << "the main window did not show";
}

TEST_F(StartedByTheDesktop, WithoutATrayItShowsItsWindow) {
    Store(true);
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    StartProgram();
    // After a few seconds' wait for a tray that might still come.
    EXPECT_TRUE(WaitUntil([&] { return !VisibleWindows(program_->processId(), MainWindowTitle).isEmpty(); },
                          std::chrono::seconds(20)));
    EXPECT_TRUE(script_.WaitForRequests(1));
}

TEST_F(StartedByTheDesktop, WhenTheConnectionDialogMustOpenItShowsItsWindowAlsoWithATray) {
    Store(false);
    StartTray();
    StartProgram();
    // As a start by the user: the window's first activation opens the dialog.
    EXPECT_TRUE(WaitUntil([&] { return !VisibleWindows(program_->processId(), MainWindowTitle).isEmpty(); },
                          std::chrono::seconds(10)));
}

TEST_F(StartedByTheDesktop, ASecondStartByTheDesktopEndsWithoutBringingTheFirstForward) {
    Store(true);
    StartTray();
    StartProgram();
    ASSERT_TRUE(script_.WaitForRequests(1));
    QProcess second;
    second.start(BuiltProgramPath(), {"--autostart"});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(StaysHidden(1500));
}

}  // namespace
