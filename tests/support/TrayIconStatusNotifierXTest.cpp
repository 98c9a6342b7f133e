#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusObjectPath>
#include <QWidget>
#include <memory>
#include <vector>

#include "common/EventLoopWait.h"
#include "common/NotificationServer.h"
#include "common/StatusNotifierHost.h"
#include "support/ImageList.h"
#include "support/TrayIcon.h"

using testing_support::TNotificationServer;
using testing_support::TStatusNotifierHost;
using testing_support::WaitUntil;

namespace {

int OpaquePixels(const QImage& Image) {
    int N = 0;
    for (int y = 0; y < Image.height(); ++y)
        for (int x = 0; x < Image.width(); ++x) N += qAlpha(Image.pixel(x, y)) == 255;
    return N;
}

// The program as the main window sets it up, on a private bus where no tray host runs yet.
struct SniFixture {
    TNotificationServer Bus{false};
    QWidget Main;
    TImageList Read, Unread;
    TTrayIcon* Tray = nullptr;

    std::unique_ptr<TStatusNotifierHost> EarlyHost;

    // HostFirst: a tray host runs already when the program starts.
    explicit SniFixture(bool HostFirst = false) {
        if (HostFirst) EarlyHost = std::make_unique<TStatusNotifierHost>(Bus.Address());
        LoadImagesTrayRead(Read);
        LoadImagesTrayUnread(Unread);
        Main.resize(200, 100);
        Main.show();
        Tray = new TTrayIcon(&Main, CreateDesktopNotificationArea(Bus.Address()));
        Tray->SetIcons(&Read);
        Tray->Loaded();
    }
    ~SniFixture() {
        delete Tray;
        EarlyHost.reset();
    }

    bool InTray() const { return !Main.isVisible() && Tray->Area().TaskbarEntryHidden(); }
    // Shown and with the keyboard focus: under X the focus comes and goes with the mapping, as a
    // desktop gives it.
    bool InFront() const { return Main.isVisible() && !Main.isMinimized() && Main.isActiveWindow(); }
};

}  // namespace

TEST(SupportTrayIconStatusNotifierX, AHostThatStartsLaterGetsTheIconAndItsProperties) {
    SniFixture F;
    ASSERT_FALSE(F.Bus.Address().isEmpty());
    EXPECT_FALSE(F.Tray->Area().IconAdded()) << "no tray host runs yet";

    auto Host = std::make_unique<TStatusNotifierHost>(F.Bus.Address());
    ASSERT_TRUE(Host->Running());
    ASSERT_TRUE(Host->WaitForItems(1)) << "the item registers with a watcher that appears later";
    const QVariantMap Properties = Host->Properties();
    ASSERT_FALSE(Properties.isEmpty());

    struct Expected {
        const char* Name;
        QVariant Value;
    };
    const std::vector<Expected> Table = {
        {"Id", QStringLiteral("quorvel")},
        {"Title", QStringLiteral("Quorvel")},
        {"Status", QStringLiteral("Active")},
        {"Category", QStringLiteral("Communications")},
        {"ItemIsMenu", false},
    };
    for (const Expected& Row : Table) EXPECT_EQ(Properties.value(Row.Name), Row.Value) << Row.Name;
    EXPECT_EQ(Properties.value("Menu").value<QDBusObjectPath>().path(), "/NO_DBUSMENU");
    EXPECT_EQ(TStatusNotifierHost::ToolTipTexts(Properties.value("ToolTip")).value(0), "Quorvel");

    const std::vector<QImage> Pictures = TStatusNotifierHost::Pictures(Properties.value("IconPixmap"));
    std::vector<int> Sizes;
    for (const QImage& Picture : Pictures) {
        EXPECT_EQ(Picture.width(), Picture.height());
        EXPECT_GT(OpaquePixels(Picture), Picture.width() * Picture.height() / 4)
            << "the envelope fills its picture at " << Picture.width();
        Sizes.push_back(Picture.width());
    }
    EXPECT_EQ(Sizes, (std::vector<int>{16, 22, 24, 32, 48, 64}));

    // A host that goes and comes back gets the icon again.
    Host.reset();
    ASSERT_TRUE(WaitUntil([&] { return !F.Tray->Area().IconAdded(); }));
    Host = std::make_unique<TStatusNotifierHost>(F.Bus.Address());
    ASSERT_TRUE(Host->WaitForItems(1));
    EXPECT_TRUE(F.Tray->Area().IconAdded());
}

