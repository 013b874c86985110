// SPDX-License-Identifier: GPL-3.0-or-later
// A small photo for the tests of the shell: a piece of a photo of tests/data.
#pragma once

#include "platform/raster/Bitmap32.h"
#include "tests/support/JpegPhoto.h"

#include <gtest/gtest.h>

constexpr int SmallPhotoWidth = 200;
constexpr int SmallPhotoHeight = 150;

inline void SmallPhoto(TBitmap32& B) {
    if (!LoadTestPhotoPiece("photo-a.jpg", 400, 300, SmallPhotoWidth, SmallPhotoHeight, B))
        ADD_FAILURE() << TestPhotoPath("photo-a.jpg") << " cannot be read";
}
