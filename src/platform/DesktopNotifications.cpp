#include "platform/DesktopNotifications.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>
#include <atomic>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");
// A server that does not answer within this time is taken as absent for that call.
constexpr int CallTimeout = 5000;

}  // namespace

// The pixels of a picture in the form of the "image-data" hint: width, height, row stride,
// alpha, bits per sample, channels, data (RGBA, 8 bits a sample).
struct TNotifyImage {
    QImage Image;
};
Q_DECLARE_METATYPE(TNotifyImage)

QDBusArgument& operator<<(QDBusArgument& argument, const TNotifyImage& picture) {
    const QImage image = picture.Image.convertToFormat(QImage::Format_RGBA8888);
    argument.beginStructure();
    argument << image.width() << image.height() << static_cast<int>(image.bytesPerLine()) << true << 8 << 4
             << QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes());
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, TNotifyImage& picture) {
    int width = 0, height = 0, stride = 0, bits = 0, channels = 0;
    bool alpha = false;
    QByteArray data;
    argument.beginStructure();
    argument >> width >> height >> stride >> alpha >> bits >> channels >> data;
    argument.endStructure();
    if (width > 0 && height > 0 && channels == 4 && bits == 8 && data.size() >= stride * height)
        picture.Image = QImage(reinterpret_cast<const uchar*>(data.constData()), width, height, stride,
                               QImage::Format_RGBA8888)
                            .copy();
    return argument;
}

TDesktopNotifications::TDesktopNotifications(QObject* parent) : QObject(parent) {
    static const bool registered = [] {
        qDBusRegisterMetaType<TNotifyImage>();
        return true;
    }();
    (void)registered;
}

TDesktopNotifications::~TDesktopNotifications() {
    if (!connectionName_.isEmpty()) QDBusConnection::disconnectFromBus(connectionName_);
}

void TDesktopNotifications::SetAddress(const QString& address) {
    if (address == address_) return;
    if (subscribed_) {
        QDBusConnection bus = Bus();
        bus.disconnect(Service, Path, Interface, "ActionInvoked", this, SLOT(OnActionInvoked(uint, QString)));
        bus.disconnect(Service, Path, Interface, "NotificationClosed", this,
                       SLOT(OnNotificationClosed(uint, uint)));
        bus.disconnect(Service, Path, Interface, "ActivationToken", this,
                       SLOT(OnActivationToken(uint, QString)));
    }
    if (!connectionName_.isEmpty()) QDBusConnection::disconnectFromBus(connectionName_);
    connectionName_.clear();
    address_ = address;
    subscribed_ = false;
    capabilitiesKnown_ = false;
    capabilities_.clear();
    ours_.clear();
}

QDBusConnection TDesktopNotifications::Bus() const {
    if (connectionName_.isEmpty()) return QDBusConnection::sessionBus();
    return QDBusConnection(connectionName_);
}

bool TDesktopNotifications::EnsureBus() {
    if (!address_.isEmpty() && connectionName_.isEmpty()) {
        static std::atomic<int> counter{0};
        connectionName_ = QStringLiteral("quorvel-notifications-%1").arg(++counter);
        QDBusConnection::connectToBus(address_, connectionName_);
    }
    QDBusConnection bus = Bus();
    if (!bus.isConnected()) return false;
    if (!subscribed_) {
        // The signals of the service, whichever process owns its name now or later.
        bus.connect(Service, Path, Interface, "ActionInvoked", this, SLOT(OnActionInvoked(uint, QString)));
        bus.connect(Service, Path, Interface, "NotificationClosed", this,
                    SLOT(OnNotificationClosed(uint, uint)));
        bus.connect(Service, Path, Interface, "ActivationToken", this,
                    SLOT(OnActivationToken(uint, QString)));
        subscribed_ = true;
    }
    return true;
}

