#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>

// Scheduling priority of a worker thread.
enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TCustomWorkerThread;
class TWorkerState;

// One worker: a thread object that runs one piece of work. It is created parked (no thread yet),
// started once by Run, and may be discarded while it still runs; a discarded worker finishes on
// its own, carries out no further hand-over and reports nothing.
class TEventWorkerThread {
public:
    using TMethod = std::function<void()>;

    TEventWorkerThread(TCustomWorkerThread* owner, TMethod onWork, TMethod onWorkError, TMethod onWorkDone,
                       TThreadPriority priority);
    ~TEventWorkerThread();
    TEventWorkerThread(const TEventWorkerThread&) = delete;
    TEventWorkerThread& operator=(const TEventWorkerThread&) = delete;

    // True from the moment the work is started until the work has returned.
    bool Running() const;
    bool Suspended() const;
    // True once the thread has left its thread procedure (or was discarded while parked).
    bool Ended() const;
    TThreadPriority Priority() const;
    void SetPriority(TThreadPriority priority);

private:
    friend class TCustomWorkerThread;
    void Resume();
    void Discard();

    std::shared_ptr<TWorkerState> state_;
};

// The worker-thread component of a request component: runs each piece of work on a thread of
// its own and lets that thread have calls carried out on the user-interface thread.
class TCustomWorkerThread : public QObject {
    Q_OBJECT
public:
    using TMethod = TEventWorkerThread::TMethod;

    explicit TCustomWorkerThread(QObject* owner = nullptr);
    ~TCustomWorkerThread() override;

    // The work, its error report (handed over when the work raises) and the completion step
    // (handed over after the work has returned). They are copied into each new worker. The
    // work runs on the worker thread and must touch shared objects only inside hand-overs.
    TMethod OnWork;
    TMethod OnWorkError;
    TMethod OnWorkDone;

    // True makes Run wait, handling user-interface events, until the worker has ended.
    bool WaitThread = false;
    // Exceptions of the work and of hand-overs are caught and never re-raised in the worker.
    bool HandleExceptions() const { return true; }

    // Discards the current worker and runs a fresh one; waits when WaitThread is set.
    virtual void Run();
    // The same with handlers for this one worker only: the component keeps no copy of them, so
    // that what they hold goes with the worker.
    void RunWork(TMethod onWork, TMethod onWorkError, TMethod onWorkDone);
    // Ends the current worker (cooperatively: a running one is discarded, never killed) and puts a
    // fresh parked one with the same priority and handlers in its place.
    void RestartWorker();
    // The current worker's running flag.
    bool Running() const;
    // Raises the running flag of the current worker ahead of its thread's first step.
    void MarkRunning();

    TThreadPriority Priority() const;
    void SetPriority(TThreadPriority priority);

    // Set by the owner when it is being destroyed: no hand-over is carried out from then on.
    void SetOwnerDestroying() { ownerDestroying_ = true; }
    bool OwnerDestroying() const { return ownerDestroying_; }

    // Called on a worker thread: runs the method on the user-interface thread and blocks until it
    // has returned. Skipped (returns false) when the calling worker has been discarded or its
    // owner is being destroyed; an exception of the method is caught and dropped.
    static bool HandOver(const TMethod& method);
    // The same for a plain procedure with a pointer and an integer argument.
    static bool HandOverCall(void (*procedure)(void*, intptr_t), void* data, intptr_t value);
    // Called on a worker thread: true once the calling worker has been discarded.
    static bool CurrentWorkerDiscarded();

    // Number of worker objects in existence, and whether the hand-over window exists (for tests).
    static int WorkerCount();
    static bool HandOverWindowExists();

private:
    std::unique_ptr<TEventWorkerThread> worker_;
    bool ownerDestroying_ = false;
};
