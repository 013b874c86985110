#include "engine/EffectSampler.h"

#include "engine/QTypes.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Random.h"
#include "platform/rtl/Round.h"

TEffectSampler::TEffectSampler(const TBitmap32* AFeature, TBitmap32* ADest)
    : Feature(AFeature), Dest(ADest) {}

void TEffectSampler::SetBorderLimit(int32_t Limit) {
    BorderThreshold = static_cast<uint8_t>(Round((100 - (Limit & 255)) / 100.0 * 60));
}

void TEffectSampler::Execute() {
    const int32_t n = StrokeCountFor(Length, Density);
    for (int32_t i = 0; i < n; ++i) {
        const int32_t x = Random(Feature->Width());
        const int32_t y = Random(Feature->Height());
        DrawStroke(x, y);
    }
}

void TEffectSampler::DrawStroke(int32_t X, int32_t Y) {
    // With the threshold at 0 every direction sample inside the picture takes the picture's own
    // direction: the direction source only selects the smoothed walk.
    struct TThresholdGuard {
        int32_t Saved = DirectionThreshold;
        TThresholdGuard() { DirectionThreshold = 0; }
        ~TThresholdGuard() { DirectionThreshold = Saved; }
    } guard;
    TLineSampler stroke(Feature, Dest, nullptr);
    stroke.SetScale(Scale);
    stroke.SetPolyStep(PolyStep);
    stroke.SetStart(Point(X, Y));
    stroke.SetLength(Length + Random(Length / 10) - Length / 20);
    stroke.SetGain(Gain);
    stroke.SetWidth(Width);
    stroke.StopOnBorders = StopOnBorders;
    stroke.SetOnGetDirection([this](int32_t DX, int32_t DY, THeading& H) { GetDefaultHeading(DX, DY, H); });
    stroke.SetBorderThreshold(BorderThreshold);
    // The palette mode draws with black's hue and saturation: grey shades of the sampled lightness.
    stroke.SetInkColor(ColorMode == cmPaletteInk ? Color32(0, 0, 0, 255) : InkColor);
    stroke.SetColorMode(ColorMode);
    stroke.Execute();
}

void TEffectSampler::GetDefaultHeading(int32_t, int32_t, THeading& Heading) {
    Heading = DefaultHeading;
}
