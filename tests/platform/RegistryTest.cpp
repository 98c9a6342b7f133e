#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <latch>
#include <sstream>
#include <thread>

#include "platform/Registry.h"

using namespace registry;
namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

constexpr const char* kStoreKey = "Software\\Quorvel1980Dax";

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

// Every test gets a settings folder of its own.
class RegistryHive : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "quorvel-registry-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) savedConfig_ = old;
        setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    }
    void TearDown() override {
        SetBeforeReplaceHook({});
        for (const auto& entry : fs::recursive_directory_iterator(root_))
            if (entry.is_directory())
                fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(root_);
        setenv("XDG_CONFIG_HOME", savedConfig_.c_str(), 1);
    }

    std::string File() const { return HiveFilePath(HKEY_CURRENT_USER); }
    std::string Folder() const { return fs::path(File()).parent_path().string(); }

    static LONG SetDword(const char* path, const std::string& name, DWORD value) {
        HKEY key = nullptr;
        LONG result = RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      KEY_ALL_ACCESS, nullptr, &key, nullptr);
        if (result != ERROR_SUCCESS) return result;
        result = RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
        RegCloseKey(key);
        return result;
    }

    static bool GetDword(const char* path, const std::string& name, DWORD& value) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        DWORD type = 0, size = 4;
        const LONG result =
            RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
        return result == ERROR_SUCCESS && type == REG_DWORD && size == 4;
    }

    fs::path root_;
    std::string savedConfig_;
};

TEST_F(RegistryHive, EachRootKeyHasItsFileInTheUsersConfigFolder) {
    EXPECT_EQ(File(), (root_ / "config/Quorvel1980Dax/user.reg").string());
    EXPECT_EQ(HiveFilePath(HKEY_LOCAL_MACHINE),
              (root_ / "config/Quorvel1980Dax/HKEY_LOCAL_MACHINE.reg").string());

    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_TRUE(fs::exists(HiveFilePath(HKEY_LOCAL_MACHINE)));
    EXPECT_FALSE(fs::exists(File()));

    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", (root_ / "home").c_str(), 1);
    EXPECT_EQ(File(), (root_ / "home/.config/Quorvel1980Dax/user.reg").string());
    setenv("HOME", savedHome.c_str(), 1);
}

TEST_F(RegistryHive, FolderAndFileAreReadableByTheirOwnerOnly) {
    const mode_t savedMask = umask(0);
    const LONG result = SetDword(kStoreKey, "Delay", 5);
    umask(savedMask);
    ASSERT_EQ(result, ERROR_SUCCESS);
    EXPECT_EQ(ModeOf(Folder()), 0700u);
    EXPECT_EQ(ModeOf(File()), 0600u);
    EXPECT_EQ(ModeOf(File() + ".lock"), 0600u);
    EXPECT_EQ(ReadFile(File()).rfind("REGEDIT4\n\n", 0), 0u);
}

TEST_F(RegistryHive, KeysAndValuesFollowTheRegistrysCallingRules) {
    HKEY key = nullptr;
    DWORD how = 0;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kStoreKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(
        RegCreateKeyExA(HKEY_CURRENT_USER, "\\Software", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &how),
        ERROR_BAD_PATHNAME);
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_CURRENT_USER, kStoreKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &how),
        ERROR_SUCCESS);
    EXPECT_EQ(how, REG_CREATED_NEW_KEY);
    const BYTE text[] = "abc";
    ASSERT_EQ(RegSetValueExA(key, "Name", 0, REG_SZ, text, 4), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, "Two\nLines", 0, REG_SZ, text, 4), ERROR_INVALID_PARAMETER);
    RegCloseKey(key);

    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\quorvel1980dax", 0, nullptr, 0, KEY_READ, nullptr,
                              &key, &how),
              ERROR_SUCCESS);
    EXPECT_EQ(how, REG_OPENED_EXISTING_KEY);
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "NAME", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 4u);
    BYTE small[2];
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegSetValueExA(key, "Name", 0, REG_SZ, text, 4), ERROR_ACCESS_DENIED);  // opened for reading
    HKEY child = nullptr;
    EXPECT_EQ(RegCreateKeyExA(key, "Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);

    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kStoreKey, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, &type, nullptr, &size), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
}

