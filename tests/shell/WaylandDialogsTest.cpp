// The program on a real Wayland compositor (weston with its headless back end): the windows it
// opens over the main window reach the compositor as the main window's children, so that they
// stay above it. Read from the program's own protocol log (WAYLAND_DEBUG).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <map>
#include <memory>

#include "common/EventLoopWait.h"

using testing_support::WaitUntil;

namespace {

QString ProgramPath() {
    return QDir(QCoreApplication::applicationDirPath() + "/..").absoluteFilePath("quorvel");
}

void Stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning) return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

// The titles of the toplevels that the log shows as children of the window with that title.
QStringList ChildrenOf(const QString& log, const QString& title) {
    const QRegularExpression titles(QStringLiteral(R"re(xdg_toplevel@(\d+)\.set_title\("([^"]*)"\))re"));
    std::map<QString, QString> byId;
    for (auto match = titles.globalMatch(log); match.hasNext();) {
        const auto m = match.next();
        byId[m.captured(1)] = m.captured(2);
    }
    QString parent;
    for (const auto& [id, name] : byId)
        if (name == title) parent = id;
    QStringList children;
    if (parent.isEmpty()) return children;
    const QRegularExpression parents(
        QStringLiteral(R"re(xdg_toplevel@(\d+)\.set_parent\(xdg_toplevel@%1\))re").arg(parent));
    for (auto match = parents.globalMatch(log); match.hasNext();) children << byId[match.next().captured(1)];
    return children;
}

}  // namespace

TEST(WaylandDialogs, TheWindowsOverTheMainWindowAreItsChildrenOnTheCompositor) {
    ASSERT_TRUE(QFile::exists(ProgramPath())) << ProgramPath().toStdString() << " is not built";
    QTemporaryDir runtime, config;
    ASSERT_TRUE(runtime.isValid() && config.isValid());
    QFile::setPermissions(runtime.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString socket = QStringLiteral("quorvel-test-wayland");

    QProcess compositor;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", runtime.path());
    environment.remove("WAYLAND_DISPLAY");
    environment.remove("DISPLAY");
    compositor.setProcessEnvironment(environment);
    compositor.setProcessChannelMode(QProcess::MergedChannels);
    // The kiosk shell and no input method: weston then starts no helper programs of its own
    // that could outlive it.
    QFile settings(config.filePath("weston.ini"));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("[core]\nshell=kiosk-shell.so\n[input-method]\npath=\n");
    settings.close();
    compositor.start("weston", {"--backend=headless-backend.so", "--socket=" + socket, "--idle-time=0",
                                "--config=" + settings.fileName()});
    ASSERT_TRUE(compositor.waitForStarted(10000)) << "weston could not be started";
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(runtime.filePath(socket)); }, std::chrono::seconds(15)))
        << compositor.readAll().toStdString();

    // Fresh settings: the Connection dialog opens at the first activation, and the first poll,
    // which has no Script URL, fails into a message box.
    QProcess program;
    environment.insert("WAYLAND_DISPLAY", socket);
    environment.insert("QT_QPA_PLATFORM", "wayland");
    environment.insert("WAYLAND_DEBUG", "client");
    environment.insert("XDG_CONFIG_HOME", config.path());
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(ProgramPath(), {});
    ASSERT_TRUE(program.waitForStarted(10000));
    QString log;
    const bool found = WaitUntil(
        [&] {
            log += QString::fromLocal8Bit(program.readAll());
            // A child names itself just after it is made one.
            const QStringList children = ChildrenOf(log, "Quorvel 1.01");
            return !children.isEmpty() && !children.contains(QString());
        },
        std::chrono::seconds(20));
    Stop(program);
    Stop(compositor);
    ASSERT_TRUE(found) << "no window became a child of the main window; the log's end:\n"
                       << log.right(3000).toStdString();
    for (const QString& child : ChildrenOf(log, "Quorvel 1.01"))
        EXPECT_TRUE(child == "Connection" || child == "Error" || child == "Warning" || child == "Information")
            << child.toStdString();
}
