#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>

#include "base/Text.h"
#include "transport/HeaderDate.h"
#include "transport/Stream.h"
#include "transport/WorkerThread.h"

enum THttpRequestMethod { rmAutoDetect = 0, rmGET = 1, rmPOST = 2 };
enum THttpAccessType { atPreconfig = 0, atDirect = 1, atUseProxy = 2 };
// Size of each read of a response body: 255 to 2147483647.
using TBufferSize = int32_t;

// The most body bytes a request keeps in memory. A larger body (or one that never ends) is
// abandoned as it arrives and ends like a broken transfer, so no server can exhaust memory.
constexpr uint64_t MaxResponseBodyInMemory = 64ull * 1024 * 1024;

class THttpProxy {
public:
    THttpAccessType AccessType = atPreconfig;
    int32_t ProxyPort = 8080;
    ByteString ProxyServer;
    ByteString ProxyBypass = "127.0.0.1;";
};

class THttpRange {
public:
    int32_t StartRange = 0;
    int32_t EndRange = 0;
};

class THttpTimeouts {
public:
    uint32_t ConnectTimeout = 0;
    uint32_t ReceiveTimeout = 0;
    uint32_t SendTimeout = 0;
};

using TNotifyEvent = std::function<void(QObject* Sender)>;
using THttpHeaderInfoEvent =
    std::function<void(QObject* Sender, const ByteString& RawHeadersCRLF, const ByteString& ContentType,
                       const ByteString& ContentLanguage, const ByteString& ContentEncoding,
                       const ByteString& Location, int32_t ContentLength, TDateTime Date,
                       TDateTime LastModified, TDateTime Expires, bool& ContinueDownload)>;
using THttpDoneEvent =
    std::function<void(QObject* Sender, const ByteString& ContentType, int32_t FileSize, TStream* Stream)>;
using THttpProgressEvent = std::function<void(
    QObject* Sender, const ByteString& ContentType, int32_t DataSize, int32_t BytesRead, int32_t ElapsedTime,
    int32_t EstimatedTimeLeft, uint8_t PercentsDone, float TransferRate, TStream* Stream)>;
using THttpRedirectedEvent = std::function<void(QObject* Sender, const ByteString& NewURL)>;
using THttpUploadProgressEvent =
    std::function<void(QObject* Sender, int32_t DataSize, int32_t BytesTransferred, int32_t ElapsedTime,
                       int32_t EstimatedTimeLeft, uint8_t PercentsDone, float TransferRate)>;
using THttpUploadFieldRequestEvent = std::function<void(
    QObject* Sender, uint16_t FileIndex, TStream* UploadStream, ByteString& FieldName, ByteString& FileName)>;
using THttpConnLostEvent = std::function<void(QObject* Sender, const ByteString& ContentType,
                                              int32_t FileSize, int32_t BytesRead, TStream* Stream)>;
using THttpErrorEvent = std::function<void(QObject* Sender, int32_t ErrorCode, TStream* Stream)>;
using THttpPasswordRequestEvent =
    std::function<void(QObject* Sender, const ByteString& Realm, bool& TryAgain)>;
using THttpProxyAuthenticationEvent = std::function<void(QObject* Sender, ByteString& ProxyUsername,
                                                         ByteString& ProxyPassword, bool& TryAgain)>;
using THttpStatusEvent =
    std::function<void(QObject* Sender, int32_t StatusCode, const ByteString& StatusText)>;

// A component with server credentials, stored in a form file as the scrambled LoginInfo.
class TLoginComponent : public QObject {
    Q_OBJECT
public:
    explicit TLoginComponent(QObject* owner = nullptr);

    ByteString Username;
    ByteString Password;

    // The stored form: one byte N, then N scrambled bytes (user name length, user name,
    // password). Only written when either value is non-empty; at most 254 bytes together.
    bool LoginInfoStored() const { return !Username.empty() || !Password.empty(); }
    ByteString LoginInfo() const;
    void SetLoginInfo(const ByteString& data);
};

struct THttpRequestJob;
namespace inet {
class TConnectionCache;
}

// Runs one HTTP or HTTPS request at a time on a worker thread and reports every outcome through
// events on the user-interface thread. Properties are read by the request while it runs; change
// them only while Busy is false or from inside an event the request waits for.
class TCustomHttpRequest : public TLoginComponent {
    Q_OBJECT
public:
    explicit TCustomHttpRequest(QObject* owner = nullptr);
    ~TCustomHttpRequest() override;

    // Properties, in the order of publication.
    ByteString URL;
    bool UseCache = true;
    ByteString AcceptTypes = "text/html, */*";
    const TStringArray& AddHeaders() const { return addHeaders_; }
    void SetAddHeaders(const TStringArray& lines) { addHeaders_ = lines; }
    ByteString Agent = "WinHTTP";
    THttpProxy Proxy;
    bool UseCookies = true;
    THttpRange Range;
    THttpRequestMethod RequestMethod = rmAutoDetect;
    THttpTimeouts Timeouts;
    TBufferSize TransferBufferSize = 4096;
    bool WorkOffline = false;
    ByteString OutputFileName;
    bool HideOutputFile = false;
    ByteString POSTData;
    ByteString Referer;
    bool WaitThread() const;
    void SetWaitThread(bool wait);
    TThreadPriority ThreadPriority() const;
    void SetThreadPriority(TThreadPriority priority);

    // Proxy credentials, filled by OnProxyAuthenticationRequest and kept between requests.
    ByteString ProxyUsername;
    ByteString ProxyPassword;

    // Events; an empty one is skipped. Sender is this component.
    THttpHeaderInfoEvent OnHeaderInfo;
    THttpDoneEvent OnDone;
    THttpProgressEvent OnProgress;
    TNotifyEvent OnDoneInterrupted;
    THttpRedirectedEvent OnRedirected;                  // on the worker thread
    THttpUploadProgressEvent OnUploadProgress;          // published, never raised
    THttpUploadFieldRequestEvent OnUploadFieldRequest;  // published, never raised
    TNotifyEvent OnAnyError;
    THttpConnLostEvent OnConnLost;
    THttpErrorEvent OnHTTPError;
    TNotifyEvent OnHostUnreachable;
    TNotifyEvent OnAborted;
    THttpPasswordRequestEvent OnPasswordRequest;
    THttpProxyAuthenticationEvent OnProxyAuthenticationRequest;
    THttpStatusEvent OnStatus;  // on the worker thread

    // Starts a request; false (and nothing happens) while one is running.
    bool Start();
    // Stops a running request at once: no further event of it, OnAborted before returning.
    void Abort();
    // A request is running: true from Start until the request routine has returned.
    bool Busy() const;

private:
    void FinishRequest(const std::shared_ptr<THttpRequestJob>& job);
    void DiscardJob();

    TStringArray addHeaders_;
    bool destroying_ = false;
    std::shared_ptr<THttpRequestJob> job_;
    // The connection cache lent to each request in turn, so that a burst of requests reuses its
    // keep-alive connection; a discarded request takes it along and a fresh one is made.
    std::unique_ptr<inet::TConnectionCache> connectionCache_;
    TCustomWorkerThread* worker_;
};

class THttpRequest : public TCustomHttpRequest {
    Q_OBJECT
public:
    explicit THttpRequest(QObject* owner = nullptr) : TCustomHttpRequest(owner) {}
};
