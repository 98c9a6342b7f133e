#include "platform/StatusNotifierItem.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QImage>
#include <QPixmap>
#include <QTimer>
#include <QtEndian>
#include <atomic>

namespace {

const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString WatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString WatcherInterface = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString ItemPath = QStringLiteral("/StatusNotifierItem");
const QString PropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

// The sizes panels ask for, from a plain 16-pixel panel to a large one at twice the scale.
constexpr int PixmapSizes[] = {16, 22, 24, 32, 48, 64};

// Only the first look at the bus waits for its answer (the daemon is local), so that the
// program does not start on the wrong kind of tray; later changes arrive as signals.
constexpr int FirstLookTimeoutMs = 500;
constexpr int CallTimeoutMs = 5000;

void RegisterTypes() {
    static const bool Registered = [] {
        qDBusRegisterMetaType<TStatusNotifierPixmap>();
        qDBusRegisterMetaType<TStatusNotifierPixmaps>();
        qDBusRegisterMetaType<TStatusNotifierToolTip>();
        return true;
    }();
    (void)Registered;
}

// The item's interface on the bus; its properties are read from the item each time.
class TStatusNotifierItemAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ Category)
    Q_PROPERTY(QString Id READ Id)
    Q_PROPERTY(QString Title READ Title)
    Q_PROPERTY(QString Status READ Status)
    Q_PROPERTY(int WindowId READ WindowId)
    Q_PROPERTY(QString IconName READ NoName)
    Q_PROPERTY(TStatusNotifierPixmaps IconPixmap READ IconPixmap)
    Q_PROPERTY(QString OverlayIconName READ NoName)
    Q_PROPERTY(TStatusNotifierPixmaps OverlayIconPixmap READ NoPixmaps)
    Q_PROPERTY(QString AttentionIconName READ NoName)
    Q_PROPERTY(TStatusNotifierPixmaps AttentionIconPixmap READ AttentionIconPixmap)
    Q_PROPERTY(QString AttentionMovieName READ NoName)
    Q_PROPERTY(TStatusNotifierToolTip ToolTip READ ToolTip)
    Q_PROPERTY(bool ItemIsMenu READ ItemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ Menu)

public:
    explicit TStatusNotifierItemAdaptor(TStatusNotifierItem* Item) : QDBusAbstractAdaptor(Item), FItem(Item) {
        setAutoRelaySignals(true);
    }

    QString Category() const { return QStringLiteral("Communications"); }
    QString Id() const { return QStringLiteral("quorvel"); }
    QString Title() const { return FItem->Title(); }
    QString Status() const { return FItem->Status(); }
    int WindowId() const { return 0; }
    QString NoName() const { return {}; }
    TStatusNotifierPixmaps IconPixmap() const { return FItem->Pixmaps(); }
    TStatusNotifierPixmaps NoPixmaps() const { return {}; }
    TStatusNotifierPixmaps AttentionIconPixmap() const { return FItem->AttentionPixmaps(); }
    TStatusNotifierToolTip ToolTip() const { return FItem->ToolTip(); }
    bool ItemIsMenu() const { return false; }
    QDBusObjectPath Menu() const { return QDBusObjectPath(QStringLiteral("/NO_DBUSMENU")); }

public slots:
    // The host's answer goes out first; the program acts on the click afterwards.
    void Activate(int, int) { Later(&TStatusNotifierItem::OnActivate); }
    void SecondaryActivate(int, int) {}
    void ContextMenu(int, int) { Later(&TStatusNotifierItem::OnContextMenu); }
    void Scroll(int, const QString&) {}
    // Sent by hosts on Wayland before an activation: the token lets the window come forward.
    void ProvideXdgActivationToken(const QString& Token) { qputenv("XDG_ACTIVATION_TOKEN", Token.toUtf8()); }

signals:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& Status);
    void NewMenu();

private:
    void Later(std::function<void()> TStatusNotifierItem::*Report) {
        QTimer::singleShot(0, FItem, [Item = FItem, Report] {
            if (Item->*Report) (Item->*Report)();
        });
    }

    TStatusNotifierItem* FItem;
};

}  // namespace

