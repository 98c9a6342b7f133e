#pragma once

class TMainForm;

// How the main window first appears. A start by the user shows it. A start by the desktop
// (the XDG autostart entry, platform/Autostart.h) goes to the tray when there is a tray and the
// password is saved: no window is shown, the poll cycle runs, and the tray icon's double-click,
// a later start of the program or a notification's click brings the window. A start by the
// desktop without a tray (after waiting TrayWaitMs for the desktop's panel, which may come up
// after the programs it starts), or one that must open the Connection dialog, shows the
// window as usual.
void ShowMainFormAtStart(TMainForm* mainForm, bool startedByDesktop, int TrayWaitMs = 5000);
