// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/LineSampler.h"

#include "engine/FeatureExtractor.h"
#include "engine/Strokes.h"
#include "platform/formats/PictureFormats.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/HSL.h"
#include "platform/raster/Polygon32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Random.h"
#include "tests/support/JpegPhoto.h"
#include "tests/support/RaisedMessage.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <limits>
#include <new>
#include <random>
#include <string>
#include <vector>

namespace {

// A feature pixel word: alpha direction, red darkness, green hue and saturation codes, blue
// border flag (bit 7) and strength (bits 0..6).
constexpr TColor32 Feat(uint8_t Direction, uint8_t Darkness, uint8_t HueSat, uint8_t Blue) {
    return (TColor32{Direction} << 24) | (TColor32{Darkness} << 16) | (TColor32{HueSat} << 8) | Blue;
}

TBitmap32 Uniform(int W, int H, TColor32 P) {
    TBitmap32 b(W, H);
    b.Clear(P);
    return b;
}

uint32_t SeedAfter(uint32_t Seed, int Draws) {
    for (int i = 0; i < Draws; ++i)
        Seed = Seed * 134775813u + 1u;
    return Seed;
}

// Every test starts from seed 0.
class LineSampler : public ::testing::Test {
protected:
    void SetUp() override { RandSeed = 0; }

    // A sampler over Feature with no flip, whatever the generator drew.
    static std::unique_ptr<TLineSampler> Make(const TBitmap32& Feature, TBitmap32& Dest,
                                              TStrokes* Log = nullptr) {
        auto s = std::make_unique<TLineSampler>(&Feature, &Dest, Log);
        s->Flip = false;
        return s;
    }

