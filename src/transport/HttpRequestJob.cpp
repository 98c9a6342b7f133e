#include "transport/HttpRequestJob.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "base/Text.h"
#include "transport/HeaderDate.h"
#include "transport/RequestUrl.h"

// The request routine: what one request does on its worker, from opening the session to the
// last body byte, and the hand-overs to the user-interface thread on its way.

namespace {

// Bytes set aside up front for a body of declared length; a larger body grows as it arrives, so
// a declared length alone cannot claim memory.
constexpr int64_t MaxReservedBody = 1024 * 1024;
constexpr char PostContentType[] = "Content-Type: application/x-www-form-urlencoded";
constexpr uint32_t QueryBufferSize = 4096;

uint32_t TickCount() {
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

const char* StatusText(uint32_t code) {
    switch (code) {
        case 10: return "Resolving name";
        case 11: return "Name resolved";
        case 20: return "Connecting to server";
        case 21: return "Connected";
        case 30: return "Sending Request";
        case 31: return "Request sent";
        case 40: return "Receiving response";
        case 41: return "Response received";
        case 42: return "CTL Response received";
        case 43: return "Prefetch";
        case 50: return "Closing connection";
        case 51: return "Connection closed";
        case 60: return "Handle created";
        case 70: return "Handle closing";
        case 100: return "Request complete";
        case 110: return "Redirect";
        case 120: return "Intermediate response";
        case 200: return "State change";
        default: return "Unknown status";
    }
}

}  // namespace

void THttpRequestJob::CopyProperties() {
    const TCustomHttpRequest& o = *Owner;
    URL = o.URL;
    AcceptTypes = o.AcceptTypes;
    Agent = o.Agent;
    Username = o.Username;
    Password = o.Password;
    OutputFileName = o.OutputFileName;
    POSTData = o.POSTData;
    Referer = o.Referer;
    ProxyUsername = o.ProxyUsername;
    ProxyPassword = o.ProxyPassword;
    AddHeaders = o.AddHeaders();
    Proxy = o.Proxy;
    Range = o.Range;
    RequestMethod = o.RequestMethod;
    Timeouts = o.Timeouts;
    UseCache = o.UseCache;
    UseCookies = o.UseCookies;
    WorkOffline = o.WorkOffline;
    HideOutputFile = o.HideOutputFile;
    HasHeaderInfo = static_cast<bool>(o.OnHeaderInfo);
    HasProgress = static_cast<bool>(o.OnProgress);
    HasPasswordRequest = static_cast<bool>(o.OnPasswordRequest);
    HasProxyAuthentication = static_cast<bool>(o.OnProxyAuthenticationRequest);
}

bool THttpRequestJob::HandOver(const std::function<void()>& call) {
    return TCustomWorkerThread::HandOver([this, &call] {
        struct TRefresh {
            THttpRequestJob* Job;
            ~TRefresh() {
                if (!Job->Discarded) Job->CopyProperties();
            }
        } refresh{this};
        call();
    });
}

void THttpRequestJob::Discard() {
    {
        std::lock_guard lock(StatusLock);
        Discarded = true;
    }
    Signal->Abort();
}

void THttpRequestJob::StatusCallback(inet::HINTERNET, uintptr_t context, uint32_t status,
                                     const void* information, uint32_t informationLength) {
    auto* job = reinterpret_cast<THttpRequestJob*>(context);
    if (!job) return;
    std::lock_guard lock(job->StatusLock);
    if (job->Discarded) return;
    if (job->OnStatus) job->OnStatus(job->Owner, static_cast<int32_t>(status), StatusText(status));
    if (status == inet::INTERNET_STATUS_REDIRECT && job->OnRedirected && information && informationLength > 0)
        job->OnRedirected(job->Owner,
                          ByteString(static_cast<const char*>(information), informationLength - 1));
}

void THttpRequestJob::CloseHandles() {
    TransferBuffer.clear();
    TransferBuffer.shrink_to_fit();
    if (ResponseStream) ResponseStream->SetPosition(0);
    if (RequestHandle) inet::InternetCloseHandle(RequestHandle);
    if (ConnectHandle) inet::InternetCloseHandle(ConnectHandle);
    if (SessionHandle) inet::InternetCloseHandle(SessionHandle);
    RequestHandle = ConnectHandle = SessionHandle = nullptr;
}

bool THttpRequestJob::QueryHeader(uint32_t level, ByteString& value) {
    char buffer[QueryBufferSize];
    uint32_t length = QueryBufferSize;
    uint32_t index = 0;
    if (!inet::HttpQueryInfoA(RequestHandle, level, buffer, length, index)) return false;
    value.assign(buffer, std::find(buffer, buffer + length, '\0'));
    return true;
}

void THttpRequestJob::UpdateProgress() {
    PercentsDone = 0;
    if (ContentLength != 0) {
        const double percents = std::nearbyint(static_cast<double>(BytesRead) * 100.0 / ContentLength);
        PercentsDone =
            std::isfinite(percents) ? static_cast<uint8_t>(static_cast<int64_t>(percents) & 0xFF) : 0;
    }
    ElapsedTime = (TickCount() - StartTick) / 1000;
    const double estimate =
        BytesRead ? std::nearbyint(static_cast<double>(ContentLength) / BytesRead * ElapsedTime) : 0.0;
    EstimatedTimeLeft = static_cast<int32_t>(estimate) - static_cast<int32_t>(ElapsedTime);
    TransferRate = static_cast<float>(BytesRead) / 1024.0f;
    if (ElapsedTime != 0) TransferRate /= static_cast<float>(ElapsedTime);
}

void THttpRequestJob::Execute() {
    StatusCode = -1;
    ContentType.clear();
    StartTick = TickCount();
    const uint32_t bufferSize = static_cast<uint32_t>(std::max<TBufferSize>(TransferBufferSize, 255));
    ContinueDownload = true;

    const ByteString url = NormalizeRequestUrl(URL);
    inet::TUrlComponents parts;
    inet::InternetCrackUrlA(url, parts);
    if (parts.UserName.empty()) parts.UserName = Username;
    if (parts.Password.empty()) parts.Password = Password;

    uint32_t accessType = inet::INTERNET_OPEN_TYPE_PRECONFIG;
    ByteString proxy, bypass;
    if (Proxy.AccessType == atDirect) accessType = inet::INTERNET_OPEN_TYPE_DIRECT;
    if (Proxy.AccessType == atUseProxy) {
        accessType = inet::INTERNET_OPEN_TYPE_PROXY;
        proxy = Proxy.ProxyServer + ":" + std::to_string(Proxy.ProxyPort);
        bypass = Proxy.ProxyBypass;
    }
    const bool useProxy = Proxy.AccessType == atUseProxy;
    SessionHandle = inet::InternetOpenA(Agent, accessType, useProxy ? proxy.c_str() : nullptr,
                                        useProxy && !bypass.empty() ? bypass.c_str() : nullptr,
                                        WorkOffline ? inet::INTERNET_FLAG_OFFLINE : 0);
    Succeeded = SessionHandle != nullptr;
    if (!Succeeded) return;
    inet::InternetSetStatusCallback(SessionHandle, &THttpRequestJob::StatusCallback);
    inet::InternetSetConnectionCache(SessionHandle, Cache.get());
    inet::InternetSetAbortSignal(SessionHandle, Signal);

    ConnectHandle =
        inet::InternetConnectA(SessionHandle, parts.HostName, parts.Port, parts.UserName, parts.Password,
                               inet::INTERNET_SERVICE_HTTP, 0, reinterpret_cast<uintptr_t>(this));
    Succeeded = ConnectHandle != nullptr;
    if (!Succeeded) return;

    const bool post = RequestMethod == rmPOST || (RequestMethod == rmAutoDetect && !POSTData.empty());
    uint32_t flags = 0;
    if (!UseCache)
        flags |= inet::INTERNET_FLAG_RELOAD | inet::INTERNET_FLAG_NO_CACHE_WRITE |
                 inet::INTERNET_FLAG_PRAGMA_NOCACHE;
    if (!UseCookies) flags |= inet::INTERNET_FLAG_NO_COOKIES;
    if (parts.Scheme == "https") flags |= inet::INTERNET_FLAG_SECURE;
    const char* accept[] = {AcceptTypes.c_str(), nullptr};
    RequestHandle =
        inet::HttpOpenRequestA(ConnectHandle, post ? "POST" : "GET", parts.UrlPath + parts.ExtraInfo, nullptr,
                               Referer, accept, flags, 0);
    Succeeded = RequestHandle != nullptr;
    if (!Succeeded) return;

    const std::pair<uint32_t, uint32_t> timeouts[] = {
        {inet::INTERNET_OPTION_CONNECT_TIMEOUT, Timeouts.ConnectTimeout},
        {inet::INTERNET_OPTION_RECEIVE_TIMEOUT, Timeouts.ReceiveTimeout},
        {inet::INTERNET_OPTION_SEND_TIMEOUT, Timeouts.SendTimeout}};
    for (const auto& [option, value] : timeouts)
        if (value != 0) inet::InternetSetOptionA(RequestHandle, option, &value, sizeof value);

    ByteString headers;
    for (const auto& line : AddHeaders) headers += line + "\r\n";
    if (Range.StartRange != 0 || Range.EndRange != 0) {
        headers += "RANGE: bytes=" + std::to_string(Range.StartRange) + "-";
        if (Range.EndRange != 0) headers += std::to_string(Range.EndRange);
        headers += "\r\n";
    }
    if (!headers.empty()) {
        Succeeded = inet::HttpAddRequestHeadersA(
            RequestHandle, headers.data(), static_cast<uint32_t>(headers.size()), inet::HTTP_ADDREQ_FLAG_ADD);
        if (!Succeeded) return;
    }

    const ByteString body = POSTData;
    bool tryAgain = false;
    do {
        tryAgain = false;
        if (post)
            Succeeded = inet::HttpSendRequestA(RequestHandle, PostContentType, sizeof PostContentType - 1,
                                               body.data(), static_cast<uint32_t>(body.size()));
        else
            Succeeded = inet::HttpSendRequestA(RequestHandle, nullptr, 0, nullptr, 0);
        if (!Succeeded) return;

        ByteString value;
        Succeeded = QueryHeader(inet::HTTP_QUERY_STATUS_CODE, value);
        if (Succeeded) StatusCode = IntegerValue(value, 0);

        if (StatusCode == 401 && HasPasswordRequest) {
            ByteString realm;
            Succeeded = QueryHeader(inet::HTTP_QUERY_WWW_AUTHENTICATE, value);
            if (Succeeded) {
                realm = value;
                const size_t quoted = value.find("=\"");
                if (quoted != ByteString::npos)
                    realm = value.substr(quoted + 2, value.size() - 1 - (quoted + 2));
            }
            if (!HandOver([&] { Owner->OnPasswordRequest(Owner, realm, tryAgain); })) return;
            inet::InternetSetOptionA(RequestHandle, inet::INTERNET_OPTION_USERNAME, Username.data(),
                                     static_cast<uint32_t>(Username.size()));
            inet::InternetSetOptionA(RequestHandle, inet::INTERNET_OPTION_PASSWORD, Password.data(),
                                     static_cast<uint32_t>(Password.size()));
        } else if (StatusCode == 407 && HasProxyAuthentication) {
            if (!HandOver([&] {
                    Owner->OnProxyAuthenticationRequest(Owner, Owner->ProxyUsername, Owner->ProxyPassword,
                                                        tryAgain);
                }))
                return;
            inet::InternetSetOptionA(RequestHandle, inet::INTERNET_OPTION_PROXY_USERNAME,
                                     ProxyUsername.data(), static_cast<uint32_t>(ProxyUsername.size()));
            inet::InternetSetOptionA(RequestHandle, inet::INTERNET_OPTION_PROXY_PASSWORD,
                                     ProxyPassword.data(), static_cast<uint32_t>(ProxyPassword.size()));
        }
    } while (tryAgain);

    ByteString value;
    if (QueryHeader(inet::HTTP_QUERY_CONTENT_TYPE, value)) ContentType = value;
    Succeeded = QueryHeader(inet::HTTP_QUERY_CONTENT_LENGTH, value);
    ContentLength = Succeeded ? static_cast<uint32_t>(IntegerValue(value, 0)) : 0;
    const bool lengthDeclared = Succeeded;

    if (HasHeaderInfo) {
        auto text = [&](uint32_t level) {
            ByteString result;
            return QueryHeader(level, result) ? result : ByteString();
        };
        auto date = [&](uint32_t level) {
            ByteString result;
            return QueryHeader(level, result) ? HeaderDateToLocalTime(result) : 0.0;
        };
        RawHeadersCRLF = text(inet::HTTP_QUERY_RAW_HEADERS_CRLF);
        ContentLanguage = text(inet::HTTP_QUERY_CONTENT_LANGUAGE);
        ContentEncoding = text(inet::HTTP_QUERY_CONTENT_ENCODING);
        Location = text(inet::HTTP_QUERY_LOCATION);
        Date = date(inet::HTTP_QUERY_DATE);
        LastModified = date(inet::HTTP_QUERY_LAST_MODIFIED);
        Expires = date(inet::HTTP_QUERY_EXPIRES);
        if (!HandOver([&] {
                Owner->OnHeaderInfo(Owner, RawHeadersCRLF, ContentType, ContentLanguage, ContentEncoding,
                                    Location, static_cast<int32_t>(ContentLength), Date, LastModified,
                                    Expires, ContinueDownload);
            }))
            return;
        if (!ContinueDownload) return;
    }

    if (lengthDeclared && !OutputFileName.empty()) {
        try {
            std::remove(OutputFileName.c_str());
            ResponseStream = std::make_unique<TFileStream>(OutputFileName, TFileStream::Mode::Create);
            ResponseIsFile = true;
            transport::ClaimOutputFile(OutputFileName, FileOwner);
        } catch (const std::exception&) {
            ResponseStream.reset();
            return;
        }
    } else {
        auto memory = std::make_unique<TMemoryStream>();
        if (lengthDeclared) memory->Reserve(std::min<int64_t>(ContentLength, MaxReservedBody));
        ResponseStream = std::move(memory);
    }

    BytesRead = 0;
    TransferBuffer.assign(bufferSize, 0);
    // A read that fails leaves a body known to be incomplete: a chunked body without its last
    // chunk, or a declared length (also one too large for 32 bits) that was not met. A body in
    // memory that outgrows its bound is abandoned the same way.
    bool bodyComplete = true;
    for (;;) {
        uint32_t count = 0;
        if (!inet::InternetReadFile(RequestHandle, TransferBuffer.data(), bufferSize, count)) {
            bodyComplete = false;
            break;
        }
        if (count == 0) break;
        if (!ResponseIsFile && static_cast<uint64_t>(BytesRead) + count > MaxResponseBodyInMemory) {
            bodyComplete = false;
            break;
        }
        ResponseStream->Write(TransferBuffer.data(), count);
        BytesRead += count;
        if (HasProgress && !HandOver([&] {
                UpdateProgress();
                Owner->OnProgress(Owner, ContentType, static_cast<int32_t>(ContentLength),
                                  static_cast<int32_t>(BytesRead), static_cast<int32_t>(ElapsedTime),
                                  EstimatedTimeLeft, PercentsDone, TransferRate, ResponseStream.get());
            }))
            return;
    }

    Succeeded = StatusCode == 200 && bodyComplete;
    if (Succeeded && ContentLength != 0 && ResponseStream) Succeeded = ContentLength == BytesRead;
}
