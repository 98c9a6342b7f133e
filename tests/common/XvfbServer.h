#pragma once

#include <sys/types.h>
#include <string>

namespace testing_support {

// A private X server for tests that need real windows, a tray host or screenshots.
// Starts Xvfb on the first free display and stops it when destroyed.
class XvfbServer {
public:
    XvfbServer(int width = 1280, int height = 1024);
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool Running() const { return pid_ > 0 && !display_.empty(); }
    const std::string& Display() const { return display_; }  // ":N"

private:
    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace testing_support
