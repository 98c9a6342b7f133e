#pragma once

class QWidget;

// On Wayland no window can place itself above another: a dialog stays above its main window,
// and comes forward with it, only when the compositor knows that it belongs to that window.
// From this call on, every dialog of the program that shows without a window of its own to
// belong to gets the main window as its transient parent there. Elsewhere nothing changes.
void KeepDialogsAboveMainWindow(QWidget* mainWindow);