    // The same, set for a stroke 60 pixels long from (20, Y) at scale 1: a point every 10 of
    // its path, gain 6, width 1.
    static std::unique_ptr<TLineSampler> MakeStroke(const TBitmap32& Feature, TBitmap32& Dest, int Y,
                                                    TStrokes* Log = nullptr) {
        auto s = Make(Feature, Dest, Log);
        s->SetStart(Point(20, Y));
        s->SetScale(1.0f);
        s->SetLength(60);
        s->SetPolyStep(10);
        s->SetGain(6.0f);
        s->SetWidth(1.0f);
        return s;
    }
};

// A path along +x from the start, one entry per pixel, sub-pixel positions on the pixels.
std::vector<TPathPoint> StraightPath(int N) {
    std::vector<TPathPoint> p;
    for (int i = 0; i < N; ++i)
        p.push_back(TPathPoint{i, 0, static_cast<float>(i), 0.0f});
    return p;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Construction
// ---------------------------------------------------------------------------------------------

TEST_F(LineSampler, RefusesMissingAndEmptyBitmapsWithoutDrawing) {
    TBitmap32 feature(8, 8), dest(8, 8), empty, flat(8, 0);
    RandSeed = 1234;
    EXPECT_EQ(MessageOf([&] { TLineSampler s(nullptr, &dest, nullptr); }), "Invalid Bitmap Feat");
    EXPECT_EQ(MessageOf([&] { TLineSampler s(&feature, nullptr, nullptr); }), "Invalid Bitmap Dst");
    EXPECT_EQ(MessageOf([&] { TLineSampler s(&feature, &empty, nullptr); }), "Feat->Width != Dest->Width");
    EXPECT_EQ(MessageOf([&] { TLineSampler s(&empty, &dest, nullptr); }), "Feat->Width != Dest->Width");
    EXPECT_EQ(MessageOf([&] { TLineSampler s(&feature, &flat, nullptr); }), "Feat->Height != Dest->Height");
    // The flip is drawn after the checks: a refused sampler draws nothing.
    EXPECT_EQ(RandSeed, 1234u);

    // Sizes may differ: the preview draws a 256-pixel feature bitmap into a 512-pixel drawing.
    TBitmap32 twice(16, 16);
    EXPECT_NO_THROW(TLineSampler(&feature, &twice, nullptr));
}

TEST_F(LineSampler, ConstructorStartsInTheMiddleAndDrawsOnce) {
    TBitmap32 feature(9, 7), dest(9, 7);
    RandSeed = 77;
    TLineSampler s(&feature, &dest, nullptr);
    EXPECT_EQ(RandSeed, SeedAfter(77, 1));
    EXPECT_EQ(s.Start, Point(4, 3));
    EXPECT_EQ(s.Headings, std::vector<THeading>(50, 0));
}

TEST_F(LineSampler, FlipFrom501Upwards) {
    // Seeds whose first draw of Random(1000) is 500 and 501.
    uint32_t seed500 = 0, seed501 = 0;
    bool found500 = false, found501 = false;
    for (uint32_t seed = 0; !(found500 && found501); ++seed) {
        RandSeed = seed;
        const int r = Random(1000);
        if (r == 500 && !found500) found500 = true, seed500 = seed;
        if (r == 501 && !found501) found501 = true, seed501 = seed;
    }
    TBitmap32 feature(4, 4), dest(4, 4);
    RandSeed = seed500;
    EXPECT_FALSE(TLineSampler(&feature, &dest, nullptr).Flip);
    RandSeed = seed501;
    EXPECT_TRUE(TLineSampler(&feature, &dest, nullptr).Flip);
}

// ---------------------------------------------------------------------------------------------
// Direction samples
// ---------------------------------------------------------------------------------------------

TEST_F(LineSampler, DirectionSampleTurnsNearReversalsRound) {
    TBitmap32 dest(20, 20);
    struct TCase {
        THeading Turtle;
        THeading Read;
        THeading Expected;
    } cases[] = {
        {0, 123, 123},  {0, 124, 252}, {0, 128, 0},   {0, 132, 4},     {0, 133, 133},
        {200, 72, 200}, {200, 67, 67}, {10, 138, 10}, {255, 127, 255}, {255, 122, 122},
    };
    for (const TCase& c : cases) {
        TBitmap32 feature = Uniform(20, 20, Feat(c.Read, 0, 0, 5));
        auto s = Make(feature, dest);
        TTurtle t(Point(0, 0), c.Turtle);
        t.Accumulator = 7;
        THeading h = 0;
        s->SampleDirection(t, h);
        EXPECT_EQ(t.Heading, c.Expected) << int(c.Turtle) << " " << int(c.Read);
        EXPECT_EQ(h, c.Expected);
        // The heading is assigned directly: the accumulator carries on.
        EXPECT_EQ(t.Accumulator, 7);
    }
}

TEST_F(LineSampler, FlipReversesBeforeTheReversalTest) {
    TBitmap32 dest(20, 20);
    TBitmap32 feature = Uniform(20, 20, Feat(64, 0, 0, 5));
    auto s = Make(feature, dest);
    s->Flip = true;
    TTurtle t(Point(0, 0), 0);
    THeading h = 0;
    s->SampleDirection(t, h);
    EXPECT_EQ(t.Heading, 192);
    // Reversed to 128, which is a U-turn from 0: turned back.
    TBitmap32 right = Uniform(20, 20, Feat(0, 0, 0, 5));
    auto r = Make(right, dest);
    r->Flip = true;
    TTurtle u(Point(0, 0), 0);
    r->SampleDirection(u, h);
    EXPECT_EQ(u.Heading, 0);
}

TEST_F(LineSampler, DirectionSourceAnswersWhereThePictureIsTooWeak) {
    TBitmap32 dest(20, 20);
    // Strength 1 and 2: the threshold 3 asks the source for the first, not for the second.
    TBitmap32 feature(20, 20);
    feature.Clear(Feat(10, 0, 0, 1));
    feature.SetPixel(6, 5, Feat(20, 0, 0, 2));
    auto s = Make(feature, dest);
    s->SetStart(Point(5, 5));
    std::vector<TPoint> asked;
    s->SetOnGetDirection([&](int32_t X, int32_t Y, THeading& H) {
        asked.push_back(Point(X, Y));
        H = 40;
    });
    THeading h = 0;
    TTurtle t(Point(0, 0), 0);
    EXPECT_EQ(s->DirectionThreshold, 1);
    s->DirectionThreshold = 3;
    s->SampleDirection(t, h);
    EXPECT_EQ(h, 40);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], Point(5, 5)); // absolute feature pixel
    t.X = 1;
    s->SampleDirection(t, h);
    EXPECT_EQ(h, 20);
    EXPECT_EQ(asked.size(), 1u);

    // Thresholds of 0 and below never ask, even at strength 0.
    TBitmap32 zero = Uniform(20, 20, Feat(30, 0, 0, 0));
    auto z = Make(zero, dest);
    z->SetOnGetDirection([&](int32_t, int32_t, THeading&) { FAIL() << "asked"; });
    for (int threshold : {0, -5}) {
        z->DirectionThreshold = threshold;
        TTurtle tz(Point(0, 0), 0);
        z->SampleDirection(tz, h);
        EXPECT_EQ(h, 30);
    }

    // Outside the picture the value of the previous sample stays and nobody is asked.
    z->DirectionThreshold = 1;
    TTurtle out(Point(-100, 0), 50);
    THeading kept = 50;
    z->SampleDirection(out, kept);
    EXPECT_EQ(kept, 50);
    EXPECT_EQ(out.Heading, 50);
}

// ---------------------------------------------------------------------------------------------
// The walk
// ---------------------------------------------------------------------------------------------

