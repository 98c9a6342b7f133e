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

TEST(TransportBody, SmallTransferBufferGivesOneProgressEventPerPiece) {
    const std::string body(2000, 'b');
    TTestHttpServer server([&](const TReceivedRequest&) { return TTestResponse::Text(body); });
    THttpRequest request;
    TEventLog log;
    log.Attach(request);
    request.TransferBufferSize = 255;
    std::vector<int32_t> readCounts;
    std::vector<int64_t> positions;
    std::vector<int> percents;
    request.OnProgress = [&](QObject*, const ByteString& contentType, int32_t dataSize, int32_t bytesRead,
                             int32_t, int32_t, uint8_t percentsDone, float, TStream* stream) {
        EXPECT_EQ(contentType, "text/plain");
        EXPECT_EQ(dataSize, 2000);
        readCounts.push_back(bytesRead);
        positions.push_back(stream->Position());
        percents.push_back(percentsDone);
    };
    request.URL = server.Url("/");
    ASSERT_TRUE(request.Start());
    ASSERT_TRUE(WaitForOutcome(request, log));
    EXPECT_EQ(log.Events, (TEvents{"OnDone"}));
    ASSERT_GE(readCounts.size(), 8u);
    int32_t previous = 0;
    for (size_t k = 0; k < readCounts.size(); ++k) {
        EXPECT_GT(readCounts[k] - previous, 0);
        EXPECT_LE(readCounts[k] - previous, 255);
        EXPECT_EQ(positions[k], readCounts[k]);
        previous = readCounts[k];
    }
    EXPECT_EQ(readCounts.back(), 2000);
    EXPECT_EQ(percents.back(), 100);
    EXPECT_EQ(log.Body, body);
}

TEST(TransportBody, LargeBodiesArriveWholeInBothFramings) {
    std::string body(3 * 1024 * 1024 + 17, '\0');
    for (size_t k = 0; k < body.size(); ++k) body[k] = static_cast<char>(k * 7 + k / 4096);
    TTestHttpServer server([&](const TReceivedRequest& r) {
        auto response = TTestResponse::Text(body, 200, "application/octet-stream");
        if (r.Path == "/chunked") response.Framing = TTestResponse::TFraming::Chunked;
        response.ChunkSize = 65536;
        return response;
    });
    for (const char* path : {"/length", "/chunked"}) {
        SCOPED_TRACE(path);
        THttpRequest request;
        TEventLog log;
        log.Attach(request);
        request.URL = server.Url(path);
        ASSERT_TRUE(request.Start());
        ASSERT_TRUE(WaitForOutcome(request, log));
        EXPECT_EQ(log.Events, (TEvents{"OnDone"}));
        EXPECT_EQ(log.FileSize, static_cast<int32_t>(body.size()));
        EXPECT_TRUE(log.Body == body);
    }
}

TEST(TransportBody, AnEndlessBodyIsAbandonedAtItsBoundAsABrokenTransfer) {
    TTestHttpServer server([](const TReceivedRequest& r) {
        TTestResponse response;
        response.Endless = true;
        response.Framing =
            r.Path == "/chunked" ? TTestResponse::TFraming::Chunked : TTestResponse::TFraming::CloseDelimited;
        return response;
    });
    for (const char* path : {"/chunked", "/close-delimited"}) {
        SCOPED_TRACE(path);
        THttpRequest request;
        TEventLog log;
        log.Attach(request);
        request.URL = server.Url(path);
        ASSERT_TRUE(request.Start());
        ASSERT_TRUE(WaitForOutcome(request, log));
        EXPECT_EQ(log.Events, (TEvents{"OnAnyError", "OnConnLost"}));
        EXPECT_LE(static_cast<uint64_t>(log.BytesRead), MaxResponseBodyInMemory);
        EXPECT_GT(static_cast<uint64_t>(log.BytesRead), MaxResponseBodyInMemory - 65536);
        EXPECT_LE(static_cast<uint64_t>(log.StreamSize), MaxResponseBodyInMemory);
    }
}

