// SPDX-License-Identifier: GPL-3.0-or-later
// Repainting an image view: what every mouse move over a drawing costs, as the cursor layer
// repaints the active view. A 1-megapixel photo at half opacity (the source view) and an opaque
// drawing (the destination view), each in a 960 x 800 viewport, with the curve layer holding one
// band and a dashed brush circle on top.
#include "engine/QTypes.h"
#include "platform/raster/Image32.h"
#include "presets/PolyBezierLayer.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

void FillPhoto(TBitmap32& Bitmap) {
    Bitmap.SetSize(1024, 1024);
    uint32_t seed = 1;
    for (int y = 0; y < Bitmap.Height(); ++y)
        for (int x = 0; x < Bitmap.Width(); ++x) {
            seed = seed * 134775813u + 1;
            Bitmap.SetPixel(x, y, 0xFF000000u | (seed >> 8));
        }
}

void Repaint(benchmark::State& State, bool Faded) {
    TImgView32 view;
    view.SetViewportSize(960, 800);
    FillPhoto(view.Bitmap);
    if (Faded) {
        view.Bitmap.MasterAlpha = 128;
        view.Bitmap.DrawMode = dmBlend;
    }
    view.SetScroll(30, 100);
    TPolyBezierLayer curves(&view);
    auto band = std::make_unique<TPolyBezier>(Point(100, 100));
    band->AddBezier(Point(300, 50), Point(500, 400), Point(700, 300));
    band->SetBandWidth(40.0f);
    curves.Add(std::move(band));
    auto* cursor = view.Layers().Add<TPositionedLayer>();
    cursor->OnPaint = [](TCustomLayer*, TBitmap32& Buffer) {
        DrawDashedCircle(Buffer, Point(480, 400), 0xFFFFFFFF, 50.0f, 0xFF000000);
    };
    for (auto _ : State) {
        view.Invalidate();
        view.UpdateBuffer();
        benchmark::DoNotOptimize(view.Buffer.Bits());
    }
}

void BM_RepaintSourceView(benchmark::State& State) {
    Repaint(State, true);
}
void BM_RepaintDestinationView(benchmark::State& State) {
    Repaint(State, false);
}

} // namespace

BENCHMARK(BM_RepaintSourceView)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RepaintDestinationView)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
