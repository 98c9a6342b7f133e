#include "platform/NotificationArea.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <QWindowStateChangeEvent>
#include <vector>

#include "platform/DesktopNotifications.h"
#include "platform/StatusNotifierItem.h"
#include "platform/WindowFocus.h"

namespace {

// How often the desktop is asked whether an XEmbed tray has come or gone. A host that restarts
// in between is followed by QSystemTrayIcon itself; StatusNotifierItem hosts are followed on
// the bus.
constexpr int TrayWatchInterval = 1000;

enum class TTrayKind { None, StatusNotifier, XEmbed };

// The desktop's tray host: a StatusNotifierItem host on the session bus while one runs, else an
// XEmbed tray through QSystemTrayIcon. The program's taskbar entry is the set of its top-level
// windows: hiding it withdraws them from the desktop. The user minimising the main window
// minimises them all, as one program.
class TDesktopNotificationArea : public QObject, public TNotificationArea {
    Q_OBJECT

public:
    explicit TDesktopNotificationArea(const QString& BusAddress)
        : FItem(QString::fromLatin1(TDesktopNotifications::AppName), BusAddress) {
        FItem.OnActivate = [this] {
            if (OnActivate) OnActivate();
        };
        FItem.OnContextMenu = [this] {
            Report(TTrayMouseMessage::RButtonDown);
            Report(TTrayMouseMessage::RButtonUp);
        };
        FItem.OnHostChanged = [this] { CheckTray(); };
        FKind = CurrentKind();
        FWatch.setInterval(TrayWatchInterval);
        connect(&FWatch, &QTimer::timeout, this, &TDesktopNotificationArea::CheckTray);
        FWatch.start();
        connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { DeleteIcon(); });
        qApp->installEventFilter(this);
    }

    ~TDesktopNotificationArea() override {
        if (qApp) qApp->removeEventFilter(this);
        if (FTray) FTray->hide();
    }

    bool TrayAvailable() const override {
        return FItem.HostAvailable() || (FTray && QSystemTrayIcon::isSystemTrayAvailable());
    }

    bool AddIcon(const QIcon& Icon, const QString& Hint) override {
        if (FItem.HostAvailable()) {
            if (FTray) FTray->hide();
            FAdded = FItem.Show(Icon, Hint);
            return FAdded;
        }
        if (!TrayAvailable()) return false;
        FTray->setIcon(Icon);
        FTray->setToolTip(Hint);
        FTray->show();
        FAdded = FTray->isVisible();
        return FAdded;
    }

    bool ModifyIcon(const QIcon& Icon, const QString& Hint) override {
        if (!FAdded) return false;
        if (FItem.Shown()) {
            FItem.Update(Icon, Hint);
        } else if (FTray) {
            FTray->setIcon(Icon);
            FTray->setToolTip(Hint);
        }
        return TrayAvailable();
    }

    bool DeleteIcon() override {
        FItem.Hide();
        if (FTray) FTray->hide();
        FAdded = false;
        return true;
    }

    bool IconAdded() const override { return FAdded && TrayAvailable(); }

    void SetAttention(bool Needed, const QIcon& AttentionIcon) override {
        FItem.SetAttention(Needed, AttentionIcon);
    }

    bool ApplicationMinimized() const override { return FMinimized; }

    bool ApplicationActive() const override {
        return !FMinimized && !FHidden && QApplication::activeWindow() != nullptr;
    }

    void MinimizeApplication() override {
        if (FMinimized) return;
        TakeWindows(nullptr, Qt::WindowNoState);
        FMinimized = true;
        Internal([this] {
            for (const TSavedWindow& Saved : FWindows)
                if (Saved.Window && !FHidden) Saved.Window->showMinimized();
        });
    }

    void RestoreApplication() override {
        if (!FMinimized) return;
        FMinimized = false;
        Internal([this] { ShowWindows(); });
        FHidden = false;
    }

    bool TaskbarEntryHidden() const override { return FHidden; }

    void HideTaskbarEntry() override {
        if (FHidden) return;
        if (FWindows.empty()) TakeWindows(nullptr, Qt::WindowNoState);
        FHidden = true;
        Internal([this] {
            for (const TSavedWindow& Saved : FWindows)
                if (Saved.Window) Saved.Window->hide();
        });
    }

