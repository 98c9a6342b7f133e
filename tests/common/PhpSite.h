#pragma once

#include <sys/types.h>
#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// The repository's root folder (QUORVEL_SOURCE_DIR, or found from this file's path).
std::string SourceDir();

// Runs a program to its end with `input` on its standard input; gives its exit code (-1 when it
// could not run) and its standard output.
std::pair<int, std::string> RunProgram(const std::vector<std::string>& args, const std::string& input = "",
                                       const std::vector<std::pair<std::string, std::string>>& env = {});

// One blocking HTTP/1.0 request to 127.0.0.1:port; gives the status (0 when it failed) and body.
std::pair<int, std::string> LoopbackRequest(int port, const std::string& method, const std::string& path,
                                            const std::string& body = "",
                                            const std::vector<std::string>& headers = {});

// A JSON string literal of the text (quotes included).
std::string JsonString(const std::string& text);

// The reference web script (server/) under `php -S` on 127.0.0.1, with a fresh SQLite database
// in a temporary folder and its own configuration; stopped, and its folder removed, on
// destruction.
class TPhpSite {
public:
    struct TOptions {
        int LongPollSeconds = 25;
        int PollCheckMs = 100;
        int Workers = 6;
        // Extra configuration entries, PHP source ("'key' => value,").
        std::string ExtraConfig;
    };
    // True when PHP with the SQLite driver can run the script.
    static bool Available();

    explicit TPhpSite(TOptions options);
    TPhpSite() : TPhpSite(TOptions()) {}
    ~TPhpSite();
    TPhpSite(const TPhpSite&) = delete;
    TPhpSite& operator=(const TPhpSite&) = delete;

    bool Running() const { return port_ != 0; }
    const std::string& Error() const { return error_; }
    int Port() const { return port_; }
    const std::string& Folder() const { return dir_; }
    const std::string& ConfigFile() const { return config_; }
    std::string Url(const std::string& path) const;
    std::string ScriptUrl() const { return Url("/poll.php"); }

    // quorvel-admin with this site's configuration; gives exit code and output.
    std::pair<int, std::string> Admin(const std::vector<std::string>& args, const std::string& input = "") const;
    bool AddUser(const std::string& name, const std::string& password) const;
    // A call of the JSON API with the site's token; gives status and body.
    std::pair<int, std::string> Api(const std::string& method, const std::string& path,
                                    const std::string& json = "") const;
    // Posts a message (HTML) to one user through the API; gives the message id, or 0.
    int PostMessage(const std::string& user, const std::string& title, const std::string& html) const;

private:
    int StartServer(int workers, pid_t& pid);
    std::string dir_;
    std::string config_;
    std::string token_;
    std::string error_;
    pid_t pid_ = -1;
    pid_t apiPid_ = -1;
    int port_ = 0;
    int apiPort_ = 0;
};

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

// The client's form encoding (letters and digits kept, blank as +, the rest as %XX).
std::string FormEncodeForTest(const std::string& value);

}  // namespace testing_support