TEST(TransportBody, OutputFileBothWays) {
    const std::string name = TempName("quorvel-output");
    TTestHttpServer server([](const TReceivedRequest& r) {
        if (r.Path == "/chunked") {
            auto response = TTestResponse::Text("to memory");
            response.Framing = TTestResponse::TFraming::Chunked;
            return response;
        }
        if (r.Path == "/missing") return TTestResponse::Text("gone", 404);
        return TTestResponse::Text("file content");
    });
    auto writeOld = [&] { std::ofstream(name, std::ios::binary) << "an older and longer file content"; };
    THttpRequest request;
    TEventLog log;
    log.Attach(request);
    request.OutputFileName = name;

    writeOld();
    request.URL = server.Url("/file");
    ASSERT_TRUE(request.Start());
    ASSERT_TRUE(WaitForOutcome(request, log));
    EXPECT_EQ(log.Events, (TEvents{"OnDone"}));
    EXPECT_FALSE(log.HadStream);
    EXPECT_EQ(log.FileSize, 12);
    EXPECT_EQ(ReadFile(name), "file content");

    // Without a declared length the body goes to memory and the file is left alone.
    writeOld();
    log = TEventLog();
    log.Attach(request);
    request.URL = server.Url("/chunked");
    ASSERT_TRUE(request.Start());
    ASSERT_TRUE(WaitForOutcome(request, log));
    EXPECT_TRUE(log.HadStream);
    EXPECT_EQ(log.Body, "to memory");
    EXPECT_EQ(ReadFile(name), "an older and longer file content");

    // A failed request hands over the open file and deletes it afterwards.
    log = TEventLog();
    log.Attach(request);
    request.URL = server.Url("/missing");
    ASSERT_TRUE(request.Start());
    ASSERT_TRUE(WaitForOutcome(request, log));
    EXPECT_EQ(log.Events, (TEvents{"OnAnyError", "OnHTTPError"}));
    EXPECT_TRUE(log.HadStream);
    EXPECT_EQ(log.Body, "gone");
    EXPECT_FALSE(std::filesystem::exists(name));
}

TEST(TransportBody, AFailedRequestsCleanUpLeavesTheFileOfTheNextRequest) {
    const std::string name = TempName("quorvel-output-next");
    TTestHttpServer server([](const TReceivedRequest& r) {
        if (r.Path == "/missing") return TTestResponse::Text("gone", 404);
        return TTestResponse::Text("the next file");
    });
    THttpRequest request;
    request.OutputFileName = name;
    std::vector<std::string> events;
    bool nextDone = false;
    request.OnDone = [&](QObject*, const ByteString&, int32_t, TStream*) {
        events.push_back("OnDone");
        nextDone = true;
    };
    // The failure handler starts the next request on the same file and waits for it in a
    // nested loop, as a message box would.
    request.OnHTTPError = [&](QObject*, int32_t, TStream*) {
        events.push_back("OnHTTPError");
        request.URL = server.Url("/file");
        ASSERT_TRUE(request.Start());
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (nextDone) loop.quit();
        });
        poll.start(5);
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        loop.exec();
    };
    request.URL = server.Url("/missing");
    ASSERT_TRUE(request.Start());
    ASSERT_TRUE(WaitFor([&] { return nextDone && !request.Busy(); }, 20000));
    EXPECT_EQ(events, (std::vector<std::string>{"OnHTTPError", "OnDone"}));
    EXPECT_EQ(ReadFile(name), "the next file");
    std::filesystem::remove(name);
}

