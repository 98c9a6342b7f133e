// The per-user instance lock and its bring-forward channel, between objects of this process and
// against other processes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <atomic>
#include <thread>

#include "common/ProgramHarness.h"
#include "platform/InstanceLock.h"

namespace {

using testing_support::WaitUntil;

QString UniqueName(const char* tag) {
    static int counter = 0;
    return QString("PREVINST:LockTest-%1-%2-%3").arg(tag).arg(getpid()).arg(++counter);
}

// Asks from a thread of its own, as a second process would, while this thread serves.
bool RequestFromAnotherThread(const TInstanceLock& asker, int timeoutMs, std::atomic<int>& done,
                              const QString& token = QString()) {
    bool result = false;
    std::thread thread([&] {
        result = asker.RequestForward(timeoutMs, token);
        done = 1;
    });
    WaitUntil([&] { return done.load() == 1; }, std::chrono::milliseconds(timeoutMs + 10000));
    thread.join();
    return result;
}

TEST(InstanceLockTest, OnlyOneHolderPerNameAndTheLockFreesWithItsHolder) {
    const QString name = UniqueName("one");
    auto first = std::make_unique<TInstanceLock>(name);
    TInstanceLock second(name);
    TInstanceLock other(UniqueName("other"));
    EXPECT_TRUE(first->Acquire());
    EXPECT_TRUE(first->IsFirst());
    EXPECT_FALSE(second.Acquire());
    EXPECT_TRUE(second.HeldElsewhere());
    EXPECT_TRUE(other.Acquire()) << "another name is another program";
    first.reset();
    EXPECT_TRUE(second.Acquire());
    EXPECT_FALSE(second.HeldElsewhere());
}

TEST(InstanceLockTest, NamesKeepTheirCaseAndStayInsideTheFolder) {
    const struct {
        QString a, b;
        bool same;
    } cases[] = {
        {"PREVINST:Quorvel", "PREVINST:quorvel", false},
        {"PREVINST:Quorvel", "PREVINST:Quorvel", true},
        {"PREVINST:a/b", "PREVINST:a%2Fb", false},
        {"PREVINST:" + QString(300, 'x'), "PREVINST:" + QString(299, 'x') + "y", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.a.left(40).toStdString() + " / " + c.b.left(40).toStdString());
        const QString suffix = QString("-%1").arg(getpid());
        TInstanceLock a(c.a + suffix), b(c.b + suffix);
        EXPECT_EQ(QFileInfo(a.LockPath()).absolutePath(), TInstanceLock::Folder());
        EXPECT_EQ(QFileInfo(a.SocketPath()).absolutePath(), TInstanceLock::Folder());
        EXPECT_LE(a.SocketPath().toLocal8Bit().size(), 100);
        ASSERT_TRUE(a.Acquire());
        EXPECT_EQ(b.Acquire(), !c.same);
        EXPECT_TRUE(a.Listen());
    }
}

TEST(InstanceLockTest, ALockHeldByAnotherProcessIsSeenAndFreedWhenItEnds) {
    const QString flockTool = QStandardPaths::findExecutable("flock");
    ASSERT_FALSE(flockTool.isEmpty()) << "the flock tool of util-linux is needed";
    const QString name = UniqueName("process");
    TInstanceLock probe(name);
    QProcess holder;
    // The shell takes the lock through the flock tool on a descriptor that it then hands to
    // sleep, so the process that holds the lock is the one that is killed below.
    holder.start("/bin/sh", {"-c", "exec 9>>\"$0\" && \"$1\" --exclusive 9 && exec sleep 60",
                             probe.LockPath(), flockTool});
    ASSERT_TRUE(holder.waitForStarted());
    EXPECT_TRUE(WaitUntil([&] {
        TInstanceLock attempt(name);
        return !attempt.Acquire() && attempt.HeldElsewhere();
    }));
    holder.kill();
    holder.waitForFinished();
    EXPECT_TRUE(WaitUntil([&] { return probe.Acquire(); }));
}

TEST(InstanceLockTest, ProgramsStartedByTheHolderDoNotKeepTheLock) {
    const QString name = UniqueName("child");
    auto lock = std::make_unique<TInstanceLock>(name);
    ASSERT_TRUE(lock->Acquire());
    QProcess child;
    child.start("/bin/sleep", {"60"});
    ASSERT_TRUE(child.waitForStarted());
    lock.reset();
    TInstanceLock next(name);
    EXPECT_TRUE(next.Acquire()) << "the child inherited the lock";
    child.kill();
    child.waitForFinished();
}

TEST(InstanceLockTest, WithoutARuntimeFolderAPrivateFolderInTmpServes) {
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    const QString folder = TInstanceLock::Folder();
    {
        TInstanceLock lock(UniqueName("tmp"));
        EXPECT_TRUE(lock.Acquire());
        EXPECT_TRUE(lock.LockPath().startsWith(folder + '/'));
    }
    qputenv("XDG_RUNTIME_DIR", saved);
    ASSERT_EQ(folder, QString("/tmp/quorvel-%1").arg(getuid()));
    struct stat info {};
    ASSERT_EQ(lstat(folder.toLocal8Bit().constData(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(info.st_uid, getuid());
}

TEST(InstanceLockTest, ASecondStartAsksTheFirstToComeForward) {
    const QString name = UniqueName("forward");
    TInstanceLock first(name);
    ASSERT_TRUE(first.Acquire());
    // A socket file left by an earlier run that ended is replaced.
    {
        QFile stale(first.SocketPath());
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(first.Listen());
    int forwarded = 0;
    QObject::connect(&first, &TInstanceLock::ForwardRequested, [&] { ++forwarded; });

    TInstanceLock second(name);
    ASSERT_FALSE(second.Acquire());
    for (int round = 1; round <= 2; ++round) {
        std::atomic<int> done{0};
        EXPECT_TRUE(RequestFromAnotherThread(second, 5000, done));
        EXPECT_EQ(forwarded, round);
    }
    EXPECT_FALSE(second.RequestForward(0)) << "the holder asks nobody";
}

TEST(InstanceLockTest, StrayClientsAreIgnoredAndSilentFirstInstancesTimeOut) {
    const QString name = UniqueName("stray");
    TInstanceLock first(name);
    ASSERT_TRUE(first.Acquire());
    TInstanceLock second(name);
    ASSERT_FALSE(second.Acquire());
    {
        std::atomic<int> done{0};
        EXPECT_FALSE(RequestFromAnotherThread(second, 400, done)) << "nobody listens yet";
    }
    ASSERT_TRUE(first.Listen());
    int forwarded = 0;
    QObject::connect(&first, &TInstanceLock::ForwardRequested, [&] { ++forwarded; });
    QLocalSocket stray;
    stray.connectToServer(first.SocketPath());
    ASSERT_TRUE(WaitUntil([&] { return stray.state() == QLocalSocket::ConnectedState; }));
    stray.write("hello, world\n");
    EXPECT_TRUE(WaitUntil([&] { return stray.state() == QLocalSocket::UnconnectedState; }));
    EXPECT_EQ(forwarded, 0);

    std::atomic<int> done{0};
    EXPECT_TRUE(RequestFromAnotherThread(second, 5000, done));
    EXPECT_EQ(forwarded, 1);
}

TEST(InstanceLockTest, TheActivationTokenTravelsWithTheRequest) {
    const QString name = UniqueName("token");
    TInstanceLock first(name);
    ASSERT_TRUE(first.Acquire());
    ASSERT_TRUE(first.Listen());
    QStringList tokens;
    QObject::connect(&first, &TInstanceLock::ForwardRequested,
                     [&](const QString& token) { tokens << token; });

    TInstanceLock second(name);
    ASSERT_FALSE(second.Acquire());
    std::atomic<int> done{0};
    EXPECT_TRUE(RequestFromAnotherThread(second, 5000, done, "sway-token_1"));
    EXPECT_EQ(tokens, QStringList{"sway-token_1"});

    struct Row {
        QByteArray Sent;
        bool Forwarded;
        QString Token;
    };
    const Row Table[] = {
        {"forward\n", true, ""},
        {"forward 0123-abcd\n", true, "0123-abcd"},
        {"forward \n", false, ""},
        {"forward two words\n", false, ""},
        {"forward " + QByteArray(400, 'x') + "\n", false, ""},
        {"forwardx\n", false, ""},
    };
    for (const Row& R : Table) {
        SCOPED_TRACE(R.Sent.left(40).toStdString());
        tokens.clear();
        QLocalSocket client;
        client.connectToServer(first.SocketPath());
        ASSERT_TRUE(WaitUntil([&] { return client.state() == QLocalSocket::ConnectedState; }));
        client.write(R.Sent);
        EXPECT_TRUE(WaitUntil([&] { return client.state() == QLocalSocket::UnconnectedState; }));
        EXPECT_EQ(tokens, R.Forwarded ? QStringList{R.Token} : QStringList{});
    }
}

}  // namespace
