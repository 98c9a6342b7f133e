// A long run of the real windows (offscreen) against a loopback script that misbehaves in turns:
// bursts of messages, empty answers, HTTP 500, connections closed without an answer, refusals,
// slow answers and "Delay"-only answers. Meanwhile a driver opens messages, presses the buttons
// of their forms and opens and closes the Connection dialog and the About window, the way a user
// does. Each sample (every minute by default) gives the resident memory, open descriptors,
// threads and CPU of this process, read from /proc/self, beside the messages stored and their
// bytes, so that growth can be told apart from what the store must hold.
//
//   SoakBench [MINUTES [SAMPLE_SECONDS]]      (30 minutes, one sample a minute)
//
// The script runs in a child process, so that its memory and threads do not count as the
// client's.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QPushButton>
#include <QTimer>

#include <dirent.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/PollScript.h"
#include "common/ProgramHarness.h"
#include "common/TestEnvironment.h"
#include "common/TestHttpServer.h"
#include "exchange/DataUnit.h"
#include "exchange/HTTPUnit.h"
#include "htmlview/HtmlView.h"
#include "shell/AboutUnit.h"
#include "shell/ConnectionUnit.h"
#include "shell/MainUnit.h"
#include "shell/MessageListModel.h"
#include "support/SettingsStore.h"

using namespace testing_support;

namespace {

// One turn of the script, answer by answer; a burst is many message answers in a row.
enum class TStep { Message, Empty, Failure, Closed, Refusal, Slow, DelayOnly };

std::vector<TStep> Schedule() {
    std::vector<TStep> steps(25, TStep::Message);  // a burst
    for (TStep step : {TStep::Empty, TStep::Empty, TStep::Empty, TStep::Failure, TStep::Message, TStep::Empty,
                       TStep::Closed, TStep::Message, TStep::Empty, TStep::Refusal, TStep::Message,
                       TStep::Empty, TStep::Slow, TStep::Empty, TStep::DelayOnly, TStep::Empty, TStep::Empty})
        steps.push_back(step);
    return steps;
}

// About 1.5 KB of HTML with a table, a link and a form that replies to the script's site.
std::string MessageHtml(int32_t index) {
    const std::string n = std::to_string(index);
    std::string html =
        "<html><body><h3>Order " + n + "</h3><table border=1><tr><th>Item</th><th>Qty</th></tr>";
    while (html.size() < 1200) html += "<tr><td>Blue widget, large</td><td>2</td></tr>";
    return html + "</table><p><a href=\"order.php?id=" + n +
           "\">Open the order</a></p><form action=\"reply.php\"><input type=hidden name=id value=" + n +
           "><input name=note value=\"On its way\"><input type=submit value=Reply></form></body></html>";
}

TTestResponse ScriptAnswer(const TReceivedRequest& request) {
    static const std::vector<TStep> steps = Schedule();
    static std::atomic<size_t> turn{0};
    static std::atomic<int32_t> nextIndex{1};
    if (request.Path == "/reply.php")
        return TTestResponse::Text(
            "<html><body><p>Thanks</p><form action=\"reply.php\"><input type=submit "
            "value=Again></form></body></html>",
            200, "text/html");
    auto message = [] {
        const int32_t index = nextIndex++;
        return TTestResponse::Text(
            EncodeFieldList({{"Index", std::to_string(index)},
                             {"Header", "Order " + std::to_string(index) + " from the shop"},
                             {"Title", "New order " + std::to_string(index)},
                             {"Message", MessageHtml(index)}}));
    };
    switch (steps[turn++ % steps.size()]) {
        case TStep::Message: return message();
        case TStep::Empty: return TTestResponse::Text("");
        case TStep::Failure: return TTestResponse::Text("Internal Server Error", 500, "text/html");
        case TStep::Closed: {
            TTestResponse closed;
            closed.CloseWithoutAnswer = true;
            return closed;
        }
        case TStep::Refusal:
            return TTestResponse::Text(EncodeFieldList({{"Deny", "Your account is on hold."}}));
        case TStep::Slow: std::this_thread::sleep_for(std::chrono::seconds(8)); return message();
        case TStep::DelayOnly: return TTestResponse::Text(EncodeFieldList({{"Delay", "2"}}));
    }
    return TTestResponse::Text("");
}

struct TScriptProcess {
    pid_t pid = -1;
    std::string url;
};

TScriptProcess StartScript() {
    int channel[2];
    if (pipe(channel) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(channel[0]);
        TTestHttpServer server(ScriptAnswer);
        const std::string url = server.Url("/script.php");
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

struct TSample {
    double minutes = 0;
    double residentMiB = 0;
    int descriptors = 0;
    int threads = 0;
    double cpuPercent = 0;  // of one core, since the previous sample
    size_t messages = 0;
    double storedKiB = 0;  // Header, Title and Message bytes of the stored messages
};

long StatusField(const char* name) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(name) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0) return std::atol(line.c_str() + prefix.size());
    return 0;
}

int OpenDescriptors() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') ++count;
        closedir(dir);
        --count;  // the one opendir holds
    }
    return count;
}

