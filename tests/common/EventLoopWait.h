#pragma once

#include <chrono>
#include <functional>

namespace testing_support {

// Runs the event loop until the condition holds or the time-out passes; gives the condition.
// A ticking timer wakes the loop, so conditions that other threads change are seen as well.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));

}  // namespace testing_support
