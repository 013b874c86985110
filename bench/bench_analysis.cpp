// SPDX-License-Identifier: GPL-3.0-or-later
// The picture analysis: the whole feature extraction and each of its stages, on the shared
// photos at their own size and scaled to about 6 megapixels, on one thread and on all cores.
//
// The counter PeakMB is the largest amount of heap memory the analysis held at once, above what
// was allocated before it started (the source picture not included, the feature bitmap
// included).
#include "engine/EdgeDetection.h"
#include "engine/FeatureExtractor.h"
#include "engine/OrientationField.h"
#include "engine/ParallelRows.h"
#include "engine/imagproc.h"
#include "platform/formats/PictureFormats.h"
#include "platform/raster/Bitmap32.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <new>
#include <string>

// ---------------------------------------------------------------------------------------------
// Heap accounting: every allocation of the program passes here.
// ---------------------------------------------------------------------------------------------

namespace {
std::atomic<int64_t> HeapNow{0};
std::atomic<int64_t> HeapPeak{0};

void* CountedAlloc(size_t Size) {
    void* p = std::malloc(Size + 16);
    if (p == nullptr) throw std::bad_alloc();
    *static_cast<size_t*>(p) = Size;
    const int64_t now = HeapNow.fetch_add(static_cast<int64_t>(Size)) + static_cast<int64_t>(Size);
    int64_t peak = HeapPeak.load();
    while (now > peak && !HeapPeak.compare_exchange_weak(peak, now)) {}
    return static_cast<char*>(p) + 16;
}

void CountedFree(void* P) {
    if (P == nullptr) return;
    void* base = static_cast<char*>(P) - 16;
    HeapNow.fetch_sub(static_cast<int64_t>(*static_cast<size_t*>(base)));
    std::free(base);
}
} // namespace

void* operator new(size_t Size) {
    return CountedAlloc(Size);
}
void* operator new[](size_t Size) {
    return CountedAlloc(Size);
}
void operator delete(void* P) noexcept {
    CountedFree(P);
}
void operator delete[](void* P) noexcept {
    CountedFree(P);
}
void operator delete(void* P, size_t) noexcept {
    CountedFree(P);
}
void operator delete[](void* P, size_t) noexcept {
    CountedFree(P);
}

