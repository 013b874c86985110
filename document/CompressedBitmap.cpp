#include "document/CompressedBitmap.h"

#include "document/UTempManager.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/BmpCodec.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <cstdio>

namespace {
int32_t MemorySizeOf(const TBitmap32& B) {
    return static_cast<int32_t>(static_cast<int64_t>(B.Width()) * B.Height() * 4 + 54);
}

// A checksum of every pixel word, so that a swap file changed behind our back is noticed.
uint64_t PixelChecksum(const TBitmap32& B) {
    const TColor32* p = B.Bits();
    const size_t n = static_cast<size_t>(B.Width()) * static_cast<size_t>(B.Height());
    uint64_t h = 0x9E3779B97F4A7C15ULL ^ n;
    for (size_t i = 0; i < n; ++i)
        h = (h ^ p[i]) * 0x100000001B3ULL + (h >> 29);
    return h;
}
} // namespace

TCompressedBitmap::TCompressedBitmap(const TBitmap32& Source) : FBitmap(std::make_unique<TBitmap32>()) {
    FBitmap->Assign(Source);
    FMemorySize = MemorySizeOf(*FBitmap);
}

TCompressedBitmap::~TCompressedBitmap() {
    if (!FFileName.empty()) std::remove(FFileName.c_str());
}

void TCompressedBitmap::SetBitmap(std::unique_ptr<TBitmap32> B) {
    FBitmap = std::move(B);
    FMemorySize = FBitmap ? MemorySizeOf(*FBitmap) : 0;
}

void TCompressedBitmap::SetCompressed(bool V) {
    if (V == FCompressed) return;
    if (V)
        SwapOut();
    else
        SwapIn();
    FCompressed = V;
}

void TCompressedBitmap::SwapOut() {
    const std::string name = TempManager().GetTempFileName(".bmp");
    try {
        TFileStream file(name, TFileMode::fmCreate);
        WriteBmp(*FBitmap, file);
    } catch (const Exception& e) {
        std::remove(name.c_str());
        RaiseException("Cannot swap an undo step out to \"" + name + "\". " + e.Message());
    }
    FFileName = name;
    FWidth = FBitmap->Width();
    FHeight = FBitmap->Height();
    FChecksum = PixelChecksum(*FBitmap);
    FBitmap.reset();
    FDiskSize = 0;
}

void TCompressedBitmap::SwapIn() {
    auto bitmap = std::make_unique<TBitmap32>();
    try {
        TFileStream file(FFileName, TFileMode::fmOpenRead);
        ReadBmp(*bitmap, file);
    } catch (const Exception& e) {
        RaiseException("Cannot read the undo step swapped out to \"" + FFileName + "\". " + e.Message());
    }
    if (bitmap->Width() != FWidth || bitmap->Height() != FHeight || PixelChecksum(*bitmap) != FChecksum)
        RaiseException("Cannot read the undo step swapped out to \"" + FFileName +
                       "\". The file was changed");
    FBitmap = std::move(bitmap);
    // Back in memory the pixels change with the next undo or redo, so the file is stale: a
    // later swap-out writes a new one.
    std::remove(FFileName.c_str());
    FFileName.clear();
}
