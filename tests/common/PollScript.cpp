#include "PollScript.h"

#include <cstdio>
#include <cstdlib>

namespace testing_support {

std::string EncodeFieldList(const std::vector<std::pair<std::string, std::string>>& fields) {
    std::string out = "8";
    auto add = [&out](const std::string& text) {
        char length[16];
        std::snprintf(length, sizeof length, "%08zu", text.size());
        out += length;
        out += text;
    };
    for (const auto& [name, value] : fields) {
        add(name);
        add(value);
    }
    return out;
}

TPollScript::TPollScript() : server_([this](const TReceivedRequest& request) { return Answer(request); }) {}

TPollScript::~TPollScript() {
    server_.Stop();
}

void TPollScript::AddMessage(TScriptMessage message) {
    std::lock_guard lock(mutex_);
    messages_.push_back(std::move(message));
}

void TPollScript::SetGenerated(int32_t count, std::function<TScriptMessage(int32_t)> generator) {
    std::lock_guard lock(mutex_);
    generatedCount_ = count;
    generator_ = std::move(generator);
}

void TPollScript::SetDelay(std::optional<std::string> delay) {
    std::lock_guard lock(mutex_);
    delay_ = std::move(delay);
}

void TPollScript::SetDeny(std::string text) {
    std::lock_guard lock(mutex_);
    deny_ = std::move(text);
}

void TPollScript::SetStatus(int status) {
    std::lock_guard lock(mutex_);
    status_ = status;
}

void TPollScript::QueueResponse(TTestResponse response) {
    std::lock_guard lock(mutex_);
    queued_.push_back(std::move(response));
}

void TPollScript::SetPathHandler(std::string path, TTestHttpServer::THandler handler) {
    std::lock_guard lock(mutex_);
    pathHandlers_.emplace_back(std::move(path), std::move(handler));
}

std::string TPollScript::FormField(const std::string& body, const std::string& name) {
    size_t pos = 0;
    while (pos <= body.size()) {
        size_t end = body.find('&', pos);
        if (end == std::string::npos) end = body.size();
        const std::string pair = body.substr(pos, end - pos);
        const size_t eq = pair.find('=');
        if (pair.substr(0, eq) == name) {
            std::string raw = eq == std::string::npos ? std::string() : pair.substr(eq + 1), value;
            for (size_t i = 0; i < raw.size(); ++i) {
                if (raw[i] == '+') {
                    value += ' ';
                } else if (raw[i] == '%' && i + 2 < raw.size()) {
                    value += static_cast<char>(std::strtol(raw.substr(i + 1, 2).c_str(), nullptr, 16));
                    i += 2;
                } else {
                    value += raw[i];
                }
            }
            return value;
        }
        pos = end + 1;
    }
    return std::string();
}

TTestResponse TPollScript::Answer(const TReceivedRequest& request) {
    {
        TTestHttpServer::THandler handler;
        {
            std::lock_guard lock(mutex_);
            for (const auto& [path, h] : pathHandlers_)
                if (path == request.Path) handler = h;
        }
        if (handler) return handler(request);
    }
    std::lock_guard lock(mutex_);
    TTestResponse response;
    if (!queued_.empty()) {
        response = std::move(queued_.front());
        queued_.erase(queued_.begin());
    } else if (status_ != 200) {
        response = TTestResponse::Text("Internal error", status_);
    } else if (!deny_.empty()) {
        std::vector<std::pair<std::string, std::string>> fields;
        if (delay_) fields.emplace_back("Delay", *delay_);
        fields.emplace_back("Deny", deny_);
        response = TTestResponse::Text(EncodeFieldList(fields), 200, "text/html");
    } else {
        const int32_t held = std::atoi(FormField(request.Body, "Index").c_str());
        std::optional<TScriptMessage> next;
        for (const TScriptMessage& message : messages_)
            if (message.Index > held) {
                next = message;
                break;
            }
        if (!next && generator_ && held < generatedCount_) next = generator_(held + 1);
        if (next) {
            std::vector<std::pair<std::string, std::string>> fields;
            if (delay_) fields.emplace_back("Delay", *delay_);
            fields.emplace_back("Index", std::to_string(next->Index));
            fields.emplace_back("Header", next->Header);
            fields.emplace_back("Title", next->Title);
            fields.emplace_back("Message", next->Message);
            response = TTestResponse::Text(EncodeFieldList(fields), 200, "text/html");
        } else {
            response = TTestResponse::Text("", 200, "text/html");
            ++emptyAnswers_;
        }
    }
    bytesSent_ += response.Body.size();
    return response;
}

}  // namespace testing_support
