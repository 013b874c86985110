// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/PixelChecksum.h"

#include "platform/rtl/Random.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {
std::vector<TColor32> RandomPixels(size_t Count, uint32_t Seed) {
    RandSeed = Seed;
    std::vector<TColor32> pixels(Count);
    for (TColor32& p : pixels)
        p = static_cast<TColor32>(Random(65536)) << 16 | static_cast<TColor32>(Random(65536));
    return pixels;
}
} // namespace

TEST(PixelChecksum, AnyOneChangedWordChangesTheSumOddCountsIncluded) {
    // Every count up to past two rounds of the eight lanes, and the last tile of a 301 x 601
    // picture (45 x 25, odd); each word changed in its low bit, its high bit, and in all.
    std::vector<size_t> counts;
    for (size_t n = 1; n <= 40; ++n)
        counts.push_back(n);
    counts.push_back(45 * 25);
    for (const size_t count : counts) {
        std::vector<TColor32> pixels = RandomPixels(count, static_cast<uint32_t>(count));
        const uint64_t sum = PixelSum(pixels.data(), count);
        for (size_t i = 0; i < count; ++i)
            for (const TColor32 change : {0x00000001u, 0x80000000u, 0xFFFFFFFFu}) {
                pixels[i] ^= change;
                ASSERT_NE(PixelSum(pixels.data(), count), sum) << "count " << count << ", word " << i;
                pixels[i] ^= change;
            }
        EXPECT_EQ(PixelSum(pixels.data(), count), sum); // the same words, the same sum
    }
}

TEST(PixelChecksum, TheCountAndTheOrderOfPiecesCount) {
    // Zero pixels of every count up to 20 give 20 sums; folding pieces in another order, or
    // dropping one, gives another sum.
    const std::vector<TColor32> zeros(20, 0);
    std::set<uint64_t> sums;
    for (size_t n = 0; n < 20; ++n)
        sums.insert(PixelSum(zeros.data(), n));
    EXPECT_EQ(sums.size(), 20u);

    const std::vector<TColor32> a = RandomPixels(7, 1), b = RandomPixels(64, 2);
    const uint64_t sa = PixelSum(a.data(), a.size()), sb = PixelSum(b.data(), b.size());
    const uint64_t ab = FoldPixelSum(FoldPixelSum(0, sa), sb);
    EXPECT_NE(ab, FoldPixelSum(FoldPixelSum(0, sb), sa));
    EXPECT_NE(ab, FoldPixelSum(0, sa));
    EXPECT_NE(ab, FoldPixelSum(FoldPixelSum(0, sa), sa));
}