TEST(TransportHeaders, RangeExtraHeadersAndCacheFlags) {
    TTestHttpServer server([](const TReceivedRequest&) { return TTestResponse::Text("part", 206); });
    struct TCase {
        int32_t Start, End;
        const char* Range;
    };
    const TCase cases[] = {{0, 499, "bytes=0-499"}, {100, 0, "bytes=100-"}, {0, 0, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Range);
        THttpRequest request;
        TEventLog log;
        log.Attach(request);
        request.SetAddHeaders({"X-One: 1", "X-Two: two"});
        request.Range.StartRange = c.Start;
        request.Range.EndRange = c.End;
        request.UseCache = c.Start != 0;
        request.URL = server.Url("/");
        ASSERT_TRUE(request.Start());
        ASSERT_TRUE(WaitForOutcome(request, log));
        EXPECT_EQ(log.Events, (TEvents{"OnAnyError", "OnHTTPError"}));
        EXPECT_EQ(log.ErrorCode, 206);
        const TReceivedRequest received = server.Requests().back();
        EXPECT_EQ(received.Header("X-One"), "1");
        EXPECT_EQ(received.Header("X-Two"), "two");
        EXPECT_EQ(received.Header("Range"), c.Range);
        EXPECT_EQ(received.Header("Pragma"), c.Start != 0 ? "" : "no-cache");
        EXPECT_EQ(received.Header("Cache-Control"), c.Start != 0 ? "" : "no-cache");
    }
    // A line that is not a header is refused before anything is sent.
    THttpRequest request;
    TEventLog log;
    log.Attach(request);
    const size_t before = server.RequestCount();
    request.SetAddHeaders({"not a header"});
    request.URL = server.Url("/");
    ASSERT_TRUE(request.Start());
    ASSERT_TRUE(WaitForOutcome(request, log));
    EXPECT_EQ(log.Events, (TEvents{"OnAnyError", "OnHostUnreachable"}));
    EXPECT_EQ(server.RequestCount(), before);
}

TEST(TransportHeaders, CookiesAreKeptUnlessSwitchedOff) {
    TTestHttpServer server([](const TReceivedRequest& r) {
        auto response = TTestResponse::Text("cookie:" + r.Header("Cookie"));
        if (r.Path == "/set") response.Headers.push_back({"Set-Cookie", "transportjar=1; Path=/"});
        if (r.Path == "/set-off") response.Headers.push_back({"Set-Cookie", "offjar=1; Path=/"});
        return response;
    });
    struct TStep {
        const char* Path;
        bool UseCookies;
        const char* Body;
    };
    const TStep steps[] = {{"/set", true, "cookie:"},
                           {"/get", true, "cookie:transportjar=1"},
                           {"/get", false, "cookie:"},
                           {"/set-off", false, "cookie:"},
                           {"/get", true, "cookie:transportjar=1"}};
    THttpRequest first, second;
    int k = 0;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.Path);
        // Alternate components: the jar belongs to the process.
        THttpRequest& request = (k++ % 2) ? second : first;
        TEventLog log;
        log.Attach(request);
        request.UseCookies = step.UseCookies;
        request.URL = server.Url(step.Path);
        ASSERT_TRUE(request.Start());
        ASSERT_TRUE(WaitForOutcome(request, log));
        EXPECT_EQ(log.Body, step.Body);
    }
}

TEST(TransportTimeouts, ReceiveTimeoutEndsAStalledTransferOnlyWhenSet) {
    TTestHttpServer server([](const TReceivedRequest&) {
        auto response = TTestResponse::Text(std::string(100, 't'));
        response.BodyBytesToSend = 10;
        response.AfterPartial = TTestResponse::TAfterPartial::Stall;
        return response;
    });
    {
        THttpRequest request;
        TEventLog log;
        log.Attach(request);
        request.Timeouts.ReceiveTimeout = 300;
        request.URL = server.Url("/");
        ASSERT_TRUE(request.Start());
        ASSERT_TRUE(WaitForOutcome(request, log));
        EXPECT_EQ(log.Events, (TEvents{"OnAnyError", "OnConnLost"}));
        EXPECT_EQ(log.BytesRead, 10);
    }
    {
        // A connect time-out alone does not limit the transfer.
        THttpRequest request;
        TEventLog log;
        log.Attach(request);
        request.Timeouts.ConnectTimeout = 300;
        request.URL = server.Url("/");
        ASSERT_TRUE(request.Start());
        ASSERT_TRUE(server.WaitForStalls(2));
        EXPECT_FALSE(WaitForOutcome(request, log, 1500));
        server.ReleaseStalls();
        ASSERT_TRUE(WaitForOutcome(request, log));
        EXPECT_EQ(log.Events, (TEvents{"OnAnyError", "OnConnLost"}));
    }
}

