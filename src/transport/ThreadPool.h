#pragma once

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

namespace transport {

// Threads that have ended one job wait a while for the next, so that a burst of requests does
// not pay for creating a thread each time. A thread serves one job after the other, never two at
// once; every job still has a thread of its own while it runs.
class TThreadPool {
public:
    // A job returns true when its thread may serve another job afterwards.
    using TJob = std::function<bool()>;
    // Creates a detached thread, as pthread_create does; a seam for tests.
    using TCreateThread = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

    explicit TThreadPool(std::chrono::milliseconds idleLifetime = std::chrono::seconds(10),
                         TCreateThread createThread = &pthread_create);
    // Waits until every thread of the pool has ended; jobs not yet taken are dropped.
    ~TThreadPool();
    TThreadPool(const TThreadPool&) = delete;
    TThreadPool& operator=(const TThreadPool&) = delete;

    // Hands the job to a waiting thread or to a new one. False when no thread could be created
    // and no waiting thread took the job: the job will never run.
    bool Launch(TJob job);

private:
    struct TQueued {
        uint64_t Id;
        TJob Job;
    };
    static void* Entry(void* pool);
    void Serve();

    const std::chrono::milliseconds idleLifetime_;
    const TCreateThread createThread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable ended_;
    std::deque<TQueued> jobs_;
    uint64_t nextId_ = 0;
    size_t idle_ = 0;
    size_t threads_ = 0;
    bool stopping_ = false;
};

}  // namespace transport
