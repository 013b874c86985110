// SPDX-License-Identifier: GPL-3.0-or-later
// How many threads the analysis takes: the cores the process may run on.
#include "engine/ParallelRows.h"

#include <gtest/gtest.h>

#include <sched.h>

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
