// SPDX-License-Identifier: GPL-3.0-or-later
// A grey photo of straight stripes, for tests of the directions the analysis finds and the strokes
// follow: a smooth wave across stripes that rise at Degrees (counted up from the right, as the
// picture shows them), eleven pixels from one stripe to the next.
#pragma once

#include "platform/raster/Bitmap32.h"

#include <cmath>

inline TBitmap32 StripesPhoto(int W, int H, double Degrees) {
    const double pi = 3.141592653589793, a = Degrees * pi / 180;
    TBitmap32 b;
    b.SetSize(W, H);
    for (int r = 0; r < H; ++r)
        for (int x = 0; x < W; ++x) {
            const double across = -x * std::sin(a) + (H - 1 - r) * std::cos(a);
            const int grey = static_cast<int>(128 + 100 * std::sin(across * 2 * pi / 11));
            b.SetPixel(x, r, Color32(grey, grey, grey));
        }
    return b;
}
