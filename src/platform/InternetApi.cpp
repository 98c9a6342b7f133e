#include "platform/InternetApi.h"

#include "platform/CurlHandles.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string_view>
#include <vector>

namespace inet {

namespace {

std::mutex GlobalMutex;
std::string TrustedCertificateFileName;

}  // namespace

void EnsureGlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

namespace {

// The one cookie jar of the process, shared by every request that uses cookies.
class TCookieJar {
public:
    TCookieJar() {
        EnsureGlobalInit();
        share_ = curl_share_init();
        curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, &TCookieJar::Lock);
        curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, &TCookieJar::Unlock);
        curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
        curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    }
    CURLSH* Share() const { return share_; }

private:
    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
        static_cast<TCookieJar*>(self)->locks_[Index(data)].lock();
    }
    static void Unlock(CURL*, curl_lock_data data, void* self) {
        static_cast<TCookieJar*>(self)->locks_[Index(data)].unlock();
    }
    static size_t Index(curl_lock_data data) {
        return std::min<size_t>(static_cast<size_t>(data), CURL_LOCK_DATA_LAST);
    }

    CURLSH* share_;
    std::mutex locks_[CURL_LOCK_DATA_LAST + 1];
};

}  // namespace

CURLSH* CookieShare() {
    // Never freed: workers that end on their own may still use it while the process exits.
    static TCookieJar* jar = new TCookieJar();
    return jar->Share();
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t k = 0; k < a.size(); ++k)
        if (std::tolower(static_cast<unsigned char>(a[k])) != std::tolower(static_cast<unsigned char>(b[k])))
            return false;
    return true;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
    return text;
}

namespace {

std::string UrlPart(CURLU* url, CURLUPart part, unsigned flags = 0) {
    char* value = nullptr;
    std::string result;
    if (curl_url_get(url, part, &value, flags) == CURLUE_OK && value) result = value;
    curl_free(value);
    return result;
}

}  // namespace

TConnectionCache::TConnectionCache() : Impl(std::make_unique<TImpl>()) {
    EnsureGlobalInit();
    Impl->Multi = curl_multi_init();
    Impl->Easy = curl_easy_init();
}

TConnectionCache::~TConnectionCache() {
    Impl->Current = nullptr;
    if (Impl->Easy) curl_easy_cleanup(Impl->Easy);
    if (Impl->Multi) curl_multi_cleanup(Impl->Multi);
}

TAbortSignal::TAbortSignal() : Impl(std::make_unique<TImpl>()) {}
TAbortSignal::~TAbortSignal() = default;

void TAbortSignal::Abort() {
    std::lock_guard lock(Impl->Mutex);
    Impl->Aborted = true;
    if (Impl->Multi) curl_multi_wakeup(Impl->Multi);
}

bool TAbortSignal::Aborted() const {
    return Impl->Aborted.load();
}

bool InternetCrackUrlA(const std::string& url, TUrlComponents& components) {
    components = TUrlComponents();
    EnsureGlobalInit();
    CURLU* handle = curl_url();
    if (!handle) return false;
    const CURLUcode code =
        curl_url_set(handle, CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME | CURLU_URLENCODE);
    bool ok = code == CURLUE_OK;
    if (ok) {
        components.Scheme = url.substr(0, url.find("://"));
        components.HostName = UrlPart(handle, CURLUPART_HOST);
        components.UserName = UrlPart(handle, CURLUPART_USER, CURLU_URLDECODE);
        components.Password = UrlPart(handle, CURLUPART_PASSWORD, CURLU_URLDECODE);
        components.UrlPath = UrlPart(handle, CURLUPART_PATH);
        const std::string query = UrlPart(handle, CURLUPART_QUERY);
        const std::string fragment = UrlPart(handle, CURLUPART_FRAGMENT);
        if (!query.empty()) components.ExtraInfo += "?" + query;
        if (!fragment.empty()) components.ExtraInfo += "#" + fragment;
        const std::string port = UrlPart(handle, CURLUPART_PORT);
        if (!port.empty()) {
            components.Port = std::atoi(port.c_str());
        } else {
            std::string scheme = components.Scheme;
            std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            components.Port = scheme == "https" ? 443 : scheme == "http" ? 80 : 0;
        }
        if (components.HostName.empty()) ok = false;
    }
    curl_url_cleanup(handle);
    if (!ok) components = TUrlComponents();
    return ok;
}