void TDesktopNotifications::Show(const TDesktopNotice& notice, std::function<void(uint32_t)> shown) {
    if (!EnsureBus()) return;
    if (capabilitiesKnown_) {
        Send(notice, std::move(shown));
        return;
    }
    // The capabilities decide how the body is written; they are asked once per server.
    waiting_.emplace_back(notice, std::move(shown));
    if (capabilitiesAsked_) return;
    capabilitiesAsked_ = true;
    const QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, "GetCapabilities");
    auto* watcher = new QDBusPendingCallWatcher(Bus().asyncCall(call, CallTimeout), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        capabilitiesAsked_ = false;
        auto waiting = std::move(waiting_);
        waiting_.clear();
        const QDBusPendingReply<QStringList> reply = *done;
        // No service (or a broken one): what waited is dropped; the next notice asks again.
        if (reply.isError()) return;
        capabilities_ = reply.value();
        capabilitiesKnown_ = true;
        for (auto& [notice, shown] : waiting) Send(notice, std::move(shown));
    });
}

void TDesktopNotifications::Send(const TDesktopNotice& notice, std::function<void(uint32_t)> shown) {
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, "Notify");
    QStringList actions;
    if (!notice.DefaultActionLabel.isEmpty())
        actions << QStringLiteral("default") << notice.DefaultActionLabel;
    call << QString::fromLatin1(AppName) << static_cast<uint>(notice.ReplacesId) << notice.AppIcon
         << notice.Summary << BodyText(notice.Body, capabilities_.contains(QStringLiteral("body-markup")))
         << actions << Hints(notice) << static_cast<int>(notice.Timeout);
    auto* watcher = new QDBusPendingCallWatcher(Bus().asyncCall(call, CallTimeout), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, shown = std::move(shown)](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                const QDBusPendingReply<uint> reply = *done;
                if (reply.isError()) {
                    // The server may have gone: ask its successor for its capabilities again.
                    capabilitiesKnown_ = false;
                    return;
                }
                const uint32_t id = reply.value();
                ours_.insert(id);
                if (shown) shown(id);
            });
}

void TDesktopNotifications::Close(uint32_t id) {
    if (!ours_.count(id) || !EnsureBus()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, "CloseNotification");
    call << static_cast<uint>(id);
    Bus().asyncCall(call, CallTimeout);
}

QVariantMap TDesktopNotifications::Hints(const TDesktopNotice& notice) {
    QVariantMap hints;
    if (!notice.DesktopEntry.isEmpty()) hints.insert(QStringLiteral("desktop-entry"), notice.DesktopEntry);
    if (notice.AppIcon.isEmpty() && !notice.Image.isNull())
        hints.insert(QStringLiteral("image-data"), QVariant::fromValue(TNotifyImage{notice.Image}));
    return hints;
}

QString TDesktopNotifications::BodyText(const QString& plain, bool serverReadsMarkup) {
    if (!serverReadsMarkup) return plain;
    QString escaped;
    escaped.reserve(plain.size());
    for (const QChar c : plain) {
        if (c == u'&')
            escaped += QStringLiteral("&amp;");
        else if (c == u'<')
            escaped += QStringLiteral("&lt;");
        else if (c == u'>')
            escaped += QStringLiteral("&gt;");
        else
            escaped += c;
    }
    return escaped;
}

bool TDesktopNotifications::ThemeIconInstalled(const QString& name) {
    static const char* const folders[] = {"scalable", "256x256", "128x128", "64x64", "48x48", "32x32"};
    for (const QString& data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        for (const char* folder : folders)
            for (const char* suffix : {".svg", ".png"}) {
                const QString file =
                    QDir(data).filePath(QStringLiteral("icons/hicolor/%1/apps/%2%3")
                                            .arg(QLatin1String(folder), name, QLatin1String(suffix)));
                if (QFileInfo(file).isFile()) return true;
            }
    return false;
}

void TDesktopNotifications::OnActionInvoked(uint id, const QString& action) {
    if (ours_.count(id)) emit ActionInvoked(id, action);
}

void TDesktopNotifications::OnNotificationClosed(uint id, uint reason) {
    if (ours_.erase(id)) emit Closed(id, reason);
}

void TDesktopNotifications::OnActivationToken(uint id, const QString& token) {
    // On Wayland the compositor lets the window that shows the message come forward only with
    // the token the server handed out for the click; Qt takes it from the environment.
    if (ours_.count(id) && QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
}
