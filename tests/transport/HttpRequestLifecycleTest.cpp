#include "transport/HttpRequest.h"

#include "platform/InternetApi.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDialog>
#include <QEventLoop>
#include <QTimer>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "TransportTestSupport.h"
#include "common/TestHttpServer.h"

using namespace testing_support;
using namespace transport_testing;

namespace {

using TEvents = std::vector<std::string>;

}  // namespace

TEST(TransportLifecycle, StartFromInsideOnDoneAndTwoStartsInARow) {
    // Each answer waits until the test has looked at its running request, which could otherwise
    // have ended already on a fast loopback.
    struct TGate {
        std::mutex mutex;
        std::condition_variable opened;
        int checked = 0;
        void Pass() {
            std::lock_guard lock(mutex);
            ++checked;
            opened.notify_all();
        }
        void WaitFor(int k) {
            std::unique_lock lock(mutex);
            opened.wait_for(lock, std::chrono::seconds(20), [&] { return checked > k; });
        }
    };
    auto gate = std::make_shared<TGate>();
    TTestHttpServer server([gate](const TReceivedRequest& r) {
        gate->WaitFor(std::stoi(r.Path.substr(1)));
        return TTestResponse::Text("answer " + r.Path);
    });
    THttpRequest request;
    std::vector<std::string> bodies;
    int started = 0;
    request.OnDone = [&](QObject*, const ByteString&, int32_t, TStream* stream) {
        if (started < 3) {
            EXPECT_FALSE(request.Busy());
            request.URL = server.Url("/" + std::to_string(++started));
            EXPECT_TRUE(request.Start());
            EXPECT_TRUE(request.Busy());
            gate->Pass();
        }
        // The stream of this request stays valid after the next one has started.
        bodies.push_back(StreamToString(stream));
    };
    request.URL = server.Url("/0");
    ASSERT_TRUE(request.Start());
    EXPECT_TRUE(request.Busy());
    EXPECT_FALSE(request.Start());
    gate->Pass();
    ASSERT_TRUE(WaitFor([&] { return bodies.size() == 4 && !request.Busy(); }));
    EXPECT_EQ(bodies, (std::vector<std::string>{"answer /0", "answer /1", "answer /2", "answer /3"}));
    EXPECT_EQ(server.RequestCount(), 4u);
    // A burst of requests keeps its connection.
    EXPECT_EQ(server.ConnectionCount(), 1);
}

TEST(TransportLifecycle, AbortIdleRaisesNothingAndAbortRunningOnlyOnAborted) {
    TTestHttpServer server([](const TReceivedRequest& r) {
        if (r.Path == "/stall") {
            auto response = TTestResponse::Text(std::string(100, 's'));
            response.BodyBytesToSend = 10;
            response.AfterPartial = TTestResponse::TAfterPartial::Stall;
            return response;
        }
        return TTestResponse::Text("fine");
    });
    const int baseline = TCustomWorkerThread::WorkerCount();
    THttpRequest request;
    TEventLog log;
    log.Attach(request);
    int progress = 0;
    request.OnProgress = [&](QObject*, const ByteString&, int32_t, int32_t, int32_t, int32_t, uint8_t, float,
                             TStream*) { ++progress; };
    request.Abort();
    EXPECT_TRUE(log.Events.empty());

    request.URL = server.Url("/stall");
    ASSERT_TRUE(request.Start());
    ASSERT_TRUE(server.WaitForStalls(1));
    ASSERT_TRUE(WaitFor([&] { return progress > 0; }));
    request.Abort();
    EXPECT_EQ(log.Events, (TEvents{"OnAborted"}));
    EXPECT_FALSE(request.Busy());
    // The discarded worker ends on its own, promptly, while the server still stalls.
    ASSERT_TRUE(WaitForWorkersGone(baseline + 1));

    request.URL = server.Url("/again");
    ASSERT_TRUE(request.Start());
    ASSERT_TRUE(WaitFor([&] { return log.Events.size() == 2 && !request.Busy(); }));
    EXPECT_EQ(log.Events, (TEvents{"OnAborted", "OnDone"}));
    EXPECT_EQ(log.Body, "fine");
    server.ReleaseStalls();
}

