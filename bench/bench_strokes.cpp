// SPDX-License-Identifier: GPL-3.0-or-later
// Pen strokes: generating them on an analysed photo, one by one and as the dabs of a spray, and
// logging strokes and reading them back.
#include "engine/FeatureExtractor.h"
#include "engine/LineSampler.h"
#include "engine/QTypes.h"
#include "engine/Strokes.h"
#include "platform/formats/PictureFormats.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Random.h"
#include "platform/rtl/Round.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace {
std::string LogPath() {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/~bench" + std::to_string(getpid()) +
           "tsk";
}

TStrokeOutline MakeStroke(int I, int PointsPerSide) {
    TStrokeOutline s;
    s.Color = 0xFF000000u | static_cast<uint32_t>(I * 2654435761u >> 8);
    for (int k = 0; k < PointsPerSide; ++k) {
        s.Left.push_back({(I % 1000) * 65536 + k * 163840, (I / 1000) * 65536 + k * 3000});
        s.Right.push_back({(I % 1000) * 65536 + k * 163840 + 40000, (I / 1000) * 65536 + k * 3000 + 90000});
    }
    return s;
}
} // namespace

// One undo step's log: 100,000 strokes added, then read back in full. The argument is the
// number of outline points per side (the default style gives a handful; long strokes more).
static void BM_LogAndRead100k(benchmark::State& State) {
    const int points = static_cast<int>(State.range(0));
    constexpr int Strokes = 100000;
    std::vector<TStrokeOutline> strokes;
    strokes.reserve(1000);
    for (int i = 0; i < 1000; ++i)
        strokes.push_back(MakeStroke(i, points));
    const std::string path = LogPath();
    int64_t bytes = 0;
    for (auto _ : State) {
        TStrokes log(path);
        for (int i = 0; i < Strokes; ++i)
            log.Add(strokes[static_cast<size_t>(i % 1000)]);
        log.StartRead();
        TStrokeOutline s;
        int n = 0;
        while (log.Read(s))
            ++n;
        if (n != Strokes) State.SkipWithError("strokes lost");
        bytes = log.BufferSize();
        benchmark::DoNotOptimize(s);
    }
    State.SetItemsProcessed(State.iterations() * Strokes);
    State.SetBytesProcessed(State.iterations() * bytes);
    State.counters["log_MB"] = static_cast<double>(bytes) / 1048576.0;
}
BENCHMARK(BM_LogAndRead100k)->Arg(5)->Arg(20)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------------------------
// Stroke generation
// ---------------------------------------------------------------------------------------------

namespace {

// The 1-megapixel photo, analysed once.
struct TPicture {
    std::unique_ptr<TBitmap32> Feature;
    std::string Error;
};

const TPicture& Picture() {
    static const TPicture picture = [] {
        TPicture p;
        try {
            RegisterPictureFormats();
            TBitmap32 photo;
            photo.LoadFromFile(std::string(QUOR_TEST_DATA) + "/photo-a.jpg");
            p.Feature = TFeatureExtractor::Extract(photo);
        } catch (const std::exception& e) {
            p.Error = e.what();
        }
        return p;
    }();
    return picture;
}

// The document's settings with the default style: precision 25, gain 2.0, width 1.0, stop on
// borders, colour mode 1 without shifts, border limit 90 (strength threshold 6), Scale 1, and
// the guide's heading 128 where the picture has no direction.
TStrokeSettings DefaultStyle(int Length) {
    TStrokeSettings settings;
    settings.Scale = 1.0f;
    settings.PolyStep = 25;
    settings.Length = Length;
    settings.Gain = 2.0f;
    settings.Width = 1.0f;
    settings.StopOnBorders = true;
    settings.LightnessShift = 0;
    settings.BorderThreshold = 6;
    settings.InkColor = clBlack32;
    settings.ColorMode = cmSampledColor;
    return settings;
}

// One stroke as the document lays it at (X, Y); False when the start test fails.
bool StrokeAt(const TBitmap32& Feature, TBitmap32& Dest, TStrokes& Log, int X, int Y,
              const TStrokeSettings& Style) {
    if (X < 0 || X >= Feature.Width() || Y < 0 || Y >= Feature.Height()) return false;
    if ((Feature.Pixel(X, Y) & 127) < Style.BorderThreshold) return false;
    TLineSampler s(&Feature, &Dest, &Log);
    s.SetStart(Point(X, Y));
    s.SetUp(Style);
    s.SetOnGetDirection([](int32_t, int32_t, THeading& H) { H = 128; });
    s.Execute();
    benchmark::DoNotOptimize(s.GetDirtyRect());
    return true;
}

// A fresh log now and then, so that the file does not grow without end.
constexpr int StrokesPerLog = 20000;

} // namespace

// Strokes of length 100 at random points of the photo that pass the start test: create, set up,
// execute (walk, sampling, colour, outline, log, fill), dirty rectangle, free.
static void BM_Stroke_Default(benchmark::State& State) {
    const TPicture& picture = Picture();
    if (!picture.Feature) {
        State.SkipWithError(picture.Error.c_str());
        return;
    }
    const TBitmap32& feature = *picture.Feature;
    TBitmap32 dest(feature.Width(), feature.Height());
    dest.Clear(clWhite32);
    const std::string path = LogPath();
    auto log = std::make_unique<TStrokes>(path);
    const TStrokeSettings style = DefaultStyle(100);
    RandSeed = 0;
    int64_t strokes = 0;
    for (auto _ : State) {
        while (!StrokeAt(feature, dest, *log, Random(feature.Width()), Random(feature.Height()), style)) {}
        if (++strokes % StrokesPerLog == 0) {
            State.PauseTiming();
            log.reset();
            log = std::make_unique<TStrokes>(path);
            State.ResumeTiming();
        }
    }
    State.SetItemsProcessed(State.iterations());
}
BENCHMARK(BM_Stroke_Default)->Unit(benchmark::kMicrosecond);

// One dab of the spray as the document lays it: StrokeCountFor(80, 50) = 163 points at a random
// angle and radius within the brush (size 50) around a random centre, a stroke of length 80 at
// each that passes the start test.
static void BM_Dab163(benchmark::State& State) {
    const TPicture& picture = Picture();
    if (!picture.Feature) {
        State.SkipWithError(picture.Error.c_str());
        return;
    }
    const TBitmap32& feature = *picture.Feature;
    TBitmap32 dest(feature.Width(), feature.Height());
    dest.Clear(clWhite32);
    const std::string path = LogPath();
    auto log = std::make_unique<TStrokes>(path);
    const TStrokeSettings style = DefaultStyle(80);
    RandSeed = 0;
    const int n = StrokeCountFor(80, 50);
    constexpr int Size = 50;
    int64_t drawn = 0;
    for (auto _ : State) {
        const int cx = Random(feature.Width());
        const int cy = Random(feature.Height());
        for (int i = 0; i < n; ++i) {
            const float a = static_cast<float>(Random(6283) / 1000.0);
            const int r = Random(Size);
            drawn += StrokeAt(feature, dest, *log, Round(cx + r * std::cos(static_cast<double>(a))),
                              Round(cy + r * std::sin(static_cast<double>(a))), style);
        }
        if (log->Count() > StrokesPerLog) {
            State.PauseTiming();
            log.reset();
            log = std::make_unique<TStrokes>(path);
            State.ResumeTiming();
        }
    }
    State.SetItemsProcessed(State.iterations());
    State.counters["strokes_drawn"] =
        benchmark::Counter(static_cast<double>(drawn) / static_cast<double>(State.iterations()));
}
BENCHMARK(BM_Dab163)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
