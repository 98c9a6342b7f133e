#include "TestEnvironment.h"

#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace testing_support {

std::string IsolateUserFolders() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return {};
    const std::filesystem::path root(pattern);
    std::filesystem::create_directories(root / "config");
    std::filesystem::create_directories(root / "runtime");
    std::filesystem::permissions(root / "runtime", std::filesystem::perms::owner_all);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (root / "runtime").c_str(), 1);
    // No test reaches the desktop's session bus (desktop notifications): a bus that is not
    // there. Tests that need one start their own (NotificationServer).
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (root / "runtime" / "no-bus").string()).c_str(), 1);
    return pattern;
}

}  // namespace testing_support
