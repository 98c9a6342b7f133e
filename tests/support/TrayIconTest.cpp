#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "common/FakeNotificationArea.h"
#include "support/ImageList.h"
#include "support/TrayIcon.h"

using testing_support::FakeNotificationArea;
using testing_support::IconImage;

namespace {

bool WaitFor(const std::function<bool()>& Condition, int TimeoutMs = 10000) {
    QElapsedTimer Clock;
    Clock.start();
    while (!Condition()) {
        if (Clock.elapsed() > TimeoutMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// The tray icon as the main window sets it up: animated, the read list first.
struct TrayFixture {
    FakeNotificationArea* Area = new FakeNotificationArea;
    TImageList Read, Unread;
    std::unique_ptr<TTrayIcon> Tray;

    explicit TrayFixture(bool HostRunning = true) {
        Area->HostRunning = HostRunning;
        LoadImagesTrayRead(Read);
        LoadImagesTrayUnread(Unread);
        Tray = std::make_unique<TTrayIcon>(nullptr, std::unique_ptr<TNotificationArea>(Area));
        Tray->SetIcons(&Read);
        Tray->Loaded();
    }
};

}  // namespace

TEST(SupportImages, PicturesLoadFromTheResources) {
    TImageList Read, Unread, List;
    LoadImagesTrayRead(Read);
    LoadImagesTrayUnread(Unread);
    LoadImagesList(List);
    ASSERT_EQ(Read.Count(), 1);
    ASSERT_EQ(Unread.Count(), 2);
    ASSERT_EQ(List.Count(), 3);

    auto Opaque = [](const QImage& Image) {
        int N = 0;
        for (int y = 0; y < Image.height(); ++y)
            for (int x = 0; x < Image.width(); ++x) N += qAlpha(Image.pixel(x, y)) == 255;
        return N;
    };
    auto Yellowish = [](const QImage& Image) {
        int N = 0;
        for (int y = 0; y < Image.height(); ++y)
            for (int x = 0; x < Image.width(); ++x) {
                const QColor C = Image.pixelColor(x, y);
                N += C.alpha() == 255 && C.red() > 200 && C.green() > 170 && C.blue() < 80;
            }
        return N;
    };
    for (const TImageList* L : {&Read, &Unread, &List})
        for (int i = 0; i < L->Count(); ++i) EXPECT_EQ(L->Image(i).size(), QSize(16, 16));
    EXPECT_GT(Opaque(Read.Image(0)), 60);
    EXPECT_EQ(Yellowish(Read.Image(0)), 0) << "the read envelope is grey";
    EXPECT_GT(Yellowish(Unread.Image(0)), 40);
    EXPECT_EQ(Opaque(Unread.Image(1)), 0);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) ASSERT_EQ(qAlpha(Unread.Image(1).pixel(x, y)), 0);
    EXPECT_GT(Yellowish(List.Image(0)), 40);
    EXPECT_EQ(Yellowish(List.Image(1)), 0);
    EXPECT_NE(List.Image(1), List.Image(2));
    // Transparent corners keep the pictures from looking like tiles in a list.
    for (int i = 0; i < List.Count(); ++i) EXPECT_EQ(qAlpha(List.Image(i).pixel(0, 0)), 0) << i;

    const QIcon Program = ApplicationIcon();
    ASSERT_FALSE(Program.isNull());
    EXPECT_EQ(Program.pixmap(32, 32).size(), QSize(32, 32));
    EXPECT_GT(Yellowish(Program.pixmap(32, 32).toImage()), 200);
    EXPECT_EQ(Read.Image(5), Unread.Image(1)) << "an index out of range gives a blank image";
}

TEST(SupportTrayIcon, DefaultsAndFirstImage) {
    TrayFixture F;
    EXPECT_FALSE(F.Tray->Animate());
    EXPECT_EQ(F.Tray->Interval(), 1000);
    EXPECT_EQ(F.Tray->IconIndex(), 0);
    EXPECT_TRUE(F.Tray->Enabled());
    EXPECT_TRUE(F.Tray->HideOnMinimize);
    EXPECT_TRUE(F.Tray->Hint().isEmpty());
    EXPECT_EQ(F.Tray->RestoreOn, ticLeftDblClick);
    EXPECT_EQ(F.Tray->PopupMenuOn, ticRightClickUp);
    EXPECT_EQ(F.Area->Adds, 1);
    EXPECT_EQ(F.Area->Shown(), F.Read.Image(0));
    EXPECT_TRUE(F.Area->ShownHint.isEmpty());
}

TEST(SupportTrayIcon, WithoutIconsTheProgramPictureIsShown) {
    auto* Area = new FakeNotificationArea;
    TTrayIcon Tray(nullptr, std::unique_ptr<TNotificationArea>(Area));
    Tray.Loaded();
    ASSERT_EQ(Area->Adds, 1);
    EXPECT_EQ(Area->Shown(), IconImage(ApplicationIcon()));
    Tray.AdvanceFrame();
    EXPECT_EQ(Area->Modifies, 0) << "no list, nothing to animate";
}

// The animation sequences: which image each tick shows after the lists are switched.
TEST(SupportTrayIcon, AnimationSequences) {
    struct Step {
        const char* Switch;  // "read", "unread" or "" (keep)
        int Index;           // expected IconIndex after the tick
        const char* List;    // list whose image the tick shows
    };
    struct Case {
        const char* Name;
        std::vector<Step> Steps;
    };
    const std::vector<Case> Cases = {
        {"one image stands still", {{"", 0, "read"}, {"", 0, "read"}, {"", 0, "read"}}},
        {"read to unread: image 1, then 0",
         {{"", 0, "read"}, {"unread", 1, "unread"}, {"", 0, "unread"}, {"", 1, "unread"}}},
        {"unread on its second image back to read: image 0",
         {{"unread", 1, "unread"}, {"read", 0, "read"}, {"", 0, "read"}}},
        {"unread on its first image back to read: image 0",
         {{"unread", 1, "unread"}, {"", 0, "unread"}, {"read", 0, "read"}}},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.Name);
        TrayFixture F;
        int Step = 0;
        for (const auto& S : C.Steps) {
            SCOPED_TRACE("tick " + std::to_string(++Step));
            TImageList* Target = std::string(S.Switch) == "read"     ? &F.Read
                                 : std::string(S.Switch) == "unread" ? &F.Unread
                                                                     : nullptr;
            if (Target) {
                const size_t Before = F.Area->Sent.size();
                const QImage Current = IconImage(F.Tray->CurrentIcon());
                F.Tray->SetIcons(Target);
                EXPECT_EQ(F.Area->Sent.size(), Before) << "switching the list sends nothing";
                EXPECT_EQ(IconImage(F.Tray->CurrentIcon()), Current);
            }
            const int Modifies = F.Area->Modifies;
            F.Tray->AdvanceFrame();
            EXPECT_EQ(F.Area->Modifies, Modifies + 1) << "every tick re-sends the icon";
            EXPECT_EQ(F.Tray->IconIndex(), S.Index);
            const TImageList& Expected = std::string(S.List) == "read" ? F.Read : F.Unread;
            EXPECT_EQ(F.Area->Shown(), Expected.Image(S.Index));
        }
    }
}

TEST(SupportTrayIcon, AnimateRunsTheTimer) {
    TrayFixture F;
    F.Tray->SetIcons(&F.Unread);
    F.Tray->SetInterval(10);
    F.Tray->SetAnimate(true);
    ASSERT_TRUE(WaitFor([&] { return F.Area->Modifies >= 4; }));
    F.Tray->SetAnimate(false);
    // After the added first image the frames alternate between the two images of the unread list.
    const auto& Sent = F.Area->Sent;
    EXPECT_TRUE(Sent[0] == F.Read.Image(0));
    for (size_t i = 1; i < Sent.size(); ++i) EXPECT_TRUE(Sent[i] == F.Unread.Image(i % 2)) << i;
    const int Modifies = F.Area->Modifies;
    QTimer Later;
    bool Passed = false;
    Later.singleShot(60, [&] { Passed = true; });
    ASSERT_TRUE(WaitFor([&] { return Passed; }));
    EXPECT_EQ(F.Area->Modifies, Modifies) << "a stopped animation sends nothing";
}

// Only the click named in RestoreOn restores; every click raises its own event.
TEST(SupportTrayIcon, ClickTable) {
    struct Case {
        TTrayMouseMessage Message;
        const char* Event;
        bool Restores;
    };
    const Case Cases[] = {
        {TTrayMouseMessage::LButtonDown, "LButtonDown", false},
        {TTrayMouseMessage::LButtonUp, "LButtonUp", false},
        {TTrayMouseMessage::LButtonDblClk, "LButtonDblClick", true},
        {TTrayMouseMessage::RButtonDown, "RButtonDown", false},
        {TTrayMouseMessage::RButtonUp, "RButtonUp", false},
        {TTrayMouseMessage::RButtonDblClk, "RButtonDblClick", false},
        {TTrayMouseMessage::BalloonHide, "BalloonHintHide", false},
        {TTrayMouseMessage::BalloonClose, "BalloonHintClose", false},
        {TTrayMouseMessage::BalloonClick, "BalloonHintClick", false},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.Event);
        TrayFixture F;
        std::vector<std::string> Raised;
        auto Record = [&](const char* Name) {
            return [&Raised, Name, &F](TTrayIcon* Sender) {
                EXPECT_EQ(Sender, F.Tray.get());
                Raised.push_back(Name);
            };
        };
        F.Tray->OnLButtonDown = Record("LButtonDown");
        F.Tray->OnLButtonUp = Record("LButtonUp");
        F.Tray->OnLButtonDblClick = Record("LButtonDblClick");
        F.Tray->OnRButtonDown = Record("RButtonDown");
        F.Tray->OnRButtonUp = Record("RButtonUp");
        F.Tray->OnRButtonDblClick = Record("RButtonDblClick");
        F.Tray->OnBalloonHintHide = Record("BalloonHintHide");
        F.Tray->OnBalloonHintClose = Record("BalloonHintClose");
        F.Tray->OnBalloonHintClick = Record("BalloonHintClick");
        F.Tray->OnRestoreApp = Record("RestoreApp");
        F.Tray->MinimizeToTray();
        ASSERT_TRUE(F.Area->Minimized);
        ASSERT_TRUE(F.Area->Hidden);

        F.Area->Mouse(C.Message);
        EXPECT_EQ(F.Area->Minimized, !C.Restores);
        EXPECT_EQ(F.Area->Hidden, !C.Restores);
        EXPECT_EQ(F.Area->Foregrounds, C.Restores ? 1 : 0);
        std::vector<std::string> Expected;
        if (C.Restores) Expected.push_back("RestoreApp");
        Expected.push_back(C.Event);
        EXPECT_EQ(Raised, Expected);
    }
}

