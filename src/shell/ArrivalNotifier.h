#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "platform/DesktopNotifications.h"

class TNotification;

// Decides when a message that arrived becomes a desktop notification, and what it says.
//
// A message counts when it arrives while the main window is not the active window and the
// "Desktop Notifications" item is on. The poll cycle fetches a waiting batch one answer after
// the other, so arrivals are gathered into a burst that ends once none has come for QuietMs
// (or LongestMs after its first message): one message gives a notification with its Title as
// summary and its Header as body; a burst gives one that says how many arrived and lists their
// titles. The default action of either opens the newest message of it. A burst while the
// previous notification is still on show replaces that one and counts its messages along.
// Coming to the main window withdraws the notification on show.
class TArrivalNotifier : public QObject {
    Q_OBJECT
public:
    explicit TArrivalNotifier(QObject* parent = nullptr);

    TDesktopNotifications* Service;  // owned
    bool Enabled = true;
    int QuietMs = 800;
    int LongestMs = 5000;
    // The main window is the active window (then nothing is announced).
    std::function<bool()> WindowActive;
    // Brings the main window forward with that message opened (and so marked read).
    std::function<void(TNotification*)> OpenMessage;

    // The poll cycle stored a message and the main window listed it.
    void MessageArrived(TNotification* n);
    // The main window became the active window.
    void WindowActivated();
    // Sends a burst that is being gathered at once (tests; program end).
    void Flush();

    // What the notification for these messages (newest first) says.
    static TDesktopNotice NoticeFor(const std::vector<TNotification*>& newestFirst);

    int NoticesSent() const { return sent_; }
    uint32_t NotificationOnShow() const { return onShow_; }

private:
    bool Active() const { return WindowActive && WindowActive(); }
    void Invoked(uint32_t id, const QString& action);
    void Closed(uint32_t id);

    QTimer quiet_;
    QElapsedTimer burstAge_;
    std::vector<TNotification*> burst_;      // arrival order
    std::vector<TNotification*> announced_;  // in the notification on show, newest first
    uint32_t onShow_ = 0;
    std::map<uint32_t, TNotification*> opens_;  // notification id -> the message it opens
    int sent_ = 0;
};
