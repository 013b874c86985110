// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/FeatureExtractor.h"

#include "KernelVariants.h"
#include "PlainAnalysis.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "tests/support/StripesPhoto.h"
#include "tests/support/TestPhotos.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

TBitmap32 Filled(int W, int H, TColor32 C) {
    TBitmap32 b;
    b.SetSize(W, H);
    b.Clear(C);
    return b;
}

bool SameBitmaps(const TBitmap32& A, const TBitmap32& B) {
    if (A.Width() != B.Width() || A.Height() != B.Height()) return false;
    for (int y = 0; y < A.Height(); ++y)
        for (int x = 0; x < A.Width(); ++x)
            if (A.Pixel(x, y) != B.Pixel(x, y)) return false;
    return true;
}

} // namespace

TEST(FeatureExtractor, EventsComeInOrder) {
    const TBitmap32 picture = Filled(40, 30, clGray32);
    std::vector<std::string> log;
    void* sender = nullptr;
    auto result = TFeatureExtractor::Extract(
        picture,
        [&](void* s, int percent) {
            sender = s;
            log.push_back(std::to_string(percent));
        },
        [&](void*) { log.push_back("start"); }, [&](void*) { log.push_back("end"); });
    EXPECT_EQ(
        log, (std::vector<std::string>{"start", "5", "8", "12", "14", "28", "35", "50", "90", "100", "end"}));
    EXPECT_NE(sender, nullptr);
    auto quiet = TFeatureExtractor::Extract(picture);
    EXPECT_TRUE(SameBitmaps(*result, *quiet));
}

TEST(FeatureExtractor, AnExceptionEndsTheAnalysisWithoutEnd) {
    const TBitmap32 picture = Filled(20, 20, clWhite32);
    bool ended = false;
    EXPECT_THROW(TFeatureExtractor::Extract(
                     picture,
                     [](void*, int percent) {
                         if (percent == 28) RaiseException("stop");
                     },
                     nullptr, [&](void*) { ended = true; }),
                 Exception);
    EXPECT_FALSE(ended);

    TBitmap32 changing = Filled(20, 20, clWhite32);
    TFeatureExtractor extractor(changing);
    changing.SetSize(30, 10);
    EXPECT_THROW(extractor.Execute(), Exception);
    EXPECT_TRUE(extractor.Darkness.empty());
}

TEST(FeatureExtractor, UniformPictures) {
    struct {
        TColor32 Colour;
        uint8_t Red, Green;
    } cases[] = {{clWhite32, 0, 0},
                 {0xFFFF0000, 127, 7},
                 {0xFF00FF00, 127, 87},
                 {0xFF0000FF, 127, 175},
                 {0xFF808080, 127, 0}};
    for (const auto& c : cases) {
        const int w = 64, h = 48;
        auto f = TFeatureExtractor::Extract(Filled(w, h, c.Colour));
        ASSERT_EQ(f->Width(), w);
        ASSERT_EQ(f->Height(), h);
        for (int r = 0; r < h; ++r)
            for (int x = 0; x < w; ++x) {
                const TColor32 p = f->Pixel(x, r);
                ASSERT_EQ(RedComponent(p), c.Red) << std::hex << c.Colour;
                ASSERT_EQ(GreenComponent(p), c.Green) << std::hex << c.Colour;
                ASSERT_EQ(BlueComponent(p), 0);
                // Every block has angle 0, so every pixel, to the four sides, has direction 0.
                ASSERT_EQ(AlphaComponent(p), 0) << x << "," << r;
            }
    }
}

TEST(FeatureExtractor, EdgeDirectionsAndRowOrder) {
    const int w = 128, h = 128;
    // Dark on the left: a vertical edge, direction 64.
    TBitmap32 vertical = Filled(w, h, clWhite32);
    vertical.FillRect(0, 0, 64, h, clBlack32);
    auto f = TFeatureExtractor::Extract(vertical);
    EXPECT_EQ(AlphaComponent(f->Pixel(64, 64)), 64);
    EXPECT_EQ(RedComponent(f->Pixel(10, 10)), 255);
    EXPECT_EQ(RedComponent(f->Pixel(100, 10)), 0);
    // A border runs along the edge, and the strength is high there.
    int borders = 0;
    for (int x = 60; x < 68; ++x)
        borders += (BlueComponent(f->Pixel(x, 64)) & 128) != 0;
    EXPECT_GE(borders, 1);
    EXPECT_GT(BlueComponent(f->Pixel(63, 64)) & 127, 20);

    // Dark at the top of the picture: a horizontal edge, direction 0; the dark rows of the
    // feature bitmap are the picture's top rows, not mirrored.
    TBitmap32 horizontal = Filled(w, h, clWhite32);
    horizontal.FillRect(0, 0, w, 40, clBlack32);
    f = TFeatureExtractor::Extract(horizontal);
    EXPECT_EQ(RedComponent(f->Pixel(64, 5)), 255);
    EXPECT_EQ(RedComponent(f->Pixel(64, 120)), 0);
    EXPECT_EQ(AlphaComponent(f->Pixel(64, 40)), 0);

    // Rising to the right at 45 degrees: direction 32.
    TBitmap32 diagonal = Filled(w, h, clWhite32);
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x)
            if (x + r < w) diagonal.SetPixel(x, r, clBlack32);
    f = TFeatureExtractor::Extract(diagonal);
    EXPECT_EQ(AlphaComponent(f->Pixel(64, 63)), 32);
}

