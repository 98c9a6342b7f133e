// The program's entry point: the single-instance guard, then the windows in their fixed order.
#include <QCoreApplication>
#include <QGuiApplication>
#include <memory>

#include "exchange/HTTPUnit.h"
#include "platform/Autostart.h"
#include "shell/AboutUnit.h"
#include "shell/Application.h"
#include "shell/ConnectionUnit.h"
#include "shell/DesktopStart.h"
#include "shell/HelpUnit.h"
#include "shell/MainUnit.h"
#include "shell/PollCycleWiring.h"
#include "shell/SingleInstance.h"
#include "shell/Skins.h"

int main(int argc, char** argv) {
    // The program takes no command line, except the one argument of its XDG autostart entry
    // ("--autostart", see platform/Autostart.h and quorvel(1)): a start by the desktop goes to
    // the tray and does not bring a running instance forward.
    const bool startedByDesktop = platform::StartedByAutostart(argc, argv);
    // The guard runs before any window system is needed, so that a second start shows nothing
    // and ends even where it could not open a display.
    TSingleInstanceGuard guard(ApplicationTitle(ExecutablePath(argc > 0 ? argv[0] : nullptr)));
    if (!guard.FirstInstanceGuard()) {
        if (startedByDesktop) return 0;
        QCoreApplication core(argc, argv);
        guard.BringPreviousInstanceForward();
        guard.BringPreviousInstanceForward();
        return 0;
    }

    TApplication application(argc, argv);
    ApplySkin(DefaultSkin);
    // The installed desktop entry, for the desktop to match windows and notifications to it.
    QGuiApplication::setDesktopFileName(QLatin1String(platform::DesktopEntryId));

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

    ShowMainFormAtStart(mainForm.get(), startedByDesktop);
    application.exec();

    // Destroyed in reverse order: the poll window first, so that no poll reaches a closed window.
    httpForm.reset();
    connectionForm.reset();
    helpForm.reset();
    aboutForm.reset();
    mainForm.reset();
    return 0;
}