TEST(SupportTrayIcon, RestoreOnCanNameAnotherClick) {
    TrayFixture F;
    F.Tray->RestoreOn = ticLeftClickUp;
    F.Tray->MinimizeToTray();
    F.Area->Mouse(TTrayMouseMessage::LButtonDblClk);
    EXPECT_TRUE(F.Area->Minimized);
    F.Area->Mouse(TTrayMouseMessage::LButtonUp);
    EXPECT_FALSE(F.Area->Minimized);
    EXPECT_FALSE(F.Area->Hidden);
}

TEST(SupportTrayIcon, DoubleClickWhileShownOnlyBringsToFront) {
    TrayFixture F;
    int Restored = 0;
    F.Tray->OnRestoreApp = [&](TTrayIcon*) { ++Restored; };
    F.Area->Mouse(TTrayMouseMessage::LButtonDblClk);
    EXPECT_FALSE(F.Area->Minimized);
    EXPECT_FALSE(F.Area->Hidden);
    EXPECT_EQ(F.Area->Foregrounds, 1);
    EXPECT_EQ(Restored, 1);
}

TEST(SupportTrayIcon, MinimiseHidesTheTaskbarEntryOnlyWithATray) {
    struct Case {
        const char* Name;
        bool Host;
        bool HideOnMinimize;
        bool UserMinimizes;
        bool Hidden;
    };
    const Case Cases[] = {
        {"tray, program minimises", true, true, false, true},
        {"tray, user minimises a window", true, true, true, true},
        {"tray, HideOnMinimize off", true, false, false, false},
        {"no tray host", false, true, false, false},
        {"no tray host, user minimises a window", false, true, true, false},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.Name);
        std::unique_ptr<TrayFixture> F;
        ASSERT_NO_THROW(F = std::make_unique<TrayFixture>(C.Host));
        F->Tray->HideOnMinimize = C.HideOnMinimize;
        int Minimised = 0;
        F->Tray->OnMinimizeApp = [&](TTrayIcon* Sender) {
            EXPECT_EQ(Sender, F->Tray.get());
            ++Minimised;
        };
        if (C.UserMinimizes)
            F->Area->UserMinimizes();
        else
            F->Tray->MinimizeToTray();
        EXPECT_TRUE(F->Area->Minimized);
        EXPECT_EQ(F->Area->Hidden, C.Hidden);
        EXPECT_EQ(Minimised, 1);
    }
}

