#pragma once

#include <QString>
#include <utility>

#include "shell/Application.h"
#include "support/SettingsStore.h"

// Runs `read`, a read of one stored setting, and gives its value; when the stored value cannot
// be read (it is of the wrong kind), gives `fallback` instead and has the error shown by the
// program's general error handler once the event loop runs. A damaged settings file thus never
// stops the start: the user learns why, and the program goes on with the defaults.
template <typename T, typename TRead>
T ReadSetting(T fallback, TRead&& read) {
    try {
        return std::forward<TRead>(read)();
    } catch (const ERegistryException& error) {
        TApplication::HandleExceptionLater(QString::fromLocal8Bit(error.what()));
        return fallback;
    }
}
