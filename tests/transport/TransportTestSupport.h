#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "common/EventLoopWait.h"
#include "exchange/UtilsUnit.h"
#include "transport/HttpRequest.h"

namespace transport_testing {

// Handles events until the condition holds; false after the time-out.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 20000) {
    return testing_support::WaitUntil(condition, std::chrono::milliseconds(timeoutMs));
}

// Records the outcome events of a request component in the order they came.
struct TEventLog {
    std::vector<std::string> Events;
    ByteString ContentType;
    int32_t FileSize = -1;
    int32_t BytesRead = -1;
    int32_t ErrorCode = 0;
    bool HadStream = false;
    int64_t StreamPosition = -1;
    int64_t StreamSize = -1;
    ByteString Body;

    void Attach(TCustomHttpRequest& request) {
        request.OnDone = [this](QObject*, const ByteString& contentType, int32_t fileSize, TStream* stream) {
            Events.push_back("OnDone");
            ContentType = contentType;
            FileSize = fileSize;
            Take(stream);
        };
        request.OnConnLost = [this](QObject*, const ByteString& contentType, int32_t fileSize,
                                    int32_t bytesRead, TStream* stream) {
            Events.push_back("OnConnLost");
            ContentType = contentType;
            FileSize = fileSize;
            BytesRead = bytesRead;
            Take(stream);
        };
        request.OnHTTPError = [this](QObject*, int32_t errorCode, TStream* stream) {
            Events.push_back("OnHTTPError");
            ErrorCode = errorCode;
            Take(stream);
        };
        request.OnHostUnreachable = [this](QObject*) { Events.push_back("OnHostUnreachable"); };
        request.OnAnyError = [this](QObject*) { Events.push_back("OnAnyError"); };
        request.OnDoneInterrupted = [this](QObject*) { Events.push_back("OnDoneInterrupted"); };
        request.OnAborted = [this](QObject*) { Events.push_back("OnAborted"); };
    }

    void Take(TStream* stream) {
        HadStream = stream != nullptr;
        if (!stream) return;
        StreamPosition = stream->Position();
        StreamSize = stream->Size();
        Body = StreamToString(stream);
    }
};

// Waits until the request has reported and its routine has ended.
inline bool WaitForOutcome(const TCustomHttpRequest& request, const TEventLog& log, int timeoutMs = 20000) {
    return WaitFor([&] { return !log.Events.empty() && !request.Busy(); }, timeoutMs);
}

// Waits until no worker of any request component is left (discarded ones included).
inline bool WaitForWorkersGone(int baseline, int timeoutMs = 20000) {
    return WaitFor([&] { return TCustomWorkerThread::WorkerCount() <= baseline; }, timeoutMs);
}

}  // namespace transport_testing
