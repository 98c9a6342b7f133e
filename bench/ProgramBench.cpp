// A burst of messages of about 1 KB through the real poll window and main window (offscreen)
// from a loopback poll script, beside a bare libcurl loop against the same script.
//
// Figures: messages per second; the time per message while about 1,000 and about 100,000 are
// held (mean of the gaps between consecutive completions over 1,000 messages); the resident
// memory after the burst, beside the bytes received.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "common/PollScript.h"
#include "common/ProgramHarness.h"
#include "common/TestEnvironment.h"
#include "exchange/DataUnit.h"
#include "exchange/HTTPUnit.h"
#include "shell/MainUnit.h"
#include "shell/MessageListModel.h"
#include "support/SettingsStore.h"
#include "transport/HttpRequest.h"

using namespace testing_support;
using Clock = std::chrono::steady_clock;

namespace {

TPollScript* Script = nullptr;

// About 1 KB of HTML: an order with a small table.
TScriptMessage OrderMessage(int32_t index) {
    const std::string n = std::to_string(index);
    std::string html = "<html><body><h3>Order " + n +
                       "</h3><table border=1><tr><th>Item</th><th>Qty</th><th>Price</th></tr>";
    while (html.size() < 900) html += "<tr><td>Blue widget, large</td><td>2</td><td>12.50 EUR</td></tr>";
    html += "</table><p><a href=\"order.php?id=" + n + "\">Open the order</a></p></body></html>";
    return {index, "New order " + n, "Order " + n + " from the shop", html};
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

// Mean gap between the completions numbered from..to (1-based), in microseconds.
double MeanGapMicros(const std::vector<Clock::time_point>& done, size_t from, size_t to) {
    if (to > done.size() || from < 2 || to <= from) return 0;
    return std::chrono::duration<double, std::micro>(done[to - 1] - done[from - 2]).count() /
           static_cast<double>(to - from + 1);
}

size_t AppendBody(char* data, size_t size, size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

void BM_BareCurlLoop(benchmark::State& state) {
    const auto count = static_cast<int32_t>(state.range(0));
    Script->SetGenerated(count, OrderMessage);
    const std::string url = Script->Url();
    CURL* curl = curl_easy_init();
    std::string body, answer;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "WinHTTP");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, AppendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);
    int32_t held = 0;
    double seconds = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        for (;;) {
            body = "User=bench&Pass=&Index=" + std::to_string(held);
            answer.clear();
            curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
            if (curl_easy_perform(curl) != CURLE_OK) {
                state.SkipWithError("request failed");
                break;
            }
            if (answer.empty()) break;
            ++held;
        }
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
    }
    curl_easy_cleanup(curl);
    if (held != count) state.SkipWithError("not every message arrived");
    state.counters["messages"] = held;
    state.counters["msgs_per_s"] = seconds > 0 ? held / seconds : 0;
}

void BM_ProgramBurst(benchmark::State& state) {
    const auto count = static_cast<int32_t>(state.range(0));
    Script->SetGenerated(count, OrderMessage);
    IsolateUserFolders();
    StoreSettings([](TSettingsStore& store) {
        store.WriteText("Connection", "User", "bench");
        store.WriteText("Connection", "URL", Script->Url());
        store.WriteNumber("Connection", "Delay", 60);
        store.WriteFlag("Caching", "SavePass", true);
    });
    for (auto _ : state) {
        const long residentBefore = ResidentKiB();
        const uint64_t bytesBefore = Script->BytesSent();
        const size_t emptyBefore = Script->EmptyAnswers();
        std::vector<Clock::time_point> done;
        done.reserve(static_cast<size_t>(count) + 1);
        double seconds = 0;
        {
            TProgram program(false);
            // Run the event loop as the program does, until the empty answer after the burst.
            QEventLoop loop;
            THttpRequest* request = program.HTTP->PollRequest;
            request->OnDone = [&, handler = request->OnDone](QObject* s, const ByteString& type, int32_t size,
                                                             TStream* stream) {
                done.push_back(Clock::now());
                handler(s, type, size, stream);
                if (done.size() > static_cast<size_t>(count)) loop.quit();
            };
            QTimer::singleShot(std::chrono::minutes(10), &loop, &QEventLoop::quit);
            const auto start = Clock::now();
            program.HTTP->Poll();
            loop.exec();
            const bool finished =
                Script->EmptyAnswers() > emptyBefore && done.size() > static_cast<size_t>(count);
            seconds = std::chrono::duration<double>(Clock::now() - start).count();
            state.SetIterationTime(seconds);
            const long residentAfter = ResidentKiB();
            const double received = static_cast<double>(Script->BytesSent() - bytesBefore);
            if (!finished || program.Main->ListItems->Count() != count)
                state.SkipWithError("burst incomplete");
            state.counters["messages"] = program.Main->ListItems->Count();
            state.counters["msgs_per_s"] = count / seconds;
            state.counters["us_per_msg_at_1k"] = MeanGapMicros(done, 1000, 1999);
            state.counters["us_per_msg_at_end"] =
                MeanGapMicros(done, static_cast<size_t>(count) - 999, static_cast<size_t>(count));
            state.counters["rss_MiB"] = residentAfter / 1024.0;
            state.counters["rss_growth_MiB"] = (residentAfter - residentBefore) / 1024.0;
            state.counters["received_MiB"] = received / (1024.0 * 1024.0);
        }
        ClearNotifications();
    }
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    IsolateUserFolders();
    QApplication app(argc, argv);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    TPollScript script;
    Script = &script;
    for (int64_t count : {10000, 100000}) {
        benchmark::RegisterBenchmark("BareCurlLoop", BM_BareCurlLoop)
            ->Arg(count)
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("ProgramBurst", BM_ProgramBurst)
            ->Arg(count)
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Script = nullptr;
    curl_global_cleanup();
    return 0;
}
