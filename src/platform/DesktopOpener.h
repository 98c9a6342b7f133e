#pragma once

#include <QString>

namespace platform {

// Hands an address to the desktop's default opener (the user's browser for a web address, the
// mail program for a mailto: one), as the About window's link does. True when the desktop took it.
bool OpenWithDesktop(const QString& address);

}  // namespace platform
