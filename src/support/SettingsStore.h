#pragma once

#include <QObject>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <stdexcept>

#include "base/Text.h"

// Raised by the settings store when a value has an unusable type or cannot be read or written.
class ERegistryException : public std::runtime_error {
public:
    explicit ERegistryException(const ByteString& message);
    ByteString Message() const { return what(); }
};

enum TSettingsPathType { ptIniFile, ptRegistry };

enum TRegKey {
    hkeyClassesRoot,
    hkeyCurrentUser,
    hkeyLocalMachine,
    hkeyUsers,
    hkeyPerformanceData,
    hkeyCurrentConfig,
    hkeyDynData
};

enum TRegAccessRight {
    keyQueryValue,
    keySetValue,
    keyCreateSubKey,
    keyEnumerateSubKeys,
    keyNotify,
    keyCreateLink,
    keyRead,
    keyWrite,
    keyExecute,
    keyAllAccess
};

// A set of access rights; the mask used to open keys is the OR of its members' rights.
class TRegAccess {
public:
    TRegAccess() = default;
    TRegAccess(std::initializer_list<TRegAccessRight> rights);
    bool Contains(TRegAccessRight right) const { return (members_ >> right) & 1u; }
    TRegAccess& Include(TRegAccessRight right);
    TRegAccess& Exclude(TRegAccessRight right);
    uint32_t Mask() const;
    bool operator==(const TRegAccess& other) const = default;

private:
    uint32_t members_ = 0;  // one bit per TRegAccessRight
};

struct TRegistryContext;

// Typed settings kept in the current user's registry, organised like an INI file: a section is a
// key below the store's key (or below the root key when it starts with a backslash), a value
// name is a value inside it. Used on the user-interface thread only.
class TSettingsStore : public QObject {
    Q_OBJECT

public:
    explicit TSettingsStore(QObject* owner = nullptr);
    ~TSettingsStore() override;

    // Published settings; assigning a different value makes the next operation reopen the store.
    const ByteString& Path() const { return path_; }
    void SetPath(const ByteString& value);
    TSettingsPathType PathType() const { return pathType_; }
    void SetPathType(TSettingsPathType value);
    TRegKey RegKey() const { return regKey_; }
    void SetRegKey(TRegKey value);
    const TRegAccess& RegAccess() const { return regAccess_; }
    void SetRegAccess(const TRegAccess& value);

    ByteString ReadText(const ByteString& section, const ByteString& ident, const ByteString& defaultValue);
    void WriteText(const ByteString& section, const ByteString& ident, const ByteString& value);
    int32_t ReadNumber(const ByteString& section, const ByteString& ident, int32_t defaultValue);
    void WriteNumber(const ByteString& section, const ByteString& ident, int32_t value);
    bool ReadFlag(const ByteString& section, const ByteString& ident, bool defaultValue);
    void WriteFlag(const ByteString& section, const ByteString& ident, bool value);

private:
    void EnsureStorage();

    ByteString path_;
    TSettingsPathType pathType_ = ptIniFile;
    TRegKey regKey_ = hkeyCurrentUser;
    TRegAccess regAccess_{keyAllAccess};
    bool stale_ = true;
    std::unique_ptr<TRegistryContext> context_;
};
