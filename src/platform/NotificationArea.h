#pragma once

#include <QIcon>
#include <QPoint>
#include <QString>
#include <functional>
#include <memory>

class QWidget;

// What the notification area reports about the mouse on the icon and about its balloons.
enum class TTrayMouseMessage {
    LButtonDown,
    LButtonUp,
    LButtonDblClk,
    RButtonDown,
    RButtonUp,
    RButtonDblClk,
    BalloonHide,
    BalloonClose,
    BalloonClick,
};

// The desktop's notification area and the program's taskbar entry, as the tray icon needs them:
// one icon per object. The desktop implementation offers the icon to a StatusNotifierItem host
// on the session bus when one runs, and otherwise to an XEmbed tray through QSystemTrayIcon;
// tests put a fake in its place.
class TNotificationArea {
public:
    virtual ~TNotificationArea() = default;

    // A tray host is running on the desktop.
    virtual bool TrayAvailable() const = 0;
    // Puts the icon into the tray host; false when there is none or it refuses.
    virtual bool AddIcon(const QIcon& Icon, const QString& Hint) = 0;
    // Replaces the image and the tool tip of the icon that was added; false when there is none.
    virtual bool ModifyIcon(const QIcon& Icon, const QString& Hint) = 0;
    // Takes the icon out again; false when the host refuses. Removing no icon succeeds.
    virtual bool DeleteIcon() = 0;
    // The icon has been added and is still there.
    virtual bool IconAdded() const = 0;
    // Tells a tray host that tells such icons apart that the program needs the user's attention
    // (showing AttentionIcon), or no longer; hosts without the notion see the icon's own blinking.
    virtual void SetAttention(bool Needed, const QIcon& AttentionIcon) {
        (void)Needed;
        (void)AttentionIcon;
    }

    // The program as a whole: every top-level window minimised, or shown again as before.
    virtual bool ApplicationMinimized() const = 0;
    // The program is on show and one of its windows has the keyboard focus.
    virtual bool ApplicationActive() const = 0;
    virtual void MinimizeApplication() = 0;
    virtual void RestoreApplication() = 0;
    // The program's taskbar entry: hidden means its windows are withdrawn from the desktop.
    virtual bool TaskbarEntryHidden() const = 0;
    virtual void HideTaskbarEntry() = 0;
    virtual void ShowTaskbarEntry() = 0;
    // Raises the program's windows and gives them the keyboard focus.
    virtual void BringToForeground() = 0;
    // Where a popup menu of the icon opens.
    virtual QPoint CursorPos() const = 0;
    // The window whose minimising by the user minimises the whole program; while none is named,
    // any of the program's windows does.
    virtual void SetMainWindow(QWidget* Window) { (void)Window; }

    // Reports; each is skipped while unset.
    std::function<void(TTrayMouseMessage Message)> OnMouse;
    std::function<void()> OnActivate;             // one activation from a host that knows no double-click
    std::function<void()> OnTaskbarCreated;       // a tray host appeared (again)
    std::function<void()> OnTaskbarLost;          // the tray host went away
    std::function<void()> OnApplicationMinimize;  // the user minimised one of the program's windows
    std::function<void()> OnApplicationRestore;   // the program came back from being minimised
};

// The notification area of the running desktop. BusAddress: a D-Bus address to look for a
// StatusNotifierItem host on instead of the session bus.
std::unique_ptr<TNotificationArea> CreateDesktopNotificationArea(const QString& BusAddress = QString());
