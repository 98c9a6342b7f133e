#pragma once

#include <QString>

namespace platform {

// The name of the program's desktop entry (without ".desktop") and of its AppStream component:
// the installed menu entry, the autostart entry, and what desktop notifications and windows
// name so that the desktop can tell whose they are.
inline constexpr const char* DesktopEntryId = "example.quorvel.Quorvel";

// Starting with the desktop, the XDG way: an entry "example.quorvel.Quorvel.desktop" in the user's autostart
// folder ($XDG_CONFIG_HOME/autostart, by default ~/.config/autostart), which the desktop runs
// at log-in. The entry starts the program with the one argument below, so that the program
// knows it was started by the desktop and not by the user (it then goes straight to the tray).
// An argument, and not an environment variable, because the desktop passes it the same way on
// every desktop and a user can see it in the entry; the program takes no other argument.
inline constexpr const char* AutostartArgument = "--autostart";

// The argument list holds AutostartArgument.
bool StartedByAutostart(int argc, char** argv);

// $XDG_CONFIG_HOME/autostart (or ~/.config/autostart when that is unset or not absolute).
QString AutostartFolder();
// The program's entry in it.
QString AutostartEntryPath();

// The entry exists and is not switched off (Hidden=true or X-GNOME-Autostart-enabled=false).
bool AutostartEnabled();

// The text of the entry that starts that executable. The name alone stands in Exec when the
// executable is the one found on PATH under that name (an installed program); any other place
// (a build folder) is written out in full, quoted as desktop entry files require.
QString AutostartEntryText(const QString& executable);

// Writes the entry for the executable (the running program when empty); false when it could
// not be written. Removes it; true when none is left.
bool WriteAutostartEntry(const QString& executable = QString());
bool RemoveAutostartEntry();

}  // namespace platform
