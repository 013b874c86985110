// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the picture-format tests: the fixtures folder and the test card that
// tools/make-format-fixtures.sh draws into every fixture.
#pragma once

#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Streams.h"
#include "tests/support/RaisedMessage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

inline std::string Fixture(const std::string& Name) {
    return std::string(QUOR_SOURCE_DIR) + "/tests/formats/fixtures/" + Name;
}

// The 16 x 8 test card: red = 16 x, green = 32 y, blue = 7 x y mod 256.
inline TColor32 CardPixel(int X, int Y) {
    return Color32(static_cast<uint8_t>(16 * X), static_cast<uint8_t>(32 * Y),
                   static_cast<uint8_t>(7 * X * Y));
}
// The 16 x 8 grey ramp: grey = 16 x + 2 y.
inline TColor32 GreyPixel(int X, int Y) {
    const auto g = static_cast<uint8_t>(16 * X + 2 * Y);
    return Color32(g, g, g);
}

// Every pixel within Tolerance of the expected one in each channel, alpha included.
template <typename Expected>
::testing::AssertionResult PixelsMatch(const TBitmap32& B, Expected Pixel, int Tolerance = 0, int W = 16,
                                       int H = 8) {
    if (B.Width() != W || B.Height() != H)
        return ::testing::AssertionFailure()
               << "size " << B.Width() << " x " << B.Height() << ", expected " << W << " x " << H;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const TColor32 a = B.Pixel(x, y);
            const TColor32 e = Pixel(x, y);
            for (int shift = 0; shift < 32; shift += 8) {
                const int d =
                    std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((e >> shift) & 0xFF));
                if (d > Tolerance)
                    return ::testing::AssertionFailure()
                           << "pixel " << x << ", " << y << " is " << std::hex << a << ", expected " << e;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// For lossy formats: the mean absolute difference per colour channel over the whole picture.
template <typename Expected>
double MeanError(const TBitmap32& B, Expected Pixel) {
    double sum = 0;
    for (int y = 0; y < B.Height(); ++y)
        for (int x = 0; x < B.Width(); ++x)
            for (int shift = 0; shift < 24; shift += 8)
                sum += std::abs(static_cast<int>((B.Pixel(x, y) >> shift) & 0xFF) -
                                static_cast<int>((Pixel(x, y) >> shift) & 0xFF));
    return B.Empty() ? 255.0 : sum / (3.0 * B.Width() * B.Height());
}

// A file's bytes. (Not FileBytes: tests/support/WriteFaults.h has an inline FileBytes returning a
// string, and the linker takes two inline functions of one name and arguments for one.)
inline std::vector<unsigned char> FileData(const std::string& Path) {
    TMemoryStream m;
    m.LoadFromFile(Path);
    return std::vector<unsigned char>(m.Memory(), m.Memory() + m.Size());
}