// The distance between two direction bytes, along the turn.
int DirectionSteps(int A, int B) {
    const int d = std::abs(A - B) % 256;
    return std::min(d, 256 - d);
}

TEST(FeatureExtractor, StripesHaveTheirDirectionToTheFourSides) {
    // Sides that are multiples of the block size, and one that is not.
    for (const auto& [w, h] : {std::pair{192, 128}, {160, 160}, {171, 133}})
        for (const double degrees : {30.0, -55.0, 12.0}) {
            const int expected =
                static_cast<int>(std::lround((degrees < 0 ? degrees + 360 : degrees) / 360 * 255));
            auto f = TFeatureExtractor::Extract(StripesPhoto(w, h, degrees));
            int worst = 0;
            for (int r = 0; r < h; ++r)
                for (int x = 0; x < w; ++x) {
                    const int steps = DirectionSteps(AlphaComponent(f->Pixel(x, r)), expected);
                    ASSERT_LE(steps, 2)
                        << w << "x" << h << " at " << degrees << " degrees, pixel " << x << "," << r;
                    worst = std::max(worst, steps);
                }
            // The corners and the last row and column are among the pixels checked above.
            EXPECT_LE(DirectionSteps(AlphaComponent(f->Pixel(w - 1, h - 1)), expected), 2);
            EXPECT_LE(DirectionSteps(AlphaComponent(f->Pixel(0, 0)), expected), 2);
        }
}

TEST(FeatureExtractor, TinyAndNarrowPictures) {
    for (const auto& [w, h] :
         {std::pair{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {1, 300}, {300, 1}, {5, 200}}) {
        TBitmap32 picture;
        picture.SetSize(w, h);
        std::mt19937 rng(w * 1000 + h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                picture.SetPixel(x, y, static_cast<TColor32>(rng()));
        auto f = TFeatureExtractor::Extract(picture);
        ASSERT_EQ(f->Width(), w);
        ASSERT_EQ(f->Height(), h);
        const TBitmap32 plain = Plain::Extract(picture);
        EXPECT_TRUE(SameBitmaps(*f, plain)) << w << "x" << h;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                EXPECT_EQ(AlphaComponent(f->Pixel(x, y)), 191);
    }
}

TEST(FeatureExtractor, MatchesPlainOnRandomPictures) {
    ForEachKernelVariant([] {
        std::mt19937 rng(17);
        for (const auto& [w, h] : {std::pair{50, 50}, {97, 61}, {128, 64}}) {
            TBitmap32 picture;
            picture.SetSize(w, h);
            // Blocks of random colours: edges of all directions with flat parts between them.
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    picture.SetPixel(x, y, 0xFF000000u | (((x / 7) * 2654435761u + (y / 5) * 40503u) >> 8));
            for (int k = 0; k < 200; ++k)
                picture.SetPixel(static_cast<int>(rng() % w), static_cast<int>(rng() % h),
                                 static_cast<TColor32>(rng()));
            auto f = TFeatureExtractor::Extract(picture);
            EXPECT_TRUE(SameBitmaps(*f, Plain::Extract(picture))) << w << "x" << h;
        }
    });
}

TEST(FeatureExtractor, MatchesPlainOnThePhotos) {
    for (const TTestPhoto& photo : TestPhotos()) {
        const TBitmap32 plain = Plain::Extract(photo.Picture);
        ForEachKernelVariant([&] {
            EXPECT_TRUE(SameBitmaps(*TFeatureExtractor::Extract(photo.Picture), plain)) << photo.Name;
        });
    }
}
