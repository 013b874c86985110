// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/TileStore.h"

#include "document/PixelBlock.h"
#include "document/StoppableStream.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "tests/document/SwapPictures.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <new>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {
// Marked, then painted over: at the edges and past them, one inside another marked before.
const TRect Marks[] = {
    {-5, -5, 10, 10}, {290, 590, 400, 700}, {100, 100, 200, 300}, {120, 150, 130, 160}, {0, 400, 301, 401}};

// A 301 x 601 picture (ten bands of tiles, cut at both edges) with the tiles of Marks marked and
// painted over.
struct TMarkedPicture {
    TBitmap32 Before{301, 601};
    TBitmap32 Painted;
    TTileStore Store{301, 601};
    size_t Pixels = 0; // of the marked tiles
    int Tiles = 0;

    TMarkedPicture() {
        Noise(Before, 3);
        Painted.Assign(Before);
        for (const TRect& r : Marks) {
            Store.KeepBefore(Painted, r);
            Painted.FillRectS(r, 0xFF102030u);
        }
        for (int y = 0; y < 601; y += 64)
            for (int x = 0; x < 301; x += 64)
                if (Marked(x, y)) {
                    ++Tiles;
                    Pixels += static_cast<size_t>(std::min(64, 301 - x) * std::min(64, 601 - y));
                }
    }
    // True when a mark touches the tile of (X, Y), worked out the obvious way.
    static bool Marked(int X, int Y) {
        const TRect tile{X / 64 * 64, Y / 64 * 64, X / 64 * 64 + 64, Y / 64 * 64 + 64};
        TRect common;
        for (const TRect& r : Marks)
            if (IntersectRect(common, r, tile)) return true;
        return false;
    }
    // The marked tiles hold Before's pixels and the others Painted's.
    bool ShowsTheMarkedTilesBefore(const TBitmap32& B) const {
        for (int y = 0; y < 601; ++y)
            for (int x = 0; x < 301; ++x)
                if (B.Pixel(x, y) != (Marked(x, y) ? Before : Painted).Pixel(x, y)) return false;
        return true;
    }
};
} // namespace

TEST(TileStore, AnExchangePutsBackEveryMarkedTileAndAnotherTakesItBackOnSeveralThreads) {
    const TAnalysisThreads four(4);
    TMarkedPicture m;
    EXPECT_EQ(m.Store.Count(), m.Tiles);
    m.Store.Seal();
    m.Store.KeepBefore(m.Painted, TRect{200, 0, 210, 10}); // sealed: nothing more
    EXPECT_EQ(m.Store.Count(), m.Tiles);
    TBitmap32 target;
    target.Assign(m.Painted);
    m.Store.Exchange(target);
    EXPECT_TRUE(m.ShowsTheMarkedTilesBefore(target));
    m.Store.Exchange(target);
    EXPECT_TRUE(SamePixels(target, m.Painted));
    EXPECT_GE(m.Store.MemSize(true), static_cast<int64_t>(m.Pixels * 4));
}

TEST(TileStore, TilesReadBackComeBackWholeOrLeaveTheTargetAsItWas) {
    const TAnalysisThreads four(4);
    TTestFolder folder;
    TMarkedPicture m;
    const std::string file = folder / "tiles";
    const uint64_t sum = WriteWholeFile(file, m.Store.Writer(), nullptr);
    ASSERT_EQ(fs::file_size(file), m.Pixels * 4);
    m.Store.Release(nullptr);
    const int64_t table = m.Store.MemSize(false);
    EXPECT_EQ(m.Store.MemSize(true), table);

    // A short file, a changed last pixel of the last tile (45 x 25, cut at both edges), a wrong
    // sum, no memory: the target keeps every pixel, and the tiles stay out.
    TBitmap32 target;
    target.Assign(m.Painted);
    auto expectRefused = [&](const std::function<void()>& ReadBack) {
        EXPECT_ANY_THROW(ReadBack());
        EXPECT_TRUE(SamePixels(target, m.Painted));
        EXPECT_EQ(m.Store.MemSize(true), table);
    };
    const std::string whole = ReadFile(file);
    fs::resize_file(file, m.Pixels * 4 - 4);
    expectRefused([&] { m.Store.ReadBack(file, sum, &target, nullptr); });
    std::string damaged = whole;
    damaged[damaged.size() - 4] ^= 1;
    WriteFile(file, damaged);
    expectRefused([&] { m.Store.ReadBack(file, sum, &target, nullptr); });
    WriteFile(file, whole);
    expectRefused([&] { m.Store.ReadBack(file, sum + 1, &target, nullptr); });
    {
        TPixelBlockFaultScope noMemory;
        EXPECT_THROW(m.Store.ReadBack(file, sum, &target, nullptr), std::bad_alloc);
    }
    EXPECT_TRUE(SamePixels(target, m.Painted));

    // Read back into the target, exchanged on the way; and into memory only.
    m.Store.ReadBack(file, sum, &target, nullptr);
    EXPECT_TRUE(m.ShowsTheMarkedTilesBefore(target));
    m.Store.Exchange(target);
    EXPECT_TRUE(SamePixels(target, m.Painted));
    m.Store.Release(nullptr);
    m.Store.ReadBack(file, sum, nullptr, nullptr);
    m.Store.Exchange(target);
    EXPECT_TRUE(m.ShowsTheMarkedTilesBefore(target));
}
