// Delivery latency and throughput through the reference web script (server/) under `php -S`
// on 127.0.0.1 with a fresh SQLite database, to the real client (offscreen windows).
//
// 1. Latency: the time from the site's API call to the message in the client's list, over N
//    messages (default 100), with long polling (hold 25 s) and without (Delay 5 s, messages
//    posted at random moments of the interval); median and 95th percentile.
// 2. Burst: M messages (default 10,000) pending for one user, fetched back to back through
//    poll.php: by a bare loop of loopback polls (one connection each, as the client makes), and
//    by the real client; messages per second. Also the rate of posting through the API.
//
//   ServerLatencyBench [--messages N] [--burst M] [--skip-timed] [--dsn DSN --db-user USER]
// With --dsn the script uses that (empty) database instead of a fresh SQLite file, for example a
// PostgreSQL that scripts/test-server's way of starting one provides.
// Prints one line per figure. Needs php, php-sqlite3 (scripts/install-deps). Takes about 10
// minutes with the defaults, most of it the timed polling.
#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <random>
#include <string>
#include <vector>

#include "common/LoopbackTools.h"
#include "common/PhpSite.h"
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

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    if (values.empty()) return 0;
    const double rank = p / 100.0 * static_cast<double>(values.size() - 1);
    const size_t low = static_cast<size_t>(rank);
    const size_t high = std::min(low + 1, values.size() - 1);
    return values[low] + (values[high] - values[low]) * (rank - static_cast<double>(low));
}

std::string OrderHtml(int n) {
    std::string html = "<html><head><meta charset=\"utf-8\"></head><body><h3>Order " + std::to_string(n) +
                       "</h3><table border=1><tr><th>Item</th><th>Qty</th><th>Price</th></tr>";
    while (html.size() < 900) html += "<tr><td>Blue widget, large</td><td>2</td><td>12.50 EUR</td></tr>";
    return html + "</table></body></html>";
}

void Settings(const std::string& url, int delay) {
    StoreSettings([&](TSettingsStore& store) {
        store.WriteText("Connection", "User", "bench");
        store.WriteText("Connection", "URL", url);
        store.WriteNumber("Connection", "Delay", delay);
        store.WriteText("Connection", "Pass", "bench-pw");
        store.WriteFlag("Caching", "SavePass", true);
    });
}

int Count(const TProgram& program) {
    return program.Main->ListItems->Count();
}

// Posts `count` messages one at a time and measures each one's way into the client's list.
// `pause` gives the wait after a delivery before the next post.
// Configuration entries for a database given on the command line ("" for the default SQLite).
std::string DatabaseConfig;

std::vector<double> Latencies(bool longPoll, int count) {
    TPhpSite::TOptions options;
    options.LongPollSeconds = longPoll ? 25 : 0;
    options.ExtraConfig = DatabaseConfig;
    TPhpSite site(options);
    if (!site.Running()) {
        std::fprintf(stderr, "ServerLatencyBench: %s\n", site.Error().c_str());
        std::exit(1);
    }
    site.AddUser("bench", "bench-pw");
    IsolateUserFolders();
    const int delay = 5;
    Settings(site.ScriptUrl(), delay);
    TProgram program(true);
    WaitUntil([] { return false; }, std::chrono::milliseconds(2000));  // the first poll is on its way
    std::mt19937 random(13);
    std::uniform_real_distribution<double> phase(0.0, delay * 1000.0);
    std::uniform_real_distribution<double> gap(150.0, 400.0);
    std::vector<double> latencies;
    for (int i = 1; i <= count; ++i) {
        // Without long polling a post at a random moment of the timer's interval; with it, a
        // short gap so that the client is waiting again.
        const double wait = longPoll ? gap(random) : phase(random);
        WaitUntil([] { return false; }, std::chrono::milliseconds(static_cast<int>(wait)));
        const auto start = Clock::now();
        auto posted = std::async(std::launch::async, [&] {
            return site.PostMessage("bench", "Order " + std::to_string(i), OrderHtml(i));
        });
        if (!WaitUntil([&] { return Count(program) >= i; }, std::chrono::seconds(30))) {
            std::fprintf(stderr, "ServerLatencyBench: message %d did not arrive\n", i);
            std::exit(1);
        }
        latencies.push_back(Ms(Clock::now() - start));
        if (posted.get() <= 0) {
            std::fprintf(stderr, "ServerLatencyBench: posting message %d failed\n", i);
            std::exit(1);
        }
    }
    return latencies;
}

