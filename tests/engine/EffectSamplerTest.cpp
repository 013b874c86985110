// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/EffectSampler.h"

#include "engine/LineSampler.h"
#include "engine/QTypes.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Random.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

constexpr TColor32 Feat(uint8_t Direction, uint8_t Darkness, uint8_t HueSat, uint8_t Blue) {
    return (TColor32{Direction} << 24) | (TColor32{Darkness} << 16) | (TColor32{HueSat} << 8) | Blue;
}

TBitmap32 Uniform(int W, int H, TColor32 P) {
    TBitmap32 b(W, H);
    b.Clear(P);
    return b;
}

bool SamePixels(const TBitmap32& A, const TBitmap32& B) {
    return A.Width() == B.Width() && A.Height() == B.Height() &&
           std::memcmp(A.Bits(), B.Bits(), static_cast<size_t>(A.Width()) * A.Height() * 4) == 0;
}

// The bounding box of the pixels that are not white.
TRect Drawn(const TBitmap32& B) {
    TRect r{B.Width(), B.Height(), -1, -1};
    for (int y = 0; y < B.Height(); ++y)
        for (int x = 0; x < B.Width(); ++x)
            if (B.Pixel(x, y) != clWhite32) {
                r.Left = std::min(r.Left, x), r.Top = std::min(r.Top, y);
                r.Right = std::max(r.Right, x), r.Bottom = std::max(r.Bottom, y);
            }
    return r;
}

class EffectSampler : public ::testing::Test {
protected:
    void SetUp() override { RandSeed = 0; }

    // The preview's set-up, on a feature bitmap of one colour and strength.
    static void Setup(TEffectSampler& S) {
        S.SetLength(40);
        S.SetPrecision(5);
        S.SetGain(6.0f);
        S.SetWidth(1.0f);
        S.SetScale(1.0f);
        S.Density = 10;
        S.SetColorMode(cmSampledColor);
        S.SetBorderLimit(100);
    }
};

} // namespace

TEST_F(EffectSampler, BorderLimitToThreshold) {
    TBitmap32 feature(8, 8), dest(8, 8);
    TEffectSampler s(&feature, &dest);
    const struct {
        int Limit;
        int Threshold;
    } cases[] = {{100, 0}, {99, 1}, {1, 59}, {50, 30}, {0, 60}, {128, 239}, {127, 240}, {356, 0}, {255, 163}};
    for (const auto& c : cases) {
        s.SetBorderLimit(c.Limit);
        EXPECT_EQ(s.Settings.BorderThreshold, c.Threshold) << c.Limit;
    }
}

TEST_F(EffectSampler, DrawOrderIsXYFlipJitter) {
    TBitmap32 feature = Uniform(64, 64, Feat(0, 230, 0, 20));
    TBitmap32 a = Uniform(64, 64, clWhite32), b = Uniform(64, 64, clWhite32);

    TEffectSampler effect(&feature, &a);
    Setup(effect);
    const int n = StrokeCountFor(40, 10);
    RandSeed = 99;
    effect.Execute();
    const uint32_t after = RandSeed;

    // The same strokes, drawn here: x, y, then the stroke's flip and its length jitter.
    RandSeed = 99;
    for (int i = 0; i < n; ++i) {
        const int x = Random(64);
        const int y = Random(64);
        TLineSampler s(&feature, &b, nullptr);
        s.SetScale(1.0f);
        s.SetPolyStep(5);
        s.SetStart(Point(x, y));
        s.SetLength(40 + Random(4) - 2);
        s.SetGain(6.0f);
        s.SetWidth(1.0f);
        s.SetOnGetDirection([](int32_t, int32_t, THeading&) {});
        s.SetColorMode(cmSampledColor);
        s.DirectionThreshold = 0;
        s.Execute();
    }
    EXPECT_EQ(RandSeed, after);
    EXPECT_TRUE(SamePixels(a, b));
    EXPECT_NE(Drawn(a).Right, -1);
}

TEST_F(EffectSampler, StrokesTakeThePicturesOwnDirectionAndRaiseOnEmptyBitmaps) {
    // Strength 0 and direction 0 (right) everywhere, the callback answering 192 (down): with the
    // threshold at 0 the picture's direction wins, so the stroke runs to the right.
    TBitmap32 feature = Uniform(64, 64, Feat(0, 230, 0, 0));
    TBitmap32 dest = Uniform(64, 64, clWhite32);
    TEffectSampler effect(&feature, &dest);
    Setup(effect);
    effect.SetDefaultHeading(192);
    RandSeed = 5;
    effect.DrawStroke(10, 30);
    const TRect r = Drawn(dest);
    EXPECT_GT(r.Right - r.Left, 30);
    EXPECT_LT(r.Bottom - r.Top, 6);

    TBitmap32 empty;
    TEffectSampler broken(&feature, &empty);
    Setup(broken);
    try {
        broken.DrawStroke(1, 1);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Feat->Width != Dest->Width");
    }
}

TEST_F(EffectSampler, ShortLengthsStillDrawTheJitter) {
    TBitmap32 feature = Uniform(32, 32, Feat(0, 100, 0, 20));
    TBitmap32 dest = Uniform(32, 32, clWhite32);
    TEffectSampler effect(&feature, &dest);
    Setup(effect);
    effect.SetLength(5); // Random(0)
    RandSeed = 3;
    effect.DrawStroke(4, 4);
    uint32_t expected = 3;
    for (int i = 0; i < 2; ++i)
        expected = expected * 134775813u + 1u;
    EXPECT_EQ(RandSeed, expected);
}

TEST_F(EffectSampler, ColourModes) {
    // A red picture: the sampled colour keeps its hue, the fixed ink takes the ink's, the palette
    // ink without a palette always black's.
    TBitmap32 feature = Uniform(64, 64, Feat(0, 128, 7, 20)); // hue 0, saturation 1
    auto centre = [&](TColorMode Mode, TColor32 Ink) {
        TBitmap32 dest = Uniform(64, 64, clWhite32);
        TEffectSampler effect(&feature, &dest);
        Setup(effect);
        effect.SetGain(30.0f);
        effect.SetColorMode(Mode);
        effect.SetInkColor(Ink);
        RandSeed = 5;
        effect.DrawStroke(10, 32);
        return dest.Pixel(20, 32);
    };
    const TColor32 red = centre(cmSampledColor, clBlack32);
    EXPECT_GT(RedComponent(red), GreenComponent(red));
    EXPECT_EQ(GreenComponent(red), BlueComponent(red));
    const TColor32 blue = centre(cmFixedInk, clBlue32);
    EXPECT_GT(BlueComponent(blue), RedComponent(blue));
    const TColor32 grey = centre(cmPaletteInk, clBlue32);
    EXPECT_EQ(RedComponent(grey), BlueComponent(grey));
    EXPECT_EQ(GreenComponent(grey), BlueComponent(grey));
    EXPECT_NE(grey, clWhite32);
}

TEST_F(EffectSampler, BlankWhereNothingPassesOrTheScaleIsZero) {
    TBitmap32 feature = Uniform(64, 64, Feat(0, 230, 0, 127));
    TBitmap32 dest = Uniform(64, 64, clWhite32);
    TEffectSampler effect(&feature, &dest);
    Setup(effect);
    effect.SetBorderLimit(128); // threshold 239, above any strength
    effect.Execute();
    EXPECT_EQ(Drawn(dest).Right, -1);
    effect.SetBorderLimit(100);
    effect.SetScale(0.0f); // every outline point at the origin
    effect.Execute();
    EXPECT_EQ(Drawn(dest).Right, -1);
}
