#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/CurlHandles.h"

// The libcurl transfer driver: one request's transfer on the multi interface of its connection
// cache, its callbacks, and the reading of its answer.

namespace inet {

namespace {

size_t OnHeader(char* data, size_t size, size_t count, void* self) {
    auto* request = static_cast<TRequest*>(self);
    const size_t length = size * count;
    std::string_view line(data, length);
    request->LastActivity = TClock::now();
    if (request->FirstHeaderLine) {
        request->FirstHeaderLine = false;
        request->Notify(INTERNET_STATUS_REQUEST_SENT);
        request->Notify(INTERNET_STATUS_RECEIVING_RESPONSE);
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line.substr(0, 5) == "HTTP/") {
        // A new header block: an interim, redirected or final response.
        request->Fields.clear();
        request->StatusLine = std::string(line);
        const size_t blank = line.find(' ');
        int status = 0;
        if (blank != std::string_view::npos)
            for (size_t k = blank + 1;
                 k < line.size() && k < blank + 4 && std::isdigit(static_cast<unsigned char>(line[k])); ++k)
                status = status * 10 + (line[k] - '0');
        request->Status = status;
    } else if (line.empty()) {
        if (request->Status >= 200 && !request->HeadersDone) {
            request->HeadersDone = true;
            request->Notify(INTERNET_STATUS_RESPONSE_RECEIVED);
        }
    } else if (line.front() == ' ' || line.front() == '\t') {
        if (!request->Fields.empty()) request->Fields.back().Value += " " + std::string(TrimBlanks(line));
    } else {
        const size_t colon = line.find(':');
        if (colon != std::string_view::npos)
            request->Fields.push_back({std::string(TrimBlanks(line.substr(0, colon))),
                                       std::string(TrimBlanks(line.substr(colon + 1)))});
    }
    return length;
}

size_t OnBody(char* data, size_t size, size_t count, void* self) {
    auto* request = static_cast<TRequest*>(self);
    const size_t length = size * count;
    request->LastActivity = TClock::now();
    if (request->DiscardBody) return length;
    if (request->Pending.size() - request->PendingOffset >= PendingLimit) {
        request->Paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    if (request->PendingOffset == request->Pending.size()) {
        request->Pending.clear();
        request->PendingOffset = 0;
    }
    request->Pending.append(data, length);
    return length;
}

int OnProgress(void* self, curl_off_t, curl_off_t downloaded, curl_off_t uploadTotal, curl_off_t uploaded) {
    auto* request = static_cast<TRequest*>(self);
    if (downloaded != request->SeenDown || uploaded != request->SeenUp) {
        request->SeenDown = downloaded;
        request->SeenUp = uploaded;
        request->LastActivity = TClock::now();
    }
    request->UploadTotal = uploadTotal;
    return request->AbortRequested() ? 1 : 0;
}

curl_socket_t OnOpenSocket(void* self, curlsocktype, curl_sockaddr* address) {
    auto* request = static_cast<TRequest*>(self);
    request->Notify(INTERNET_STATUS_RESOLVING_NAME);
    request->Notify(INTERNET_STATUS_NAME_RESOLVED);
    request->Notify(INTERNET_STATUS_CONNECTING_TO_SERVER);
    request->OpenedSocket = true;
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

int OnCloseSocket(void* cache, curl_socket_t socket) {
    TInternetHandle* current = static_cast<TConnectionCache::TImpl*>(cache)->Current;
    auto* request = static_cast<TRequest*>(current);
    if (request) request->Notify(INTERNET_STATUS_CLOSING_CONNECTION);
    const int result = ::close(socket);
    if (request) request->Notify(INTERNET_STATUS_CONNECTION_CLOSED);
    return result;
}

int OnConnected(void* self, char*, char*, int, int) {
    auto* request = static_cast<TRequest*>(self);
    if (request->OpenedSocket) request->Notify(INTERNET_STATUS_CONNECTED_TO_SERVER);
    request->Connected = true;
    request->LastActivity = TClock::now();
    request->Notify(INTERNET_STATUS_SENDING_REQUEST);
    return CURL_PREREQFUNC_OK;
}

std::string NoProxyList(const std::string& bypass) {
    // The bypass list is separated by semicolons or blanks; libcurl wants commas.
    std::string result;
    std::string item;
    auto flush = [&] {
        if (!item.empty()) result += (result.empty() ? "" : ",") + item;
        item.clear();
    };
    for (char c : bypass) {
        if (c == ';' || c == ' ' || c == ',' || c == '\t')
            flush();
        else
            item += c;
    }
    flush();
    return result;
}

}  // namespace

TRequest::~TRequest() {
    EndTransfer();
    if (Easy) {
        TConnectionCache::TImpl& cache = Cache();
        if (Easy == cache.Easy)
            cache.EasyLent = false;
        else
            curl_easy_cleanup(Easy);
        Easy = nullptr;
    }
}

void TRequest::EndTransfer() {
    TConnectionCache::TImpl& cache = Cache();
    if (Attached) {
        curl_multi_remove_handle(cache.Multi, Easy);
        Attached = false;
    }
    if (TAbortSignal::TImpl* signal = Signal()) {
        std::lock_guard lock(signal->Mutex);
        signal->Multi = nullptr;
    }
    cache.Current = nullptr;
    curl_slist_free_all(HeaderList);
    HeaderList = nullptr;
}

bool TRequest::BeginTransfer() {
    TSession* session = Connection->Session;
    TConnectionCache::TImpl& cache = Cache();
    EndTransfer();
    if (!Easy) {
        if (!cache.EasyLent && cache.Easy) {
            Easy = cache.Easy;
            cache.EasyLent = true;
        } else {
            Easy = curl_easy_init();
        }
        if (!Easy) return false;
    }
    // libcurl 7.88 keeps the list of cookie files through a reset and never frees it; clearing
    // it first keeps a reused handle from leaking one entry per request.
    curl_easy_setopt(Easy, CURLOPT_COOKIEFILE, nullptr);
    curl_easy_reset(Easy);
    HeadersDone = TransferDone = Failed = false;
    Result = CURLE_OK;
    Status = 0;
    StatusLine.clear();
    Fields.clear();
    Pending.clear();
    PendingOffset = 0;
    Paused = false;
    Connected = OpenedSocket = false;
    FirstHeaderLine = true;
    SeenDown = SeenUp = UploadTotal = 0;
    DiscardBody = false;

    CURL* e = Easy;
    curl_easy_setopt(e, CURLOPT_URL, Url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (!session->Agent.empty()) curl_easy_setopt(e, CURLOPT_USERAGENT, session->Agent.c_str());
    if (!Referer.empty()) curl_easy_setopt(e, CURLOPT_REFERER, Referer.c_str());
    if (Method == "GET") {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    } else if (Method == "HEAD") {
        curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    } else {
        if (Method != "POST") curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, Method.c_str());
        if (SendBody || Method == "POST") {
            curl_easy_setopt(e, CURLOPT_POST, 1L);
            curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(Body.size()));
            curl_easy_setopt(e, CURLOPT_POSTFIELDS, Body.data());
        }
    }

    HeaderList = curl_slist_append(HeaderList, "Expect:");
    if (!Accept.empty()) HeaderList = curl_slist_append(HeaderList, ("Accept: " + Accept).c_str());
    if (Flags & INTERNET_FLAG_PRAGMA_NOCACHE) {
        HeaderList = curl_slist_append(HeaderList, "Cache-Control: no-cache");
        HeaderList = curl_slist_append(HeaderList, "Pragma: no-cache");
    }
    for (const auto& line : ExtraHeaders) HeaderList = curl_slist_append(HeaderList, line.c_str());
    for (const auto& line : SendHeaders) HeaderList = curl_slist_append(HeaderList, line.c_str());
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, HeaderList);