TEST(SupportTrayIconStatusNotifierX, AHostThatRunsAlreadyGetsTheIconAtOnce) {
    SniFixture F(true);
    ASSERT_TRUE(F.EarlyHost->Running());
    ASSERT_TRUE(F.EarlyHost->WaitForItems(1));
    EXPECT_TRUE(F.Tray->Area().IconAdded());
    EXPECT_EQ(F.EarlyHost->Properties().value("Id").toString(), "quorvel");
}

TEST(SupportTrayIconStatusNotifierX, OneActivationTogglesBetweenTrayAndFront) {
    SniFixture F;
    TStatusNotifierHost Host(F.Bus.Address());
    ASSERT_TRUE(Host.WaitForItems(1));
    F.Main.activateWindow();
    ASSERT_TRUE(WaitUntil([&] { return F.Main.isActiveWindow(); }));

    enum class Start { UserMinimised, ShownActive };
    struct Row {
        const char* Name;
        Start State;
        bool InTrayAfter;
    };
    const Row Table[] = {
        {"a click on a shown, active program puts it into the tray", Start::ShownActive, true},
        {"a click on a program the user minimised brings it to the front", Start::UserMinimised, false},
    };
    for (const Row& R : Table) {
        SCOPED_TRACE(R.Name);
        F.Tray->RestoreFromTray();
        ASSERT_TRUE(WaitUntil([&] { return F.InFront(); }));
        if (R.State == Start::UserMinimised) {
            F.Main.showMinimized();
            ASSERT_TRUE(WaitUntil([&] { return F.InTray(); })) << "minimising goes to the tray";
        }
        ASSERT_TRUE(Host.Call("Activate"));
        if (R.InTrayAfter)
            EXPECT_TRUE(WaitUntil([&] { return F.InTray(); }));
        else
            EXPECT_TRUE(WaitUntil([&] { return F.InFront(); }));
        // The next click turns it round again.
        ASSERT_TRUE(Host.Call("Activate"));
        if (R.InTrayAfter)
            EXPECT_TRUE(WaitUntil([&] { return F.InFront(); }));
        else
            EXPECT_TRUE(WaitUntil([&] { return F.InTray(); }));
    }
}

TEST(SupportTrayIconStatusNotifierX, BlinkingReachesTheHost) {
    SniFixture F;
    TStatusNotifierHost Host(F.Bus.Address());
    ASSERT_TRUE(Host.WaitForItems(1));
    F.Tray->SetIcons(&F.Unread);
    std::vector<int> Opaque;
    for (int Step = 0; Step < 4; ++Step) {
        const int Before = Host.NewIcons();
        F.Tray->AdvanceFrame();
        ASSERT_TRUE(WaitUntil([&] { return Host.NewIcons() > Before; })) << "the host is told";
        const auto Pictures = TStatusNotifierHost::Pictures(Host.Properties().value("IconPixmap"));
        ASSERT_FALSE(Pictures.empty());
        Opaque.push_back(OpaquePixels(Pictures.front()));
    }
    // The unread list alternates the yellow envelope and a transparent picture.
    EXPECT_EQ(Opaque[0], 0);
    EXPECT_GT(Opaque[1], 60);
    EXPECT_EQ(Opaque[2], 0);
    EXPECT_GT(Opaque[3], 60);
}

TEST(SupportTrayIconStatusNotifierX, UnreadMessagesAskForAttentionUntilRead) {
    SniFixture F;
    TStatusNotifierHost Host(F.Bus.Address());
    ASSERT_TRUE(Host.WaitForItems(1));
    struct Row {
        const char* Name;
        bool Unread;
        const char* Status;
        bool AttentionPicture;
    };
    const Row Table[] = {
        {"a message arrives", true, "NeedsAttention", true},
        {"everything has been read", false, "Active", false},
        {"another message arrives", true, "NeedsAttention", true},
    };
    for (const Row& R : Table) {
        SCOPED_TRACE(R.Name);
        // As the main window does whenever the unread count changes.
        F.Tray->SetIcons(R.Unread ? &F.Unread : &F.Read);
        F.Tray->SetAttention(R.Unread);
        QVariantMap Properties;
        EXPECT_TRUE(WaitUntil([&] {
            Properties = Host.Properties();
            return Properties.value("Status").toString() == R.Status;
        })) << Properties.value("Status").toString().toStdString();
        if (!R.AttentionPicture) continue;
        const auto Pictures = TStatusNotifierHost::Pictures(Properties.value("AttentionIconPixmap"));
        ASSERT_FALSE(Pictures.empty()) << "a host that shows the attention picture has one";
        EXPECT_GT(OpaquePixels(Pictures.front()), 60) << "the yellow envelope, never the blank frame";
    }
}
