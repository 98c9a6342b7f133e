#include "transport/ThreadPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <thread>

using transport::TThreadPool;

namespace {

std::atomic<int> JobsRun{0};
// Unset: threads are created for real. Set: creation runs it, then reports a failure.
std::function<void()> BeforeFailing;

int FakeCreate(pthread_t* thread, const pthread_attr_t* attributes, void* (*entry)(void*), void* argument) {
    if (!BeforeFailing) return pthread_create(thread, attributes, entry, argument);
    BeforeFailing();
    return EAGAIN;
}

bool WaitFor(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return condition();
}

TThreadPool::TJob CountingJob(std::atomic<bool>* holdUntil = nullptr) {
    return [holdUntil] {
        if (holdUntil) WaitFor([holdUntil] { return holdUntil->load(); });
        ++JobsRun;
        return true;
    };
}

}  // namespace

TEST(ThreadPool, AFailedThreadCreationIsReportedOnlyWhenNoThreadTookTheJob) {
    // Nothing can take the job: no thread exists and none can be created.
    {
        JobsRun = 0;
        BeforeFailing = [] {};
        TThreadPool pool(std::chrono::seconds(10), &FakeCreate);
        EXPECT_FALSE(pool.Launch(CountingJob()));
        EXPECT_EQ(JobsRun, 0);
    }
    // While the new thread is being created, the pool's only thread ends its job, comes free and
    // takes the new one; the creation fails after that. The job runs, and is not taken twice.
    {
        JobsRun = 0;
        BeforeFailing = nullptr;
        std::atomic<bool> firstMayEnd{false};
        TThreadPool pool(std::chrono::seconds(10), &FakeCreate);
        ASSERT_TRUE(pool.Launch(CountingJob(&firstMayEnd)));
        BeforeFailing = [&] {
            firstMayEnd = true;
            WaitFor([] { return JobsRun == 2; });
        };
        EXPECT_TRUE(pool.Launch(CountingJob()));
        EXPECT_EQ(JobsRun, 2);
        BeforeFailing = nullptr;
    }
}