HINTERNET InternetOpenA(const std::string& agent, uint32_t accessType, const char* proxy,
                        const char* proxyBypass, uint32_t flags) {
    EnsureGlobalInit();
    if (accessType != INTERNET_OPEN_TYPE_PRECONFIG && accessType != INTERNET_OPEN_TYPE_DIRECT &&
        accessType != INTERNET_OPEN_TYPE_PROXY)
        return nullptr;
    if (accessType == INTERNET_OPEN_TYPE_PROXY && (!proxy || !*proxy)) return nullptr;
    auto* session = new TSession();
    session->Agent = agent;
    session->AccessType = accessType;
    if (proxy) session->Proxy = proxy;
    session->HasBypass = proxyBypass != nullptr;
    if (proxyBypass) session->ProxyBypass = proxyBypass;
    session->Flags = flags;
    return session;
}

void InternetSetStatusCallback(HINTERNET session, TStatusCallback callback) {
    if (session && session->Kind == THandleKind::Session)
        static_cast<TSession*>(session)->Callback = callback;
}

void InternetSetConnectionCache(HINTERNET session, TConnectionCache* cache) {
    if (session && session->Kind == THandleKind::Session) static_cast<TSession*>(session)->Cache = cache;
}

void InternetSetAbortSignal(HINTERNET session, std::shared_ptr<TAbortSignal> signal) {
    if (session && session->Kind == THandleKind::Session)
        static_cast<TSession*>(session)->Signal = std::move(signal);
}

HINTERNET InternetConnectA(HINTERNET session, const std::string& serverName, int serverPort,
                           const std::string& userName, const std::string& password, uint32_t service,
                           uint32_t, uintptr_t context) {
    if (!session || session->Kind != THandleKind::Session || service != INTERNET_SERVICE_HTTP) return nullptr;
    if (serverName.empty() || serverPort <= 0 || serverPort > 65535) return nullptr;
    auto* owner = static_cast<TSession*>(session);
    if (!owner->Cache) {
        owner->OwnCache = std::make_unique<TConnectionCache>();
        owner->Cache = owner->OwnCache.get();
    }
    auto* connection = new TConnection();
    connection->Session = owner;
    connection->Host = serverName;
    connection->Port = serverPort;
    connection->User = userName;
    connection->Password = password;
    connection->Context = context;
    ++owner->Children;
    return connection;
}

HINTERNET HttpOpenRequestA(HINTERNET connection, const std::string& verb, const std::string& objectName,
                           const char*, const std::string& referer, const char* const* acceptTypes,
                           uint32_t flags, uintptr_t) {
    if (!connection || connection->Kind != THandleKind::Connection) return nullptr;
    auto* owner = static_cast<TConnection*>(connection);
    auto* request = new TRequest();
    request->Connection = owner;
    request->Verb = verb.empty() ? "GET" : verb;
    request->ObjectName = objectName.empty() || objectName.front() != '/' ? "/" + objectName : objectName;
    request->Referer = referer;
    if (acceptTypes) {
        for (const char* const* type = acceptTypes; *type; ++type)
            request->Accept += (request->Accept.empty() ? "" : ", ") + std::string(*type);
    }
    request->Flags = flags;
    request->User = owner->User;
    request->Password = owner->Password;
    ++owner->Children;
    return request;
}

bool InternetSetOptionA(HINTERNET handle, uint32_t option, const void* buffer, uint32_t length) {
    if (!handle || handle->Kind != THandleKind::Request || !buffer) return false;
    auto* request = static_cast<TRequest*>(handle);
    auto number = [&]() -> uint32_t {
        uint32_t value = 0;
        std::memcpy(&value, buffer, std::min<size_t>(length, sizeof value));
        return value;
    };
    const std::string text(static_cast<const char*>(buffer), length);
    switch (option) {
        case INTERNET_OPTION_CONNECT_TIMEOUT: request->ConnectTimeout = number(); return true;
        case INTERNET_OPTION_SEND_TIMEOUT: request->SendTimeout = number(); return true;
        case INTERNET_OPTION_RECEIVE_TIMEOUT: request->ReceiveTimeout = number(); return true;
        case INTERNET_OPTION_USERNAME: request->User = text; return true;
        case INTERNET_OPTION_PASSWORD: request->Password = text; return true;
        case INTERNET_OPTION_PROXY_USERNAME: request->ProxyUser = text; return true;
        case INTERNET_OPTION_PROXY_PASSWORD: request->ProxyPassword = text; return true;
        default: return false;
    }
}

