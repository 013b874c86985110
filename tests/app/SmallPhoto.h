// SPDX-License-Identifier: GPL-3.0-or-later
// A small photo for the tests of the shell: a piece of a shared photo, or a drawn picture with
// edges and several hues where the shared pictures are missing.
#pragma once

#include "platform/raster/Bitmap32.h"
#include "tests/support/JpegPhoto.h"

constexpr int SmallPhotoWidth = 200;
constexpr int SmallPhotoHeight = 150;

inline void SmallPhoto(TBitmap32& B) {
    if (LoadSharedPhotoPiece("photo-a.jpg", 400, 300, SmallPhotoWidth, SmallPhotoHeight, B)) return;
    B.SetSize(SmallPhotoWidth, SmallPhotoHeight);
    for (int y = 0; y < SmallPhotoHeight; ++y)
        for (int x = 0; x < SmallPhotoWidth; ++x) {
            const bool disc = (x - 100) * (x - 100) + (y - 70) * (y - 70) < 50 * 50;
            B.SetPixel(x, y,
                       disc ? Color32(200, 40, 60)
                            : Color32(static_cast<uint8_t>(x), static_cast<uint8_t>((x + y) / 8 % 2 * 120),
                                      static_cast<uint8_t>(255 - y)));
        }
}
