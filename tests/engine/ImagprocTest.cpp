// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/imagproc.h"

#include "KernelVariants.h"
#include "PlainAnalysis.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/HSL.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Round.h"
#include "tests/support/AllowedSkip.h"
#include "tests/support/TestPhotos.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// Sizes around the kernels' limits, plus a couple of odd larger ones.
const std::pair<int, int> Sizes[] = {{0, 0}, {0, 5},  {5, 0},   {1, 1},   {1, 7},   {7, 1},
                                     {2, 2}, {3, 3},  {4, 9},   {5, 5},   {6, 5},   {5, 6},
                                     {9, 4}, {17, 3}, {33, 29}, {64, 48}, {131, 77}};

Plain::Bytes RandomBytes(size_t N, uint32_t Seed) {
    std::mt19937 rng(Seed);
    Plain::Bytes v(N);
    for (auto& b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

Plain::Shorts RandomShorts(size_t N, uint32_t Seed) {
    std::mt19937 rng(Seed);
    Plain::Shorts v(N);
    for (auto& s : v)
        s = static_cast<int16_t>(static_cast<int>(rng() % 2041) - 1020);
    return v;
}

TBitmap32 RandomBitmap(int W, int H, uint32_t Seed) {
    std::mt19937 rng(Seed);
    TBitmap32 b;
    b.SetSize(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            b.SetPixel(x, y, static_cast<TColor32>(rng()));
    return b;
}

} // namespace

TEST(Imagproc, ColourConversionMatchesTheHslOfEveryColour) {
    // All 2^24 colours, one 4096 x 4096 picture: the lightness and hue/saturation codes are the
    // ones the raster library's own conversion gives.
#ifndef NDEBUG
    QUOR_ALLOWED_SKIP() << "the exhaustive check runs in optimised builds only";
#endif
    const int w = 4096, h = 4096;
    TBitmap32 b;
    b.SetSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.SetPixel(x, y, 0xFF000000u | static_cast<uint32_t>(y * w + x));
    TByteMap l(static_cast<size_t>(w) * h), hs(l.size());
    for (bool avx2 : {true, false}) {
        SetAvx2Enabled(avx2);
        BitmapToLumaHueSat(b, l, hs);
        SetAvx2Enabled(true);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                float hue, sat, light;
                const TColor32 c = b.Pixel(x, h - 1 - y);
                RGBtoHSL(c, hue, sat, light);
                const size_t i = static_cast<size_t>(y) * w + x;
                ASSERT_EQ(l[i], Round(light * 255.0)) << std::hex << c;
                ASSERT_EQ(hs[i], Round(hue * 31.0) * 8 + Round(sat * 7.0))
                    << std::hex << c << (avx2 ? " AVX2" : "");
            }
    }
}

TEST(Imagproc, ColourConversionOfKnownColoursAndRowOrder) {
    TBitmap32 b;
    b.SetSize(4, 2);
    // Top row: red, green, blue, grey 128; bottom row: white, black, cyan, and a colour with alpha.
    const TColor32 top[] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF808080};
    const TColor32 bottom[] = {0xFFFFFFFF, 0xFF000000, 0xFF00FFFF, 0x00FF0000};
    for (int x = 0; x < 4; ++x) {
        b.SetPixel(x, 0, top[x]);
        b.SetPixel(x, 1, bottom[x]);
    }
    TByteMap l(8), hs(8);
    BitmapToLumaHueSat(b, l, hs);
    // The picture's bottom row is map row 0.
    EXPECT_EQ(l, (TByteMap{255, 0, 128, 128, 128, 128, 128, 128}));
    EXPECT_EQ(hs, (TByteMap{0, 0, 16 * 8 + 7, 7, 7, 10 * 8 + 7, 21 * 8 + 7, 0}));
}

TEST(Imagproc, ConversionMatchesPlainOnRandomPictures) {
    ForEachKernelVariant([] {
        for (const auto& [w, h] : Sizes) {
            const TBitmap32 b = RandomBitmap(w, h, w * 31 + h);
            const size_t n = static_cast<size_t>(w) * h;
            TByteMap l(n), hs(n);
            Plain::Bytes pl(n), phs(n);
            BitmapToLumaHueSat(b, l, hs);
            Plain::BitmapToLumaHueSat(b, pl, phs);
            EXPECT_EQ(l, pl) << w << "x" << h;
            EXPECT_EQ(hs, phs) << w << "x" << h;
        }
    });
}

TEST(Imagproc, PointOperations) {
    TByteMap m = {0, 1, 127, 128, 129, 255};
    ThresholdMap(m, 3, 2);
    EXPECT_EQ(m, (TByteMap{0, 0, 0, 0, 255, 255}));
    TByteMap v = RandomBytes(77, 3), orig = v;
    InvertMap(v, 7, 11);
    EXPECT_EQ(v[5], 255 - orig[5]);
    InvertMap(v, 7, 11);
    EXPECT_EQ(v, orig);
    TByteMap copy(77);
    CopyMap(orig, copy, 11, 7);
    EXPECT_EQ(copy, orig);
    TSmallIntMap a = {510, -1020, 3, 0}, b = {0, 0, -4, 0};
    TByteMap mag(4);
    GradientMagnitude(a, b, mag, 2, 2);
    EXPECT_EQ(mag, (TByteMap{255, 255, 7, 0}));
    TByteMap small(3);
    EXPECT_THROW(InvertMap(small, 2, 2), Exception);
}

