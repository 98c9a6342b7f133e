// The Connection dialog with the real main window and HTTP window (offscreen).
#include <gtest/gtest.h>

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "common/PollScript.h"
#include "common/ProgramHarness.h"
#include "exchange/HTTPUnit.h"
#include "exchange/IntervalTimer.h"
#include "shell/ConnectionUnit.h"
#include "shell/MainUnit.h"
#include "support/SettingsStore.h"
#include "transport/HttpRequest.h"

using namespace testing_support;

namespace {

struct TStored {
    std::string user, url, pass;
    bool savePass = true;
    int32_t delay = 60;
    bool mins = false;
};

class ConnectionDialog : public ::testing::Test {
protected:
    void SetUp() override { ResetUserSettings(); }

    static void Store(const TStored& s) {
        StoreSettings([&](TSettingsStore& store) {
            store.WriteText("Connection", "User", s.user);
            store.WriteText("Connection", "URL", s.url);
            store.WriteNumber("Connection", "Delay", s.delay);
            store.WriteFlag("Connection", "Mins", s.mins);
            store.WriteText("Connection", "Pass", s.pass);
            store.WriteFlag("Caching", "SavePass", s.savePass);
        });
    }

    // Shows the dialog and waits until it is the active window.
    static bool OpenDialog(TProgram& program) {
        program.Connection->Open();
        return WaitUntil([&] { return program.Connection->isActiveWindow(); });
    }
};

TEST_F(ConnectionDialog, EveryCaptionAndControlGetsTheRoomItsTextNeedsAtTheUsualSizes) {
    TProgram program(false);
    program.HoldTimer();
    TConnectionForm& form = *program.Connection;
    for (int points : {9, 10, 11}) {
        SCOPED_TRACE(::testing::Message() << points << " pt");
        QFont font = form.font();
        font.setPointSize(points);
        form.setFont(font);
        for (QLabel* label : {form.LabelUser, form.LabelPass, form.LabelURL, form.LabelDelay}) {
            SCOPED_TRACE(label->text().toStdString());
            EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()));
            EXPECT_LE(label->geometry().right(), form.EditUser->x());
        }
        for (QWidget* control : std::initializer_list<QWidget*>{form.SpinEditDelay, form.RadioSecs,
                                                                form.RadioMins, form.ButtonOk}) {
            SCOPED_TRACE(control->metaObject()->className());
            EXPECT_GE(control->width(), control->sizeHint().width());
        }
        EXPECT_GE(form.EditUser->height(), form.fontMetrics().height() + 4);
        // Left to right as laid out, with room to the panel's frame.
        EXPECT_LE(form.SpinEditDelay->geometry().right(), form.RadioSecs->x());
        EXPECT_LT(form.RadioSecs->geometry().right(), form.RadioMins->x());
        EXPECT_LE(form.RadioMins->geometry().right() + 8, form.PanelConnect->width());
        EXPECT_LE(form.EditURL->geometry().right() + 8, form.PanelConnect->width());
        for (QFrame* panel : {form.PanelUser, form.PanelConnect})
            EXPECT_TRUE(form.rect().contains(panel->geometry()));
        EXPECT_TRUE(form.rect().contains(form.ButtonOk->geometry()));
        EXPECT_LT(form.PanelUser->geometry().bottom(), form.PanelConnect->y());
        EXPECT_LT(form.PanelConnect->geometry().bottom(), form.ButtonOk->y());
    }
}

