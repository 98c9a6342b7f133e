#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

namespace testing_support {

// A headless sway (wlroots), which has xdg-activation, started for one test and ended with the
// object. sway refuses to run as root, so under root it runs as "nobody" in a runtime folder of
// that user's own. New windows take the focus; an activation with a valid token does too.
class TSwayCompositor {
public:
    TSwayCompositor();
    ~TSwayCompositor();
    TSwayCompositor(const TSwayCompositor&) = delete;
    TSwayCompositor& operator=(const TSwayCompositor&) = delete;

    // The compositor answers on its sockets; otherwise Log() says why not.
    bool Running() const { return running_; }
    QString Log();

    // The Wayland socket's full path, usable as WAYLAND_DISPLAY from any runtime folder.
    QString Display() const { return display_; }
    // For a Qt client of this compositor: its own runtime folder, this display, the Wayland platform.
    QProcessEnvironment ClientEnvironment(const QString& runtimeFolder) const;

    // The layout tree (swaymsg -t get_tree); empty when sway did not answer.
    QJsonObject Tree() const;
    // The process of the window with the keyboard focus; -1 when no window has it.
    qint64 FocusedPid() const;
    // The windows (views) the process has on show.
    int WindowsOf(qint64 pid) const;
    // Runs a sway command (swaymsg); true when sway carried it out.
    bool Command(const QString& command) const;
    // Takes a picture of the whole output into a PNG file (grim).
    bool Screenshot(const QString& file) const;

private:
    QTemporaryDir runtime_;
    QProcess sway_;
    QString display_;
    QString ipc_;
    QString log_;
    bool running_ = false;
};

}  // namespace testing_support
