#include "exchange/PollRules.h"

#include <algorithm>
#include <string>

#include "base/Address.h"
#include "exchange/UtilsUnit.h"
#include "transport/RequestUrl.h"

namespace {

constexpr int64_t MessageOnShowFloorMs = 60000;

int64_t SecondsToMs(int64_t seconds) {
    return std::min(seconds * 1000, MaxPollIntervalMs);
}

ByteString Credentials(const TConnectionSettings& settings) {
    return "User=" + FormEncode(settings.User) + "&Pass=" + FormEncode(settings.Pass);
}

// The Script URL as the poll request reaches it, so that "host/script.php" and
// "http://host/script.php" name the same site.
ByteString ScriptAddress(const TConnectionSettings& settings) {
    return NormalizeRequestUrl(settings.URL);
}

}  // namespace

int PollIntervalMs(const TConnectionSettings& settings, bool messageOnShow, int32_t serverDelay) {
    int64_t interval = 1000;
    if (settings.Delay > 0) {
        const int64_t delay = settings.Delay;
        interval = settings.Mins ? std::min(delay * 60000, MaxPollIntervalMs) : SecondsToMs(delay);
    }
    if (messageOnShow && interval < MessageOnShowFloorMs) interval = MessageOnShowFloorMs;
    if (serverDelay > 0 && SecondsToMs(serverDelay) > interval) interval = SecondsToMs(serverDelay);
    return static_cast<int>(interval);
}

ByteString PollRequestBody(const TConnectionSettings& settings, int32_t highestIndex) {
    return Credentials(settings) + "&Index=" + std::to_string(highestIndex);
}

ByteString ReplyTarget(const TConnectionSettings& settings, const ByteString& action) {
    return ResolveAddress(ScriptAddress(settings), action);
}

ByteString ReplyRequestBody(const TConnectionSettings& settings, const ByteString& target,
                            const ByteString& formData) {
    if (!SameOrigin(target, ScriptAddress(settings))) return formData;
    ByteString body = Credentials(settings);
    if (!formData.empty()) body += "&" + formData;
    return body;
}