TEST_F(ConnectionDialog, ControlsStandWhereTheLayoutPutsThem) {
    TProgram program(false);
    program.HoldTimer();
    TConnectionForm& form = *program.Connection;
    // In a font small enough for every caption, the controls stand where the layout puts them,
    // at least as large as it makes them (a style may want more room for a control's frame).
    QFont small = form.font();
    small.setPixelSize(8);
    form.setFont(small);
    EXPECT_EQ(form.windowTitle(), "Connection");
    EXPECT_GE(form.width(), 240);
    EXPECT_EQ(form.height(), 188);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(form.parentWidget(), nullptr);
    struct Case {
        QWidget* widget;
        QWidget* parent;
        QRect geometry;
    };
    const Case cases[] = {
        {form.PanelUser, &form, {5, 5, 228, 70}},
        {form.EditUser, form.PanelUser, {68, 12, 149, 21}},
        {form.EditPass, form.PanelUser, {68, 38, 149, 21}},
        {form.PanelConnect, &form, {5, 77, 228, 70}},
        {form.EditURL, form.PanelConnect, {68, 12, 149, 21}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.widget->metaObject()->className());
        EXPECT_EQ(c.widget->parentWidget(), c.parent);
        EXPECT_EQ(c.widget->geometry().topLeft(), c.geometry.topLeft());
        EXPECT_GE(c.widget->width(), c.geometry.width());
        EXPECT_EQ(c.widget->height(), c.geometry.height());
    }
    // "Ok" stays centred below the panels.
    EXPECT_EQ(form.ButtonOk->y(), 156);
    EXPECT_NEAR(form.ButtonOk->geometry().center().x(), 88 + 37 + (form.width() - 240) / 2, 1);
    EXPECT_GE(form.ButtonOk->width(), 75);
    EXPECT_EQ(form.SpinEditDelay->parentWidget(), form.PanelConnect);
    EXPECT_EQ(form.SpinEditDelay->geometry().topLeft(), QPoint(68, 38));
    EXPECT_GE(form.SpinEditDelay->width(), 45);
    EXPECT_EQ(form.SpinEditDelay->minimum(), 1);
    EXPECT_EQ(form.SpinEditDelay->maximum(), 60);
    EXPECT_EQ(form.RadioSecs->text(), "Secs");
    EXPECT_EQ(form.RadioMins->text(), "Mins");
    EXPECT_EQ(form.ButtonOk->text(), "Ok");
    EXPECT_EQ(form.EditPass->echoMode(), QLineEdit::Password);
    form.EditPass->setText("s3cret");
    EXPECT_EQ(form.EditPass->displayText(), "******");
    EXPECT_EQ(form.LabelUser->text(), "Username");
    EXPECT_EQ(form.LabelPass->text(), "Password");
    EXPECT_EQ(form.LabelURL->text(), "Script URL");
    EXPECT_EQ(form.LabelDelay->text(), "Interval");

    // The tab order: the expected controls in the order the focus chain meets them.
    const std::vector<QWidget*> expected = {form.EditUser,  form.EditPass,  form.EditURL, form.SpinEditDelay,
                                            form.RadioSecs, form.RadioMins, form.ButtonOk};
    std::vector<QWidget*> met;
    QWidget* w = form.EditUser;
    for (int step = 0; step < 200 && met.size() < expected.size(); ++step, w = w->nextInFocusChain())
        if (std::find(expected.begin(), expected.end(), w) != expected.end() &&
            std::find(met.begin(), met.end(), w) == met.end())
            met.push_back(w);
    EXPECT_EQ(met, expected);
}

TEST_F(ConnectionDialog, CreationReadsTheStoredSettingsAndThePasswordOnlyWhenSaved) {
    struct Case {
        bool savePass;
        std::string pass;
    };
    for (const Case& c : {Case{true, "secret"}, Case{false, ""}}) {
        SCOPED_TRACE(c.savePass);
        ResetUserSettings();
        Store({"ann", "http://127.0.0.1:9/s.php", "secret", c.savePass, 17, true});
        TProgram program(false);
        program.HoldTimer();
        program.HoldTimer();
        EXPECT_EQ(program.Connection->User, "ann");
        EXPECT_EQ(program.Connection->URL, "http://127.0.0.1:9/s.php");
        EXPECT_EQ(program.Connection->Pass, c.pass);
        EXPECT_EQ(program.Connection->Delay, 17);
        EXPECT_TRUE(program.Connection->Mins);
    }
    ResetUserSettings();
    TProgram fresh(false);
    fresh.HoldTimer();
    EXPECT_EQ(fresh.Connection->User, "");
    EXPECT_EQ(fresh.Connection->URL, "");
    EXPECT_EQ(fresh.Connection->Pass, "");
    EXPECT_EQ(fresh.Connection->Delay, 5);
    EXPECT_FALSE(fresh.Connection->Mins);
}

TEST_F(ConnectionDialog, ActivationFillsTheControlsPausesAndDisablesTheMainWindow) {
    TProgram program(false);
    program.HoldTimer();
    TConnectionForm& form = *program.Connection;
    form.User = "J\xC3\xBCrgen";
    form.Pass = "pw";
    form.URL = "http://host/s.php";
    form.Delay = 12;
    form.Mins = true;
    ASSERT_TRUE(OpenDialog(program));
    EXPECT_EQ(form.EditUser->text(), QString::fromUtf8("J\xC3\xBCrgen"));
    EXPECT_EQ(form.EditPass->text(), "pw");
    EXPECT_EQ(form.EditURL->text(), "http://host/s.php");
    EXPECT_EQ(form.SpinEditDelay->value(), 12);
    EXPECT_TRUE(form.RadioMins->isChecked());
    EXPECT_FALSE(form.RadioSecs->isChecked());
    EXPECT_TRUE(program.HTTP->Paused);
    EXPECT_FALSE(program.Main->isEnabled());

    // Typed text that was not confirmed is replaced when the dialog is activated again.
    form.EditUser->setText("typed");
    form.FormActivate();
    EXPECT_EQ(form.EditUser->text(), QString::fromUtf8("J\xC3\xBCrgen"));
}

