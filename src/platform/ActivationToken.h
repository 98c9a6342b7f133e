#pragma once

#include <QString>

namespace platform {

// The activation token a start of the program hands on to the instance that runs already, so
// that the compositor lets that one's window take the focus (Wayland's xdg-activation). The one
// the desktop gave this start in XDG_ACTIVATION_TOKEN comes first; without it, one is asked for
// from the compositor of WAYLAND_DISPLAY, under the desktop entry's name. Empty without either,
// or when the compositor offers no activation or does not answer within timeoutMs.
QString ActivationTokenForAnotherInstance(const QString& appId, int timeoutMs = 1000);

// Asks the compositor of WAYLAND_DISPLAY for a token; empty as above.
QString RequestActivationToken(const QString& appId, int timeoutMs = 1000);

// A token is an opaque word: printable ASCII without blanks, at most 255 characters. Anything else
// is not passed on.
bool IsUsableActivationToken(const QString& token);

}  // namespace platform
