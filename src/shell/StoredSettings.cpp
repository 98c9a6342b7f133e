#include "shell/StoredSettings.h"

#include <stdexcept>

#include "shell/SettingsReading.h"
#include "support/SettingsStore.h"

const std::array<TStoredSettingKey, 7> StoredSettingKeys{{
    {"Connection", "User", &TStoredSettings::User},
    {"Connection", "URL", &TStoredSettings::URL},
    {"Connection", "Delay", &TStoredSettings::Delay},
    {"Connection", "Mins", &TStoredSettings::Mins},
    {"Connection", "Pass", &TStoredSettings::Pass},
    {"Caching", "SavePass", &TStoredSettings::SavePass},
    {"Caching", "DesktopNotify", &TStoredSettings::DesktopNotify},
}};

namespace {

template <typename T>
const TStoredSettingKey& KeyOf(T TStoredSettings::*field) {
    for (const TStoredSettingKey& key : StoredSettingKeys) {
        const auto* held = std::get_if<T TStoredSettings::*>(&key.Field);
        if (held && *held == field) return key;
    }
    throw std::logic_error("a stored setting without a key");
}

}  // namespace

ByteString ReadStoredSetting(TSettingsStore& store, ByteString TStoredSettings::*field) {
    const TStoredSettingKey& key = KeyOf(field);
    const ByteString fallback = TStoredSettings{}.*field;
    return ReadSetting(fallback, [&] { return store.ReadText(key.Section, key.Name, fallback); });
}

int32_t ReadStoredSetting(TSettingsStore& store, int32_t TStoredSettings::*field) {
    const TStoredSettingKey& key = KeyOf(field);
    const int32_t fallback = TStoredSettings{}.*field;
    return ReadSetting(fallback, [&] { return store.ReadNumber(key.Section, key.Name, fallback); });
}

bool ReadStoredSetting(TSettingsStore& store, bool TStoredSettings::*field) {
    const TStoredSettingKey& key = KeyOf(field);
    const bool fallback = TStoredSettings{}.*field;
    return ReadSetting(fallback, [&] { return store.ReadFlag(key.Section, key.Name, fallback); });
}

void WriteStoredSettings(TSettingsStore& store, const TStoredSettings& settings) {
    struct TWrite {
        TSettingsStore& store;
        const TStoredSettings& settings;
        const TStoredSettingKey& key;
        void operator()(ByteString TStoredSettings::*field) const {
            store.WriteText(key.Section, key.Name, settings.*field);
        }
        void operator()(int32_t TStoredSettings::*field) const {
            store.WriteNumber(key.Section, key.Name, settings.*field);
        }
        void operator()(bool TStoredSettings::*field) const {
            store.WriteFlag(key.Section, key.Name, settings.*field);
        }
    };
    for (const TStoredSettingKey& key : StoredSettingKeys)
        std::visit(TWrite{store, settings, key}, key.Field);
}
