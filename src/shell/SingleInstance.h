#pragma once

#include <QString>
#include <functional>
#include <memory>

class QWidget;
class TInstanceLock;

// The application's title, which the program never sets itself: the executable's file name
// without its folder, cut before its first ".", every character after the first in lower case.
QString ApplicationTitle(const QString& executablePath);

// The file this process runs from (symbolic links resolved); argv0 when the system cannot say.
QString ExecutablePath(const char* argv0);

// "PREVINST:" followed by the title: the name of the per-user single-instance lock.
QString InstanceName(const QString& title);

// Restores the window when it is minimised or hidden, otherwise raises and activates it, or the
// dialog it is waiting for when one is open.
void BringWindowForward(QWidget* window);

// The first-instance guard: one per process, kept for the whole run.
class TSingleInstanceGuard {
public:
    explicit TSingleInstanceGuard(const QString& title);
    ~TSingleInstanceGuard();
    TSingleInstanceGuard(const TSingleInstanceGuard&) = delete;
    TSingleInstanceGuard& operator=(const TSingleInstanceGuard&) = delete;

    // Takes the lock; true exactly when this process is the first instance. A lock that cannot
    // be made at all counts as another instance.
    bool FirstInstanceGuard();
    bool IsFirst() const;

    // Second instance: asks the first to come forward; nothing happens when there is none. Under
    // Wayland the first call hands on an activation token, for the first to take the focus with.
    void BringPreviousInstanceForward();

    // First instance: runs bringForward on the user-interface thread for each later start, with
    // the token that start brought kept for the window's next activation.
    void ServeForwardRequests(std::function<void()> bringForward);

private:
    std::unique_ptr<TInstanceLock> lock_;
    bool tokenSent_ = false;
};
