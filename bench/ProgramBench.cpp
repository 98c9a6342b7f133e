// A burst of messages of about 1 KB through the real poll window and main window (offscreen)
// from a loopback poll script, beside a bare libcurl loop against the same script.
//
// Figures: messages per second; the time per message while about 1,000 and about 100,000 are
// held (mean of the gaps between consecutive completions over 1,000 messages); the resident
// memory after the burst, beside the bytes received. The scripts run in child processes of
// their own, so that their memory does not count as the client's.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
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

// About 1 KB of HTML: an order with a small table.
TScriptMessage OrderMessage(int32_t index) {
    const std::string n = std::to_string(index);
    std::string html = "<html><body><h3>Order " + n +
                       "</h3><table border=1><tr><th>Item</th><th>Qty</th><th>Price</th></tr>";
    while (html.size() < 900) html += "<tr><td>Blue widget, large</td><td>2</td><td>12.50 EUR</td></tr>";
    html += "</table><p><a href=\"order.php?id=" + n + "\">Open the order</a></p></body></html>";
    return {index, "New order " + n, "Order " + n + " from the shop", html};
}

// A poll script in a child process: it hands out messages 1..count, then empty answers.
struct TScriptProcess {
    pid_t pid = -1;
    std::string url;
};

TScriptProcess StartScript(int32_t count) {
    int channel[2];
    if (pipe(channel) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(channel[0]);
        TPollScript script;
        script.SetGenerated(count, OrderMessage);
        const std::string url = script.Url();
        if (write(channel[1], url.data(), url.size()) < 0) _exit(1);
        close(channel[1]);
        for (;;) pause();
    }
    close(channel[1]);
    char buffer[256];
    const ssize_t got = read(channel[0], buffer, sizeof buffer);
    close(channel[0]);
    return {pid, got > 0 ? std::string(buffer, static_cast<size_t>(got)) : std::string()};
}

std::map<int64_t, TScriptProcess> Scripts;

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
    const std::string url = Scripts[count].url;
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
    const std::string url = Scripts[count].url;
    IsolateUserFolders();
    StoreSettings([&](TSettingsStore& store) {
        store.WriteText("Connection", "User", "bench");
        store.WriteText("Connection", "URL", url);
        store.WriteNumber("Connection", "Delay", 60);
        store.WriteFlag("Caching", "SavePass", true);
    });
    for (auto _ : state) {
        const long residentBefore = ResidentKiB();
        uint64_t received = 0;
        bool ended = false;
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
                const int64_t bytes = stream ? stream->Size() : 0;
                received += static_cast<uint64_t>(bytes);
                handler(s, type, size, stream);
                if (bytes == 0) {
                    ended = true;
                    loop.quit();
                }
            };
            QTimer::singleShot(std::chrono::minutes(10), &loop, &QEventLoop::quit);
            const auto start = Clock::now();
            program.HTTP->Poll();
            loop.exec();
            const bool finished = ended && done.size() == static_cast<size_t>(count) + 1;
            seconds = std::chrono::duration<double>(Clock::now() - start).count();
            state.SetIterationTime(seconds);
            const long residentAfter = ResidentKiB();
            if (!finished || program.Main->ListItems->Count() != count)
                state.SkipWithError("burst incomplete");
            state.counters["messages"] = program.Main->ListItems->Count();
            state.counters["msgs_per_s"] = count / seconds;
            state.counters["us_per_msg_at_1k"] = MeanGapMicros(done, 1000, 1999);
            state.counters["us_per_msg_at_end"] =
                MeanGapMicros(done, static_cast<size_t>(count) - 999, static_cast<size_t>(count));
            state.counters["rss_MiB"] = residentAfter / 1024.0;
            state.counters["rss_growth_MiB"] = (residentAfter - residentBefore) / 1024.0;
            state.counters["received_MiB"] = static_cast<double>(received) / (1024.0 * 1024.0);
        }
        ClearNotifications();
    }
}

}  // namespace

int main(int argc, char** argv) {
    // The scripts are forked before this process starts any thread.
    for (int64_t count : {10000, 100000}) {
        Scripts[count] = StartScript(static_cast<int32_t>(count));
        if (Scripts[count].url.empty()) return 1;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    IsolateUserFolders();
    QApplication app(argc, argv);
    curl_global_init(CURL_GLOBAL_DEFAULT);
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
    curl_global_cleanup();
    for (auto& [count, script] : Scripts) {
        kill(script.pid, SIGTERM);
        waitpid(script.pid, nullptr, 0);
    }
    return 0;
}