TEST(SupportTrayIcon, TrayHostAppearingLaterGetsTheIcon) {
    TrayFixture F(false);
    EXPECT_EQ(F.Area->Adds, 0);
    F.Tray->SetIcons(&F.Unread);
    F.Tray->AdvanceFrame();
    F.Area->StartHost();
    ASSERT_EQ(F.Area->Adds, 1);
    EXPECT_EQ(F.Area->Shown(), F.Unread.Image(1)) << "the current image, not the first";
    F.Tray->MinimizeToTray();
    EXPECT_TRUE(F.Area->Hidden) << "with a tray the entry goes";
}

TEST(SupportTrayIcon, ShellRestartShowsTheCurrentImageAgain) {
    TrayFixture F;
    F.Tray->SetIcons(&F.Unread);
    F.Tray->AdvanceFrame();
    F.Tray->AdvanceFrame();
    F.Area->StopHost();
    F.Tray->AdvanceFrame();
    EXPECT_EQ(F.Area->Sent.size(), 3u) << "modifying without a host is refused and ignored";
    F.Area->StartHost();
    EXPECT_EQ(F.Area->Adds, 2);
    EXPECT_EQ(F.Area->Shown(), F.Unread.Image(1));
}

TEST(SupportTrayIcon, LosingTheTrayWhileMinimisedBringsBackTheTaskbarEntry) {
    TrayFixture F;
    F.Tray->MinimizeToTray();
    ASSERT_TRUE(F.Area->Hidden);
    F.Area->StopHost();
    EXPECT_FALSE(F.Area->Hidden);
    EXPECT_TRUE(F.Area->Minimized) << "the program stays minimised on the taskbar";
}

