#include "transport/HttpRequest.h"

#include <QPointer>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <stdexcept>

#include "platform/InternetApi.h"
#include "transport/OutputFileClaims.h"
#include "transport/RequestUrl.h"

namespace {

// The fixed byte that, with the length, scrambles LoginInfo.
constexpr uint8_t LoginInfoKey = 0x5A;
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

int32_t IntegerValue(const ByteString& text, int32_t otherwise) {
    int32_t value = 0;
    return IsIntegerText(text, value) ? value : otherwise;
}

ByteString UpperCase(ByteString text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

ByteString TrimLeft(const ByteString& text) {
    size_t start = 0;
    while (start < text.size() && static_cast<unsigned char>(text[start]) <= ' ') ++start;
    return text.substr(start);
}

// Days from 30 December 1899 to the given date; throws for a date outside the calendar.
double EncodeDate(int year, int month, int day) {
    static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12) throw std::range_error("date");
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int length = lengths[month - 1] + (month == 2 && leap ? 1 : 0);
    if (day < 1 || day > length) throw std::range_error("date");
    // Days since the civil epoch 1970-01-01, then shifted to 1899-12-30.
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long days = static_cast<long>(era) * 146097 + doe - 719468;
    return static_cast<double>(days + 25569);
}

}  // namespace

// Everything one request owns: the properties as it reads them, its per-request state, its
// handles and its stream. The worker uses it alone; the user-interface thread touches it only
// while the worker waits in a hand-over, or after the worker has been discarded not at all.
struct THttpRequestJob {
    explicit THttpRequestJob(TCustomHttpRequest* owner) : Owner(owner) {}
    ~THttpRequestJob() { CloseHandles(); }

    TCustomHttpRequest* const Owner;
    // Names this request in the output-file claims.
    const uint64_t FileOwner = transport::NewOutputFileOwner();

    // Properties, copied on the user-interface thread at the start and again after every event
    // the request waits for, as handlers of those may change them.
    ByteString URL, AcceptTypes, Agent, Username, Password, OutputFileName, POSTData, Referer;
    ByteString ProxyUsername, ProxyPassword;
    TStringArray AddHeaders;
    THttpProxy Proxy;
    THttpRange Range;
    THttpRequestMethod RequestMethod = rmAutoDetect;
    THttpTimeouts Timeouts;
    TBufferSize TransferBufferSize = 4096;
    bool UseCache = true, UseCookies = true, WorkOffline = false, HideOutputFile = false;
    bool HasHeaderInfo = false, HasProgress = false, HasPasswordRequest = false,
         HasProxyAuthentication = false;

    // The two events raised on the worker, and the mark that silences them once discarded.
    THttpStatusEvent OnStatus;
    THttpRedirectedEvent OnRedirected;
    std::recursive_mutex StatusLock;
    bool Discarded = false;

    int32_t StatusCode = -1;
    bool Succeeded = false;
    bool ContinueDownload = true;
    ByteString ContentType;
    uint32_t ContentLength = 0;
    uint32_t BytesRead = 0;
    std::unique_ptr<TStream> ResponseStream;
    bool ResponseIsFile = false;

    inet::HINTERNET SessionHandle = nullptr, ConnectHandle = nullptr, RequestHandle = nullptr;
    std::vector<char> TransferBuffer;
    uint32_t StartTick = 0;
    uint8_t PercentsDone = 0;
    uint32_t ElapsedTime = 0;
    int32_t EstimatedTimeLeft = 0;
    float TransferRate = 0;
    ByteString RawHeadersCRLF, ContentLanguage, ContentEncoding, Location;
    TDateTime Date = 0, LastModified = 0, Expires = 0;

    std::unique_ptr<inet::TConnectionCache> Cache;
    std::shared_ptr<inet::TAbortSignal> Signal = std::make_shared<inet::TAbortSignal>();

    void CopyProperties();
    void Execute();
    void CloseHandles();
    void UpdateProgress();
    bool QueryHeader(uint32_t level, ByteString& value);
    // Runs the call on the user-interface thread, then takes the properties over again. False
    // when the request has been discarded: it must then stop.
    bool HandOver(const std::function<void()>& call);
    void Discard();
    static void StatusCallback(inet::HINTERNET, uintptr_t context, uint32_t status, const void* information,
                               uint32_t informationLength);
};

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

TLoginComponent::TLoginComponent(QObject* owner) : QObject(owner) {}

