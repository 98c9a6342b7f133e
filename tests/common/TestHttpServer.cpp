#include "TestHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QByteArray>
#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace testing_support {

namespace {

bool EqualsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string Trimmed(const std::string& text) {
    size_t start = 0, end = text.size();
    while (start < end && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
    while (end > start && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(start, end - start);
}

std::string ReasonPhrase(int status) {
    switch (status) {
        case 200: return "OK";
        case 204: return "No Content";
        case 206: return "Partial Content";
        case 301: return "Moved Permanently";
        case 302: return "Found";
        case 303: return "See Other";
        case 307: return "Temporary Redirect";
        case 308: return "Permanent Redirect";
        case 401: return "Unauthorized";
        case 404: return "Not Found";
        case 407: return "Proxy Authentication Required";
        case 500: return "Internal Server Error";
        default: return "Status";
    }
}

class TPlainChannel {
public:
    explicit TPlainChannel(int socket) : socket_(socket) {}
    size_t Read(char* buffer, size_t size) {
        for (;;) {
            const ssize_t got = ::recv(socket_, buffer, size, 0);
            if (got < 0 && errno == EINTR) continue;
            return got > 0 ? static_cast<size_t>(got) : 0;
        }
    }
    bool Write(const char* data, size_t size) {
        while (size > 0) {
            const ssize_t put = ::send(socket_, data, size, MSG_NOSIGNAL);
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) return false;
            data += put;
            size -= static_cast<size_t>(put);
        }
        return true;
    }

private:
    int socket_;
};

}  // namespace

std::string TReceivedRequest::Header(const std::string& name) const {
    for (const auto& [key, value] : Headers)
        if (EqualsNoCase(key, name)) return value;
    return std::string();
}

bool TReceivedRequest::HasHeader(const std::string& name) const {
    return std::any_of(Headers.begin(), Headers.end(),
                       [&](const auto& field) { return EqualsNoCase(field.first, name); });
}

TTestResponse TTestResponse::Text(const std::string& body, int status, const std::string& contentType) {
    TTestResponse response;
    response.Status = status;
    response.Body = body;
    response.Headers.push_back({"Content-Type", contentType});
    return response;
}

TTestResponse TTestResponse::Redirect(int status, const std::string& location) {
    TTestResponse response;
    response.Status = status;
    response.Headers.push_back({"Location", location});
    response.Body = "moved";
    return response;
}

TTestHttpServer::TTestHttpServer(THandler handler) : TTestHttpServer(std::move(handler), TDeferListen{}) {
    Listen();
}

TTestHttpServer::TTestHttpServer(THandler handler, TDeferListen) : handler_(std::move(handler)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) throw std::runtime_error("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot listen on the loopback");
    port_ = ntohs(address.sin_port);
}

TTestHttpServer::~TTestHttpServer() {
    Stop();
}

void TTestHttpServer::Listen() {
    acceptThread_ = std::thread([this] { AcceptLoop(); });
}

void TTestHttpServer::SetHandler(THandler handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

std::string TTestHttpServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<TReceivedRequest> TTestHttpServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

size_t TTestHttpServer::RequestCount() const {
    std::lock_guard lock(mutex_);
    return requests_.size();
}

int TTestHttpServer::ConnectionCount() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

bool TTestHttpServer::WaitForRequests(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

bool TTestHttpServer::WaitForStalls(int count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return stalls_ >= count; });
}

void TTestHttpServer::ReleaseStalls() {
    std::lock_guard lock(mutex_);
    ++releases_;
    changed_.notify_all();
}

void TTestHttpServer::Stop() {
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(mutex_);
        if (stopping_ && listener_ < 0) return;
        stopping_ = true;
        for (int socket : openSockets_) ::shutdown(socket, SHUT_RDWR);
        if (listener_ >= 0) ::shutdown(listener_, SHUT_RDWR);
        changed_.notify_all();
    }
    if (acceptThread_.joinable()) acceptThread_.join();
    {
        std::lock_guard lock(mutex_);
        threads.swap(connectionThreads_);
    }
    for (auto& thread : threads) thread.join();
    std::lock_guard lock(mutex_);
    if (listener_ >= 0) ::close(listener_);
    listener_ = -1;
}

// Holds a stalled answer until the test releases it or the server stops; true if released.
bool TTestHttpServer::Stalled() {
    std::unique_lock lock(mutex_);
    ++stalls_;
    changed_.notify_all();
    const int releases = releases_;
    changed_.wait(lock, [&] { return stopping_ || releases_ != releases; });
    return !stopping_;
}

