#include "transport/ThreadPool.h"

#include <algorithm>

namespace transport {

namespace {

constexpr size_t WorkerStackSize = 1024 * 1024;

}  // namespace

TThreadPool::TThreadPool(std::chrono::milliseconds idleLifetime, TCreateThread createThread)
    : idleLifetime_(idleLifetime), createThread_(createThread) {}

TThreadPool::~TThreadPool() {
    std::unique_lock lock(mutex_);
    stopping_ = true;
    jobs_.clear();
    wake_.notify_all();
    ended_.wait(lock, [this] { return threads_ == 0; });
}

bool TThreadPool::Launch(TJob job) {
    std::unique_lock lock(mutex_);
    const uint64_t id = nextId_++;
    jobs_.push_back({id, std::move(job)});
    if (idle_ >= jobs_.size()) {
        lock.unlock();
        wake_.notify_one();
        return true;
    }
    ++threads_;
    lock.unlock();

    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, WorkerStackSize);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    const int failed = createThread_(&thread, &attributes, &TThreadPool::Entry, this);
    pthread_attr_destroy(&attributes);
    if (!failed) return true;

    // A thread that came free meanwhile may have taken the job already; then it runs after all.
    lock.lock();
    --threads_;
    ended_.notify_all();
    const auto queued =
        std::find_if(jobs_.begin(), jobs_.end(), [id](const TQueued& entry) { return entry.Id == id; });
    if (queued == jobs_.end()) return true;
    jobs_.erase(queued);
    return false;
}

void* TThreadPool::Entry(void* pool) {
    static_cast<TThreadPool*>(pool)->Serve();
    return nullptr;
}

void TThreadPool::Serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
        ++idle_;
        const bool woken =
            wake_.wait_for(lock, idleLifetime_, [this] { return stopping_ || !jobs_.empty(); });
        --idle_;
        if (!woken || stopping_) break;
        TJob job = std::move(jobs_.front().Job);
        jobs_.pop_front();
        lock.unlock();
        const bool reusable = job();
        job = nullptr;
        lock.lock();
        if (!reusable) break;
    }
    --threads_;
    ended_.notify_all();
}

}  // namespace transport
