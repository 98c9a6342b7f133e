#include "transport/Stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cstring>
#include <stdexcept>

#include <QCoreApplication>

void TMemoryStream::SetSize(int64_t size) {
    size = std::max<int64_t>(size, 0);
    bytes_.resize(static_cast<size_t>(size));
    size_ = size;
    position_ = std::min(position_, size_);
}

void TMemoryStream::SetPosition(int64_t position) {
    position_ = std::clamp<int64_t>(position, 0, size_);
}

void TMemoryStream::Reserve(int64_t capacity) {
    if (capacity > 0) bytes_.reserve(static_cast<size_t>(capacity));
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
    const int64_t available = std::clamp<int64_t>(size_ - position_, 0, std::max<int64_t>(count, 0));
    if (available > 0) std::memcpy(buffer, bytes_.data() + position_, static_cast<size_t>(available));
    position_ += available;
    return available;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    const int64_t end = position_ + count;
    if (end > size_) {
        bytes_.resize(static_cast<size_t>(end));
        size_ = end;
    }
    std::memcpy(bytes_.data() + position_, buffer, static_cast<size_t>(count));
    position_ = end;
    return count;
}

TFileStream::TFileStream(const std::string& fileName, Mode mode) : fileName_(fileName) {
    int flags = O_CLOEXEC;
    switch (mode) {
        case Mode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
        case Mode::OpenRead: flags |= O_RDONLY; break;
        case Mode::OpenReadWrite: flags |= O_RDWR; break;
    }
    fd_ = ::open(fileName.c_str(), flags, 0600);
    if (fd_ < 0)
        throw std::runtime_error(
            QCoreApplication::translate("TFileStream", "Cannot open file \"%1\". %2")
                .arg(QString::fromStdString(fileName), QString::fromLocal8Bit(std::strerror(errno)))
                .toStdString());
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) ::close(fd_);
}

int64_t TFileStream::Size() const {
    struct stat info {};
    return ::fstat(fd_, &info) == 0 ? static_cast<int64_t>(info.st_size) : 0;
}

void TFileStream::SetSize(int64_t size) {
    if (::ftruncate(fd_, std::max<int64_t>(size, 0)) != 0)
        throw std::runtime_error(QCoreApplication::translate("TFileStream", "Cannot set the size of \"%1\"")
                                     .arg(QString::fromStdString(fileName_))
                                     .toStdString());
}

int64_t TFileStream::Position() const {
    return ::lseek(fd_, 0, SEEK_CUR);
}

void TFileStream::SetPosition(int64_t position) {
    ::lseek(fd_, std::max<int64_t>(position, 0), SEEK_SET);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
    int64_t done = 0;
    auto* bytes = static_cast<char*>(buffer);
    while (done < count) {
        const ssize_t got = ::read(fd_, bytes + done, static_cast<size_t>(count - done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += got;
    }
    return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
    int64_t done = 0;
    const auto* bytes = static_cast<const char*>(buffer);
    while (done < count) {
        const ssize_t put = ::write(fd_, bytes + done, static_cast<size_t>(count - done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        done += put;
    }
    return done;
}