TEST_F(ConnectionDialog, ActivationMovesTheFocusOnlyWhenAUserNameIsThere) {
    struct Case {
        std::string user, url, pass;
        const char* focus;  // "pass", "url" or "none" (where the window put it)
    };
    const Case cases[] = {
        {"ann", "http://h/s", "", "pass"},   {"ann", "", "", "pass"}, {"ann", "", "pw", "url"},
        {"ann", "http://h/s", "pw", "none"}, {"", "", "", "none"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.user + "|" + c.url + "|" + c.pass);
        TProgram program(false);
        program.HoldTimer();
        program.HoldTimer();
        TConnectionForm& form = *program.Connection;
        form.User = c.user;
        form.URL = c.url;
        form.Pass = c.pass;
        ASSERT_TRUE(OpenDialog(program));
        QWidget* focused = QApplication::focusWidget();
        if (std::string(c.focus) == "pass") {
            EXPECT_EQ(focused, form.EditPass);
        } else if (std::string(c.focus) == "url") {
            EXPECT_EQ(focused, form.EditURL);
        } else {
            EXPECT_NE(focused, form.EditPass);
            EXPECT_NE(focused, form.EditURL);
        }
        form.close();
    }
}

TEST_F(ConnectionDialog, OkKeepsUnchangedSettingsAndResetsTheSessionOnAnyChange) {
    struct Case {
        const char* name;
        std::function<void(TConnectionForm&)> edit;
        bool reset;
        int interval;
    };
    const Case cases[] = {
        {"nothing", [](TConnectionForm&) {}, false, 60000},
        {"user", [](TConnectionForm& f) { f.EditUser->setText("bob"); }, true, 60000},
        {"password", [](TConnectionForm& f) { f.EditPass->setText("new"); }, true, 60000},
        {"case of the URL", [](TConnectionForm& f) { f.EditURL->setText(f.EditURL->text().toUpper()); }, true,
         60000},
        {"interval", [](TConnectionForm& f) { f.SpinEditDelay->setValue(59); }, true, 59000},
        {"minutes only", [](TConnectionForm& f) { f.RadioMins->setChecked(true); }, true, 3600000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TPollScript script;
        Store({"ann", script.Url(), "pw", true, 60, false});
        TProgram program(false);
        program.HoldTimer();
        program.HoldTimer();
        ASSERT_TRUE(OpenDialog(program));
        program.HTTP->Connected = true;
        program.HTTP->ServerDelay = 40;
        c.edit(*program.Connection);
        program.Connection->ButtonOkClick();
        EXPECT_FALSE(program.Connection->isVisible());
        EXPECT_TRUE(program.Main->isEnabled());
        EXPECT_FALSE(program.HTTP->Paused);
        EXPECT_EQ(program.HTTP->ServerDelay, c.reset ? 1 : 40);
        EXPECT_EQ(program.HTTP->Connected, !c.reset);
        // Closing polls at once, with the settings now in force.
        ASSERT_TRUE(script.WaitForRequests(1));
        EXPECT_EQ(TPollScript::FormField(script.Requests().front().Body, "User"), program.Connection->User);
        EXPECT_EQ(program.HTTP->Timer->Interval(), c.interval);
    }
}

TEST_F(ConnectionDialog, OkPutsTheSchemeInFrontOfAURLWithoutOne) {
    struct Case {
        const char* typed;
        const char* stored;
    };
    const Case cases[] = {
        {"example.com/notify.php", "http://example.com/notify.php"},
        {"", "http://"},
        {"https://example.com/s.php", "https://example.com/s.php"},
        {"ftp://example.com/x", "ftp://example.com/x"},
        {"example.com/go?to=http://x", "example.com/go?to=http://x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        TProgram program(false);
        program.HoldTimer();
        program.HoldTimer();
        program.Connection->URL = "http://old/";
        ASSERT_TRUE(OpenDialog(program));
        program.Connection->EditURL->setText(c.typed);
        program.Connection->ButtonOkClick();
        EXPECT_EQ(program.Connection->URL, c.stored);
    }
}

TEST_F(ConnectionDialog, CloseButtonDropsTypedChangesButStillPolls) {
    TPollScript script;
    Store({"ann", script.Url(), "pw", true, 60, false});
    TProgram program(false);
    program.HoldTimer();
    ASSERT_TRUE(OpenDialog(program));
    program.Connection->EditUser->setText("typed");
    program.Connection->SpinEditDelay->setValue(3);
    program.Connection->close();
    EXPECT_EQ(program.Connection->User, "ann");
    EXPECT_EQ(program.Connection->Delay, 60);
    EXPECT_FALSE(program.HTTP->Paused);
    EXPECT_TRUE(program.Main->isEnabled());
    ASSERT_TRUE(script.WaitForRequests(1));
    EXPECT_EQ(TPollScript::FormField(script.Requests().front().Body, "User"), "ann");
}

}  // namespace
