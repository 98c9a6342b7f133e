#include "PhpSite.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace testing_support {

namespace fs = std::filesystem;

std::string SourceDir() {
    if (const char* dir = std::getenv("QUORVEL_SOURCE_DIR"); dir && *dir) return dir;
    return fs::path(__FILE__).parent_path().parent_path().parent_path().string();
}

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string MakeTempDir(const char* prefix) {
    std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

// Starts a program in a session of its own (so that it and its children end together), with
// standard output and error to `log`.
pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::pair<std::string, std::string>>& env,
            const std::string& log) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    setsid();
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    dup2(in, 0);
    dup2(out, 1);
    dup2(out, 2);
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

void Stop(pid_t& pid) {
    if (pid <= 0) return;
    kill(-pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(-pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

bool PortOpen(int port) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(s);
    return ok;
}

int FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(s);
    return port;
}

}  // namespace

std::pair<int, std::string> RunProgram(const std::vector<std::string>& args, const std::string& input,
                                       const std::vector<std::pair<std::string, std::string>>& env) {
    int toChild[2], fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0) return {-1, ""};
    if (pipe2(fromChild, O_CLOEXEC) != 0) return {-1, ""};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(toChild[0], 0);
        dup2(fromChild[1], 1);
        for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    // Small inputs only: written whole before reading.
    (void)!write(toChild[1], input.data(), input.size());
    close(toChild[1]);
    std::string output;
    char buffer[4096];
    for (ssize_t n; (n = read(fromChild[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        output.append(buffer, static_cast<size_t>(n));
    }
    close(fromChild[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

std::pair<int, std::string> LoopbackRequest(int port, const std::string& method, const std::string& path,
                                            const std::string& body, const std::vector<std::string>& headers) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(s);
        return {0, ""};
    }
    std::string request = method + " " + path + " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n";
    for (const auto& h : headers) request += h + "\r\n";
    if (!body.empty() || method == "POST") request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    request += "\r\n" + body;
    for (size_t sent = 0; sent < request.size();) {
        const ssize_t n = send(s, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            close(s);
            return {0, ""};
        }
        sent += static_cast<size_t>(n);
    }
    std::string answer;
    char buffer[8192];
    for (ssize_t n; (n = recv(s, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, static_cast<size_t>(n));
    close(s);
    int status = 0;
    if (answer.compare(0, 5, "HTTP/") == 0 && answer.size() > 12) status = std::atoi(answer.c_str() + 9);
    const size_t end = answer.find("\r\n\r\n");
    return {status, end == std::string::npos ? std::string() : answer.substr(end + 4)};
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", c);
            out += code;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string FormEncodeForTest(const std::string& value) {
    std::string out;
    for (const unsigned char c : value) {
        if (c == ' ') {
            out += '+';
        } else if (std::isalnum(c)) {
            out += static_cast<char>(c);
        } else {
            char code[4];
            std::snprintf(code, sizeof code, "%%%02X", c);
            out += code;
        }
    }
    return out;
}

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
    auto [code, out] = RunProgram({"php", SourceDir() + "/server/bin/quorvel-admin", "init-config", config_, "--dsn",
                                   "sqlite:" + dir_ + "/quorvel.sqlite"});
    const size_t mark = out.find("API token");
    if (code != 0 || mark == std::string::npos) {
        error_ = "quorvel-admin init-config failed: " + out;
        return;
    }
    token_ = out.substr(out.find(": ", mark) + 2);
    token_ = token_.substr(0, token_.find('\n'));
    // The generated configuration, with this test's settings over it.
    std::ofstream(dir_ + "/site.php") << "<?php\nreturn array_replace(require " << '"' << config_ << '"'
                                      << ", [\n'long_poll_seconds' => " << options.LongPollSeconds
                                      << ",\n'poll_check_ms' => " << options.PollCheckMs << ",\n"
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
    if (port_ == 0) error_ = "php -S did not start: " + ReadFile(dir_ + "/server.log");
}

int TPhpSite::StartServer(int workers, pid_t& pid) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int port = FreePort();
        pid = Spawn({"php", "-S", "127.0.0.1:" + std::to_string(port), "-t", SourceDir() + "/server/public"},
                    {{"QUORVEL_CONFIG", config_}, {"PHP_CLI_SERVER_WORKERS", std::to_string(workers)}},
                    dir_ + "/server.log");
        for (int i = 0; i < 100; ++i) {
            if (PortOpen(port)) return port;
            if (waitpid(pid, nullptr, WNOHANG) == pid) {
                pid = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        Stop(pid);
    }
    return 0;
}

TPhpSite::~TPhpSite() {
    Stop(pid_);
    Stop(apiPid_);
    if (!dir_.empty()) {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
}

std::string TPhpSite::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::pair<int, std::string> TPhpSite::Admin(const std::vector<std::string>& args, const std::string& input) const {
    std::vector<std::string> command = {"php", SourceDir() + "/server/bin/quorvel-admin", "--config", config_};
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
    pid_ = Spawn({"python3", "-u", SourceDir() + "/docs/examples/quorvel_script.py", "0", user, password}, {}, outFile_);
    for (int i = 0; i < 100 && port_ == 0; ++i) {
        const std::string out = ReadFile(outFile_);
        if (out.find('\n') != std::string::npos) port_ = std::atoi(out.c_str());
        if (port_ == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

TPythonSite::~TPythonSite() {
    Stop(pid_);
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
    return ReadFile(outFile_);
}

}  // namespace testing_support
