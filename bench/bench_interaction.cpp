// SPDX-License-Identifier: GPL-3.0-or-later
// What the user waits for, one action at a time, on the 1-megapixel photo enlarged to 1, 6 and 24
// megapixels and kept at full size: the press that starts a spray gesture (with its first dab), a
// later dab, the release, undo and redo of a step that covers most of the picture (in memory and
// swapped out), the same for a step that painted every tile of it (a large brush swept over the
// whole picture), and the longest that one idle swap-out call holds the window's thread. An undo
// or redo from disk also reports how long reading its swap files alone takes (read_ms) and its
// median against that (read_ratio).
//
// Every benchmark times each action on its own (manual time, real time) and reports the mean as
// its time, with the fastest, the median and the slowest action as counters: on a machine that
// others share, the fastest and the median say more than the mean.
#include "bench/PrivateFolders.h"
#include "document/CompressedBitmap.h"
#include "document/DualImage.h"
#include "document/QStates.h"
#include "document/UTempManager.h"
#include "engine/QTypes.h"
#include "platform/formats/PictureFormats.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/Image32.h"
#include "platform/rtl/Random.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {
using TClock = std::chrono::steady_clock;

std::string gRoot;

// The photo enlarged to about Megapixels, analysed, with a white drawing of its size, the
// default style and the Auto tool.
struct TDrawing {
    TImgView32 Src;
    TImgView32 Dst;
    std::unique_ptr<TDualImage> Doc;
    int Megapixels = 0;
    std::string Error;
    std::string Status; // what the status bar would show after each change

    explicit TDrawing(int AMegapixels) : Megapixels(AMegapixels) {
        try {
            RegisterPictureFormats();
            TBitmap32 photo;
            photo.LoadFromFile(std::string(QUOR_TEST_DATA) + "/photo-a.jpg");
            const double f =
                std::sqrt(Megapixels * 1e6 / (static_cast<double>(photo.Width()) * photo.Height()));
            const int w = static_cast<int>(photo.Width() * f), h = static_cast<int>(photo.Height() * f);
            Src.Bitmap.SetSize(w, h);
            photo.StretchFilter = sfLinear;
            Src.Bitmap.DrawStretched(TRect{0, 0, w, h}, TRect{0, 0, photo.Width(), photo.Height()}, photo);
            Dst.Bitmap.SetSize(w, h);
            Dst.Bitmap.Clear(clWhite32);
            Src.SetViewportSize(800, 600);
            Dst.SetViewportSize(800, 600);
            Doc = std::make_unique<TDualImage>(&Src, &Dst, 1.0f, nullptr, nullptr, nullptr);
            Doc->SetBrdLimit(90);
            Doc->SetAutoMode(true);
            // The main window shows the stroke count and the history's memory after each change.
            Doc->SetOnChange(
                [this](void*) { Status = std::to_string(Doc->StrokeCount()) + Doc->UndoMemoryText(); });
        } catch (const std::exception& e) {
            Error = e.what();
        }
    }
    int W() const { return Src.Bitmap.Width(); }
    int H() const { return Src.Bitmap.Height(); }
    TQStates& History() const { return Doc->History(); }

    // Takes back every step, so that the next gesture frees them all.
    void UndoAll() {
        while (Doc->CanUndo())
            Doc->Undo();
    }
    void Dab() { Doc->SprayAt(50 + Random(W() - 100), 50 + Random(H() - 100)); }
    // One dab that drew something (a dab on a flat part of the photo leaves no step).
    void SmallGesture() {
        const int n = History().Length();
        while (History().Length() == n) {
            Doc->BeginChange();
            Dab();
            Doc->EndChange();
        }
    }
    // Dabs on a grid 200 pixels apart: a step that changes most of the picture.
    void LargeGestureOpen() {
        Doc->BeginChange();
        for (int y = 100; y < H(); y += 200)
            for (int x = 100; x < W(); x += 200)
                Doc->SprayAt(x, y);
    }
    void LargeGesture() {
        LargeGestureOpen();
        Doc->EndChange();
    }
    // A large brush swept over the whole picture, a dab on every tile of it, with strokes that
    // start anywhere and stop at no border: a step that holds every tile of the drawing.
    void FullGesture() {
        Doc->SetBrdLimit(100);
        Doc->StopOnBorders = false;
        const int32_t size = Doc->Size();
        Doc->SetSize(64);
        Doc->BeginChange();
        for (int y = 32; y < H() + 32; y += 64)
            for (int x = 32; x < W() + 32; x += 64)
                Doc->SprayAt(std::min(x, W() - 1), std::min(y, H() - 1));
        Doc->EndChange();
        Doc->SetSize(size);
        Doc->StopOnBorders = true;
        Doc->SetBrdLimit(90);
    }
};

