// SPDX-License-Identifier: GPL-3.0-or-later
// Style previews: the first one, which analyses the compiled-in sample picture, and a later one,
// as the style editor draws it when a gauge is released. The default style with its border
// limit at 100, as the editor sets it when it opens: 766 strokes of about 100 steps at twice the
// sample's size. Goal: under 30 ms for a later preview.
//
// Pattern thumbnails: the main window's 40 x 40 thumbnail, drawn on an 80 x 80 working bitmap,
// of the largest pattern file that loads: 1,000 frames of 200 curves each (6.4 MB). Goal: under
// a second, so that such a file beside the program does not stall the start.
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Random.h"
#include "presets/Patterns.h"
#include "presets/Styles.h"

#include <benchmark/benchmark.h>

namespace {
void EditorStyle(TQStyle& Style) {
    Style.SetBorderLimit(100);
}
} // namespace

static void BM_Preview_First(benchmark::State& State) {
    TQStyle style;
    EditorStyle(style);
    for (auto _ : State) {
        StyleSampleFeature.reset();
        RandSeed = 0;
        style.SetLength(100);
        benchmark::DoNotOptimize(style.GetPreview().Bits());
    }
}
BENCHMARK(BM_Preview_First)->Unit(benchmark::kMillisecond);

static void BM_Preview_Again(benchmark::State& State) {
    TQStyle style;
    EditorStyle(style);
    style.GetPreview(); // the sample is analysed here, once
    for (auto _ : State) {
        RandSeed = 0;
        style.SetLength(100);
        benchmark::DoNotOptimize(style.GetPreview().Bits());
    }
}
BENCHMARK(BM_Preview_Again)->Unit(benchmark::kMillisecond);

static void BM_PatternThumbnail_1000Frames(benchmark::State& State) {
    TPattern pattern;
    for (int f = 0; f < MaxFileFrames; ++f) {
        auto frame = std::make_unique<TPatternFrame>();
        for (int c = 0; c < 200; ++c)
            frame->AddCurve(TBezierCurve{{c, f % 200}, {c + 30, 10}, {c + 60, 100}, {c + 5, 200 - f % 200}});
        pattern.Frames.push_back(std::move(frame));
    }
    TBitmap32 work(80, 80);
    pattern.SetTarget(&work);
    for (auto _ : State) {
        work.Clear(0xFFFFFFFF);
        benchmark::DoNotOptimize(pattern.Thumbnail(40, 40)->Bits());
    }
}
BENCHMARK(BM_PatternThumbnail_1000Frames)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
