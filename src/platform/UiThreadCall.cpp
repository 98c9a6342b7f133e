#include "platform/UiThreadCall.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <condition_variable>

namespace platform {

namespace {

const QEvent::Type ServiceEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

}  // namespace

struct TUiThreadCallWindow::TCall {
    std::function<void()> Function;
    std::mutex Mutex;
    std::condition_variable Done;
    bool Finished = false;

    void Finish() {
        std::lock_guard lock(Mutex);
        Finished = true;
        Done.notify_all();
    }
};

// Created on the user-interface thread (workers are created there).
TUiThreadCallWindow::TUiThreadCallWindow() : uiThread_(std::this_thread::get_id()) {
    if (QCoreApplication* application = QCoreApplication::instance()) moveToThread(application->thread());
}

TUiThreadCallWindow::~TUiThreadCallWindow() {
    // Calls that never ran release their waiters.
    std::deque<std::shared_ptr<TCall>> left;
    {
        std::lock_guard lock(mutex_);
        left.swap(pending_);
    }
    for (const auto& call : left) call->Finish();
}

void TUiThreadCallWindow::Enqueue(const std::shared_ptr<TCall>& call) {
    {
        std::lock_guard lock(mutex_);
        pending_.push_back(call);
    }
    QCoreApplication::postEvent(this, new QEvent(ServiceEvent));
}

bool TUiThreadCallWindow::event(QEvent* event) {
    if (event->type() != ServiceEvent) return QObject::event(event);
    ServicePending();
    return true;
}

void TUiThreadCallWindow::ServicePending() {
    for (;;) {
        std::shared_ptr<TCall> call;
        {
            std::lock_guard lock(mutex_);
            if (pending_.empty()) return;
            call = std::move(pending_.front());
            pending_.pop_front();
        }
        // A call may run a nested loop, in which the calls queued behind it are serviced.
        if (call->Function) call->Function();
        call->Function = nullptr;
        call->Finish();
    }
}

void TUiThreadCallWindow::Send(std::function<void()> call) {
    if (std::this_thread::get_id() == uiThread_) {
        call();
        return;
    }
    auto record = std::make_shared<TCall>();
    record->Function = std::move(call);
    Enqueue(record);
    std::unique_lock lock(record->Mutex);
    record->Done.wait(lock, [&] { return record->Finished; });
}

void TUiThreadCallWindow::Post(std::function<void()> call) {
    auto record = std::make_shared<TCall>();
    record->Function = std::move(call);
    Enqueue(record);
}

bool IsUiThread() {
    QCoreApplication* application = QCoreApplication::instance();
    return application && application->thread() == QThread::currentThread();
}

}  // namespace platform
