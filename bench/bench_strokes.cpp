// Pen strokes: logging strokes and reading them back.
#include "engine/Strokes.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
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

BENCHMARK_MAIN();
