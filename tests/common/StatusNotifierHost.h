#pragma once

#include <QDBusConnection>
#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <vector>

namespace testing_support {

// A tray host of the StatusNotifierItem kind, as a panel runs it: it owns the watcher's name
// (org.kde.StatusNotifierWatcher) on the given bus, takes the items that register, reads their
// properties and clicks them. It talks over a connection of its own, and every call waits in
// the event loop, so the program under test can answer from the same thread.
class TStatusNotifierHost : public QObject {
    Q_OBJECT

public:
    explicit TStatusNotifierHost(const QString& busAddress);
    ~TStatusNotifierHost() override;

    // The watcher's name is ours; false when the bus refused it.
    bool Running() const { return running_; }
    // The bus names of the items that registered, oldest first.
    const QStringList& Items() const { return items_; }
    // Waits until that many items have registered.
    bool WaitForItems(int count) const;

    // All properties of the item (org.freedesktop.DBus.Properties.GetAll); empty on failure.
    QVariantMap Properties(int item = 0) const;
    // The pictures in a pixmap property (a(iiay)), decoded.
    static std::vector<QImage> Pictures(const QVariant& property);
    // The tool tip property's title and text.
    static QStringList ToolTipTexts(const QVariant& property);
    // Calls a method of the item with the position of the click; false when the call failed.
    bool Call(const QString& method, int item = 0) const;
    // How often the item announced a new icon.
    int NewIcons() const { return newIcons_; }

    // The watcher's interface, called by the items over the bus.
    void Register(const QString& service, const QString& sender);

private slots:
    void OnNewIcon();

private:
    QString connectionName_;
    QStringList items_;
    bool running_ = false;
    int newIcons_ = 0;
};

}  // namespace testing_support
