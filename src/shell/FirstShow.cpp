#include "shell/FirstShow.h"

#include <QAction>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <memory>

#include "shell/MainUnit.h"
#include "shell/SingleInstance.h"
#include "support/TrayIcon.h"

namespace {

// How long the tray has to take the icon of a program that starts in it.
constexpr int IconCheckMs = 3000;

// The window was never shown: the ways back from the tray must show it themselves.
void StayInTray(TMainForm* mainForm) {
    TTrayIcon* tray = mainForm->TrayIcon;
    QPointer<TMainForm> form(mainForm);
    // A double-click on the icon: the tray icon brings back the windows it put away, and there
    // are none yet.
    tray->OnRestoreApp = [form, restored = tray->OnRestoreApp](TTrayIcon* sender) {
        if (restored) restored(sender);
        if (form && !form->isVisible()) BringWindowForward(form);
    };
    // The tray goes away: the program must not be left without a window.
    TNotificationArea& area = tray->Area();
    area.OnTaskbarLost = [form, lost = area.OnTaskbarLost] {
        if (lost) lost();
        if (form && !form->isVisible()) form->show();
    };
    // Nor when the tray did not take the icon after all.
    QTimer::singleShot(IconCheckMs, mainForm, [form] {
        if (form && !form->isVisible() && !form->TrayIcon->Area().IconAdded()) form->show();
    });
}

}  // namespace

void ShowMainFormAtStart(TMainForm* mainForm, bool startedByDesktop, int TrayWaitMs) {
    if (!startedByDesktop || !mainForm->MenuSavePass->isChecked()) {
        mainForm->show();
        return;
    }
    if (mainForm->TrayIcon->Area().TrayAvailable()) {
        StayInTray(mainForm);
        return;
    }
    auto* wait = new QTimer(mainForm);
    auto age = std::make_shared<QElapsedTimer>();
    age->start();
    wait->setInterval(250);
    QObject::connect(wait, &QTimer::timeout, mainForm, [mainForm, wait, age, TrayWaitMs] {
        const bool tray = mainForm->TrayIcon->Area().TrayAvailable();
        if (!tray && age->elapsed() < TrayWaitMs) return;
        wait->stop();
        wait->deleteLater();
        if (tray) {
            // The icon goes in with the tray watch of the notification area.
            StayInTray(mainForm);
        } else if (!mainForm->isVisible()) {
            mainForm->show();
        }
    });
    wait->start();
}
