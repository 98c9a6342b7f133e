// The main window with the real Connection dialog and HTTP window (offscreen), fed by a poll
// script on loopback.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextStream>

#include "common/PollScript.h"
#include "common/ProgramHarness.h"
#include "exchange/DataUnit.h"
#include "exchange/HTTPUnit.h"
#include "htmlview/HtmlView.h"
#include "shell/ConnectionUnit.h"
#include "shell/MainUnit.h"
#include "shell/MessageListModel.h"
#include "shell/Skins.h"
#include "support/ImageList.h"
#include "support/SettingsStore.h"
#include "support/TrayIcon.h"
#include "transport/HttpRequest.h"

using namespace testing_support;

namespace {

TScriptMessage Message(int32_t index, const std::string& html = "") {
    return {index, "Header " + std::to_string(index), "Title " + std::to_string(index),
            html.empty() ? "<html><body><p>Message " + std::to_string(index) + "</p></body></html>" : html};
}

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override { ResetUserSettings(); }

    // Double-clicks the entry in that row the way the user does: it gets the focus mark first.
    static void Open(TProgram& program, int row) {
        program.Main->ListView->setCurrentIndex(program.Main->ListItems->index(row));
        program.Main->ListViewDblClick();
    }
};

TEST_F(MainWindow, WindowMenusAndPanelsAreLaidOutAsDesigned) {
    TProgram program(false);
    TMainForm& form = *program.Main;
    EXPECT_EQ(form.windowTitle(), "Quorvel 1.01");
    EXPECT_EQ(form.size(), QSize(565, 287));
    EXPECT_EQ(form.pos(), QPoint(195, 139));
    const int bar = form.MenuBar->height();
    EXPECT_GT(bar, 0);
    EXPECT_EQ(form.PanelShort->geometry(), QRect(5, bar + 5, 153, 287 - bar - 10));
    EXPECT_EQ(form.PanelLong->geometry(), QRect(163, bar + 5, 397, 287 - bar - 10));
    EXPECT_EQ(form.PanelShort->Caption(), " Messages");
    EXPECT_EQ(form.PanelLong->Caption(), "");
    EXPECT_EQ(form.ScrollBar->width(), 17);
    EXPECT_EQ(form.ScrollBar->singleStep(), 5);
    EXPECT_EQ(form.ScrollBar->geometry().right() + 1, form.PanelLong->Client()->width());
    EXPECT_EQ(form.HtmlView->width() + 17, form.PanelLong->Client()->width());
    EXPECT_EQ(form.ListView->size(), form.PanelShort->Client()->size());
    EXPECT_EQ(form.ListView->palette().color(QPalette::Base), QColor(Qt::white));
    EXPECT_EQ(form.HtmlView->HistoryMaxCount(), 0);
    EXPECT_EQ(form.HtmlView->BorderStyle(), TBorderStyle::bsNone);
    EXPECT_EQ(form.HtmlView->ScrollBars(), TScrollStyle::ssNone);

    const QList<QAction*> menus = form.MenuBar->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->text(), "Skins");
    EXPECT_FALSE(menus[0]->isVisible());
    EXPECT_EQ(menus[1]->text(), "Options");
    EXPECT_EQ(menus[2]->text(), "Help");
    EXPECT_EQ(form.MenuSkin1->text(), "Swing Metal");
    EXPECT_EQ(form.MenuSkin1->data().toInt(), 0);
    EXPECT_EQ(form.MenuSkin2->text(), "X Pulse");
    EXPECT_EQ(form.MenuSkin2->data().toInt(), 1);
    EXPECT_EQ(form.MenuConnection->text(), "Connection");
    EXPECT_EQ(form.MenuSavePass->text(), "Save Password");
    EXPECT_TRUE(form.MenuSavePass->isCheckable());
    EXPECT_EQ(form.MenuContents->text(), "Contents");
    EXPECT_EQ(form.MenuAbout->text(), "About");
    // The Help and About windows are not there yet.
    EXPECT_FALSE(form.MenuContents->isEnabled());
    EXPECT_FALSE(form.MenuAbout->isEnabled());
}

