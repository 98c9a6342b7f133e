#pragma once

#include <sys/types.h>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

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
    std::pair<int, std::string> Admin(const std::vector<std::string>& args,
                                      const std::string& input = "") const;
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

}  // namespace testing_support