// One drawing at a time: the benchmarks run size by size, and a 24-megapixel drawing is large.
TDrawing& Drawing(int Megapixels) {
    static std::unique_ptr<TDrawing> drawing;
    if (!drawing || drawing->Megapixels != Megapixels) {
        drawing.reset();
        drawing = std::make_unique<TDrawing>(Megapixels);
    }
    return *drawing;
}

double Ms(TClock::duration D) {
    return std::chrono::duration<double, std::milli>(D).count();
}

// Times Action once per iteration (Prepare and Tidy untimed) and reports the times.
void Measure(benchmark::State& State, const std::function<void()>& Prepare,
             const std::function<void()>& Action, const std::function<void()>& Tidy) {
    std::vector<double> times;
    for (auto _ : State) {
        if (Prepare) Prepare();
        const auto start = TClock::now();
        Action();
        const double ms = Ms(TClock::now() - start);
        State.SetIterationTime(ms / 1000.0);
        times.push_back(ms);
        if (Tidy) Tidy();
    }
    std::sort(times.begin(), times.end());
    if (times.empty()) return;
    State.counters["min_ms"] = times.front();
    State.counters["median_ms"] = times[times.size() / 2];
    State.counters["max_ms"] = times.back();
}

TDrawing* Ready(benchmark::State& State, int Megapixels) {
    TDrawing& d = Drawing(Megapixels);
    if (!d.Error.empty()) {
        State.SkipWithError(d.Error.c_str());
        return nullptr;
    }
    d.UndoAll();
    // The window idles before the user acts.
    for (int i = 0; i < 3; ++i)
        d.Doc->CompressIdle();
    State.counters["megapixels"] = d.W() * static_cast<double>(d.H()) / 1e6;
    return &d;
}

// The step of the last gesture's rectangle, as a share of the picture.
void ReportStep(benchmark::State& State, TDrawing& D, int Index) {
    const TRect r = D.History().GetState(Index)->Rect();
    State.counters["step_share"] =
        r.Width() * static_cast<double>(r.Height()) / (D.W() * static_cast<double>(D.H()));
}

// The press opens the gesture's change and lays the first dab; begin_max_ms is the longest the
// opening alone took (the rest is the dab's own strokes, as at any other dab).
void Press(benchmark::State& State, int Mp) {
    TDrawing* d = Ready(State, Mp);
    if (d == nullptr) return;
    RandSeed = 1;
    double begin = 0;
    Measure(
        State, nullptr,
        [&] {
            const auto start = TClock::now();
            d->Doc->BeginChange();
            begin = std::max(begin, Ms(TClock::now() - start));
            d->Dab();
        },
        [&] {
            d->Doc->EndChange();
            d->UndoAll();
            // The window is idle between a release and the next press.
            d->Doc->CompressIdle();
        });
    State.counters["begin_max_ms"] = begin;
}

void Dab(benchmark::State& State, int Mp) {
    TDrawing* d = Ready(State, Mp);
    if (d == nullptr) return;
    RandSeed = 2;
    d->Doc->BeginChange();
    Measure(
        State, nullptr, [&] { d->Dab(); }, nullptr);
    d->Doc->EndChange();
}

// The release of a gesture that changed most of the picture.
void Release(benchmark::State& State, int Mp) {
    TDrawing* d = Ready(State, Mp);
    if (d == nullptr) return;
    RandSeed = 3;
    Measure(
        State, [&] { d->LargeGestureOpen(); }, [&] { d->Doc->EndChange(); }, [&] { d->UndoAll(); });
    ReportStep(State, *d, 0);
}

// The time reading FileName whole takes, in ms (0 for none).
double ReadMs(const std::string& FileName) {
    if (FileName.empty()) return 0;
    const auto start = TClock::now();
    const int fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    static std::vector<char> buffer(1 << 20);
    while (::read(fd, buffer.data(), buffer.size()) > 0) {}
    ::close(fd);
    return Ms(TClock::now() - start);
}