TEST_F(MainWindow, FirstActivationOpensTheDialogUnlessThePasswordIsSaved) {
    for (bool savePass : {false, true}) {
        SCOPED_TRACE(savePass);
        ResetUserSettings();
        StoreConnection("http://127.0.0.1:9/s.php", savePass);
        TProgram program(false);
        program.HoldTimer();
        EXPECT_EQ(program.Main->MenuSavePass->isChecked(), savePass);
        program.Main->show();
        program.Main->activateWindow();
        ASSERT_TRUE(WaitUntil([&] { return program.Main->Activated; }));
        if (!savePass) {
            ASSERT_TRUE(WaitUntil([&] { return program.Connection->isVisible(); }));
            program.Connection->close();
            program.HoldTimer();
        }
        EXPECT_EQ(program.Connection->isVisible(), false);
        // A later activation never opens it again.
        program.Main->FormActivate();
        EXPECT_FALSE(program.Connection->isVisible());
        program.Main->MenuConnection->trigger();
        EXPECT_TRUE(program.Connection->isVisible());
        program.Connection->close();
    }
}

TEST_F(MainWindow, ListOrderImagesAndTrayFollowTheReads) {
    TPollScript script;
    for (int32_t index : {9, 10, 3}) script.AddMessage(Message(index));
    StoreConnection(script.Url(), true);
    TProgram program(false);
    TMainForm& form = *program.Main;
    EXPECT_EQ(form.TrayIcon->Icons(), form.ImagesTrayRead);
    // The script hands out messages above the Index the client sends, so 3 never comes.
    ASSERT_TRUE(FetchAll(program, script));
    ASSERT_EQ(form.ListItems->Count(), 2);
    EXPECT_EQ(form.ListItems->Caption(0), "Title 10");
    EXPECT_EQ(form.ListItems->Caption(1), "Title 9");
    EXPECT_EQ(form.ListItems->ImageIndex(0), 0);
    EXPECT_EQ(form.ListItems->ImageIndex(1), 0);
    EXPECT_EQ(form.TrayIcon->Icons(), form.ImagesTrayUnread);

    Open(program, 0);
    EXPECT_EQ(form.ListItems->ImageIndex(0), 1);
    EXPECT_TRUE(form.ListItems->Data(0)->Read);
    EXPECT_EQ(form.PanelLong->Caption(), "Header 10");
    EXPECT_EQ(form.DisplayedNotification(), form.ListItems->Data(0));
    EXPECT_EQ(form.HtmlView->Tag(), reinterpret_cast<intptr_t>(form.ListItems->Data(0)));
    EXPECT_EQ(form.HtmlView->BaseAddress(), script.Url());
    EXPECT_EQ(form.TrayIcon->Icons(), form.ImagesTrayUnread);

    // A replied-to entry keeps its image when opened again.
    form.ListItems->SetImageIndex(1, 2);
    Open(program, 1);
    EXPECT_EQ(form.ListItems->ImageIndex(1), 2);
    EXPECT_EQ(form.PanelLong->Caption(), "Header 9");
    EXPECT_EQ(form.TrayIcon->Icons(), form.ImagesTrayRead);

    // A new message switches the tray back to the blinking list and goes on top.
    script.AddMessage(Message(11));
    ASSERT_TRUE(FetchAll(program, script));
    ASSERT_EQ(form.ListItems->Count(), 3);
    EXPECT_EQ(form.ListItems->Caption(0), "Title 11");
    EXPECT_EQ(form.ListItems->ImageIndex(0), 0);
    EXPECT_EQ(form.TrayIcon->Icons(), form.ImagesTrayUnread);
}

