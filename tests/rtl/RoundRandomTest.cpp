// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/rtl/Random.h"
#include "platform/rtl/Round.h"

#include <gtest/gtest.h>

TEST(Round, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(Round(2.5), 2);
    EXPECT_EQ(Round(3.5), 4);
    EXPECT_EQ(Round(127.5), 128);
    EXPECT_EQ(Round(-0.5), 0);
    EXPECT_EQ(Round(-1.5), -2);
    EXPECT_EQ(Round(-2.5), -2);
    EXPECT_EQ(Round(0.49999999999999994), 0);
    EXPECT_EQ(Round(2.5000001), 3);
    EXPECT_EQ(Round64(4294967296.5), 4294967296);
}

TEST(Random, FollowsTheLinearCongruenceFromSeedZero) {
    RandSeed = 0;
    // seed 1: (100 * 1) >> 32 = 0; seed 134775814: (100 * 134775814) >> 32 = 3.
    EXPECT_EQ(Random(100), 0);
    EXPECT_EQ(RandSeed, 1u);
    EXPECT_EQ(Random(100), 3);
    EXPECT_EQ(RandSeed, 134775814u);
    uint32_t seed = RandSeed;
    for (int i = 0; i < 1000; ++i) {
        seed = seed * 134775813u + 1u;
        const int32_t expected = static_cast<int32_t>((uint64_t{1000} * seed) >> 32);
        ASSERT_EQ(Random(1000), expected) << "draw " << i;
    }
}

TEST(Random, ZeroRangeStillDraws) {
    RandSeed = 7;
    EXPECT_EQ(Random(0), 0);
    EXPECT_EQ(RandSeed, 7u * 134775813u + 1u);
}

TEST(Random, StaysInRange) {
    RandSeed = 12345;
    for (int i = 0; i < 10000; ++i) {
        const int32_t r = Random(7);
        ASSERT_GE(r, 0);
        ASSERT_LT(r, 7);
    }
    const double f = Random();
    EXPECT_GE(f, 0.0);
    EXPECT_LT(f, 1.0);
}