TEST(Imagproc, SobelOfASinglePoint) {
    const int w = 7, h = 7, x = 3, y = 3;
    TByteMap src(w * h, 0);
    src[y * w + x] = 255;
    TSmallIntMap v(w * h, 0), hz(w * h, 0);
    SobelVertical(src, v, w, h);
    SobelHorizontal(src, hz, w, h);
    auto at = [&](const TSmallIntMap& m, int X, int Y) { return m[Y * w + X]; };
    EXPECT_EQ(at(v, x, y + 1), 510);
    EXPECT_EQ(at(v, x - 1, y + 1), 255);
    EXPECT_EQ(at(v, x + 1, y + 1), 255);
    EXPECT_EQ(at(v, x, y - 1), -510);
    EXPECT_EQ(at(v, x + 1, y - 1), -255);
    EXPECT_EQ(at(v, x, y), 0);
    EXPECT_EQ(at(hz, x + 1, y), 510);
    EXPECT_EQ(at(hz, x + 1, y - 1), 255);
    EXPECT_EQ(at(hz, x - 1, y), -510);
    EXPECT_EQ(at(hz, x - 1, y + 1), -255);
}

TEST(Imagproc, SobelAndBlurMatchPlainOnRandomMaps) {
    ForEachKernelVariant([] {
        for (const auto& [w, h] : Sizes) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
            const size_t n = static_cast<size_t>(w) * h;
            const TByteMap src = RandomBytes(n, w * 7 + h);
            // Outputs start from nonzero garbage in the fast path only where the operation
            // writes everything; elsewhere both start at zero.
            TSmallIntMap v(n), hz(n);
            Plain::Shorts pv(n), phz(n);
            SobelVertical(src, v, w, h);
            SobelHorizontal(src, hz, w, h);
            Plain::SobelVertical(src, pv, w, h);
            Plain::SobelHorizontal(src, phz, w, h);
            EXPECT_EQ(v, pv);
            EXPECT_EQ(hz, phz);

            TSmallIntMap a = RandomShorts(n, 5), b = RandomShorts(n, 6);
            TByteMap mag(n);
            Plain::Bytes pmag(n);
            GradientMagnitude(a, b, mag, w, h);
            Plain::GradientMagnitude(a, b, pmag, w, h);
            EXPECT_EQ(mag, pmag);

            TByteMap blurred(n, 0x55);
            Plain::Bytes pblurred(n);
            GaussianBlur5x5(src, blurred, w, h);
            Plain::GaussianBlur5x5(src, pblurred, w, h);
            EXPECT_EQ(blurred, pblurred);

            for (int count : {0, 1, 2, 3, 10}) {
                TByteMap r(n, 0x33);
                Plain::Bytes pr(n);
                RepeatGaussianBlur(src, r, w, h, count);
                Plain::RepeatGaussianBlur(src, pr, w, h, count);
                EXPECT_EQ(r, pr) << count << " passes";
                TByteMap m = src;
                Plain::Bytes pm = src;
                BlurMap(m, w, h, count);
                Plain::BlurMap(pm, w, h, count);
                EXPECT_EQ(m, pm) << count << " passes in place";
            }
        }
    });
}

TEST(Imagproc, BlurKeepsUniformMapsAndTheFrame) {
    const int w = 20, h = 15;
    TByteMap uniform(w * h, 77);
    BlurMap(uniform, w, h, 10);
    EXPECT_EQ(uniform, TByteMap(w * h, 77));
    TByteMap m = RandomBytes(w * h, 9), before = m;
    BlurMap(m, w, h, 10);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (x < 2 || x > w - 3 || y < 2 || y > h - 3) {
                EXPECT_EQ(m[y * w + x], before[y * w + x]);
            }
    TByteMap same = before;
    RepeatGaussianBlur(same, same, w, h, 3); // the same map as source and destination
    TByteMap expected(w * h);
    RepeatGaussianBlur(before, expected, w, h, 3);
    EXPECT_EQ(same, expected);
}

TEST(Imagproc, MatchesPlainOnThePhotos) {
    for (const TTestPhoto& photo : TestPhotos()) {
        const int w = photo.W, h = photo.H;
        const size_t n = photo.N;
        Plain::Bytes pl(n), phs(n);
        Plain::BitmapToLumaHueSat(photo.Picture, pl, phs);
        Plain::InvertMap(pl, w, h);
        Plain::Shorts pv(n), phz(n);
        Plain::SobelVertical(pl, pv, w, h);
        Plain::SobelHorizontal(pl, phz, w, h);
        Plain::Bytes pmag(n);
        Plain::GradientMagnitude(pv, phz, pmag, w, h);
        Plain::BlurMap(pmag, w, h, 10);
        ForEachKernelVariant([&] {
            TByteMap l(n), hs(n);
            BitmapToLumaHueSat(photo.Picture, l, hs);
            InvertMap(l, w, h);
            EXPECT_EQ(l, pl) << photo.Name;
            EXPECT_EQ(hs, phs) << photo.Name;
            TSmallIntMap v(n), hz(n);
            SobelVertical(l, v, w, h);
            SobelHorizontal(l, hz, w, h);
            EXPECT_EQ(v, pv) << photo.Name;
            EXPECT_EQ(hz, phz) << photo.Name;
            TByteMap mag(n);
            GradientMagnitude(v, hz, mag, w, h);
            BlurMap(mag, w, h, 10);
            EXPECT_EQ(mag, pmag) << photo.Name;
        });
    }
}
