#include "platform/Registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <unordered_set>

#include "platform/RegistryFile.h"

namespace registry {

struct TKeyHandle {
    int root;
    std::string path;  // below the root key; "" is the root key itself
    REGSAM access;
};

namespace {

constexpr int kRootCount = 7;
constexpr const char* kRootNames[kRootCount] = {
    "HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};

TKeyHandle gRoots[kRootCount] = {{0, "", KEY_ALL_ACCESS}, {1, "", KEY_ALL_ACCESS}, {2, "", KEY_ALL_ACCESS},
                                 {3, "", KEY_ALL_ACCESS}, {4, "", KEY_ALL_ACCESS}, {5, "", KEY_ALL_ACCESS},
                                 {6, "", KEY_ALL_ACCESS}};

// Rights that would change the hive (values, sub-keys, links, deletion, security).
constexpr REGSAM kChangingRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | 0x10000 | 0x40000 | 0x80000;

std::mutex gMutex;  // guards gHandles and gHook
std::unordered_set<HKEY> gHandles;
TBeforeReplaceHook gHook;

bool IsRoot(HKEY key) {
    for (const TKeyHandle& root : gRoots)
        if (key == &root) return true;
    return false;
}

bool Resolve(HKEY key, TKeyHandle& out) {
    if (!key) return false;
    if (IsRoot(key)) {
        out = *key;
        return true;
    }
    std::lock_guard lock(gMutex);
    if (!gHandles.count(key)) return false;
    out = *key;
    return true;
}

HKEY NewHandle(int root, const std::string& path, REGSAM access) {
    HKEY handle = new TKeyHandle{root, path, access};
    std::lock_guard lock(gMutex);
    gHandles.insert(handle);
    return handle;
}

LONG JoinPath(const std::string& base, const char* subKey, std::string& out) {
    if (!subKey || !*subKey) {
        out = base;
        return ERROR_SUCCESS;
    }
    std::string sub(subKey);
    if (sub.front() == '\\') return ERROR_BAD_PATHNAME;
    if (sub.back() == '\\') sub.pop_back();
    size_t start = 0;
    while (true) {
        const size_t slash = sub.find('\\', start);
        if (!THive::IsValidKeyName(sub.substr(start, slash - start))) return ERROR_BAD_PATHNAME;
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    out = base.empty() ? sub : base + '\\' + sub;
    return ERROR_SUCCESS;
}

std::string ConfigFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* entry = getpwuid(getuid());
        home = entry ? entry->pw_dir : "/";
    }
    return std::string(home) + "/.config";
}

// A hive file that is a symbolic link is changed where it points, so the link survives.
std::string HiveFile(int root) {
    const std::string file =
        ConfigFolder() + "/Quorvel1980Dax/" + (root == 1 ? std::string("user") : kRootNames[root]) + ".reg";
    struct stat st;
    if (lstat(file.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        std::error_code error;
        const auto target = std::filesystem::canonical(file, error);
        if (!error) return target.string();
    }
    return file;
}

std::string FolderOf(const std::string& file) {
    return std::filesystem::path(file).parent_path().string();
}

bool WritableAt(const std::string& file) {
    const std::string folder = FolderOf(file);
    struct stat st;
    if (stat(folder.c_str(), &st) != 0) return errno == ENOENT;  // made by the first write
    if (!S_ISDIR(st.st_mode) || !(st.st_mode & S_IWUSR) || access(folder.c_str(), W_OK | X_OK) != 0)
        return false;
    if (stat(file.c_str(), &st) != 0) return errno == ENOENT;
    return S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) && access(file.c_str(), R_OK | W_OK) == 0;
}

// Reads the whole file; a missing file reads as empty.
bool ReadWhole(const std::string& file, std::string& text) {
    text.clear();
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT;
    char buffer[8192];
    while (true) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            close(fd);
            return false;
        }
        if (got == 0) break;
        text.append(buffer, static_cast<size_t>(got));
    }
    close(fd);
    return true;
}

