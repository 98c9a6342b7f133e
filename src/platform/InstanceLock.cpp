#include "platform/InstanceLock.h"

#include "platform/ActivationToken.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QVariant>
#include <cerrno>

namespace {

// "forward", or "forward <token>", then a line feed.
const QByteArray ForwardRequest = "forward";
const QByteArray ForwardReply = "ok\n";
constexpr qsizetype MaxRequestLength = 300;
constexpr qsizetype MaxBaseLength = 120;
constexpr qsizetype MaxSocketPathLength = 100;  // sun_path holds 108 bytes with the NUL

// A file name that keeps letters, digits and a few safe marks of the name, case included, and
// writes every other byte as %XX; over-long names are cut and made unique with a hash.
QString FileBase(const QString& name) {
    const QByteArray bytes = name.toUtf8();
    QByteArray base;
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        const bool keep = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') ||
                          u == ':' || u == '_' || u == '-' || (u == '.' && !base.isEmpty());
        if (keep)
            base += c;
        else
            base += '%' + QByteArray::number(u, 16).rightJustified(2, '0').toUpper();
    }
    if (base.size() > MaxBaseLength) {
        const QByteArray hash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(24);
        base = base.left(MaxBaseLength - 25) + '~' + hash;
    }
    return QString::fromLatin1(base);
}

QString ShortSocketPath(const QString& folder, const QString& name) {
    const QByteArray hash =
        QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha256).toHex().left(24);
    return folder + "/PREVINST~" + QString::fromLatin1(hash) + ".sock";
}

bool IsPrivateFolder(const QByteArray& path) {
    struct stat info {};
    if (lstat(path.constData(), &info) != 0) return false;
    return S_ISDIR(info.st_mode) && info.st_uid == getuid() && (info.st_mode & 077) == 0;
}

}  // namespace

QString TInstanceLock::Folder() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) {
        struct stat info {};
        if (stat(runtime.constData(), &info) == 0 && S_ISDIR(info.st_mode))
            return QString::fromLocal8Bit(runtime);
    }
    // Without a runtime folder, a folder of our own in /tmp; one that someone else made, or
    // that others may write to, is not used.
    const QByteArray path = "/tmp/quorvel-" + QByteArray::number(static_cast<qulonglong>(getuid()));
    if (mkdir(path.constData(), 0700) != 0 && errno != EEXIST) return {};
    if (!IsPrivateFolder(path)) return {};
    return QString::fromLocal8Bit(path);
}

TInstanceLock::TInstanceLock(const QString& name, QObject* parent) : QObject(parent) {
    const QString folder = Folder();
    if (folder.isEmpty()) return;
    const QString base = FileBase(name);
    lockPath_ = folder + '/' + base + ".lock";
    socketPath_ = folder + '/' + base + ".sock";
    if (socketPath_.toLocal8Bit().size() > MaxSocketPathLength) socketPath_ = ShortSocketPath(folder, name);
}

TInstanceLock::~TInstanceLock() {
    if (server_) {
        server_->close();
        delete server_;
        server_ = nullptr;
    }
    if (fd_ >= 0) close(fd_);
}

bool TInstanceLock::Acquire() {
    if (fd_ >= 0) return true;
    acquired_ = true;
    heldElsewhere_ = false;
    if (lockPath_.isEmpty()) return false;
    // Close-on-exec, so that a browser started from here does not carry the lock along.
    const int fd = open(lockPath_.toLocal8Bit().constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    int result;
    do {
        result = flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        heldElsewhere_ = errno == EWOULDBLOCK;
        close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

bool TInstanceLock::Listen() {
    if (fd_ < 0 || socketPath_.isEmpty()) return false;
    if (server_) return server_->isListening();
    // Holding the lock means that whatever socket file is there was left by a run that ended.
    QLocalServer::removeServer(socketPath_);
    server_ = new QLocalServer();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &TInstanceLock::ServeConnection);
    return server_->listen(socketPath_);
}

void TInstanceLock::ServeConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A client that says nothing is dropped after a while.
        QPointer<QLocalSocket> guard(socket);
        QTimer::singleShot(5000, socket, [guard] {
            if (guard) guard->abort();
        });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            QByteArray received = socket->property("received").toByteArray();
            received += socket->read(MaxRequestLength - received.size());
            socket->setProperty("received", received);
            const qsizetype end = received.indexOf('\n');
            if (end < 0 && received.size() < MaxRequestLength) return;
            const QByteArray line = received.left(end);
            QString token;
            bool valid = line == ForwardRequest;
            if (!valid && line.startsWith(ForwardRequest + ' ')) {
                token = QString::fromLatin1(line.mid(ForwardRequest.size() + 1));
                valid = platform::IsUsableActivationToken(token);
            }
            if (valid) {
                socket->write(ForwardReply);
                socket->flush();
                emit ForwardRequested(token);
            }
            socket->disconnectFromServer();
        });
    }
}

bool TInstanceLock::RequestForward(int timeoutMs, const QString& activationToken) const {
    if (socketPath_.isEmpty() || fd_ >= 0 || (acquired_ && !heldElsewhere_)) return false;
    QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    // The first instance may hold the lock a moment before it listens.
    for (;;) {
        socket.connectToServer(socketPath_);
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) break;
        socket.abort();
        if (deadline.hasExpired()) return false;
        QThread::msleep(50);
        if (deadline.hasExpired()) return false;
    }
    QByteArray request = ForwardRequest;
    if (platform::IsUsableActivationToken(activationToken)) request += ' ' + activationToken.toLatin1();
    socket.write(request + '\n');
    if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) return false;
    QByteArray reply;
    while (reply.size() < ForwardReply.size()) {
        if (socket.bytesAvailable() == 0 &&
            !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            break;
        reply += socket.read(ForwardReply.size() - reply.size());
    }
    return reply == ForwardReply;
}
