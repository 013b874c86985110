// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/PixelBlock.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <new>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

namespace {
const size_t Page = static_cast<size_t>(sysconf(_SC_PAGESIZE));

// True when every page of [At, At + Bytes) is mapped.
bool Mapped(const void* At, size_t Bytes) {
    return msync(const_cast<void*>(At), Bytes, MS_ASYNC) == 0;
}
} // namespace

TEST(PixelBlock, HoldsWholePagesAndGivesBackWhatItNoLongerNeeds) {
    // One pixel more than a page holds: two pages, both writable.
    const size_t pixels = Page / 4 + 1;
    for (const bool populate : {true, false}) {
        TPixelBlock block(pixels, populate);
        ASSERT_NE(block.Bits(), nullptr);
        EXPECT_EQ(block.Pixels(), pixels);
        EXPECT_EQ(block.Bytes(), 2 * Page);
        for (size_t i = 0; i < pixels; ++i)
            block.Bits()[i] = static_cast<TColor32>(i);

        TColor32* bits = block.Bits();
        block.Shrink(pixels + 10); // no more than it has: nothing
        EXPECT_EQ(block.Bytes(), 2 * Page);
        block.Shrink(3);
        EXPECT_EQ(block.Pixels(), 3u);
        EXPECT_EQ(block.Bytes(), Page);
        EXPECT_EQ(block.Bits(), bits);
        EXPECT_EQ(block.Bits()[2], 2u);
        EXPECT_TRUE(Mapped(bits, Page));
        EXPECT_FALSE(Mapped(reinterpret_cast<char*>(bits) + Page, Page)); // given back
        block.Shrink(0);
        EXPECT_EQ(block.Bits(), nullptr);
        EXPECT_EQ(block.Bytes(), 0u);
        EXPECT_FALSE(Mapped(bits, Page));
    }
    EXPECT_EQ(TPixelBlock(0, false).Bits(), nullptr);
}

TEST(PixelBlock, AMovedBlockHasOneOwnerAndAFaultScopeRefusesNewOnes) {
    TPixelBlock a(100, false);
    TColor32* bits = a.Bits();
    TPixelBlock b(std::move(a));
    EXPECT_EQ(a.Bits(), nullptr);
    EXPECT_EQ(a.Bytes(), 0u);
    EXPECT_EQ(b.Bits(), bits);
    TPixelBlock c(100, false);
    TColor32* other = c.Bits();
    c = std::move(b); // frees what c held
    EXPECT_EQ(c.Bits(), bits);
    EXPECT_FALSE(Mapped(other, Page));
    {
        TPixelBlockFaultScope fault;
        EXPECT_THROW(TPixelBlock(100, true), std::bad_alloc);
        EXPECT_THROW(TPixelBlock(100, false), std::bad_alloc);
        EXPECT_EQ(fault.Hits(), 2);
    }
    EXPECT_NE(TPixelBlock(100, true).Bits(), nullptr);
}