// User plus system CPU time of the process so far, in seconds.
double CpuSeconds() {
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The command name may hold blanks; the fields after it are counted from its closing parenthesis.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int number = 3; fields >> field; ++number) {
        if (number == 14) utime = std::stoull(field);
        if (number == 15) {
            stime = std::stoull(field);
            break;
        }
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Presses the first button of the document on display, if it has one.
bool PressFormButton(TMainForm& main) {
    for (QObject* child : main.HtmlView->viewport()->children())
        if (auto* button = qobject_cast<QPushButton*>(child); button && button->isEnabled()) {
            button->click();
            return true;
        }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const double minutes = argc > 1 ? std::atof(argv[1]) : 30.0;
    const int sampleSeconds = argc > 2 ? std::atoi(argv[2]) : 60;
    if (minutes <= 0 || sampleSeconds <= 0) {
        std::fprintf(stderr, "usage: SoakBench [MINUTES [SAMPLE_SECONDS]]\n");
        return 2;
    }
    // The script is forked before this process starts any thread.
    const TScriptProcess script = StartScript();
    if (script.url.empty()) return 1;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    IsolateUserFolders();
    QApplication app(argc, argv);
    // The offscreen platform cannot raise windows and says so at every dialog; nothing else is muted.
    static const QtMessageHandler qtHandler = qInstallMessageHandler(nullptr);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (!text.contains("does not support raise()")) qtHandler(type, context, text);
    });
    StoreSettings([&](TSettingsStore& store) {
        store.WriteText("Connection", "User", "soak");
        store.WriteText("Connection", "URL", script.url);
        store.WriteNumber("Connection", "Delay", 1);
        store.WriteFlag("Caching", "SavePass", true);
    });

    std::vector<TSample> samples;
    int opened = 0, pressed = 0, dialogs = 0;
    {
        TMessageBoxWatcher boxes;
        TProgram program(true, true);
        TMainForm& main = *program.Main;

        // The driver: one user action every two seconds, in turn.
        int action = 0;
        QTimer driver;
        QObject::connect(&driver, &QTimer::timeout, [&] {
            const int rows = main.ListItems->Count();
            switch (action++ % 8) {
                case 0:
                case 4:
                    if (rows == 0 || !main.isEnabled()) break;
                    main.ListView->setCurrentIndex(main.ListItems->index((action * 7) % rows));
                    main.ListViewDblClick();
                    ++opened;
                    break;
                case 1:
                case 5:
                    if (PressFormButton(main)) ++pressed;
                    break;
                case 2:
                    program.Connection->Open();
                    ++dialogs;
                    break;
                case 3: program.Connection->close(); break;
                case 6:
                    program.About->Open();
                    ++dialogs;
                    break;
                case 7: program.About->close(); break;
            }
        });
        driver.start(2000);

        QElapsedTimer clock;
        clock.start();
        double lastCpu = CpuSeconds();
        qint64 lastMs = 0;
        auto sample = [&] {
            const qint64 nowMs = clock.elapsed();
            const double cpu = CpuSeconds();
            TSample s;
            s.minutes = static_cast<double>(nowMs) / 60000.0;
            s.residentMiB = static_cast<double>(StatusField("VmRSS")) / 1024.0;
            s.descriptors = OpenDescriptors();
            s.threads = static_cast<int>(StatusField("Threads"));
            s.cpuPercent =
                nowMs > lastMs ? 100.0 * (cpu - lastCpu) * 1000.0 / static_cast<double>(nowMs - lastMs) : 0;
            s.messages = Notifications().size();
            size_t bytes = 0;
            for (const auto& n : Notifications())
                bytes += n->Header.size() + n->Title.size() + n->Message.size();
            s.storedKiB = static_cast<double>(bytes) / 1024.0;
            lastCpu = cpu;
            lastMs = nowMs;
            samples.push_back(s);
            std::printf(
                "%6.1f min  rss %7.1f MiB  fds %3d  threads %3d  cpu %5.1f %%  messages %5zu  stored %8.1f "
                "KiB"
                "  polls %5d  boxes %3d\n",
                s.minutes, s.residentMiB, s.descriptors, s.threads, s.cpuPercent, s.messages, s.storedKiB,
                program.Completions(), boxes.Count());
            std::fflush(stdout);
        };
        std::printf("soak: %.1f minutes against %s, a sample every %d s\n", minutes, script.url.c_str(),
                    sampleSeconds);
        sample();
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout, sample);
        sampler.start(sampleSeconds * 1000);
        WaitUntil([] { return false; }, std::chrono::milliseconds(static_cast<int64_t>(minutes * 60000)));
        sampler.stop();
        driver.stop();
        if (clock.elapsed() - lastMs > sampleSeconds * 500) sample();
        std::printf(
            "soak: %d messages opened, %d form buttons pressed, %d dialogs opened, %d boxes answered\n",
            opened, pressed, dialogs, boxes.Count());
    }
    kill(script.pid, SIGKILL);
    waitpid(script.pid, nullptr, 0);

    // Growth after the first five minutes (from the first sample in a shorter run).
    const TSample* from = &samples.front();
    if (samples.back().minutes > 5.05)
        for (const TSample& s : samples)
            if (s.minutes <= 5.05) from = &s;
    const TSample& to = samples.back();
    std::printf(
        "soak: from %.1f to %.1f min: rss %+.1f MiB, stored %+.1f KiB (%+ld messages), fds %+d, threads "
        "%+d\n",
        from->minutes, to.minutes, to.residentMiB - from->residentMiB, to.storedKiB - from->storedKiB,
        static_cast<long>(to.messages) - static_cast<long>(from->messages),
        to.descriptors - from->descriptors, to.threads - from->threads);
    return 0;
}
