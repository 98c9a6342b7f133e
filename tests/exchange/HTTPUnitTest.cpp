// The poll cycle end to end: the real THTTPForm, main window and Connection dialog (offscreen)
// against a poll script on loopback.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>

#include "common/PollScript.h"
#include "common/ProgramHarness.h"
#include "exchange/DataUnit.h"
#include "exchange/HTTPUnit.h"
#include "exchange/IntervalTimer.h"
#include "exchange/RepollBound.h"
#include "shell/ConnectionUnit.h"
#include "shell/MainUnit.h"
#include "shell/MessageListModel.h"
#include "support/SettingsStore.h"
#include "transport/HttpRequest.h"

using namespace testing_support;

namespace {

const char* const FailureText = "Connection Failed!";

TScriptMessage Message(int32_t index) {
    return {index, "Header " + std::to_string(index), "Title " + std::to_string(index),
            "<html><body><p>Message " + std::to_string(index) + "</p></body></html>"};
}

class HTTPUnitPoll : public ::testing::Test {
protected:
    void SetUp() override { ResetUserSettings(); }

    // Stores the connection settings of an earlier run; with savePass the dialog stays closed.
    void Configure(const std::string& url, int32_t delay = 60, bool savePass = true,
                   const std::string& user = "John Smith", const std::string& pass = "p&ss w") {
        StoreSettings([&](TSettingsStore& store) {
            store.WriteText("Connection", "User", user);
            store.WriteText("Connection", "URL", url);
            store.WriteNumber("Connection", "Delay", delay);
            store.WriteFlag("Connection", "Mins", false);
            store.WriteText("Connection", "Pass", pass);
            store.WriteFlag("Caching", "SavePass", savePass);
        });
    }

    // Waits until the poll request has ended and its events have run.
    // Waits until every request the script received has been answered and handled, no poll is
    // running and the extra condition holds.
    static bool Settled(const TProgram& program, const TPollScript& script, std::function<bool()> also = {}) {
        return WaitUntil([&] {
            return (!also || also()) && program.Completions() >= static_cast<int>(script.RequestCount()) &&
                   !program.HTTP->PollRequest->Busy();
        });
    }