// Undo or redo of a step that changed most of the picture (Full: every tile of it), from memory
// or swapped out; the window idles for 50 ms (an idle call every millisecond) between the
// swap-out and the action.
void UndoRedo(benchmark::State& State, int Mp, bool Redo, bool Disk, bool Full = false) {
    TDrawing* d = Ready(State, Mp);
    if (d == nullptr) return;
    RandSeed = 4;
    if (Full)
        d->FullGesture();
    else
        d->LargeGesture();
    TQState& step = *d->History().GetState(0);
    std::vector<double> reads;
    auto swapOut = [&] {
        if (!Disk) return;
        step.Compress();
        for (int i = 0; i < 50; ++i) {
            d->Doc->CompressIdle();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        // The files are in the system's cache, as they are for the undo.
        reads.push_back(ReadMs(step.FeatureCopy().FileName()) + ReadMs(step.DestCopy().FileName()));
    };
    if (Redo)
        Measure(
            State,
            [&] {
                d->Doc->Undo();
                swapOut();
            },
            [&] { d->Doc->Redo(); }, nullptr);
    else
        Measure(
            State, swapOut, [&] { d->Doc->Undo(); }, [&] { d->Doc->Redo(); });
    ReportStep(State, *d, 0);
    const double tiles = std::ceil(d->W() / 64.0) * std::ceil(d->H() / 64.0);
    State.counters["tile_share"] = step.DestCopy().TileCount() / tiles;
    if (!reads.empty()) {
        std::sort(reads.begin(), reads.end());
        State.counters["read_ms"] = reads[reads.size() / 2];
        State.counters["read_ratio"] = State.counters["median_ms"] / reads[reads.size() / 2];
    }
}

// A step that changed most of the picture followed by as many small ones as the history keeps in
// memory, so that the next idle moment swaps the large one out. Each iteration gives the idle
// calls 1.5 seconds, one every millisecond as an idle window would, and times the longest call;
// then brings the step back.
void SwapOutBlocking(benchmark::State& State, int Mp) {
    TDrawing* d = Ready(State, Mp);
    if (d == nullptr) return;
    RandSeed = 5;
    d->LargeGesture();
    for (int i = 0; i < d->History().KeepInMemory(); ++i)
        d->SmallGesture();
    const int n = d->History().Current();
    std::vector<double> times;
    for (auto _ : State) {
        double longest = 0;
        const auto until = TClock::now() + std::chrono::milliseconds(1500);
        while (TClock::now() < until) {
            const auto start = TClock::now();
            d->Doc->CompressIdle();
            longest = std::max(longest, Ms(TClock::now() - start));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        State.SetIterationTime(longest / 1000.0);
        times.push_back(longest);
        if (!d->History().GetState(0)->IsCompressed()) State.SkipWithError("the step was not swapped out");
        for (int i = 0; i < n; ++i)
            d->Doc->Undo();
        for (int i = 0; i < n; ++i)
            d->Doc->Redo();
    }
    std::sort(times.begin(), times.end());
    if (times.empty()) return;
    State.counters["min_ms"] = times.front();
    State.counters["median_ms"] = times[times.size() / 2];
    State.counters["max_ms"] = times.back();
    ReportStep(State, *d, 0);
}

void Register() {
    struct TAction {
        const char* Name;
        void (*Run)(benchmark::State&, int Mp);
        int Iterations; // at 24 megapixels the slow ones run half as often
    };
    static const TAction actions[] = {
        {"Press", Press, 30},
        {"Dab", Dab, 30},
        {"Release", Release, 10},
        {"UndoMemory", [](benchmark::State& S, int Mp) { UndoRedo(S, Mp, false, false); }, 20},
        {"RedoMemory", [](benchmark::State& S, int Mp) { UndoRedo(S, Mp, true, false); }, 20},
        {"UndoDisk", [](benchmark::State& S, int Mp) { UndoRedo(S, Mp, false, true); }, 10},
        {"RedoDisk", [](benchmark::State& S, int Mp) { UndoRedo(S, Mp, true, true); }, 10},
        {"UndoMemoryFull", [](benchmark::State& S, int Mp) { UndoRedo(S, Mp, false, false, true); }, 20},
        {"RedoMemoryFull", [](benchmark::State& S, int Mp) { UndoRedo(S, Mp, true, false, true); }, 20},
        {"UndoDiskFull", [](benchmark::State& S, int Mp) { UndoRedo(S, Mp, false, true, true); }, 10},
        {"RedoDiskFull", [](benchmark::State& S, int Mp) { UndoRedo(S, Mp, true, true, true); }, 10},
        {"SwapOutBlocking", SwapOutBlocking, 10},
    };
    for (int mp : {1, 6, 24})
        for (const TAction& a : actions) {
            const std::string name = std::string("BM_") + a.Name + "_" + std::to_string(mp) + "MP";
            const bool slow = a.Iterations == 10 && mp == 24;
            benchmark::RegisterBenchmark(name.c_str(), [a, mp](benchmark::State& S) { a.Run(S, mp); })
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond)
                ->Iterations(slow ? 5 : a.Iterations);
        }
}
} // namespace

int main(int argc, char** argv) {
    gRoot = UsePrivateFolders("quor-bench-interaction");
    if (gRoot.empty()) return 1;
    TempManager();
    Register();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
