#include "StatusNotifierHost.h"

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <atomic>

#include "EventLoopWait.h"

namespace testing_support {

namespace {

const QString ItemInterface = QStringLiteral("org.kde.StatusNotifierItem");

// The watcher's side of the protocol, exported by the host.
class TWatcherAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ RegisteredStatusNotifierItems)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ IsStatusNotifierHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ ProtocolVersion)

public:
    explicit TWatcherAdaptor(TStatusNotifierHost* host) : QDBusAbstractAdaptor(host), host_(host) {}

    QStringList RegisteredStatusNotifierItems() const { return host_->Items(); }
    bool IsStatusNotifierHostRegistered() const { return true; }
    int ProtocolVersion() const { return 0; }

public slots:
    void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message) {
        host_->Register(service, message.service());
    }
    void RegisterStatusNotifierHost(const QString&) {}

signals:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierItemUnregistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    TStatusNotifierHost* host_;
};

// Waits in the event loop for the answer: the item may live in this very thread.
QDBusMessage Await(const QDBusConnection& bus, const QDBusMessage& call) {
    QDBusPendingCall pending = bus.asyncCall(call, 10000);
    WaitUntil([&] { return pending.isFinished(); }, std::chrono::seconds(15));
    if (!pending.isFinished()) return {};
    return pending.reply();
}

// Pictures as the protocol sends them (a(iiay)): ARGB32 in network byte order.
std::vector<QImage> ReadPictures(const QDBusArgument& argument) {
    std::vector<QImage> pictures;
    argument.beginArray();
    while (!argument.atEnd()) {
        int width = 0, height = 0;
        QByteArray pixels;
        argument.beginStructure();
        argument >> width >> height >> pixels;
        argument.endStructure();
        if (width <= 0 || height <= 0 || pixels.size() != qsizetype(width) * height * 4) continue;
        QImage image(width, height, QImage::Format_ARGB32);
        const auto* bytes = reinterpret_cast<const uchar*>(pixels.constData());
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x, bytes += 4)
                image.setPixel(x, y, qRgba(bytes[1], bytes[2], bytes[3], bytes[0]));
        pictures.push_back(image);
    }
    argument.endArray();
    return pictures;
}

}  // namespace

TStatusNotifierHost::TStatusNotifierHost(const QString& busAddress) {
    static std::atomic<int> counter{0};
    connectionName_ = QStringLiteral("test-tray-host-%1").arg(++counter);
    QDBusConnection bus = QDBusConnection::connectToBus(busAddress, connectionName_);
    if (!bus.isConnected()) return;
    new TWatcherAdaptor(this);
    running_ =
        bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), this, QDBusConnection::ExportAdaptors) &&
        bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
}

TStatusNotifierHost::~TStatusNotifierHost() {
    QDBusConnection::disconnectFromBus(connectionName_);
}

void TStatusNotifierHost::Register(const QString& service, const QString& sender) {
    // Some items name their object path and leave the bus name to the sender.
    const QString name = service.startsWith('/') ? sender : service;
    if (items_.contains(name)) return;
    items_.append(name);
    QDBusConnection(connectionName_)
        .connect(name, QStringLiteral("/StatusNotifierItem"), ItemInterface, QStringLiteral("NewIcon"), this,
                 SLOT(OnNewIcon()));
}

void TStatusNotifierHost::OnNewIcon() {
    ++newIcons_;
}

bool TStatusNotifierHost::WaitForItems(int count) const {
    return WaitUntil([&] { return items_.size() >= count; }, std::chrono::seconds(15));
}

QVariantMap TStatusNotifierHost::Properties(int item) const {
    if (item >= items_.size()) return {};
    QDBusMessage call = QDBusMessage::createMethodCall(items_[item], QStringLiteral("/StatusNotifierItem"),
                                                       QStringLiteral("org.freedesktop.DBus.Properties"),
                                                       QStringLiteral("GetAll"));
    call << ItemInterface;
    const QDBusMessage reply = Await(QDBusConnection(connectionName_), call);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return qdbus_cast<QVariantMap>(reply.arguments().first());
}

std::vector<QImage> TStatusNotifierHost::Pictures(const QVariant& property) {
    return ReadPictures(property.value<QDBusArgument>());
}

QStringList TStatusNotifierHost::ToolTipTexts(const QVariant& property) {
    const QDBusArgument argument = property.value<QDBusArgument>();
    QString iconName, title, text;
    argument.beginStructure();
    argument >> iconName;
    ReadPictures(argument);
    argument >> title >> text;
    argument.endStructure();
    return {title, text};
}

bool TStatusNotifierHost::Call(const QString& method, int item) const {
    if (item >= items_.size()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(items_[item], QStringLiteral("/StatusNotifierItem"),
                                                       ItemInterface, method);
    call << 10 << 10;
    return Await(QDBusConnection(connectionName_), call).type() == QDBusMessage::ReplyMessage;
}

}  // namespace testing_support

#include "StatusNotifierHost.moc"
