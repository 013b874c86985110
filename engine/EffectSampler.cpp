// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/EffectSampler.h"

#include "engine/LineSampler.h"
#include "engine/QTypes.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Random.h"

TEffectSampler::TEffectSampler(const TBitmap32* AFeature, TBitmap32* ADest)
    : Feature(AFeature), Dest(ADest) {}

void TEffectSampler::Execute() {
    const int32_t n = StrokeCountFor(Settings.Length, Density);
    for (int32_t i = 0; i < n; ++i) {
        const int32_t x = Random(Feature->Width());
        const int32_t y = Random(Feature->Height());
        DrawStroke(x, y);
    }
}

void TEffectSampler::DrawStroke(int32_t X, int32_t Y) {
    TLineSampler stroke(Feature, Dest, nullptr);
    stroke.SetStart(Point(X, Y));
    stroke.SetUp(Settings);
    // Every direction sample inside the picture takes the picture's own direction: the direction
    // source only selects the smoothed walk.
    stroke.DirectionThreshold = 0;
    stroke.SetOnGetDirection([this](int32_t DX, int32_t DY, THeading& H) { GetDefaultHeading(DX, DY, H); });
    stroke.Execute();
}

void TEffectSampler::GetDefaultHeading(int32_t, int32_t, THeading& Heading) {
    Heading = DefaultHeading;
}
