#include "PhpSite.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "LoopbackTools.h"

namespace testing_support {

namespace fs = std::filesystem;

namespace {

std::string MakeTempDir(const char* prefix) {
    std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

}  // namespace

bool TPhpSite::Available() {
    static const bool available =
        RunProgram({"php", "-r", "exit(extension_loaded('pdo_sqlite') ? 0 : 1);"}).first == 0;
    return available;
}

TPhpSite::TPhpSite(TOptions options) {
    if (!Available()) {
        error_ = "php with pdo_sqlite is not installed";
        return;
    }
    dir_ = MakeTempDir("quorvel-site-");
    config_ = dir_ + "/config.php";
    auto [code, out] = RunProgram({"php", SourceDir() + "/server/bin/quorvel-admin", "init-config", config_,
                                   "--dsn", "sqlite:" + dir_ + "/quorvel.sqlite"});
    const size_t mark = out.find("API token");
    if (code != 0 || mark == std::string::npos) {
        error_ = "quorvel-admin init-config failed: " + out;
        return;
    }
    token_ = out.substr(out.find(": ", mark) + 2);
    token_ = token_.substr(0, token_.find('\n'));
    // The generated configuration, with this test's settings over it.
    std::ofstream(dir_ + "/site.php")
        << "<?php\nreturn array_replace(require " << '"' << config_ << '"' << ", [\n'long_poll_seconds' => "
        << options.LongPollSeconds << ",\n'poll_check_ms' => " << options.PollCheckMs << ",\n"
        << options.ExtraConfig << "\n]);\n";
    config_ = dir_ + "/site.php";
    if (Admin({"init"}).first != 0) {
        error_ = "quorvel-admin init failed";
        return;
    }
    // Two servers on the same script and database: one for the client (polls, replies), one
    // for the site's API calls. A worker of `php -S` may accept two connections that arrive
    // together and serve the second only after the first, which a held poll makes 25 s; a site
    // behind PHP-FPM has no such coupling (docs/server.md).
    port_ = StartServer(options.Workers, pid_);
    if (port_ != 0) apiPort_ = StartServer(2, apiPid_);
    if (apiPort_ == 0) port_ = 0;
    if (port_ == 0) error_ = "php -S did not start: " + ReadWholeFile(dir_ + "/server.log");
}

int TPhpSite::StartServer(int workers, pid_t& pid) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int port = FreeLoopbackPort();
        pid = StartInSession(
            {"php", "-S", "127.0.0.1:" + std::to_string(port), "-t", SourceDir() + "/server/public"},
            {{"QUORVEL_CONFIG", config_}, {"PHP_CLI_SERVER_WORKERS", std::to_string(workers)}},
            dir_ + "/server.log");
        for (int i = 0; i < 100; ++i) {
            if (LoopbackPortOpen(port)) return port;
            if (waitpid(pid, nullptr, WNOHANG) == pid) {
                pid = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        StopSession(pid);
    }
    return 0;
}

TPhpSite::~TPhpSite() {
    StopSession(pid_);
    StopSession(apiPid_);
    if (!dir_.empty()) {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
}

std::string TPhpSite::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::pair<int, std::string> TPhpSite::Admin(const std::vector<std::string>& args,
                                            const std::string& input) const {
    std::vector<std::string> command = {"php", SourceDir() + "/server/bin/quorvel-admin", "--config",
                                        config_};
    command.insert(command.end(), args.begin(), args.end());
    return RunProgram(command, input);
}

bool TPhpSite::AddUser(const std::string& name, const std::string& password) const {
    return Admin({"user-add", name}, password + "\n").first == 0;
}

std::pair<int, std::string> TPhpSite::Api(const std::string& method, const std::string& path,
                                          const std::string& json) const {
    return LoopbackRequest(apiPort_, method, "/api.php" + path, json,
                           {"Authorization: Bearer " + token_, "Content-Type: application/json"});
}

int TPhpSite::PostMessage(const std::string& user, const std::string& title, const std::string& html) const {
    const auto [status, body] = Api("POST", "/messages",
                                    "{\"to\":" + JsonString(user) + ",\"title\":" + JsonString(title) +
                                        ",\"html\":" + JsonString(html) + "}");
    const size_t id = body.find("\"id\":");
    return status == 201 && id != std::string::npos ? std::atoi(body.c_str() + id + 5) : 0;
}

}  // namespace testing_support
