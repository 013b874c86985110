// Style previews: the first one, which analyses the compiled-in sample picture, and a later one,
// as the style editor draws it when a gauge is released. The default style with its border
// limit at 100, as the editor sets it when it opens: 766 strokes of about 100 steps at twice the
// sample's size. Goal: under 30 ms for a later preview.
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Random.h"
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

BENCHMARK_MAIN();
