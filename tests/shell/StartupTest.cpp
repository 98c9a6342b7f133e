// Start-up pieces on the offscreen platform: the title rule, the first-instance guard, the
// general error handler, bringing a window forward, and the two skins.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QListView>
#include <QMenuBar>
#include <QPalette>
#include <QStyle>
#include <QWidget>
#include <atomic>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "common/ProgramHarness.h"
#include "shell/Application.h"
#include "shell/ConnectionUnit.h"
#include "shell/MainUnit.h"
#include "shell/SingleInstance.h"
#include "shell/Skins.h"
#include "support/SettingsStore.h"
#include "support/TrayIcon.h"

namespace {

using testing_support::WaitUntil;

TEST(StartupTitleTest, TitleComesFromTheExecutablesFileName) {
    const struct {
        const char* path;
        const char* title;
    } cases[] = {
        {"/usr/bin/quorvel", "quorvel"},
        {"/opt/Quorvel/QUORVEL", "Quorvel"},
        {"/home/a/Quorvel.bin", "Quorvel"},
        {"/x/quorvel.tar.gz", "quorvel"},
        {"/x/qUORVEL-Beta.2", "quorvel-beta"},
        {"/x/.hidden", ""},
        {"relative/ÄBCD", "Äbcd"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ApplicationTitle(QString::fromUtf8(c.path)), QString::fromUtf8(c.title)) << c.path;
    }
    EXPECT_EQ(InstanceName("Quorvel"), "PREVINST:Quorvel");
    EXPECT_EQ(ApplicationTitle("/x/" + QString(600, 'a')).size(), 511);
}

TEST(StartupTitleTest, ExecutablePathIsThisProgramsFile) {
    const QString path = ExecutablePath("ignored");
    EXPECT_EQ(path, QCoreApplication::applicationFilePath());
}

TEST(StartupGuardTest, CopiesWithTheSameTitleShareOneInstance) {
    const QString stem = QString("guardtest%1").arg(getpid());
    const struct {
        QString first, second;
        bool bothRun;
    } cases[] = {
        {"/a/Q" + stem, "/b/Q" + stem, false},                     // same file name, other folder
        {"/a/Q" + stem, "/a/Q" + stem.toUpper() + ".exe", false},  // other letters' case, a suffix
        {"/a/Q" + stem, "/a/q" + stem, true},                      // first letter's case differs
        {"/a/Q" + stem, "/a/Q" + stem + "x", true},                // another name
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.first + " / " + c.second).toStdString());
        TSingleInstanceGuard first(ApplicationTitle(c.first));
        TSingleInstanceGuard second(ApplicationTitle(c.second));
        EXPECT_TRUE(first.FirstInstanceGuard());
        EXPECT_EQ(second.FirstInstanceGuard(), c.bothRun);
        EXPECT_EQ(second.IsFirst(), c.bothRun);
    }
}

TEST(StartupGuardTest, ASecondGuardBringsTheFirstsWindowForward) {
    const QString title = QString("Forwardtest%1").arg(getpid());
    TSingleInstanceGuard first(title);
    ASSERT_TRUE(first.FirstInstanceGuard());
    int broughtForward = 0;
    first.ServeForwardRequests([&] { ++broughtForward; });

    std::atomic<bool> done{false};
    std::thread second([&] {
        TSingleInstanceGuard guard(title);
        if (!guard.FirstInstanceGuard()) {
            guard.BringPreviousInstanceForward();
            guard.BringPreviousInstanceForward();
        }
        done = true;
    });
    EXPECT_TRUE(WaitUntil([&] { return done && broughtForward == 2; }));
    second.join();
    EXPECT_EQ(broughtForward, 2);
}

// An object whose event handler fails the way a settings store or tray icon can.
class TFailingObject : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) throw ERegistryException("Failed to set data for 'User'");
        if (e->type() == QEvent::User + 1) throw ETrayIconError("Cannot create Shell Notification Icon");
        if (e->type() == QEvent::User + 2) throw 42;
        return QObject::event(e);
    }
};