TEST(TransportRedirect, FollowedLikeABrowserAndOnlyToTheWeb) {
    TTestHttpServer server([](const TReceivedRequest& r) {
        if (r.Path == "/302") return TTestResponse::Redirect(302, "/target");
        if (r.Path == "/307") return TTestResponse::Redirect(307, "/target");
        if (r.Path == "/file") return TTestResponse::Redirect(302, "file:///etc/passwd");
        if (r.Path == "/loop") return TTestResponse::Redirect(302, "/loop");
        return TTestResponse::Text(r.Method + " " + r.Body);
    });
    struct TCase {
        const char* Path;
        TEvents Events;
        const char* Body;
        int Redirects;
    };
    const TCase cases[] = {
        {"/302", {"OnDone"}, "GET ", 1},
        {"/307", {"OnDone"}, "POST k=v", 1},
        {"/file", {"OnAnyError", "OnHostUnreachable"}, nullptr, 0},
        {"/loop", {"OnAnyError", "OnHostUnreachable"}, nullptr, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Path);
        THttpRequest request;
        TEventLog log;
        log.Attach(request);
        std::mutex mutex;
        std::vector<ByteString> redirects;
        std::vector<int32_t> statuses;
        const auto uiThread = std::this_thread::get_id();
        bool onWorker = true;
        request.OnRedirected = [&](QObject*, const ByteString& url) {
            std::lock_guard lock(mutex);
            redirects.push_back(url);
            onWorker = onWorker && std::this_thread::get_id() != uiThread;
        };
        request.OnStatus = [&](QObject*, int32_t code, const ByteString&) {
            std::lock_guard lock(mutex);
            statuses.push_back(code);
        };
        request.POSTData = "k=v";
        request.URL = server.Url(c.Path);
        ASSERT_TRUE(request.Start());
        ASSERT_TRUE(WaitForOutcome(request, log));
        EXPECT_EQ(log.Events, c.Events);
        if (c.Body) {
            EXPECT_EQ(log.Body, c.Body);
        }
        std::lock_guard lock(mutex);
        EXPECT_EQ(static_cast<int>(redirects.size()), c.Redirects);
        if (c.Redirects == 1) {
            EXPECT_EQ(redirects[0], server.Url("/target"));
        }
        EXPECT_TRUE(onWorker);
        EXPECT_EQ(std::count(statuses.begin(), statuses.end(), 110), c.Redirects);
    }
}

TEST(TransportStatus, StatusCallbackReportsTheStepsOnTheWorker) {
    TTestHttpServer server([](const TReceivedRequest&) {
        auto response = TTestResponse::Text("s");
        response.Close = true;
        return response;
    });
    THttpRequest request;
    TEventLog log;
    log.Attach(request);
    std::mutex mutex;
    std::vector<std::pair<int32_t, ByteString>> statuses;
    request.OnStatus = [&](QObject* sender, int32_t code, const ByteString& text) {
        EXPECT_EQ(sender, &request);
        std::lock_guard lock(mutex);
        statuses.push_back({code, text});
    };
    request.URL = server.Url("/");
    ASSERT_TRUE(request.Start());
    ASSERT_TRUE(WaitForOutcome(request, log));
    std::lock_guard lock(mutex);
    const std::vector<std::pair<int32_t, ByteString>> expected = {
        {10, "Resolving name"},     {11, "Name resolved"},    {20, "Connecting to server"},
        {21, "Connected"},          {30, "Sending Request"},  {31, "Request sent"},
        {40, "Receiving response"}, {41, "Response received"}};
    ASSERT_GE(statuses.size(), expected.size());
    EXPECT_EQ(std::vector(statuses.begin(), statuses.begin() + expected.size()), expected);
}

