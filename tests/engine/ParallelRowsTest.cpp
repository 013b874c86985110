// SPDX-License-Identifier: GPL-3.0-or-later
// How many threads the analysis takes: the cores the process may run on; and the work still gets
// done when the system starts no more threads.
#include "engine/ParallelRows.h"
#include "tests/support/AnotherUser.h"

#include <gtest/gtest.h>

#include <atomic>
#include <exception>
#include <sched.h>
#include <sys/resource.h>
#include <vector>

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