namespace {

// Splits header text into its lines; false when a line is not one header, as anything else could
// smuggle bytes into the request.
bool HeaderLines(const char* headers, uint32_t length, std::vector<std::string>& lines) {
    std::string_view rest(headers, length);
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        const size_t colon = line.find(':');
        if (colon == 0 || colon == std::string_view::npos || line.find('\r') != std::string_view::npos ||
            line.find('\0') != std::string_view::npos)
            return false;
        lines.emplace_back(line);
    }
    return true;
}

}  // namespace

bool HttpAddRequestHeadersA(HINTERNET handle, const char* headers, uint32_t length, uint32_t) {
    if (!handle || handle->Kind != THandleKind::Request || !headers) return false;
    auto* request = static_cast<TRequest*>(handle);
    std::vector<std::string> lines;
    if (!HeaderLines(headers, length, lines)) return false;
    request->ExtraHeaders.insert(request->ExtraHeaders.end(), lines.begin(), lines.end());
    return true;
}

bool HttpSendRequestA(HINTERNET handle, const char* headers, uint32_t headersLength, const void* optional,
                      uint32_t optionalLength) {
    if (!handle || handle->Kind != THandleKind::Request) return false;
    auto* request = static_cast<TRequest*>(handle);
    TConnection* connection = request->Connection;
    TSession* session = connection->Session;
    if (session->Flags & INTERNET_FLAG_OFFLINE) return false;
    request->SendHeaders.clear();
    if (headers && headersLength && !HeaderLines(headers, headersLength, request->SendHeaders)) return false;

    // A send again (after an authentication request) finishes the previous answer first, so that
    // its connection can be used once more.
    if (request->Attached && !request->TransferDone && !request->Drain()) return false;

    const bool secure = (request->Flags & INTERNET_FLAG_SECURE) != 0;
    std::string host = connection->Host;
    request->Url = std::string(secure ? "https" : "http") + "://" + host + ":" +
                   std::to_string(connection->Port) + request->ObjectName;
    request->Method = request->Verb;
    request->Body.assign(static_cast<const char*>(optional ? optional : ""), optional ? optionalLength : 0);
    request->SendBody = optional != nullptr || request->Verb == "POST";
    const std::string user = request->User, password = request->Password;

    for (int redirects = 0;; ++redirects) {
        if (!request->BeginTransfer()) return false;
        if (!request->Drive(true)) return false;
        if (!request->HeadersDone && !request->ProxyRefusedTunnel()) return false;
        const int status = request->Status;
        const THeaderField* location = request->Field("Location");
        const bool redirect =
            (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) && location &&
            !location->Value.empty();
        if (!redirect) break;
        if (redirects >= MaxRedirects) return false;

        CURLU* url = curl_url();
        curl_url_set(url, CURLUPART_URL, request->Url.c_str(), 0);
        const std::string oldHost = UrlPart(url, CURLUPART_HOST),
                          oldPort = UrlPart(url, CURLUPART_PORT, CURLU_DEFAULT_PORT);
        const bool resolved =
            curl_url_set(url, CURLUPART_URL, location->Value.c_str(), CURLU_URLENCODE) == CURLUE_OK;
        std::string scheme = UrlPart(url, CURLUPART_SCHEME);
        const std::string target = UrlPart(url, CURLUPART_URL);
        const bool sameServer = UrlPart(url, CURLUPART_HOST) == oldHost &&
                                UrlPart(url, CURLUPART_PORT, CURLU_DEFAULT_PORT) == oldPort;
        curl_url_cleanup(url);
        // Only the web's own schemes are followed; a file or any other scheme ends the request.
        if (!resolved || (scheme != "http" && scheme != "https")) return false;
        request->Notify(INTERNET_STATUS_REDIRECT, target);

        if (!request->Drain()) return false;
        request->Url = target;
        if (status == 303 || ((status == 301 || status == 302) && request->Method == "POST")) {
            request->Method = "GET";
            request->SendBody = false;
            request->Body.clear();
        }
        // Credentials given for one server are not handed to another.
        if (!sameServer) {
            request->User.clear();
            request->Password.clear();
        }
    }
    request->User = user;
    request->Password = password;
    return true;
}