QDBusArgument& operator<<(QDBusArgument& Argument, const TStatusNotifierPixmap& Pixmap) {
    Argument.beginStructure();
    Argument << Pixmap.Width << Pixmap.Height << Pixmap.Pixels;
    Argument.endStructure();
    return Argument;
}

const QDBusArgument& operator>>(const QDBusArgument& Argument, TStatusNotifierPixmap& Pixmap) {
    Argument.beginStructure();
    Argument >> Pixmap.Width >> Pixmap.Height >> Pixmap.Pixels;
    Argument.endStructure();
    return Argument;
}

QDBusArgument& operator<<(QDBusArgument& Argument, const TStatusNotifierToolTip& ToolTip) {
    Argument.beginStructure();
    Argument << ToolTip.IconName << ToolTip.Pixmaps << ToolTip.Title << ToolTip.Text;
    Argument.endStructure();
    return Argument;
}

const QDBusArgument& operator>>(const QDBusArgument& Argument, TStatusNotifierToolTip& ToolTip) {
    Argument.beginStructure();
    Argument >> ToolTip.IconName >> ToolTip.Pixmaps >> ToolTip.Title >> ToolTip.Text;
    Argument.endStructure();
    return Argument;
}

TStatusNotifierPixmaps StatusNotifierPixmaps(const QIcon& Icon) {
    TStatusNotifierPixmaps Pixmaps;
    if (Icon.isNull()) return Pixmaps;
    for (const int Size : PixmapSizes) {
        QImage Image = Icon.pixmap(QSize(Size, Size), 1.0).toImage();
        if (Image.isNull()) continue;
        if (Image.width() != Size || Image.height() != Size) {
            // Whole multiples keep the small drawing's sharp edges; other sizes are smoothed.
            const bool Whole = Size % Image.width() == 0 && Size % Image.height() == 0;
            Image = Image.scaled(Size, Size, Qt::KeepAspectRatio,
                                 Whole ? Qt::FastTransformation : Qt::SmoothTransformation);
        }
        Image = Image.convertToFormat(QImage::Format_ARGB32);
        TStatusNotifierPixmap Pixmap;
        Pixmap.Width = Image.width();
        Pixmap.Height = Image.height();
        Pixmap.Pixels.resize(qsizetype(Image.width()) * Image.height() * 4);
        auto* Out = reinterpret_cast<quint32*>(Pixmap.Pixels.data());
        for (int y = 0; y < Image.height(); ++y) {
            const auto* Row = reinterpret_cast<const quint32*>(Image.constScanLine(y));
            for (int x = 0; x < Image.width(); ++x) *Out++ = qToBigEndian<quint32>(Row[x]);
        }
        Pixmaps.append(Pixmap);
    }
    return Pixmaps;
}

TStatusNotifierItem::TStatusNotifierItem(const QString& Title, const QString& BusAddress) : FTitle(Title) {
    RegisterTypes();
    // A connection of the item's own: its object path is the one hosts look for, and a second
    // item in the same process (tests) must not collide with the first.
    static std::atomic<int> Counter{0};
    FConnectionName = QStringLiteral("quorvel-tray-%1").arg(++Counter);
    if (BusAddress.isEmpty())
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, FConnectionName);
    else
        QDBusConnection::connectToBus(BusAddress, FConnectionName);
    static std::atomic<int> Instances{0};
    FServiceName = QStringLiteral("org.kde.StatusNotifierItem-%1-%2")
                       .arg(QCoreApplication::applicationPid())
                       .arg(++Instances);
    new TStatusNotifierItemAdaptor(this);
    QDBusConnection Connection = Bus();
    if (!Connection.isConnected()) return;
    FWatcher =
        new QDBusServiceWatcher(WatcherService, Connection, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(FWatcher, &QDBusServiceWatcher::serviceRegistered, this, [this] { AskForHost(); });
    connect(FWatcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] { SetHostAvailable(false); });
    Connection.connect(WatcherService, WatcherPath, WatcherInterface,
                       QStringLiteral("StatusNotifierHostRegistered"), this, SLOT(HostRegistered()));

    QDBusMessage Ask = QDBusMessage::createMethodCall(WatcherService, WatcherPath, PropertiesInterface,
                                                      QStringLiteral("Get"));
    Ask << WatcherInterface << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage Answer = Connection.call(Ask, QDBus::Block, FirstLookTimeoutMs);
    FHostAvailable = Answer.type() == QDBusMessage::ReplyMessage && !Answer.arguments().isEmpty() &&
                     Answer.arguments().first().value<QDBusVariant>().variant().toBool();
    // A watcher that was too slow to answer in time is asked again without waiting.
    if (!FHostAvailable) AskForHost();
}

