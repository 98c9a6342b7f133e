#include "platform/UiThreadCall.h"

#include <QCoreApplication>
#include <QThread>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace platform {

namespace {

struct TCompletion {
    std::mutex Mutex;
    std::condition_variable Done;
    bool Finished = false;
};

// Marks the call finished when the queued call is destroyed: after it has run, or when Qt drops
// it unrun because the window is gone. So a waiting thread is never left hanging.
class TCompletionGuard {
public:
    explicit TCompletionGuard(std::shared_ptr<TCompletion> completion) : completion_(std::move(completion)) {}
    ~TCompletionGuard() {
        std::lock_guard lock(completion_->Mutex);
        completion_->Finished = true;
        completion_->Done.notify_all();
    }
    TCompletionGuard(const TCompletionGuard&) = delete;
    TCompletionGuard& operator=(const TCompletionGuard&) = delete;

private:
    std::shared_ptr<TCompletion> completion_;
};

}  // namespace

TUiThreadCallWindow::TUiThreadCallWindow() {
    if (QCoreApplication* application = QCoreApplication::instance()) moveToThread(application->thread());
}

TUiThreadCallWindow::~TUiThreadCallWindow() = default;

void TUiThreadCallWindow::Send(std::function<void()> call) {
    if (thread() == QThread::currentThread()) {
        call();
        return;
    }
    auto completion = std::make_shared<TCompletion>();
    auto guard = std::make_shared<TCompletionGuard>(completion);
    QMetaObject::invokeMethod(
        this, [call = std::move(call), guard = std::move(guard)]() { call(); }, Qt::QueuedConnection);
    std::unique_lock lock(completion->Mutex);
    completion->Done.wait(lock, [&] { return completion->Finished; });
}

void TUiThreadCallWindow::Post(std::function<void()> call) {
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

bool IsUiThread() {
    QCoreApplication* application = QCoreApplication::instance();
    return application && application->thread() == QThread::currentThread();
}

}  // namespace platform
