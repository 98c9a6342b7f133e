#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace testing_support {

using THeaderList = std::vector<std::pair<std::string, std::string>>;

// One request as the server received it.
struct TReceivedRequest {
    std::string Method;
    std::string Target;  // as on the request line (an absolute URL when sent to a proxy)
    std::string Path;    // Target without the query
    std::string Version;
    THeaderList Headers;
    std::string Body;
    int ConnectionNumber = 0;  // 1 for the first connection the server accepted, and so on

    // The first header of that name (case-insensitive), or "" when there is none.
    std::string Header(const std::string& name) const;
    bool HasHeader(const std::string& name) const;
};

// What the server answers. By default a keep-alive response with a Content-Length that matches
// the body.
struct TTestResponse {
    enum class TFraming {
        ContentLength,  // Content-Length: DeclaredLength, or the body size
        Chunked,        // Transfer-Encoding: chunked, pieces of ChunkSize bytes
        CloseDelimited  // no length at all: the body ends when the server closes
    };
    enum class TAfterPartial { Close, Stall };

    int Status = 200;
    std::string Reason;  // empty: the usual phrase for the status
    THeaderList Headers;
    std::string Body;
    TFraming Framing = TFraming::ContentLength;
    std::optional<int64_t> DeclaredLength;  // a Content-Length other than the body's size
    size_t ChunkSize = 1024;
    // Send only this many body bytes, then close or stall until ReleaseStalls or the server stops.
    std::optional<size_t> BodyBytesToSend;
    TAfterPartial AfterPartial = TAfterPartial::Close;
    // Send only this many bytes of the body as it goes on the wire (chunk framing included),
    // then close: with chunked framing this can cut a chunk in the middle.
    std::optional<size_t> BodyWireBytesToSend;
    // After the headers, send the body's bytes again and again until the client goes away.
    bool Endless = false;
    // Never answer: hold the connection open until ReleaseStalls or the server stops.
    bool StallBeforeHeaders = false;
    // Close the connection without any answer.
    bool CloseWithoutAnswer = false;
    // Close the connection after this response.
    bool Close = false;

    static TTestResponse Text(const std::string& body, int status = 200,
                              const std::string& contentType = "text/plain");
    static TTestResponse Redirect(int status, const std::string& location);
};

// A loopback HTTP/1.1 server on 127.0.0.1 and an ephemeral port, one thread per connection,
// with keep-alive. The handler runs on a connection thread for every request.
class TTestHttpServer {
public:
    using THandler = std::function<TTestResponse(const TReceivedRequest&)>;

    explicit TTestHttpServer(THandler handler = {});
    virtual ~TTestHttpServer();
    TTestHttpServer(const TTestHttpServer&) = delete;
    TTestHttpServer& operator=(const TTestHttpServer&) = delete;

    void SetHandler(THandler handler);
    uint16_t Port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by the path.
    virtual std::string Url(const std::string& path = "/") const;

    std::vector<TReceivedRequest> Requests() const;
    size_t RequestCount() const;
    int ConnectionCount() const;
    // Waits until at least `count` requests have arrived; false after the time-out.
    bool WaitForRequests(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;
    // Waits until `count` responses were stalled (StallBeforeHeaders or AfterPartial Stall).
    bool WaitForStalls(int count, std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;
    // Lets every stalled connection go on: a stalled answer is then closed.
    void ReleaseStalls();
    void Stop();

protected:
    // For derived classes: binds the port at once but accepts only after Listen().
    struct TDeferListen {};
    TTestHttpServer(THandler handler, TDeferListen);

    // The byte channel of one accepted connection; the TLS variant wraps the socket.
    class TChannel {
    public:
        virtual ~TChannel() = default;
        // Bytes read, 0 at the end or on failure.
        virtual size_t Read(char* buffer, size_t size) = 0;
        virtual bool Write(const char* data, size_t size) = 0;
    };
    // Starts accepting; derived classes call it at the end of their constructor.
    void Listen();
    virtual std::unique_ptr<TChannel> Accept(int socket);

private:
    void AcceptLoop();
    void Serve(int socket, int connectionNumber);
    bool Stalled();
    // Writes the headers, then the body (chunk-framed where the framing says so) over and over
    // until a write fails or the server stops.
    void SendEndlessly(TChannel& channel, const std::string& headers, const TTestResponse& response);

    THandler handler_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::thread acceptThread_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<TReceivedRequest> requests_;
    std::vector<std::thread> connectionThreads_;
    std::vector<int> openSockets_;
    int connections_ = 0;
    int stalls_ = 0;
    int releases_ = 0;
    bool stopping_ = false;
};

// The same server over TLS, with a throw-away certificate for "localhost" and 127.0.0.1 made by
// the openssl command in a temporary folder.
class TTestHttpsServer : public TTestHttpServer {
public:
    explicit TTestHttpsServer(THandler handler = {});
    ~TTestHttpsServer() override;
    // "https://localhost:<port>" followed by the path.
    std::string Url(const std::string& path = "/") const override;
    // The certificate, usable as the trusted authority of a client.
    const std::string& CertificateFile() const { return certificateFile_; }

protected:
    std::unique_ptr<TChannel> Accept(int socket) override;

private:
    struct TTls;
    std::unique_ptr<TTls> tls_;
    std::string folder_;
    std::string certificateFile_;
    std::string keyFile_;
};

}  // namespace testing_support
