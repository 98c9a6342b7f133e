#include "LoopbackTools.h"

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
#include <fstream>
#include <sstream>
#include <thread>

namespace testing_support {

std::string SourceDir() {
    if (const char* dir = std::getenv("QUORVEL_SOURCE_DIR"); dir && *dir) return dir;
    // From the build, not from __FILE__: a compiler cache may make that relative to where the
    // helper was compiled, which is not where the tests run.
    return QUORVEL_SOURCE_DIR;
}

pid_t StartInSession(const std::vector<std::string>& args,
                     const std::vector<std::pair<std::string, std::string>>& env, const std::string& log) {
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

void StopSession(pid_t& pid) {
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

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool LoopbackPortOpen(int port) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(s);
    return ok;
}

int FreeLoopbackPort() {
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
                                            const std::string& body,
                                            const std::vector<std::string>& headers) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(s);
        return {0, ""};
    }
    std::string request =
        method + " " + path + " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n";
    for (const auto& h : headers) request += h + "\r\n";
    if (!body.empty() || method == "POST")
        request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
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
    for (ssize_t n; (n = recv(s, buffer, sizeof buffer, 0)) > 0;)
        answer.append(buffer, static_cast<size_t>(n));
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

}  // namespace testing_support
