#include "PythonSite.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "LoopbackTools.h"

namespace testing_support {

bool TPythonSite::Available() {
    static const bool available = RunProgram({"python3", "-c", "import http.server"}).first == 0;
    return available;
}

TPythonSite::TPythonSite(const std::string& user, const std::string& password) {
    if (!Available()) return;
    char pattern[] = "/tmp/quorvel-py-XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd < 0) return;
    close(fd);
    outFile_ = pattern;
    pid_ = StartInSession(
        {"python3", "-u", SourceDir() + "/docs/examples/quorvel_script.py", "0", user, password}, {},
        outFile_);
    for (int i = 0; i < 100 && port_ == 0; ++i) {
        const std::string out = ReadWholeFile(outFile_);
        if (out.find('\n') != std::string::npos) port_ = std::atoi(out.c_str());
        if (port_ == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

TPythonSite::~TPythonSite() {
    StopSession(pid_);
    if (!outFile_.empty()) std::remove(outFile_.c_str());
}

std::string TPythonSite::ScriptUrl() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/script";
}

bool TPythonSite::PostMessage(const std::string& title, const std::string& html) const {
    return LoopbackRequest(port_, "POST", "/post",
                           "title=" + FormEncodeForTest(title) + "&message=" + FormEncodeForTest(html),
                           {"Content-Type: application/x-www-form-urlencoded"})
               .first == 200;
}

std::string TPythonSite::Output() const {
    return ReadWholeFile(outFile_);
}

}  // namespace testing_support
