#pragma once

#include <cstdint>
#include <functional>
#include <string>

// A per-user hierarchical store with the registry's model and calling conventions: root keys,
// keys opened with an access mask, typed values. Each root key lives in one file in the
// registry editor's export format; HKEY_CURRENT_USER is $XDG_CONFIG_HOME/Quorvel1980Dax/user.reg
// ($HOME/.config when XDG_CONFIG_HOME is unset), the others lie beside it, named after the root
// key. Every change re-reads the file under a lock and replaces it whole through a flushed
// temporary file, so other processes' changes survive and a crash leaves the old file intact.
// A handle names its key by path: a write through a handle whose key has vanished from the file
// brings the key back. The functions may be called from any thread.
namespace registry {

using LONG = int32_t;
using DWORD = uint32_t;
using REGSAM = uint32_t;
using BYTE = uint8_t;

struct TKeyHandle;
using HKEY = TKeyHandle*;

extern HKEY const HKEY_CLASSES_ROOT;
extern HKEY const HKEY_CURRENT_USER;
extern HKEY const HKEY_LOCAL_MACHINE;
extern HKEY const HKEY_USERS;
extern HKEY const HKEY_PERFORMANCE_DATA;
extern HKEY const HKEY_CURRENT_CONFIG;
extern HKEY const HKEY_DYN_DATA;

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_WRITE_FAULT = 29;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_DISK_FULL = 112;
constexpr LONG ERROR_BAD_PATHNAME = 161;
constexpr LONG ERROR_MORE_DATA = 234;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

constexpr REGSAM KEY_QUERY_VALUE = 0x1;
constexpr REGSAM KEY_SET_VALUE = 0x2;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x4;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x8;
constexpr REGSAM KEY_NOTIFY = 0x10;
constexpr REGSAM KEY_CREATE_LINK = 0x20;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_EXECUTE = 0x20019;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// Creates the key (and its missing ancestors) or opens it when it exists. subKey is relative
// to `key` and must not start with a backslash. Creating needs KEY_CREATE_SUB_KEY on `key`.
LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, const char* keyClass, DWORD options,
                     REGSAM access, const void* security, HKEY* result, DWORD* disposition);

// Opens an existing key; a null or empty subKey opens `key` itself again. Asking for a right
// that changes something fails with ERROR_ACCESS_DENIED when the hive is read-only.
LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access, HKEY* result);

// Without `data`, reports the type and size only. With a buffer too small for the data, sets
// *dataSize to the size needed and returns ERROR_MORE_DATA. Needs KEY_QUERY_VALUE.
LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* dataSize);

// Stores the bytes exactly as given, with their type. Needs KEY_SET_VALUE.
LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize);

// Predefined root keys need no closing; closing them succeeds and does nothing.
LONG RegCloseKey(HKEY key);

// The file that holds a root key's keys; "" for a handle that is not a root key.
std::string HiveFilePath(HKEY rootKey);

// A hive is read-only when its file or folder cannot be written, or has its owner's write
// permission bit cleared (which holds even for the superuser).
bool HiveWritable(HKEY rootKey);

// Test seam: called with the temporary file's path once a changed hive has been written and
// flushed, just before it replaces the old file. Returning false abandons the change as an
// interruption would: the old file stays and the call that changed something fails with
// ERROR_WRITE_FAULT. An empty function removes the hook.
using TBeforeReplaceHook = std::function<bool(const std::string& temporaryPath)>;
void SetBeforeReplaceHook(TBeforeReplaceHook hook);

}  // namespace registry
