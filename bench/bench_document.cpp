// SPDX-License-Identifier: GPL-3.0-or-later
// The drawing as the tools drive it, on the 1-megapixel photo: one dab of the spray with the
// default style, a whole one-dab gesture, undo and redo of a step, the re-render at twice the
// size, the PostScript export of 100,000 strokes; the memory 200 gestures leave on a
// 6-megapixel picture; and the files 3,000 gestures hold open.
#include "bench/PrivateFolders.h"
#include "document/DualImage.h"
#include "document/QStates.h"
#include "document/UTempManager.h"
#include "engine/Strokes.h"
#include "platform/formats/PictureFormats.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/Image32.h"
#include "platform/rtl/Random.h"
#include "platform/rtl/Streams.h"

#include <benchmark/benchmark.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {
std::string gRoot;

double StatusMB(const char* Field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(Field, 0) == 0) return std::atof(line.c_str() + std::strlen(Field)) / 1024.0;
    return 0;
}

// A drawing over a photo as the loader makes it, with the default style and the Auto tool.
struct TDrawing {
    TImgView32 Src;
    TImgView32 Dst;
    std::unique_ptr<TDualImage> Doc;
    std::string Error;

    explicit TDrawing(const std::string& Photo) {
        try {
            RegisterPictureFormats();
            Src.Bitmap.LoadFromFile(Photo);
            Init();
        } catch (const std::exception& e) {
            Error = e.what();
        }
    }
    TDrawing(int W, int H) {
        // A picture with edges everywhere: bands of colour crossed by stripes.
        Src.Bitmap.SetSize(W, H);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                Src.Bitmap.SetPixel(x, y,
                                    Color32(static_cast<uint8_t>(x / 7 * 37),
                                            static_cast<uint8_t>((x + y) / 23 * 53),
                                            static_cast<uint8_t>(y / 11 * 29)));
        Init();
    }
    void Init() {
        Dst.Bitmap.SetSize(Src.Bitmap.Width(), Src.Bitmap.Height());
        Dst.Bitmap.Clear(clWhite32);
        Src.SetViewportSize(800, 600);
        Dst.SetViewportSize(800, 600);
        Doc = std::make_unique<TDualImage>(&Src, &Dst, 1.0f, nullptr, nullptr, nullptr);
        // The default style: precision 25, length 100, gain 2.0, width 1.0, stop on borders;
        // border limit 90 (strength threshold 6); density 50 and size 50 of a new drawing.
        Doc->SetBrdLimit(90);
        Doc->SetAutoMode(true);
    }
    int W() const { return Src.Bitmap.Width(); }
    int H() const { return Src.Bitmap.Height(); }
    void Gesture() {
        Doc->BeginChange();
        Doc->SprayAt(50 + Random(W() - 100), 50 + Random(H() - 100));
        Doc->EndChange();
    }
};

int OpenDescriptors() {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

TDrawing& PhotoDrawing() {
    static TDrawing drawing(std::string(QUOR_TEST_DATA) + "/photo-a.jpg");
    return drawing;
}
} // namespace

// One dab (StrokeCountFor(100, 50) = 166 points within the radius 50) at a random centre, inside
// one long change.
static void BM_SprayAt_Default(benchmark::State& State) {
    TDrawing& d = PhotoDrawing();
    if (!d.Error.empty()) {
        State.SkipWithError(d.Error.c_str());
        return;
    }
    RandSeed = 0;
    d.Doc->BeginChange();
    const int before = d.Doc->CurrentStep()->Strokes()->Count();
    for (auto _ : State)
        d.Doc->SprayAt(50 + Random(d.W() - 100), 50 + Random(d.H() - 100));
    State.counters["strokes_drawn"] = benchmark::Counter(
        static_cast<double>(d.Doc->CurrentStep()->Strokes()->Count() - before) / State.iterations());
    d.Doc->EndChange();
    State.SetItemsProcessed(State.iterations());
}
BENCHMARK(BM_SprayAt_Default)->Unit(benchmark::kMillisecond);

