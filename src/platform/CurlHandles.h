#pragma once

// What the Internet API's handles are made of, shared by the API (InternetApi.cpp) and the libcurl
// transfer driver (CurlTransfer.cpp); nothing outside src/platform includes it.

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/InternetApi.h"

namespace inet {

using TClock = std::chrono::steady_clock;

// Body bytes held between libcurl and the reader before libcurl is paused.
constexpr size_t PendingLimit = 256 * 1024;

// Initialises libcurl once for the process.
void EnsureGlobalInit();
// The one cookie jar of the process, a locked libcurl share.
CURLSH* CookieShare();
// The certificate file trusted instead of the system's authorities; empty for the system's.
std::string TrustedCertificateFile();
bool EqualsNoCase(std::string_view a, std::string_view b);
// Without the bytes up to blank at both ends.
std::string_view TrimBlanks(std::string_view text);

struct TConnectionCache::TImpl {
    CURLM* Multi = nullptr;
    CURL* Easy = nullptr;
    bool EasyLent = false;
    // The request that drives a transfer now; libcurl may close a cached connection later, when
    // no request is there to be told.
    TInternetHandle* Current = nullptr;
};

struct TAbortSignal::TImpl {
    mutable std::mutex Mutex;
    std::atomic<bool> Aborted{false};
    CURLM* Multi = nullptr;  // the multi handle to wake, while a transfer waits on it
};

enum class THandleKind { Session, Connection, Request };

struct TInternetHandle {
    THandleKind Kind;
    explicit TInternetHandle(THandleKind kind) : Kind(kind) {}
    virtual ~TInternetHandle() = default;
};

struct TSession final : TInternetHandle {
    TSession() : TInternetHandle(THandleKind::Session) {}
    std::string Agent;
    uint32_t AccessType = INTERNET_OPEN_TYPE_PRECONFIG;
    std::string Proxy, ProxyBypass;
    bool HasBypass = false;
    uint32_t Flags = 0;
    TStatusCallback Callback = nullptr;
    TConnectionCache* Cache = nullptr;
    std::unique_ptr<TConnectionCache> OwnCache;
    std::shared_ptr<TAbortSignal> Signal;
    int Children = 0;
};

struct TConnection final : TInternetHandle {
    TConnection() : TInternetHandle(THandleKind::Connection) {}
    TSession* Session = nullptr;
    std::string Host, User, Password;
    int Port = 0;
    uintptr_t Context = 0;
    int Children = 0;
};

struct THeaderField {
    std::string Name, Value;
};

struct TRequest final : TInternetHandle {
    TRequest() : TInternetHandle(THandleKind::Request) {}
    ~TRequest() override;

    TConnection* Connection = nullptr;
    std::string Verb, ObjectName, Referer, Accept;
    uint32_t Flags = 0;
    std::vector<std::string> ExtraHeaders;
    std::vector<std::string> SendHeaders;  // given to the latest send only
    uint32_t ConnectTimeout = 0, SendTimeout = 0, ReceiveTimeout = 0;
    std::string User, Password, ProxyUser, ProxyPassword;

    // The transfer in progress.
    CURL* Easy = nullptr;
    bool Attached = false;
    curl_slist* HeaderList = nullptr;
    std::string Url;     // of the current hop
    std::string Method;  // of the current hop
    std::string Body;    // sent with the current hop
    bool SendBody = false;
    bool HeadersDone = false, TransferDone = false, Failed = false;
    CURLcode Result = CURLE_OK;
    bool DiscardBody = false;
    int Status = 0;
    std::string StatusLine;
    std::vector<THeaderField> Fields;
    std::string Pending;
    size_t PendingOffset = 0;
    bool Paused = false;
    bool Connected = false, OpenedSocket = false, FirstHeaderLine = true;
    TClock::time_point LastActivity;
    curl_off_t SeenDown = 0, SeenUp = 0, UploadTotal = 0;

    TConnectionCache::TImpl& Cache() { return *Connection->Session->Cache->Impl; }
    TAbortSignal::TImpl* Signal() {
        return Connection->Session->Signal ? Connection->Session->Signal->Impl.get() : nullptr;
    }
    void Notify(uint32_t code, const std::string& information = std::string()) {
        TSession* session = Connection->Session;
        if (!session->Callback) return;
        if (information.empty())
            session->Callback(this, Connection->Context, code, nullptr, 0);
        else
            session->Callback(this, Connection->Context, code, information.c_str(),
                              static_cast<uint32_t>(information.size() + 1));
    }
    const THeaderField* Field(std::string_view name) const {
        for (const auto& field : Fields)
            if (EqualsNoCase(field.Name, name)) return &field;
        return nullptr;
    }
    void EndTransfer();
    bool BeginTransfer();
    bool Drive(bool untilHeaders);
    bool Drain();
    // A proxy that answers 407 to the tunnel of an https request: that answer stands as the response.
    bool ProxyRefusedTunnel() {
        long code = 0;
        curl_easy_getinfo(Easy, CURLINFO_HTTP_CONNECTCODE, &code);
        if (code != 407) return false;
        Status = 407;
        StatusLine = "HTTP/1.1 407 Proxy Authentication Required";
        Fields.clear();
        HeadersDone = true;
        return true;
    }
    bool AbortRequested() {
        TAbortSignal::TImpl* signal = Signal();
        return signal && signal->Aborted.load();
    }
};

}  // namespace inet
