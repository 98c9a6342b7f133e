#pragma once

#include <cstdint>

#include "base/Text.h"

// The connection settings that every poll and every reply read afresh: the user's name and
// password, the Script URL and the poll interval (Delay seconds, or minutes with Mins).
struct TConnectionSettings {
    ByteString User;
    ByteString Pass;
    ByteString URL;
    int32_t Delay = 5;
    bool Mins = false;

    // No settings at all (no Connection dialog): empty texts and no Delay.
    static TConnectionSettings None() {
        TConnectionSettings none;
        none.Delay = 0;
        return none;
    }
};
