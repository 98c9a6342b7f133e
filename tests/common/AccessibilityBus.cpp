#include "AccessibilityBus.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace testing_support {

namespace {

// at-spi2-core installs its launcher among the helper programs, not on the path.
constexpr const char* kLauncher = "/usr/libexec/at-spi-bus-launcher";

void Stop(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

// Runs a command through the shell and gives its output.
std::string Output(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        std::array<char, 512> buffer{};
        while (fgets(buffer.data(), static_cast<int>(buffer.size()), pipe)) output += buffer.data();
        pclose(pipe);
    }
    return output;
}

// The accessibility bus's address as the launcher hands it out (org.a11y.Bus.GetAddress on the
// session bus), once its registry runs; empty until then.
std::string AccessibilityAddress(const std::string& session) {
    const std::string reply = Output("dbus-send --bus='" + session +
                                     "' --print-reply=literal --dest=org.a11y.Bus /org/a11y/bus "
                                     "org.a11y.Bus.GetAddress 2>/dev/null");
    const size_t start = reply.find_first_not_of(" \t\n");
    const size_t end = reply.find_last_not_of(" \t\n");
    if (start == std::string::npos) return {};
    const std::string address = reply.substr(start, end - start + 1);
    // The registry is started on demand on that bus.
    const std::string started =
        Output("dbus-send --bus='" + address +
               "' --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus "
               "org.freedesktop.DBus.StartServiceByName string:org.a11y.atspi.Registry "
               "uint32:0 2>/dev/null");
    return started.find("uint32") != std::string::npos ? address : std::string();
}

}  // namespace

TAccessibilityBus::TAccessibilityBus() {
    int fds[2];
    if (pipe(fds) != 0) return;
    const std::string config =
        std::string("--config-file=") + QUORVEL_SOURCE_DIR + "/scripts/private-session-bus.conf";
    const std::string print = "--print-address=" + std::to_string(fds[1]);
    bus_ = fork();
    if (bus_ == 0) {
        close(fds[0]);
        execlp("dbus-daemon", "dbus-daemon", config.c_str(), "--nofork", "--nopidfile", print.c_str(),
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (bus_ < 0) {
        close(fds[0]);
        return;
    }
    pollfd waiting{fds[0], POLLIN, 0};
    while (poll(&waiting, 1, 10000) > 0) {
        char c;
        if (read(fds[0], &c, 1) != 1 || c == '\n') break;
        session_ += c;
    }
    close(fds[0]);
    if (session_.empty()) return;

    launcher_ = fork();
    if (launcher_ == 0) {
        // It starts the accessibility bus and the registry, and serves the bus's address on the
        // session bus, as a desktop's session does.
        setenv("DBUS_SESSION_BUS_ADDRESS", session_.c_str(), 1);
        unsetenv("DISPLAY");
        execl(kLauncher, kLauncher, "--launch-immediately", "--a11y=1", static_cast<char*>(nullptr));
        _exit(127);
    }
    if (launcher_ < 0) return;
    for (int attempt = 0; attempt < 100 && address_.empty(); ++attempt) {
        address_ = AccessibilityAddress(session_);
        if (address_.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    running_ = !address_.empty();
}

TAccessibilityBus::~TAccessibilityBus() {
    Stop(launcher_);
    Stop(bus_);
}

}  // namespace testing_support