TEST_F(LineSampler, ShortDirectionWalkReadsEveryTwentySteps) {
    // Strength 0 everywhere: with the threshold 1 every direction comes from the source.
    TBitmap32 feature = Uniform(100, 100, Feat(0, 100, 0, 0));
    TBitmap32 dest(100, 100);
    auto s = Make(feature, dest);
    s->SetStart(Point(50, 20));
    s->SetLength(29);
    std::vector<TPoint> asked;
    s->SetOnGetDirection([&](int32_t X, int32_t Y, THeading& H) {
        asked.push_back(Point(X, Y));
        H = 192; // down
    });
    s->Execute();
    EXPECT_EQ(s->Length, 29);
    EXPECT_EQ(s->Headings, std::vector<THeading>(29, 0));
    EXPECT_TRUE(static_cast<bool>(s->OnGetDirection));
    EXPECT_EQ(asked, (std::vector<TPoint>{Point(50, 20), Point(50, 40)}));
    // Straight down, the neighbour pixel one to the right of each main pixel.
    ASSERT_FALSE(s->Path.empty());
    EXPECT_EQ(s->Path.back().Y, 28);
}

TEST_F(LineSampler, LongDirectionWalkFollowsTheSmoothedCurve) {
    TBitmap32 feature = Uniform(100, 100, Feat(0, 100, 0, 0));
    TBitmap32 dest(100, 100);
    auto s = Make(feature, dest);
    s->SetStart(Point(20, 50));
    s->SetLength(30);
    int calls = 0;
    s->SetOnGetDirection([&](int32_t, int32_t, THeading& H) {
        ++calls;
        H = 0; // right
    });
    s->Execute();
    // Read at steps 0 and 20 of the smoothing walk only; then the source is dropped and the
    // walk follows the cubic (0,0) (10,0) (20,0) (29,0), whose control polygons are 29 long.
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(static_cast<bool>(s->OnGetDirection));
    EXPECT_EQ(s->Length, 29);
    EXPECT_EQ(s->Headings, std::vector<THeading>(29, 0));
    // Each step adds the pixel above (the neighbour) and the pixel itself.
    ASSERT_EQ(s->Path.size(), 57u);
    EXPECT_EQ(s->Path.back().X, 28);
    EXPECT_EQ(s->Path.back().Y, 0);
}

TEST_F(LineSampler, CurveHeadingsCountManhattanSteps) {
    TBitmap32 feature(100, 100), dest(100, 100);
    auto s = Make(feature, dest);
    s->SetBezier(Point(0, 0), Point(0, -8), Point(0, -16), Point(0, -24));
    EXPECT_EQ(s->Length, 24);
    EXPECT_EQ(s->Headings, std::vector<THeading>(24, 63)); // straight up converts to 63

    // An L-shaped control polygon: 10 right then 10 down, each stretch with its own heading.
    s->SetBezier(Point(0, 0), Point(10, 0), Point(10, 0), Point(10, 10));
    EXPECT_EQ(s->Length, static_cast<int32_t>(s->Headings.size()));
    EXPECT_GE(s->Length, 20);
    EXPECT_EQ(s->Headings.front(), 0);
    EXPECT_EQ(s->Headings.back(), 192);

    // SetBezier discards what an earlier run left.
    s->Path.push_back(TPathPoint{});
    s->LeftOutline.push_back(TFixedPoint{});
    s->SetBezier(Point(0, 0), Point(8, 0), Point(16, 0), Point(24, 0));
    EXPECT_TRUE(s->Path.empty());
    EXPECT_TRUE(s->LeftOutline.empty());
    EXPECT_EQ(s->Length, 24);

    // (-1, -1) stands for "no previous point": the stretch that leaves it is not counted.
    s->SetBezier(Point(-1, -1), Point(7, -1), Point(15, -1), Point(23, -1));
    EXPECT_EQ(s->Length, 23);
    s->SetBezier(Point(9, 9), Point(17, 9), Point(25, 9), Point(33, 9));
    EXPECT_EQ(s->Length, 24);

    // Coinciding control points give no steps; such a stroke draws nothing.
    s->SetBezier(Point(5, 5), Point(5, 5), Point(5, 5), Point(5, 5));
    EXPECT_EQ(s->Length, 0);
    EXPECT_NO_THROW(s->Execute());
    EXPECT_TRUE(s->LeftOutline.empty());
}

