// SPDX-License-Identifier: GPL-3.0-or-later
// The photos of tests/data that the analysis tests hold the fast kernels against the plain ones on:
// all three at their size in optimised builds; in unoptimised builds (the sanitizer run) one
// 320 x 240 piece of each, which keeps the plain thinning short.
#pragma once

#include "platform/raster/Bitmap32.h"
#include "tests/support/JpegPhoto.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

struct TTestPhoto {
    std::string Name;
    TBitmap32 Picture;
    int W = 0;
    int H = 0;
    size_t N = 0; // pixels
};

// None, and the running test marked failed, when a photo cannot be read.
inline std::vector<TTestPhoto> TestPhotos() {
    std::vector<TTestPhoto> photos;
    for (const char* name : {"photo-a.jpg", "photo-b.jpg", "photo-c.jpg"}) {
        TTestPhoto photo{name, {}};
        TBitmap32 full;
        if (!LoadTestPhoto(name, full)) {
            ADD_FAILURE() << TestPhotoPath(name) << " cannot be read";
            return {};
        }
#ifdef NDEBUG
        photo.Picture = std::move(full);
#else
        const int left = full.Width() / 3, top = full.Height() / 3;
        photo.Picture.SetSize(320, 240);
        photo.Picture.Draw(0, 0, TRect{left, top, left + 320, top + 240}, full);
#endif
        photo.W = photo.Picture.Width();
        photo.H = photo.Picture.Height();
        photo.N = static_cast<size_t>(photo.W) * photo.H;
        photos.push_back(std::move(photo));
    }
    return photos;
}
