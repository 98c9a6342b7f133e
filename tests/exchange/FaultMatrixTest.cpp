// The fault matrix: the real THTTPForm and windows (offscreen) against loopback servers that
// misbehave in every way a Script URL has been seen to, each row with what the user sees, what is
// stored and when the next poll goes out.
#include <gtest/gtest.h>

#include <QApplication>
#include <atomic>
#include <memory>

#include "common/PollScript.h"
#include "common/ProgramHarness.h"
#include "exchange/DataUnit.h"
#include "exchange/HTTPUnit.h"
#include "exchange/IntervalTimer.h"
#include "exchange/RepollBound.h"
#include "support/SettingsStore.h"
#include "transport/HttpRequest.h"

using namespace testing_support;

namespace {

constexpr char FailureText[] = "Connection Failed!";
constexpr int UserInterval = 5000;    // the stored Delay of 5 seconds
constexpr int ShownInterval = 60000;  // while a failure or refusal is on show
// The stalls of the matrix end after this receive time-out; the program's own default is 60 s,
// which is then the time until the failure message.
constexpr uint32_t ReceiveTimeoutMs = 400;

TScriptMessage Message(int32_t index, std::string body = "") {
    return {index, "Header " + std::to_string(index), "Title " + std::to_string(index),
            body.empty() ? "<p>Message " + std::to_string(index) + "</p>" : std::move(body)};
}

std::string MessageAnswer(const TScriptMessage& m) {
    return EncodeFieldList({{"Index", std::to_string(m.Index)},
                            {"Header", m.Header},
                            {"Title", m.Title},
                            {"Message", m.Message}});
}

TTestResponse Stalled(TTestResponse response, size_t bodyBytes) {
    response.BodyBytesToSend = bodyBytes;
    response.AfterPartial = TTestResponse::TAfterPartial::Stall;
    return response;
}

// A script of messages 1..count that closes connections without an answer while `Away` is set.
struct TFlakyScript {
    std::atomic<bool> Away{false};
    std::atomic<bool> WentAway{false};
    std::atomic<int> Answered{0};
    int32_t Count = 50;
    int32_t GoAwayAfter = 20;

    TTestResponse Answer(const TReceivedRequest& request) {
        if (Away) {
            TTestResponse gone;
            gone.CloseWithoutAnswer = true;
            return gone;
        }
        const int32_t held = std::atoi(TPollScript::FormField(request.Body, "Index").c_str());
        if (held == GoAwayAfter && !WentAway.exchange(true)) {
            Away = true;
            TTestResponse gone;
            gone.CloseWithoutAnswer = true;
            return gone;
        }
        if (held >= Count) return TTestResponse::Text("");
        ++Answered;
        return TTestResponse::Text(MessageAnswer(Message(held + 1)));
    }
};

struct TFaultRow {
    const char* Behaviour;
    // Sets the script up; gives the Script URL the client is to poll.
    std::function<std::string(TPollScript&)> Prepare;
    // When set: run after the first round has settled, then the client polls once more.
    std::function<void(TPollScript&)> BeforeSecondPoll;
    int Boxes;                     // message boxes the user sees
    const char* BoxText;           // how the first one starts, when there is one
    size_t Stored;                 // notifications stored, each once and in order
    bool PolledAtOnce;             // more requests went out than polls were asked for
    int NextPollMs;                // the wait before the next timed poll
    int LaterPollMs;               // the interval of the timed polls after that one
    int RequestsPerPoll = 1;       // requests the server sees for one poll (redirect hops)
    size_t ExactRequests = 0;      // when set: exactly this many requests reached the server
    size_t FirstMessageBytes = 0;  // when set: the size of the stored message
    // Ends the stalls quickly; a row that moves much data gives an instrumented build (several
    // times slower) room between two reads.
    uint32_t ReceiveTimeout = ReceiveTimeoutMs;
};

bool StoreIsInOrderWithoutRepeats() {
    const auto& stored = Notifications();
    for (size_t k = 1; k < stored.size(); ++k)
        if (stored[k]->Index <= stored[k - 1]->Index) return false;
    return true;
}

}  // namespace

