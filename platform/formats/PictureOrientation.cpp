// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/formats/PictureOrientation.h"

#include "platform/raster/Bitmap32.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {
constexpr uint16_t OrientationTag = 0x0112;
constexpr uint16_t ShortType = 3;
} // namespace

int ExifOrientation(const unsigned char* Data, size_t Size) {
    if (Data == nullptr) return 0;
    if (Size >= 6 && std::memcmp(Data, "Exif\0\0", 6) == 0) {
        Data += 6;
        Size -= 6;
    }
    if (Size < 8) return 0;
    bool little;
    if (Data[0] == 'I' && Data[1] == 'I')
        little = true;
    else if (Data[0] == 'M' && Data[1] == 'M')
        little = false;
    else
        return 0;
    auto u16 = [&](uint64_t P) -> uint32_t {
        return little ? Data[P] | (Data[P + 1] << 8) : (Data[P] << 8) | Data[P + 1];
    };
    auto u32 = [&](uint64_t P) -> uint64_t {
        return little ? u16(P) | (uint64_t{u16(P + 2)} << 16) : (uint64_t{u16(P)} << 16) | u16(P + 2);
    };
    if (u16(2) != 42) return 0;
    // The first directory: a count, then entries of 12 bytes: tag, type, count, value.
    const uint64_t ifd = u32(4);
    if (ifd + 2 > Size) return 0;
    const uint64_t count = u16(ifd);
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t entry = ifd + 2 + 12 * i;
        if (entry + 12 > Size) break;
        if (u16(entry) != OrientationTag) continue;
        if (u16(entry + 2) != ShortType || u32(entry + 4) != 1) return 0;
        const uint32_t value = u16(entry + 8);
        return value >= 1 && value <= 8 ? static_cast<int>(value) : 0;
    }
    return 0;
}

void ApplyOrientation(TBitmap32& Picture, int Orientation) {
    if (Orientation < 2 || Orientation > 8 || Picture.Empty()) return;
    const int w = Picture.Width(), h = Picture.Height();
    if (Orientation <= 4) {
        // Mirrored, turned half round or flipped: the size stays, rows and columns swap in place.
        if (Orientation != 4)
            for (int y = 0; y < h; ++y)
                std::reverse(Picture.ScanLine(y), Picture.ScanLine(y) + w);
        if (Orientation != 2)
            for (int y = 0; y < h / 2; ++y)
                std::swap_ranges(Picture.ScanLine(y), Picture.ScanLine(y) + w, Picture.ScanLine(h - 1 - y));
        return;
    }
    // The stored rows become the upright picture's columns: stored (sx, sy) is shown at
    // 5: (sy, sx), 6: (h - 1 - sy, sx), 7: (h - 1 - sy, w - 1 - sx), 8: (sy, w - 1 - sx).
    const std::vector<TColor32> stored(Picture.Bits(), Picture.Bits() + static_cast<size_t>(w) * h);
    Picture.SetSize(h, w);
    const bool mirrorX = Orientation == 6 || Orientation == 7;
    const bool mirrorY = Orientation == 7 || Orientation == 8;
    // In blocks, so that both the rows read and the columns written stay in the cache.
    constexpr int Block = 64;
    for (int by = 0; by < h; by += Block)
        for (int bx = 0; bx < w; bx += Block)
            for (int sy = by; sy < std::min(by + Block, h); ++sy) {
                const TColor32* s = stored.data() + static_cast<size_t>(sy) * w;
                const int x = mirrorX ? h - 1 - sy : sy;
                for (int sx = bx; sx < std::min(bx + Block, w); ++sx)
                    Picture.SetPixel(x, mirrorY ? w - 1 - sx : sx, s[sx]);
            }
}