void Burst(int count) {
    TPhpSite::TOptions options;
    options.LongPollSeconds = 0;  // the burst ends with an empty answer
    TPhpSite site(options);
    if (!site.Running()) {
        std::fprintf(stderr, "ServerLatencyBench: %s\n", site.Error().c_str());
        std::exit(1);
    }
    site.AddUser("bench", "bench-pw");

    // Posting through the API, one call after the other (the site's code posting orders).
    const int apiPosts = std::min(count, 1000);
    auto start = Clock::now();
    for (int i = 1; i <= apiPosts; ++i) site.PostMessage("bench", "Order " + std::to_string(i), OrderHtml(i));
    double seconds = Ms(Clock::now() - start) / 1000;
    std::printf("api posts: %d messages in %.2f s: %.0f messages/s\n", apiPosts, seconds, apiPosts / seconds);

    // The rest straight into the database, so that `count` are pending.
    const std::string code = "require '" + SourceDir() +
                             "/server/src/autoload.php'; $app = Quorvel\\Server\\App::fromEnvironment(); "
                             "$html = str_repeat('<p>Blue widget, large: 2 x 12.50 EUR</p>', 24); "
                             "for ($i = " +
                             std::to_string(apiPosts + 1) + "; $i <= " + std::to_string(count) +
                             "; $i++) "
                             "$app->messages->post(['bench'], \"Order $i\", \"New order $i\", $html);";
    if (RunProgram({"php", "-r", code}, "", {{"QUORVEL_CONFIG", site.ConfigFile()}}).first != 0) {
        std::fprintf(stderr, "ServerLatencyBench: filling the database failed\n");
        std::exit(1);
    }

    // A bare loop of polls as the client makes them: one connection per poll, back to back.
    start = Clock::now();
    int fetched = 0;
    for (int index = 0;; ++index) {
        const auto [status, body] = LoopbackRequest(
            site.Port(), "POST", "/poll.php", "User=bench&Pass=bench%2Dpw&Index=" + std::to_string(index),
            {"Content-Type: application/x-www-form-urlencoded"});
        if (status != 200 || body.empty()) break;
        ++fetched;
    }
    seconds = Ms(Clock::now() - start) / 1000;
    std::printf("burst, bare polls: %d messages in %.2f s: %.0f messages/s\n", fetched, seconds,
                fetched / seconds);

    // The real client from Index 0: every message into its list.
    IsolateUserFolders();
    Settings(site.ScriptUrl(), 5);
    TProgram program(true);
    WaitUntil([&] { return Count(program) >= 1; }, std::chrono::seconds(10));
    start = Clock::now();
    const int first = Count(program);
    WaitUntil([&] { return Count(program) >= count; }, std::chrono::seconds(900));
    seconds = Ms(Clock::now() - start) / 1000;
    const int got = Count(program) - first;
    std::printf("burst, real client: %d messages in %.2f s: %.0f messages/s\n", got, seconds, got / seconds);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    int messages = 100, burst = 10000;
    bool timed = true;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--messages") && i + 1 < argc)
            messages = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--burst") && i + 1 < argc)
            burst = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--skip-timed"))
            timed = false;
    }
    if (!TPhpSite::Available()) {
        std::fprintf(stderr,
                     "ServerLatencyBench: php with pdo_sqlite is not installed (scripts/install-deps)\n");
        return 1;
    }
    IsolateUserFolders();
    const std::vector<double> held = Latencies(true, messages);
    std::printf("latency, long polling: %d messages: median %.1f ms, p95 %.1f ms, max %.1f ms\n", messages,
                Percentile(held, 50), Percentile(held, 95), Percentile(held, 100));
    std::fflush(stdout);
    ClearNotifications();
    if (timed) {
        const std::vector<double> polled = Latencies(false, messages);
        std::printf(
            "latency, timed polls (Delay 5 s): %d messages: median %.1f ms, p95 %.1f ms, max %.1f ms\n",
            messages, Percentile(polled, 50), Percentile(polled, 95), Percentile(polled, 100));
        std::fflush(stdout);
        ClearNotifications();
    }
    if (burst > 0) Burst(burst);
    return 0;
}
