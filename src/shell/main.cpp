// The program's entry point: the single-instance guard, then the windows in their fixed order.
#include <QCoreApplication>
#include <memory>

#include "exchange/HTTPUnit.h"
#include "shell/AboutUnit.h"
#include "shell/Application.h"
#include "shell/ConnectionUnit.h"
#include "shell/HelpUnit.h"
#include "shell/MainUnit.h"
#include "shell/PollCycleWiring.h"
#include "shell/SingleInstance.h"
#include "shell/Skins.h"

int main(int argc, char** argv) {
    // The guard runs before any window system is needed, so that a second start shows nothing
    // and ends even where it could not open a display.
    TSingleInstanceGuard guard(ApplicationTitle(ExecutablePath(argc > 0 ? argv[0] : nullptr)));
    if (!guard.FirstInstanceGuard()) {
        QCoreApplication core(argc, argv);
        guard.BringPreviousInstanceForward();
        guard.BringPreviousInstanceForward();
        return 0;
    }

    TApplication application(argc, argv);
    ApplySkin(DefaultSkin);

    // Each window exists once for the whole run. The main window comes first: the Connection
    // dialog reads the stored settings through its store, and the poll window, last, reads the
    // dialog's fields from its first tick on. The About and Help windows are there before any
    // menu or F1 can ask for them.
    auto mainForm = std::make_unique<TMainForm>();
    application.SetMainForm(mainForm.get());
    auto aboutForm = std::make_unique<TAboutForm>();
    auto helpForm = std::make_unique<THelpForm>();
    auto connectionForm = std::make_unique<TConnectionForm>();
    auto httpForm = std::make_unique<THTTPForm>();
    WirePollCycle(*httpForm);

    guard.ServeForwardRequests(BringMainFormForward);

    mainForm->show();
    application.exec();

    // Destroyed in reverse order: the poll window first, so that no poll reaches a closed window.
    httpForm.reset();
    connectionForm.reset();
    helpForm.reset();
    aboutForm.reset();
    mainForm.reset();
    return 0;
}