TEST_F(MainWindow, DoubleClickOpensTheEntryWithTheFocusMark) {
    TPollScript script;
    for (int32_t index : {1, 2}) script.AddMessage(Message(index));
    StoreConnection(script.Url(), true);
    TProgram program(false);
    TMainForm& form = *program.Main;
    // Nothing has the focus mark yet: nothing opens.
    form.ListViewDblClick();
    EXPECT_EQ(form.DisplayedNotification(), nullptr);
    ASSERT_TRUE(FetchAll(program, script));
    form.ListView->setCurrentIndex(form.ListItems->index(1));
    form.ListView->clearSelection();
    form.ListViewDblClick();
    EXPECT_EQ(form.PanelLong->Caption(), "Header 1");
    EXPECT_EQ(form.ListItems->ImageIndex(1), 1);
    EXPECT_EQ(form.ListItems->ImageIndex(0), 0);

    // A real left double-click on the top entry moves the focus mark there and opens it.
    form.show();
    QWidget* viewport = form.ListView->viewport();
    const QPoint at = form.ListView->visualRect(form.ListItems->index(0)).center();
    const QPointF global = viewport->mapToGlobal(QPointF(at));
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                              QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, QPointF(at), global, Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
    }
    ASSERT_TRUE(WaitUntil([&] { return form.PanelLong->Caption() == "Header 2"; }));
    EXPECT_EQ(form.ListItems->ImageIndex(0), 1);
}

TEST_F(MainWindow, MessagesAreBuiltBeforeTheyAreOpened) {
    TPollScript script;
    for (int32_t index = 1; index <= 6; ++index) script.AddMessage(Message(index));
    StoreConnection(script.Url(), true);
    TProgram program(false);
    TMainForm& form = *program.Main;
    ASSERT_TRUE(FetchAll(program, script));
    auto prepared = [&](int row) {
        const ByteString& message = form.ListItems->Data(row)->Message;
        return form.HtmlView->IsPrepared(message.data(), static_cast<int64_t>(message.size()));
    };
    // The newest arrivals are built while the program is idle, with the address opening them uses.
    ASSERT_TRUE(WaitUntil([&] { return prepared(0); }));
    // The oldest one was left out; the press that selects it (the first click of a double-click)
    // has it built before the second click.
    EXPECT_FALSE(prepared(5));
    form.show();
    QWidget* viewport = form.ListView->viewport();
    const QPoint at = form.ListView->visualRect(form.ListItems->index(5)).center();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), viewport->mapToGlobal(QPointF(at)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &press);
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    EXPECT_TRUE(prepared(5));
}

TEST_F(MainWindow, SettingsSurviveTwoRunsThePasswordOnlyWhenSaved) {
    {
        TProgram first(false);
        first.HoldTimer();
        first.Connection->User = "ann lee";
        first.Connection->Pass = "s3cret";
        first.Connection->URL = "http://example.com/notify.php";
        first.Connection->Delay = 7;
        first.Connection->Mins = true;
        first.Main->MenuSavePass->trigger();
        EXPECT_TRUE(first.Main->MenuSavePass->isChecked());
        first.Main->FormClose();
    }
    {
        TProgram second(false);
        second.HoldTimer();
        EXPECT_TRUE(second.Main->MenuSavePass->isChecked());
        EXPECT_EQ(second.Connection->User, "ann lee");
        EXPECT_EQ(second.Connection->Pass, "s3cret");
        EXPECT_EQ(second.Connection->URL, "http://example.com/notify.php");
        EXPECT_EQ(second.Connection->Delay, 7);
        EXPECT_TRUE(second.Connection->Mins);
        // Unchecked at exit: the stored password becomes empty, though it is still in memory.
        second.Main->MenuSavePass->trigger();
        EXPECT_FALSE(second.Main->MenuSavePass->isChecked());
        EXPECT_EQ(second.Connection->Pass, "s3cret");
        second.Main->FormClose();
    }
    TSettingsStore store;
    store.SetPath("\\Software\\Quorvel1980Dax");
    store.SetPathType(ptRegistry);
    EXPECT_EQ(store.ReadText("Connection", "Pass", "absent"), "");
    EXPECT_FALSE(store.ReadFlag("Caching", "SavePass", true));
    EXPECT_EQ(store.ReadNumber("Connection", "Delay", 0), 7);
    TProgram third(false);
    third.HoldTimer();
    EXPECT_EQ(third.Connection->Pass, "");
    EXPECT_EQ(third.Connection->User, "ann lee");
}

