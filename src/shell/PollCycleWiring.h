#pragma once

class THTTPForm;
class TMainForm;
class TConnectionForm;

// Connects the poll cycle's reports to the windows that show them, at start-up, right after the
// poll window has been created: a stored notification goes into the main window's list and
// switches the tray icon to its unread images; a reply's answer replaces the message in the
// view; a connection failure or a refusal is shown modally in the main window's message box,
// and then the Connection dialog opens (with the focus in the URL box after a failure). The
// settings are read from the Connection dialog's fields at every poll and reply. Both windows
// outlive the poll window.
void WirePollCycle(THTTPForm& http, TMainForm& main, TConnectionForm& connection);