ByteString TLoginComponent::LoginInfo() const {
    ByteString plain;
    const size_t userLength = std::min<size_t>(Username.size(), 254);
    plain += static_cast<char>(userLength);
    plain += Username.substr(0, userLength);
    plain += Password.substr(0, 254 - userLength);
    const auto n = static_cast<uint8_t>(plain.size());
    ByteString data(1, static_cast<char>(n));
    for (char c : plain) data += static_cast<char>(static_cast<uint8_t>(c) ^ (n ^ LoginInfoKey));
    return data;
}

void TLoginComponent::SetLoginInfo(const ByteString& data) {
    Username.clear();
    Password.clear();
    if (data.empty()) return;
    const auto n = static_cast<uint8_t>(data[0]);
    ByteString plain;
    for (size_t k = 1; k <= n && k < data.size(); ++k)
        plain += static_cast<char>(static_cast<uint8_t>(data[k]) ^ (n ^ LoginInfoKey));
    if (plain.empty()) return;
    const size_t userLength = std::min<size_t>(static_cast<uint8_t>(plain[0]), plain.size() - 1);
    Username = plain.substr(1, userLength);
    Password = plain.substr(1 + userLength);
}

TCustomHttpRequest::TCustomHttpRequest(QObject* owner)
    : TLoginComponent(owner), worker_(new TCustomWorkerThread(nullptr)) {}

TCustomHttpRequest::~TCustomHttpRequest() {
    destroying_ = true;
    worker_->SetOwnerDestroying();
    Abort();
    // A worker still waiting to hand over its completion step is discarded with the component.
    delete worker_;
}

bool TCustomHttpRequest::WaitThread() const {
    return worker_->WaitThread;
}
void TCustomHttpRequest::SetWaitThread(bool wait) {
    worker_->WaitThread = wait;
}
TThreadPriority TCustomHttpRequest::ThreadPriority() const {
    return worker_->Priority();
}
void TCustomHttpRequest::SetThreadPriority(TThreadPriority priority) {
    worker_->SetPriority(priority);
}

bool TCustomHttpRequest::Busy() const {
    return worker_->Running();
}

bool TCustomHttpRequest::Start() {
    if (Busy()) return false;
    auto job = std::make_shared<THttpRequestJob>(this);
    job->CopyProperties();
    job->TransferBufferSize = TransferBufferSize;
    job->OnStatus = OnStatus;
    job->OnRedirected = OnRedirected;
    job->Cache = connectionCache_ ? std::move(connectionCache_) : std::make_unique<inet::TConnectionCache>();
    job_ = job;
    // The handlers hold the request; only its worker keeps them, so a discarded request ends and
    // closes its handles on its own thread.
    worker_->RunWork([job] { job->Execute(); },
                     [this] {
                         if (OnAnyError) OnAnyError(this);
                     },
                     [this, job] { FinishRequest(job); });
    return true;
}

void TCustomHttpRequest::DiscardJob() {
    worker_->RestartWorker();
    if (job_) job_->Discard();
    job_.reset();
}

void TCustomHttpRequest::Abort() {
    // Only a running request is stopped; a completion step that is under way finishes with the
    // stream of its own request.
    if (!Busy()) return;
    DiscardJob();
    if (!destroying_ && OnAborted) OnAborted(this);
}

void TCustomHttpRequest::FinishRequest(const std::shared_ptr<THttpRequestJob>& job) {
    if (job_ == job) job_.reset();
    job->CloseHandles();
    if (!connectionCache_ && job->Cache) connectionCache_ = std::move(job->Cache);

    QPointer<TCustomHttpRequest> self(this);
    bool failed = false;
    auto release = [&] {
        job->ResponseStream.reset();
        // A handler may have started the next request on the same file meanwhile: only a file
        // this request wrote is removed.
        if (job->ResponseIsFile) transport::EndOutputFileClaim(job->OutputFileName, job->FileOwner, failed);
    };
    try {
        if (job->ContinueDownload) {
            if (job->Succeeded) {
                if (!job->ResponseStream) {
                    if (OnAnyError) OnAnyError(this);
                    return;
                }
                if (job->ResponseIsFile) job->ResponseStream.reset();
                if (OnDone)
                    OnDone(this, job->ContentType, static_cast<int32_t>(job->BytesRead),
                           job->ResponseStream.get());
            } else {
                failed = true;
                if (OnAnyError) OnAnyError(this);
                if (!self) return release();
                if (job->StatusCode == -1) {
                    if (OnHostUnreachable) OnHostUnreachable(this);
                } else if (job->StatusCode == 200) {
                    if (OnConnLost)
                        OnConnLost(this, job->ContentType, static_cast<int32_t>(job->ContentLength),
                                   static_cast<int32_t>(job->BytesRead), job->ResponseStream.get());
                } else if (OnHTTPError) {
                    OnHTTPError(this, job->StatusCode, job->ResponseStream.get());
                }
            }
        }
        release();
        if (self && !job->ContinueDownload && OnDoneInterrupted) OnDoneInterrupted(this);
    } catch (...) {
        // The stream is released all the same; the rest of the step is dropped.
        release();
        if (self && OnAnyError) {
            try {
                OnAnyError(this);
            } catch (...) {
            }
        }
    }
}