TEST(StartupErrorHandlerTest, AnEscapingErrorIsShownAndTheProgramGoesOn) {
    QStringList shown;
    TApplication::SetErrorPresenter([&](const QString& text) { shown << text; });
    TFailingObject object;
    const QEvent::Type types[] = {QEvent::User, QEvent::Type(QEvent::User + 1),
                                  QEvent::Type(QEvent::User + 2)};
    for (QEvent::Type type : types) {
        QEvent event(type);
        EXPECT_FALSE(TApplication::Guarded([&] { return QCoreApplication::sendEvent(&object, &event); }));
    }
    QEvent harmless(QEvent::Type(QEvent::User + 3));
    EXPECT_TRUE(TApplication::Guarded([&] { return QCoreApplication::sendEvent(&object, &harmless); }));
    EXPECT_TRUE(TApplication::Guarded([] { return true; }));
    TApplication::SetErrorPresenter({});
    EXPECT_EQ(shown, QStringList({"Failed to set data for 'User'", "Cannot create Shell Notification Icon",
                                  "An unexpected error occurred."}));
}

TEST(StartupForwardTest, HiddenOrMinimisedWindowsComeBackAndADialogTakesTheFront) {
    QWidget window;
    window.resize(200, 100);

    window.hide();  // in the tray
    BringWindowForward(&window);
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());

    window.showMinimized();
    ASSERT_TRUE(WaitUntil([&] { return window.isMinimized(); }));
    BringWindowForward(&window);
    EXPECT_TRUE(WaitUntil([&] { return !window.isMinimized() && window.isVisible(); }));

    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(WaitUntil([&] { return QApplication::activeWindow() == &other; }));
    BringWindowForward(&window);
    EXPECT_TRUE(WaitUntil([&] { return QApplication::activeWindow() == &window; }));

    // While a dialog is open the window is disabled; the dialog is what the user needs.
    QWidget dialog(nullptr, Qt::Dialog);
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    dialog.show();
    window.setEnabled(false);
    other.activateWindow();
    ASSERT_TRUE(WaitUntil([&] { return QApplication::activeWindow() == &other; }));
    BringWindowForward(&window);
    EXPECT_TRUE(WaitUntil([&] { return QApplication::activeWindow() == &dialog; }));
    window.setEnabled(true);
}

TEST(StartupForwardTest, TheProgramComesBackFromTheTray) {
    testing_support::ResetUserSettings();
    testing_support::StoreSettings(
        [](TSettingsStore& store) { store.WriteFlag("Caching", "SavePass", true); });
    testing_support::TMessageBoxWatcher boxes;
    testing_support::TProgram program;
    program.HoldTimer();
    ASSERT_TRUE(WaitUntil([&] { return program.Main->isVisible(); }));

    program.Main->TrayIcon->MinimizeToTray();
    ASSERT_TRUE(program.Main->TrayIcon->Area().ApplicationMinimized());
    BringMainFormForward();
    EXPECT_FALSE(program.Main->TrayIcon->Area().ApplicationMinimized());
    EXPECT_TRUE(WaitUntil([&] { return program.Main->isVisible() && !program.Main->isMinimized(); }));
}

TEST(StartupForwardTest, WithTheConnectionDialogOpenTheDialogTakesTheFront) {
    testing_support::ResetUserSettings();
    testing_support::StoreSettings(
        [](TSettingsStore& store) { store.WriteFlag("Caching", "SavePass", true); });
    testing_support::TMessageBoxWatcher boxes;
    testing_support::TProgram program;
    program.HoldTimer();
    ASSERT_TRUE(WaitUntil([&] { return program.Main->isVisible(); }));
    program.Connection->show();
    ASSERT_TRUE(WaitUntil([&] { return !program.Main->isEnabled(); }));
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(WaitUntil([&] { return QApplication::activeWindow() == &other; }));
    BringMainFormForward();
    EXPECT_TRUE(
        WaitUntil([&] { return QApplication::activeWindow() == static_cast<QWidget*>(program.Connection); }));
    program.Connection->close();
}

