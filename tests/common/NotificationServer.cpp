#include "NotificationServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <algorithm>

#include "ProgramHarness.h"

namespace testing_support {

namespace {

// A session bus that starts no service by itself (the machine's dunst would be, otherwise,
// whenever a test wants no server at all).
const char* const BusConfig = QUORVEL_SOURCE_DIR "/scripts/private-session-bus.conf";

void Stop(std::unique_ptr<QProcess>& process) {
    if (!process || process->state() == QProcess::NotRunning) return;
    process->terminate();
    if (!process->waitForFinished(5000)) {
        process->kill();
        process->waitForFinished(5000);
    }
}

}  // namespace

QString InstallProgramIcon(const QString& share) {
    const QString apps = QDir(share).filePath("icons/hicolor/scalable/apps");
    if (!QDir().mkpath(apps)) return {};
    const QString icon = QDir(apps).filePath("quorvel.svg");
    if (!QFile::exists(icon) &&
        !QFile::copy(QStringLiteral(QUORVEL_SOURCE_DIR "/data/icons/hicolor/scalable/apps/quorvel.svg"),
                     icon))
        return {};
    return apps;
}

TNotificationServer::TNotificationServer(bool withDunst, const QString& iconPath) {
    if (!folder_.isValid()) return;
    bus_ = std::make_unique<QProcess>();
    bus_->start("dbus-daemon", {QStringLiteral("--config-file=") + BusConfig, "--nofork", "--nopidfile",
                                "--print-address=1"});
    if (!bus_->waitForStarted(10000)) return;
    QElapsedTimer clock;
    clock.start();
    while (!bus_->canReadLine() && clock.elapsed() < 10000 && bus_->state() == QProcess::Running)
        bus_->waitForReadyRead(200);
    address_ = QString::fromLocal8Bit(bus_->readLine()).trimmed();
    if (address_.isEmpty() || !withDunst) return;

    const QString dunstrc = folder_.filePath("dunstrc");
    {
        QFile file(dunstrc);
        if (!file.open(QIODevice::WriteOnly)) return;
        QString text = QStringLiteral(
            "[global]\n"
            "    font = Liberation Sans 11\n"
            "    width = 360\n"
            "    offset = 16x48\n"
            "    frame_width = 2\n"
            "    frame_color = \"#6a4e00\"\n"
            "    padding = 10\n"
            "    horizontal_padding = 10\n"
            "    max_icon_size = 48\n"
            "    markup = full\n"
            "    format = \"<b>%s</b>\\n%b\"\n"
            "    show_indicators = no\n");
        if (!iconPath.isEmpty()) text += QStringLiteral("    icon_path = %1\n").arg(iconPath);
        // Nothing expires while a test looks at it.
        text += QStringLiteral(
            "[urgency_low]\n    timeout = 0\n"
            "[urgency_normal]\n    background = \"#fff8dc\"\n    foreground = \"#202020\"\n    timeout = 0\n"
            "[urgency_critical]\n    timeout = 0\n");
        file.write(text.toUtf8());
    }
    dunst_ = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", address_);
    dunst_->setProcessEnvironment(environment);
    dunst_->setProcessChannelMode(QProcess::MergedChannels);
    dunst_->start("dunst", {"-config", dunstrc});
    if (!dunst_->waitForStarted(10000)) return;
    // dunst owns the service name once dunstctl can talk to it.
    WaitUntil([&] { return Displayed() >= 0 || dunst_->state() != QProcess::Running; },
              std::chrono::seconds(15));
}

TNotificationServer::~TNotificationServer() {
    Stop(dunst_);
    Stop(bus_);
}

bool TNotificationServer::Running() const {
    if (address_.isEmpty() || !bus_ || bus_->state() != QProcess::Running) return false;
    return !dunst_ || dunst_->state() == QProcess::Running;
}

QString TNotificationServer::Dunstctl(const QStringList& arguments) const {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", address_);
    process.setProcessEnvironment(environment);
    process.start("dunstctl", arguments);
    if (!process.waitForStarted(10000)) return {};
    // The event loop goes on meanwhile: the program under test may be the one that is asked.
    WaitUntil([&] { return process.state() == QProcess::NotRunning; }, std::chrono::seconds(15));
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    if (process.exitCode() != 0) return {};
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

int TNotificationServer::Displayed() const {
    bool ok = false;
    const int count = Dunstctl({"count", "displayed"}).trimmed().toInt(&ok);
    return ok ? count : -1;
}

bool TNotificationServer::WaitDisplayed(int count, int timeoutMs) const {
    return WaitUntil([&] { return Displayed() == count; }, std::chrono::milliseconds(timeoutMs));
}

std::vector<TReceivedNotification> TNotificationServer::Received() const {
    Dunstctl({"close-all"});
    const QJsonDocument history = QJsonDocument::fromJson(Dunstctl({"history"}).toUtf8());
    std::vector<TReceivedNotification> received;
    const QJsonArray groups = history.object().value("data").toArray();
    for (const QJsonValue& group : groups)
        for (const QJsonValue& entry : group.toArray()) {
            const QJsonObject fields = entry.toObject();
            auto text = [&](const char* name) {
                return fields.value(name).toObject().value("data").toString();
            };
            TReceivedNotification n;
            n.Id = fields.value("id").toObject().value("data").toInt();
            n.AppName = text("appname");
            n.Summary = text("summary");
            n.Body = text("body");
            n.IconPath = text("icon_path");
            n.DefaultAction = text("default_action_name");
            received.push_back(n);
        }
    std::sort(received.begin(), received.end(),
              [](const TReceivedNotification& a, const TReceivedNotification& b) { return a.Id < b.Id; });
    return received;
}

bool TNotificationServer::InvokeDefault(int position) const {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", address_);
    process.setProcessEnvironment(environment);
    process.start("dunstctl", {"action", QString::number(position)});
    if (!process.waitForStarted(10000)) return false;
    WaitUntil([&] { return process.state() == QProcess::NotRunning; }, std::chrono::seconds(15));
    return process.state() == QProcess::NotRunning && process.exitCode() == 0;
}

}  // namespace testing_support