TEST_F(LineSampler, PathSkipsPixelsOfItsLastFourEntries) {
    TBitmap32 feature(10, 10), dest(10, 10);
    auto s = Make(feature, dest);
    s->AddPathPoint(0, 0, 0.1f, 0.1f);
    for (int x = 1; x <= 3; ++x)
        s->AddPathPoint(x, 0, 0, 0);
    s->AddPathPoint(0, 0, 0.9f, 0.9f); // four entries back: skipped, the first position stays
    EXPECT_EQ(s->Path.size(), 4u);
    EXPECT_EQ(s->Path[0].FX, 0.1f);
    s->AddPathPoint(4, 0, 0, 0);
    s->AddPathPoint(0, 0, 0.5f, 0.5f); // five back: added again
    ASSERT_EQ(s->Path.size(), 6u);
    EXPECT_EQ(s->Path[5].FX, 0.5f);
}

// ---------------------------------------------------------------------------------------------
// Sampling across the stroke
// ---------------------------------------------------------------------------------------------

TEST_F(LineSampler, SamplingRowsAlternateSidesFromTheFirstHeading) {
    TBitmap32 feature = Uniform(40, 40, Feat(0, 100, 0, 10));
    TBitmap32 dest(40, 40);
    struct TCase {
        float Width;
        int Rows;
        int Above; // steps to A's side (heading 64, up)
        int Below; // steps to B's side (heading 192, down)
    } cases[] = {{1.0f, 1, 0, 0},   {1.5f, 2, 0, 1},
                 {3.0f, 3, 1, 1},   {10.0f, 10, 4, 5},
                 {1.002f, 2, 0, 1}, {0.0f, 0, 0, 0},
                 {-2.0f, 0, 0, 0},  {std::numeric_limits<float>::quiet_NaN(), 0, 0, 0}};
    for (const TCase& c : cases) {
        auto s = Make(feature, dest);
        s->SetStart(Point(20, 20));
        s->SetLength(10);
        s->Path = {TPathPoint{}};
        s->SetWidth(c.Width);
        s->SampleAcross();
        EXPECT_EQ(s->SampleCount, c.Rows) << c.Width;
        if (c.Rows > 0) {
            EXPECT_EQ(s->DirtyRect, Rect(20, 20 - c.Above, 20, 20 + c.Below)) << c.Width;
        }
    }

    // A curve to the right has its sides up and down; one that starts upwards has them left
    // and right.
    auto s = Make(feature, dest);
    s->SetStart(Point(20, 20));
    s->SetBezier(Point(0, 0), Point(0, -8), Point(0, -16), Point(0, -24));
    s->Path = {TPathPoint{}};
    s->SetWidth(3.0f);
    s->SampleAcross();
    EXPECT_EQ(s->DirtyRect, Rect(19, 20, 21, 20));
}

TEST_F(LineSampler, PolyStepIsKeptBelowTheLength) {
    TBitmap32 feature(40, 40), dest(40, 40);
    auto s = Make(feature, dest);
    s->SetLength(10);
    s->SetPolyStep(25);
    s->SampleAcross();
    EXPECT_EQ(s->PolyStep, 9);
    s->SetPolyStep(9);
    s->SampleAcross();
    EXPECT_EQ(s->PolyStep, 9);
}

TEST_F(LineSampler, RowsStopAtTheEdgeABorderOrAWeakPixel) {
    TBitmap32 feature = Uniform(40, 10, Feat(0, 100, 0, 20));
    TBitmap32 dest(40, 10);
    feature.SetPixel(15, 5, Feat(0, 100, 0, 0x80 | 20)); // border
    feature.SetPixel(25, 5, Feat(0, 100, 0, 3));         // weak
    auto run = [&](bool StopOnBorders, uint8_t Threshold, int StartX) {
        auto s = Make(feature, dest);
        s->SetStart(Point(StartX, 5));
        s->SetLength(40);
        s->Path = StraightPath(30);
        s->SetWidth(1.0f);
        s->StopOnBorders = StopOnBorders;
        s->SetBorderThreshold(Threshold);
        s->SampleAcross();
        return std::make_pair(s->SampleCount, s->DirtyRect);
    };
    // The stopping pixel counts as touched.
    EXPECT_EQ(run(true, 5, 10), std::make_pair(5, Rect(10, 5, 15, 5)));
    EXPECT_EQ(run(false, 5, 10), std::make_pair(15, Rect(10, 5, 25, 5)));
    EXPECT_EQ(run(false, 0, 10), std::make_pair(30, Rect(10, 5, 39, 5)));
    // The right edge ends the row; the outside pixel is not touched.
    EXPECT_EQ(run(false, 0, 26), std::make_pair(14, Rect(26, 5, 39, 5)));
    // A threshold above every strength rejects the first pixel.
    EXPECT_EQ(run(false, 128, 10).first, 0);
}

