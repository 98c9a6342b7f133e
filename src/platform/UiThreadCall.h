#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {

// A hidden object on the user-interface thread that carries out calls for other threads. A call
// is an event of its own, so the user-interface thread runs it whenever it handles events: in
// the main loop and in every nested or modal loop.
class TUiThreadCallWindow : public QObject {
    Q_OBJECT
public:
    // Lives on the application's thread, whichever thread creates it.
    TUiThreadCallWindow();
    ~TUiThreadCallWindow() override;

    // Runs the call on the user-interface thread and blocks until it has returned, or until it
    // was dropped because the window went away. On the user-interface thread it runs at once.
    // The call must not throw.
    void Send(std::function<void()> call);
    // Runs the call later on the user-interface thread; callable from any thread.
    void Post(std::function<void()> call);

    struct TCall;

protected:
    bool event(QEvent* event) override;

private:
    // Runs the calls that are waiting; each queued call wakes the user-interface thread once.
    void ServicePending();
    void Enqueue(const std::shared_ptr<TCall>& call);

    // Calls go through a queue of our own, so that the hand-over of their data is ordered by
    // this lock and not only by the event queue.
    std::mutex mutex_;
    std::deque<std::shared_ptr<TCall>> pending_;
    // Compared without asking Qt, so that a worker thread never becomes a thread Qt knows.
    std::thread::id uiThread_;
};

// True on the thread of the application object.
bool IsUiThread();

}  // namespace platform
