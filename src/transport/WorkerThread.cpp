#include "transport/WorkerThread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <atomic>
#include <chrono>
#include <exception>
#include <mutex>
#include <stdexcept>

#include "platform/UiThreadCall.h"
#include "transport/ThreadPool.h"

namespace {

// Guards WorkerCount and HandOverWindow, and nothing else; never held across a hand-over.
std::mutex ModuleLock;
int WorkerCountValue = 0;
// Waits of Run on the user-interface thread now under way; only then does an ending worker wake
// that thread.
std::atomic<int> ActiveWaits{0};
platform::TUiThreadCallWindow* HandOverWindow = nullptr;

// The platform's priority for each TThreadPriority, as a niceness is the negated priority.
constexpr int PriorityTable[] = {-15, -2, -1, 0, 1, 2, 15};

TThreadPriority PriorityFromPlatform(int priority) {
    for (int k = 0; k < 7; ++k)
        if (PriorityTable[k] == priority) return static_cast<TThreadPriority>(k);
    return tpNormal;
}

platform::TUiThreadCallWindow* Window() {
    std::lock_guard lock(ModuleLock);
    return HandOverWindow;
}

// Destroys the window later if no worker is left then.
void ReleaseWindowLater(platform::TUiThreadCallWindow* window) {
    window->Post([] {
        platform::TUiThreadCallWindow* gone = nullptr;
        {
            std::lock_guard lock(ModuleLock);
            if (WorkerCountValue == 0 && HandOverWindow) {
                gone = HandOverWindow;
                HandOverWindow = nullptr;
            }
        }
        if (gone) gone->deleteLater();
    });
}

}  // namespace

// What a worker object and its thread share. It lives as long as either does, so a discarded
// worker that is still ending keeps it, and with it the hand-over window.
class TWorkerState {
public:
    explicit TWorkerState(TCustomWorkerThread* owner) : Owner(owner) {
        std::lock_guard lock(ModuleLock);
        if (WorkerCountValue == 0 && !HandOverWindow) HandOverWindow = new platform::TUiThreadCallWindow();
        ++WorkerCountValue;
    }
    ~TWorkerState() {
        std::lock_guard lock(ModuleLock);
        if (--WorkerCountValue == 0 && HandOverWindow) ReleaseWindowLater(HandOverWindow);
    }

    // Read on the user-interface thread only, and only while the worker is not discarded.
    TCustomWorkerThread* const Owner;
    TEventWorkerThread::TMethod OnWork, OnWorkError, OnWorkDone;
    std::atomic<bool> Running{false};
    std::atomic<bool> Suspended{true};
    std::atomic<bool> Ended{false};
    // Set on the user-interface thread; checked there before every hand-over is carried out.
    std::atomic<bool> Discarded{false};
    std::atomic<int> Priority{tpNormal};
    std::atomic<pid_t> ThreadId{0};
};

namespace {

thread_local TWorkerState* CurrentWorker = nullptr;

void ApplyPriority(pid_t thread, TThreadPriority priority) {
    // Raising the priority needs a privilege; without it the thread keeps its niceness.
    setpriority(PRIO_PROCESS, static_cast<id_t>(thread), -PriorityTable[priority]);
}

bool HandOverFrom(TWorkerState* state, const TEventWorkerThread::TMethod& method) {
    if (state->Discarded) return false;
    platform::TUiThreadCallWindow* window = Window();
    if (!window) return false;
    bool carriedOut = false;
    window->Send([state, &method, &carriedOut] {
        if (state->Discarded || state->Owner->OwnerDestroying()) return;
        carriedOut = true;
        try {
            method();
        } catch (...) {
            // The exception goes to the worker's slot and, as exceptions are handled, no further.
        }
    });
    return carriedOut && !state->Discarded;
}

void ThreadProcedure(std::shared_ptr<TWorkerState> state) {
    CurrentWorker = state.get();
    state->ThreadId = static_cast<pid_t>(::syscall(SYS_gettid));
    if (state->Priority != tpNormal)
        ApplyPriority(state->ThreadId, static_cast<TThreadPriority>(state->Priority.load()));
    state->Running = true;
    if (state->OnWork && !state->Discarded) {
        try {
            state->OnWork();
        } catch (...) {
            if (state->OnWorkError) HandOverFrom(state.get(), state->OnWorkError);
        }
    }
    state->Running = false;
    if (state->OnWorkDone) {
        TWorkerState* raw = state.get();
        HandOverFrom(raw, [raw] {
            try {
                raw->OnWorkDone();
            } catch (...) {
                if (raw->OnWorkError) raw->OnWorkError();
            }
        });
    }
    // The work and its handlers are released here, on the worker, so that a discarded request
    // closes its own handles.
    state->OnWork = nullptr;
    state->OnWorkError = nullptr;
    state->OnWorkDone = nullptr;
    state->Ended = true;
    if (ActiveWaits > 0)
        if (platform::TUiThreadCallWindow* window = Window()) window->Post([] {});
    CurrentWorker = nullptr;
}

// Never destroyed, so that threads still waiting at exit find it intact.
transport::TThreadPool& Threads() {
    static auto* pool = new transport::TThreadPool();
    return *pool;
}

}  // namespace

