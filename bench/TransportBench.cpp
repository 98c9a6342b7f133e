// Sequential polls against a loopback keep-alive server: the request component, each poll started
// from the previous OnDone as the poll cycle does, beside a bare libcurl loop on one easy handle.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "common/TestHttpServer.h"
#include "transport/HttpRequest.h"

namespace {

constexpr int Polls = 10000;
const char* const Body = "User=someone&Pass=secret&Index=42";

testing_support::TTestHttpServer* Server = nullptr;
// Requests per second of every repetition; the machine is shared, so the two loops run
// interleaved and their medians are compared.
std::vector<double> ComponentRates;
std::vector<double> BareRates;

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

testing_support::TTestResponse Answer(const testing_support::TReceivedRequest&) {
    return testing_support::TTestResponse::Text("", 200, "text/plain");
}

size_t Discard(char*, size_t size, size_t count, void*) {
    return size * count;
}

void BM_RequestComponentPolls(benchmark::State& state) {
    for (auto _ : state) {
        THttpRequest request;
        request.URL = Server->Url("/poll");
        request.POSTData = Body;
        int done = 0, failed = 0;
        QEventLoop loop;
        request.OnDone = [&](QObject*, const ByteString&, int32_t, TStream*) {
            if (++done < Polls)
                request.Start();
            else
                loop.quit();
        };
        request.OnAnyError = [&](QObject*) {
            ++failed;
            loop.quit();
        };
        const auto start = std::chrono::steady_clock::now();
        request.Start();
        loop.exec();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (failed) state.SkipWithError("a poll failed");
        ComponentRates.push_back(done / seconds);
        state.counters["requests_per_second"] = done / seconds;
    }
}

void BM_BareLibcurlPolls(benchmark::State& state) {
    for (auto _ : state) {
        CURL* easy = curl_easy_init();
        const std::string url = Server->Url("/poll");
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, Body);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Discard);
        curl_easy_setopt(easy, CURLOPT_PROXY, "");
        int done = 0;
        const auto start = std::chrono::steady_clock::now();
        for (int k = 0; k < Polls; ++k)
            if (curl_easy_perform(easy) == CURLE_OK) ++done;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        curl_easy_cleanup(easy);
        if (done != Polls) state.SkipWithError("a poll failed");
        BareRates.push_back(done / seconds);
        state.counters["requests_per_second"] = done / seconds;
    }
}

BENCHMARK(BM_RequestComponentPolls)
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_BareLibcurlPolls)->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    testing_support::TTestHttpServer server(&Answer);
    Server = &server;
    std::vector<char*> arguments(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    arguments.insert(arguments.begin() + 1, interleave);
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const double component = Median(ComponentRates), bare = Median(BareRates);
    if (component > 0 && bare > 0)
        std::printf(
            "Medians: THttpRequest %.0f requests/s, bare libcurl %.0f requests/s, ratio %.2f (target 0.70)\n",
            component, bare, component / bare);
    Server = nullptr;
    return 0;
}
