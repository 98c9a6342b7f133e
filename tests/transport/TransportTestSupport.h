#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "common/EventLoopWait.h"
#include "common/TestHttpServer.h"
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

// A loopback port with nobody listening on it.
inline uint16_t ClosedPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(s);
    return ntohs(address.sin_port);
}

inline std::string ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

inline std::string TempName(const std::string& stem) {
    return (std::filesystem::temp_directory_path() / (stem + "-" + std::to_string(::getpid()))).string();
}

inline testing_support::TTestResponse Partial(testing_support::TTestResponse response, size_t bytes) {
    response.BodyBytesToSend = bytes;
    response.AfterPartial = testing_support::TTestResponse::TAfterPartial::Close;
    return response;
}

}  // namespace transport_testing
