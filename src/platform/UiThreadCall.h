#pragma once

#include <QObject>
#include <functional>

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
};

// True on the thread of the application object.
bool IsUiThread();

}  // namespace platform
