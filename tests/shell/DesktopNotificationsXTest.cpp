// Desktop notifications of arriving messages on a real notification server: Debian's dunst on a
// private D-Bus session bus, shown on the tests' Xvfb. The program's windows run in this process
// and poll a script on loopback.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include "common/NotificationServer.h"
#include "common/PollScript.h"
#include "common/ProgramHarness.h"
#include "exchange/DataUnit.h"
#include "exchange/HTTPUnit.h"
#include "shell/ArrivalNotifier.h"
#include "shell/MainUnit.h"
#include "shell/MessageListModel.h"
#include "shell/SingleInstance.h"
#include "support/SettingsStore.h"
#include "support/TrayIcon.h"
#include "transport/HttpRequest.h"

using namespace testing_support;

namespace {

TScriptMessage Message(int32_t index, const std::string& title, const std::string& header) {
    return {index, header, title, "<html><body><p>Message " + std::to_string(index) + "</p></body></html>"};
}

class DesktopNotificationsOnDunst : public ::testing::Test {
protected:
    void SetUp() override {
        ResetUserSettings();
        // The program's icon installed where the desktop looks (XDG_DATA_DIRS), and dunst told
        // to find icons there.
        ASSERT_TRUE(share_.isValid());
        const QString apps = InstallProgramIcon(share_.path());
        ASSERT_FALSE(apps.isEmpty());
        oldDataDirs_ = qgetenv("XDG_DATA_DIRS");
        qputenv("XDG_DATA_DIRS", share_.path().toLocal8Bit());
        server_ = std::make_unique<TNotificationServer>(true, apps);
        ASSERT_TRUE(server_->Running()) << "dbus-daemon or dunst could not be started";
        StoreSettings([&](TSettingsStore& store) {
            store.WriteText("Connection", "User", "ann");
            store.WriteText("Connection", "URL", script_.Url());
            store.WriteNumber("Connection", "Delay", 60);
            store.WriteText("Connection", "Pass", "pw");
            store.WriteFlag("Caching", "SavePass", true);
        });
    }
    void TearDown() override {
        program_.reset();
        server_.reset();
        qputenv("XDG_DATA_DIRS", oldDataDirs_);
    }

    // The program with its main window shown, notifying on the private bus; no poll yet.
    TMainForm& Start() {
        program_ = std::make_unique<TProgram>(true);
        program_->HoldTimer();
        program_->Main->ArrivalNotifier->Service->SetAddress(server_->Address());
        program_->Main->ArrivalNotifier->QuietMs = 400;
        EXPECT_TRUE(WaitUntil([&] { return program_->Main->isVisible(); }));
        return *program_->Main;
    }

    // Another window takes the focus: the main window is in the background.
    void Background() {
        thief_.setWindowTitle("Another program");
        thief_.setGeometry(700, 500, 200, 100);
        thief_.show();
        ASSERT_TRUE(WaitUntil([&] {
            BringWindowForward(&thief_);
            return thief_.isActiveWindow() && !program_->Main->isActiveWindow();
        }));
    }

    void Foreground() {
        ASSERT_TRUE(WaitUntil([&] {
            BringWindowForward(program_->Main);
            return program_->Main->isActiveWindow();
        }));
    }

    // Polls until the script has handed out everything, then lets a burst end.
    void Fetch(int listed) {
        const size_t empty = script_.EmptyAnswers();
        program_->HTTP->Poll();
        ASSERT_TRUE(WaitUntil([&] {
            return script_.EmptyAnswers() > empty && !program_->HTTP->PollRequest->Busy() &&
                   program_->Main->ListItems->Count() == listed;
        }));
    }

    // Waits long enough for a notification that would come.
    void Settle() {
        WaitUntil([] { return false; }, std::chrono::milliseconds(1500));
    }

    QTemporaryDir share_;
    QByteArray oldDataDirs_;
    TPollScript script_;
    std::unique_ptr<TNotificationServer> server_;
    std::unique_ptr<TProgram> program_;
    QWidget thief_;
};

TEST_F(DesktopNotificationsOnDunst, AMessageInTheBackgroundShowsItsTitleHeaderIconAndDefaultAction) {
    TMainForm& main = Start();
    Background();
    script_.AddMessage(Message(1, "Order #1001 from Ann", "2 items <b>paid</b> & shipped"));
    Fetch(1);
    ASSERT_TRUE(server_->WaitDisplayed(1));
    // The tray icon blinks as before.
    EXPECT_EQ(main.TrayIcon->Icons(), main.ImagesTrayUnread);
    EXPECT_TRUE(main.ArrivalNotifier->Service->Capabilities().contains("body-markup"));

    const auto received = server_->Received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].AppName, "Quorvel");
    EXPECT_EQ(received[0].Summary, "Order #1001 from Ann");
    // The Header as plain text: dunst reads markup, so it gets the text escaped.
    EXPECT_EQ(received[0].Body, "2 items &lt;b&gt;paid&lt;/b&gt; &amp; shipped");
    // The icon name "quorvel" found as the installed icon.
    EXPECT_EQ(received[0].IconPath, share_.filePath("icons/hicolor/scalable/apps/quorvel.svg"));
    EXPECT_EQ(received[0].DefaultAction, "default");
}