namespace {

// ---------------------------------------------------------------------------------------------
// Pictures
// ---------------------------------------------------------------------------------------------

// Bilinear enlargement to about Pixels pixels, keeping the aspect ratio.
TBitmap32 Scaled(const TBitmap32& Src, double Pixels) {
    const double f = std::sqrt(Pixels / (static_cast<double>(Src.Width()) * Src.Height()));
    const int w = static_cast<int>(Src.Width() * f), h = static_cast<int>(Src.Height() * f);
    TBitmap32 out;
    out.SetSize(w, h);
    for (int y = 0; y < h; ++y) {
        const double sy = std::min((y + 0.5) / f - 0.5, Src.Height() - 1.0);
        const int y0 = std::max(0, static_cast<int>(sy));
        const int y1 = std::min(y0 + 1, Src.Height() - 1);
        const double fy = std::max(0.0, sy - y0);
        for (int x = 0; x < w; ++x) {
            const double sx = std::min((x + 0.5) / f - 0.5, Src.Width() - 1.0);
            const int x0 = std::max(0, static_cast<int>(sx));
            const int x1 = std::min(x0 + 1, Src.Width() - 1);
            const double fx = std::max(0.0, sx - x0);
            TColor32 c = 0xFF000000;
            for (int shift = 0; shift < 24; shift += 8) {
                auto ch = [&](int X, int Y) { return static_cast<double>((Src.Pixel(X, Y) >> shift) & 255); };
                const double v = (1 - fy) * ((1 - fx) * ch(x0, y0) + fx * ch(x1, y0)) +
                                 fy * ((1 - fx) * ch(x0, y1) + fx * ch(x1, y1));
                c |= static_cast<TColor32>(std::lround(v)) << shift;
            }
            out.SetPixel(x, y, c);
        }
    }
    return out;
}

// The photo, loaded once; Megapixels 0 means its own size.
const TBitmap32* Photo(const std::string& Name, int Megapixels) {
    static std::map<std::string, std::unique_ptr<TBitmap32>> cache;
    const std::string key = Name + "@" + std::to_string(Megapixels);
    auto it = cache.find(key);
    if (it != cache.end()) return it->second.get();
    RegisterPictureFormats();
    auto original = std::make_unique<TBitmap32>();
    try {
        LoadPictureFile(*original, std::string(QUOR_TEST_DATA) + "/" + Name);
    } catch (...) {
        return nullptr;
    }
    auto picture = Megapixels == 0 ? std::move(original)
                                   : std::make_unique<TBitmap32>(Scaled(*original, Megapixels * 1e6));
    return (cache[key] = std::move(picture)).get();
}

// Arguments of every benchmark: megapixels (0 = the photo's own size, about 1) and threads
// (0 = all cores).
const TBitmap32* Setup(benchmark::State& State, const std::string& Name = "photo-a.jpg") {
    const TBitmap32* photo = Photo(Name, static_cast<int>(State.range(0)));
    if (photo == nullptr) {
        State.SkipWithError("the test photo cannot be read");
        return nullptr;
    }
    SetAnalysisThreadCount(static_cast<int>(State.range(1)));
    State.SetLabel(std::to_string(photo->Width()) + "x" + std::to_string(photo->Height()));
    return photo;
}

void Finish(benchmark::State& State, const TBitmap32& Photo) {
    State.counters["MPix/s"] = benchmark::Counter(static_cast<double>(Photo.Width()) * Photo.Height() / 1e6,
                                                  benchmark::Counter::kIsIterationInvariantRate);
    SetAnalysisThreadCount(0);
}

void Extract(benchmark::State& State, const std::string& Name) {
    const TBitmap32* photo = Setup(State, Name);
    if (photo == nullptr) return;
    int64_t peak = 0;
    for (auto _ : State) {
        const int64_t before = HeapNow.load();
        HeapPeak.store(before);
        auto f = TFeatureExtractor::Extract(*photo);
        peak = std::max(peak, HeapPeak.load() - before);
        benchmark::DoNotOptimize(f->Bits());
    }
    State.counters["PeakMB"] = static_cast<double>(peak) / (1024.0 * 1024.0);
    Finish(State, *photo);
}

// ---------------------------------------------------------------------------------------------
// The maps a stage starts from, made once per picture.
// ---------------------------------------------------------------------------------------------

struct TStageInput {
    int W = 0, H = 0;
    TByteMap Darkness, Magnitude, Edges;
    TSmallIntMap Vertical, Horizontal;
};

const TStageInput& Input(const TBitmap32& Photo) {
    static std::map<const TBitmap32*, std::unique_ptr<TStageInput>> cache;
    auto& in = cache[&Photo];
    if (in) return *in;
    in = std::make_unique<TStageInput>();
    in->W = Photo.Width();
    in->H = Photo.Height();
    const size_t n = static_cast<size_t>(in->W) * in->H;
    TByteMap hs(n);
    in->Darkness.assign(n, 0);
    BitmapToLumaHueSat(Photo, in->Darkness, hs);
    InvertMap(in->Darkness, in->W, in->H);
    in->Vertical.assign(n, 0);
    in->Horizontal.assign(n, 0);
    SobelVertical(in->Darkness, in->Vertical, in->W, in->H);
    SobelHorizontal(in->Darkness, in->Horizontal, in->W, in->H);
    in->Magnitude.assign(n, 0);
    GradientMagnitude(in->Vertical, in->Horizontal, in->Magnitude, in->W, in->H);
    in->Edges.assign(n, 0);
    DetectEdges(in->Darkness, in->Edges, in->W, in->H);
    return *in;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The whole analysis
// ---------------------------------------------------------------------------------------------

static void BM_Extract_1MP(benchmark::State& State) {
    Extract(State, "photo-a.jpg");
}
BENCHMARK(BM_Extract_1MP)->Args({0, 0})->Unit(benchmark::kMillisecond)->UseRealTime();

static void BM_Extract_1MP_1T(benchmark::State& State) {
    Extract(State, "photo-a.jpg");
}
BENCHMARK(BM_Extract_1MP_1T)->Args({0, 1})->Unit(benchmark::kMillisecond)->UseRealTime();

static void BM_Extract_6MP(benchmark::State& State) {
    Extract(State, "photo-a.jpg");
}
BENCHMARK(BM_Extract_6MP)->Args({6, 0})->Unit(benchmark::kMillisecond)->UseRealTime();

static void BM_Extract_6MP_1T(benchmark::State& State) {
    Extract(State, "photo-a.jpg");
}
BENCHMARK(BM_Extract_6MP_1T)->Args({6, 1})->Unit(benchmark::kMillisecond)->UseRealTime();

// The other photos, at their own size.
static void BM_Extract_Photos(benchmark::State& State) {
    static const char* names[] = {"photo-a.jpg", "photo-b.jpg", "photo-c.jpg"};
    const std::string name = names[State.range(2)];
    Extract(State, name);
    State.SetLabel(name);
}
BENCHMARK(BM_Extract_Photos)
    ->ArgsProduct({{0}, {1, 0}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// ---------------------------------------------------------------------------------------------
// Stages, in the order the extractor runs them
// ---------------------------------------------------------------------------------------------

#define QUOR_STAGE(Name)                                                                                     \
    BENCHMARK(Name)->ArgsProduct({{0, 6}, {1, 0}})->Unit(benchmark::kMillisecond)->UseRealTime()

static void BM_Stage1_LumaHueSat(benchmark::State& State) {
    const TBitmap32* photo = Setup(State);
    if (photo == nullptr) return;
    const size_t n = static_cast<size_t>(photo->Width()) * photo->Height();
    TByteMap l(n), hs(n);
    for (auto _ : State) {
        BitmapToLumaHueSat(*photo, l, hs);
        InvertMap(l, photo->Width(), photo->Height());
    }
    Finish(State, *photo);
}
QUOR_STAGE(BM_Stage1_LumaHueSat);

static void BM_Stage2_SobelPair(benchmark::State& State) {
    const TBitmap32* photo = Setup(State);
    if (photo == nullptr) return;
    const TStageInput& in = Input(*photo);
    TSmallIntMap a(in.Darkness.size()), b(in.Darkness.size());
    for (auto _ : State) {
        SobelVertical(in.Darkness, a, in.W, in.H);
        SobelHorizontal(in.Darkness, b, in.W, in.H);
    }
    Finish(State, *photo);
}
QUOR_STAGE(BM_Stage2_SobelPair);

static void BM_Stage3_Magnitude(benchmark::State& State) {
    const TBitmap32* photo = Setup(State);
    if (photo == nullptr) return;
    const TStageInput& in = Input(*photo);
    TByteMap m(in.Darkness.size());
    for (auto _ : State)
        GradientMagnitude(in.Vertical, in.Horizontal, m, in.W, in.H);
    Finish(State, *photo);
}
QUOR_STAGE(BM_Stage3_Magnitude);

static void BM_Stage4_Blur10(benchmark::State& State) {
    const TBitmap32* photo = Setup(State);
    if (photo == nullptr) return;
    const TStageInput& in = Input(*photo);
    TByteMap m;
    for (auto _ : State) {
        State.PauseTiming();
        m = in.Magnitude;
        State.ResumeTiming();
        BlurMap(m, in.W, in.H, 10);
    }
    Finish(State, *photo);
}
QUOR_STAGE(BM_Stage4_Blur10);

static void BM_Stage5_Orientation(benchmark::State& State) {
    const TBitmap32* photo = Setup(State);
    if (photo == nullptr) return;
    const TStageInput& in = Input(*photo);
    TByteMap dir(in.Darkness.size());
    for (auto _ : State)
        OrientationField(in.Vertical, in.Horizontal, dir, in.W, in.H, 16);
    Finish(State, *photo);
}
QUOR_STAGE(BM_Stage5_Orientation);

static void BM_Stage6_DetectEdges(benchmark::State& State) {
    const TBitmap32* photo = Setup(State);
    if (photo == nullptr) return;
    const TStageInput& in = Input(*photo);
    TByteMap e(in.Darkness.size());
    for (auto _ : State)
        DetectEdges(in.Darkness, e, in.W, in.H);
    Finish(State, *photo);
}
QUOR_STAGE(BM_Stage6_DetectEdges);

static void BM_Stage7_Thinning(benchmark::State& State) {
    const TBitmap32* photo = Setup(State);
    if (photo == nullptr) return;
    const TStageInput& in = Input(*photo);
    TByteMap e;
    for (auto _ : State) {
        State.PauseTiming();
        e = in.Edges;
        State.ResumeTiming();
        ThresholdMap(e, in.W, in.H);
        ThinEdges(e, in.W, in.H);
    }
    Finish(State, *photo);
}
QUOR_STAGE(BM_Stage7_Thinning);

static void BM_Stage8_PackAndCompose(benchmark::State& State) {
    const TBitmap32* photo = Setup(State);
    if (photo == nullptr) return;
    const TStageInput& in = Input(*photo);
    TByteMap e, hs(in.Darkness.size(), 0x55), dir(in.Darkness.size(), 0x33);
    TBitmap32 out;
    for (auto _ : State) {
        State.PauseTiming();
        e = in.Edges;
        State.ResumeTiming();
        PackEdgeFlag(in.Magnitude, e, in.W, in.H);
        ComposeFeatureBitmap(in.Darkness, hs, e, dir, in.W, in.H, out);
    }
    Finish(State, *photo);
}
QUOR_STAGE(BM_Stage8_PackAndCompose);

BENCHMARK_MAIN();