    static std::string ClosedPortUrl() {
        TTestHttpServer closed;
        const std::string url = closed.Url("/script.php");
        closed.Stop();
        return url;
    }
};

TEST_F(HTTPUnitPoll, FirstPollComesAboutASecondAfterStartWithIndexZeroAndTheCredentials) {
    TPollScript script;
    Configure(script.Url());
    QElapsedTimer clock;
    clock.start();
    TProgram program;
    ASSERT_TRUE(WaitUntil([&] { return script.RequestCount() >= 1; }));
    EXPECT_GE(clock.elapsed(), 900);
    const TReceivedRequest request = script.Requests().front();
    EXPECT_EQ(request.Method, "POST");
    EXPECT_EQ(request.Path, "/script.php");
    EXPECT_EQ(request.Body, "User=John+Smith&Pass=p%26ss+w&Index=0");
    EXPECT_EQ(request.Header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(request.Header("User-Agent"), "WinHTTP");
}

TEST_F(HTTPUnitPoll, BurstIsFetchedBackToBackUntilTheEmptyAnswer) {
    TPollScript script;
    for (int32_t index : {4, 7, 9}) script.AddMessage(Message(index));
    Configure(script.Url(), 60);
    TProgram program;
    program.HTTP->Poll();
    // With a 60 s interval, only the immediate polls of the burst can bring four requests.
    ASSERT_TRUE(Settled(program, script, [&] { return script.EmptyAnswers() >= 1; }));
    const auto requests = script.Requests();
    ASSERT_EQ(requests.size(), 4u);
    const char* indexes[] = {"0", "4", "7", "9"};
    for (size_t i = 0; i < requests.size(); ++i)
        EXPECT_EQ(TPollScript::FormField(requests[i].Body, "Index"), indexes[i]) << i;
    ASSERT_EQ(Notifications().size(), 3u);
    EXPECT_EQ(HighestIndex(), 9);
    ASSERT_EQ(program.Main->ListItems->Count(), 3);
    EXPECT_EQ(program.Main->ListItems->Caption(0), "Title 9");
    EXPECT_EQ(program.Main->ListItems->Caption(2), "Title 4");
    EXPECT_EQ(program.HTTP->Timer->Interval(), 60000);
    EXPECT_TRUE(program.HTTP->Connected);
    EXPECT_EQ(program.HTTP->ServerDelay, 1);
}

TEST_F(HTTPUnitPoll, ScriptDelayLengthensTheWaitAfterItsBurst) {
    struct Case {
        std::optional<std::string> delay;
        int interval;
    };
    const Case cases[] = {{"30", 30000},        {"0", 5000},   {"-4", 5000},
                          {std::nullopt, 5000}, {"abc", 5000}, {"3000000", 2147483000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.delay.value_or("(none)"));
        TPollScript script;
        script.AddMessage(Message(1));
        script.SetDelay(c.delay);
        Configure(script.Url(), 5);
        TProgram program;
        program.HTTP->Poll();
        ASSERT_TRUE(Settled(program, script, [&] { return script.EmptyAnswers() >= 1; }));
        // The message answer's Delay set the interval of the poll it triggered; the empty answer
        // that ended the burst reset the server's demand for the tick after that.
        EXPECT_EQ(program.HTTP->Timer->Interval(), c.interval);
        EXPECT_EQ(program.HTTP->ServerDelay, 1);
        EXPECT_EQ(program.HTTP->PollInterval(), 5000);
    }
}

TEST_F(HTTPUnitPoll, IntervalFollowsSettingsFlagsAndServerDelay) {
    struct Case {
        int32_t delay;
        bool mins, failure, denial;
        int32_t serverDelay;
        int interval;
    };
    const Case cases[] = {
        {5, false, false, false, 0, 5000},
        {5, true, false, false, 0, 300000},
        {5, false, true, false, 0, 60000},
        {5, true, true, false, 0, 300000},
        {5, false, false, true, 1, 60000},
        {5, false, false, false, 30, 30000},
        {5, false, false, false, -3, 5000},
        {60, true, false, false, 0, 3600000},
        {0, false, false, false, 0, 1000},
        {-7, true, false, false, 0, 1000},
        {0, false, true, false, 0, 60000},
        {2147483647, true, false, false, 0, 2147483000},
        {5, false, false, false, 2147483647, 2147483000},
    };
    TProgram program(false);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.delay << (c.mins ? " min" : " s") << " failure " << c.failure
                                          << " denial " << c.denial << " server " << c.serverDelay);
        program.Connection->Delay = c.delay;
        program.Connection->Mins = c.mins;
        program.HTTP->FailureShown = c.failure;
        program.HTTP->DenialShown = c.denial;
        program.HTTP->ServerDelay = c.serverDelay;
        EXPECT_EQ(program.HTTP->PollInterval(), c.interval);
    }
}

TEST_F(HTTPUnitPoll, TickWhileAPollRunsOnlyRestartsTheTimer) {
    TPollScript script;
    script.QueueResponse([] {
        TTestResponse stall;
        stall.StallBeforeHeaders = true;
        return stall;
    }());
    Configure(script.Url(), 5);
    TProgram program(false);
    program.HTTP->Poll();
    ASSERT_TRUE(script.Server().WaitForStalls(1));
    program.Connection->Delay = 7;
    program.Connection->User = "Changed";
    program.HTTP->Poll();
    EXPECT_EQ(program.HTTP->Timer->Interval(), 7000);
    EXPECT_EQ(program.HTTP->PollRequest->POSTData, "User=John+Smith&Pass=p%26ss+w&Index=0");
    EXPECT_TRUE(program.HTTP->PollRequest->Busy());
    EXPECT_EQ(script.RequestCount(), 1u);
}

