#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// A per-user lock that tells a second start of the program that a first one runs, and a local
// socket through which the second start asks the first to come forward.
//
// The lock is an exclusive file lock on "<name>.lock" in $XDG_RUNTIME_DIR, or, when that is not
// set, in a private folder /tmp/quorvel-<uid>. The operating system releases it when the process
// ends, however it ends, so a crashed run leaves nothing behind that blocks the next start.
class TInstanceLock : public QObject {
    Q_OBJECT
public:
    explicit TInstanceLock(const QString& name, QObject* parent = nullptr);
    ~TInstanceLock() override;  // releases the lock and stops listening

    // Takes the lock. True when this process holds it now: it is the first instance. A lock that
    // another process holds, or one that cannot be created at all, gives false.
    bool Acquire();
    bool IsFirst() const { return fd_ >= 0; }
    // True after Acquire found the lock held by another process.
    bool HeldElsewhere() const { return heldElsewhere_; }

    // First instance: accepts requests to come forward, each reported by ForwardRequested on
    // this object's thread. Returns false when the socket cannot be set up.
    bool Listen();

    // Second instance: asks the first to come forward and waits, at most timeoutMs in all, for
    // its acknowledgement. Blocks; meant for the second start, which has nothing else to do.
    // Works without Acquire too; after an Acquire that found no other holder it gives up at once.
    // An activation token (see ActivationToken.h) goes along, for the first to take the focus with.
    bool RequestForward(int timeoutMs = 3000, const QString& activationToken = QString()) const;

    // The folder that holds the locks and sockets; created (mode 0700) when it is the /tmp one.
    // Empty when no safe folder can be had.
    static QString Folder();
    QString LockPath() const { return lockPath_; }
    QString SocketPath() const { return socketPath_; }

signals:
    // activationToken: the one the later start brought along; empty when it had none.
    void ForwardRequested(const QString& activationToken);

private:
    void ServeConnection();

    QString lockPath_;
    QString socketPath_;
    int fd_ = -1;
    bool acquired_ = false;  // Acquire has run
    bool heldElsewhere_ = false;
    QLocalServer* server_ = nullptr;
};
