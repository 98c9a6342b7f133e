// F1 on a real X server: the key pressed through the X server's test extension (xdotool) in the
// Connection dialog and in the main window opens the Help window at its topic.
#include <gtest/gtest.h>

#include <QProcess>
#include <QScrollBar>
#include <QStandardPaths>
#include <memory>

#include "common/PollScript.h"
#include "common/ProgramHarness.h"
#include "exchange/HTTPUnit.h"
#include "exchange/IntervalTimer.h"
#include "htmlview/HtmlView.h"
#include "shell/ConnectionUnit.h"
#include "shell/HelpUnit.h"
#include "shell/MainUnit.h"
#include "support/SettingsStore.h"

namespace {

using testing_support::WaitUntil;

// Presses a key on the display as the user would, into the window that has the focus.
bool PressKey(const char* key) {
    QProcess tool;
    tool.start("xdotool", {"key", key});
    if (!tool.waitForStarted(10000)) return false;
    return WaitUntil([&] { return tool.state() == QProcess::NotRunning; }) && tool.exitCode() == 0;
}

TEST(HelpKeyXTest, F1OpensTheHelpAtOptionsFromTheDialogAndAtTheTopFromTheMainWindow) {
    if (QStandardPaths::findExecutable("xdotool").isEmpty()) GTEST_SKIP() << "xdotool is not installed";
    // Closing the dialog polls: a script on loopback answers.
    testing_support::TPollScript script;
    testing_support::ResetUserSettings();
    testing_support::StoreSettings([&](TSettingsStore& store) {
        store.WriteText("Connection", "User", "alice");
        store.WriteText("Connection", "URL", script.Url());
        store.WriteText("Connection", "Pass", "secret");
        store.WriteFlag("Caching", "SavePass", true);
    });
    testing_support::TProgram program(false);
    testing_support::TMessageBoxWatcher boxes;
    program.HTTP->Timer->SetEnabled(false);
    auto help = std::make_unique<THelpForm>();
    THtmlView* view = help->HtmlView;

    // The rows of the two topics as laid out on screen.
    help->Open("#option");
    const int option = view->VerticalPosition();
    ASSERT_GT(option, 0);
    help->close();
    view->SetVerticalPosition(0);

    program.Connection->Open();
    ASSERT_TRUE(WaitUntil([&] { return program.Connection->isActiveWindow(); }));
    ASSERT_TRUE(PressKey("F1"));
    EXPECT_TRUE(WaitUntil([&] { return help->isVisible() && view->VerticalPosition() == option; }));
    EXPECT_TRUE(WaitUntil([&] { return help->ScrollBar->value() == option; }));
    // The help takes the keys from then on: Home scrolls it to the top.
    EXPECT_TRUE(WaitUntil([&] { return help->isActiveWindow() && view->hasFocus(); }));
    ASSERT_TRUE(PressKey("Home"));
    EXPECT_TRUE(WaitUntil([&] { return view->VerticalPosition() == 0 && help->ScrollBar->value() == 0; }));
    program.Connection->close();
    ASSERT_TRUE(WaitUntil([&] { return program.Main->isEnabled(); }));

    view->SetVerticalPosition(option);
    program.Main->show();
    program.Main->activateWindow();
    ASSERT_TRUE(WaitUntil([&] { return program.Main->isActiveWindow(); }));
    ASSERT_TRUE(PressKey("F1"));
    EXPECT_TRUE(WaitUntil([&] { return help->isVisible() && view->VerticalPosition() == 0; }));
    EXPECT_TRUE(WaitUntil([&] { return help->ScrollBar->value() == 0; }));
    EXPECT_EQ(boxes.Count(), 0) << boxes.Texts().join("\n").toStdString();
}

}  // namespace