TEST_F(LineSampler, SampledColoursAreTheFeaturePixelsHSL) {
    // Random feature pixels against the conversion done here, sample by sample.
    std::mt19937 rng(5);
    TBitmap32 feature(64, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            feature.SetPixel(x, y, (rng() & 0xFFFFFF7Fu) | 1u);
    TBitmap32 dest(64, 64);
    auto s = Make(feature, dest);
    s->SetStart(Point(0, 0));
    s->SetLength(4096);
    s->SetWidth(1.0f);
    int64_t r = 0, g = 0, b = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            s->Path.push_back(TPathPoint{x, y, 0, 0});
            const TColor32 p = feature.Pixel(x, y);
            const uint8_t green = GreenComponent(p);
            uint8_t cr, cg, cb;
            HSLToRGBBytes(cr, cg, cb, static_cast<float>((green >> 3) / 31.0),
                          static_cast<float>((green & 7) / 7.0),
                          static_cast<float>(1.0 - RedComponent(p) / 255.0));
            r += cr, g += cg, b += cb;
        }
    s->SampleAcross();
    EXPECT_EQ(s->SampleCount, 4096);
    EXPECT_EQ(s->SumR, r);
    EXPECT_EQ(s->SumG, g);
    EXPECT_EQ(s->SumB, b);
}

// ---------------------------------------------------------------------------------------------
// Colour
// ---------------------------------------------------------------------------------------------

TEST_F(LineSampler, ColourModes) {
    TBitmap32 feature(4, 4), dest(4, 4);
    auto colour = [&](int R, int G, int B, TColorMode Mode, TColor32 Ink, float H, float S, float L) {
        auto s = Make(feature, dest);
        s->SampleCount = 3;
        s->SumR = 3 * R, s->SumG = 3 * G, s->SumB = 3 * B;
        s->SetColorMode(Mode);
        s->SetInkColor(Ink);
        s->SetHueShift(H);
        s->SetSaturationShift(S);
        s->SetLightnessShift(L);
        s->ComputeColor();
        return s->Color;
    };
    // The sample with its shifts.
    EXPECT_EQ(colour(100, 100, 100, cmSampledColor, 0, 0, 0, 0), 0xFF646464u);
    EXPECT_EQ(colour(200, 0, 0, cmSampledColor, 0, 1.0f / 3, 0, 0), 0xFF00C800u);
    // The saturation may go down to -1: a grey then turns cyan instead of staying grey.
    EXPECT_EQ(colour(64, 64, 64, cmSampledColor, 0, 0, -1.0f, 0), 0xFF008080u);
    EXPECT_EQ(colour(64, 64, 64, cmSampledColor, 0, 0, -0.5f, 0), 0xFF206060u);
    // The lightness is clamped to 0..1.
    EXPECT_EQ(colour(100, 100, 100, cmSampledColor, 0, 0, 0, 2.0f), 0xFFFFFFFFu);
    EXPECT_EQ(colour(100, 100, 100, cmSampledColor, 0, 0, 0, -2.0f), 0xFF000000u);
    // Other modes: the ink's hue and saturation with the sample's lightness; ink 0 gives grey.
    EXPECT_EQ(colour(200, 100, 50, cmFixedInk, 0, 0.5f, 0.5f, 0.5f), 0xFF7D7D7Du);
    EXPECT_EQ(colour(200, 100, 50, cmFixedInk, 0xFFFF0000u, 0, 0, 0), 0xFFFA0000u);
    EXPECT_EQ(colour(200, 100, 50, cmPaletteInk, 0x00FF0000u, 0, 0, 0), 0xFFFA0000u);
    // The averages are truncated: 3 samples summing to 302 give 100.
    auto s = Make(feature, dest);
    s->SampleCount = 3;
    s->SumR = s->SumG = s->SumB = 302;
    s->SetLightnessShift(0);
    s->SetColorMode(cmSampledColor);
    s->ComputeColor();
    EXPECT_EQ(s->Color, 0xFF646464u);
}

// ---------------------------------------------------------------------------------------------
// Outline, fill and dirty rectangle
// ---------------------------------------------------------------------------------------------

