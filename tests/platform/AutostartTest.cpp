// The XDG autostart entry of "Start with Desktop".
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "common/TestEnvironment.h"
#include "platform/Autostart.h"

namespace {

QString Read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

QString ExecLine(const QString& entry) {
    for (const QString& line : entry.split('\n'))
        if (line.startsWith("Exec=")) return line.mid(5);
    return {};
}

class Autostart : public ::testing::Test {
protected:
    void SetUp() override { testing_support::IsolateUserFolders(); }
};

TEST_F(Autostart, TheEntryLivesInTheAutostartFolderOfTheConfigHome) {
    const QString config = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
    EXPECT_EQ(platform::AutostartFolder(), QDir(config).filePath("autostart"));
    EXPECT_EQ(platform::AutostartEntryPath(),
              QDir(config).filePath("autostart/example.quorvel.Quorvel.desktop"));

    const QByteArray old = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "relative/ignored");
    EXPECT_EQ(platform::AutostartFolder(), QDir::home().filePath(".config/autostart"));
    qputenv("XDG_CONFIG_HOME", old);
}

TEST_F(Autostart, WritingAndRemovingTheEntry) {
    EXPECT_FALSE(platform::AutostartEnabled());
    ASSERT_TRUE(platform::WriteAutostartEntry("/opt/quorvel/bin/quorvel"));
    EXPECT_TRUE(platform::AutostartEnabled());
    const QString entry = Read(platform::AutostartEntryPath());
    EXPECT_TRUE(entry.startsWith("[Desktop Entry]\n"));
    EXPECT_EQ(ExecLine(entry), "/opt/quorvel/bin/quorvel --autostart");
    EXPECT_TRUE(entry.contains("\nIcon=quorvel\n"));
    EXPECT_TRUE(entry.contains("\nType=Application\n"));

    // Writing again replaces the entry; removing twice is fine.
    ASSERT_TRUE(platform::WriteAutostartEntry("/usr/local/bin/quorvel"));
    EXPECT_EQ(ExecLine(Read(platform::AutostartEntryPath())), "/usr/local/bin/quorvel --autostart");
    EXPECT_TRUE(platform::RemoveAutostartEntry());
    EXPECT_FALSE(QFile::exists(platform::AutostartEntryPath()));
    EXPECT_FALSE(platform::AutostartEnabled());
    EXPECT_TRUE(platform::RemoveAutostartEntry());
}

TEST_F(Autostart, AnEntrySwitchedOffByTheDesktopCountsAsOff) {
    ASSERT_TRUE(platform::WriteAutostartEntry("/usr/bin/quorvel"));
    QFile file(platform::AutostartEntryPath());
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("Hidden=true\n");
    file.close();
    EXPECT_FALSE(platform::AutostartEnabled());
}

TEST_F(Autostart, APathWithReservedCharactersIsQuotedAndEscaped) {
    EXPECT_EQ(ExecLine(platform::AutostartEntryText("/home/ann/My Apps/quorvel")),
              "\"/home/ann/My Apps/quorvel\" --autostart");
    EXPECT_EQ(ExecLine(platform::AutostartEntryText("/home/ann/$x/50%/quorvel")),
              "\"/home/ann/\\\\$x/50%%/quorvel\" --autostart");
}

TEST_F(Autostart, TheProgramOnThePathIsNamedWithoutItsFolder) {
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    const QString program = bin.filePath("quorvel");
    {
        QFile file(program);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n");
    }
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", bin.path().toLocal8Bit() + ":" + oldPath);
    EXPECT_EQ(ExecLine(platform::AutostartEntryText(program)), "quorvel --autostart");
    qputenv("PATH", oldPath);
    EXPECT_EQ(ExecLine(platform::AutostartEntryText(program)), program + " --autostart");
}

TEST_F(Autostart, TheEntryIsAValidDesktopEntry) {
    ASSERT_TRUE(platform::WriteAutostartEntry("/home/ann/My Apps/quorvel"));
    if (QStandardPaths::findExecutable("desktop-file-validate").isEmpty())
        GTEST_SKIP() << "desktop-file-validate is not installed (scripts/install-deps)";
    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start("desktop-file-validate", {platform::AutostartEntryPath()});
    ASSERT_TRUE(validate.waitForFinished(20000));
    EXPECT_EQ(validate.exitCode(), 0) << validate.readAll().toStdString();
    EXPECT_EQ(validate.readAll().trimmed().toStdString(), "");
}

TEST_F(Autostart, TheAutostartArgumentIsRecognised) {
    char program[] = "quorvel";
    char argument[] = "--autostart";
    char other[] = "-platform";
    char* with[] = {program, other, argument, nullptr};
    char* without[] = {program, other, nullptr};
    EXPECT_TRUE(platform::StartedByAutostart(3, with));
    EXPECT_FALSE(platform::StartedByAutostart(2, without));
    EXPECT_FALSE(platform::StartedByAutostart(1, with));
}

}  // namespace
