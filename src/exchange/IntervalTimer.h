#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

// A message-driven interval timer of the user-interface thread. Disabling and enabling it again,
// or changing its interval, restarts the countdown; an interval of 0 or below stops it, whatever
// Enabled says, until a positive interval is set.
class TIntervalTimer : public QObject {
    Q_OBJECT
public:
    explicit TIntervalTimer(QObject* parent = nullptr, int interval = 1000, bool enabled = true);

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    int Interval() const { return interval_; }
    void SetInterval(int interval);
    bool Running() const { return timer_.isActive(); }  // a tick is pending

    std::function<void(QObject* Sender)> OnTimer;

private:
    void Restart();

    QTimer timer_;
    bool enabled_;
    int interval_;
};