// A whole gesture of one dab: copies of both bitmaps, the dab, the step cut to its rectangle.
static void BM_Gesture_OneDab(benchmark::State& State) {
    TDrawing& d = PhotoDrawing();
    if (!d.Error.empty()) {
        State.SkipWithError(d.Error.c_str());
        return;
    }
    RandSeed = 1;
    for (auto _ : State)
        d.Gesture();
    State.SetItemsProcessed(State.iterations());
}
BENCHMARK(BM_Gesture_OneDab)->Unit(benchmark::kMillisecond);

// Undo and redo of the last one-dab step.
static void BM_UndoRedo(benchmark::State& State) {
    TDrawing& d = PhotoDrawing();
    if (!d.Error.empty()) {
        State.SkipWithError(d.Error.c_str());
        return;
    }
    RandSeed = 2;
    d.Gesture();
    const TRect r = d.Doc->History().GetState(d.Doc->History().Count() - 1)->Rect();
    for (auto _ : State) {
        d.Doc->Undo();
        d.Doc->Redo();
    }
    State.counters["step_kpixels"] = r.Width() * r.Height() / 1000.0;
}
BENCHMARK(BM_UndoRedo)->Unit(benchmark::kMicrosecond);

// The applied steps' strokes (a fresh drawing of 30 one-dab gestures) filled again into a
// bitmap of twice the size.
static void BM_RenderStrokes_TwiceTheSize(benchmark::State& State) {
    TDrawing d(std::string(QUOR_TEST_DATA) + "/photo-a.jpg");
    if (!d.Error.empty()) {
        State.SkipWithError(d.Error.c_str());
        return;
    }
    RandSeed = 3;
    for (int g = 0; g < 30; ++g)
        d.Gesture();
    TBitmap32 target(2 * d.W(), 2 * d.H());
    for (auto _ : State) {
        State.PauseTiming();
        target.Clear(clWhite32);
        State.ResumeTiming();
        d.Doc->RenderStrokes(target, 2.0f);
    }
    State.SetItemsProcessed(State.iterations() * d.Doc->StrokeCount());
    State.counters["strokes"] = d.Doc->StrokeCount();
}
BENCHMARK(BM_RenderStrokes_TwiceTheSize)->Unit(benchmark::kMillisecond);

// 100,000 strokes as a PostScript file.
static void BM_ExportPostScript_100k(benchmark::State& State) {
    TDrawing d(std::string(QUOR_TEST_DATA) + "/photo-a.jpg");
    if (!d.Error.empty()) {
        State.SkipWithError(d.Error.c_str());
        return;
    }
    RandSeed = 4;
    d.Doc->BeginChange();
    while (d.Doc->CurrentStep()->Strokes()->Count() < 100000)
        d.Doc->SprayAt(50 + Random(d.W() - 100), 50 + Random(d.H() - 100));
    d.Doc->EndChange();
    const std::string name = gRoot + "/drawing.ps";
    for (auto _ : State)
        d.Doc->ExportPostScript(name);
    const auto bytes = static_cast<int64_t>(fs::file_size(name));
    State.SetItemsProcessed(State.iterations() * d.Doc->StrokeCount());
    State.SetBytesProcessed(State.iterations() * bytes);
    State.counters["strokes"] = d.Doc->StrokeCount();
    State.counters["file_MB"] = static_cast<double>(bytes) / 1048576.0;
    // What a log keeps in memory once read, its buffer and what it loaded from its file: the
    // records it loaded go as soon as they have been read.
    State.counters["log_in_memory_MB"] =
        static_cast<double>(d.Doc->History().GetState(0)->Strokes()->MemSize()) / 1048576.0;
    fs::remove(name);
}
BENCHMARK(BM_ExportPostScript_100k)->Unit(benchmark::kMillisecond)->Iterations(3);

