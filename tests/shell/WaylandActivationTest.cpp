// A second start of the program on a Wayland compositor with xdg-activation (sway, headless):
// the first instance's window takes the focus back from another program's window, with the token
// the desktop gave the second start or, without one, with a token the second start asks for.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include "common/EventLoopWait.h"
#include "common/ProgramProcess.h"
#include "common/SwayCompositor.h"
#include "platform/ActivationToken.h"

using testing_support::BuiltProgramPath;
using testing_support::TProgramProcesses;
using testing_support::TSwayCompositor;
using testing_support::WaitUntil;

namespace {

// A client's own runtime and settings folders.
struct TClientFolders {
    QTemporaryDir Runtime, Config;
    QProcessEnvironment Environment(const TSwayCompositor& Sway) const {
        QProcessEnvironment environment = Sway.ClientEnvironment(Runtime.path());
        environment.insert("XDG_CONFIG_HOME", Config.path());
        return environment;
    }
};

}  // namespace

TEST(WaylandActivation, ASecondStartBringsTheFirstInstanceForward) {
    TSwayCompositor sway;
    ASSERT_TRUE(sway.Running()) << sway.Log().toStdString();
    TProgramProcesses processes;
    TClientFolders firstFolders, otherFolders;
    QProcess* first = processes.Start(BuiltProgramPath(), {}, firstFolders.Environment(sway));
    ASSERT_TRUE(WaitUntil([&] { return sway.FocusedPid() == first->processId(); }))
        << "the program's window takes the focus when it opens";
    // Another program's window: the same program under other folders, so another instance.
    QProcess* other = processes.Start(BuiltProgramPath(), {}, otherFolders.Environment(sway));
    ASSERT_TRUE(WaitUntil([&] { return sway.FocusedPid() == other->processId(); }));

    struct Row {
        const char* Name;
        bool DesktopGivesToken;
    };
    const Row Table[] = {
        {"the token the desktop gave the second start", true},
        {"a token the second start asks the compositor for", false},
    };
    for (const Row& R : Table) {
        SCOPED_TRACE(R.Name);
        ASSERT_TRUE(sway.Command(QStringLiteral("[pid=%1] focus").arg(other->processId())));
        ASSERT_TRUE(WaitUntil([&] { return sway.FocusedPid() == other->processId(); }));

        QProcessEnvironment environment = firstFolders.Environment(sway);
        if (R.DesktopGivesToken) {
            // As a launcher does: a token of its own, in the started program's environment.
            qputenv("WAYLAND_DISPLAY", sway.Display().toLocal8Bit());
            const QString token = platform::RequestActivationToken(QStringLiteral("launcher"), 5000);
            qunsetenv("WAYLAND_DISPLAY");
            ASSERT_FALSE(token.isEmpty()) << "sway gives no activation token";
            environment.insert("XDG_ACTIVATION_TOKEN", token);
        }
        QProcess second;
        second.setProcessEnvironment(environment);
        second.start(BuiltProgramPath(), {});
        ASSERT_TRUE(second.waitForFinished(15000));
        EXPECT_EQ(second.exitCode(), 0);
        EXPECT_TRUE(
            WaitUntil([&] { return sway.FocusedPid() == first->processId(); }, std::chrono::seconds(10)))
            << "the focus stays with process " << sway.FocusedPid();
    }
}

TEST(WaylandActivation, OnlyPlainWordsPassAsTokens) {
    const struct {
        QString Token;
        bool Usable;
    } Table[] = {
        {"7a1b0c2e-sway-token_42", true},
        {QString(255, 'x'), true},
        {QString(256, 'x'), false},
        {"", false},
        {"two words", false},
        {"line\nfeed", false},
        {QString::fromUtf8("caf\xc3\xa9"), false},
    };
    for (const auto& Row : Table)
        EXPECT_EQ(platform::IsUsableActivationToken(Row.Token), Row.Usable) << Row.Token.toStdString();
}
