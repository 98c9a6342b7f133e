#pragma once

#include <QIcon>
#include <QImage>
#include <QPoint>
#include <QString>
#include <vector>

#include "platform/NotificationArea.h"

namespace testing_support {

// A notification area the test drives by hand: a tray host that can come and go or refuse,
// the program's minimised and taskbar states as plain flags, and a record of every image sent.
class FakeNotificationArea : public TNotificationArea {
public:
    // The host's behaviour, set by the test.
    bool HostRunning = true;
    bool RefuseAdd = false;
    bool RefuseDelete = false;
    QPoint Cursor{10, 10};

    // What the tray icon did.
    int Adds = 0;
    int Modifies = 0;
    int Deletes = 0;
    int Foregrounds = 0;
    bool Added = false;
    bool Minimized = false;
    bool Hidden = false;
    bool Active = false;  // one of the program's windows has the focus
    QString ShownHint;
    std::vector<QImage> Sent;  // the image of every successful add and modify, in order

    QImage Shown() const { return Sent.empty() ? QImage() : Sent.back(); }

    bool TrayAvailable() const override { return HostRunning; }
    bool AddIcon(const QIcon& Icon, const QString& Hint) override;
    bool ModifyIcon(const QIcon& Icon, const QString& Hint) override;
    bool DeleteIcon() override;
    bool IconAdded() const override { return Added; }
    bool ApplicationMinimized() const override { return Minimized; }
    bool ApplicationActive() const override { return Active && !Minimized && !Hidden; }
    void MinimizeApplication() override { Minimized = true; }
    void RestoreApplication() override { Minimized = false; }
    bool TaskbarEntryHidden() const override { return Hidden; }
    void HideTaskbarEntry() override { Hidden = true; }
    void ShowTaskbarEntry() override { Hidden = false; }
    void BringToForeground() override { ++Foregrounds; }
    QPoint CursorPos() const override { return Cursor; }

    // The desktop's side.
    void Mouse(TTrayMouseMessage Message);
    void Activate();   // a host without a double-click reports a click
    void StartHost();  // a tray host appears ("TaskbarCreated")
    void StopHost();   // the tray host goes away with the icon
    void UserMinimizes();
};

// The pixels of an icon as the tray shows it at 16 x 16.
QImage IconImage(const QIcon& Icon);

}  // namespace testing_support
