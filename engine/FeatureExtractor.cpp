// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/FeatureExtractor.h"

#include "engine/EdgeDetection.h"
#include "engine/MapCheck.h"
#include "engine/OrientationField.h"
#include "engine/ParallelRows.h"
#include "engine/SimdKernels.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"

namespace {

template <typename TMap>
void Release(TMap& Map) {
    TMap().swap(Map);
}

// One row of feature pixels: alpha direction, red darkness, green hue/saturation, blue edges.
QUOR_KERNEL void ComposeRowBody(const uint8_t* __restrict Red, const uint8_t* __restrict Green,
                                const uint8_t* __restrict Blue, const uint8_t* __restrict Alpha,
                                TColor32* __restrict Out, int W) {
    for (int x = 0; x < W; ++x)
        Out[x] = static_cast<TColor32>(Alpha[x]) << 24 | static_cast<TColor32>(Red[x]) << 16 |
                 static_cast<TColor32>(Green[x]) << 8 | Blue[x];
}
QUOR_DISPATCH(ComposeRow,
              (const uint8_t* Red, const uint8_t* Green, const uint8_t* Blue, const uint8_t* Alpha,
               TColor32* Out, int W),
              (Red, Green, Blue, Alpha, Out, W))

} // namespace

std::unique_ptr<TBitmap32> TFeatureExtractor::Extract(const TBitmap32& Bitmap, TPercentEvent OnProgress,
                                                      TNotifyEvent OnStart, TNotifyEvent OnEnd) {
    TFeatureExtractor extractor(Bitmap);
    extractor.SetOnProgress(std::move(OnProgress));
    extractor.SetOnStart(std::move(OnStart));
    extractor.SetOnEnd(std::move(OnEnd));
    return extractor.Execute();
}

TFeatureExtractor::TFeatureExtractor(const TBitmap32& Bitmap)
    : Source(&Bitmap), Width(Bitmap.Width()), Height(Bitmap.Height()) {
    SetBlockSize(16);
}

TFeatureExtractor::~TFeatureExtractor() {
    ClearMaps();
}

void TFeatureExtractor::DoProgress(int32_t Percent) {
    if (OnProgress) OnProgress(this, Percent);
}

void TFeatureExtractor::ClearMaps() {
    Release(VerticalSobel);
    Release(HorizontalSobel);
    Release(Darkness);
    Release(HueSat);
    Release(Magnitude);
    Release(Edges);
    Release(Directions);
}

std::unique_ptr<TBitmap32> TFeatureExtractor::Execute() {
    if (Source->Width() != Width || Source->Height() != Height)
        RaiseException("TFeatureExtractor.Execute: the picture changed size");
    const int w = Width, h = Height;
    const size_t n = MapElements(w, h);

    if (OnStart) OnStart(this);
    DoProgress(5);
    ClearMaps();

    Darkness.resize(n);
    HueSat.resize(n);
    BitmapToLumaHueSat(*Source, Darkness, HueSat);
    InvertMap(Darkness, w, h);

    VerticalSobel.resize(n);
    ClearFrame<int16_t>(VerticalSobel, w, h);
    SobelVertical(Darkness, VerticalSobel, w, h);
    DoProgress(8);
    HorizontalSobel.resize(n);
    ClearFrame<int16_t>(HorizontalSobel, w, h);
    SobelHorizontal(Darkness, HorizontalSobel, w, h);
    DoProgress(12);

    Magnitude.resize(n);
    GradientMagnitude(VerticalSobel, HorizontalSobel, Magnitude, w, h);
    DoProgress(14);
    BlurMap(Magnitude, w, h, 10);
    DoProgress(28);

    Directions.resize(n);
    OrientationField(VerticalSobel, HorizontalSobel, Directions, w, h, BlockSize);
    DoProgress(35);
    Release(VerticalSobel);
    Release(HorizontalSobel);

    Edges.resize(n);
    ClearFrame<uint8_t>(Edges, w, h);
    DetectEdges(Darkness, Edges, w, h);
    DoProgress(50);
    ThresholdMap(Edges, w, h);
    ThinEdges(Edges, w, h);
    DoProgress(90);

    auto result = std::make_unique<TBitmap32>();
    PackEdgeFlag(Magnitude, Edges, w, h);
    Release(Magnitude);
    ComposeFeatureBitmap(Darkness, HueSat, Edges, Directions, w, h, *result);
    DoProgress(100);
    ClearMaps();
    if (OnEnd) OnEnd(this);
    return result;
}

void ComposeFeatureBitmap(std::span<const uint8_t> Darkness, std::span<const uint8_t> HueSat,
                          std::span<const uint8_t> Edges, std::span<const uint8_t> Directions, int W, int H,
                          TBitmap32& Bitmap) {
    CheckMapSize(Darkness, W, H, "ComposeFeatureBitmap");
    CheckMapSize(HueSat, W, H, "ComposeFeatureBitmap");
    CheckMapSize(Edges, W, H, "ComposeFeatureBitmap");
    CheckMapSize(Directions, W, H, "ComposeFeatureBitmap");
    Bitmap.SetSize(std::max(W, 0), std::max(H, 0));
    if (MapElements(W, H) == 0) return;
    ParallelRows(0, H, MinRowBand(W), [&](int first, int last) {
        for (int y = first; y < last; ++y) {
            const size_t row = static_cast<size_t>(y) * W;
            ComposeRow(Darkness.data() + row, HueSat.data() + row, Edges.data() + row,
                       Directions.data() + row, Bitmap.ScanLine(H - 1 - y), W);
        }
    });
}
