#pragma once

#include <cstdint>

#include "base/Text.h"
#include "exchange/ConnectionSettings.h"

// The poll cycle's rules as plain functions, so that they can be checked without windows.

// The most milliseconds a timer interval may hold: 2147483 seconds.
constexpr int64_t MaxPollIntervalMs = 2147483000;

// The timer interval for the next poll: the user's Delay in seconds or minutes (1 second when
// the Delay is 0 or less), at least a minute while a failure or refusal message is on show, at
// least the script's last "Delay" in seconds; never more than MaxPollIntervalMs.
int PollIntervalMs(const TConnectionSettings& settings, bool messageOnShow, int32_t serverDelay);

// "User=…&Pass=…&Index=N" with the user name and password form-encoded.
ByteString PollRequestBody(const TConnectionSettings& settings, int32_t highestIndex);

// The body of a form reply to `target`: the credentials, then the form's data, when the target
// lies on the Script URL's own origin; the form's data alone anywhere else, so that a message's
// forms cannot carry the password to another server.
ByteString ReplyRequestBody(const TConnectionSettings& settings, const ByteString& target,
                            const ByteString& formData);

// Where a form's action takes a reply: a relative action means a place on the script's site.
ByteString ReplyTarget(const TConnectionSettings& settings, const ByteString& action);
