#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/InternetApi.h"
#include "transport/HttpRequest.h"
#include "transport/OutputFileClaims.h"

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
