// The notification service's client without a desktop: what it sends, and that nothing fails
// without a bus or without a service on it.
#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "common/NotificationServer.h"
#include "common/ProgramHarness.h"
#include "platform/DesktopNotifications.h"

using namespace testing_support;

namespace {

// XDG_DATA_DIRS for the length of a test.
class DataDirs {
public:
    explicit DataDirs(const QString& dirs)
        : old_(qgetenv("XDG_DATA_DIRS")), had_(qEnvironmentVariableIsSet("XDG_DATA_DIRS")) {
        qputenv("XDG_DATA_DIRS", dirs.toLocal8Bit());
    }
    ~DataDirs() {
        if (had_)
            qputenv("XDG_DATA_DIRS", old_);
        else
            qunsetenv("XDG_DATA_DIRS");
    }

private:
    QByteArray old_;
    bool had_;
};

TEST(DesktopNotifications, APlainTextBodyIsEscapedOnlyForAServerThatReadsMarkup) {
    const QString header = "2 items <b>paid</b> & shipped";
    EXPECT_EQ(TDesktopNotifications::BodyText(header, false), header);
    EXPECT_EQ(TDesktopNotifications::BodyText(header, true), "2 items &lt;b&gt;paid&lt;/b&gt; &amp; shipped");
    EXPECT_EQ(TDesktopNotifications::BodyText("a\nb \"c\" 'd'", true), "a\nb \"c\" 'd'");
}

TEST(DesktopNotifications, TheHintsNameTheDesktopEntryAndCarryThePictureOnlyWithoutAnIconName) {
    TDesktopNotice notice;
    notice.DesktopEntry = "example.quorvel.Quorvel";
    QImage picture(32, 32, QImage::Format_ARGB32);
    picture.fill(Qt::yellow);
    notice.Image = picture;
    QVariantMap hints = TDesktopNotifications::Hints(notice);
    EXPECT_EQ(hints.value("desktop-entry").toString(), "example.quorvel.Quorvel");
    ASSERT_TRUE(hints.contains("image-data"));

    notice.AppIcon = "quorvel";
    hints = TDesktopNotifications::Hints(notice);
    EXPECT_FALSE(hints.contains("image-data"));
    EXPECT_TRUE(hints.contains("desktop-entry"));
}

TEST(DesktopNotifications, TheInstalledIconIsFoundInTheDataFoldersOfTheDesktop) {
    QTemporaryDir share;
    ASSERT_TRUE(share.isValid());
    {
        DataDirs dirs(share.path());
        EXPECT_FALSE(TDesktopNotifications::ThemeIconInstalled("quorvel"));
    }
    ASSERT_TRUE(QDir().mkpath(share.filePath("icons/hicolor/scalable/apps")));
    ASSERT_TRUE(
        QFile::copy(QStringLiteral(QUORVEL_SOURCE_DIR "/data/icons/hicolor/scalable/apps/quorvel.svg"),
                    share.filePath("icons/hicolor/scalable/apps/quorvel.svg")));
    DataDirs dirs("/nonexistent:" + share.path());
    EXPECT_TRUE(TDesktopNotifications::ThemeIconInstalled("quorvel"));
    EXPECT_FALSE(TDesktopNotifications::ThemeIconInstalled("quorvel-other"));
}

TEST(DesktopNotifications, WithoutABusNothingFailsAndNothingIsShown) {
    TDesktopNotifications service;
    service.SetAddress("unix:path=/nonexistent/quorvel-no-bus");
    bool shown = false;
    TDesktopNotice notice;
    notice.Summary = "Title";
    service.Show(notice, [&](uint32_t) { shown = true; });
    WaitUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_FALSE(shown);
    EXPECT_TRUE(service.Capabilities().isEmpty());
}

TEST(DesktopNotifications, WithABusButNoNotificationServiceNothingFailsAndNothingIsShown) {
    TNotificationServer bus(false);
    ASSERT_TRUE(bus.Running()) << "dbus-daemon could not be started";
    TDesktopNotifications service;
    service.SetAddress(bus.Address());
    int shown = 0;
    TDesktopNotice notice;
    notice.Summary = "Title";
    service.Show(notice, [&](uint32_t) { ++shown; });
    service.Show(notice, [&](uint32_t) { ++shown; });
    // The bus answers at once that nobody owns the name.
    WaitUntil([] { return false; }, std::chrono::milliseconds(700));
    EXPECT_EQ(shown, 0);
    EXPECT_TRUE(service.Capabilities().isEmpty());
    service.Close(1);  // not ours: nothing is sent
}

}  // namespace