TEST_F(DesktopNotificationsOnDunst, ABurstGivesOneNotificationThatCountsAndOpensTheNewest) {
    TMainForm& main = Start();
    Background();
    for (int i = 1; i <= 3; ++i) script_.AddMessage(Message(i, "Title " + std::to_string(i), "Header"));
    Fetch(3);
    ASSERT_TRUE(server_->WaitDisplayed(1));
    Settle();
    EXPECT_EQ(server_->Displayed(), 1);
    EXPECT_EQ(main.ArrivalNotifier->NoticesSent(), 1);

    ASSERT_TRUE(server_->InvokeDefault(0));
    TNotification* newest = main.ListItems->Data(0);
    ASSERT_NE(newest, nullptr);
    EXPECT_EQ(newest->Index, 3);
    ASSERT_TRUE(WaitUntil([&] { return main.DisplayedNotification() == newest; }));
    EXPECT_TRUE(newest->Read);
    EXPECT_FALSE(main.ListItems->Data(1)->Read);
    EXPECT_EQ(main.ListItems->ImageIndex(0), 1);

    const auto received = server_->Received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].Summary, "3 new messages");
    EXPECT_EQ(received[0].Body, "Title 3\nTitle 2\nTitle 1");
    EXPECT_EQ(received[0].AppName, "Quorvel");
    EXPECT_EQ(received[0].DefaultAction, "default");
}

TEST_F(DesktopNotificationsOnDunst, TheDefaultActionBringsTheHiddenWindowForwardWithTheMessageOpenedAndRead) {
    TMainForm& main = Start();
    Background();
    main.hide();  // as in the tray
    script_.AddMessage(Message(5, "Order #1005", "Header 5"));
    Fetch(1);
    ASSERT_TRUE(server_->WaitDisplayed(1));
    TNotification* n = main.ListItems->Data(0);
    EXPECT_FALSE(n->Read);

    ASSERT_TRUE(server_->InvokeDefault(0));
    ASSERT_TRUE(WaitUntil([&] { return main.DisplayedNotification() == n && main.isVisible(); }));
    EXPECT_TRUE(n->Read);
    EXPECT_EQ(main.ListItems->ImageIndex(0), 1);
    EXPECT_EQ(main.PanelLong->Caption(), "Header 5");
    EXPECT_TRUE(WaitUntil([&] { return main.isActiveWindow(); }));
    // Nothing unread: the tray icon stops blinking.
    EXPECT_EQ(main.TrayIcon->Icons(), main.ImagesTrayRead);
    EXPECT_TRUE(server_->WaitDisplayed(0));
}

TEST_F(DesktopNotificationsOnDunst, NothingIsShownWhileTheMainWindowIsActive) {
    TMainForm& main = Start();
    Foreground();
    for (int i = 1; i <= 2; ++i) script_.AddMessage(Message(i, "Title " + std::to_string(i), "Header"));
    Fetch(2);
    Settle();
    EXPECT_EQ(server_->Displayed(), 0);
    EXPECT_EQ(main.ArrivalNotifier->NoticesSent(), 0);
    EXPECT_TRUE(server_->Received().empty());
    EXPECT_EQ(main.TrayIcon->Icons(), main.ImagesTrayUnread);
}

TEST_F(DesktopNotificationsOnDunst, NothingIsShownWithTheMenuItemOff) {
    TMainForm& main = Start();
    main.MenuDesktopNotify->trigger();
    ASSERT_FALSE(main.MenuDesktopNotify->isChecked());
    Background();
    script_.AddMessage(Message(1, "Title 1", "Header"));
    Fetch(1);
    Settle();
    EXPECT_EQ(server_->Displayed(), 0);
    EXPECT_TRUE(server_->Received().empty());

    // On again: the next message is announced.
    main.MenuDesktopNotify->trigger();
    script_.AddMessage(Message(2, "Title 2", "Header"));
    Fetch(2);
    ASSERT_TRUE(server_->WaitDisplayed(1));
    const auto received = server_->Received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].Summary, "Title 2");
}

TEST_F(DesktopNotificationsOnDunst, ALaterMessageReplacesTheNotificationOnShowAndCountsAlong) {
    TMainForm& main = Start();
    Background();
    script_.AddMessage(Message(1, "Title 1", "Header 1"));
    Fetch(1);
    ASSERT_TRUE(server_->WaitDisplayed(1));
    ASSERT_TRUE(WaitUntil([&] { return main.ArrivalNotifier->NotificationOnShow() != 0; }));
    script_.AddMessage(Message(2, "Title 2", "Header 2"));
    Fetch(2);
    ASSERT_TRUE(WaitUntil([&] { return main.ArrivalNotifier->NoticesSent() == 2; }));
    Settle();
    EXPECT_EQ(server_->Displayed(), 1);
    const auto received = server_->Received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].Summary, "2 new messages");
    EXPECT_EQ(received[0].Body, "Title 2\nTitle 1");
}

TEST_F(DesktopNotificationsOnDunst, ComingToTheMainWindowWithdrawsTheNotification) {
    TMainForm& main = Start();
    Background();
    script_.AddMessage(Message(1, "Title 1", "Header 1"));
    Fetch(1);
    ASSERT_TRUE(server_->WaitDisplayed(1));
    ASSERT_TRUE(WaitUntil([&] { return main.ArrivalNotifier->NotificationOnShow() != 0; }));
    Foreground();
    EXPECT_TRUE(server_->WaitDisplayed(0));
    // The message itself stays unread until opened.
    EXPECT_FALSE(main.ListItems->Data(0)->Read);
}

TEST_F(DesktopNotificationsOnDunst, WithoutANotificationServerNothingFailsAndTheTrayIconStillBlinks) {
    server_ = std::make_unique<TNotificationServer>(false);  // a bus with nobody on it
    ASSERT_TRUE(server_->Running());
    TMainForm& main = Start();
    Background();
    script_.AddMessage(Message(1, "Title 1", "Header 1"));
    Fetch(1);
    Settle();
    EXPECT_EQ(main.ArrivalNotifier->NotificationOnShow(), 0u);
    EXPECT_EQ(main.TrayIcon->Icons(), main.ImagesTrayUnread);
    EXPECT_EQ(main.ListItems->Count(), 1);
}

}  // namespace
