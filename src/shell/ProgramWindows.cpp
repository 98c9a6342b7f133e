#include "shell/ProgramWindows.h"

#include <QAction>

#include "exchange/HTTPUnit.h"
#include "shell/AboutUnit.h"
#include "shell/ConnectionUnit.h"
#include "shell/HelpUnit.h"
#include "shell/MainUnit.h"
#include "shell/PollCycleWiring.h"
#include "shell/WindowRoles.h"

TProgramWindows::TProgramWindows(bool helpAndAbout) {
    // The main window comes first: the Connection dialog reads the stored settings through its
    // store and disables it while active. The About and Help windows are there before any menu
    // or F1 can ask for them. The poll window comes last: it reads the dialog's fields from its
    // first tick on.
    InstallWindowRoles();
    Main = new TMainForm();
    if (helpAndAbout) {
        About = new TAboutForm();
        Help = new THelpForm();
    }
    Connection = new TConnectionForm(Main->SettingsStore, Main->MenuSavePass->isChecked(), Main);
    // Asked at the key press: the Help window may come and go.
    Connection->ShowHelp = [main = Main](const ByteString& anchor) {
        if (!main->ShowHelp) return false;
        main->ShowHelp(anchor);
        return true;
    };
    HTTP = new THTTPForm();
    WirePollCycle(*HTTP, *Main, *Connection);
}

TProgramWindows::~TProgramWindows() {
    // The poll window first, so that no poll reaches a closed window.
    delete HTTP;
    delete Connection;
    delete Help;
    delete About;
    delete Main;
}
