#include "support/SettingsStore.h"

#include <QCoreApplication>
#include <vector>

#include "platform/Registry.h"

using namespace registry;

ERegistryException::ERegistryException(const ByteString& message) : std::runtime_error(message) {}

namespace {

ByteString Format(const char* pattern, const ByteString& name) {
    ByteString message = pattern;
    const size_t at = message.find("%s");
    if (at != ByteString::npos) message.replace(at, 2, name);
    return message;
}

// The message box shows the text in the user's language.
[[noreturn]] void Raise(const char* pattern, const ByteString& name) {
    throw ERegistryException(
        Format(QCoreApplication::translate("TSettingsStore", pattern).toStdString().c_str(), name));
}

constexpr const char* kInvalidType = QT_TRANSLATE_NOOP("TSettingsStore", "Invalid data type for '%s'");
constexpr const char* kGetFailed = QT_TRANSLATE_NOOP("TSettingsStore", "Failed to get data for '%s'");
constexpr const char* kCreateFailed = QT_TRANSLATE_NOOP("TSettingsStore", "Failed to create key %s");
constexpr const char* kSetFailed = QT_TRANSLATE_NOOP("TSettingsStore", "Failed to set data for '%s'");

constexpr REGSAM kRights[] = {KEY_QUERY_VALUE, KEY_SET_VALUE,   KEY_CREATE_SUB_KEY, KEY_ENUMERATE_SUB_KEYS,
                              KEY_NOTIFY,      KEY_CREATE_LINK, KEY_READ,           KEY_WRITE,
                              KEY_EXECUTE,     KEY_ALL_ACCESS};

HKEY RootKeyOf(TRegKey key) {
    switch (key) {
        case hkeyClassesRoot: return HKEY_CLASSES_ROOT;
        case hkeyCurrentUser: return HKEY_CURRENT_USER;
        case hkeyLocalMachine: return HKEY_LOCAL_MACHINE;
        case hkeyUsers: return HKEY_USERS;
        case hkeyPerformanceData: return HKEY_PERFORMANCE_DATA;
        case hkeyCurrentConfig: return HKEY_CURRENT_CONFIG;
        case hkeyDynData: return HKEY_DYN_DATA;
    }
    return HKEY_CURRENT_USER;
}

bool HasLeadingBackslash(const ByteString& section) {
    return !section.empty() && section.front() == '\\';
}

ByteString WithoutLeadingBackslash(const ByteString& section) {
    return HasLeadingBackslash(section) ? section.substr(1) : section;
}

}  // namespace

struct TRegistryContext {
    TRegistryContext(HKEY rootKey, REGSAM mask) : root(rootKey), current(rootKey), access(mask) {}
    ~TRegistryContext() {
        if (current != root) RegCloseKey(current);
    }
    TRegistryContext(const TRegistryContext&) = delete;
    TRegistryContext& operator=(const TRegistryContext&) = delete;

    // Where a section lives: below the root key when it starts with a backslash, else below
    // the current key.
    HKEY BaseOf(const ByteString& section) const { return HasLeadingBackslash(section) ? root : current; }

    HKEY root;
    HKEY current;
    REGSAM access;
};

namespace {

// Makes a section key the context's current key for the length of one operation, and puts the
// previous one back (closing the section's handle) however the operation ends.
class TSectionScope {
public:
    TSectionScope(TRegistryContext& context, const ByteString& section) : context_(context) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(context.BaseOf(section), WithoutLeadingBackslash(section).c_str(), 0,
                          context.access, &key) != ERROR_SUCCESS)
            return;
        previous_ = context.current;
        context.current = key;
        open_ = true;
    }
    ~TSectionScope() {
        if (!open_) return;
        RegCloseKey(context_.current);
        context_.current = previous_;
    }
    TSectionScope(const TSectionScope&) = delete;
    TSectionScope& operator=(const TSectionScope&) = delete;

    bool Open() const { return open_; }
    HKEY Key() const { return context_.current; }

private:
    TRegistryContext& context_;
    HKEY previous_ = nullptr;
    bool open_ = false;
};

