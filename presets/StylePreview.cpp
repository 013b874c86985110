// SPDX-License-Identifier: GPL-3.0-or-later
// The style preview: the compiled-in sample picture is analysed once into a feature bitmap, and
// each style scatters its strokes over it into a 512 x 512 white picture.
#include "engine/EffectSampler.h"
#include "engine/FeatureExtractor.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Streams.h"
#include "platform/system/BusyCursor.h"
#include "presets/DemoStyle.h"
#include "presets/Styles.h"

namespace {

constexpr int PreviewSize = 512;
constexpr TColor32 PreviewInk = 0xFF000000;

} // namespace

std::unique_ptr<TBitmap32> StyleSampleFeature;

void LoadStyleSampleImage() {
    TBusyCursor busy;
    const std::span<const unsigned char> data = DemoStyle();
    TMemoryStream stream;
    stream.WriteBuffer(data.data(), data.size());
    stream.SetPosition(0);
    TBitmap32 sample;
    sample.LoadFromStream(stream);
    StyleSampleFeature = TFeatureExtractor::Extract(sample);
}

TBitmap32& TQStyle::GetPreview() {
    RebuildPreview();
    return *Preview;
}

void TQStyle::BeginUpdate() {
    UpdateLock = true;
}

void TQStyle::EndUpdate() {
    if (!Dirty) return;
    UpdateLock = false;
    RebuildPreview();
}

void TQStyle::RebuildPreview() {
    if (UpdateLock) {
        Dirty = true;
        return;
    }
    if (!Dirty) return;
    if (!Preview) Preview = std::make_unique<TBitmap32>();
    Preview->SetSize(PreviewSize, PreviewSize);
    Preview->Clear(clWhite32);
    if (!StyleSampleFeature || StyleSampleFeature->Empty()) LoadStyleSampleImage();
    // The strokes only read the shared analysis, so it needs no copy.
    const TBitmap32& feature = *StyleSampleFeature;
    PreviewScale = static_cast<float>(static_cast<double>(Preview->Width()) / feature.Width());

    TEffectSampler sampler(&feature, Preview.get());
    sampler.SetLength(Length);
    sampler.SetPrecision(PolyStep);
    sampler.SetGain(Gain);
    sampler.SetWidth(Width);
    sampler.Settings.StopOnBorders = StopOnBorders;
    sampler.SetScale(PreviewScale);
    sampler.SetDefaultHeading(DefaultHeading);
    sampler.Density = PreviewDensity;
    sampler.SetInkColor(PreviewInk);
    sampler.SetColorMode(cmSampledColor);
    sampler.SetBorderLimit(BorderLimit);
    sampler.Execute();
    Dirty = false;
}