TEST(TransportLifecycle, AbortFromAHandedOverHandler) {
    TTestHttpServer server(
        [](const TReceivedRequest&) { return TTestResponse::Text(std::string(4000, 'a')); });
    THttpRequest request;
    const int baseline = TCustomWorkerThread::WorkerCount();
    TEventLog log;
    log.Attach(request);
    request.TransferBufferSize = 1000;
    int progress = 0;
    request.OnProgress = [&](QObject*, const ByteString&, int32_t, int32_t, int32_t, int32_t, uint8_t, float,
                             TStream*) {
        if (++progress == 1) request.Abort();
    };
    request.URL = server.Url("/");
    ASSERT_TRUE(request.Start());
    ASSERT_TRUE(WaitFor([&] { return !log.Events.empty(); }));
    ASSERT_TRUE(WaitForWorkersGone(baseline));
    QCoreApplication::processEvents();
    EXPECT_EQ(log.Events, (TEvents{"OnAborted"}));
    EXPECT_EQ(progress, 1);
}

TEST(TransportLifecycle, DestroyingARunningComponentRaisesNothing) {
    TTestHttpServer server([](const TReceivedRequest& r) {
        TTestResponse response = TTestResponse::Text("late");
        response.StallBeforeHeaders = r.Path == "/stall";
        return response;
    });
    const int baseline = TCustomWorkerThread::WorkerCount();
    TEvents events;
    for (const char* path : {"/stall", "/quick"}) {
        auto* request = new THttpRequest();
        TEventLog log;
        log.Attach(*request);
        request->OnProgress = [&](QObject*, const ByteString&, int32_t, int32_t, int32_t, int32_t, uint8_t,
                                  float, TStream*) { events.push_back("OnProgress"); };
        request->URL = server.Url(path);
        ASSERT_TRUE(request->Start());
        if (std::string(path) == "/stall")
            ASSERT_TRUE(server.WaitForStalls(1));
        else
            ASSERT_TRUE(server.WaitForRequests(2));
        delete request;
        ASSERT_TRUE(WaitForWorkersGone(baseline));
        QCoreApplication::processEvents();
        events.insert(events.end(), log.Events.begin(), log.Events.end());
    }
    EXPECT_TRUE(events.empty());
    server.ReleaseStalls();
}

TEST(TransportLifecycle, WaitThreadReturnsAfterTheOutcomeAndKeepsHandlingEvents) {
    TTestHttpServer server(
        [](const TReceivedRequest&) { return TTestResponse::Text(std::string(2000, 'w')); });
    THttpRequest request;
    TEventLog log;
    log.Attach(request);
    request.SetWaitThread(true);
    EXPECT_TRUE(request.WaitThread());
    int progress = 0;
    request.OnProgress = [&](QObject*, const ByteString&, int32_t, int32_t, int32_t, int32_t, uint8_t, float,
                             TStream*) { ++progress; };
    request.TransferBufferSize = 255;
    bool timerRan = false;
    QTimer::singleShot(0, [&] { timerRan = true; });
    request.URL = server.Url("/");
    ASSERT_TRUE(request.Start());
    EXPECT_EQ(log.Events, (TEvents{"OnDone"}));
    EXPECT_GE(progress, 8);
    EXPECT_TRUE(timerRan);
    EXPECT_FALSE(request.Busy());
}

TEST(TransportHandOver, HandOversRunInNestedAndModalLoops) {
    TTestHttpServer server(
        [](const TReceivedRequest& r) { return TTestResponse::Text("body of " + r.Path); });
    THttpRequest outer, inner;
    TEventLog innerLog;
    innerLog.Attach(inner);
    int innerProgress = 0;
    inner.OnProgress = [&](QObject*, const ByteString&, int32_t, int32_t, int32_t, int32_t, uint8_t, float,
                           TStream*) { ++innerProgress; };
    std::vector<std::string> seen;
    outer.OnDone = [&](QObject*, const ByteString&, int32_t, TStream* stream) {
        // Inside a completion event: a nested event loop.
        inner.URL = server.Url("/nested");
        EXPECT_TRUE(inner.Start());
        QEventLoop loop;
        inner.OnDone = [&](QObject*, const ByteString&, int32_t, TStream* s) {
            seen.push_back(StreamToString(s));
            loop.quit();
        };
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        loop.exec();
        // And a modal dialog, closed by the next request's completion.
        QDialog dialog;
        inner.URL = server.Url("/modal");
        inner.OnDone = [&](QObject*, const ByteString&, int32_t, TStream* s) {
            seen.push_back(StreamToString(s));
            dialog.accept();
        };
        EXPECT_TRUE(inner.Start());
        QTimer::singleShot(20000, &dialog, &QDialog::reject);
        EXPECT_EQ(dialog.exec(), QDialog::Accepted);
        seen.push_back(StreamToString(stream));
    };
    outer.URL = server.Url("/outer");
    ASSERT_TRUE(outer.Start());
    ASSERT_TRUE(WaitFor([&] { return seen.size() == 3; }));
    EXPECT_EQ(seen, (std::vector<std::string>{"body of /nested", "body of /modal", "body of /outer"}));
    EXPECT_GE(innerProgress, 2);
}