// Reads a value already known to exist; an empty result when it vanished meanwhile.
bool QueryBytes(HKEY key, const ByteString& ident, DWORD& type, ByteString& data) {
    DWORD size = 0;
    if (RegQueryValueExA(key, ident.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    while (true) {
        data.assign(size, '\0');
        DWORD got = size;
        const LONG result =
            RegQueryValueExA(key, ident.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got);
        if (result == ERROR_MORE_DATA) {
            size = got;
            continue;
        }
        if (result != ERROR_SUCCESS) return false;
        data.resize(got);
        return true;
    }
}

// The text part of a REG_SZ or REG_EXPAND_SZ value as ReadText gives it.
ByteString TextOf(const ByteString& data) {
    return data.substr(0, data.find('\0'));
}

// Creates the section key with full access whatever the store's mask, and lets go of it again.
void CreateSection(TRegistryContext& context, const ByteString& section) {
    HKEY created = nullptr;
    if (RegCreateKeyExA(context.BaseOf(section), WithoutLeadingBackslash(section).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &created, nullptr) != ERROR_SUCCESS)
        Raise(kCreateFailed, section);
    RegCloseKey(created);
}

void SetText(HKEY key, const ByteString& ident, const ByteString& value) {
    const ByteString data = value + '\0';
    if (RegSetValueExA(key, ident.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(data.size())) != ERROR_SUCCESS)
        Raise(kSetFailed, ident);
}

void SetNumber(HKEY key, const ByteString& ident, int32_t value) {
    const uint32_t bits = static_cast<uint32_t>(value);
    const BYTE data[4] = {static_cast<BYTE>(bits), static_cast<BYTE>(bits >> 8),
                          static_cast<BYTE>(bits >> 16), static_cast<BYTE>(bits >> 24)};
    if (RegSetValueExA(key, ident.c_str(), 0, REG_DWORD, data, 4) != ERROR_SUCCESS) Raise(kSetFailed, ident);
}

}  // namespace

TRegAccess::TRegAccess(std::initializer_list<TRegAccessRight> rights) {
    for (TRegAccessRight right : rights) Include(right);
}

TRegAccess& TRegAccess::Include(TRegAccessRight right) {
    members_ |= 1u << right;
    return *this;
}

TRegAccess& TRegAccess::Exclude(TRegAccessRight right) {
    members_ &= ~(1u << right);
    return *this;
}

uint32_t TRegAccess::Mask() const {
    uint32_t mask = 0;
    for (int right = keyQueryValue; right <= keyAllAccess; ++right)
        if (Contains(static_cast<TRegAccessRight>(right))) mask |= kRights[right];
    return mask;
}

TSettingsStore::TSettingsStore(QObject* owner) : QObject(owner) {}

TSettingsStore::~TSettingsStore() = default;

void TSettingsStore::SetPath(const ByteString& value) {
    if (value == path_) return;
    path_ = value;
    stale_ = true;
}

void TSettingsStore::SetPathType(TSettingsPathType value) {
    if (value == pathType_) return;
    pathType_ = value;
    stale_ = true;
}

void TSettingsStore::SetRegKey(TRegKey value) {
    if (value == regKey_) return;
    regKey_ = value;
    stale_ = true;
}

void TSettingsStore::SetRegAccess(const TRegAccess& value) {
    if (value == regAccess_) return;
    regAccess_ = value;
    stale_ = true;
}

void TSettingsStore::EnsureStorage() {
    if (pathType_ != ptRegistry) throw std::logic_error("Only registry settings are available");
    if (!stale_) return;
    context_.reset();
    const REGSAM mask = regAccess_.Mask();
    context_ = std::make_unique<TRegistryContext>(RootKeyOf(regKey_), mask);
    // When the store's key can be neither opened nor created, sections are looked up directly
    // below the root key.
    HKEY key = nullptr;
    if (RegCreateKeyExA(context_->root, WithoutLeadingBackslash(path_).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, mask, nullptr, &key, nullptr) == ERROR_SUCCESS)
        context_->current = key;
    stale_ = false;
}

ByteString TSettingsStore::ReadText(const ByteString& section, const ByteString& ident,
                                    const ByteString& defaultValue) {
    EnsureStorage();
    TSectionScope scope(*context_, section);
    if (!scope.Open()) return defaultValue;
    DWORD type = REG_NONE;
    ByteString data;
    if (!QueryBytes(scope.Key(), ident, type, data)) return defaultValue;
    if (data.empty()) return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ) Raise(kInvalidType, ident);
    return TextOf(data);
}

void TSettingsStore::WriteText(const ByteString& section, const ByteString& ident, const ByteString& value) {
    EnsureStorage();
    CreateSection(*context_, section);
    TSectionScope scope(*context_, section);
    if (!scope.Open()) return;
    SetText(scope.Key(), ident, value);
}

int32_t TSettingsStore::ReadNumber(const ByteString& section, const ByteString& ident, int32_t defaultValue) {
    EnsureStorage();
    TSectionScope scope(*context_, section);
    if (!scope.Open()) return defaultValue;
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(scope.Key(), ident.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return defaultValue;
    if (type == REG_SZ) {
        ByteString data;
        if (!QueryBytes(scope.Key(), ident, type, data)) return defaultValue;
        int32_t value = 0;
        return IsIntegerText(TextOf(data), value) ? value : defaultValue;
    }
    BYTE data[4] = {0, 0, 0, 0};  // a shorter value reads as if padded with zero bytes
    size = sizeof data;
    if (RegQueryValueExA(scope.Key(), ident.c_str(), nullptr, &type, data, &size) != ERROR_SUCCESS)
        Raise(kGetFailed, ident);
    if (type != REG_DWORD) Raise(kInvalidType, ident);
    return static_cast<int32_t>(static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                                static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24);
}

void TSettingsStore::WriteNumber(const ByteString& section, const ByteString& ident, int32_t value) {
    EnsureStorage();
    CreateSection(*context_, section);
    TSectionScope scope(*context_, section);
    if (!scope.Open()) return;
    DWORD type = REG_NONE;
    if (RegQueryValueExA(scope.Key(), ident.c_str(), nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
        type == REG_SZ)
        SetText(scope.Key(), ident, std::to_string(value));
    else
        SetNumber(scope.Key(), ident, value);
}

bool TSettingsStore::ReadFlag(const ByteString& section, const ByteString& ident, bool defaultValue) {
    return ReadNumber(section, ident, defaultValue ? 1 : 0) != 0;
}

void TSettingsStore::WriteFlag(const ByteString& section, const ByteString& ident, bool value) {
    WriteText(section, ident, value ? "1" : "0");
}
