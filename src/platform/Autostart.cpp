#include "platform/Autostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <cstring>

namespace platform {

namespace {

// Characters that make an Exec argument need quotes (the desktop entry format,
// "The Exec key").
bool NeedsQuoting(const QString& argument) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    for (const QChar c : argument)
        if (reserved.contains(c)) return true;
    return argument.isEmpty();
}

// One Exec argument: quoted where needed, then escaped as a desktop entry string value.
QString ExecArgument(QString argument) {
    argument.replace(QLatin1Char('%'), QStringLiteral("%%"));
    if (NeedsQuoting(argument)) {
        QString quoted;
        for (const QChar c : argument) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') quoted += QLatin1Char('\\');
            quoted += c;
        }
        argument = QLatin1Char('"') + quoted + QLatin1Char('"');
    }
    // The string value's own escape: a backslash is written twice.
    argument.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return argument;
}

}  // namespace

bool StartedByAutostart(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (argv[i] && std::strcmp(argv[i], AutostartArgument) == 0) return true;
    return false;
}

QString AutostartFolder() {
    QString config = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
    if (config.isEmpty() || !QDir::isAbsolutePath(config)) config = QDir::home().filePath(".config");
    return QDir(config).filePath(QStringLiteral("autostart"));
}

QString AutostartEntryPath() {
    return QDir(AutostartFolder()).filePath(QLatin1String(DesktopEntryId) + QLatin1String(".desktop"));
}

bool AutostartEnabled() {
    QFile entry(AutostartEntryPath());
    if (!entry.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
    bool inMainGroup = false;
    while (!entry.atEnd()) {
        const QString line = QString::fromUtf8(entry.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMainGroup) continue;
        const QString key = line.section(QLatin1Char('='), 0, 0).trimmed();
        const QString value = line.section(QLatin1Char('='), 1).trimmed();
        if (key == QLatin1String("Hidden") && value == QLatin1String("true")) return false;
        if (key == QLatin1String("X-GNOME-Autostart-enabled") && value == QLatin1String("false"))
            return false;
    }
    return true;
}

QString AutostartEntryText(const QString& executable) {
    QString program = executable;
    const QString name = QFileInfo(executable).fileName();
    const QString onPath = QStandardPaths::findExecutable(name);
    if (!onPath.isEmpty() &&
        QFileInfo(onPath).canonicalFilePath() == QFileInfo(executable).canonicalFilePath())
        program = name;
    return QStringLiteral(
               "[Desktop Entry]\n"
               "Type=Application\n"
               "Name=Quorvel\n"
               "Comment=Receive the messages of your web site in the notification area\n"
               "Exec=%1 %2\n"
               "Icon=quorvel\n"
               "Terminal=false\n"
               "X-GNOME-Autostart-enabled=true\n")
        .arg(ExecArgument(program), QLatin1String(AutostartArgument));
}

bool WriteAutostartEntry(const QString& executable) {
    const QString program = executable.isEmpty() ? QCoreApplication::applicationFilePath() : executable;
    if (program.isEmpty() || !QDir().mkpath(AutostartFolder())) return false;
    QSaveFile entry(AutostartEntryPath());
    if (!entry.open(QIODevice::WriteOnly | QIODevice::Text)) return false;
    entry.write(AutostartEntryText(program).toUtf8());
    return entry.commit();
}

bool RemoveAutostartEntry() {
    QFile entry(AutostartEntryPath());
    return !entry.exists() || entry.remove();
}

}  // namespace platform
