// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/raster/Bitmap32.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

namespace {

constexpr TStretchFilter kFilters[] = {sfNearest, sfLinear, sfSpline, sfLanczos, sfMitchell};
constexpr TStretchFilter kKernels[] = {sfLinear, sfSpline, sfLanczos, sfMitchell};

TBitmap32 RandomPicture(int W, int H, unsigned Seed) {
    std::mt19937 rng(Seed);
    TBitmap32 b(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            b.SetPixel(x, y, static_cast<TColor32>(rng()));
    return b;
}

} // namespace

TEST(Stretch, UniformPictureStaysUniformUnderEveryFilter) {
    const TColor32 c = 0x80A0B0C0;
    const int sizes[][4] = {{7, 5, 23, 11}, {40, 30, 9, 13}, {13, 13, 13, 4},
                            {3, 2, 1, 1},   {1, 1, 6, 5},    {97, 3, 5, 17}};
    for (TStretchFilter f : kFilters)
        for (auto& s : sizes) {
            TBitmap32 src(s[0], s[1]), dst(s[2], s[3]);
            src.Clear(c);
            src.StretchFilter = f;
            dst.Clear(clBlack32);
            dst.DrawStretched(dst.BoundsRect(), src.BoundsRect(), src);
            for (int y = 0; y < s[3]; ++y)
                for (int x = 0; x < s[2]; ++x)
                    ASSERT_EQ(dst.Pixel(x, y), c) << "filter " << f << " " << s[0] << "x" << s[1] << " -> "
                                                  << s[2] << "x" << s[3] << " at " << x << ", " << y;
        }
}

TEST(Stretch, SameSizeCopiesExactlyUnderEveryFilter) {
    const TBitmap32 pic = RandomPicture(17, 11, 5);
    for (TStretchFilter f : kFilters) {
        TBitmap32 src;
        src.Assign(pic);
        src.StretchFilter = f;
        TBitmap32 dst(17, 11);
        dst.DrawStretched(dst.BoundsRect(), src.BoundsRect(), src);
        for (int y = 0; y < 11; ++y)
            for (int x = 0; x < 17; ++x)
                ASSERT_EQ(dst.Pixel(x, y), pic.Pixel(x, y)) << "filter " << f;
        // A crop: the part (3, 2)-(10, 9) at the origin of a 7 x 7 bitmap.
        TBitmap32 crop(7, 7);
        crop.DrawStretched(crop.BoundsRect(), Rect(3, 2, 10, 9), src);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 7; ++x)
                ASSERT_EQ(crop.Pixel(x, y), pic.Pixel(x + 3, y + 2)) << "filter " << f;
    }
}

TEST(Stretch, ShrinkingACheckerboardAveragesToGrey) {
    TBitmap32 src(60, 60);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x)
            src.SetPixel(x, y, (x + y) % 2 ? clWhite32 : clBlack32);
    for (TStretchFilter f : kKernels)
        for (int size : {30, 20, 12, 7}) {
            src.StretchFilter = f;
            TBitmap32 dst(size, size);
            dst.DrawStretched(dst.BoundsRect(), src.BoundsRect(), src);
            // Inside the border: at the edges the clamped taps lean toward the edge pixels.
            for (int y = 1; y < size - 1; ++y)
                for (int x = 1; x < size - 1; ++x) {
                    const TColor32 p = dst.Pixel(x, y);
                    ASSERT_NEAR(RedComponent(p), 127.5, 3) << "filter " << f << " size " << size;
                    ASSERT_EQ(RedComponent(p), GreenComponent(p));
                    ASSERT_EQ(RedComponent(p), BlueComponent(p));
                }
        }
}

TEST(Stretch, NearestEnlargesIntoBlocks) {
    TBitmap32 src(2, 2);
    src.SetPixel(0, 0, clRed32);
    src.SetPixel(1, 0, clGreen32);
    src.SetPixel(0, 1, clBlue32);
    src.SetPixel(1, 1, clWhite32);
    TBitmap32 dst(6, 4);
    dst.DrawStretched(dst.BoundsRect(), src.BoundsRect(), src);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(dst.Pixel(x, y), src.Pixel(x / 3, y / 2));
}