// What cannot be read counts as absent: an unreadable file reads as an empty hive.
THive LoadHive(int root) {
    std::string text;
    if (!ReadWhole(HiveFile(root), text)) text.clear();
    return THive::Parse(kRootNames[root], text);
}

LONG ErrorFromErrno(int error) {
    switch (error) {
        case ENOSPC:
        case EDQUOT: return ERROR_DISK_FULL;
        case EACCES:
        case EPERM:
        case EROFS: return ERROR_ACCESS_DENIED;
        default: return ERROR_WRITE_FAULT;
    }
}

bool EnsureFolder(const std::string& folder) {
    std::filesystem::path partial;
    for (const auto& part : std::filesystem::path(folder)) {
        partial /= part;
        if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st;
    return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t put = write(fd, data.data() + done, data.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += static_cast<size_t>(put);
    }
    return true;
}

class TFileLock {
public:
    explicit TFileLock(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0) fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) return;
        while (flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~TFileLock() {
        if (fd_ >= 0) close(fd_);  // closing releases the lock
    }
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Writes the hive to a temporary file beside `file`, flushes it and renames it over `file`.
LONG ReplaceFile(const std::string& file, const std::string& text) {
    const std::string temporary = file + ".new";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return ErrorFromErrno(errno);
    bool ok = fchmod(fd, 0600) == 0 && WriteAll(fd, text) && fsync(fd) == 0;
    int error = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        unlink(temporary.c_str());
        return ErrorFromErrno(error);
    }
    TBeforeReplaceHook hook;
    {
        std::lock_guard lock(gMutex);
        hook = gHook;
    }
    if (hook && !hook(temporary)) {
        unlink(temporary.c_str());
        return ERROR_WRITE_FAULT;
    }
    if (rename(temporary.c_str(), file.c_str()) != 0) {
        error = errno;
        unlink(temporary.c_str());
        return ErrorFromErrno(error);
    }
    const int folder = open(FolderOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    return ERROR_SUCCESS;
}

// Re-reads the hive under the writers' lock, lets `change` alter it and, when it reports a
// change, replaces the file. `change` returns the result of the call.
LONG ModifyHive(int root, const std::function<LONG(THive&, bool&)>& change) {
    const std::string file = HiveFile(root);
    if (!WritableAt(file)) return ERROR_ACCESS_DENIED;
    if (!EnsureFolder(FolderOf(file))) return ErrorFromErrno(errno);
    TFileLock lock(file + ".lock");
    if (!lock.Held()) return ERROR_ACCESS_DENIED;
    std::string text;
    if (!ReadWhole(file, text)) return ERROR_ACCESS_DENIED;  // rewriting it would lose what it holds
    THive hive = THive::Parse(kRootNames[root], text);
    bool changed = false;
    const LONG result = change(hive, changed);
    if (result != ERROR_SUCCESS || !changed) return result;
    return ReplaceFile(file, hive.Serialize());
}

}  // namespace

HKEY const HKEY_CLASSES_ROOT = &gRoots[0];
HKEY const HKEY_CURRENT_USER = &gRoots[1];
HKEY const HKEY_LOCAL_MACHINE = &gRoots[2];
HKEY const HKEY_USERS = &gRoots[3];
HKEY const HKEY_PERFORMANCE_DATA = &gRoots[4];
HKEY const HKEY_CURRENT_CONFIG = &gRoots[5];
HKEY const HKEY_DYN_DATA = &gRoots[6];

LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD, const char*, DWORD, REGSAM access, const void*,
                     HKEY* result, DWORD* disposition) {
    TKeyHandle parent;
    if (!Resolve(key, parent)) return ERROR_INVALID_HANDLE;
    if (!result) return ERROR_INVALID_PARAMETER;
    std::string path;
    if (const LONG joined = JoinPath(parent.path, subKey, path); joined != ERROR_SUCCESS) return joined;

    DWORD how = REG_OPENED_EXISTING_KEY;
    if (LoadHive(parent.root).HasKey(path)) {
        if ((access & kChangingRights) && !WritableAt(HiveFile(parent.root))) return ERROR_ACCESS_DENIED;
    } else {
        if (!(parent.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
        const LONG made = ModifyHive(parent.root, [&](THive& hive, bool& changed) {
            if (!hive.HasKey(path)) {
                hive.CreateKey(path);
                changed = true;
                how = REG_CREATED_NEW_KEY;
            }
            return ERROR_SUCCESS;
        });
        if (made != ERROR_SUCCESS) return made;
    }
    *result = NewHandle(parent.root, path, access);
    if (disposition) *disposition = how;
    return ERROR_SUCCESS;
}

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD, REGSAM access, HKEY* result) {
    TKeyHandle parent;
    if (!Resolve(key, parent)) return ERROR_INVALID_HANDLE;
    if (!result) return ERROR_INVALID_PARAMETER;
    std::string path;
    if (const LONG joined = JoinPath(parent.path, subKey, path); joined != ERROR_SUCCESS) return joined;
    if (!LoadHive(parent.root).HasKey(path)) return ERROR_FILE_NOT_FOUND;
    if ((access & kChangingRights) && !WritableAt(HiveFile(parent.root))) return ERROR_ACCESS_DENIED;
    *result = NewHandle(parent.root, path, access);
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD*, DWORD* type, BYTE* data, DWORD* dataSize) {
    TKeyHandle handle;
    if (!Resolve(key, handle)) return ERROR_INVALID_HANDLE;
    if (!(handle.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    if (data && !dataSize) return ERROR_INVALID_PARAMETER;
    DWORD storedType = REG_NONE;
    ByteString stored;
    if (!LoadHive(handle.root).FindValue(handle.path, valueName ? valueName : "", storedType, stored))
        return ERROR_FILE_NOT_FOUND;
    if (type) *type = storedType;
    const DWORD size = static_cast<DWORD>(stored.size());
    if (data) {
        if (*dataSize < size) {
            *dataSize = size;
            return ERROR_MORE_DATA;
        }
        std::memcpy(data, stored.data(), size);
    }
    if (dataSize) *dataSize = size;
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, const char* valueName, DWORD, DWORD type, const BYTE* data, DWORD dataSize) {
    TKeyHandle handle;
    if (!Resolve(key, handle)) return ERROR_INVALID_HANDLE;
    if (!(handle.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    const ByteString name = valueName ? valueName : "";
    if (!THive::IsValidValueName(name) || (!data && dataSize > 0)) return ERROR_INVALID_PARAMETER;
    const ByteString bytes = data ? ByteString(reinterpret_cast<const char*>(data), dataSize) : ByteString();
    return ModifyHive(handle.root, [&](THive& hive, bool& changed) {
        DWORD oldType = REG_NONE;
        ByteString old;
        changed = !hive.HasKey(handle.path) || !hive.FindValue(handle.path, name, oldType, old) ||
                  oldType != type || old != bytes;
        if (changed) hive.SetValue(handle.path, name, type, bytes);
        return ERROR_SUCCESS;
    });
}

LONG RegCloseKey(HKEY key) {
    if (IsRoot(key)) return ERROR_SUCCESS;
    {
        std::lock_guard lock(gMutex);
        if (!key || !gHandles.erase(key)) return ERROR_INVALID_HANDLE;
    }
    delete key;
    return ERROR_SUCCESS;
}

std::string HiveFilePath(HKEY rootKey) {
    return IsRoot(rootKey) ? HiveFile(rootKey->root) : std::string();
}

bool HiveWritable(HKEY rootKey) {
    return IsRoot(rootKey) && WritableAt(HiveFile(rootKey->root));
}

void SetBeforeReplaceHook(TBeforeReplaceHook hook) {
    std::lock_guard lock(gMutex);
    gHook = std::move(hook);
}

}  // namespace registry
