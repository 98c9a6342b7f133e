#pragma once

// A thin Internet API over libcurl with the handle model of the request component: a session,
// a connection on it, a request on that; headers, options, send, header queries, body reads, a
// status callback, close. Every handle is used by one thread at a time; only TAbortSignal may be
// touched from another thread.

#include <cstdint>
#include <memory>
#include <string>

namespace inet {

struct TInternetHandle;
using HINTERNET = TInternetHandle*;

// Status notifications; the information is the new URL (with its terminating zero) for a redirect.
using TStatusCallback = void (*)(HINTERNET handle, uintptr_t context, uint32_t status,
                                 const void* information, uint32_t informationLength);

constexpr uint32_t INTERNET_OPEN_TYPE_PRECONFIG = 0;
constexpr uint32_t INTERNET_OPEN_TYPE_DIRECT = 1;
constexpr uint32_t INTERNET_OPEN_TYPE_PROXY = 3;
constexpr uint32_t INTERNET_SERVICE_HTTP = 3;

constexpr uint32_t INTERNET_FLAG_RELOAD = 0x80000000u;
constexpr uint32_t INTERNET_FLAG_NO_CACHE_WRITE = 0x04000000u;
constexpr uint32_t INTERNET_FLAG_PRAGMA_NOCACHE = 0x00000100u;
constexpr uint32_t INTERNET_FLAG_NO_COOKIES = 0x00080000u;
constexpr uint32_t INTERNET_FLAG_SECURE = 0x00800000u;
constexpr uint32_t INTERNET_FLAG_OFFLINE = 0x01000000u;
constexpr uint32_t HTTP_ADDREQ_FLAG_ADD = 0x20000000u;

constexpr uint32_t INTERNET_OPTION_CONNECT_TIMEOUT = 2;
constexpr uint32_t INTERNET_OPTION_SEND_TIMEOUT = 5;
constexpr uint32_t INTERNET_OPTION_RECEIVE_TIMEOUT = 6;
constexpr uint32_t INTERNET_OPTION_USERNAME = 28;
constexpr uint32_t INTERNET_OPTION_PASSWORD = 29;
constexpr uint32_t INTERNET_OPTION_PROXY_USERNAME = 43;
constexpr uint32_t INTERNET_OPTION_PROXY_PASSWORD = 44;

constexpr uint32_t HTTP_QUERY_CONTENT_TYPE = 1;
constexpr uint32_t HTTP_QUERY_CONTENT_LENGTH = 5;
constexpr uint32_t HTTP_QUERY_CONTENT_LANGUAGE = 6;
constexpr uint32_t HTTP_QUERY_DATE = 9;
constexpr uint32_t HTTP_QUERY_EXPIRES = 10;
constexpr uint32_t HTTP_QUERY_LAST_MODIFIED = 11;
constexpr uint32_t HTTP_QUERY_STATUS_CODE = 19;
constexpr uint32_t HTTP_QUERY_RAW_HEADERS_CRLF = 22;
constexpr uint32_t HTTP_QUERY_CONTENT_ENCODING = 29;
constexpr uint32_t HTTP_QUERY_LOCATION = 33;
constexpr uint32_t HTTP_QUERY_WWW_AUTHENTICATE = 40;

constexpr uint32_t INTERNET_STATUS_RESOLVING_NAME = 10;
constexpr uint32_t INTERNET_STATUS_NAME_RESOLVED = 11;
constexpr uint32_t INTERNET_STATUS_CONNECTING_TO_SERVER = 20;
constexpr uint32_t INTERNET_STATUS_CONNECTED_TO_SERVER = 21;
constexpr uint32_t INTERNET_STATUS_SENDING_REQUEST = 30;
constexpr uint32_t INTERNET_STATUS_REQUEST_SENT = 31;
constexpr uint32_t INTERNET_STATUS_RECEIVING_RESPONSE = 40;
constexpr uint32_t INTERNET_STATUS_RESPONSE_RECEIVED = 41;
constexpr uint32_t INTERNET_STATUS_CLOSING_CONNECTION = 50;
constexpr uint32_t INTERNET_STATUS_CONNECTION_CLOSED = 51;
constexpr uint32_t INTERNET_STATUS_REQUEST_COMPLETE = 100;
constexpr uint32_t INTERNET_STATUS_REDIRECT = 110;

// Most redirects followed for one send.
constexpr int MaxRedirects = 10;
// Used when a time-out is 0: to connect, and for a transfer that makes no progress.
constexpr uint32_t DefaultConnectTimeoutMs = 60000;
constexpr uint32_t DefaultStallTimeoutMs = 60000;

struct TUrlComponents {
    std::string Scheme, HostName, UserName, Password, UrlPath, ExtraInfo;
    int Port = 0;
};

// Keep-alive connections kept from one request to the next. Used by one thread at a time.
class TConnectionCache {
public:
    TConnectionCache();
    ~TConnectionCache();
    TConnectionCache(const TConnectionCache&) = delete;
    TConnectionCache& operator=(const TConnectionCache&) = delete;

