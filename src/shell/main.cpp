// The program's entry point: the single-instance guard, then the windows (shell/ProgramWindows).
#include <QCoreApplication>
#include <QGuiApplication>

#include "platform/Autostart.h"
#include "shell/Application.h"
#include "shell/FirstShow.h"
#include "shell/MainUnit.h"
#include "shell/ProgramTranslations.h"
#include "shell/ProgramWindows.h"
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
    // Before any window exists: the windows take their texts when they are built.
    const TProgramTranslations translations{QLocale()};
    ApplySkin(DefaultSkin);
    // The installed desktop entry, for the desktop to match windows and notifications to it.
    QGuiApplication::setDesktopFileName(QLatin1String(platform::DesktopEntryId));

    TProgramWindows windows;
    application.SetMainForm(windows.Main);
    guard.ServeForwardRequests([main = windows.Main] { main->BringForward(); });

    ShowMainFormAtStart(windows.Main, startedByDesktop);
    application.exec();
    return 0;
}
