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
#include "transport/HttpRequestJob.h"
#include "transport/OutputFileClaims.h"
#include "transport/RequestUrl.h"

namespace {

// The fixed byte that, with the length, scrambles LoginInfo.
constexpr uint8_t LoginInfoKey = 0x5A;

}  // namespace

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
