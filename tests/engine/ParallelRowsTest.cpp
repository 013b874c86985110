// SPDX-License-Identifier: GPL-3.0-or-later
// How many threads the analysis takes: the cores the process may run on; the work still gets done
// when the system starts no more threads; and every row of every job is done once, however the
// jobs follow each other and however late a thread of the pool comes.
#include "engine/ParallelRows.h"
#include "tests/support/AnotherUser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <sched.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {
// Ends the whole test program with a message when a check does not finish within Seconds: a pool
// that lost count of a band leaves the posting thread waiting for ever.
class TWatchdog {
public:
    TWatchdog(int Seconds, std::string What)
        : FThread([this, Seconds, What = std::move(What)] {
              std::unique_lock lock(FMutex);
              if (!FDone.wait_for(lock, std::chrono::seconds(Seconds), [this] { return FOver; })) {
                  std::fprintf(stderr, "%s did not finish within %d s: the pool hangs\n", What.c_str(),
                               Seconds);
                  std::fflush(stderr);
                  std::_Exit(3);
              }
          }) {}
    ~TWatchdog() {
        {
            std::lock_guard lock(FMutex);
            FOver = true;
        }
        FDone.notify_all();
        FThread.join();
    }

private:
    std::mutex FMutex;
    std::condition_variable FDone;
    bool FOver = false;
    std::thread FThread;
};

// Posts Jobs jobs back to back on four threads, by turns of 2 rows (two bands, one helper) and of
// 67 rows (17 bands, three helpers), counting how often each row of each job is done; returns
// the first fault: a row done other than once, when its job returned or after the last one.
std::string PostJobsBackToBack(int Jobs) {
    SetAnalysisThreadCount(4);
    auto rowsOf = [](int Job) { return Job % 2 == 0 ? 2 : 67; };
    std::vector<size_t> first(static_cast<size_t>(Jobs) + 1, 0);
    for (int j = 0; j < Jobs; ++j)
        first[static_cast<size_t>(j) + 1] = first[static_cast<size_t>(j)] + static_cast<size_t>(rowsOf(j));
    std::vector<std::atomic<int>> done(first.back());
    auto check = [&](int Job) -> std::string {
        for (int y = 0; y < rowsOf(Job); ++y) {
            const int n = done[first[static_cast<size_t>(Job)] + static_cast<size_t>(y)].load();
            if (n != 1)
                return "row " + std::to_string(y) + " of job " + std::to_string(Job) + " done " +
                       std::to_string(n) + " times";
        }
        return {};
    };
    std::string fault;
    for (int j = 0; j < Jobs && fault.empty(); ++j) {
        std::atomic<int>* rows = &done[first[static_cast<size_t>(j)]];
        ParallelRows(0, rowsOf(j), 1, [rows](int First, int Last) {
            for (int y = First; y < Last; ++y)
                ++rows[y];
        });
        fault = check(j);
    }
    for (int j = 0; j < Jobs && fault.empty(); ++j)
        fault = check(j);
    SetAnalysisThreadCount(0);
    return fault;
}

// Holds a thread at the edges of a job as the system may deschedule it there: a worker that saw
// a job posted waits 50 microseconds before it tries to join, and as long again after it took its
// first band number; the posting thread waits 50 microseconds once it saw its job finished. So a
// worker comes when the job is over, and takes its band while the next job is being posted.
thread_local bool tJoining = false;
void PauseAtTheJobsEdges(TPoolPoint Point) {
    if (Point == TPoolPoint::ppWorkerJoining) tJoining = true;
    if (Point == TPoolPoint::ppBandTaken && !tJoining) return;
    if (Point == TPoolPoint::ppBandTaken) tJoining = false;
    std::this_thread::sleep_for(std::chrono::microseconds(50));
}
} // namespace

TEST(ParallelRowsTest, ACpuQuotaCountsWholeCoresRoundedUp) {
    EXPECT_EQ(CoresOfQuota(400000, 100000), 4);
    EXPECT_EQ(CoresOfQuota(150000, 100000), 2);
    EXPECT_EQ(CoresOfQuota(20000, 100000), 1);
    EXPECT_EQ(CoresOfQuota(-1, 100000), 0); // no quota
    EXPECT_EQ(CoresOfQuota(100000, 0), 0);
}

TEST(ParallelRowsTest, TheAnalysisUsesTheCoresOfTheAffinityMask) {
    cpu_set_t all;
    ASSERT_EQ(sched_getaffinity(0, sizeof(all), &all), 0);
    const int cores = UsableCores();
    EXPECT_GE(cores, 1);
    EXPECT_LE(cores, CPU_COUNT(&all));
    int first = 0;
    while (!CPU_ISSET(first, &all))
        ++first;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(first, &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof(one), &one), 0);
    EXPECT_EQ(UsableCores(), 1);
    EXPECT_EQ(AnalysisThreadCount(), 1);
    sched_setaffinity(0, sizeof(all), &all);
    EXPECT_EQ(UsableCores(), cores);
}

TEST(ParallelRowsTest, BandsAreDoneWhenTheSystemStartsNoMoreThreads) {
    // In a child held to one process of its user, no thread can start: every row is still done,
    // once, on the threads there are.
    const std::string outcome = AsAnotherUser([] {
        const rlimit one{1, 1};
        if (setrlimit(RLIMIT_NPROC, &one) != 0) return std::string("no limit");
        SetAnalysisThreadCount(256);
        std::vector<std::atomic<int>> done(1000);
        try {
            ParallelRows(0, 1000, 1, [&](int First, int Last) {
                for (int y = First; y < Last; ++y)
                    ++done[static_cast<size_t>(y)];
            });
        } catch (const std::exception& e) {
            return std::string("raised: ") + e.what();
        }
        for (const std::atomic<int>& n : done)
            if (n != 1) return std::string("a row done ") + std::to_string(n.load()) + " times";
        return std::string("ok");
    });
    EXPECT_EQ(outcome, "ok");
}

TEST(ParallelRowsTest, TheChildOfAForkSharesItsJobsAmongThreadsOfItsOwn) {
    // The pool's workers exist and sleep, waiting for the next job, when the process forks; the
    // child has none of them and shares its jobs among workers it starts itself.
    const TWatchdog watchdog(60, "a job in the child of a fork");
    SetAnalysisThreadCount(4);
    ParallelRows(0, 64, 1, [](int, int) {});
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::string outcome = InAChild([] {
        std::mutex mutex;
        std::vector<std::thread::id> threads;
        ParallelRows(0, 64, 1, [&](int, int) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            std::lock_guard lock(mutex);
            if (std::find(threads.begin(), threads.end(), std::this_thread::get_id()) == threads.end())
                threads.push_back(std::this_thread::get_id());
        });
        return std::to_string(threads.size()) + " threads";
    });
    SetAnalysisThreadCount(0);
    EXPECT_EQ(outcome, "4 threads");
}

TEST(ParallelRowsTest, EveryRowOfEveryJobIsDoneOnceWhenJobsFollowBackToBack) {
    const TWatchdog watchdog(60, "posting 100,000 jobs");
    EXPECT_EQ(PostJobsBackToBack(100000), "");
}

TEST(ParallelRowsTest, AWorkerThatComesLateNeverJoinsAJobThatIsOverOrTheNextOne) {
    const TWatchdog watchdog(60, "posting 10,000 jobs with paused threads");
    SetPoolPause(PauseAtTheJobsEdges);
    const std::string fault = PostJobsBackToBack(10000);
    SetPoolPause(nullptr);
    EXPECT_EQ(fault, "");
}
