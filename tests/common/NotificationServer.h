#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <vector>

namespace testing_support {

// Installs the program's scalable icon below that data folder (one of XDG_DATA_DIRS) as the
// package does; gives the icon's folder (for dunst's icon_path), empty when it failed.
QString InstallProgramIcon(const QString& share);

// One notification as the server received it (dunst's history).
struct TReceivedNotification {
    int Id = 0;
    QString AppName;
    QString Summary;
    QString Body;           // as sent: markup-escaped for a server that reads markup
    QString IconPath;       // the file the server found for the icon name; empty: none
    QString DefaultAction;  // the name of the default action ("default"); empty: none
};

// A private D-Bus session bus (dbus-daemon with a configuration of its own that starts no
// service by itself) and, with `withDunst`, Debian's dunst serving org.freedesktop.Notifications
// on it, shown on $DISPLAY. Notifications stay on show until closed. Both end with the object.
class TNotificationServer {
public:
    // iconPath: folders where dunst looks for icons by name (dunst's "icon_path").
    explicit TNotificationServer(bool withDunst = true, const QString& iconPath = QString());
    ~TNotificationServer();
    TNotificationServer(const TNotificationServer&) = delete;
    TNotificationServer& operator=(const TNotificationServer&) = delete;

    bool Running() const;
    QString Address() const { return address_; }  // the bus, for DBUS_SESSION_BUS_ADDRESS

    // Notifications on show now (dunstctl count displayed); -1 when dunstctl fails.
    int Displayed() const;
    // Waits while the event loop runs until that many are on show.
    bool WaitDisplayed(int count, int timeoutMs = 20000) const;
    // Everything received so far, oldest first. Closes what is on show (it goes to the history).
    std::vector<TReceivedNotification> Received() const;
    // Clicks the notification on show at that position (dunstctl action): its default action.
    bool InvokeDefault(int position = 0) const;
    // Runs dunstctl on this bus and gives its output.
    QString Dunstctl(const QStringList& arguments) const;

private:
    QTemporaryDir folder_;
    std::unique_ptr<QProcess> bus_;
    std::unique_ptr<QProcess> dunst_;
    QString address_;
};

}  // namespace testing_support