TEST(Stretch, BlendModeWeighsByAlphaTimesMasterAlpha) {
    TBitmap32 src(4, 4);
    src.Clear(0x80FF0000);
    const TColor32 back = 0xFF0000FF;
    for (TStretchFilter f : {sfNearest, sfLanczos}) {
        src.StretchFilter = f;
        TBitmap32 dst(8, 8);
        // Opaque drawing copies the source as it is, alpha included, MasterAlpha aside.
        dst.Clear(back);
        src.DrawMode = dmOpaque;
        src.MasterAlpha = 0x40;
        dst.DrawStretched(Rect(0, 0, 8, 8), src.BoundsRect(), src);
        EXPECT_EQ(dst.Pixel(3, 3), 0x80FF0000u);
        // Blending: weight = alpha x MasterAlpha / 255 = 0x80 x 0x40 / 255 = 32.
        dst.Clear(back);
        src.DrawMode = dmBlend;
        dst.DrawStretched(Rect(0, 0, 8, 8), src.BoundsRect(), src);
        EXPECT_EQ(dst.Pixel(5, 2), BlendChannels(0xFFFF0000, back, 32));
        src.MasterAlpha = 0;
        dst.Clear(back);
        dst.DrawStretched(Rect(0, 0, 8, 8), src.BoundsRect(), src);
        EXPECT_EQ(dst.Pixel(5, 2), back);
        src.MasterAlpha = 0xFF;
    }
}

TEST(Stretch, ClipsTheDestinationLikeTheUnclippedDraw) {
    const TBitmap32 pic = RandomPicture(13, 9, 11);
    for (TStretchFilter f : kFilters) {
        TBitmap32 src;
        src.Assign(pic);
        src.StretchFilter = f;
        TBitmap32 small(10, 8), large(60, 60);
        small.Clear(clBlack32);
        large.Clear(clBlack32);
        small.DrawStretched(Rect(-7, -5, 17, 13), Rect(1, 1, 12, 9), src);
        large.DrawStretched(Rect(23, 25, 47, 43), Rect(1, 1, 12, 9), src);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 10; ++x)
                ASSERT_EQ(small.Pixel(x, y), large.Pixel(x + 30, y + 30))
                    << "filter " << f << " at " << x << "," << y;
    }
}

TEST(Stretch, DegenerateRectanglesDrawNothing) {
    const TBitmap32 pic = RandomPicture(5, 5, 1);
    TBitmap32 src;
    src.Assign(pic);
    src.StretchFilter = sfLanczos;
    TBitmap32 dst(6, 6);
    dst.Clear(clBlack32);
    dst.DrawStretched(Rect(0, 0, 0, 6), src.BoundsRect(), src);
    dst.DrawStretched(Rect(4, 4, 2, 2), src.BoundsRect(), src);
    dst.DrawStretched(dst.BoundsRect(), Rect(2, 2, 2, 5), src);
    dst.DrawStretched(dst.BoundsRect(), Rect(10, 10, 20, 20), src); // outside the source
    dst.DrawStretched(Rect(100, 100, 200, 200), src.BoundsRect(), src);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            ASSERT_EQ(dst.Pixel(x, y), clBlack32);
    // Huge rectangles are safe.
    dst.DrawStretched(Rect(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX), src.BoundsRect(), src);
    dst.DrawStretched(dst.BoundsRect(), Rect(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX), src);
    // Drawing a bitmap onto itself reads the pixels as they were.
    TBitmap32 self;
    self.Assign(pic);
    self.DrawStretched(Rect(0, 0, 5, 5), Rect(1, 0, 5, 5), self);
    EXPECT_EQ(self.Pixel(4, 0), pic.Pixel(4, 0));
}
