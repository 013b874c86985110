// SPDX-License-Identifier: GPL-3.0-or-later
// The memory an hour of drawing costs: 200 gestures of 163 strokes each on a 6-megapixel
// picture, one idle compaction after each, as the main window runs them. Reports the resident
// memory at the end against the two bitmaps, the swap files on disk, and what is left after
// the history and the temporary-file service are gone.
//
// Then the memory of walking the history: 80 small steps undone from disk one after the other
// without an idle moment; and 30 gestures that each paint every tile of a 24-megapixel drawing,
// with an idle moment after each, then undone one after the other (undo held down) and followed
// by idle moments; and the same gestures undone without any idle moment, not even at the end. Each
// reports the resident memory and the history's own figure (what the status bar shows). Last, a
// long walk back and forth through 30 such gestures checks the drawing pixel for pixel at every
// position.
#include "bench/PrivateFolders.h"
#include "document/CompressedBitmap.h"
#include "document/QStates.h"
#include "document/UTempManager.h"
#include "engine/QTypes.h"
#include "engine/Strokes.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Random.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {
std::string gTmp;
std::string gState;

// The resident set or its peak, in MB, from /proc/self/status.
double StatusMB(const char* Field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(Field, 0) == 0) return std::atof(line.c_str() + std::strlen(Field)) / 1024.0;
    return 0;
}

int FilesIn(const std::string& Folder, const std::string& Ext) {
    int n = 0;
    for (const auto& e : fs::directory_iterator(Folder))
        n += Ext.empty() || e.path().extension() == Ext;
    return n;
}

// One stroke: a slanted band of about 80 by 3 pixels near (Cx, Cy), logged as its outline and
// filled as the stroke generator fills one.
void Stroke(TBitmap32& Dest, TStrokes& Log, int Cx, int Cy, TRect& Dirty) {
    const int x0 = Cx + Random(81) - 40;
    const int y0 = Cy + Random(81) - 40;
    const int dy = Random(21) - 10;
    TArrayOfFixedPoint left, right;
    const TColor32 color = 0xFF000000u | static_cast<TColor32>(Random(0x1000000));
    for (int k = 0; k < 5; ++k) {
        const int x = x0 + 20 * k;
        const int y = y0 + dy * k;
        left.push_back(FixedPointFromInt(x, y));
        right.push_back(FixedPointFromInt(x, y + 3));
        // The pixels the band touches, cut to the picture.
        Dirty = TRect{std::min(Dirty.Left, std::max(x - 1, 0)), std::min(Dirty.Top, std::max(y - 1, 0)),
                      std::max(Dirty.Right, std::min(x + 2, Dest.Width())),
                      std::max(Dirty.Bottom, std::min(y + 5, Dest.Height()))};
    }
    FillStrokeOutline(left, right, Dest, color, 1.0f);
    Log.Add(left, right, color);
}
} // namespace

static void BM_UndoMemory200Gestures(benchmark::State& State) {
    constexpr int Width = 3000, Height = 2000, Gestures = 200, StrokesPerGesture = 163;
    for (auto _ : State) {
        TBitmap32 feature(Width, Height);
        TBitmap32 dest(Width, Height);
        RandSeed = 1;
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x)
                feature.SetPixel(x, y,
                                 static_cast<TColor32>(Random(65536)) << 16 | static_cast<TColor32>(x ^ y));
        dest.Clear(clWhite32);
        const double bitmapsMB = 2.0 * Width * Height * 4 / 1048576.0;
        const double rssStart = StatusMB("VmRSS:");
        int64_t historyBytes = 0;
        int swapFiles = 0;
        double rssEnd = 0;
        {
            TQStates history;
            for (int g = 0; g < Gestures; ++g) {
                auto step = std::make_unique<TQState>(feature, dest, TStepCopies::Whole);
                TRect dirty{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
                const int cx = 60 + Random(Width - 120);
                const int cy = 60 + Random(Height - 120);
                for (int s = 0; s < StrokesPerGesture; ++s)
                    Stroke(dest, *step->Strokes(), cx, cy, dirty);
                step->Finish(dirty);
                history.Add(std::move(step));
                history.Compact();
            }
            rssEnd = StatusMB("VmRSS:");
            // What of it is memory the allocator keeps after the whole-bitmap copies that each
            // gesture makes at its start, rather than memory in use.
            malloc_trim(0);
            State.counters["rss_end_trimmed_MB"] = StatusMB("VmRSS:");
            historyBytes = history.GetMemSize();
            swapFiles = FilesIn(gTmp, ".bmp") + FilesIn(gTmp, ".tiles");
            State.counters["strokes"] = history.StrokeCount();
        }
        State.counters["rss_start_MB"] = rssStart;
        State.counters["rss_end_MB"] = rssEnd;
        State.counters["rss_peak_MB"] = StatusMB("VmHWM:");
        State.counters["bitmaps_MB"] = bitmapsMB;
        State.counters["history_in_memory_MB"] = static_cast<double>(historyBytes) / 1048576.0;
        State.counters["swap_files"] = swapFiles;
        State.counters["files_left_after_history"] = FilesIn(gTmp, "");
    }
}
BENCHMARK(BM_UndoMemory200Gestures)->Iterations(1)->Unit(benchmark::kSecond);