TEST(TransportHandOver, WindowLivesWhileWorkersExist) {
    const int baseline = TCustomWorkerThread::WorkerCount();
    if (baseline != 0) GTEST_SKIP() << "other request components are alive";
    WaitFor([] { return !TCustomWorkerThread::HandOverWindowExists(); }, 2000);
    TTestHttpServer server([](const TReceivedRequest&) { return TTestResponse::Text("x"); });
    {
        THttpRequest request;
        EXPECT_EQ(TCustomWorkerThread::WorkerCount(), 1);
        EXPECT_TRUE(TCustomWorkerThread::HandOverWindowExists());
        TEventLog log;
        log.Attach(request);
        request.URL = server.Url("/");
        ASSERT_TRUE(request.Start());
        ASSERT_TRUE(WaitForOutcome(request, log));
        ASSERT_TRUE(WaitForWorkersGone(1));
        EXPECT_TRUE(TCustomWorkerThread::HandOverWindowExists());
    }
    EXPECT_TRUE(WaitForWorkersGone(0));
    EXPECT_TRUE(WaitFor([] { return !TCustomWorkerThread::HandOverWindowExists(); }));
}

TEST(TransportAuthentication, PasswordRequestResendsTheSameBody) {
    TTestHttpServer server([](const TReceivedRequest& r) {
        if (r.Header("Authorization") == "Basic dXNlcjpwYXNz")
            return TTestResponse::Text("welcome " + r.Body);
        auto response = TTestResponse::Text("denied", 401);
        response.Headers.push_back({"WWW-Authenticate", "Basic realm=\"Quorvel Test\""});
        return response;
    });
    {
        THttpRequest request;
        TEventLog log;
        log.Attach(request);
        std::vector<ByteString> realms;
        request.OnPasswordRequest = [&](QObject* sender, const ByteString& realm, bool& tryAgain) {
            EXPECT_EQ(sender, &request);
            realms.push_back(realm);
            request.Username = "user";
            request.Password = "pass";
            tryAgain = true;
        };
        request.URL = server.Url("/secret");
        request.POSTData = "a=1&b=2";
        ASSERT_TRUE(request.Start());
        ASSERT_TRUE(WaitForOutcome(request, log));
        EXPECT_EQ(realms, (std::vector<ByteString>{"Quorvel Test"}));
        EXPECT_EQ(log.Events, (TEvents{"OnDone"}));
        EXPECT_EQ(log.Body, "welcome a=1&b=2");
        const auto requests = server.Requests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(requests[0].Body, "a=1&b=2");
        EXPECT_EQ(requests[1].Body, "a=1&b=2");
        EXPECT_EQ(requests[1].Method, "POST");
        EXPECT_EQ(std::count_if(requests[1].Headers.begin(), requests[1].Headers.end(),
                                [](const auto& field) { return field.first == "Content-Type"; }),
                  1);
    }
    {
        // Without a handler, or when it declines, the 401 is an HTTP error.
        THttpRequest request;
        TEventLog log;
        log.Attach(request);
        request.OnPasswordRequest = [](QObject*, const ByteString&, bool&) {};
        request.URL = server.Url("/secret");
        ASSERT_TRUE(request.Start());
        ASSERT_TRUE(WaitForOutcome(request, log));
        EXPECT_EQ(log.Events, (TEvents{"OnAnyError", "OnHTTPError"}));
        EXPECT_EQ(log.ErrorCode, 401);
        EXPECT_EQ(log.Body, "denied");
    }
}

