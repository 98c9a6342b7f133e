#pragma once

#include <array>
#include <cstdint>
#include <variant>

#include "base/Text.h"

class TSettingsStore;

// The settings kept in the settings store from one run to the next, each with its default: the
// value a run starts with when nothing is stored.
struct TStoredSettings {
    ByteString User;
    ByteString URL;
    int32_t Delay = 5;
    bool Mins = false;
    ByteString Pass;
    bool SavePass = false;      // the check mark of "Save Password"
    bool DesktopNotify = true;  // "Desktop Notifications": on in settings files that predate it
};

// Where one of them is stored. The kind of value (text, number or flag) is the type of its field.
struct TStoredSettingKey {
    const char* Section;
    const char* Name;
    std::variant<ByteString TStoredSettings::*, int32_t TStoredSettings::*, bool TStoredSettings::*> Field;
};

// Every stored setting, in the order in which the main window writes them when it closes.
extern const std::array<TStoredSettingKey, 7> StoredSettingKeys;

// The stored value of one setting, read as its key says. A value that cannot be read (one of the
// wrong kind) gives the default instead, and the error is shown once the event loop runs.
ByteString ReadStoredSetting(TSettingsStore& store, ByteString TStoredSettings::*field);
int32_t ReadStoredSetting(TSettingsStore& store, int32_t TStoredSettings::*field);
bool ReadStoredSetting(TSettingsStore& store, bool TStoredSettings::*field);

// Writes every setting, in the order of StoredSettingKeys.
void WriteStoredSettings(TSettingsStore& store, const TStoredSettings& settings);
