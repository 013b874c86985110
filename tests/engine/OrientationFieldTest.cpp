// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/OrientationField.h"

#include "KernelVariants.h"
#include "PlainAnalysis.h"
#include "engine/QTypes.h"
#include "engine/imagproc.h"
#include "platform/rtl/Exception.h"
#include "tests/support/TestPhotos.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

// The Sobel maps of a darkness map made by F(x, y) (map coordinates, y up).
template <typename F>
void SobelsOf(int W, int H, F Darkness, TSmallIntMap& A, TSmallIntMap& B) {
    TByteMap d(static_cast<size_t>(W) * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            d[y * W + x] = static_cast<uint8_t>(Darkness(x, y));
    A.assign(d.size(), 0);
    B.assign(d.size(), 0);
    SobelVertical(d, A, W, H);
    SobelHorizontal(d, B, W, H);
}

TByteMap Field(const TSmallIntMap& A, const TSmallIntMap& B, int W, int H) {
    TByteMap dir(static_cast<size_t>(W) * H, 0);
    OrientationField(A, B, dir, W, H, 16);
    return dir;
}

} // namespace

TEST(OrientationField, UniformPictureGivesZeroToTheFourSides) {
    // Sides that are multiples of the block size (the last grid row and column's windows reach
    // one pixel past the picture) and sides that are not.
    for (const auto& [w, h] : {std::pair{96, 80}, {100, 37}, {32, 32}}) {
        TSmallIntMap a, b;
        SobelsOf(
            w, h, [](int, int) { return 90; }, a, b);
        EXPECT_EQ(Field(a, b, w, h), TByteMap(static_cast<size_t>(w) * h, 0)) << w << "x" << h;
    }
}

TEST(OrientationField, StraightEdges) {
    const int w = 128, h = 128;
    TSmallIntMap a, b;
    struct {
        const char* Name;
        int (*Darkness)(int, int);
        int Expected;
    } cases[] = {
        {"horizontal", [](int, int y) { return y < 64 ? 200 : 40; }, 0},
        {"vertical", [](int x, int) { return x < 64 ? 200 : 40; }, 64},
        {"rising", [](int x, int y) { return y - x < 0 ? 200 : 40; }, 32},
        {"falling", [](int x, int y) { return y + x < 128 ? 200 : 40; }, 223},
    };
    for (const auto& c : cases) {
        SobelsOf(w, h, c.Darkness, a, b);
        const TByteMap dir = Field(a, b, w, h);
        // A pixel on the edge, well inside, all four cells of its interpolation hold the edge.
        int x = 64, y = 64;
        EXPECT_EQ(dir[y * w + x], c.Expected) << c.Name;
        x = 48, y = c.Expected == 223 ? 80 : 48;
        EXPECT_EQ(dir[y * w + x], c.Expected) << c.Name;
    }
}

TEST(OrientationField, PicturesOfFewerThanTwoBlocksAcrossHaveNoDirection) {
    for (const auto& [w, h] : {std::pair{0, 0}, {1, 1}, {31, 200}, {200, 31}, {10, 3}}) {
        TSmallIntMap a(static_cast<size_t>(w) * h, 37), b(a.size(), -11);
        const TByteMap dir = Field(a, b, w, h);
        EXPECT_EQ(dir, TByteMap(a.size(), 191)) << w << "x" << h;
    }
    TSmallIntMap a(4), b(4);
    TByteMap dir(4);
    EXPECT_THROW(OrientationField(a, b, dir, 2, 2, 0), Exception);
}

TEST(OrientationField, MatchesPlainOnRandomMaps) {
    ForEachKernelVariant([] {
        std::mt19937 rng(11);
        for (const auto& [w, h] : {std::pair{48, 48}, {49, 50}, {64, 64}, {100, 37}, {37, 100}, {130, 97}}) {
            TByteMap d(static_cast<size_t>(w) * h);
            for (auto& v : d)
                v = static_cast<uint8_t>(rng());
            BlurMap(d, w, h, 1);
            TSmallIntMap a(d.size(), 0), b(d.size(), 0);
            SobelVertical(d, a, w, h);
            SobelHorizontal(d, b, w, h);
            for (int n : {16, 7, 5}) {
                TByteMap dir(d.size(), 0);
                Plain::Bytes pdir(d.size(), 0);
                OrientationField(a, b, dir, w, h, n);
                Plain::OrientationField(a, b, pdir, w, h, n);
                EXPECT_EQ(dir, pdir) << w << "x" << h << " block " << n;
            }
        }
    });
}