TEST(SupportTrayIcon, RefusalsRaiseTrayIconErrors) {
    {
        auto* Area = new FakeNotificationArea;
        Area->RefuseAdd = true;
        TTrayIcon Tray(nullptr, std::unique_ptr<TNotificationArea>(Area));
        try {
            Tray.Loaded();
            ADD_FAILURE() << "no error raised";
        } catch (const ETrayIconError& Error) {
            EXPECT_STREQ(Error.what(), "Cannot create Shell Notification Icon");
        }
        // A host restart that is refused again stays quiet.
        EXPECT_NO_THROW(Area->StartHost());
    }
    {
        TrayFixture F;
        F.Area->RefuseDelete = true;
        try {
            F.Tray->SetEnabled(false);
            ADD_FAILURE() << "no error raised";
        } catch (const ETrayIconError& Error) {
            EXPECT_STREQ(Error.what(), "Cannot remove Shell Notification Icon");
        }
        EXPECT_TRUE(F.Tray->Enabled());
        F.Area->RefuseDelete = false;
    }
}

TEST(SupportTrayIcon, EnabledAddsAndRemoves) {
    TrayFixture F;
    F.Tray->SetEnabled(false);
    EXPECT_FALSE(F.Area->Added);
    EXPECT_EQ(F.Area->Deletes, 1);
    F.Tray->MinimizeToTray();
    EXPECT_FALSE(F.Area->Hidden) << "no icon, no hiding";
    F.Tray->RestoreFromTray();
    F.Tray->SetEnabled(true);
    EXPECT_TRUE(F.Area->Added);
    EXPECT_EQ(F.Area->Adds, 2);
}

TEST(SupportTrayIcon, HintGoesWithTheIcon) {
    TrayFixture F;
    F.Tray->SetHint(QStringLiteral("Quorvel"));
    EXPECT_EQ(F.Area->ShownHint, QStringLiteral("Quorvel"));
    EXPECT_EQ(F.Area->Shown(), F.Read.Image(0));
}

