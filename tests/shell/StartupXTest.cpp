// The real program under Xvfb: a second start ends with code 0 and brings the first forward;
// copies under another file name run side by side.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QWidget>

#include "common/PollScript.h"
#include "common/ProgramHarness.h"
#include "common/ProgramProcess.h"
#include "support/SettingsStore.h"

namespace {

using testing_support::WaitUntil;

using testing_support::BuiltProgramPath;
using testing_support::RunTool;

// The visible main window of the process, as an X window id; 0 while there is none.
qulonglong MainWindowOf(qint64 pid) {
    const QStringList found = testing_support::VisibleWindows(pid, testing_support::MainWindowTitle);
    return found.isEmpty() ? 0 : found.front().toULongLong();
}

qulonglong FocusedWindow() {
    return RunTool("xdotool", {"getwindowfocus", "-f"}).toULongLong();
}

class StartupProgramTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QFile::exists(BuiltProgramPath())) << BuiltProgramPath().toStdString() << " is not built";
        // Settings of an earlier run: the password saved, so no dialog opens at start.
        testing_support::StoreSettings([&](TSettingsStore& store) {
            store.WriteText("Connection", "User", "demo");
            store.WriteText("Connection", "URL", script_.Url());
            store.WriteText("Connection", "Pass", "demo");
            store.WriteFlag("Caching", "SavePass", true);
        });
    }
    QProcess* Start(const QString& program, bool withDisplay = true) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!withDisplay) environment.remove("DISPLAY");
        return processes_.Start(program, {}, environment);
    }

    // Another window of this process takes the keyboard focus.
    void TakeFocus(QWidget& widget) {
        widget.setWindowTitle("Focus thief");
        widget.setGeometry(700, 500, 200, 100);
        widget.show();
        widget.activateWindow();
        ASSERT_TRUE(WaitUntil([&] {
            widget.activateWindow();
            return FocusedWindow() == widget.winId();
        }));
    }

    QString CopyProgram(const QString& folder, const QString& name) {
        QDir().mkpath(folder);
        const QString copy = QDir(folder).filePath(name);
        EXPECT_TRUE(QFile::copy(BuiltProgramPath(), copy));
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return copy;
    }

    testing_support::TPollScript script_;
    testing_support::TProgramProcesses processes_;
};

TEST_F(StartupProgramTest, ASecondStartEndsWithCodeZeroAndBringsTheFirstForward) {
    QProcess* first = Start(BuiltProgramPath());
    qulonglong window = 0;
    ASSERT_TRUE(WaitUntil([&] { return (window = MainWindowOf(first->processId())) != 0; }));
    ASSERT_TRUE(script_.WaitForRequests(1)) << "the first instance polls its script";

    // Twice, to see that the first instance keeps serving later starts. The second start gets
    // no display at all: it must show nothing, and needs nothing to show.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        QWidget thief;
        TakeFocus(thief);
        QProcess* second = Start(BuiltProgramPath(), false);
        ASSERT_TRUE(second->waitForFinished(20000));
        EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second->exitCode(), 0);
        EXPECT_TRUE(WaitUntil([&] { return FocusedWindow() == window; }))
            << "focus is on " << FocusedWindow() << ", the first instance's window is " << window;
        EXPECT_EQ(first->state(), QProcess::Running);
    }
}

TEST_F(StartupProgramTest, OfTwoStartsAtTheSameMomentExactlyOneRuns) {
    QProcess* a = Start(BuiltProgramPath());
    QProcess* b = Start(BuiltProgramPath());
    ASSERT_TRUE(
        WaitUntil([&] { return a->state() == QProcess::NotRunning || b->state() == QProcess::NotRunning; }));
    QProcess* ended = a->state() == QProcess::NotRunning ? a : b;
    QProcess* running = ended == a ? b : a;
    EXPECT_EQ(ended->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(ended->exitCode(), 0);
    EXPECT_TRUE(WaitUntil([&] { return MainWindowOf(running->processId()) != 0; }));
    EXPECT_EQ(running->state(), QProcess::Running);
}

TEST_F(StartupProgramTest, TheFileNameDecidesWhichCopiesCountAsOneProgram) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QProcess* first = Start(CopyProgram(folder.filePath("a"), "quorvel"));
    ASSERT_TRUE(WaitUntil([&] { return MainWindowOf(first->processId()) != 0; }));

    // The same file name in another folder, and other letters' case, are the same program.
    for (const QString& name : {QString("quorvel"), QString("qUORVEL.bin")}) {
        SCOPED_TRACE(name.toStdString());
        QProcess* same = Start(CopyProgram(folder.filePath("b-" + name), name));
        ASSERT_TRUE(same->waitForFinished(20000));
        EXPECT_EQ(same->exitCode(), 0);
    }

    // Another first letter's case makes another program, which runs beside the first.
    QProcess* other = Start(CopyProgram(folder.filePath("c"), "Quorvel"));
    EXPECT_TRUE(WaitUntil([&] { return MainWindowOf(other->processId()) != 0; }));
    EXPECT_EQ(other->state(), QProcess::Running);
    EXPECT_EQ(first->state(), QProcess::Running);
}

TEST_F(StartupProgramTest, StoredValuesOfTheWrongKindAreShownAndTheDefaultsTakeTheirPlace) {
    // A hand-edited settings file: the user name a number, the interval eight bytes, the
    // password flag binary.
    const QString file = qEnvironmentVariable("XDG_CONFIG_HOME") + "/Quorvel1980Dax/user.reg";
    QFile settings(file);
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly | QIODevice::Truncate));
    settings.write(("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Quorvel1980Dax\\Connection]\n"
                    "\"User\"=dword:00000007\n\"URL\"=\"" +
                    script_.Url() +
                    "\"\n\"Delay\"=hex:01,02,03,04,05,06,07,08\n\"Pass\"=\"demo\"\n\n"
                    "[HKEY_CURRENT_USER\\Software\\Quorvel1980Dax\\Caching]\n\"SavePass\"=hex:01\n")
                       .c_str());
    settings.close();

    QProcess* program = Start(BuiltProgramPath());
    // The program runs and polls with the defaults for what it could not read...
    ASSERT_TRUE(script_.WaitForRequests(1)) << "the program polls its script";
    EXPECT_EQ(script_.Requests().front().Body, "User=&Pass=&Index=0");
    // ...and shows what it could not read in its message box.
    qulonglong box = 0;
    ASSERT_TRUE(WaitUntil([&] {
        const QStringList found = testing_support::VisibleWindows(program->processId(), "^Error$");
        box = found.isEmpty() ? 0 : found.front().toULongLong();
        return box != 0;
    }));
    EXPECT_EQ(program->state(), QProcess::Running);
}

}  // namespace