    struct TImpl;
    std::unique_ptr<TImpl> Impl;
};

// Makes a blocking send or read of the request it is attached to fail promptly. Abort may be
// called from any thread, also before or after the request exists.
class TAbortSignal {
public:
    TAbortSignal();
    ~TAbortSignal();
    void Abort();
    bool Aborted() const;

    struct TImpl;
    std::unique_ptr<TImpl> Impl;
};

// Splits a URL into its parts; false (all parts empty, port 0) when it cannot be split.
bool InternetCrackUrlA(const std::string& url, TUrlComponents& components);

HINTERNET InternetOpenA(const std::string& agent, uint32_t accessType, const char* proxy,
                        const char* proxyBypass, uint32_t flags);
void InternetSetStatusCallback(HINTERNET session, TStatusCallback callback);
// The connection cache and the abort signal that the session's requests use (neither owned).
void InternetSetConnectionCache(HINTERNET session, TConnectionCache* cache);
void InternetSetAbortSignal(HINTERNET session, std::shared_ptr<TAbortSignal> signal);

HINTERNET InternetConnectA(HINTERNET session, const std::string& serverName, int serverPort,
                           const std::string& userName, const std::string& password, uint32_t service,
                           uint32_t flags, uintptr_t context);
HINTERNET HttpOpenRequestA(HINTERNET connection, const std::string& verb, const std::string& objectName,
                           const char* version, const std::string& referer, const char* const* acceptTypes,
                           uint32_t flags, uintptr_t context);
// A 4-byte integer option takes sizeof(uint32_t) bytes; a text option its bytes.
bool InternetSetOptionA(HINTERNET handle, uint32_t option, const void* buffer, uint32_t length);
bool HttpAddRequestHeadersA(HINTERNET request, const char* headers, uint32_t length, uint32_t modifiers);
// Returns once the status line and the headers of the final response have arrived, or the
// request failed.
bool HttpSendRequestA(HINTERNET request, const char* headers, uint32_t headersLength, const void* optional,
                      uint32_t optionalLength);
// The value of a header as text with a terminating zero; false when there is no such header or
// it does not fit (length then holds the size needed).
bool HttpQueryInfoA(HINTERNET request, uint32_t infoLevel, void* buffer, uint32_t& length, uint32_t& index);
// Reads at most `toRead` body bytes; a count of 0 with success is the end of the body.
bool InternetReadFile(HINTERNET request, void* buffer, uint32_t toRead, uint32_t& read);
// Closes a handle on the thread that uses it; a session or connection only after its children.
bool InternetCloseHandle(HINTERNET handle);

// For tests: a certificate file trusted instead of the system's authorities (empty: the system's).
void SetTrustedCertificateFile(const std::string& fileName);

}  // namespace inet
