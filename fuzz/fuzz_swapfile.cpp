// SPDX-License-Identifier: GPL-3.0-or-later
// Swap files of the undo history changed behind its back, for a copy of a whole bitmap and for
// a copy of tiles: bringing the pixels back either gives the very pixels that were swapped out
// or raises an Exception and leaves the picture as it was; nothing else.
//
// The whole bitmap's file is the input. The tiles' file is their own file changed by the input,
// so that most inputs reach the read-back of every band: its first byte says how (the low two
// bits: 0 the rest of the input is the file, 1 it is written over the file at the offset of the
// next three bytes, little-endian, taken modulo the file's size plus one, 2 the same and the
// file ends after it).
#include "document/CompressedBitmap.h"
#include "engine/ParallelRows.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Private folders for the temporary-file service of this process.
    static char root[] = "/tmp/quor-fuzz-swap-XXXXXX";
    if (mkdtemp(root) == nullptr) std::abort();
    std::atexit([] { std::filesystem::remove_all(root); });
    setenv("TMPDIR", root, 1);
    setenv("XDG_STATE_HOME", root, 1);
    // The bands of tiles are read back on four threads, whatever the machine.
    SetAnalysisThreadCount(4);
    return 0;
}

namespace {
void Overwrite(const std::string& FileName, const uint8_t* Data, size_t Size) {
    if (std::FILE* f = std::fopen(FileName.c_str(), "wb")) {
        std::fwrite(Data, 1, Size, f);
        std::fclose(f);
    }
}

uint32_t Word(int I) {
    return 0x01020304u * static_cast<uint32_t>(I + 1);
}

std::string ReadFile(const std::string& FileName) {
    std::ifstream in(FileName, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The file Genuine changed by the input as the head of this file says.
std::string Changed(const std::string& Genuine, const uint8_t* Data, size_t Size) {
    const auto* bytes = reinterpret_cast<const char*>(Data);
    if (Size == 0) return Genuine;
    const int how = Data[0] & 3;
    if (how == 0 || how == 3 || Size < 4) return std::string(bytes + 1, Size - 1);
    const size_t offset = (Data[1] | static_cast<size_t>(Data[2]) << 8 | static_cast<size_t>(Data[3]) << 16) %
                          (Genuine.size() + 1);
    std::string file = Genuine;
    file.replace(offset, std::min(Size - 4, file.size() - offset), bytes + 4, Size - 4);
    if (how == 2) file.resize(offset + Size - 4);
    return file;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    static TBitmap32 source = [] {
        TBitmap32 b(5, 3);
        for (int i = 0; i < 15; ++i)
            b.SetPixel(i % 5, i / 5, Word(i));
        return b;
    }();
    // One copy of each kind for the whole run: a failed swap-in leaves it swapped out for the
    // next input, so a new swap file is needed only after an input that brought the pixels back.
    static TCompressedBitmap whole(source);
    whole.SetCompressed(true);
    Overwrite(whole.FileName(), Data, Size);
    try {
        whole.SetCompressed(false);
        for (int i = 0; i < 15; ++i)
            if (whole.Bitmap()->Pixel(i % 5, i / 5) != source.Pixel(i % 5, i / 5)) std::abort();
    } catch (const Exception&) {
        if (!whole.Compressed()) std::abort();
    }

    // Of a 70 x 500 picture whose pixels are the same words over and over, the tiles of its
    // right edge (six pixels wide, the last one 52 high too) and its first tile: nine tiles in
    // eight bands, brought back by an exchange with a blank picture, the bands on four threads.
    constexpr int W = 70, H = 500;
    static TBitmap32 picture = [] {
        TBitmap32 b(W, H);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                b.SetPixel(x, y, Word(x + y));
        return b;
    }();
    // What the exchange gives a blank picture: the kept tiles' pixels, nothing elsewhere.
    static TBitmap32 expected = [] {
        TBitmap32 b(W, H);
        b.Clear(0);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                if (x >= 64 || y < 64) b.SetPixel(x, y, picture.Pixel(x, y));
        return b;
    }();
    static TBitmap32 nothing = [] {
        TBitmap32 b(W, H);
        b.Clear(0);
        return b;
    }();
    const size_t bytes = static_cast<size_t>(W) * H * sizeof(TColor32);
    static TCompressedBitmap tiles(W, H);
    static std::string genuine = [] {
        tiles.KeepBefore(picture, TRect{64, 0, W, H});
        tiles.KeepBefore(picture, TRect{0, 0, 1, 1});
        tiles.Seal();
        tiles.SetCompressed(true);
        return ReadFile(tiles.FileName());
    }();
    // A new swap file after an input that brought the pixels back holds the same bytes.
    tiles.SetCompressed(true);
    const std::string file = Changed(genuine, Data, Size);
    Overwrite(tiles.FileName(), reinterpret_cast<const uint8_t*>(file.data()), file.size());
    static TBitmap32 blank(W, H);
    std::memset(blank.Bits(), 0, bytes);
    try {
        tiles.Exchange(blank, TRect{0, 0, W, H});
        if (std::memcmp(blank.Bits(), expected.Bits(), bytes) != 0) std::abort();
        tiles.Exchange(blank, TRect{0, 0, W, H}); // the copy holds the picture again
    } catch (const Exception&) {
        if (!tiles.Compressed() || std::memcmp(blank.Bits(), nothing.Bits(), bytes) != 0) std::abort();
    }
    return 0;
}
