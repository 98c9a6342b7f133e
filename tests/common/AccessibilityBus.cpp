#include "AccessibilityBus.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

namespace testing_support {

namespace {

// at-spi2-core installs its registry among the helper programs, not on the path.
constexpr const char* kRegistry = "/usr/libexec/at-spi2-registryd";

void Stop(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

bool RegistryOwnsItsName(const std::string& address) {
    const std::string command =
        "dbus-send --bus='" + address +
        "' --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus "
        "org.freedesktop.DBus.NameHasOwner string:org.a11y.atspi.Registry 2>/dev/null "
        "| grep -q 'boolean true'";
    return std::system(command.c_str()) == 0;
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
        address_ += c;
    }
    close(fds[0]);
    if (address_.empty()) return;

    registry_ = fork();
    if (registry_ == 0) {
        // The registry finds its bus as applications do; it asks no session manager.
        setenv("AT_SPI_BUS_ADDRESS", address_.c_str(), 1);
        setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
        execl(kRegistry, kRegistry, static_cast<char*>(nullptr));
        _exit(127);
    }
    if (registry_ < 0) return;
    for (int attempt = 0; attempt < 100 && !running_; ++attempt) {
        running_ = RegistryOwnsItsName(address_);
        if (!running_) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

TAccessibilityBus::~TAccessibilityBus() {
    Stop(registry_);
    Stop(bus_);
}

}  // namespace testing_support
