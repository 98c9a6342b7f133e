#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QIcon>
#include <QObject>
#include <QString>
#include <functional>
#include <vector>

class QDBusServiceWatcher;

// One picture of an item as the tray host reads it: width, height and ARGB32 pixels in network
// byte order (D-Bus signature (iiay)).
struct TStatusNotifierPixmap {
    int Width = 0;
    int Height = 0;
    QByteArray Pixels;
};
using TStatusNotifierPixmaps = QList<TStatusNotifierPixmap>;

// The tool tip of an item: icon name, icon pictures, title and text (D-Bus (sa(iiay)ss)).
struct TStatusNotifierToolTip {
    QString IconName;
    TStatusNotifierPixmaps Pixmaps;
    QString Title;
    QString Text;
};

QDBusArgument& operator<<(QDBusArgument& Argument, const TStatusNotifierPixmap& Pixmap);
const QDBusArgument& operator>>(const QDBusArgument& Argument, TStatusNotifierPixmap& Pixmap);
QDBusArgument& operator<<(QDBusArgument& Argument, const TStatusNotifierToolTip& ToolTip);
const QDBusArgument& operator>>(const QDBusArgument& Argument, TStatusNotifierToolTip& ToolTip);

Q_DECLARE_METATYPE(TStatusNotifierPixmap)
Q_DECLARE_METATYPE(TStatusNotifierToolTip)

// The pictures a host gets for an icon: one per size a panel may ask for, 16 to 64 pixels, so
// that a panel at twice the scale need not blow up the smallest.
TStatusNotifierPixmaps StatusNotifierPixmaps(const QIcon& Icon);

// The program's icon in a tray of the StatusNotifierItem kind (the D-Bus tray of most desktops
// today): an object on the session bus that a StatusNotifierWatcher hands on to the tray hosts.
// It follows the watcher's bus name, so a host that starts after the program, or restarts,
// gets the icon. Such a host knows a single activation (a click), no double-click.
class TStatusNotifierItem : public QObject {
    Q_OBJECT

public:
    // BusAddress: a D-Bus address to use instead of the session bus (a private bus in tests).
    explicit TStatusNotifierItem(const QString& Title, const QString& BusAddress = QString());
    ~TStatusNotifierItem() override;

    // A watcher with a tray host is on the bus.
    bool HostAvailable() const { return FHostAvailable; }
    // The item is on the bus and offered to the watcher.
    bool Shown() const { return FShown; }

    // Puts the item on the bus and offers it to the watcher; false without a bus.
    bool Show(const QIcon& Icon, const QString& ToolTip);
    void Update(const QIcon& Icon, const QString& ToolTip);
    void Hide();
    // Needed: the status "NeedsAttention" with that picture, for hosts that show such an item
    // apart or animated; otherwise "Active".
    void SetAttention(bool Needed, const QIcon& AttentionIcon);

    // The bus name the item is reachable under while shown.
    const QString& ServiceName() const { return FServiceName; }

    // What the host reports; each is skipped while unset.
    std::function<void()> OnActivate;
    std::function<void()> OnContextMenu;
    std::function<void()> OnHostChanged;  // HostAvailable() changed

    // Read by the bus adaptor.
    const QString& Title() const { return FTitle; }
    const TStatusNotifierPixmaps& Pixmaps() const { return FPixmaps; }
    const TStatusNotifierPixmaps& AttentionPixmaps() const { return FAttentionPixmaps; }
    QString Status() const;
    TStatusNotifierToolTip ToolTip() const;

signals:
    void NewIcon();
    void NewToolTip();
    void NewAttentionIcon();
    void NewStatus(const QString& Status);

private slots:
    void HostRegistered();

private:
    QDBusConnection Bus() const;
    void AskForHost();
    void SetHostAvailable(bool Available);
    void RegisterWithWatcher();

    QString FTitle;
    QString FConnectionName;
    QString FServiceName;
    QString FToolTipText;
    TStatusNotifierPixmaps FPixmaps;
    TStatusNotifierPixmaps FAttentionPixmaps;
    bool FNeedsAttention = false;
    QDBusServiceWatcher* FWatcher = nullptr;
    bool FHostAvailable = false;
    bool FShown = false;
};
