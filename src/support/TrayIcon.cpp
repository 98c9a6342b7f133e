#include "support/TrayIcon.h"

#include <QApplication>
#include <QMenu>
#include <QWidget>

namespace {

QIcon ApplicationFallbackIcon() {
    const QIcon Icon = QApplication::windowIcon();
    return Icon.isNull() ? ApplicationIcon() : Icon;
}

}  // namespace

TTrayIcon::TTrayIcon(QObject* Owner, std::unique_ptr<TNotificationArea> Area)
    : QObject(Owner), FArea(Area ? std::move(Area) : CreateDesktopNotificationArea()) {
    FCurrentIcon = ApplicationFallbackIcon();
    FTimer.setInterval(FInterval);
    connect(&FTimer, &QTimer::timeout, this, &TTrayIcon::AdvanceFrame);
    FArea->OnMouse = [this](TTrayMouseMessage Message) { MouseMessage(Message); };
    FArea->OnActivate = [this] { ToggleFromTray(); };
    FArea->OnTaskbarCreated = [this] { TaskbarCreated(); };
    FArea->OnTaskbarLost = [this] { TaskbarLost(); };
    FArea->OnApplicationMinimize = [this] { MinimizeToTray(); };
    FArea->OnApplicationRestore = [this] { RestoreFromTray(); };
    // The owner is the program's main window: minimising it minimises the program.
    if (auto* Window = qobject_cast<QWidget*>(Owner)) FArea->SetMainWindow(Window->window());
}

TTrayIcon::~TTrayIcon() {
    FTimer.stop();
    FArea->OnMouse = nullptr;
    FArea->OnActivate = nullptr;
    FArea->OnTaskbarCreated = nullptr;
    FArea->OnTaskbarLost = nullptr;
    FArea->OnApplicationMinimize = nullptr;
    FArea->OnApplicationRestore = nullptr;
    FArea->DeleteIcon();
}

void TTrayIcon::Loaded() {
    FLoaded = true;
    TakeCurrentIcon();
    if (FEnabled) AddIcon(true);
}

void TTrayIcon::SetAnimate(bool Value) {
    FAnimate = Value;
    if (Value)
        FTimer.start();
    else
        FTimer.stop();
}

void TTrayIcon::SetInterval(int Value) {
    FInterval = Value;
    FTimer.setInterval(Value);
}

void TTrayIcon::SetIcons(TImageList* Value) {
    FIcons = Value;
}

void TTrayIcon::SetIconIndex(int Value) {
    FIconIndex = Value;
    if (!FLoaded) return;
    TakeCurrentIcon();
    UpdateIcon();
}

void TTrayIcon::SetEnabled(bool Value) {
    if (Value == FEnabled) return;
    if (FLoaded) {
        if (Value) {
            FEnabled = true;
            try {
                AddIcon(true);
            } catch (...) {
                FEnabled = false;
                throw;
            }
            return;
        }
        if (!FArea->DeleteIcon())
            throw ETrayIconError(tr("Cannot remove Shell Notification Icon").toStdString());
        // Without the icon the user could not come back from the tray.
        if (FArea->TaskbarEntryHidden()) FArea->ShowTaskbarEntry();
    }
    FEnabled = Value;
}

void TTrayIcon::SetHint(const QString& Value) {
    FHint = Value;
    if (FLoaded) UpdateIcon();
}

void TTrayIcon::SetAttention(bool Value) {
    FAttention = Value;
    FArea->SetAttention(Value, FIcons ? FIcons->Icon(0) : FCurrentIcon);
}

// While no tray host runs there is nothing to refuse: the icon is added once one appears.
void TTrayIcon::AddIcon(bool RaiseOnFailure) {
    if (!FArea->TrayAvailable()) return;
    if (!FArea->AddIcon(FCurrentIcon, FHint) && RaiseOnFailure)
        throw ETrayIconError(tr("Cannot create Shell Notification Icon").toStdString());
}

void TTrayIcon::UpdateIcon() {
    FArea->ModifyIcon(FCurrentIcon, FHint);
}

void TTrayIcon::TakeCurrentIcon() {
    FCurrentIcon = FIcons ? FIcons->Icon(FIconIndex) : ApplicationFallbackIcon();
}

void TTrayIcon::AdvanceFrame() {
    if (!FIcons) return;
    if (FIconIndex < FIcons->Count() - 1)
        ++FIconIndex;
    else
        FIconIndex = 0;
    TakeCurrentIcon();
    UpdateIcon();
}

void TTrayIcon::MinimizeToTray() {
    if (!FArea->ApplicationMinimized()) FArea->MinimizeApplication();
    // Only an icon that sits in a tray is a way back; without one the program stays on the taskbar.
    if (FEnabled && HideOnMinimize && FArea->IconAdded()) FArea->HideTaskbarEntry();
    if (OnMinimizeApp) OnMinimizeApp(this);
}

void TTrayIcon::RestoreFromTray() {
    if (FMenuOpen) return;
    if (FArea->ApplicationMinimized()) FArea->RestoreApplication();
    if (FEnabled) {
        FArea->ShowTaskbarEntry();
        FArea->BringToForeground();
    }
    if (OnRestoreApp) OnRestoreApp(this);
}

void TTrayIcon::ToggleFromTray() {
    if (FArea->ApplicationActive())
        MinimizeToTray();
    else
        RestoreFromTray();
}

void TTrayIcon::MouseMessage(TTrayMouseMessage Message) {
    switch (Message) {
        case TTrayMouseMessage::LButtonDown: Click(ticLeftClick, OnLButtonDown); break;
        case TTrayMouseMessage::LButtonUp: Click(ticLeftClickUp, OnLButtonUp); break;
        case TTrayMouseMessage::LButtonDblClk: Click(ticLeftDblClick, OnLButtonDblClick); break;
        case TTrayMouseMessage::RButtonDown: Click(ticRightClick, OnRButtonDown); break;
        case TTrayMouseMessage::RButtonUp: Click(ticRightClickUp, OnRButtonUp); break;
        case TTrayMouseMessage::RButtonDblClk: Click(ticRightDblClick, OnRButtonDblClick); break;
        case TTrayMouseMessage::BalloonHide:
            if (OnBalloonHintHide) OnBalloonHintHide(this);
            break;
        case TTrayMouseMessage::BalloonClose:
            if (OnBalloonHintClose) OnBalloonHintClose(this);
            break;
        case TTrayMouseMessage::BalloonClick:
            if (OnBalloonHintClick) OnBalloonHintClick(this);
            break;
    }
}

void TTrayIcon::Click(TTrayIconClicks Kind, const std::function<void(TTrayIcon*)>& Event) {
    QPointer<TTrayIcon> Self(this);
    if (RestoreOn == Kind) RestoreFromTray();
    if (Self && PopupMenuOn == Kind && PopupMenu) {
        FMenuOpen = true;
        PopupMenu->exec(FArea->CursorPos());
        if (!Self) return;
        FMenuOpen = false;
    }
    if (Self && Event) Event(this);
}

void TTrayIcon::TaskbarCreated() {
    if (FEnabled && FLoaded) AddIcon(false);
}

void TTrayIcon::TaskbarLost() {
    if (FArea->TaskbarEntryHidden()) FArea->ShowTaskbarEntry();
}