void TTestHttpServer::SendEndlessly(TChannel& channel, const std::string& headers,
                                    const TTestResponse& response) {
    if (!channel.Write(headers.data(), headers.size())) return;
    std::string piece = response.Body.empty() ? std::string(65536, 'x') : response.Body;
    if (response.Framing == TTestResponse::TFraming::Chunked) {
        char size[32];
        std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
        piece = size + piece + "\r\n";
    }
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) return;
        }
        if (!channel.Write(piece.data(), piece.size())) return;
    }
}

void TTestHttpServer::AcceptLoop() {
    for (;;) {
        const int socket = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard lock(mutex_);
        if (socket < 0) {
            if (stopping_) return;
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return;
        }
        if (stopping_) {
            ::close(socket);
            return;
        }
        const int one = 1;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        openSockets_.push_back(socket);
        const int number = ++connections_;
        connectionThreads_.emplace_back([this, socket, number] { Serve(socket, number); });
    }
}

std::unique_ptr<TTestHttpServer::TChannel> TTestHttpServer::Accept(int socket) {
    class TPlain final : public TChannel {
    public:
        explicit TPlain(int socket) : channel_(socket) {}
        size_t Read(char* buffer, size_t size) override { return channel_.Read(buffer, size); }
        bool Write(const char* data, size_t size) override { return channel_.Write(data, size); }

    private:
        TPlainChannel channel_;
    };
    return std::make_unique<TPlain>(socket);
}

void TTestHttpServer::Serve(int socket, int connectionNumber) {
    std::unique_ptr<TChannel> channel = Accept(socket);
    std::string buffer;
    char chunk[16384];
    auto fill = [&]() {
        const size_t got = channel->Read(chunk, sizeof chunk);
        if (got == 0) return false;
        buffer.append(chunk, got);
        return true;
    };
    while (channel) {
        size_t headEnd;
        while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos)
            if (!fill()) goto done;
        {
            TReceivedRequest request;
            request.ConnectionNumber = connectionNumber;
            const std::string head = buffer.substr(0, headEnd);
            buffer.erase(0, headEnd + 4);
            size_t lineEnd = head.find("\r\n");
            const std::string requestLine = head.substr(0, lineEnd);
            const size_t first = requestLine.find(' '), second = requestLine.rfind(' ');
            if (first == std::string::npos || second == first) break;
            request.Method = requestLine.substr(0, first);
            request.Target = requestLine.substr(first + 1, second - first - 1);
            request.Version = requestLine.substr(second + 1);
            request.Path = request.Target.substr(0, request.Target.find('?'));
            while (lineEnd != std::string::npos) {
                const size_t start = lineEnd + 2;
                lineEnd = head.find("\r\n", start);
                const std::string line =
                    head.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
                const size_t colon = line.find(':');
                if (colon != std::string::npos)
                    request.Headers.push_back({line.substr(0, colon), Trimmed(line.substr(colon + 1))});
            }
            const size_t bodyLength =
                static_cast<size_t>(std::atoll(request.Header("Content-Length").c_str()));
            while (buffer.size() < bodyLength)
                if (!fill()) goto done;
            request.Body = buffer.substr(0, bodyLength);
            buffer.erase(0, bodyLength);

            THandler handler;
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(request);
                handler = handler_;
                changed_.notify_all();
            }
            TTestResponse response = handler ? handler(request) : TTestResponse::Text("");
            if (response.CloseWithoutAnswer) break;
            if (response.StallBeforeHeaders) {
                Stalled();
                break;
            }
            const bool close = response.Close || EqualsNoCase(request.Header("Connection"), "close") ||
                               response.Framing == TTestResponse::TFraming::CloseDelimited;
            std::string wire = "HTTP/1.1 " + std::to_string(response.Status) + " " +
                               (response.Reason.empty() ? ReasonPhrase(response.Status) : response.Reason) +
                               "\r\n";
            for (const auto& [name, value] : response.Headers) wire += name + ": " + value + "\r\n";
            switch (response.Framing) {
                case TTestResponse::TFraming::ContentLength:
                    wire += "Content-Length: " +
                            std::to_string(response.DeclaredLength.value_or(
                                static_cast<int64_t>(response.Body.size()))) +
                            "\r\n";
                    break;
                case TTestResponse::TFraming::Chunked: wire += "Transfer-Encoding: chunked\r\n"; break;
                case TTestResponse::TFraming::CloseDelimited: break;
            }
            if (close) wire += "Connection: close\r\n";
            wire += "\r\n";
            if (response.Endless) {
                SendEndlessly(*channel, wire, response);
                break;
            }
            const size_t headerBytes = wire.size();

            const bool headOnly = request.Method == "HEAD";
            const size_t limit =
                std::min(response.BodyBytesToSend.value_or(response.Body.size()), response.Body.size());
            const std::string body = headOnly ? std::string() : response.Body.substr(0, limit);
            if (response.Framing == TTestResponse::TFraming::Chunked) {
                const size_t piece = std::max<size_t>(response.ChunkSize, 1);
                for (size_t at = 0; at < body.size(); at += piece) {
                    const std::string part = body.substr(at, piece);
                    char size[32];
                    std::snprintf(size, sizeof size, "%zx\r\n", part.size());
                    wire += size + part + "\r\n";
                }
                if (!response.BodyBytesToSend && !headOnly) wire += "0\r\n\r\n";
            } else {
                wire += body;
            }
            if (response.BodyWireBytesToSend) {
                wire.resize(std::min(wire.size(), headerBytes + *response.BodyWireBytesToSend));
                channel->Write(wire.data(), wire.size());
                break;
            }
            if (!channel->Write(wire.data(), wire.size())) break;
            if (response.BodyBytesToSend && !headOnly) {
                if (response.AfterPartial == TTestResponse::TAfterPartial::Stall) Stalled();
                break;
            }
            if (close) break;
        }
    }
