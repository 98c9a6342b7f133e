#pragma once

#include <string>

namespace testing_support {

// Points the per-user folders (settings, runtime) at a fresh temporary folder, so that no test
// reads or writes the settings of the person who runs it. Returns that folder.
std::string IsolateUserFolders();

}  // namespace testing_support