    void ShowTaskbarEntry() override {
        if (!FHidden) return;
        FHidden = false;
        Internal([this] { ShowWindows(); });
    }

    void BringToForeground() override {
        QWidget* Main = FActive ? FActive.data() : nullptr;
        for (const TSavedWindow& Saved : FWindows)
            if (Saved.Window && Saved.Window->isVisible()) {
                Saved.Window->raise();
                if (!Main) Main = Saved.Window;
            }
        if (!Main)
            for (QWidget* Window : ProgramWindows()) {
                Window->raise();
                if (!Main) Main = Window;
            }
        if (Main && Main->isVisible()) {
            Main->raise();
            Main->activateWindow();
            FocusWhenExposed(Main);
        }
    }

    QPoint CursorPos() const override { return QCursor::pos(); }

    void SetMainWindow(QWidget* Window) override {
        FMainWindow = Window;
        FMainWindowNamed = Window != nullptr;
    }

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Event->type() == QEvent::Expose && FPendingFocus && Watched == FPendingFocus->windowHandle()) {
            auto* Handle = static_cast<QWindow*>(Watched);
            if (Handle->isExposed()) {
                Handle->removeEventFilter(this);
                QWidget* Window = FPendingFocus;
                FPendingFocus = nullptr;
                QTimer::singleShot(0, Window, [Window] { Focus(Window); });
            }
            return false;
        }
        if (Event->type() != QEvent::WindowStateChange || FInternal) return false;
        QWidget* Window = qobject_cast<QWidget*>(Watched);
        if (!Window || !IsProgramWindow(Window)) return false;
        if (FMainWindowNamed && Window != FMainWindow) return false;
        const Qt::WindowStates Old = static_cast<QWindowStateChangeEvent*>(Event)->oldState();
        const bool Minimized = Window->windowState() & Qt::WindowMinimized;
        if (Minimized && !FMinimized) {
            // The user minimised one window: the program goes as a whole, as on the taskbar.
            TakeWindows(Window, Old);
            FMinimized = true;
            Internal([this, Window] {
                for (const TSavedWindow& Saved : FWindows)
                    if (Saved.Window && Saved.Window != Window) Saved.Window->showMinimized();
            });
            QTimer::singleShot(0, this, [this] {
                if (FMinimized && OnApplicationMinimize) OnApplicationMinimize();
            });
        } else if (!Minimized && (Old & Qt::WindowMinimized) && FMinimized && !FHidden) {
            FMinimized = false;
            Internal([this] { ShowWindows(); });
            QTimer::singleShot(0, this, [this] {
                if (!FMinimized && OnApplicationRestore) OnApplicationRestore();
            });
        }
        return false;
    }

