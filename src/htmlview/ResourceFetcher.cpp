#include "htmlview/ResourceFetcher.h"

#include <QTimer>
#include <QUrl>

#include "transport/HttpRequest.h"

struct TResourceFetcher::TSlot {
    std::unique_ptr<THttpRequest> request;
    TDone done;
    bool busy = false;
};

TResourceFetcher::TResourceFetcher(QObject* parent) : QObject(parent) {}

TResourceFetcher::~TResourceFetcher() {
    CancelAll();
}

bool TResourceFetcher::IsFetchable(const QString& url) {
    const QUrl parsed(url);
    const QString scheme = parsed.scheme().toLower();
    return parsed.isValid() && !parsed.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

void TResourceFetcher::Fetch(const QString& url, TDone done) {
    if (!enabled_ || !IsFetchable(url)) {
        // Reported through the event queue like any other outcome.
        QTimer::singleShot(0, this, [done = std::move(done)] { done(false, {}); });
        return;
    }
    queue_.push_back({url, std::move(done)});
    StartNext();
}

void TResourceFetcher::CancelAll() {
    queue_.clear();
    for (auto& slot : slots_) {
        slot->done = nullptr;
        if (slot->busy && slot->request) {
            slot->request->OnAborted = nullptr;
            slot->request->Abort();
        }
        slot->busy = false;
    }
    running_ = 0;
}

void TResourceFetcher::StartNext() {
    while (!queue_.empty()) {
        TSlot* free = nullptr;
        for (auto& slot : slots_)
            if (!slot->busy && !slot->request->Busy()) free = slot.get();
        if (!free && static_cast<int>(slots_.size()) < kParallel) {
            auto slot = std::make_unique<TSlot>();
            slot->request = std::make_unique<THttpRequest>();
            TSlot* raw = slot.get();
            THttpRequest* request = raw->request.get();
            request->RequestMethod = rmGET;
            request->AcceptTypes = "*/*";
            request->OnHeaderInfo = [](QObject*, const ByteString&, const ByteString&, const ByteString&,
                                       const ByteString&, const ByteString&, int32_t length, TDateTime,
                                       TDateTime, TDateTime, bool& ContinueDownload) {
                if (length > kMaxBytes) ContinueDownload = false;
            };
            request->OnDone = [this, raw](QObject*, const ByteString&, int32_t, TStream* stream) {
                QByteArray data;
                bool ok = stream && stream->Size() <= kMaxBytes;
                if (ok) {
                    data.resize(static_cast<qsizetype>(stream->Size()));
                    stream->SetPosition(0);
                    ok = stream->Read(data.data(), data.size()) == data.size();
                }
                Finish(raw, ok, data);
            };
            auto fail = [this, raw](QObject*) { Finish(raw, false, {}); };
            request->OnHostUnreachable = fail;
            request->OnDoneInterrupted = fail;
            request->OnAborted = fail;
            request->OnHTTPError = [this, raw](QObject*, int32_t, TStream*) { Finish(raw, false, {}); };
            request->OnConnLost = [this, raw](QObject*, const ByteString&, int32_t, int32_t, TStream*) {
                Finish(raw, false, {});
            };
            slots_.push_back(std::move(slot));
            free = raw;
        }
        if (!free) return;
        TJob job = std::move(queue_.front());
        queue_.pop_front();
        free->request->URL = job.url.toStdString();
        free->done = std::move(job.done);
        free->busy = true;
        ++running_;
        if (!free->request->Start()) Finish(free, false, {});
    }
}

void TResourceFetcher::Finish(TSlot* slot, bool ok, const QByteArray& data) {
    if (!slot->busy) return;
    slot->busy = false;
    --running_;
    TDone done = std::move(slot->done);
    slot->done = nullptr;
    // The request is still finishing its completion step: start the next one afterwards.
    QTimer::singleShot(0, this, [this] { StartNext(); });
    if (done) done(ok, data);
}
