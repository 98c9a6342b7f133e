#include "exchange/IntervalTimer.h"

TIntervalTimer::TIntervalTimer(QObject* parent, int interval, bool enabled)
    : QObject(parent), enabled_(enabled), interval_(interval) {
    timer_.setTimerType(Qt::CoarseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (OnTimer) OnTimer(this);
    });
    Restart();
}

void TIntervalTimer::SetEnabled(bool enabled) {
    enabled_ = enabled;
    Restart();
}

void TIntervalTimer::SetInterval(int interval) {
    interval_ = interval;
    Restart();
}

void TIntervalTimer::Restart() {
    timer_.stop();
    if (enabled_ && interval_ > 0) timer_.start(interval_);
}
