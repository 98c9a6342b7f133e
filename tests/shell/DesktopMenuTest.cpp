// The Options menu's "Desktop Notifications" and "Start with Desktop" items, their stored
// settings, and what a notification of arriving messages says.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QMenu>

#include "common/ProgramHarness.h"
#include "exchange/DataUnit.h"
#include "platform/Autostart.h"
#include "shell/ArrivalNotifier.h"
#include "shell/MainUnit.h"
#include "support/SettingsStore.h"

using namespace testing_support;

namespace {

class DesktopMenu : public ::testing::Test {
protected:
    void SetUp() override { ResetUserSettings(); }

    static bool StoredFlag(const char* name, bool defaultValue) {
        bool value = defaultValue;
        StoreSettings([&](TSettingsStore& store) { value = store.ReadFlag("Caching", name, defaultValue); });
        return value;
    }
};

TEST_F(DesktopMenu, TheOptionsMenuHoldsBothCheckItemsAfterSavePassword) {
    TProgram program(false);
    QStringList captions;
    for (QAction* item : program.Main->MenuOptions->actions()) captions << item->text();
    EXPECT_EQ(captions,
              QStringList({"Connection", "Save Password", "Desktop Notifications", "Start with Desktop"}));
    EXPECT_TRUE(program.Main->MenuDesktopNotify->isCheckable());
    EXPECT_TRUE(program.Main->MenuStartWithDesktop->isCheckable());
}

TEST_F(DesktopMenu, NotificationsAreOnWithAnOlderSettingsFileThatLacksTheValue) {
    StoreSettings([](TSettingsStore& store) {
        store.WriteText("Connection", "User", "ann");
        store.WriteFlag("Caching", "SavePass", true);
    });
    TProgram program(false);
    EXPECT_TRUE(program.Main->MenuDesktopNotify->isChecked());
    EXPECT_TRUE(program.Main->ArrivalNotifier->Enabled);
    EXPECT_TRUE(program.Main->MenuSavePass->isChecked());
    EXPECT_FALSE(program.Main->MenuStartWithDesktop->isChecked());
}

TEST_F(DesktopMenu, TurningNotificationsOffActsAtOnceAndIsStoredWhenTheWindowCloses) {
    {
        TProgram program(false);
        program.Main->MenuDesktopNotify->trigger();
        EXPECT_FALSE(program.Main->MenuDesktopNotify->isChecked());
        EXPECT_FALSE(program.Main->ArrivalNotifier->Enabled);
        // Nothing is written before the window closes, as with "Save Password".
        EXPECT_TRUE(StoredFlag("DesktopNotify", true));
        program.Main->FormClose();
    }
    EXPECT_FALSE(StoredFlag("DesktopNotify", true));
    EXPECT_FALSE(StoredFlag("SavePass", true));
    {
        TProgram program(false);
        EXPECT_FALSE(program.Main->MenuDesktopNotify->isChecked());
        EXPECT_FALSE(program.Main->ArrivalNotifier->Enabled);
        program.Main->MenuDesktopNotify->trigger();
        program.Main->FormClose();
    }
    EXPECT_TRUE(StoredFlag("DesktopNotify", false));
}

TEST_F(DesktopMenu, StartWithDesktopWritesAndRemovesTheAutostartEntryAtOnce) {
    TProgram program(false);
    EXPECT_FALSE(QFile::exists(platform::AutostartEntryPath()));
    program.Main->MenuStartWithDesktop->trigger();
    EXPECT_TRUE(program.Main->MenuStartWithDesktop->isChecked());
    ASSERT_TRUE(QFile::exists(platform::AutostartEntryPath()));
    QFile entry(platform::AutostartEntryPath());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    EXPECT_TRUE(entry.readAll().contains(" --autostart\n"));
    entry.close();

    // A later run finds the entry and shows the check mark.
    {
        TProgram later(false);
        EXPECT_TRUE(later.Main->MenuStartWithDesktop->isChecked());
    }

    program.Main->MenuStartWithDesktop->trigger();
    EXPECT_FALSE(program.Main->MenuStartWithDesktop->isChecked());
    EXPECT_FALSE(QFile::exists(platform::AutostartEntryPath()));
}

TEST_F(DesktopMenu, AnEntryThatCannotBeWrittenLeavesTheItemUnchecked) {
    // The autostart folder's place is taken by a file.
    QFile blocker(platform::AutostartFolder());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TProgram program(false);
    program.Main->MenuStartWithDesktop->trigger();
    EXPECT_FALSE(program.Main->MenuStartWithDesktop->isChecked());
    QFile::remove(platform::AutostartFolder());
}

std::unique_ptr<TNotification> Stored(int32_t index, const std::string& title, const std::string& header) {
    auto n = std::make_unique<TNotification>(ByteString());
    n->Index = index;
    n->Title = title;
    n->Header = header;
    return n;
}

TEST(ArrivalNotice, OneMessageShowsItsTitleAndHeader) {
    // No icon installed anywhere the desktop looks.
    qputenv("XDG_DATA_HOME", "/nonexistent/quorvel-data-home");
    qputenv("XDG_DATA_DIRS", "/nonexistent/quorvel-data-dirs");
    auto n = Stored(7, "Order #1007", " 2 items & a note ");
    const TDesktopNotice notice = TArrivalNotifier::NoticeFor({n.get()});
    EXPECT_EQ(notice.Summary, "Order #1007");
    EXPECT_EQ(notice.Body, "2 items & a note");
    EXPECT_EQ(notice.DesktopEntry, "example.quorvel.Quorvel");
    EXPECT_EQ(notice.DefaultActionLabel, "Open");
    // Run from the build folder, no icon is installed: the picture goes along.
    EXPECT_TRUE(notice.AppIcon.isEmpty());
    EXPECT_FALSE(notice.Image.isNull());
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("XDG_DATA_DIRS");
}

TEST(ArrivalNotice, ABurstSaysHowManyArrivedAndListsTheNewestTitlesFirst) {
    std::vector<std::unique_ptr<TNotification>> stored;
    std::vector<TNotification*> newestFirst;
    for (int i = 8; i >= 1; --i) {
        stored.push_back(Stored(i, "Title " + std::to_string(i), "Header"));
        newestFirst.push_back(stored.back().get());
    }
    TDesktopNotice notice = TArrivalNotifier::NoticeFor({newestFirst[0], newestFirst[1], newestFirst[2]});
    EXPECT_EQ(notice.Summary, "3 new messages");
    EXPECT_EQ(notice.Body, "Title 8\nTitle 7\nTitle 6");
    notice = TArrivalNotifier::NoticeFor(newestFirst);
    EXPECT_EQ(notice.Summary, "8 new messages");
    EXPECT_EQ(notice.Body, "Title 8\nTitle 7\nTitle 6\nTitle 5\nTitle 4\nand 3 more");
}

}  // namespace