TEST_F(LineSampler, OutlineChunksDoNotShareEntriesAndDropASingleRemainder) {
    TBitmap32 feature(100, 100), dest(100, 100);
    struct TCase {
        int Entries;
        int PolyStep;
        size_t Points;
    } cases[] = {{41, 20, 2}, {45, 20, 3}, {1, 20, 0}, {40, 20, 2},
                 {5, 0, 2},   {5, 1, 2},   {6, 2, 3},  {2, 2, 1}};
    for (const TCase& c : cases) {
        auto s = Make(feature, dest);
        s->SetStart(Point(10, 50));
        s->Path = StraightPath(c.Entries);
        s->SetPolyStep(c.PolyStep);
        s->BuildOutline();
        EXPECT_EQ(s->LeftOutline.size(), c.Points) << c.Entries << " " << c.PolyStep;
        EXPECT_EQ(s->RightOutline.size(), c.Points);
        EXPECT_GE(s->PolyStep, 2);
    }
    // Each point lies across its chunk's first centre: gain 3 gives W = 1 and so a half-width
    // of 1; Scale 2 doubles everything. Left is a quarter turn on from the chord's angle, which
    // with the rows growing downwards lies below a stroke that runs to the right.
    auto s = Make(feature, dest);
    s->SetStart(Point(10, 50));
    s->Path = StraightPath(45);
    s->SetGain(3.0f);
    s->SetScale(2.0f);
    s->BuildOutline();
    ASSERT_EQ(s->LeftOutline.size(), 3u);
    EXPECT_EQ(s->LeftOutline[1], FixedPointFromInt(60, 102));
    EXPECT_EQ(s->RightOutline[1], FixedPointFromInt(60, 98));
    EXPECT_EQ(s->LeftOutline[2], FixedPointFromInt(100, 102));
}

TEST_F(LineSampler, HalfWidthFollowsTheGain) {
    TBitmap32 feature(100, 100), dest(100, 100);
    auto halfWidth = [&](float Gain) {
        auto s = Make(feature, dest);
        s->SetStart(Point(10, 50));
        s->Path = StraightPath(3);
        s->SetGain(Gain);
        s->SetScale(1.0f);
        s->BuildOutline();
        return (s->LeftOutline[0].Y - s->RightOutline[0].Y) / 2 / 65536.0;
    };
    EXPECT_NEAR(halfWidth(2.0f), 2.0 / 3, 1e-4);
    EXPECT_NEAR(halfWidth(12.0f), 4.98, 0.01);
    EXPECT_NEAR(halfWidth(16.0f), 7.23, 0.01);
}

TEST_F(LineSampler, DirtyRectangle) {
    TBitmap32 feature(50, 40), dest(100, 80);
    auto s = Make(feature, dest);
    // Untouched: empty, Left > Right and Top > Bottom.
    EXPECT_EQ(s->GetDirtyRect(), Rect(INT_MAX - 5, INT_MAX - 5, INT_MIN + 5, INT_MIN + 5));
    s->GrowDirtyRect(20.4, 10.5); // rounds to (20, 10)
    EXPECT_EQ(s->GetDirtyRect(), Rect(15, 5, 25, 15));
    s->GrowDirtyRect(49.6, 0); // rounds to 50: outside the feature bitmap
    s->GrowDirtyRect(-0.6, 0);
    s->GrowDirtyRect(1e300, -1e300); // far outside: no integer overflow
    s->GrowDirtyRect(std::numeric_limits<double>::quiet_NaN(), 3);
    EXPECT_EQ(s->GetDirtyRect(), Rect(15, 5, 25, 15));
    s->GrowDirtyRect(2, 39);
    s->GrowDirtyRect(49, 1);
    EXPECT_EQ(s->GetDirtyRect(), Rect(0, 0, 50, 40));
}

TEST_F(LineSampler, StrokeIsLoggedAndFilledFromItsOutline) {
    TTestFolder folder;
    TBitmap32 feature = Uniform(100, 100, Feat(0, 155, 0, 20)); // grey 100 everywhere, heading right
    TBitmap32 dest = Uniform(100, 100, clWhite32);
    TStrokes log(folder / "log.tsk");
    auto s = MakeStroke(feature, dest, 50, &log);
    s->SetLightnessShift(0.0f);
    s->SetColorMode(cmSampledColor);
    s->Execute();
    ASSERT_EQ(log.Count(), 1);
    EXPECT_EQ(s->Color, 0xFF646464u);
    EXPECT_EQ(s->LeftOutline.size(), 12u); // 119 path entries in chunks of 10

    TStrokeOutline logged;
    log.StartRead();
    ASSERT_TRUE(log.Read(logged));
    EXPECT_EQ(logged.Left, s->LeftOutline);
    EXPECT_EQ(logged.Right, s->RightOutline);
    EXPECT_EQ(logged.Color, s->Color);

    TBitmap32 expected = Uniform(100, 100, clWhite32);
    TPolygon32 polygon;
    polygon.Antialiased = true;
    for (const TFixedPoint& p : logged.Left)
        polygon.Add(p);
    for (auto it = logged.Right.rbegin(); it != logged.Right.rend(); ++it)
        polygon.Add(*it);
    polygon.DrawFill(expected, logged.Color);
    EXPECT_EQ(std::memcmp(dest.Bits(), expected.Bits(), 100 * 100 * 4), 0);
    EXPECT_NE(dest.Pixel(40, 50), clWhite32);
    // The dirty rectangle holds the sampled row and the outline points, plus 5 around.
    EXPECT_EQ(s->GetDirtyRect(), Rect(15, 43, 84, 57));
}

