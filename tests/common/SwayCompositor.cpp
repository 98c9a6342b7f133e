#include "common/SwayCompositor.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include "common/EventLoopWait.h"

namespace testing_support {

namespace {

constexpr uid_t NobodyId = 65534;

// The focused window's process, searched depth first through nodes and floating nodes.
qint64 FocusedPidIn(const QJsonObject& node) {
    if (node.value("focused").toBool() && node.contains("pid")) return node.value("pid").toInteger(-1);
    for (const char* children : {"nodes", "floating_nodes"})
        for (const QJsonValue child : node.value(children).toArray())
            if (const qint64 pid = FocusedPidIn(child.toObject()); pid >= 0) return pid;
    return -1;
}

int WindowsIn(const QJsonObject& node, qint64 pid) {
    int count = node.value("pid").toInteger(-1) == pid ? 1 : 0;
    for (const char* children : {"nodes", "floating_nodes"})
        for (const QJsonValue child : node.value(children).toArray())
            count += WindowsIn(child.toObject(), pid);
    return count;
}

}  // namespace

TSwayCompositor::TSwayCompositor() {
    if (!runtime_.isValid()) return;
    const bool asRoot = geteuid() == 0;
    QFile config(runtime_.filePath("config"));
    if (!config.open(QIODevice::WriteOnly)) return;
    config.write("xwayland disable\nfocus_on_window_activation focus\n");
    config.close();
    if (asRoot) {
        if (chown(runtime_.path().toLocal8Bit().constData(), NobodyId, NobodyId) != 0) return;
        if (chown(config.fileName().toLocal8Bit().constData(), NobodyId, NobodyId) != 0) return;
    }
    QFile::setPermissions(runtime_.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QProcessEnvironment environment;
    environment.insert("XDG_RUNTIME_DIR", runtime_.path());
    environment.insert("HOME", runtime_.path());
    environment.insert("PATH", qEnvironmentVariable("PATH"));
    environment.insert("WLR_BACKENDS", "headless");
    environment.insert("WLR_LIBINPUT_NO_DEVICES", "1");
    environment.insert("WLR_RENDERER", "pixman");
    sway_.setProcessEnvironment(environment);
    sway_.setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments{"-c", config.fileName()};
    if (asRoot) {
        sway_.start("setpriv",
                    QStringList{"--reuid=nobody", "--regid=nogroup", "--clear-groups", "sway"} + arguments);
    } else {
        sway_.start("sway", arguments);
    }
    if (!sway_.waitForStarted(10000)) return;
    QDir folder(runtime_.path());
    running_ = WaitUntil(
        [&] {
            const QStringList displays = folder.entryList({"wayland-*"}, QDir::System);
            const QStringList ipcs = folder.entryList({"sway-ipc.*.sock"}, QDir::System);
            for (const QString& name : displays)
                if (!name.endsWith(".lock")) display_ = folder.filePath(name);
            if (!ipcs.isEmpty()) ipc_ = folder.filePath(ipcs.first());
            return !display_.isEmpty() && !ipc_.isEmpty() && sway_.state() == QProcess::Running;
        },
        std::chrono::seconds(15));
}

TSwayCompositor::~TSwayCompositor() {
    if (sway_.state() == QProcess::NotRunning) return;
    sway_.terminate();
    if (!sway_.waitForFinished(5000)) {
        sway_.kill();
        sway_.waitForFinished(5000);
    }
}

QString TSwayCompositor::Log() {
    log_ += QString::fromLocal8Bit(sway_.readAll());
    return log_;
}

QProcessEnvironment TSwayCompositor::ClientEnvironment(const QString& runtimeFolder) const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("XDG_ACTIVATION_TOKEN");
    environment.insert("XDG_RUNTIME_DIR", runtimeFolder);
    environment.insert("WAYLAND_DISPLAY", display_);
    environment.insert("QT_QPA_PLATFORM", "wayland");
    return environment;
}

QJsonObject TSwayCompositor::Tree() const {
    QProcess message;
    message.start("swaymsg", {"-s", ipc_, "-r", "-t", "get_tree"});
    if (!message.waitForFinished(10000) || message.exitCode() != 0) return {};
    return QJsonDocument::fromJson(message.readAllStandardOutput()).object();
}

qint64 TSwayCompositor::FocusedPid() const {
    return FocusedPidIn(Tree());
}

int TSwayCompositor::WindowsOf(qint64 pid) const {
    return WindowsIn(Tree(), pid);
}

bool TSwayCompositor::Command(const QString& command) const {
    QProcess message;
    message.start("swaymsg", {"-s", ipc_, command});
    return message.waitForFinished(10000) && message.exitCode() == 0;
}

bool TSwayCompositor::Screenshot(const QString& file) const {
    QProcess grim;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", runtime_.path());
    environment.insert("WAYLAND_DISPLAY", display_);
    grim.setProcessEnvironment(environment);
    grim.start("grim", {file});
    return grim.waitForFinished(20000) && grim.exitCode() == 0 && QFile::exists(file);
}

}  // namespace testing_support