    if (!User.empty() || !Password.empty()) {
        curl_easy_setopt(e, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(e, CURLOPT_USERNAME, User.c_str());
        curl_easy_setopt(e, CURLOPT_PASSWORD, Password.c_str());
    }
    switch (session->AccessType) {
        case INTERNET_OPEN_TYPE_DIRECT: curl_easy_setopt(e, CURLOPT_PROXY, ""); break;
        case INTERNET_OPEN_TYPE_PROXY:
            curl_easy_setopt(e, CURLOPT_PROXY, session->Proxy.c_str());
            // Always set, so that without a bypass list nothing bypasses the proxy: libcurl
            // would otherwise take no_proxy from the environment.
            curl_easy_setopt(e, CURLOPT_NOPROXY,
                             session->HasBypass ? NoProxyList(session->ProxyBypass).c_str() : "");
            break;
        default: break;  // libcurl reads http_proxy, https_proxy and no_proxy itself
    }
    if (!ProxyUser.empty() || !ProxyPassword.empty()) {
        curl_easy_setopt(e, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, ProxyUser.c_str());
        curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, ProxyPassword.c_str());
    }
    // A reset handle keeps its share, so the jar is attached or detached every time.
    if (Flags & INTERNET_FLAG_NO_COOKIES) {
        curl_easy_setopt(e, CURLOPT_SHARE, nullptr);
    } else {
        curl_easy_setopt(e, CURLOPT_SHARE, CookieShare());
        curl_easy_setopt(e, CURLOPT_COOKIEFILE, "");
    }
    if (const std::string trusted = TrustedCertificateFile(); !trusted.empty())
        curl_easy_setopt(e, CURLOPT_CAINFO, trusted.c_str());
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(ConnectTimeout ? ConnectTimeout : DefaultConnectTimeoutMs));

    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(e, CURLOPT_OPENSOCKETFUNCTION, &OnOpenSocket);
    curl_easy_setopt(e, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(e, CURLOPT_CLOSESOCKETFUNCTION, &OnCloseSocket);
    curl_easy_setopt(e, CURLOPT_CLOSESOCKETDATA, &cache);
    curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &OnConnected);
    curl_easy_setopt(e, CURLOPT_PREREQDATA, this);