private:
    struct TSavedWindow {
        QPointer<QWidget> Window;
        Qt::WindowStates State;
    };

    static bool IsProgramWindow(QWidget* Window) {
        if (!Window->isWindow() || Window->inherits("QSystemTrayIconSys")) return false;
        if (Window->windowFlags() & Qt::BypassWindowManagerHint) return false;
        const Qt::WindowType Type = Window->windowType();
        return Type == Qt::Window || Type == Qt::Dialog;
    }

    static std::vector<QWidget*> ProgramWindows() {
        std::vector<QWidget*> Windows;
        for (QWidget* Window : QApplication::topLevelWidgets())
            if (IsProgramWindow(Window) && Window->isVisible()) Windows.push_back(Window);
        return Windows;
    }

    // Remembers the windows on show and their states, to bring them back as they were.
    void TakeWindows(QWidget* Changed, Qt::WindowStates ChangedOldState) {
        FWindows.clear();
        FActive = QApplication::activeWindow();
        for (QWidget* Window : ProgramWindows()) {
            Qt::WindowStates State = Window == Changed ? ChangedOldState : Window->windowState();
            FWindows.push_back({Window, State & ~Qt::WindowMinimized});
        }
        if (Changed && !FActive) FActive = Changed;
    }

    void ShowWindows() {
        for (const TSavedWindow& Saved : FWindows) {
            if (!Saved.Window) continue;
            if (FMinimized) {
                Saved.Window->showMinimized();
            } else {
                Saved.Window->setWindowState(Saved.State);
                Saved.Window->show();
            }
        }
    }

    static void Focus(QWidget* Window) {
        Window->activateWindow();
        platform::FocusTopLevel(Window);
        // The toolkit keeps a window that was hidden with the focus as the focus window, so
        // activating it again changes nothing there: the program is told directly.
        if (QGuiApplication::focusWindow() == Window->windowHandle() &&
            QApplication::activeWindow() != Window) {
            QT_WARNING_PUSH
            QT_WARNING_DISABLE_DEPRECATED
            QApplication::setActiveWindow(Window);
            QT_WARNING_POP
        }
    }

    // A window shown a moment ago is put on the screen by the display server later, and only
    // then can it take the focus.
    void FocusWhenExposed(QWidget* Window) {
        QWindow* Handle = Window->windowHandle();
        if (!Handle) return;
        if (Handle->isExposed()) {
            Focus(Window);
            return;
        }
        FPendingFocus = Window;
        Handle->removeEventFilter(this);
        Handle->installEventFilter(this);
    }

    template <typename F>
    void Internal(F&& Action) {
        const bool Was = FInternal;
        FInternal = true;
        Action();
        FInternal = Was;
    }

    void Activated(QSystemTrayIcon::ActivationReason Reason) {
        switch (Reason) {
            case QSystemTrayIcon::Trigger:
                Report(TTrayMouseMessage::LButtonDown);
                Report(TTrayMouseMessage::LButtonUp);
                break;
            case QSystemTrayIcon::DoubleClick:
                Report(TTrayMouseMessage::LButtonDblClk);
                Report(TTrayMouseMessage::LButtonUp);
                break;
            case QSystemTrayIcon::Context:
                Report(TTrayMouseMessage::RButtonDown);
                Report(TTrayMouseMessage::RButtonUp);
                break;
            default: break;
        }
    }

    void Report(TTrayMouseMessage Message) {
        if (OnMouse) OnMouse(Message);
    }

    // Qt settles the kind of its tray icon once, when it first makes one: made only while no
    // StatusNotifierItem host runs, it is always of the XEmbed kind and never a second item.
    TTrayKind CurrentKind() {
        if (FItem.HostAvailable()) return TTrayKind::StatusNotifier;
        if (!FTray) {
            FTray = std::make_unique<QSystemTrayIcon>();
            connect(FTray.get(), &QSystemTrayIcon::activated, this, &TDesktopNotificationArea::Activated);
            connect(FTray.get(), &QSystemTrayIcon::messageClicked, this,
                    [this] { Report(TTrayMouseMessage::BalloonClick); });
        }
        return QSystemTrayIcon::isSystemTrayAvailable() ? TTrayKind::XEmbed : TTrayKind::None;
    }

    // A host that appears gets the icon again (through the owner); one that goes takes it along.
    void CheckTray() {
        const TTrayKind Kind = CurrentKind();
        if (Kind == FKind) return;
        FKind = Kind;
        DeleteIcon();
        if (Kind != TTrayKind::None) {
            if (OnTaskbarCreated) OnTaskbarCreated();
        } else if (OnTaskbarLost) {
            OnTaskbarLost();
        }
    }

    TStatusNotifierItem FItem;
    std::unique_ptr<QSystemTrayIcon> FTray;
    TTrayKind FKind = TTrayKind::None;
    QTimer FWatch;
    std::vector<TSavedWindow> FWindows;
    QPointer<QWidget> FActive;
    QPointer<QWidget> FPendingFocus;
    QPointer<QWidget> FMainWindow;
    bool FMainWindowNamed = false;
    bool FAdded = false;
    bool FMinimized = false;
    bool FHidden = false;
    bool FInternal = false;
};

}  // namespace

std::unique_ptr<TNotificationArea> CreateDesktopNotificationArea(const QString& BusAddress) {
    return std::make_unique<TDesktopNotificationArea>(BusAddress);
}

#include "NotificationArea.moc"
