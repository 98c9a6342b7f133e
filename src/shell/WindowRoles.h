#pragma once

// Gives the program's windows the roles screen readers announce: the main window is a frame; the
// Connection, About and Help windows are dialogs. They are plain widgets with a frame of their
// own, which Qt would otherwise present as mere containers ("filler"). Call before the windows
// are created; installing twice does nothing more.
void InstallWindowRoles();