TEST_F(MainWindow, HiddenSkinsMenuSwitchesTheLookAndKeepsTheListWhite) {
    TProgram program(false);
    program.HoldTimer();
    program.Main->MenuSkin1->trigger();
    EXPECT_EQ(CurrentSkin(), TSkin::SwingMetal);
    EXPECT_EQ(program.Main->ListView->palette().color(QPalette::Base), QColor(Qt::white));
    program.Main->MenuSkin2->trigger();
    EXPECT_EQ(CurrentSkin(), TSkin::XPulse);
    EXPECT_EQ(program.Main->ListView->palette().color(QPalette::Base), QColor(Qt::white));
}

TEST_F(MainWindow, ScrollBarAndViewFollowEachOther) {
    std::string tall = "<html><body>";
    for (int i = 0; i < 200; ++i) tall += "<p>Line " + std::to_string(i) + "</p>";
    tall += "</body></html>";
    TPollScript script;
    script.AddMessage(Message(1, tall));
    StoreConnection(script.Url(), true);
    TProgram program;
    TMainForm& form = *program.Main;
    ASSERT_TRUE(FetchAll(program, script));
    Open(program, 0);
    ASSERT_GT(form.HtmlView->VerticalRange(), 0);
    EXPECT_EQ(form.ScrollBar->maximum(), form.HtmlView->VerticalRange());
    EXPECT_EQ(form.ScrollBar->pageStep(), form.HtmlView->viewport()->height());
    form.ScrollBar->setValue(40);
    EXPECT_EQ(form.HtmlView->VerticalPosition(), 40);
    // Scrolling inside the view reaches the bar with the follow timer's next tick.
    form.HtmlView->SetVerticalPosition(120);
    ASSERT_TRUE(WaitUntil([&] { return form.ScrollBar->value() == 120; }));
}

// A fake browser on PATH that records its arguments.
class MainWindowLinks : public MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        ASSERT_TRUE(bin_.isValid());
        oldPath_ = qgetenv("PATH");
        QFile fake(bin_.filePath("chromium"));
        ASSERT_TRUE(fake.open(QIODevice::WriteOnly));
        QTextStream(&fake) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> \"" << record()
                           << ".tmp\"\nmv \"" << record() << ".tmp\" \"" << record() << "\"\n";
        fake.close();
        fake.setPermissions(QFile::ExeOwner | QFile::ReadOwner | QFile::WriteOwner);
        qputenv("PATH", bin_.path().toLocal8Bit() + ":/usr/bin:/bin");
    }
    void TearDown() override { qputenv("PATH", oldPath_); }
    QString record() const { return bin_.filePath("record.txt"); }
    QStringList Recorded() const {
        QFile file(record());
        if (!file.open(QIODevice::ReadOnly)) return {};
        return QString::fromLocal8Bit(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir bin_;
    QByteArray oldPath_;
};

TEST_F(MainWindowLinks, LinksOpenTheBrowserResolvedAgainstTheScriptURLAnchorsStayInside) {
    struct Case {
        const char* link;
        bool handled;
        const char* opened;
    };
    const Case cases[] = {
        {"#part2", false, nullptr},
        {"order.php?id=7", true, "http://127.0.0.1:8/shop/order.php?id=7"},
        {"/img/a.png", true, "http://127.0.0.1:8/img/a.png"},
        {"https://example.com/x", true, "https://example.com/x"},
        {"mailto:sales@example.com", true, "mailto:sales@example.com"},
    };
    TProgram program(false);
    program.HoldTimer();
    program.Connection->URL = "http://127.0.0.1:8/shop/script.php";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        QFile::remove(record());
        bool handled = false;
        program.Main->HtmlViewLinkClick(program.Main->HtmlView, c.link, handled);
        EXPECT_EQ(handled, c.handled);
        if (!c.opened) continue;
        ASSERT_TRUE(WaitUntil([&] { return QFile::exists(record()); }));
        const QStringList args = Recorded();
        ASSERT_GE(args.size(), 2);
        EXPECT_EQ(args.last(), c.opened);
        EXPECT_EQ(args[args.size() - 2], "--");
    }
}

}  // namespace