TEST(StartupQuitRuleTest, OnlyTheMainWindowsClosingEndsTheProgram) {
    TMainFormQuitRule rule;
    QWidget main;
    rule.SetMainForm(&main);
    qApp->installEventFilter(&rule);
    main.show();
    main.hide();  // in the tray
    QDialog box;  // a message box of its own, as the failure reports show them
    QWidget dialog(nullptr, Qt::Dialog);
    for (QWidget* window : {static_cast<QWidget*>(&box), &dialog}) {
        window->show();
        EXPECT_FALSE(window->testAttribute(Qt::WA_QuitOnClose));
        window->close();
    }
    main.show();
    EXPECT_TRUE(main.testAttribute(Qt::WA_QuitOnClose));
    qApp->removeEventFilter(&rule);
}

TEST(StartupSkinTest, TwoLooksOnFusionAndTheMessageListStaysWhite) {
    QListView list;
    KeepWhite(&list);
    const struct {
        int index;
        const char* name;
        bool dark;
    } skins[] = {{0, "Swing Metal", false}, {1, "X Pulse", true}, {0, "Swing Metal", false}};
    for (const auto& skin : skins) {
        SCOPED_TRACE(skin.name);
        ASSERT_TRUE(ApplySkin(skin.index));
        EXPECT_EQ(CurrentSkinName(), skin.name);
        EXPECT_EQ(static_cast<int>(CurrentSkin()), skin.index);
        EXPECT_EQ(QApplication::style()->name().toLower(), "fusion");
        const QColor window = QApplication::palette().color(QPalette::Window);
        EXPECT_EQ(window.lightness() < 100, skin.dark);
        if (!skin.dark) {
            EXPECT_GE(window.blue(), window.red()) << "metal greys are cool";
            EXPECT_LT(window.hslSaturation(), 80) << "and greys";
        }
        // Every text must stand out from what it is drawn on; the message view draws the button
        // text colour over the highlighted-text colour.
        const QPalette palette = QApplication::palette();
        const struct {
            QPalette::ColorRole text, ground;
        } pairs[] = {{QPalette::WindowText, QPalette::Window},
                     {QPalette::ButtonText, QPalette::Button},
                     {QPalette::Text, QPalette::Base},
                     {QPalette::Text, QPalette::HighlightedText},
                     {QPalette::ButtonText, QPalette::HighlightedText},
                     {QPalette::HighlightedText, QPalette::Highlight},
                     {QPalette::ToolTipText, QPalette::ToolTipBase}};
        for (const auto& pair : pairs) {
            EXPECT_GT(std::abs(palette.color(pair.text).lightness() - palette.color(pair.ground).lightness()),
                      90)
                << pair.text << " on " << pair.ground;
        }
        QMenuBar menuBar;
        menuBar.ensurePolished();
        EXPECT_GT(std::abs(menuBar.palette().color(QPalette::ButtonText).lightness() -
                           menuBar.palette().color(QPalette::Window).lightness()),
                  90)
            << "menu bar items";
        EXPECT_EQ(list.palette().color(QPalette::Base), QColor(Qt::white));
        EXPECT_EQ(list.viewport()->palette().color(QPalette::Base), QColor(Qt::white));
        EXPECT_EQ(list.palette().color(QPalette::Text), QColor(Qt::black));
    }
    EXPECT_FALSE(ApplySkin(2));
    EXPECT_FALSE(ApplySkin(-1));
    EXPECT_EQ(CurrentSkinName(), "Swing Metal");
    ApplySkin(DefaultSkin);
    EXPECT_EQ(CurrentSkinName(), "X Pulse");
    EXPECT_EQ(SkinName(TSkin::SwingMetal), "Swing Metal");
}

}  // namespace
