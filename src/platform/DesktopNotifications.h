#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <cstdint>
#include <functional>
#include <set>

class QDBusConnection;

// One pop-up as the program asks for it.
struct TDesktopNotice {
    QString Summary;
    QString Body;          // plain text: escaped when the server reads markup in bodies
    QString AppIcon;       // an icon name of the icon theme or a file URL; empty: none
    QImage Image;          // sent as the "image-data" hint, only when AppIcon is empty
    QString DesktopEntry;  // the "desktop-entry" hint (the desktop file's name without .desktop)
    QString DefaultActionLabel = QStringLiteral("Open");  // empty: no default action
    uint32_t ReplacesId = 0;  // an earlier notification of ours that this one replaces
    int32_t Timeout = -1;     // milliseconds; -1: the server's choice
};

// The freedesktop notification service (org.freedesktop.Notifications on the session bus),
// talked to with Qt D-Bus. This is the only place of the program that talks D-Bus to it.
//
// Nothing here fails loudly: without a bus, without a service or with a service that answers
// with an error, a notice is simply not shown and its callback is not called. Calls are
// asynchronous, so a hung service never blocks the user-interface thread. The bus is opened at
// the first Show, so a program that never notifies never touches D-Bus.
class TDesktopNotifications : public QObject {
    Q_OBJECT
public:
    static constexpr const char* AppName = "Quorvel";

    explicit TDesktopNotifications(QObject* parent = nullptr);
    ~TDesktopNotifications() override;

    // A D-Bus address (as in DBUS_SESSION_BUS_ADDRESS) to use instead of the session bus; for
    // tests that run a notification server on a private bus. Takes effect at the next Show.
    void SetAddress(const QString& address);

    // Sends the notice. `shown` gets the server's id once the server has taken it.
    void Show(const TDesktopNotice& notice, std::function<void(uint32_t id)> shown = {});
    // Withdraws a notification that is still on show.
    void Close(uint32_t id);

    // What the server said it can do (its GetCapabilities), once asked; empty before.
    QStringList Capabilities() const { return capabilities_; }

    // The Notify arguments' hints for a notice (public for tests).
    static QVariantMap Hints(const TDesktopNotice& notice);
    // The body as sent: plain text escaped for a server that reads markup.
    static QString BodyText(const QString& plain, bool serverReadsMarkup);
    // The installed icon of the program (hicolor theme, name "quorvel") is found in the XDG
    // data folders: the notice can name it instead of sending its pixels.
    static bool ThemeIconInstalled(const QString& name);

signals:
    // The user chose an action of one of our notifications ("default": clicked the pop-up).
    void ActionInvoked(uint32_t id, const QString& action);
    // One of our notifications went away (the protocol's reasons: 1 expired,
    // 2 dismissed, 3 closed by a call, 4 other).
    void Closed(uint32_t id, uint32_t reason);

private slots:
    void OnActionInvoked(uint id, const QString& action);
    void OnNotificationClosed(uint id, uint reason);
    void OnActivationToken(uint id, const QString& token);

private:
    bool EnsureBus();
    QDBusConnection Bus() const;
    void Send(const TDesktopNotice& notice, std::function<void(uint32_t)> shown);

    QString address_;
    QString connectionName_;
    bool subscribed_ = false;
    bool capabilitiesAsked_ = false;
    bool capabilitiesKnown_ = false;
    QStringList capabilities_;
    // Notices that wait for the capabilities' answer.
    std::vector<std::pair<TDesktopNotice, std::function<void(uint32_t)>>> waiting_;
    std::set<uint32_t> ours_;  // ids the server gave our notifications and not yet closed
};
