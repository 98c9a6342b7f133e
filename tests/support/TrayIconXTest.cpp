// The tray icon on a real X desktop: a private Xvfb with a real tray host (trayer).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPalette>
#include <QProcess>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QWidget>
#include <QWindow>
#include <functional>

#include "support/ImageList.h"
#include "support/TrayIcon.h"

namespace {

bool WaitFor(const std::function<bool()>& Condition, int TimeoutMs = 30000) {
    QElapsedTimer Clock;
    Clock.start();
    while (!Condition()) {
        if (Clock.elapsed() > TimeoutMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

// Runs a tool to its end while the event loop goes on (the tray host and Qt keep talking).
QString RunTool(const QString& Program, const QStringList& Arguments) {
    QProcess Process;
    Process.start(Program, Arguments);
    if (!Process.waitForStarted(10000)) return {};
    WaitFor([&] { return Process.state() == QProcess::NotRunning; }, 30000);
    if (Process.state() != QProcess::NotRunning) {
        Process.kill();
        Process.waitForFinished(5000);
        return {};
    }
    return QString::fromLocal8Bit(Process.readAllStandardOutput());
}

QString ScreenshotPath(const char* Name) {
    const QByteArray Dir = qgetenv("QUORVEL_SCREENSHOT_DIR");
    const QString Folder =
        Dir.isEmpty() ? QDir(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"))).absoluteFilePath("..")
                      : QString::fromLocal8Bit(Dir);
    return QDir(Folder).absoluteFilePath(QString::fromLatin1(Name));
}

QImage Screenshot(const QString& Path) {
    RunTool(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), Path});
    return QImage(Path);
}

// Where the yellow envelope of the unread list shows on the screen.
QRect YellowArea(const QImage& Screen, int* Count = nullptr) {
    QRect Area;
    int N = 0;
    for (int y = 0; y < Screen.height(); ++y)
        for (int x = 0; x < Screen.width(); ++x) {
            const QColor C = Screen.pixelColor(x, y);
            if (C.red() > 230 && C.green() > 190 && C.green() < 230 && C.blue() < 70) {
                Area |= QRect(x, y, 1, 1);
                ++N;
            }
        }
    if (Count) *Count = N;
    return Area;
}

QString MapState(const QWidget& Window) {
    const QString Info =
        RunTool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(Window.winId())});
    const int At = Info.indexOf(QStringLiteral("Map State: "));
    return At < 0 ? QString() : Info.mid(At + 11).section(QLatin1Char('\n'), 0, 0).trimmed();
}

// The tray host, stopped with the test.
struct TrayHost {
    QProcess Process;
    TrayHost() {
        Process.start(QStringLiteral("trayer"),
                      {"--edge",        "top",   "--align",           "right", "--widthtype", "pixel",
                       "--width",       "96",    "--heighttype",      "pixel", "--height",    "28",
                       "--SetDockType", "false", "--SetPartialStrut", "false", "--expand",    "false",
                       "--transparent", "true",  "--alpha",           "0",     "--tint",      "0x203040"});
    }
    ~TrayHost() {
        if (Process.state() != QProcess::NotRunning) {
            Process.terminate();
            if (!Process.waitForFinished(10000)) {
                Process.kill();
                Process.waitForFinished(5000);
            }
        }
    }
};

}  // namespace

