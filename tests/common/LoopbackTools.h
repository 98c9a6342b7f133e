#pragma once

#include <sys/types.h>
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

// The client's form encoding (letters and digits kept, blank as +, the rest as %XX).
std::string FormEncodeForTest(const std::string& value);

// Starts a program in a session of its own, with standard output and error appended to `log`;
// gives its process id (the session's id too).
pid_t StartInSession(const std::vector<std::string>& args,
                     const std::vector<std::pair<std::string, std::string>>& env, const std::string& log);
// Ends that session (the program and every child of it) and reaps the program; sets pid to -1.
void StopSession(pid_t& pid);
// The whole content of a file, or "" when it cannot be read.
std::string ReadWholeFile(const std::string& path);
// A loopback port that nothing listens on right now.
int FreeLoopbackPort();
// Whether something accepts connections on that loopback port.
bool LoopbackPortOpen(int port);

}  // namespace testing_support
