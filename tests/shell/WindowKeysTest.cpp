// The keys of the main window's list and of the Connection dialog, pressed as real key events on
// the real windows (offscreen).
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <functional>

#include "common/PollScript.h"
#include "common/ProgramHarness.h"
#include "exchange/DataUnit.h"
#include "exchange/HTTPUnit.h"
#include "shell/ConnectionUnit.h"
#include "shell/MainUnit.h"
#include "shell/MessageListModel.h"
#include "support/SettingsStore.h"
#include "transport/HttpRequest.h"

using namespace testing_support;

namespace {

class WindowKeys : public ::testing::Test {
protected:
    void SetUp() override { ResetUserSettings(); }

    static bool OpenDialog(TProgram& program) {
        program.Connection->Open();
        return WaitUntil([&] { return program.Connection->isActiveWindow(); });
    }
};

}  // namespace

TEST_F(WindowKeys, EnterOnTheListEntryOpensItAsADoubleClickDoes) {
    struct Row {
        const char* Name;
        Qt::Key Key;
        Qt::KeyboardModifiers Modifiers;
        bool Opens;
    };
    const Row Table[] = {
        {"Return", Qt::Key_Return, Qt::NoModifier, true},
        {"Enter on the keypad", Qt::Key_Enter, Qt::KeypadModifier, true},
        {"Space", Qt::Key_Space, Qt::NoModifier, false},
        {"Ctrl+Return", Qt::Key_Return, Qt::ControlModifier, false},
    };
    for (const Row& R : Table) {
        SCOPED_TRACE(R.Name);
        ClearNotifications();
        TPollScript script;
        for (int32_t index : {1, 2})
            script.AddMessage({index, "Header " + std::to_string(index), "Title " + std::to_string(index),
                               "<p>Message " + std::to_string(index) + "</p>"});
        StoreConnection(script.Url());
        TProgram program(true);
        program.HoldTimer();
        TMainForm& form = *program.Main;
        ASSERT_TRUE(FetchAll(program, script));
        ASSERT_EQ(form.ListItems->Count(), 2);
        form.ListView->setFocus();
        form.ListView->setCurrentIndex(form.ListItems->index(0));
        QTest::keyClick(form.ListView, Qt::Key_Down);  // the focus mark moves to the second entry
        ASSERT_EQ(form.ListView->currentIndex().row(), 1);
        QTest::keyClick(form.ListView, R.Key, R.Modifiers);
        QApplication::processEvents();
        QApplication::processEvents();
        if (R.Opens) {
            ASSERT_NE(form.DisplayedNotification(), nullptr);
            EXPECT_EQ(form.PanelLong->Caption(), "Header 1");
            EXPECT_TRUE(form.DisplayedNotification()->Read);
            EXPECT_EQ(form.ListItems->ImageIndex(1), 1);
            EXPECT_EQ(form.ListItems->ImageIndex(0), 0);
        } else {
            EXPECT_EQ(form.DisplayedNotification(), nullptr);
            EXPECT_EQ(form.ListItems->ImageIndex(1), 0);
        }
    }
}

TEST_F(WindowKeys, ReturnPressesOkAndEscapeClosesTheConnectionDialog) {
    enum class Outcome { Ok, Closed, Nothing };
    struct Row {
        const char* Name;
        std::function<QWidget*(TConnectionForm&)> Focus;
        Qt::Key Key;
        Outcome Expected;
    };
    const Row Table[] = {
        {"Return in the user name", [](TConnectionForm& f) -> QWidget* { return f.EditUser; }, Qt::Key_Return,
         Outcome::Ok},
        {"Enter in the Script URL", [](TConnectionForm& f) -> QWidget* { return f.EditURL; }, Qt::Key_Enter,
         Outcome::Ok},
        {"Return in the interval", [](TConnectionForm& f) -> QWidget* { return f.SpinEditDelay; },
         Qt::Key_Return, Outcome::Ok},
        {"Return on Mins", [](TConnectionForm& f) -> QWidget* { return f.RadioMins; }, Qt::Key_Return,
         Outcome::Ok},
        {"Return on Ok", [](TConnectionForm& f) -> QWidget* { return f.ButtonOk; }, Qt::Key_Return,
         Outcome::Ok},
        {"Escape in the password", [](TConnectionForm& f) -> QWidget* { return f.EditPass; }, Qt::Key_Escape,
         Outcome::Closed},
        {"Escape on Ok", [](TConnectionForm& f) -> QWidget* { return f.ButtonOk; }, Qt::Key_Escape,
         Outcome::Closed},
        {"a letter", [](TConnectionForm& f) -> QWidget* { return f.EditPass; }, Qt::Key_A, Outcome::Nothing},
    };
    for (const Row& R : Table) {
        SCOPED_TRACE(R.Name);
        TPollScript script;
        StoreConnection(script.Url());
        TProgram program(false);
        program.HoldTimer();
        TConnectionForm& form = *program.Connection;
        ASSERT_TRUE(OpenDialog(program));
        form.EditUser->setText("bob");  // a change only Ok takes over
        QWidget* target = R.Focus(form);
        target->setFocus();
        ASSERT_TRUE(WaitUntil([&] { return target->hasFocus(); }));
        const size_t before = script.RequestCount();
        QTest::keyClick(target, R.Key);
        QApplication::processEvents();
        if (R.Expected == Outcome::Nothing) {
            EXPECT_TRUE(form.isVisible());
            EXPECT_FALSE(program.Main->isEnabled());
            continue;
        }
        EXPECT_FALSE(form.isVisible());
        EXPECT_TRUE(program.Main->isEnabled());
        EXPECT_FALSE(program.HTTP->Paused);
        EXPECT_EQ(form.User, R.Expected == Outcome::Ok ? "bob" : "ann");
        // Both ways poll at once, as the buttons do.
        EXPECT_TRUE(script.WaitForRequests(before + 1));
    }
}