TEST(SupportTrayIconX, IconShowsInTheTrayAndADoubleClickRestores) {
    TrayHost Host;
    ASSERT_TRUE(Host.Process.waitForStarted(10000)) << "trayer could not be started";
    ASSERT_TRUE(WaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); })) << "no tray host appeared";

    QWidget Window;
    Window.setWindowTitle(QStringLiteral("Quorvel 1.01"));
    Window.setGeometry(195, 139, 565, 287);
    Window.show();
    ASSERT_TRUE(WaitFor([&] { return Window.windowHandle() && Window.windowHandle()->isExposed(); }));

    TImageList Unread;
    LoadImagesTrayUnread(Unread);
    TTrayIcon Tray;
    Tray.SetIcons(&Unread);
    ASSERT_NO_THROW(Tray.Loaded());
    EXPECT_TRUE(Tray.Area().IconAdded());

    // The yellow envelope turns up in the tray host's strip at the top right.
    const QString Shot = ScreenshotPath("tray-x-icon.png");
    QRect Icon;
    int Pixels = 0;
    ASSERT_TRUE(WaitFor([&] {
        Icon = YellowArea(Screenshot(Shot), &Pixels);
        return Pixels >= 30;
    })) << "the icon never showed; last screenshot "
        << Shot.toStdString();
    RecordProperty("screenshot", Shot.toStdString());
    EXPECT_LT(Icon.bottom(), 28);
    EXPECT_GT(Icon.left(), QGuiApplication::primaryScreen()->geometry().width() - 96 - 1);
    EXPECT_LE(Icon.width(), 16);
    EXPECT_LE(Icon.height(), 16);

    // Minimising takes the window off the desktop; only the tray icon is left.
    int Minimised = 0, DoubleClicks = 0;
    Tray.OnMinimizeApp = [&](TTrayIcon*) { ++Minimised; };
    Tray.OnLButtonDblClick = [&](TTrayIcon*) { ++DoubleClicks; };
    Window.showMinimized();
    ASSERT_TRUE(WaitFor([&] { return Minimised == 1 && !Window.isVisible(); }));
    EXPECT_TRUE(Tray.Area().TaskbarEntryHidden());
    ASSERT_TRUE(WaitFor([&] { return MapState(Window) == QStringLiteral("IsUnMapped"); }));
    const QPoint Middle = Window.geometry().center();
    const QColor WindowColour = Window.palette().color(QPalette::Window);
    EXPECT_TRUE(WaitFor([&] {
        return Screenshot(ScreenshotPath("tray-x-minimised.png")).pixelColor(Middle) != WindowColour;
    })) << "the window is still on the screen";
    EXPECT_GE(YellowArea(QImage(ScreenshotPath("tray-x-minimised.png"))).width(), 8) << "the icon stays";

    // A double-click on the icon brings the window back. A slow run may split a double-click
    // into two single ones, so it is tried again until the window is back or time is up.
    const QString X = QString::number(Icon.center().x()), Y = QString::number(Icon.center().y());
    ASSERT_TRUE(WaitFor(
        [&] {
            if (Window.isVisible() && !Window.isMinimized()) return true;
            RunTool(QStringLiteral("xdotool"),
                    {"mousemove", X, Y, "click", "--repeat", "2", "--delay", "80", "1"});
            return WaitFor([&] { return Window.isVisible(); }, 3000);
        },
        60000));
    EXPECT_GE(DoubleClicks, 1);
    EXPECT_FALSE(Tray.Area().TaskbarEntryHidden());
    EXPECT_FALSE(Tray.Area().ApplicationMinimized());
    EXPECT_TRUE(WaitFor([&] { return MapState(Window) == QStringLiteral("IsViewable"); }));
    Screenshot(ScreenshotPath("tray-x-restored.png"));
}

// A desktop without a tray host: minimising leaves the window on the desktop; a host that
// starts later, or restarts, gets the icon.
TEST(SupportTrayIconX, LateAndRestartedTrayHostsGetTheIcon) {
    ASSERT_TRUE(WaitFor([] { return !QSystemTrayIcon::isSystemTrayAvailable(); }))
        << "a tray host is running";
    QWidget Window;
    Window.setGeometry(195, 139, 565, 287);
    Window.show();
    ASSERT_TRUE(WaitFor([&] { return Window.windowHandle() && Window.windowHandle()->isExposed(); }));

    TImageList Unread;
    LoadImagesTrayUnread(Unread);
    TTrayIcon Tray;
    Tray.SetIcons(&Unread);
    ASSERT_NO_THROW(Tray.Loaded());
    EXPECT_FALSE(Tray.Area().IconAdded());
    int Minimised = 0;
    Tray.OnMinimizeApp = [&](TTrayIcon*) { ++Minimised; };
    Window.showMinimized();
    ASSERT_TRUE(WaitFor([&] { return Minimised == 1; }));
    EXPECT_FALSE(Tray.Area().TaskbarEntryHidden());
    EXPECT_TRUE(Window.isVisible()) << "without a tray the window stays on the taskbar";
    EXPECT_EQ(MapState(Window), QStringLiteral("IsViewable"));
    Tray.RestoreFromTray();
    EXPECT_FALSE(Window.isMinimized());

    for (int Start = 1; Start <= 2; ++Start) {
        SCOPED_TRACE(Start == 1 ? "host started late" : "host restarted");
        TrayHost Host;
        ASSERT_TRUE(Host.Process.waitForStarted(10000));
        ASSERT_TRUE(WaitFor([&] { return Tray.Area().IconAdded(); }));
        const QString Shot = ScreenshotPath(Start == 1 ? "tray-x-late.png" : "tray-x-restarted.png");
        int Pixels = 0;
        EXPECT_TRUE(WaitFor([&] {
            YellowArea(Screenshot(Shot), &Pixels);
            return Pixels >= 30;
        })) << Shot.toStdString();
    }
    ASSERT_TRUE(WaitFor([&] { return !Tray.Area().IconAdded(); })) << "the stopped host took the icon along";
}