TEST(SupportTrayIcon, PopupMenuOnRightClickUpBlocksRestoring) {
    TrayFixture F;
    QMenu Menu;
    Menu.addAction(QStringLiteral("Item"));
    F.Tray->PopupMenu = &Menu;
    F.Tray->MinimizeToTray();
    bool Seen = false, StillMinimised = false;
    QTimer Watch;
    QObject::connect(&Watch, &QTimer::timeout, [&] {
        if (QApplication::activePopupWidget() != &Menu) return;
        Watch.stop();
        Seen = true;
        F.Tray->RestoreFromTray();
        StillMinimised = F.Area->Minimized && F.Area->Hidden;
        Menu.close();
    });
    Watch.start(10);
    QTimer Guard;
    Guard.singleShot(20000, [&] { Menu.close(); });
    bool Raised = false;
    F.Tray->OnRButtonUp = [&](TTrayIcon*) { Raised = true; };
    F.Area->Mouse(TTrayMouseMessage::RButtonUp);
    EXPECT_TRUE(Seen);
    EXPECT_TRUE(StillMinimised) << "restoring waits while the menu is open";
    EXPECT_TRUE(Raised);
    F.Tray->RestoreFromTray();
    EXPECT_FALSE(F.Area->Minimized);
}

// The desktop's own notification area: on a desktop without a tray host (the offscreen
// platform has none) minimising leaves the window on the taskbar.
TEST(SupportTrayIconDesktop, WithoutATrayMinimisingKeepsTheWindow) {
    QWidget Window;
    Window.resize(200, 100);
    Window.show();
    ASSERT_TRUE(WaitFor([&] { return Window.isVisible(); }));
    TImageList Read;
    LoadImagesTrayRead(Read);
    TTrayIcon Tray;
    Tray.SetIcons(&Read);
    ASSERT_NO_THROW(Tray.Loaded());
    EXPECT_FALSE(Tray.Area().IconAdded());
    Tray.MinimizeToTray();
    EXPECT_TRUE(Tray.Area().ApplicationMinimized());
    EXPECT_FALSE(Tray.Area().TaskbarEntryHidden());
    EXPECT_TRUE(Window.isVisible());
    EXPECT_TRUE(Window.isMinimized());
    Tray.RestoreFromTray();
    EXPECT_FALSE(Tray.Area().ApplicationMinimized());
    EXPECT_TRUE(Window.isVisible());
    EXPECT_FALSE(Window.isMinimized());
}

TEST(SupportTrayIconDesktop, OnlyTheMainWindowMinimisesTheProgram) {
    QWidget Main, Other;
    Main.resize(200, 100);
    Other.resize(100, 50);
    Main.show();
    Other.show();
    TTrayIcon* Tray = new TTrayIcon(&Main);
    int Minimised = 0;
    Tray->OnMinimizeApp = [&](TTrayIcon*) { ++Minimised; };
    Tray->Loaded();

    Other.showMinimized();
    QApplication::processEvents();
    EXPECT_FALSE(Tray->Area().ApplicationMinimized());
    EXPECT_FALSE(Main.isMinimized());
    Other.showNormal();

    Main.showMinimized();
    ASSERT_TRUE(WaitFor([&] { return Minimised == 1; }));
    EXPECT_TRUE(Tray->Area().ApplicationMinimized());
    EXPECT_TRUE(Other.isMinimized()) << "the program goes as a whole";
    EXPECT_TRUE(Other.isVisible()) << "no tray: the windows stay on the taskbar";
    Main.showNormal();
    ASSERT_TRUE(WaitFor([&] { return !Tray->Area().ApplicationMinimized(); }));
    EXPECT_FALSE(Other.isMinimized()) << "and comes back as a whole";
}

// A host without a double-click sends one activation; what it does depends on the program's state.
TEST(TrayIcon, SingleActivationTogglesByTheProgramsState) {
    struct Row {
        const char* Name;
        bool Minimized, Hidden, Active;
        bool MinimizedAfter, HiddenAfter;
        int Foregrounds;
    };
    const Row Table[] = {
        {"in the tray: comes back to the front", true, true, false, false, false, 1},
        {"minimised without the tray: comes back", true, false, false, false, false, 1},
        {"shown behind another program: comes to the front", false, false, false, false, false, 1},
        {"shown with the focus: goes to the tray", false, false, true, true, true, 0},
    };
    for (const Row& R : Table) {
        SCOPED_TRACE(R.Name);
        TrayFixture F;
        F.Area->Minimized = R.Minimized;
        F.Area->Hidden = R.Hidden;
        F.Area->Active = R.Active;
        F.Area->Activate();
        EXPECT_EQ(F.Area->Minimized, R.MinimizedAfter);
        EXPECT_EQ(F.Area->Hidden, R.HiddenAfter);
        EXPECT_EQ(F.Area->Foregrounds, R.Foregrounds);
    }
}
