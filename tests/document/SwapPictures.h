// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures and helpers shared by the tests of the undo history and its swap machinery.
#pragma once

#include "engine/ParallelRows.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Random.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

// Pixels of every value, alpha included: the feature bitmap keeps directions there.
inline void Noise(TBitmap32& B, uint32_t Seed) {
    RandSeed = Seed;
    for (int y = 0; y < B.Height(); ++y)
        for (int x = 0; x < B.Width(); ++x)
            B.SetPixel(x, y,
                       static_cast<TColor32>(Random(65536)) << 16 | static_cast<TColor32>(Random(65536)));
}

inline bool SamePixels(const TBitmap32& A, const TBitmap32& B) {
    if (A.Width() != B.Width() || A.Height() != B.Height()) return false;
    for (int y = 0; y < A.Height(); ++y)
        for (int x = 0; x < A.Width(); ++x)
            if (A.Pixel(x, y) != B.Pixel(x, y)) return false;
    return true;
}

inline std::unique_ptr<TBitmap32> Clone(const TBitmap32& B) {
    auto c = std::make_unique<TBitmap32>();
    c->Assign(B);
    return c;
}

// The files of the temporary-file service in the temporary folder.
inline int TempFileCount() {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(std::getenv("TMPDIR")))
        n += e.path().filename().string()[0] == '~';
    return n;
}

// Tiles are exchanged and read back on Count threads while one lives, whatever the machine (1:
// all on the calling thread).
struct TAnalysisThreads {
    explicit TAnalysisThreads(int Count) { SetAnalysisThreadCount(Count); }
    ~TAnalysisThreads() { SetAnalysisThreadCount(0); }
    TAnalysisThreads(const TAnalysisThreads&) = delete;
    TAnalysisThreads& operator=(const TAnalysisThreads&) = delete;
};

inline std::string ReadFile(const std::string& Name) {
    std::ifstream in(Name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& Name, const std::string& Bytes) {
    std::ofstream(Name, std::ios::binary | std::ios::trunc) << Bytes;
}