// 200 one-dab gestures on a 6-megapixel picture, one idle compaction after each. The resident
// memory of the new drawing (photo, drawing, feature bitmap, view buffers), what the gestures add
// to it, and how much of that is memory the allocator keeps rather than memory in use.
static void BM_Gestures200_6MP_Memory(benchmark::State& State) {
    for (auto _ : State) {
        malloc_trim(0);
        const double before = StatusMB("VmRSS:");
        TDrawing d(3000, 2000);
        RandSeed = 5;
        malloc_trim(0);
        const double start = StatusMB("VmRSS:");
        for (int g = 0; g < 200; ++g) {
            d.Gesture();
            d.Doc->CompressIdle();
        }
        const double end = StatusMB("VmRSS:");
        malloc_trim(0);
        State.counters["rss_drawing_MB"] = start - before;
        State.counters["rss_growth_MB"] = end - start;
        State.counters["trim_would_free_MB"] = end - StatusMB("VmRSS:");
        State.counters["history_in_memory_MB"] =
            static_cast<double>(d.Doc->History().GetMemSize()) / 1048576.0;
        State.counters["strokes"] = d.Doc->StrokeCount();
    }
}
BENCHMARK(BM_Gestures200_6MP_Memory)->Iterations(1)->Unit(benchmark::kSecond);

// A long session: 3,000 one-dab gestures on an 800 x 600 picture, one idle moment after each.
// The descriptors the process holds open before, after 1,000 gestures and after 3,000: the
// steps' stroke logs share one file, held open for the drawing, so the count grows by that one
// and not with the history.
static void BM_Gestures3000_OpenFiles(benchmark::State& State) {
    for (auto _ : State) {
        const int before = OpenDescriptors();
        TDrawing d(800, 600);
        RandSeed = 6;
        for (int g = 1; g <= 3000; ++g) {
            d.Gesture();
            d.Doc->CompressIdle();
            if (g == 1000) State.counters["open_files_after_1000"] = OpenDescriptors();
        }
        d.Doc->History().WaitForSwapOuts();
        State.counters["open_files_before"] = before;
        State.counters["open_files_after_3000"] = OpenDescriptors();
        State.counters["steps"] = d.Doc->History().Length();
        State.counters["strokes"] = d.Doc->StrokeCount();
    }
}
BENCHMARK(BM_Gestures3000_OpenFiles)->Iterations(1)->Unit(benchmark::kSecond);

// A long session of drawing and undoing on a 1152 x 864 photo: one gesture, then 500 rounds of
// an undo, a one-dab gesture (which discards the undone step) and an idle moment. The disk the
// drawing's stroke file holds at the end (its blocks), its length, and the bytes of strokes the
// history still keeps in it. With holes:0 the file system is taken to punch no holes, so that
// only the idle moments' compaction gives disk back.
static void BM_UndoAndDraw500_StrokeFile(benchmark::State& State) {
    std::optional<TWriteFaultScope> noHoles;
    if (State.range(0) == 0) noHoles.emplace(TFaultPoint::fpPunchHole, 0, EOPNOTSUPP);
    for (auto _ : State) {
        TDrawing d(std::string(QUOR_TEST_DATA) + "/photo-b.jpg");
        if (!d.Error.empty()) {
            State.SkipWithError(d.Error.c_str());
            return;
        }
        RandSeed = 7;
        // A dab where the photo has no edge draws nothing and leaves no step: the next is tried.
        while (!d.Doc->CanUndo())
            d.Gesture();
        for (int round = 0; round < 500; ++round) {
            d.Doc->Undo();
            while (d.Doc->CanRedo())
                d.Gesture();
            d.Doc->CompressIdle();
        }
        d.Doc->History().WaitForTasks();
        const TQStates& history = d.Doc->History();
        int64_t live = 0;
        for (int32_t i = 0; i < history.Length(); ++i)
            live += history.GetState(i)->Strokes()->FileSize();
        struct stat st {};
        if (stat(history.GetState(0)->Strokes()->FileName().c_str(), &st) != 0) {
            State.SkipWithError("the stroke file is not there");
            return;
        }
        State.counters["disk_held_KB"] = static_cast<double>(st.st_blocks) * 512 / 1024.0;
        State.counters["length_KB"] = static_cast<double>(st.st_size) / 1024.0;
        State.counters["live_KB"] = static_cast<double>(live) / 1024.0;
    }
}
BENCHMARK(BM_UndoAndDraw500_StrokeFile)
    ->ArgName("holes")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    gRoot = UsePrivateFolders("quor-bench-document");
    if (gRoot.empty()) return 1;
    TempManager();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