TEST(TransportAuthentication, ProxyAuthenticationThroughAConfiguredProxy) {
    TTestHttpServer proxy([](const TReceivedRequest& r) {
        if (r.Header("Proxy-Authorization") == "Basic cHg6cHc=")
            return TTestResponse::Text("via proxy " + r.Target);
        return TTestResponse::Text("who are you", 407);
    });
    THttpRequest request;
    TEventLog log;
    log.Attach(request);
    int asked = 0;
    request.OnProxyAuthenticationRequest = [&](QObject*, ByteString& user, ByteString& password,
                                               bool& tryAgain) {
        ++asked;
        user = "px";
        password = "pw";
        tryAgain = true;
    };
    request.Proxy.AccessType = atUseProxy;
    request.Proxy.ProxyServer = "127.0.0.1";
    request.Proxy.ProxyPort = proxy.Port();
    request.Proxy.ProxyBypass = "";
    request.URL = "http://poll.quorvel.invalid/script";
    ASSERT_TRUE(request.Start());
    ASSERT_TRUE(WaitForOutcome(request, log));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(log.Events, (TEvents{"OnDone"}));
    EXPECT_EQ(log.Body, "via proxy http://poll.quorvel.invalid/script");
    EXPECT_EQ(request.ProxyUsername, "px");

    // A proxy that refuses the tunnel of an https request answers in the same way.
    TTestHttpServer tunnel([](const TReceivedRequest&) { return TTestResponse::Text("no tunnel", 407); });
    request.Proxy.ProxyPort = tunnel.Port();
    request.OnProxyAuthenticationRequest = [&](QObject*, ByteString&, ByteString&, bool&) { ++asked; };
    request.URL = "https://poll.quorvel.invalid/script";
    log.Events.clear();
    ASSERT_TRUE(request.Start());
    ASSERT_TRUE(WaitForOutcome(request, log));
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(log.Events, (TEvents{"OnAnyError", "OnHTTPError"}));
    EXPECT_EQ(log.ErrorCode, 407);
    ASSERT_GE(tunnel.RequestCount(), 1u);
    EXPECT_EQ(tunnel.Requests().front().Method, "CONNECT");

    // With the default bypass list the loopback is reached directly.
    TTestHttpServer direct([](const TReceivedRequest&) { return TTestResponse::Text("direct"); });
    request.Proxy.ProxyBypass = "127.0.0.1;";
    request.URL = direct.Url("/");
    log.Events.clear();
    ASSERT_TRUE(request.Start());
    ASSERT_TRUE(WaitForOutcome(request, log));
    EXPECT_EQ(log.Body, "direct");
}

TEST(TransportProxy, PreconfiguredTakesTheEnvironmentAndDirectIgnoresIt) {
    TTestHttpServer proxy(
        [](const TReceivedRequest& r) { return TTestResponse::Text("proxy saw " + r.Target); });
    TTestHttpServer origin([](const TReceivedRequest&) { return TTestResponse::Text("origin"); });
    const std::string saved = getenv("http_proxy") ? getenv("http_proxy") : "";
    const std::string savedNo = getenv("no_proxy") ? getenv("no_proxy") : "";
    setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(proxy.Port())).c_str(), 1);
    unsetenv("no_proxy");
    struct TCase {
        THttpAccessType Type;
        std::string Url;
        std::string Body;
    };
    const TCase cases[] = {
        {atPreconfig, "http://poll.quorvel.invalid/p", "proxy saw http://poll.quorvel.invalid/p"},
        {atDirect, origin.Url("/d"), "origin"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Url);
        THttpRequest request;
        TEventLog log;
        log.Attach(request);
        request.Proxy.AccessType = c.Type;
        request.URL = c.Url;
        ASSERT_TRUE(request.Start());
        ASSERT_TRUE(WaitForOutcome(request, log));
        EXPECT_EQ(log.Body, c.Body);
    }
    if (saved.empty())
        unsetenv("http_proxy");
    else
        setenv("http_proxy", saved.c_str(), 1);
    if (!savedNo.empty()) setenv("no_proxy", savedNo.c_str(), 1);
}

TEST(TransportProxy, AnEmptyBypassListIgnoresTheEnvironmentsNoProxy) {
    TTestHttpServer proxy(
        [](const TReceivedRequest& r) { return TTestResponse::Text("proxy saw " + r.Target); });
    TTestHttpServer origin([](const TReceivedRequest&) { return TTestResponse::Text("origin"); });
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    struct TCase {
        ByteString Bypass;
        std::string Body;
    };
    const TCase cases[] = {{"", "proxy saw " + origin.Url("/p")}, {"127.0.0.1;", "origin"}};
    for (const auto& c : cases) {
        SCOPED_TRACE("bypass \"" + c.Bypass + "\"");
        THttpRequest request;
        TEventLog log;
        log.Attach(request);
        request.Proxy.AccessType = atUseProxy;
        request.Proxy.ProxyServer = "127.0.0.1";
        request.Proxy.ProxyPort = proxy.Port();
        request.Proxy.ProxyBypass = c.Bypass;
        request.URL = origin.Url("/p");
        ASSERT_TRUE(request.Start());
        ASSERT_TRUE(WaitForOutcome(request, log));
        EXPECT_EQ(log.Body, c.Body);
    }
    unsetenv("no_proxy");
}
