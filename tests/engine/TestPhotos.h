// The shared photos that the analysis tests hold the fast kernels against the plain ones on:
// all three at their size in optimised builds; in unoptimised builds (the sanitizer run) one
// 320 x 240 piece of each, which keeps the plain thinning short.
#pragma once

#include "platform/raster/Bitmap32.h"
#include "tests/support/JpegPhoto.h"

#include <string>
#include <vector>

struct TTestPhoto {
    std::string Name;
    TBitmap32 Picture;
};

// Empty when the shared pictures are missing.
inline std::vector<TTestPhoto> TestPhotos() {
    std::vector<TTestPhoto> photos;
    for (const char* name : {"photo-a.jpg", "photo-b.jpg", "photo-c.jpg"}) {
        const std::string path = SharedPhoto(name);
        TBitmap32 full;
        if (path.empty() || !LoadJpegPhoto(path, full)) return {};
#ifdef NDEBUG
        photos.push_back({name, std::move(full)});
#else
        TBitmap32 piece;
        piece.SetSize(320, 240);
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320; ++x)
                piece.SetPixel(x, y, full.Pixel(x + full.Width() / 3, y + full.Height() / 3));
        photos.push_back({name, std::move(piece)});
#endif
    }
    return photos;
}