TEST_F(HTTPUnitPoll, AnswersAreReadAsTheScriptMeantThem) {
    struct Case {
        const char* name;
        std::string body;
        size_t stored;
        bool pollsAgain;
        int boxes;
    };
    const std::string message =
        EncodeFieldList({{"Index", "3"}, {"Header", "H"}, {"Title", "T"}, {"Message", "M"}});
    const Case cases[] = {
        {"message", message, 1, true, 0},
        {"web page", "<html><body>Not a script</body></html>", 0, true, 0},
        {"only a delay", EncodeFieldList({{"Delay", "2"}}), 0, true, 0},
        {"message with refusal",
         EncodeFieldList({{"Index", "3"}, {"Header", "H"}, {"Title", "T"}, {"Message", "M"}, {"Deny", "No"}}),
         0, false, 1},
        {"empty refusal",
         EncodeFieldList({{"Deny", ""}, {"Index", "3"}, {"Header", "H"}, {"Title", "T"}, {"Message", "M"}}),
         1, true, 0},
        {"empty title", EncodeFieldList({{"Index", "3"}, {"Header", "H"}, {"Title", ""}, {"Message", "M"}}),
         0, true, 0},
        {"one byte", " x \r\n", 0, false, 0},
        {"empty", "", 0, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TPollScript script;
        script.QueueResponse(TTestResponse::Text(c.body, 200, "text/html"));
        Configure(script.Url(), 60);
        TMessageBoxWatcher boxes;
        TProgram program;
        program.HTTP->Poll();
        ASSERT_TRUE(Settled(program, script, [&] { return program.HTTP->Connected; }));
        if (c.pollsAgain) {
            ASSERT_TRUE(Settled(program, script, [&] { return script.EmptyAnswers() >= 1; }));
        }
        EXPECT_EQ(Notifications().size(), c.stored);
        EXPECT_EQ(static_cast<size_t>(program.Main->ListItems->Count()), c.stored);
        EXPECT_EQ(script.RequestCount(), c.pollsAgain ? 2u : 1u);
        EXPECT_EQ(boxes.Count(), c.boxes);
        EXPECT_FALSE(program.HTTP->FailureShown);
    }
}

TEST_F(HTTPUnitPoll, IndexThatIsNoIntegerStoresTheMessageWithIndexZero) {
    TPollScript script;
    script.QueueResponse(TTestResponse::Text(
        EncodeFieldList({{"Index", "12 "}, {"Header", "H"}, {"Title", "T"}, {"Message", "M"}}), 200));
    Configure(script.Url());
    TProgram program(false);
    program.HTTP->Poll();
    ASSERT_TRUE(Settled(program, script, [&] { return script.EmptyAnswers() >= 1; }));
    ASSERT_EQ(Notifications().size(), 1u);
    EXPECT_EQ(Notifications().front()->Index, 0);
    EXPECT_EQ(HighestIndex(), 0);
    EXPECT_EQ(TPollScript::FormField(script.Requests().back().Body, "Index"), "0");
}

TEST_F(HTTPUnitPoll, RefusalIsShownOnceWithTheOneMinuteFloorThenTheDialog) {
    TPollScript script;
    script.SetDeny("Your account is locked.");
    Configure(script.Url(), 1);
    TMessageBoxWatcher boxes;
    TProgram program;
    // The box is modal, but the timer goes on: the next tick polls, meets the refusal again and
    // shows nothing more, and its interval has the one-minute floor. The box is answered only
    // once that has happened, from inside its own event loop.
    int intervalWhileShown = 0;
    bool dialogWhileShown = true;
    boxes.Respond = [&] {
        if (script.RequestCount() < 2 || program.Completions() < 1 || program.HTTP->PollRequest->Busy())
            return false;
        intervalWhileShown = program.HTTP->Timer->Interval();
        dialogWhileShown = program.Connection->isVisible();
        return true;
    };
    program.HTTP->Poll();
    ASSERT_TRUE(WaitUntil([&] { return program.Connection->isVisible() && !boxes.BoxOpen(); }));
    ASSERT_EQ(boxes.Count(), 1);
    EXPECT_EQ(boxes.Texts().front(), "Your account is locked.");
    EXPECT_TRUE(program.HTTP->DenialShown);
    EXPECT_EQ(intervalWhileShown, 60000);
    EXPECT_FALSE(dialogWhileShown);
    EXPECT_EQ(Notifications().size(), 0u);
}

TEST_F(HTTPUnitPoll, FailureIsShownOnceWithTheFocusInTheURLAndAgainAfterAReset) {
    TPollScript script;
    script.SetStatus(500);
    Configure(script.Url(), 60);
    TMessageBoxWatcher boxes;
    TProgram program;
    program.HTTP->Poll();
    ASSERT_TRUE(WaitUntil([&] { return boxes.Count() == 1 && program.Connection->isActiveWindow(); }));
    EXPECT_TRUE(boxes.Texts().front().startsWith(FailureText)) << boxes.Texts().front().toStdString();
    EXPECT_TRUE(boxes.Texts().front().contains("Check that you correctly entered webscript URL!"));
    ASSERT_TRUE(WaitUntil([&] { return QApplication::focusWidget() == program.Connection->EditURL; }));
    EXPECT_TRUE(program.HTTP->FailureShown);
    EXPECT_TRUE(program.HTTP->Paused);
    EXPECT_FALSE(program.Main->isEnabled());

    // Closing without changes polls at once; the failure stays silent, FailureShown still set.
    program.Connection->close();
    EXPECT_TRUE(program.Main->isEnabled());
    EXPECT_FALSE(program.HTTP->Paused);
    ASSERT_TRUE(Settled(program, script, [&] { return script.RequestCount() >= 2; }));
    EXPECT_EQ(boxes.Count(), 1);
    EXPECT_EQ(program.HTTP->Timer->Interval(), 60000);

    // Changed settings reset the session: the next failure is shown again.
    program.Connection->Open();
    ASSERT_TRUE(WaitUntil([&] { return program.Connection->isActiveWindow(); }));
    program.Connection->EditURL->setText(QString::fromStdString(script.Url("/other.php")));
    program.Connection->ButtonOkClick();
    ASSERT_TRUE(WaitUntil([&] { return boxes.Count() == 2; }));
    EXPECT_EQ(script.Requests().back().Path, "/other.php");
}

TEST_F(HTTPUnitPoll, FailureWhileTheDialogIsOpenStaysSilentAndUnremembered) {
    TPollScript script;
    script.SetStatus(404);
    Configure(script.Url(), 60, false);
    TMessageBoxWatcher boxes;
    TProgram program;
    // Without a saved password the first activation opens the dialog, which pauses the messages.
    ASSERT_TRUE(WaitUntil([&] { return program.Connection->isActiveWindow() && program.HTTP->Paused; }));
    program.HTTP->Poll();
    ASSERT_TRUE(Settled(program, script, [&] { return script.RequestCount() >= 1; }));
    EXPECT_EQ(boxes.Count(), 0);
    EXPECT_FALSE(program.HTTP->FailureShown);
    program.Connection->close();  // polls at once, no longer paused
    ASSERT_TRUE(WaitUntil([&] { return boxes.Count() == 1; }));
}

TEST_F(HTTPUnitPoll, UnreachableHostIsReportedOnlyBeforeTheFirstAnswer) {
    {
        Configure(ClosedPortUrl(), 60);
        TMessageBoxWatcher boxes;
        TProgram program;
        program.HTTP->Poll();
        ASSERT_TRUE(WaitUntil([&] { return boxes.Count() == 1 && program.Connection->isVisible(); }));
        EXPECT_TRUE(boxes.Texts().front().startsWith(FailureText));
        program.Connection->close();
        ASSERT_TRUE(program.WaitCompletions(2));
        EXPECT_EQ(boxes.Count(), 1);
    }
    {
        TPollScript script;
        Configure(script.Url(), 60);
        TMessageBoxWatcher boxes;
        TProgram program;
        program.HTTP->Poll();
        ASSERT_TRUE(Settled(program, script, [&] { return program.HTTP->Connected; }));
        script.Server().Stop();
        const int before = program.Completions();
        program.HTTP->Poll();
        ASSERT_TRUE(program.WaitCompletions(before + 1));
        EXPECT_EQ(boxes.Count(), 0);
        EXPECT_FALSE(program.HTTP->FailureShown);
        EXPECT_TRUE(program.HTTP->Timer->Running());
    }
}

TEST_F(HTTPUnitPoll, BrokenTransferIsRetriedAtOnceWithoutAMessage) {
    TPollScript script;
    script.AddMessage(Message(1));
    TTestResponse broken = TTestResponse::Text(std::string(200, 'x'), 200);
    broken.BodyBytesToSend = 50;
    broken.AfterPartial = TTestResponse::TAfterPartial::Close;
    script.QueueResponse(broken);
    Configure(script.Url(), 60);
    TMessageBoxWatcher boxes;
    TProgram program;
    program.HTTP->Poll();
    ASSERT_TRUE(Settled(program, script, [&] { return script.EmptyAnswers() >= 1; }));
    EXPECT_EQ(script.RequestCount(), 3u);
    EXPECT_EQ(Notifications().size(), 1u);
    EXPECT_EQ(boxes.Count(), 0);
}

TEST_F(HTTPUnitPoll, QuickAnswersWithoutAMessageEndTheirImmediatePollsAfterARun) {
    struct TCase {
        const char* Name;
        std::function<TTestResponse()> Answer;
    };
    const TCase cases[] = {
        {"an ordinary web page", [] { return TTestResponse::Text("<html><body>Welcome</body></html>"); }},
        {"a transfer broken off",
         [] {
             auto response = TTestResponse::Text("0123456789");
             response.BodyBytesToSend = 4;
             return response;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TPollScript script;
        script.SetPathHandler("/script.php", [&](const TReceivedRequest&) { return c.Answer(); });
        Configure(script.Url(), 60);
        TProgram program(false);
        program.HTTP->Poll();
        const size_t bounded = 1 + TRepollBound::MaxQuickRepolls;
        ASSERT_TRUE(WaitUntil([&] { return script.RequestCount() >= bounded; }));
        ASSERT_TRUE(Settled(program, script));
        // Nothing more goes out until the timer's next tick, a minute away.
        EXPECT_FALSE(
            WaitUntil([&] { return script.RequestCount() > bounded; }, std::chrono::milliseconds(300)));
        EXPECT_EQ(script.RequestCount(), bounded);
        EXPECT_EQ(Notifications().size(), 0u);
    }
}

TEST_F(HTTPUnitPoll, HeldAnswersAndMessagesKeepThePollsGoingAtOnce) {
    // A long-polling script holds each request open until it times out and answers with a short
    // answer that holds no message; the injected clock makes every answer look held for two
    // seconds.
    TPollScript script;
    std::atomic<int64_t> now{0};
    std::atomic<int> answers{0};
    const int wanted = 3 * TRepollBound::MaxQuickRepolls;
    script.SetPathHandler("/script.php", [&](const TReceivedRequest&) {
        now += 2000;
        // After enough held answers, an empty one ends the run of immediate polls.
        return TTestResponse::Text(++answers < wanted ? EncodeFieldList({{"Delay", "1"}}) : "");
    });
    Configure(script.Url(), 60);
    TProgram program(false);
    program.HTTP->Clock = [&] { return now.load(); };
    program.HTTP->Poll();
    ASSERT_TRUE(WaitUntil([&] { return script.RequestCount() >= static_cast<size_t>(wanted); }));
    ASSERT_TRUE(Settled(program, script));
    EXPECT_EQ(script.RequestCount(), static_cast<size_t>(wanted));
}

TEST_F(HTTPUnitPoll, ResetSessionClearsTheStateAndAbortsTheRunningPoll) {
    TPollScript script;
    TTestResponse stall;
    stall.StallBeforeHeaders = true;
    script.QueueResponse(stall);
    Configure(script.Url(), 60);
    TProgram program(false);
    program.HTTP->Connected = program.HTTP->FailureShown = program.HTTP->DenialShown = true;
    program.HTTP->ServerDelay = 40;
    program.HTTP->Poll();
    ASSERT_TRUE(script.Server().WaitForStalls(1));
    program.HTTP->ResetSession();
    EXPECT_FALSE(program.HTTP->PollRequest->Busy());
    EXPECT_FALSE(program.HTTP->Connected);
    EXPECT_FALSE(program.HTTP->FailureShown);
    EXPECT_FALSE(program.HTTP->DenialShown);
    EXPECT_EQ(program.HTTP->ServerDelay, 1);
    script.Server().ReleaseStalls();
    program.HTTP->Poll();
    // The aborted poll reports nothing: the only outcome is that of the new one.
    ASSERT_TRUE(program.WaitCompletions(1));
    EXPECT_EQ(program.Completions(), 1);
    EXPECT_TRUE(program.HTTP->Connected);
    EXPECT_EQ(script.RequestCount(), 2u);
}

}  // namespace

namespace {

TEST(HTTPUnitTimer, RestartsOnEveryChangeAndStopsAtIntervalZero) {
    TIntervalTimer timer(nullptr, 1000, true);
    EXPECT_TRUE(timer.Running());
    timer.SetInterval(0);
    EXPECT_FALSE(timer.Running());
    EXPECT_TRUE(timer.Enabled());
    timer.SetInterval(-5);
    EXPECT_FALSE(timer.Running());
    timer.SetEnabled(false);
    timer.SetInterval(30);
    EXPECT_FALSE(timer.Running());
    QObject* sender = nullptr;
    int ticks = 0;
    timer.OnTimer = [&](QObject* Sender) {
        sender = Sender;
        ++ticks;
    };
    QElapsedTimer clock;
    clock.start();
    timer.SetEnabled(true);
    ASSERT_TRUE(WaitUntil([&] { return ticks >= 1; }));
    EXPECT_EQ(sender, &timer);
    EXPECT_GE(clock.elapsed(), 20);

    // Disabling and enabling again starts a full interval anew (the timer may run up to 5% early).
    timer.SetInterval(400);
    ASSERT_TRUE(WaitUntil([&] { return ticks >= 2; }));
    clock.restart();
    const int before = ticks;
    ASSERT_TRUE(WaitUntil([&] { return clock.elapsed() >= 200; }));
    timer.SetEnabled(false);
    timer.SetEnabled(true);
    clock.restart();
    ASSERT_TRUE(WaitUntil([&] { return ticks > before; }));
    EXPECT_GE(clock.elapsed(), 340);
}

}  // namespace
