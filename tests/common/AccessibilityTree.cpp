#include "AccessibilityTree.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <atomic>

#include "EventLoopWait.h"

namespace testing_support {

namespace {

const QString Accessible = QStringLiteral("org.a11y.atspi.Accessible");

QDBusMessage Await(const QString& connectionName, const QDBusMessage& call) {
    const QDBusConnection bus(connectionName);
    QDBusPendingCall pending = bus.asyncCall(call, 10000);
    WaitUntil([&] { return pending.isFinished(); }, std::chrono::seconds(15));
    if (!pending.isFinished()) return {};
    return pending.reply();
}

std::vector<TAccessible> ReadReferences(const QVariant& value) {
    std::vector<TAccessible> objects;
    if (!value.canConvert<QDBusArgument>()) return objects;
    const auto argument = value.value<QDBusArgument>();
    argument.beginArray();
    while (!argument.atEnd()) {
        TAccessible object;
        QDBusObjectPath path;
        argument.beginStructure();
        argument >> object.service >> path;
        argument.endStructure();
        object.path = path.path();
        objects.push_back(object);
    }
    argument.endArray();
    return objects;
}

}  // namespace

TAccessibilityTree::TAccessibilityTree(const QString& busAddress) {
    static std::atomic<int> count{0};
    connectionName_ = QStringLiteral("accessibility-reader-%1").arg(++count);
    QDBusConnection::connectToBus(busAddress, connectionName_);
}

TAccessibilityTree::~TAccessibilityTree() {
    QDBusConnection::disconnectFromBus(connectionName_);
}

std::vector<TAccessible> TAccessibilityTree::Applications() const {
    return Children(
        {QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("/org/a11y/atspi/accessible/root")});
}

std::vector<TAccessible> TAccessibilityTree::Children(const TAccessible& object) const {
    const QDBusMessage reply =
        Await(connectionName_, QDBusMessage::createMethodCall(object.service, object.path, Accessible,
                                                              QStringLiteral("GetChildren")));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return ReadReferences(reply.arguments().first());
}

QVariant TAccessibilityTree::Property(const TAccessible& object, const QString& interface,
                                      const QString& name) const {
    QDBusMessage call = QDBusMessage::createMethodCall(object.service, object.path,
                                                       QStringLiteral("org.freedesktop.DBus.Properties"),
                                                       QStringLiteral("Get"));
    call << interface << name;
    const QDBusMessage reply = Await(connectionName_, call);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return reply.arguments().first().value<QDBusVariant>().variant();
}

QString TAccessibilityTree::Name(const TAccessible& object) const {
    return Property(object, Accessible, QStringLiteral("Name")).toString();
}

QString TAccessibilityTree::Description(const TAccessible& object) const {
    return Property(object, Accessible, QStringLiteral("Description")).toString();
}

QString TAccessibilityTree::Role(const TAccessible& object) const {
    const QDBusMessage reply =
        Await(connectionName_, QDBusMessage::createMethodCall(object.service, object.path, Accessible,
                                                              QStringLiteral("GetRoleName")));
    return reply.arguments().isEmpty() ? QString() : reply.arguments().first().toString();
}

QString TAccessibilityTree::Text(const TAccessible& object) const {
    QDBusMessage call = QDBusMessage::createMethodCall(
        object.service, object.path, QStringLiteral("org.a11y.atspi.Text"), QStringLiteral("GetText"));
    call << 0 << -1;
    const QDBusMessage reply = Await(connectionName_, call);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return reply.arguments().first().toString();
}

QStringList TAccessibilityTree::Actions(const TAccessible& object) const {
    const QString interface = QStringLiteral("org.a11y.atspi.Action");
    const int count = Property(object, interface, QStringLiteral("NActions")).toInt();
    QStringList names;
    for (int i = 0; i < count; ++i) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(object.service, object.path, interface, QStringLiteral("GetName"));
        call << i;
        const QDBusMessage reply = Await(connectionName_, call);
        if (!reply.arguments().isEmpty()) names << reply.arguments().first().toString();
    }
    return names;
}

TAccessible TAccessibilityTree::Find(const TAccessible& from,
                                     const std::function<bool(const TAccessible&)>& condition,
                                     int depth) const {
    if (condition(from)) return from;
    if (depth <= 0) return {};
    for (const TAccessible& child : Children(from))
        if (TAccessible found = Find(child, condition, depth - 1); found.Valid()) return found;
    return {};
}

QString TAccessibilityTree::Dump(const TAccessible& from, int depth) const {
    QString out;
    DumpInto(from, 0, depth, out);
    return out;
}

void TAccessibilityTree::DumpInto(const TAccessible& object, int level, int depth, QString& out) const {
    if (level >= depth) return;
    for (const TAccessible& child : Children(object)) {
        QString says = Name(child);
        if (says.isEmpty()) says = Text(child);
        out += QString(level * 2, u' ') + Role(child) + QStringLiteral(" '") + says + u'\'';
        if (const QString description = Description(child); !description.isEmpty())
            out += QStringLiteral(" (") + description + u')';
        out += u'\n';
        DumpInto(child, level + 1, depth, out);
    }
}

}  // namespace testing_support