TEST(TransportTls, CertificatesAndHostNamesAreVerified) {
    TTestHttpsServer server(
        [](const TReceivedRequest& r) { return TTestResponse::Text("secure " + r.Path); });
    struct TCase {
        const char* Name;
        bool Trusted;
        std::string Url;
        TEvents Events;
    };
    const TCase cases[] = {
        {"unknown authority", false, server.Url("/a"), {"OnAnyError", "OnHostUnreachable"}},
        {"trusted", true, server.Url("/b"), {"OnDone"}},
        {"name mismatch",
         true,
         "https://127.0.0.1:" + std::to_string(server.Port()) + "/c",
         {"OnAnyError", "OnHostUnreachable"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        inet::SetTrustedCertificateFile(c.Trusted ? server.CertificateFile() : "");
        THttpRequest request;
        TEventLog log;
        log.Attach(request);
        request.URL = c.Url;
        request.POSTData = "x=1";
        ASSERT_TRUE(request.Start());
        ASSERT_TRUE(WaitForOutcome(request, log));
        EXPECT_EQ(log.Events, c.Events);
        if (c.Events.front() == "OnDone") {
            EXPECT_EQ(log.Body, "secure /b");
        }
    }
    inet::SetTrustedCertificateFile("");
}

TEST(TransportLogin, LoginInfoRoundTripAndLimits) {
    struct TCase {
        std::string User, Password;
    };
    const TCase cases[] = {
        {"", ""}, {"alice", "secret"}, {"", "only-password"}, {std::string(200, 'u'), "pw"}};
    for (const auto& c : cases) {
        TLoginComponent writer;
        writer.Username = c.User;
        writer.Password = c.Password;
        const ByteString stored = writer.LoginInfo();
        EXPECT_EQ(writer.LoginInfoStored(), !c.User.empty() || !c.Password.empty());
        ASSERT_FALSE(stored.empty());
        EXPECT_EQ(static_cast<uint8_t>(stored[0]), stored.size() - 1);
        EXPECT_EQ(stored.find(c.User.empty() ? "\x01\x02" : c.User), ByteString::npos);
        TLoginComponent reader;
        reader.SetLoginInfo(stored);
        EXPECT_EQ(reader.Username, c.User);
        EXPECT_EQ(reader.Password, c.Password);
    }
    TLoginComponent big;
    big.Username = std::string(300, 'x');
    big.Password = "p";
    EXPECT_EQ(big.LoginInfo().size(), 256u);
}

TEST(TransportThread, PriorityIsKeptAcrossWorkers) {
    TTestHttpServer server([](const TReceivedRequest&) { return TTestResponse::Text("p"); });
    THttpRequest request;
    EXPECT_EQ(request.ThreadPriority(), tpNormal);
    request.SetThreadPriority(tpLower);
    EXPECT_EQ(request.ThreadPriority(), tpLower);
    TThreadPriority inside = tpNormal;
    request.OnProgress = [&](QObject*, const ByteString&, int32_t, int32_t, int32_t, int32_t, uint8_t, float,
                             TStream*) { inside = request.ThreadPriority(); };
    TEventLog log;
    log.Attach(request);
    request.URL = server.Url("/");
    ASSERT_TRUE(request.Start());
    ASSERT_TRUE(WaitForOutcome(request, log));
    EXPECT_EQ(inside, tpLower);
    EXPECT_EQ(request.ThreadPriority(), tpLower);
}