namespace {
// A drawing and its history, with gestures that copy each tile before they change it, as the
// document's do.
struct TTiledDrawing {
    TBitmap32 Feature;
    TBitmap32 Dest;
    TQStates History;

    TTiledDrawing(int Width, int Height) : Feature(Width, Height), Dest(Width, Height) {
        Feature.Clear(0x80402010u);
        Dest.Clear(clWhite32);
    }
    // Paints Area with a colour of its own (every pixel changes).
    void Gesture(const TRect& Area, TColor32 Color) {
        auto step = std::make_unique<TQState>(Feature, Dest, TStepCopies::OnChange);
        step->DestChanging(Dest, Area);
        Dest.FillRectS(Area, Color);
        step->Finish(Area);
        History.Add(std::move(step));
    }
    // An idle moment long enough for the swap-out it starts.
    void Idle() {
        History.Compact();
        History.WaitForSwapOuts();
    }
    // The window idles for a while: the swap thread has given back what went out.
    void Rest() {
        Idle();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    double FigureMB() { return static_cast<double>(History.GetMemSize()) / 1048576.0; }
};
} // namespace

static void BM_UndoMemory80SmallStepsFromDisk(benchmark::State& State) {
    constexpr int Width = 3000, Height = 2000, Steps = 80;
    for (auto _ : State) {
        TTiledDrawing d(Width, Height);
        RandSeed = 2;
        for (int g = 0; g < Steps; ++g) {
            const int x = Random(Width - 100), y = Random(Height - 100);
            d.Gesture(TRect{x, y, x + 40, y + 40}, 0xFF000000u + static_cast<TColor32>(Random(0x1000000)));
        }
        for (int i = 0; i < Steps; ++i)
            d.History.GetState(i)->Compress();
        d.History.WaitForSwapOuts();
        const double rssBefore = StatusMB("VmRSS:");
        const double figureBefore = d.FigureMB();
        while (d.History.CanUndo())
            d.History.Undo(d.Feature, d.Dest);
        State.counters["rss_growth_MB"] = StatusMB("VmRSS:") - rssBefore;
        State.counters["history_growth_MB"] = d.FigureMB() - figureBefore;
    }
}
BENCHMARK(BM_UndoMemory80SmallStepsFromDisk)->Iterations(1)->Unit(benchmark::kSecond);

static void BM_UndoMemoryWholePictureSteps24MP(benchmark::State& State) {
    constexpr int Width = 6000, Height = 4000, Gestures = 30;
    for (auto _ : State) {
        const double rssStart = StatusMB("VmRSS:");
        TTiledDrawing d(Width, Height);
        State.counters["bitmaps_MB"] = 2.0 * Width * Height * 4 / 1048576.0;
        for (int g = 0; g < Gestures; ++g) {
            d.Gesture(TRect{0, 0, Width, Height}, 0xFF000000u + static_cast<TColor32>(g) * 0x050301u);
            d.Idle();
        }
        d.Rest();
        State.counters["rss_start_MB"] = rssStart;
        State.counters["rss_drawn_MB"] = StatusMB("VmRSS:");
        State.counters["history_drawn_MB"] = d.FigureMB();
        // Undo held down: one undo after the other, no idle moment between them.
        while (d.History.CanUndo())
            d.History.Undo(d.Feature, d.Dest);
        State.counters["rss_undoing_MB"] = StatusMB("VmRSS:");
        // Then the window idles: one swap-out per idle moment.
        for (int i = 0; i < Gestures + 5; ++i)
            d.Idle();
        d.Rest();
        State.counters["rss_undone_MB"] = StatusMB("VmRSS:");
        State.counters["history_undone_MB"] = d.FigureMB();
        State.counters["rss_peak_MB"] = StatusMB("VmHWM:");
    }
}
BENCHMARK(BM_UndoMemoryWholePictureSteps24MP)->Iterations(1)->Unit(benchmark::kSecond);

namespace {
// Starts the peak of the resident set again from the resident set now (false when the system
// does not let it).
bool ResetPeak() {
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
    out.flush();
    return static_cast<bool>(out);
}
} // namespace

// The same 30 gestures, then every one undone with no idle moment at all, not even after the
// last: what the history holds while undo is held down, and the peak on the way.
static void BM_UndoMemoryUndoAllWithoutIdle24MP(benchmark::State& State) {
    constexpr int Width = 6000, Height = 4000, Gestures = 30;
    for (auto _ : State) {
        TTiledDrawing d(Width, Height);
        for (int g = 0; g < Gestures; ++g) {
            d.Gesture(TRect{0, 0, Width, Height}, 0xFF000000u + static_cast<TColor32>(g) * 0x050301u);
            d.Idle();
        }
        d.Rest();
        State.counters["rss_drawn_MB"] = StatusMB("VmRSS:");
        State.counters["history_drawn_MB"] = d.FigureMB();
        const bool peak = ResetPeak();
        const auto start = std::chrono::steady_clock::now();
        while (d.History.CanUndo())
            d.History.Undo(d.Feature, d.Dest);
        State.counters["undo_ms"] =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() /
            Gestures;
        State.counters["rss_undone_MB"] = StatusMB("VmRSS:");
        State.counters["history_undone_MB"] = d.FigureMB();
        if (peak) State.counters["rss_peak_undoing_MB"] = StatusMB("VmHWM:");
        // Steps whose swap files the thread is still writing hold their pixels until then.
        int out = 0;
        for (int i = 0; i < d.History.Length(); ++i)
            out += d.History.GetState(i)->DestCopy().SwappingOut();
        State.counters["on_their_way_out"] = out;
        // Once they are written and let go (no idle swap-out starts anything).
        d.History.WaitForSwapOuts();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        State.counters["rss_written_MB"] = StatusMB("VmRSS:");
    }
}
BENCHMARK(BM_UndoMemoryUndoAllWithoutIdle24MP)->Iterations(1)->Unit(benchmark::kSecond);

namespace {
// The pixels of the drawing after gesture G (-1: before the first): white, or a pattern of G's
// own in which every pixel has a value of its place, so that a tile put back at another place
// shows.
TColor32 DrawnPixel(int X, int Y, int G) {
    if (G < 0) return clWhite32;
    return 0xFF000000u | (static_cast<TColor32>(X * 7 + Y * 13 + G * 0x10101) & 0xFFFFFFu);
}

void DrawPattern(TBitmap32& Dest, int G) {
    for (int y = 0; y < Dest.Height(); ++y) {
        TColor32* line = Dest.ScanLine(y);
        for (int x = 0; x < Dest.Width(); ++x)
            line[x] = DrawnPixel(x, y, G);
    }
}

// True when Dest is the drawing after gesture G.
bool ShowsGesture(const TBitmap32& Dest, int G) {
    for (int y = 0; y < Dest.Height(); ++y) {
        const TColor32* line = Dest.ScanLine(y);
        for (int x = 0; x < Dest.Width(); ++x)
            if (line[x] != DrawnPixel(x, y, G)) return false;
    }
    return true;
}
} // namespace

// A long walk through 30 gestures that each paint every pixel of a 24-megapixel drawing with a
// pattern of their own: down to the first and up to the last without an idle moment, then back
// and forth with an idle moment after every third undo or redo, as a user holding Undo and Redo
// does. At each position the drawing must be the one drawn there, pixel for pixel: the walk
// reports how many positions were not, and fails when any was.
static void BM_UndoRedoLongWalk24MP(benchmark::State& State) {
    constexpr int Width = 6000, Height = 4000, Gestures = 30;
    for (auto _ : State) {
        TTiledDrawing d(Width, Height);
        for (int g = 0; g < Gestures; ++g) {
            auto step = std::make_unique<TQState>(d.Feature, d.Dest, TStepCopies::OnChange);
            step->DestChanging(d.Dest, d.Dest.BoundsRect());
            DrawPattern(d.Dest, g);
            step->Finish(d.Dest.BoundsRect());
            d.History.Add(std::move(step));
            d.Idle();
        }
        int positions = 0, wrong = 0, moves = 0;
        double walking = 0;
        auto walkTo = [&](int To, bool Idle) {
            while (d.History.Current() != To) {
                const auto start = std::chrono::steady_clock::now();
                if (d.History.Current() > To)
                    d.History.Undo(d.Feature, d.Dest);
                else
                    d.History.Redo(d.Feature, d.Dest);
                walking += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                if (Idle && ++moves % 3 == 0) d.History.Compact();
                ++positions;
                wrong += !ShowsGesture(d.Dest, d.History.Current() - 1);
            }
        };
        walkTo(0, false);
        walkTo(Gestures, false);
        for (const int to : {10, 25, 3, Gestures, 0, 17})
            walkTo(to, true);
        State.counters["positions"] = positions;
        State.counters["wrong_positions"] = wrong;
        State.counters["undo_redo_ms"] = walking * 1000.0 / positions;
        State.counters["rss_peak_MB"] = StatusMB("VmHWM:");
        if (wrong > 0) State.SkipWithError("the drawing did not come back pixel for pixel");
    }
}
BENCHMARK(BM_UndoRedoLongWalk24MP)->Iterations(1)->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    const std::string root = UsePrivateFolders("quor-undo-memory");
    if (root.empty()) return 1;
    gTmp = root + "/tmp/";
    gState = root + "/state";
    // Registered before the service exists, so it runs after the service has been freed (and
    // before the private folders go).
    std::atexit([] {
        const int left = FilesIn(gTmp, "");
        const bool log = FilesIn(gState + "/quorvelle", ".log") > 0;
        std::printf("After exit: %d temporary files left, the temporary-file log %s\n", left,
                    log ? "left" : "deleted");
    });
    TempManager();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
