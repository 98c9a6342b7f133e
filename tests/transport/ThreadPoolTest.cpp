#include "transport/ThreadPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

using transport::TThreadPool;

namespace {

// What the fake thread creation of a case does before it reports failure.
enum class TBeforeFailing { Nothing, StartTheThreadAndLetItTakeTheJob };

std::atomic<TBeforeFailing> Behaviour{TBeforeFailing::Nothing};
std::atomic<int> JobsRun{0};

int FailingCreate(pthread_t* thread, const pthread_attr_t* attributes, void* (*entry)(void*),
                  void* argument) {
    if (Behaviour == TBeforeFailing::StartTheThreadAndLetItTakeTheJob) {
        // The thread comes up and takes the job, yet the creation reports a failure: the job
        // is no longer in the queue when the failure is handled.
        const int started = pthread_create(thread, attributes, entry, argument);
        if (started != 0) return started;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (JobsRun == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return EAGAIN;
}

bool WaitForJobs(int count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (JobsRun < count && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return JobsRun >= count;
}

}  // namespace

TEST(ThreadPool, AFailedThreadCreationIsReportedOnlyWhenNoThreadTookTheJob) {
    struct TCase {
        const char* Name;
        TBeforeFailing Behaviour;
        bool Launched;
        int JobsRun;
    };
    const TCase cases[] = {
        {"nothing took the job", TBeforeFailing::Nothing, false, 0},
        {"a thread took the job before the failure was seen",
         TBeforeFailing::StartTheThreadAndLetItTakeTheJob, true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Behaviour = c.Behaviour;
        JobsRun = 0;
        {
            TThreadPool pool(std::chrono::milliseconds(50), &FailingCreate);
            const bool launched = pool.Launch([] {
                ++JobsRun;
                return true;
            });
            EXPECT_EQ(launched, c.Launched);
            if (c.JobsRun > 0) {
                EXPECT_TRUE(WaitForJobs(c.JobsRun));
            }
        }
        EXPECT_EQ(JobsRun, c.JobsRun);
    }
}
