#pragma once

#include <sys/types.h>
#include <string>

namespace testing_support {

// docs/examples/quorvel_script.py, the protocol's second implementation, on a free port.
class TPythonSite {
public:
    static bool Available();
    TPythonSite(const std::string& user, const std::string& password);
    ~TPythonSite();
    TPythonSite(const TPythonSite&) = delete;
    TPythonSite& operator=(const TPythonSite&) = delete;
    bool Running() const { return port_ != 0; }
    std::string ScriptUrl() const;
    bool PostMessage(const std::string& title, const std::string& html) const;
    // The lines it printed so far (each form reply prints one "reply: ..." line).
    std::string Output() const;

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string outFile_;
};

}  // namespace testing_support