TEST(FaultMatrix, EveryMisbehaviourEndsInWhatTheUserShouldSee) {
    auto flaky = std::make_shared<TFlakyScript>();
    const std::string bigMessage(5 * 1024 * 1024, 'x');
    const std::vector<TFaultRow> rows = {
        {.Behaviour = "connection refused before any answer",
         .Prepare =
             [](TPollScript&) {
                 TTestHttpServer closed;
                 const std::string url = closed.Url("/script.php");
                 closed.Stop();
                 return url;
             },
         .BeforeSecondPoll = {},
         .Boxes = 1,
         .BoxText = FailureText,
         .Stored = 0,
         .PolledAtOnce = false,
         .NextPollMs = UserInterval,
         .LaterPollMs = ShownInterval},
        {.Behaviour = "connection refused after a first answer",
         .Prepare = [](TPollScript& s) { return s.Url(); },
         .BeforeSecondPoll = [](TPollScript& s) { s.Server().Stop(); },
         .Boxes = 0,
         .BoxText = nullptr,
         .Stored = 0,
         .PolledAtOnce = false,
         .NextPollMs = UserInterval,
         .LaterPollMs = UserInterval},
        {.Behaviour = "a name that does not resolve",
         .Prepare = [](TPollScript&) { return std::string("http://quorvel-test.invalid/s.php"); },
         .BeforeSecondPoll = {},
         .Boxes = 1,
         .BoxText = FailureText,
         .Stored = 0,
         .PolledAtOnce = false,
         .NextPollMs = UserInterval,
         .LaterPollMs = ShownInterval},
        {.Behaviour = "HTTP 401",
         .Prepare =
             [](TPollScript& s) {
                 s.SetStatus(401);
                 return s.Url();
             },
         .BeforeSecondPoll = {},
         .Boxes = 1,
         .BoxText = FailureText,
         .Stored = 0,
         .PolledAtOnce = false,
         .NextPollMs = UserInterval,
         .LaterPollMs = ShownInterval},
        {.Behaviour = "HTTP 404",
         .Prepare =
             [](TPollScript& s) {
                 s.SetStatus(404);
                 return s.Url();
             },
         .BeforeSecondPoll = {},
         .Boxes = 1,
         .BoxText = FailureText,
         .Stored = 0,
         .PolledAtOnce = false,
         .NextPollMs = UserInterval,
         .LaterPollMs = ShownInterval},
        {.Behaviour = "HTTP 500",
         .Prepare =
             [](TPollScript& s) {
                 s.SetStatus(500);
                 return s.Url();
             },
         .BeforeSecondPoll = {},
         .Boxes = 1,
         .BoxText = FailureText,
         .Stored = 0,
         .PolledAtOnce = false,
         .NextPollMs = UserInterval,
         .LaterPollMs = ShownInterval},
        {.Behaviour = "a body shorter than its declared length",
         .Prepare =
             [](TPollScript& s) {
                 auto cut = TTestResponse::Text(MessageAnswer(Message(1)));
                 cut.BodyBytesToSend = 12;
                 s.QueueResponse(cut);
                 s.AddMessage(Message(1));
                 return s.Url();
             },
         .BeforeSecondPoll = {},
         .Boxes = 0,
         .BoxText = nullptr,
         .Stored = 1,
         .PolledAtOnce = true,
         .NextPollMs = UserInterval,
         .LaterPollMs = UserInterval},
        {.Behaviour = "a chunked body cut in the middle of a chunk",
         .Prepare =
             [](TPollScript& s) {
                 auto cut = TTestResponse::Text(MessageAnswer(Message(1)));
                 cut.Framing = TTestResponse::TFraming::Chunked;
                 cut.ChunkSize = 4096;
                 cut.BodyWireBytesToSend = 20;
                 s.QueueResponse(cut);
                 s.AddMessage(Message(1));
                 return s.Url();
             },
         .BeforeSecondPoll = {},
         .Boxes = 0,
         .BoxText = nullptr,
         .Stored = 1,
         .PolledAtOnce = true,
         .NextPollMs = UserInterval,
         .LaterPollMs = UserInterval},
        {.Behaviour = "accepted and never answered (until the receive time-out)",
         .Prepare =
             [](TPollScript& s) {
                 TTestResponse never;
                 never.StallBeforeHeaders = true;
                 s.QueueResponse(never);
                 return s.Url();
             },
         .BeforeSecondPoll = {},
         .Boxes = 1,
         .BoxText = FailureText,
         .Stored = 0,
         .PolledAtOnce = false,
         .NextPollMs = UserInterval,
         .LaterPollMs = ShownInterval},
        {.Behaviour = "headers, then silence",
         .Prepare =
             [](TPollScript& s) {
                 s.QueueResponse(Stalled(TTestResponse::Text(MessageAnswer(Message(1))), 0));
                 return s.Url();
             },
         .BeforeSecondPoll = {},
         .Boxes = 0,
         .BoxText = nullptr,
         .Stored = 0,
         .PolledAtOnce = true,
         .NextPollMs = UserInterval,
         .LaterPollMs = UserInterval},
        {.Behaviour = "a 4 GB declared length with 10 bytes",
         .Prepare =
             [](TPollScript& s) {
                 auto lie = TTestResponse::Text("0123456789");
                 lie.DeclaredLength = 4294967296ll;
                 lie.BodyBytesToSend = 10;
                 s.QueueResponse(lie);
                 return s.Url();
             },
         .BeforeSecondPoll = {},
         .Boxes = 0,
         .BoxText = nullptr,
         .Stored = 0,
         .PolledAtOnce = true,
         .NextPollMs = UserInterval,
         .LaterPollMs = UserInterval},
        {.Behaviour = "an ordinary web page with status 200",
         .Prepare =
             [](TPollScript& s) {
                 s.SetPathHandler("/script.php", [](const TReceivedRequest&) {
                     return TTestResponse::Text("<html><body>Welcome to our shop</body></html>", 200,
                                                "text/html");
                 });
                 return s.Url();
             },
         .BeforeSecondPoll = {},
         .Boxes = 0,
         .BoxText = nullptr,
         .Stored = 0,
         .PolledAtOnce = true,
         .NextPollMs = UserInterval,
         .LaterPollMs = UserInterval,
         .RequestsPerPoll = 1,
         .ExactRequests = 1 + TRepollBound::MaxQuickRepolls},
        {.Behaviour = "an answer that holds only a Delay",
         .Prepare =
             [](TPollScript& s) {
                 s.QueueResponse(TTestResponse::Text(EncodeFieldList({{"Delay", "2"}})));
                 return s.Url();
             },
         .BeforeSecondPoll = {},
         .Boxes = 0,
         .BoxText = nullptr,
         .Stored = 0,
         .PolledAtOnce = true,
         .NextPollMs = UserInterval,
         .LaterPollMs = UserInterval},
        {.Behaviour = "a refusal",
         .Prepare =
             [](TPollScript& s) {
                 s.SetDeny("Your account is locked.");
                 return s.Url();
             },
         .BeforeSecondPoll = {},
         .Boxes = 1,
         .BoxText = "Your account is locked.",
         .Stored = 0,
         .PolledAtOnce = false,
         .NextPollMs = UserInterval,
         .LaterPollMs = ShownInterval},
        {.Behaviour = "a message with Delay 30",
         .Prepare =
             [](TPollScript& s) {
                 s.AddMessage(Message(1));
                 s.SetDelay("30");
                 return s.Url();
             },
         .BeforeSecondPoll = {},
         .Boxes = 0,
         .BoxText = nullptr,
         .Stored = 1,
         .PolledAtOnce = true,
         .NextPollMs = 30000,
         .LaterPollMs = UserInterval},
        {.Behaviour = "malformed field lists",
         .Prepare =
             [](TPollScript& s) {
                 // Each longer than a byte, so each asks for the next poll; the last ends the burst.
                 for (const char* body : {"9999", "2-1Index", "3000Index000001", "1\xff\xfe", "0Index", "x"})
                     s.QueueResponse(TTestResponse::Text(body));
                 return s.Url();
             },
         .BeforeSecondPoll = {},
         .Boxes = 0,
         .BoxText = nullptr,
         .Stored = 0,
         .PolledAtOnce = true,
         .NextPollMs = UserInterval,
         .LaterPollMs = UserInterval},
        {.Behaviour = "a 5 MB message",
         .Prepare =
             [&](TPollScript& s) {
                 s.AddMessage(Message(1, bigMessage));
                 return s.Url();
             },
         .BeforeSecondPoll = {},
         .Boxes = 0,
         .BoxText = nullptr,
         .Stored = 1,
         .PolledAtOnce = true,
         .NextPollMs = UserInterval,
         .LaterPollMs = UserInterval,
         .RequestsPerPoll = 1,
         .ExactRequests = 0,
         .FirstMessageBytes = bigMessage.size(),
         .ReceiveTimeout = 5000},
        {.Behaviour = "a burst of 1,000",
         .Prepare =
             [](TPollScript& s) {
                 s.SetGenerated(1000, [](int32_t index) { return Message(index); });
                 return s.Url();
             },
         .BeforeSecondPoll = {},
         .Boxes = 0,
         .BoxText = nullptr,
         .Stored = 1000,
         .PolledAtOnce = true,
         .NextPollMs = UserInterval,
         .LaterPollMs = UserInterval},
        {.Behaviour = "the server going away in a burst and coming back",
         .Prepare =
             [flaky](TPollScript& s) {
                 s.SetPathHandler("/script.php",
                                  [flaky](const TReceivedRequest& r) { return flaky->Answer(r); });
                 return s.Url();
             },
         .BeforeSecondPoll = [flaky](TPollScript&) { flaky->Away = false; },
         .Boxes = 0,
         .BoxText = nullptr,
         .Stored = 50,
         .PolledAtOnce = true,
         .NextPollMs = UserInterval,
         .LaterPollMs = UserInterval},
    };
    for (const TFaultRow& row : rows) {
        SCOPED_TRACE(row.Behaviour);
        ResetUserSettings();
        auto script = std::make_unique<TPollScript>();
        const std::string url = row.Prepare(*script);
        StoreSettings([&](TSettingsStore& store) {
            store.WriteText("Connection", "User", "John Smith");
            store.WriteText("Connection", "URL", url);
            store.WriteNumber("Connection", "Delay", UserInterval / 1000);
            store.WriteText("Connection", "Pass", "secret");
            store.WriteFlag("Caching", "SavePass", true);
        });
        TMessageBoxWatcher boxes;
        TProgram program(false);
        program.HoldTimer();
        program.HTTP->PollRequest->Timeouts.ReceiveTimeout = row.ReceiveTimeout;
        // Settled: the outcomes have been handled, no poll runs, no box is open, and nothing
        // has moved for a moment (a dead keep-alive connection may be retried by the transport,
        // so requests and outcomes need not match one to one).
        auto settle = [&](int outcomes) {
            for (int round = 0; round < 400; ++round) {
                if (!WaitUntil([&] {
                        return program.Completions() >= outcomes && !program.HTTP->PollRequest->Busy() &&
                               !boxes.BoxOpen();
                    }))
                    return false;
                const size_t requests = script->RequestCount();
                const int handled = program.Completions();
                WaitUntil([] { return false; }, std::chrono::milliseconds(150));
                if (requests == script->RequestCount() && handled == program.Completions() &&
                    !program.HTTP->PollRequest->Busy())
                    return true;
            }
            return false;
        };
        int polls = 1;
        program.HTTP->Poll();
        ASSERT_TRUE(settle(1)) << script->RequestCount() << " requests, " << program.Completions()
                               << " outcomes";
        if (row.BeforeSecondPoll) {
            row.BeforeSecondPoll(*script);
            program.HTTP->Poll();
            ++polls;
            ASSERT_TRUE(settle(polls));
        }

        EXPECT_EQ(boxes.Count(), row.Boxes);
        if (row.BoxText && boxes.Count() > 0) {
            EXPECT_TRUE(boxes.Texts().front().startsWith(row.BoxText)) << boxes.Texts().front().toStdString();
        }
        EXPECT_EQ(Notifications().size(), row.Stored);
        EXPECT_TRUE(StoreIsInOrderWithoutRepeats());
        if (row.FirstMessageBytes > 0 && !Notifications().empty()) {
            EXPECT_EQ(Notifications().front()->Message.size(), row.FirstMessageBytes);
        }
        EXPECT_EQ(static_cast<int>(script->RequestCount()) > polls * row.RequestsPerPoll, row.PolledAtOnce);
        EXPECT_EQ(program.HTTP->Timer->Interval(), row.NextPollMs);
        EXPECT_EQ(program.HTTP->PollInterval(), row.LaterPollMs);
        if (row.ExactRequests > 0) {
            EXPECT_EQ(script->RequestCount(), row.ExactRequests);
        }
    }
}
