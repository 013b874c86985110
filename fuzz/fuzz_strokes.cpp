// SPDX-License-Identifier: GPL-3.0-or-later
// Stroke logs whose files were damaged behind the log's back: reading must end cleanly with
// False, keep every whole record, and give the same records again on a second pass.
#include "engine/Strokes.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {
const std::string& LogPath() {
    static const std::string path = [] {
        static char folder[] = "/tmp/quor-fuzz-strokes-XXXXXX";
        if (mkdtemp(folder) == nullptr) std::abort();
        std::atexit([] { std::filesystem::remove_all(folder); });
        return std::string(folder) + "/~fuzztsk";
    }();
    return path;
}

struct TRecord {
    TStrokeOutline Stroke;
    bool operator==(const TRecord& O) const {
        return Stroke.Color == O.Stroke.Color && Stroke.Left == O.Stroke.Left &&
               Stroke.Right == O.Stroke.Right;
    }
};

std::vector<TRecord> ReadAll(TStrokes& Log) {
    std::vector<TRecord> records;
    Log.StartRead();
    TRecord r;
    while (Log.Read(r.Stroke))
        records.push_back(r);
    return records;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TStrokes log(LogPath());
    if (std::FILE* f = std::fopen(LogPath().c_str(), "wb")) {
        std::fwrite(Data, 1, Size, f);
        std::fclose(f);
    }
    const std::vector<TRecord> first = ReadAll(log);
    // A stroke added after reading lands behind the records that were whole.
    log.Add({{1, 2}}, {{3, 4}, {5, 6}}, 0xFF123456);
    const std::vector<TRecord> second = ReadAll(log);
    if (second.size() < first.size() || !std::equal(first.begin(), first.end(), second.begin())) std::abort();
    return 0;
}