// Response header dates.

ByteString CutToken(ByteString& text, const ByteString& separator, bool remove) {
    const size_t at = text.find(separator);
    if (at == ByteString::npos) {
        ByteString token = text;
        if (remove) text.clear();
        return token;
    }
    ByteString token = text.substr(0, at);
    if (remove) text.erase(0, at + separator.size());
    return token;
}

int WeekdayNumber(const ByteString& text) {
    static const char* const names[] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
    const ByteString upper = UpperCase(text);
    for (int k = 0; k < 7; ++k)
        if (upper == names[k]) return k + 1;
    return 0;
}

int MonthNumber(const ByteString& text) {
    static const char* const names[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                        "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    const ByteString upper = UpperCase(text);
    for (int k = 0; k < 12; ++k)
        if (upper == names[k]) return k + 1;
    return 0;
}

TDateTime ZoneSuffixToOffset(const ByteString& text) {
    const ByteString s = Trim(text).substr(0, 5);
    if (s.empty() || (s[0] != '+' && s[0] != '-')) return 0;
    int32_t hours = 0, minutes = 0;
    if (s.size() < 5 || !IsIntegerText(s.substr(1, 2), hours) || !IsIntegerText(s.substr(3, 2), minutes))
        return 0;
    if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59) return 0;
    const double offset = hours / 24.0 + minutes / 1440.0;
    return s[0] == '-' ? -offset : offset;
}

TDateTime LocalBiasDays() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    // tm_gmtoff is local minus UTC, daylight saving included.
    return -static_cast<double>(local.tm_gmtoff) / 86400.0;
}

TDateTime HeaderDateToLocalTime(const ByteString& value) {
    ByteString s = Trim(value);
    if (s.empty()) return 0;
    double result = 0;
    try {
        if (WeekdayNumber(s.substr(0, 3)) != 0) {
            CutToken(s, " ", true);
            s = TrimLeft(s);
        }
        ByteString separator = " ";
        const size_t hyphen = s.find('-');
        const size_t blank = s.find(' ');
        if (hyphen != ByteString::npos && hyphen + 1 >= 2 && blank != ByteString::npos && hyphen < blank)
            separator = "-";

        int day = 1, month = 0;
        auto readDay = [&] {
            day = IntegerValue(CutToken(s, separator, true), 1);
            s = TrimLeft(s);
        };
        auto readMonth = [&] {
            month = MonthNumber(CutToken(s, separator, true));
            s = TrimLeft(s);
        };
        if (MonthNumber(CutToken(s, separator, false)) != 0) {
            readMonth();
            readDay();
        } else {
            readDay();
            readMonth();
        }

        ByteString token = CutToken(s, " ", true);
        int32_t year = IntegerValue(token, 1900);
        if (year == 1900) {
            year = IntegerValue(s, 1900);
            s = token;
        }
        auto shortYear = static_cast<uint16_t>(year);
        if (shortYear < 80)
            shortYear = static_cast<uint16_t>(shortYear + 2000);
        else if (shortYear < 100)
            shortYear = static_cast<uint16_t>(shortYear + 1900);
        result = EncodeDate(shortYear, month, day);

        if (s.find(':') != ByteString::npos) {
            ByteString time = CutToken(s, " ", true);
            const int32_t hours = IntegerValue(CutToken(time, ":", true), 0);
            const int32_t minutes = IntegerValue(CutToken(time, ":", true), 0);
            const int32_t seconds = IntegerValue(CutToken(time, " ", true), 0);
            if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59)
                return 0;
            result += (hours * 3600 + minutes * 60 + seconds) / 86400.0;
        }
        s = TrimLeft(s);
    } catch (const std::exception&) {
        return 0;
    }
    const double offset = s.size() >= 5 ? ZoneSuffixToOffset(s) : 0.0;
    return result - offset - LocalBiasDays();
}
