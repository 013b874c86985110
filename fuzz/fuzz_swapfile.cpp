// Swap files of the undo history changed behind its back: bringing the bitmap back either
// gives the very pixels that were swapped out or raises an Exception; nothing else.
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    static TBitmap32 source = [] {
        TBitmap32 b(5, 3);
        for (int i = 0; i < 15; ++i)
            b.SetPixel(i % 5, i / 5, 0x01020304u * static_cast<uint32_t>(i + 1));
        return b;
    }();
    // One bitmap for the whole run: a failed swap-in leaves it swapped out for the next input,
    // so a new swap file (and a new name of the temporary-file service) is needed only after
    // an input that brought the pixels back.
    static TCompressedBitmap c(source);
    c.SetCompressed(true);
    if (std::FILE* f = std::fopen(c.FileName().c_str(), "wb")) {
        std::fwrite(Data, 1, Size, f);
        std::fclose(f);
    }
    try {
        c.SetCompressed(false);
        for (int i = 0; i < 15; ++i)
            if (c.Bitmap()->Pixel(i % 5, i / 5) != source.Pixel(i % 5, i / 5)) std::abort();
    } catch (const Exception&) {
        if (!c.Compressed()) std::abort();
    }
    return 0;
}