bool HttpQueryInfoA(HINTERNET handle, uint32_t infoLevel, void* buffer, uint32_t& length, uint32_t& index) {
    if (!handle || handle->Kind != THandleKind::Request) return false;
    auto* request = static_cast<TRequest*>(handle);
    if (!request->HeadersDone) return false;
    std::string value;
    auto field = [&](std::string_view name) {
        const THeaderField* found = request->Field(name);
        if (found) value = found->Value;
        return found != nullptr;
    };
    bool found = false;
    switch (infoLevel) {
        case HTTP_QUERY_CONTENT_TYPE: found = field("Content-Type"); break;
        case HTTP_QUERY_CONTENT_LENGTH: found = field("Content-Length"); break;
        case HTTP_QUERY_CONTENT_LANGUAGE: found = field("Content-Language"); break;
        case HTTP_QUERY_DATE: found = field("Date"); break;
        case HTTP_QUERY_EXPIRES: found = field("Expires"); break;
        case HTTP_QUERY_LAST_MODIFIED: found = field("Last-Modified"); break;
        case HTTP_QUERY_CONTENT_ENCODING: found = field("Content-Encoding"); break;
        case HTTP_QUERY_LOCATION: found = field("Location"); break;
        case HTTP_QUERY_WWW_AUTHENTICATE: found = field("WWW-Authenticate"); break;
        case HTTP_QUERY_STATUS_CODE:
            value = std::to_string(request->Status);
            found = true;
            break;
        case HTTP_QUERY_RAW_HEADERS_CRLF:
            value = request->StatusLine + "\r\n";
            for (const auto& f : request->Fields) value += f.Name + ": " + f.Value + "\r\n";
            value += "\r\n";
            found = true;
            break;
        default: break;
    }
    index = 0;
    if (!found) return false;
    if (value.size() + 1 > length || !buffer) {
        length = static_cast<uint32_t>(value.size() + 1);
        return false;
    }
    std::memcpy(buffer, value.c_str(), value.size() + 1);
    length = static_cast<uint32_t>(value.size());
    return true;
}

bool InternetReadFile(HINTERNET handle, void* buffer, uint32_t toRead, uint32_t& read) {
    read = 0;
    if (!handle || handle->Kind != THandleKind::Request || !buffer) return false;
    auto* request = static_cast<TRequest*>(handle);
    if (!request->HeadersDone || request->Failed) return false;
    while (request->Pending.size() == request->PendingOffset) {
        if (request->TransferDone) return request->Result == CURLE_OK;
        if (request->Paused) {
            request->Paused = false;
            curl_easy_pause(request->Easy, CURLPAUSE_CONT);
            continue;
        }
        if (!request->Drive(false)) return false;
    }
    const size_t available = request->Pending.size() - request->PendingOffset;
    const size_t count = std::min<size_t>(available, toRead);
    std::memcpy(buffer, request->Pending.data() + request->PendingOffset, count);
    request->PendingOffset += count;
    if (request->PendingOffset == request->Pending.size()) {
        request->Pending.clear();
        request->PendingOffset = 0;
    }
    read = static_cast<uint32_t>(count);
    return true;
}

bool InternetCloseHandle(HINTERNET handle) {
    if (!handle) return false;
    switch (handle->Kind) {
        case THandleKind::Request: {
            auto* request = static_cast<TRequest*>(handle);
            --request->Connection->Children;
            delete request;
            return true;
        }
        case THandleKind::Connection: {
            auto* connection = static_cast<TConnection*>(handle);
            if (connection->Children > 0) return false;
            --connection->Session->Children;
            delete connection;
            return true;
        }
        case THandleKind::Session: {
            auto* session = static_cast<TSession*>(handle);
            if (session->Children > 0) return false;
            delete session;
            return true;
        }
    }
    return false;
}

void SetTrustedCertificateFile(const std::string& fileName) {
    std::lock_guard lock(GlobalMutex);
    TrustedCertificateFileName = fileName;
}

std::string TrustedCertificateFile() {
    std::lock_guard lock(GlobalMutex);
    return TrustedCertificateFileName;
}

}  // namespace inet