TEventWorkerThread::TEventWorkerThread(TCustomWorkerThread* owner, TMethod onWork, TMethod onWorkError,
                                       TMethod onWorkDone, TThreadPriority priority)
    : state_(std::make_shared<TWorkerState>(owner)) {
    state_->OnWork = std::move(onWork);
    state_->OnWorkError = std::move(onWorkError);
    state_->OnWorkDone = std::move(onWorkDone);
    state_->Priority = priority;
}

TEventWorkerThread::~TEventWorkerThread() {
    // A parked worker never runs; one that runs is discarded and ends on its own.
    Discard();
}

bool TEventWorkerThread::Running() const {
    return state_->Running;
}
bool TEventWorkerThread::Suspended() const {
    return state_->Suspended;
}
bool TEventWorkerThread::Ended() const {
    return state_->Ended;
}

TThreadPriority TEventWorkerThread::Priority() const {
    const pid_t thread = state_->ThreadId;
    if (thread != 0 && !state_->Ended) {
        errno = 0;
        const int niceness = getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
        if (errno == 0) return PriorityFromPlatform(-niceness);
    }
    return static_cast<TThreadPriority>(state_->Priority.load());
}

void TEventWorkerThread::SetPriority(TThreadPriority priority) {
    if (priority < tpIdle || priority > tpTimeCritical) return;
    state_->Priority = priority;
    const pid_t thread = state_->ThreadId;
    if (thread != 0 && !state_->Ended) ApplyPriority(thread, priority);
}

void TEventWorkerThread::Resume() {
    if (!state_->Suspended) return;
    state_->Suspended = false;
    state_->Running = true;
    std::shared_ptr<TWorkerState> state = state_;
    const bool launched = Threads().Launch([state = std::move(state)]() mutable {
        ThreadProcedure(std::move(state));
        // A thread whose priority was changed may not be able to change it back without a
        // privilege, so it serves no other worker.
        errno = 0;
        const int niceness = getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
        return errno == 0 && niceness == 0;
    });
    if (!launched) {
        // The worker never runs: it must not stay busy for ever.
        state_->Running = false;
        state_->Ended = true;
        throw std::runtime_error(
            QCoreApplication::translate("TCustomWorkerThread", "Cannot create a thread for the request.")
                .toStdString());
    }
}

void TEventWorkerThread::Discard() {
    state_->Discarded = true;
    if (state_->Suspended) state_->Ended = true;
}

TCustomWorkerThread::TCustomWorkerThread(QObject* owner) : QObject(owner) {
    worker_ = std::make_unique<TEventWorkerThread>(this, OnWork, OnWorkError, OnWorkDone, tpNormal);
}

TCustomWorkerThread::~TCustomWorkerThread() {
    ownerDestroying_ = true;
    worker_.reset();
}

void TCustomWorkerThread::RestartWorker() {
    const auto priority = static_cast<TThreadPriority>(worker_->state_->Priority.load());
    worker_->Discard();
    worker_ = std::make_unique<TEventWorkerThread>(this, OnWork, OnWorkError, OnWorkDone, priority);
}

void TCustomWorkerThread::Run() {
    RunWork(OnWork, OnWorkError, OnWorkDone);
}

void TCustomWorkerThread::RunWork(TMethod onWork, TMethod onWorkError, TMethod onWorkDone) {
    const auto priority = static_cast<TThreadPriority>(worker_->state_->Priority.load());
    worker_->Discard();
    worker_ = std::make_unique<TEventWorkerThread>(this, std::move(onWork), std::move(onWorkError),
                                                   std::move(onWorkDone), priority);
    worker_->Resume();
    if (!WaitThread) return;
    // Handles events, hand-overs among them, until the current worker (fetched afresh on every
    // round, as a handler may replace it) has ended. An ending worker posts a wake-up.
    QPointer<TCustomWorkerThread> self(this);
    ++ActiveWaits;
    while (self && !worker_->Ended()) {
        if (QCoreApplication::closingDown() || !QCoreApplication::instance()) break;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    --ActiveWaits;
}

bool TCustomWorkerThread::Running() const {
    return worker_->Running();
}

void TCustomWorkerThread::MarkRunning() {
    worker_->state_->Running = true;
}

TThreadPriority TCustomWorkerThread::Priority() const {
    return worker_->Priority();
}

void TCustomWorkerThread::SetPriority(TThreadPriority priority) {
    worker_->SetPriority(priority);
}

bool TCustomWorkerThread::HandOver(const TMethod& method) {
    TWorkerState* state = CurrentWorker;
    if (!state) {
        method();
        return true;
    }
    return HandOverFrom(state, method);
}

bool TCustomWorkerThread::HandOverCall(void (*procedure)(void*, intptr_t), void* data, intptr_t value) {
    return HandOver([=] { procedure(data, value); });
}

bool TCustomWorkerThread::CurrentWorkerDiscarded() {
    TWorkerState* state = CurrentWorker;
    return state && state->Discarded;
}

int TCustomWorkerThread::WorkerCount() {
    std::lock_guard lock(ModuleLock);
    return WorkerCountValue;
}

bool TCustomWorkerThread::HandOverWindowExists() {
    std::lock_guard lock(ModuleLock);
    return HandOverWindow != nullptr;
}