TStatusNotifierItem::~TStatusNotifierItem() {
    Hide();
    QDBusConnection::disconnectFromBus(FConnectionName);
}

QDBusConnection TStatusNotifierItem::Bus() const {
    return QDBusConnection(FConnectionName);
}

TStatusNotifierToolTip TStatusNotifierItem::ToolTip() const {
    TStatusNotifierToolTip Tip;
    Tip.Title = FTitle;
    Tip.Text = FToolTipText;
    return Tip;
}

bool TStatusNotifierItem::Show(const QIcon& Icon, const QString& ToolTip) {
    QDBusConnection Connection = Bus();
    if (!Connection.isConnected()) return false;
    Update(Icon, ToolTip);
    if (!FShown) {
        if (!Connection.registerObject(ItemPath, this, QDBusConnection::ExportAdaptors)) return false;
        if (!Connection.registerService(FServiceName)) {
            Connection.unregisterObject(ItemPath);
            return false;
        }
        FShown = true;
    }
    RegisterWithWatcher();
    return true;
}

void TStatusNotifierItem::Update(const QIcon& Icon, const QString& ToolTip) {
    FPixmaps = StatusNotifierPixmaps(Icon);
    if (FShown) emit NewIcon();
    if (ToolTip != FToolTipText) {
        FToolTipText = ToolTip;
        if (FShown) emit NewToolTip();
    }
}

QString TStatusNotifierItem::Status() const {
    return FNeedsAttention ? QStringLiteral("NeedsAttention") : QStringLiteral("Active");
}

void TStatusNotifierItem::SetAttention(bool Needed, const QIcon& AttentionIcon) {
    if (Needed) {
        FAttentionPixmaps = StatusNotifierPixmaps(AttentionIcon);
        if (FShown) emit NewAttentionIcon();
    }
    if (Needed == FNeedsAttention) return;
    FNeedsAttention = Needed;
    if (FShown) emit NewStatus(Status());
}

// The watcher drops an item whose bus name goes away.
void TStatusNotifierItem::Hide() {
    if (!FShown) return;
    FShown = false;
    QDBusConnection Connection = Bus();
    Connection.unregisterService(FServiceName);
    Connection.unregisterObject(ItemPath);
}

void TStatusNotifierItem::AskForHost() {
    QDBusMessage Ask = QDBusMessage::createMethodCall(WatcherService, WatcherPath, PropertiesInterface,
                                                      QStringLiteral("Get"));
    Ask << WatcherInterface << QStringLiteral("IsStatusNotifierHostRegistered");
    auto* Pending = new QDBusPendingCallWatcher(Bus().asyncCall(Ask, CallTimeoutMs), this);
    connect(Pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* Done) {
        Done->deleteLater();
        const QDBusPendingReply<QDBusVariant> Reply = *Done;
        if (!Reply.isError() && Reply.value().variant().toBool()) SetHostAvailable(true);
    });
}

void TStatusNotifierItem::HostRegistered() {
    SetHostAvailable(true);
}

void TStatusNotifierItem::SetHostAvailable(bool Available) {
    if (Available == FHostAvailable) return;
    FHostAvailable = Available;
    if (OnHostChanged) OnHostChanged();
}

void TStatusNotifierItem::RegisterWithWatcher() {
    if (!FShown || !FHostAvailable) return;
    QDBusMessage Call = QDBusMessage::createMethodCall(WatcherService, WatcherPath, WatcherInterface,
                                                       QStringLiteral("RegisterStatusNotifierItem"));
    Call << FServiceName;
    // A refusal leaves nothing to do: the next watcher that appears is asked again.
    Bus().asyncCall(Call, CallTimeoutMs);
}

#include "StatusNotifierItem.moc"
