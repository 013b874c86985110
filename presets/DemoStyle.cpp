// SPDX-License-Identifier: GPL-3.0-or-later
#include "presets/DemoStyle.h"

#include <cstddef>

// Defined by the source that the build makes from resources/sample256.bmp.
extern const unsigned char DemoStyleBmp[];
extern const std::size_t DemoStyleBmpSize;

std::span<const unsigned char> DemoStyle() {
    return {DemoStyleBmp, DemoStyleBmpSize};
}