    cache.Current = this;
    if (curl_multi_add_handle(cache.Multi, e) != CURLM_OK) return false;
    Attached = true;
    if (TAbortSignal::TImpl* signal = Signal()) {
        std::lock_guard lock(signal->Mutex);
        signal->Multi = cache.Multi;
    }
    LastActivity = TClock::now();
    return !AbortRequested();
}

// Runs the transfer until the final headers have arrived (or until body bytes are waiting), or
// the transfer has ended. False when it was aborted or stalled.
bool TRequest::Drive(bool untilHeaders) {
    CURLM* multi = Cache().Multi;
    for (;;) {
        if (AbortRequested()) {
            Failed = true;
            return false;
        }
        int running = 0;
        curl_multi_perform(multi, &running);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == Easy) {
                TransferDone = true;
                Result = message->data.result;
                if (Result == CURLE_OK) Notify(INTERNET_STATUS_REQUEST_COMPLETE);
            }
        }
        if (untilHeaders ? (HeadersDone || TransferDone)
                         : (Pending.size() > PendingOffset || TransferDone || Paused))
            return true;
        if (Connected) {
            const bool uploading = SendBody && SeenUp < UploadTotal;
            const uint32_t limit = uploading ? (SendTimeout ? SendTimeout : DefaultStallTimeoutMs)
                                             : (ReceiveTimeout ? ReceiveTimeout : DefaultStallTimeoutMs);
            if (TClock::now() - LastActivity > std::chrono::milliseconds(limit)) {
                Failed = true;
                Result = CURLE_OPERATION_TIMEDOUT;
                return false;
            }
        }
        curl_multi_poll(multi, nullptr, 0, 200, nullptr);
    }
}

// Reads the rest of the current answer and drops it, so that its connection can serve again.
bool TRequest::Drain() {
    DiscardBody = true;
    Pending.clear();
    PendingOffset = 0;
    if (Paused) {
        Paused = false;
        curl_easy_pause(Easy, CURLPAUSE_CONT);
    }
    while (!TransferDone)
        if (!Drive(false)) return false;
    return true;
}

}  // namespace inet
