#pragma once

#include <cstdint>

// Bounds the immediate polls that follow answers without a message. A script hands out a burst
// one message per answer and holds a long poll open until something arrives, and both rely on
// the poll that follows every answer at once; but a Script URL that answers every poll at once
// with a page that is no field list, or that breaks every transfer off, would be asked again
// thousands of times a second. So a run of such quick answers ends the immediate polls: the
// next poll waits for the timer, until an answer brings a message, says nothing is pending or
// was held open for a while.
class TRepollBound {
public:
    // Quick answers without a message in a row that still get an immediate poll.
    static constexpr int MaxQuickRepolls = 10;
    // An answer that took this long was held open by the script (a long poll), not a flood.
    static constexpr int64_t HeldAnswerMs = 1000;

    // A poll request has been sent at `nowMs` (any monotonic milliseconds).
    void PollSent(int64_t nowMs) { sentAt_ = nowMs; }
    // An answer that would make the client poll again at once has arrived at `nowMs`; true when
    // that poll may go out at once. `broughtMessage`: the answer carried a message.
    bool MayPollAtOnce(bool broughtMessage, int64_t nowMs);
    // An answer that asks for no immediate poll (empty, or a refusal) ends any run.
    void AnswerEndedTheBurst() { quickRun_ = 0; }
    void Reset() { quickRun_ = 0; }

private:
    int64_t sentAt_ = 0;
    int quickRun_ = 0;
};