done : {
    std::lock_guard lock(mutex_);
    openSockets_.erase(std::remove(openSockets_.begin(), openSockets_.end(), socket), openSockets_.end());
}
    channel.reset();
    ::close(socket);
}

// TLS.

struct TTestHttpsServer::TTls {
    QSslConfiguration Configuration;
};

TTestHttpsServer::TTestHttpsServer(THandler handler) : TTestHttpServer(std::move(handler), TDeferListen{}) {
    folder_ = (std::filesystem::temp_directory_path() /
               ("quorvel-tls-" + std::to_string(::getpid()) + "-" + std::to_string(Port())))
                  .string();
    std::filesystem::create_directories(folder_);
    certificateFile_ = folder_ + "/certificate.pem";
    keyFile_ = folder_ + "/key.pem";
    const std::string command =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj "
        "/CN=localhost "
        "-addext subjectAltName=DNS:localhost -keyout '" +
        keyFile_ + "' -out '" + certificateFile_ + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("openssl could not make a certificate");
    tls_ = std::make_unique<TTls>();
    tls_->Configuration = QSslConfiguration::defaultConfiguration();
    const auto certificates = QSslCertificate::fromPath(QString::fromStdString(certificateFile_));
    QFile keyFile(QString::fromStdString(keyFile_));
    if (certificates.isEmpty() || !keyFile.open(QIODevice::ReadOnly)) throw std::runtime_error("certificate");
    tls_->Configuration.setLocalCertificate(certificates.first());
    tls_->Configuration.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Ec));
    tls_->Configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    Listen();
}

TTestHttpsServer::~TTestHttpsServer() {
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::string TTestHttpsServer::Url(const std::string& path) const {
    return "https://localhost:" + std::to_string(Port()) + path;
}

std::unique_ptr<TTestHttpServer::TChannel> TTestHttpsServer::Accept(int socket) {
    class TTls final : public TChannel {
    public:
        TTls(int socket, const QSslConfiguration& configuration) {
            socket_.setSslConfiguration(configuration);
            // The QSslSocket works on a copy, so that the server closes its own descriptor.
            ok_ = socket_.setSocketDescriptor(::dup(socket)) && (socket_.startServerEncryption(), true) &&
                  socket_.waitForEncrypted(20000);
        }
        bool Ok() const { return ok_; }
        size_t Read(char* buffer, size_t size) override {
            while (socket_.bytesAvailable() == 0)
                if (!socket_.waitForReadyRead(-1)) return 0;
            const qint64 got = socket_.read(buffer, static_cast<qint64>(size));
            return got > 0 ? static_cast<size_t>(got) : 0;
        }
        bool Write(const char* data, size_t size) override {
            if (socket_.write(data, static_cast<qint64>(size)) != static_cast<qint64>(size)) return false;
            while (socket_.bytesToWrite() > 0)
                if (!socket_.waitForBytesWritten(20000)) return false;
            return true;
        }

    private:
        QSslSocket socket_;
        bool ok_ = false;
    };
    auto channel = std::make_unique<TTls>(socket, tls_->Configuration);
    if (!channel->Ok()) return nullptr;
    return channel;
}

}  // namespace testing_support
