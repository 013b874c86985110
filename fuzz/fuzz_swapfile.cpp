// SPDX-License-Identifier: GPL-3.0-or-later
// Swap files of the undo history changed behind its back, for a copy of a whole bitmap and for
// a copy of tiles: bringing the pixels back either gives the very pixels that were swapped out
// or raises an Exception and leaves the picture as it was; nothing else.
#include "document/CompressedBitmap.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Private folders for the temporary-file service of this process.
    static char root[] = "/tmp/quor-fuzz-swap-XXXXXX";
    if (mkdtemp(root) == nullptr) std::abort();
    std::atexit([] { std::filesystem::remove_all(root); });
    setenv("TMPDIR", root, 1);
    setenv("XDG_STATE_HOME", root, 1);
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

    // Tiles of a 70 x 66 picture (four, cut at two edges) whose pixels are the same words over
    // and over; brought back by an exchange with a blank picture.
    static TBitmap32 picture = [] {
        TBitmap32 b(70, 66);
        for (int y = 0; y < 66; ++y)
            for (int x = 0; x < 70; ++x)
                b.SetPixel(x, y, Word(x + y));
        return b;
    }();
    static TCompressedBitmap tiles(70, 66);
    static bool kept = [] {
        tiles.KeepBefore(picture, TRect{0, 0, 70, 66});
        tiles.Seal();
        return true;
    }();
    (void)kept;
    tiles.SetCompressed(true);
    Overwrite(tiles.FileName(), Data, Size);
    TBitmap32 blank(70, 66);
    blank.Clear(0);
    try {
        tiles.Exchange(blank, TRect{0, 0, 70, 66});
        for (int y = 0; y < 66; ++y)
            for (int x = 0; x < 70; ++x)
                if (blank.Pixel(x, y) != picture.Pixel(x, y)) std::abort();
        tiles.Exchange(blank, TRect{0, 0, 70, 66}); // the copy holds the picture again
    } catch (const Exception&) {
        if (!tiles.Compressed()) std::abort();
        for (int y = 0; y < 66; ++y)
            for (int x = 0; x < 70; ++x)
                if (blank.Pixel(x, y) != 0) std::abort();
    }
    return 0;
}