TEST_F(RegistryHive, HandleWhoseKeyVanishedBringsItBackOnWriting) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_CURRENT_USER, kStoreKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    fs::remove(File());
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Delay", nullptr, &type, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    const DWORD value = 7;
    EXPECT_EQ(RegSetValueExA(key, "Delay", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4),
              ERROR_SUCCESS);
    RegCloseKey(key);
    DWORD read = 0;
    EXPECT_TRUE(GetDword(kStoreKey, "Delay", read));
    EXPECT_EQ(read, 7u);
}

TEST_F(RegistryHive, ReadOnlyHiveRefusesChangesButCanBeRead) {
    struct {
        const char* what;
        bool folder;
    } const cases[] = {{"file without write permission", false}, {"folder without write permission", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(SetDword(kStoreKey, "Delay", 9), ERROR_SUCCESS);
        const std::string before = ReadFile(File());
        const std::string target = c.folder ? Folder() : File();
        const auto savedMode = fs::status(target).permissions();
        fs::permissions(target, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
        EXPECT_FALSE(HiveWritable(HKEY_CURRENT_USER));

        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kStoreKey, 0, KEY_ALL_ACCESS, &key), ERROR_ACCESS_DENIED);
        EXPECT_EQ(
            RegCreateKeyExA(HKEY_CURRENT_USER, kStoreKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_ACCESS_DENIED);
        EXPECT_EQ(SetDword("Software\\Other", "Delay", 1), ERROR_ACCESS_DENIED);
        DWORD value = 0;
        EXPECT_TRUE(GetDword(kStoreKey, "Delay", value));
        EXPECT_EQ(value, 9u);
        EXPECT_EQ(ReadFile(File()), before);

        fs::permissions(target, savedMode);
        EXPECT_TRUE(HiveWritable(HKEY_CURRENT_USER));
    }
}

TEST_F(RegistryHive, ChangeAbandonedBeforeTheRenameLeavesTheOldFile) {
    ASSERT_EQ(SetDword(kStoreKey, "Delay", 5), ERROR_SUCCESS);
    const std::string before = ReadFile(File());
    std::string pending;
    SetBeforeReplaceHook([&](const std::string& temporary) {
        pending = ReadFile(temporary);
        EXPECT_EQ(ModeOf(temporary), 0600u);
        return false;
    });
    EXPECT_EQ(SetDword(kStoreKey, "Delay", 60), ERROR_WRITE_FAULT);
    EXPECT_NE(pending.find("\"Delay\"=dword:0000003c"), std::string::npos) << pending;
    EXPECT_EQ(ReadFile(File()), before);
    EXPECT_EQ(fs::directory_iterator(Folder()) == fs::directory_iterator(), false);
    for (const auto& entry : fs::directory_iterator(Folder()))
        EXPECT_NE(entry.path().extension(), ".new") << entry.path();

    SetBeforeReplaceHook({});
    EXPECT_EQ(SetDword(kStoreKey, "Delay", 60), ERROR_SUCCESS);
    DWORD value = 0;
    EXPECT_TRUE(GetDword(kStoreKey, "Delay", value));
    EXPECT_EQ(value, 60u);
}

TEST_F(RegistryHive, ProcessEndingBeforeTheRenameLeavesTheOldFile) {
    ASSERT_EQ(SetDword(kStoreKey, "Delay", 5), ERROR_SUCCESS);
    const std::string before = ReadFile(File());
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SetBeforeReplaceHook([](const std::string&) -> bool { _exit(0); });
        SetDword(kStoreKey, "Delay", 60);
        _exit(1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadFile(File()), before);

    EXPECT_EQ(SetDword(kStoreKey, "Mins", 1), ERROR_SUCCESS);
    DWORD delay = 0, mins = 0;
    EXPECT_TRUE(GetDword(kStoreKey, "Delay", delay));
    EXPECT_TRUE(GetDword(kStoreKey, "Mins", mins));
    EXPECT_EQ(delay, 5u);
    EXPECT_EQ(mins, 1u);
}

TEST_F(RegistryHive, WriteThatRunsOutOfSpaceLeavesTheOldFile) {
    ASSERT_EQ(SetDword(kStoreKey, "Delay", 5), ERROR_SUCCESS);
    const std::string before = ReadFile(File());
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A file size limit makes writing fail the way a full disk does.
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{before.size() + 16, before.size() + 16};
        setrlimit(RLIMIT_FSIZE, &limit);
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kStoreKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) _exit(2);
        const std::string big(4096, 'x');
        const LONG result =
            RegSetValueExA(key, "Big", 0, REG_BINARY, reinterpret_cast<const BYTE*>(big.data()), big.size());
        _exit(result == ERROR_SUCCESS ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFile(File()), before);
}