TEST(OrientationField, ResizeGridBilinearMatchesPlainAndReachesTheOutermostCells) {
    std::mt19937 rng(5);
    for (const auto& [gw, gh, w, h] :
         {std::array{4, 3, 64, 48}, {7, 5, 100, 77}, {2, 2, 10, 10}, {2, 3, 32, 48}, {6, 4, 97, 71}}) {
        std::vector<float> grid(static_cast<size_t>(gw) * gh);
        for (auto& v : grid)
            v = std::uniform_real_distribution<float>(-1, 1)(rng);
        std::vector<float> out(static_cast<size_t>(w) * h, 7.0f);
        Plain::Singles pout(out.size(), 7.0f);
        ResizeGridBilinear(grid, out, gw, gh, w, h);
        Plain::ResizeGridBilinear(grid, pout, gw, gh, w, h);
        EXPECT_EQ(out, pout) << gw << "x" << gh;
        // The first pixel samples the first cell; the last row and column are past the last cell.
        EXPECT_EQ(out.front(), grid.front());
        EXPECT_EQ(out.back(), grid.back());
        EXPECT_EQ(out[w - 1], grid[gw - 1]);
        EXPECT_EQ(out[static_cast<size_t>(h - 1) * w], grid[static_cast<size_t>(gh - 1) * gw]);
    }
    // Fewer than two cells across or down: nothing to interpolate between.
    for (const auto& [gw, gh] : {std::pair{1, 5}, {5, 1}, {0, 0}}) {
        std::vector<float> grid(static_cast<size_t>(gw) * gh, 0.5f), out(25, 7.0f);
        ResizeGridBilinear(grid, out, gw, gh, 5, 5);
        EXPECT_EQ(out, std::vector<float>(25, 0.0f));
    }
}

TEST(OrientationField, DirectionBytesAgreeWithTheExactConversion) {
    std::mt19937 rng(3);
    auto check = [](double Angle, double Length) {
        const float x = static_cast<float>(Length * std::cos(Angle));
        const float y = static_cast<float>(Length * std::sin(Angle));
        ASSERT_EQ(DirectionByteOf(y, x), VectorToDirectionByte(y, x)) << x << ", " << y;
    };
    const double pi = 3.141592653589793;
    for (int k = 0; k < 400000; ++k)
        check(k * 2 * pi / 400000 - pi, std::ldexp(1.0, static_cast<int>(rng() % 60) - 40));
    // Right beside every rounding boundary of the byte, from both sides.
    for (int b = 0; b < 256; ++b) {
        const double half = (b + 0.5) / 255 * 6.2832 * 2; // the full angle of byte b + 1/2
        for (double d = 1e-9; d < 1e-2; d *= 1.7)
            for (double angle : {half - d, half + d, half - 4 * pi - d, half - 4 * pi + d})
                if (angle > -pi && angle <= pi) check(angle, 0.7);
    }
    for (float z : {0.0f, -0.0f})
        for (auto [y, x] : {std::pair{z, 1.0f}, {z, -1.0f}, {1.0f, z}, {-1.0f, z}, {z, z}})
            EXPECT_EQ(DirectionByteOf(y, x), VectorToDirectionByte(y, x)) << y << ", " << x;
}

TEST(OrientationField, MatchesPlainOnThePhotos) {
    for (const TTestPhoto& photo : TestPhotos()) {
        const int w = photo.W, h = photo.H;
        const size_t n = photo.N;
        TByteMap l(n), hs(n);
        BitmapToLumaHueSat(photo.Picture, l, hs);
        InvertMap(l, w, h);
        TSmallIntMap a(n, 0), b(n, 0);
        SobelVertical(l, a, w, h);
        SobelHorizontal(l, b, w, h);
        Plain::Bytes pdir(n, 0);
        Plain::OrientationField(a, b, pdir, w, h, 16);
        ForEachKernelVariant([&] {
            TByteMap dir(n, 0);
            OrientationField(a, b, dir, w, h, 16);
            EXPECT_EQ(dir, pdir) << photo.Name;
        });
    }
}
