#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "TestHttpServer.h"

namespace testing_support {

// A field list with width 8: each string preceded by its length in eight digits.
std::string EncodeFieldList(const std::vector<std::pair<std::string, std::string>>& fields);

// One message the script can hand out.
struct TScriptMessage {
    int32_t Index = 0;
    std::string Header;
    std::string Title;
    std::string Message;
};

// A poll script on loopback that behaves like the web script the client talks to: every POST
// carries "Index=N" and gets the first message, in the order they were added, whose Index is
// above N, or an empty body when there is none. Further behaviour is set per test: a "Delay"
// in every answer, a refusal, another status, or answers queued to be sent first.
class TPollScript {
public:
    TPollScript();
    ~TPollScript();

    std::string Url(const std::string& path = "/script.php") const { return server_.Url(path); }
    TTestHttpServer& Server() { return server_; }

    void AddMessage(TScriptMessage message);
    // Messages 1..count made on demand by the generator (nothing is held in memory).
    void SetGenerated(int32_t count, std::function<TScriptMessage(int32_t index)> generator);

    void SetDelay(std::optional<std::string> delay);  // "Delay" of every message answer
    void SetDeny(std::string text);                   // non-empty: every answer is this refusal
    void SetStatus(int status);                       // answer every poll with this status
    void QueueResponse(TTestResponse response);       // sent before the normal answers
    // Requests to that path (form replies, for instance) are answered by the handler, on the
    // server's connection thread, instead of as polls.
    void SetPathHandler(std::string path, TTestHttpServer::THandler handler);

    std::vector<TReceivedRequest> Requests() const { return server_.Requests(); }
    size_t RequestCount() const { return server_.RequestCount(); }
    bool WaitForRequests(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(20)) const {
        return server_.WaitForRequests(count, timeout);
    }
    // Bytes of all answer bodies sent so far.
    uint64_t BytesSent() const { return bytesSent_; }
    size_t EmptyAnswers() const { return emptyAnswers_; }

    // The value of a form-encoded field of a request body ("" when absent), decoded.
    static std::string FormField(const std::string& body, const std::string& name);

private:
    TTestResponse Answer(const TReceivedRequest& request);

    mutable std::mutex mutex_;
    std::vector<TScriptMessage> messages_;
    int32_t generatedCount_ = 0;
    std::function<TScriptMessage(int32_t)> generator_;
    std::optional<std::string> delay_;
    std::string deny_;
    int status_ = 200;
    std::vector<TTestResponse> queued_;
    std::vector<std::pair<std::string, TTestHttpServer::THandler>> pathHandlers_;
    std::atomic<uint64_t> bytesSent_{0};
    std::atomic<size_t> emptyAnswers_{0};
    TTestHttpServer server_;
};

}  // namespace testing_support