// Writes `count` values named after `prefix`, each change a write of its own.
int WriteMany(const std::string& prefix, int count) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Quorvel1980Dax\\Race", 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return count;
    int failures = 0;
    for (int i = 0; i < count; ++i) {
        const DWORD value = static_cast<DWORD>(i);
        if (RegSetValueExA(key, (prefix + std::to_string(i)).c_str(), 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&value), 4) != ERROR_SUCCESS)
            ++failures;
    }
    RegCloseKey(key);
    return failures;
}

TEST_F(RegistryHive, WritersInOtherProcessesLoseNothing) {
    constexpr int kWriters = 3, kValues = 40;
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(gate[1]);
            char byte;
            while (read(gate[0], &byte, 1) < 0 && errno == EINTR) {
            }
            _exit(WriteMany("P" + std::to_string(w) + "_", kValues) == 0 ? 0 : 1);
        }
        children.push_back(child);
    }
    close(gate[0]);
    close(gate[1]);  // all writers start together
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int w = 0; w < kWriters; ++w) {
        for (int i = 0; i < kValues; ++i) {
            DWORD value = 0;
            const std::string name = "P" + std::to_string(w) + "_" + std::to_string(i);
            EXPECT_TRUE(GetDword("Software\\Quorvel1980Dax\\Race", name, value)) << name;
            EXPECT_EQ(value, static_cast<DWORD>(i)) << name;
        }
    }
}

TEST_F(RegistryHive, WritersOnOtherThreadsLoseNothing) {
    constexpr int kWriters = 2, kValues = 40;
    std::latch start(kWriters);
    std::vector<std::thread> threads;
    std::vector<int> failures(kWriters, -1);
    for (int w = 0; w < kWriters; ++w) {
        threads.emplace_back([&, w] {
            start.arrive_and_wait();
            failures[w] = WriteMany("T" + std::to_string(w) + "_", kValues);
        });
    }
    for (auto& thread : threads) thread.join();
    for (int w = 0; w < kWriters; ++w) {
        EXPECT_EQ(failures[w], 0);
        for (int i = 0; i < kValues; ++i) {
            DWORD value = 0;
            const std::string name = "T" + std::to_string(w) + "_" + std::to_string(i);
            EXPECT_TRUE(GetDword("Software\\Quorvel1980Dax\\Race", name, value)) << name;
        }
    }
}

TEST_F(RegistryHive, DamagedFileIsReadWhereItCanBeAndKeptWhenWritten) {
    WriteFile(File(),
              "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Quorvel1980Dax]\n"
              "\"Delay\"=dword:00000011\n"
              "\"Half\"=dword:12345\x01zz\n"
              "\xff\xfe garbage \x00 with a NUL\n"
              "\"Mins\"=dword:00000001\n"s);
    DWORD value = 0;
    EXPECT_TRUE(GetDword(kStoreKey, "Delay", value));
    EXPECT_EQ(value, 17u);
    EXPECT_FALSE(GetDword(kStoreKey, "Half", value));
    EXPECT_TRUE(GetDword(kStoreKey, "Mins", value));

    ASSERT_EQ(SetDword(kStoreKey, "Delay", 3), ERROR_SUCCESS);
    const std::string after = ReadFile(File());
    EXPECT_NE(after.find("\"Half\"=dword:12345\x01zz\n"), std::string::npos);
    EXPECT_NE(after.find("\xff\xfe garbage "), std::string::npos);
    EXPECT_TRUE(GetDword(kStoreKey, "Delay", value));
    EXPECT_EQ(value, 3u);
}

TEST_F(RegistryHive, LinkedFileIsChangedWhereItPoints) {
    const fs::path real = root_ / "dotfiles/settings.reg";
    WriteFile(real.string(), "REGEDIT4\n\n");
    const fs::path link = root_ / "config/Quorvel1980Dax/user.reg";
    fs::create_directories(link.parent_path());
    fs::create_symlink(real, link);
    EXPECT_EQ(File(), real.string());
    ASSERT_EQ(SetDword(kStoreKey, "Delay", 5), ERROR_SUCCESS);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_NE(ReadFile(real.string()).find("\"Delay\"=dword:00000005"), std::string::npos);
}

}  // namespace