TEST_F(LineSampler, StopOnBordersEndsTheColourSamplingButNotTheStroke) {
    // Light paper left of a border column at x = 40, dark beyond it; every heading points right.
    TBitmap32 feature = Uniform(120, 100, Feat(0, 55, 0, 20));
    for (int y = 0; y < 100; ++y) {
        feature.SetPixel(40, y, Feat(0, 55, 0, 0x80 | 20));
        for (int x = 41; x < 120; ++x)
            feature.SetPixel(x, y, Feat(0, 230, 0, 20));
    }
    auto draw = [&](bool StopOnBorders, TBitmap32& Dest) {
        RandSeed = 0;
        auto s = MakeStroke(feature, Dest, 50);
        s->SetLightnessShift(0.0f);
        s->SetColorMode(cmSampledColor);
        s->StopOnBorders = StopOnBorders;
        s->Execute();
        return std::make_pair(s->LeftOutline, s->Color);
    };
    TBitmap32 stopped = Uniform(120, 100, clWhite32), crossing = Uniform(120, 100, clWhite32);
    const auto [stoppedOutline, stoppedColor] = draw(true, stopped);
    const auto [crossingOutline, crossingColor] = draw(false, crossing);
    // The same outline, laid well past the border either way.
    EXPECT_EQ(stoppedOutline, crossingOutline);
    EXPECT_NE(stopped.Pixel(70, 51), clWhite32);
    EXPECT_NE(crossing.Pixel(70, 51), clWhite32);
    // Only the colour differs: stopped, it is the light side's alone.
    EXPECT_NE(stoppedColor, crossingColor);
    EXPECT_GT(stoppedColor & 0xFF, crossingColor & 0xFF);
}

TEST_F(LineSampler, AStrokeThatCannotBeFilledIsNotLoggedEither) {
    TTestFolder folder;
    TBitmap32 feature = Uniform(100, 100, Feat(0, 155, 0, 20));
    TBitmap32 dest = Uniform(100, 100, clWhite32);
    TStrokes log(folder / "log.tsk");
    auto stroke = [&](int Y) { return MakeStroke(feature, dest, Y, &log); };
    stroke(30)->Execute();
    ASSERT_EQ(log.Count(), 1);
    TBitmap32 drawn;
    drawn.Assign(dest);
    // Keeping the pixels from before the fill fails (no memory for the undo step's copy).
    auto s = stroke(70);
    s->OnBeforeFill = [](const TRect&) { throw std::bad_alloc(); };
    EXPECT_THROW(s->Execute(), std::bad_alloc);
    EXPECT_EQ(log.Count(), 1);
    EXPECT_EQ(std::memcmp(dest.Bits(), drawn.Bits(), 100 * 100 * 4), 0);
    log.StartRead();
    TStrokeOutline logged;
    EXPECT_TRUE(log.Read(logged));
    EXPECT_FALSE(log.Read(logged));
}

TEST_F(LineSampler, StrokeWithoutSamplesDrawsAndLogsNothing) {
    TTestFolder folder;
    TBitmap32 feature = Uniform(60, 60, Feat(0, 155, 0, 20));
    TBitmap32 dest = Uniform(60, 60, clWhite32);
    TStrokes log(folder / "log.tsk");
    for (uint8_t threshold : {uint8_t{21}, uint8_t{200}}) {
        auto s = Make(feature, dest, &log);
        s->SetLength(40);
        s->SetBorderThreshold(threshold);
        s->Execute();
        EXPECT_EQ(s->SampleCount, 0);
        EXPECT_TRUE(s->LeftOutline.empty());
    }
    // A walk of one step has one path entry and so no chunk.
    auto one = Make(feature, dest, &log);
    one->SetLength(1);
    one->SetWidth(1.0f);
    one->Execute();
    EXPECT_EQ(one->SampleCount, 1);
    EXPECT_TRUE(one->LeftOutline.empty());
    EXPECT_EQ(log.Count(), 0);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x)
            ASSERT_EQ(dest.Pixel(x, y), clWhite32);
}

TEST_F(LineSampler, NearTheRightEdgeTheFillClipsAndTheRectangleStaysInside) {
    TBitmap32 feature = Uniform(50, 50, Feat(0, 155, 0, 20));
    TBitmap32 dest = Uniform(50, 50, clWhite32);
    auto s = Make(feature, dest);
    s->SetStart(Point(45, 25));
    s->SetScale(1.0f);
    s->SetLength(40);
    s->SetPolyStep(4);
    s->SetGain(6.0f);
    s->SetWidth(3.0f);
    s->Execute();
    EXPECT_GT(s->SampleCount, 0);
    EXPECT_FALSE(s->LeftOutline.empty());
    EXPECT_GT(FixedToFloat(s->LeftOutline.back().X), 50.0); // outline points beyond the picture
    const TRect r = s->GetDirtyRect();
    EXPECT_EQ(r.Right, 50);
    EXPECT_EQ(r.Left, 40);
}

