#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <stdexcept>

#include "platform/NotificationArea.h"
#include "support/ImageList.h"

class QMenu;

class ETrayIconError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum TTrayIconClicks {
    ticNone,
    ticLeftClick,
    ticLeftDblClick,
    ticLeftClickUp,
    ticRightClick,
    ticRightDblClick,
    ticRightClickUp,
};

// One icon of the program in the notification area, animated from an image list. It hides the
// program's taskbar entry when the program is minimised and brings the program back on a
// double-click, or on the single activation of a host that has no double-click. While the
// desktop has no notification area the program minimises normally.
class TTrayIcon : public QObject {
    Q_OBJECT

public:
    // Owner: the main window, if a widget; minimising it minimises the program.
    // Area: the notification area to use; none means the desktop's.
    explicit TTrayIcon(QObject* Owner = nullptr, std::unique_ptr<TNotificationArea> Area = nullptr);
    ~TTrayIcon() override;

    // To be called once the owner has set Animate and Icons: shows the first image and adds the
    // icon when Enabled. Throws ETrayIconError("Cannot create Shell Notification Icon") when a
    // running tray host refuses the icon.
    void Loaded();

    bool Animate() const { return FAnimate; }
    void SetAnimate(bool Value);
    int Interval() const { return FInterval; }
    void SetInterval(int Value);
    // Assigning only stores the list; the icon changes at the next animation step.
    TImageList* Icons() const { return FIcons; }
    void SetIcons(TImageList* Value);
    int IconIndex() const { return FIconIndex; }
    void SetIconIndex(int Value);
    bool Enabled() const { return FEnabled; }
    // Throws ETrayIconError("Cannot remove Shell Notification Icon") when the host refuses.
    void SetEnabled(bool Value);
    const QString& Hint() const { return FHint; }
    void SetHint(const QString& Value);
    // While set, a tray host that knows the notion shows the icon as asking for attention, with
    // the first image of Icons as its picture.
    bool Attention() const { return FAttention; }
    void SetAttention(bool Value);

    bool HideOnMinimize = true;
    QPointer<QMenu> PopupMenu;
    TTrayIconClicks RestoreOn = ticLeftDblClick;
    TTrayIconClicks PopupMenuOn = ticRightClickUp;

    std::function<void(TTrayIcon* Sender)> OnMinimizeApp;
    std::function<void(TTrayIcon* Sender)> OnRestoreApp;
    std::function<void(TTrayIcon* Sender)> OnLButtonDown;
    std::function<void(TTrayIcon* Sender)> OnLButtonUp;
    std::function<void(TTrayIcon* Sender)> OnLButtonDblClick;
    std::function<void(TTrayIcon* Sender)> OnRButtonDown;
    std::function<void(TTrayIcon* Sender)> OnRButtonUp;
    std::function<void(TTrayIcon* Sender)> OnRButtonDblClick;
    std::function<void(TTrayIcon* Sender)> OnBalloonHintHide;
    std::function<void(TTrayIcon* Sender)> OnBalloonHintClose;
    std::function<void(TTrayIcon* Sender)> OnBalloonHintClick;

    // One animation step: the next image of Icons, wrapping to the first.
    void AdvanceFrame();
    // Minimises the program and, while the icon sits in a tray, hides its taskbar entry.
    void MinimizeToTray();
    // Shows the program again, as it was before minimising, in the foreground.
    void RestoreFromTray();
    // A single activation, as hosts without a double-click send it: a program on show with the
    // focus goes to the tray; otherwise it comes back and to the front.
    void ToggleFromTray();

    // The image on show in the tray (a copy of Icons' image at IconIndex, or the fallback).
    const QIcon& CurrentIcon() const { return FCurrentIcon; }
    TNotificationArea& Area() const { return *FArea; }

private:
    void AddIcon(bool RaiseOnFailure);
    void UpdateIcon();
    void TakeCurrentIcon();
    void MouseMessage(TTrayMouseMessage Message);
    void Click(TTrayIconClicks Kind, const std::function<void(TTrayIcon*)>& Event);
    void TaskbarCreated();
    void TaskbarLost();

    std::unique_ptr<TNotificationArea> FArea;
    QTimer FTimer;
    QPointer<TImageList> FIcons;
    QIcon FCurrentIcon;
    QString FHint;
    int FInterval = 1000;
    int FIconIndex = 0;
    bool FAnimate = false;
    bool FEnabled = true;
    bool FLoaded = false;
    bool FMenuOpen = false;
    bool FAttention = false;
};
