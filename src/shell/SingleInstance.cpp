#include "shell/SingleInstance.h"

#include <QApplication>
#include <QFileInfo>
#include <QWidget>

#include "platform/ActivationToken.h"
#include "platform/Autostart.h"
#include "platform/InstanceLock.h"
#include "platform/WindowFocus.h"

QString ApplicationTitle(const QString& executablePath) {
    QString title = QFileInfo(executablePath).fileName();
    const qsizetype dot = title.indexOf('.');
    if (dot >= 0) title.truncate(dot);
    if (title.size() > 1) title = title.left(1) + title.mid(1).toLower();
    // Window titles are read back with room for 511 characters.
    return title.left(511);
}

QString ExecutablePath(const char* argv0) {
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (!self.isEmpty()) return self;
    return argv0 ? QString::fromLocal8Bit(argv0) : QString();
}

QString InstanceName(const QString& title) {
    return QStringLiteral("PREVINST:") + title;
}

namespace {

// The dialog the window waits for: a modal box first, else another visible, enabled dialog.
QWidget* ActivePopup(QWidget* window) {
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != window && modal->isVisible())
        return modal;
    for (QWidget* candidate : QApplication::topLevelWidgets()) {
        if (candidate == window || !candidate->isVisible() || !candidate->isEnabled()) continue;
        const bool dialogLike = candidate->windowType() == Qt::Dialog || candidate->isModal() ||
                                candidate->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        if (dialogLike) return candidate;
    }
    return nullptr;
}

}  // namespace

void BringWindowForward(QWidget* window) {
    if (!window) return;
    if (window->isMinimized() || !window->isVisible()) {
        window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        window->show();
        window->raise();
        window->activateWindow();
        if (platform::ActivationTakesToken()) platform::FocusTopLevel(window);
        return;
    }
    window->raise();
    window->activateWindow();
    QWidget* focused = window;
    if (QWidget* popup = ActivePopup(window)) {
        popup->raise();
        popup->activateWindow();
        focused = popup;
    }
    platform::FocusTopLevel(focused);
}

TSingleInstanceGuard::TSingleInstanceGuard(const QString& title)
    : lock_(std::make_unique<TInstanceLock>(InstanceName(title))) {}

TSingleInstanceGuard::~TSingleInstanceGuard() = default;

bool TSingleInstanceGuard::FirstInstanceGuard() {
    return lock_->Acquire();
}

bool TSingleInstanceGuard::IsFirst() const {
    return lock_->IsFirst();
}

void TSingleInstanceGuard::BringPreviousInstanceForward() {
    if (lock_->IsFirst()) return;
    // A token is good for one activation: only the first request carries it.
    QString token;
    if (!tokenSent_)
        token = platform::ActivationTokenForAnotherInstance(QLatin1String(platform::DesktopEntryId));
    tokenSent_ = true;
    lock_->RequestForward(3000, token);
}

void TSingleInstanceGuard::ServeForwardRequests(std::function<void()> bringForward) {
    if (!lock_->IsFirst()) return;
    QObject::connect(lock_.get(), &TInstanceLock::ForwardRequested, lock_.get(),
                     [bringForward = std::move(bringForward)](const QString& token) {
                         platform::KeepActivationToken(token);
                         bringForward();
                     });
    lock_->Listen();
}