TEST_F(LineSampler, TheFillChangesOnlyTheRectangleItAnnouncesBeforehand) {
    // Thick strokes from the middle and across the edges (whose outlines reach past the picture).
    TBitmap32 feature = Uniform(60, 50, Feat(0, 155, 0, 20));
    for (const TPoint start : {Point(30, 25), Point(55, 3), Point(2, 47)}) {
        TBitmap32 dest = Uniform(60, 50, clWhite32);
        auto s = Make(feature, dest);
        s->SetStart(start);
        s->SetScale(1.0f);
        s->SetLength(40);
        s->SetPolyStep(4);
        s->SetGain(9.0f);
        s->SetWidth(3.0f);
        s->SetBezier(Point(0, 0), Point(10, -30), Point(20, 30), Point(40, 5));
        std::vector<TRect> announced;
        TBitmap32 before;
        s->OnBeforeFill = [&](const TRect& R) {
            announced.push_back(R);
            before.Assign(dest);
        };
        s->Execute();
        ASSERT_EQ(announced.size(), 1u);
        int changed = 0;
        for (int y = 0; y < 50; ++y)
            for (int x = 0; x < 60; ++x)
                if (dest.Pixel(x, y) != before.Pixel(x, y)) {
                    ++changed;
                    EXPECT_TRUE(PtInRect(announced[0], Point(x, y))) << x << "," << y;
                }
        EXPECT_GT(changed, 0);
    }
}

// ---------------------------------------------------------------------------------------------
// Repeatability
// ---------------------------------------------------------------------------------------------

namespace {

struct TDrawing {
    std::vector<TColor32> Pixels;
    std::vector<TStrokeOutline> Strokes;
};

// A spray over the picture as the document lays it: start points from the generator, the
// guide's heading where the picture has no direction, every stroke logged.
TDrawing Spray(const TBitmap32& Feature, const std::string& LogName) {
    RandSeed = 0;
    TBitmap32 dest = Uniform(Feature.Width(), Feature.Height(), clWhite32);
    TStrokes log(LogName);
    for (int i = 0; i < 400; ++i) {
        const int x = Random(Feature.Width());
        const int y = Random(Feature.Height());
        if ((Feature.Pixel(x, y) & 127) < 6) continue;
        TLineSampler s(&Feature, &dest, &log);
        s.SetScale(1.0f);
        s.SetPolyStep(25);
        s.SetStart(Point(x, y));
        s.SetLength(100 + Random(10) - 5);
        s.SetGain(2.0f);
        s.SetWidth(i % 3 == 0 ? 3.0f : 1.0f);
        s.SetLightnessShift(0.0f);
        s.SetBorderThreshold(6);
        s.SetColorMode(cmSampledColor);
        s.SetOnGetDirection([](int32_t, int32_t, THeading& H) { H = 128; });
        s.Execute();
    }
    TDrawing d;
    d.Pixels.assign(dest.Bits(), dest.Bits() + static_cast<size_t>(dest.Width()) * dest.Height());
    log.StartRead();
    TStrokeOutline o;
    while (log.Read(o))
        d.Strokes.push_back(o);
    return d;
}

bool SameStrokes(const std::vector<TStrokeOutline>& A, const std::vector<TStrokeOutline>& B) {
    if (A.size() != B.size()) return false;
    for (size_t i = 0; i < A.size(); ++i)
        if (A[i].Left != B[i].Left || A[i].Right != B[i].Right || A[i].Color != B[i].Color) return false;
    return true;
}

} // namespace

TEST_F(LineSampler, SameSeedSameGesturesSameDrawing) {
    const std::string path = TestPhotoPath("photo-b.jpg");
    RegisterPictureFormats();
    TBitmap32 photo;
    photo.LoadFromFile(path);
    const auto feature = TFeatureExtractor::Extract(photo);
    TTestFolder folder;
    const TDrawing first = Spray(*feature, folder / "a.tsk");
    const TDrawing second = Spray(*feature, folder / "b.tsk");
    EXPECT_GT(first.Strokes.size(), 50u);
    EXPECT_TRUE(first.Pixels == second.Pixels);
    EXPECT_TRUE(SameStrokes(first.Strokes, second.Strokes));
    size_t changed = 0;
    for (TColor32 p : first.Pixels)
        changed += p != clWhite32;
    EXPECT_GT(changed, 1000u);
}
