// SPDX-License-Identifier: GPL-3.0-or-later
// Per-pixel maps of a picture and the point and neighbourhood operations on them.
//
// A map is a flat array of W x H elements; element (x, y) sits at index y x W + x. Map rows run
// bottom-up: map row y holds picture row H - 1 - y, so y grows up the picture and map row y - 1
// lies one picture row below row y. Output maps are allocated by the caller (W x H elements, all
// zero); an operation writes exactly the elements it names, so the rest keep their zero. The
// frame of a map (one element wide for the 3 x 3 Sobel, two for the 5 x 5 blur) is where the
// neighbourhood does not fit: the Sobel leaves it alone and the blur copies it.
//
// Every operation accepts any size, 0 x 0 and maps narrower or lower than its kernel included,
// and reads and writes nothing outside its maps. A map shorter than W x H raises an Exception.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <utility>
#include <vector>

class TBitmap32;

using TByteMap = std::vector<uint8_t>;
using TSmallIntMap = std::vector<int16_t>; // the Sobel results, within -1020..1020

// An allocator that leaves elements undefined where a vector would clear them (an explicit value
// is still copied in). A map that an operation fills completely then costs no clearing pass,
// and its memory is first touched by the threads that fill it.
template <typename T>
struct TUnclearedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = TUnclearedAllocator<U>;
    };
    TUnclearedAllocator() = default;
    template <typename U>
    TUnclearedAllocator(const TUnclearedAllocator<U>&) noexcept {}
    template <typename U>
    void construct(U* P) noexcept {
        ::new (static_cast<void*>(P)) U;
    }
    template <typename U, typename... TArgs>
    void construct(U* P, TArgs&&... Args) {
        ::new (static_cast<void*>(P)) U(std::forward<TArgs>(Args)...);
    }
};

// Maps whose new elements are undefined until an operation writes them.
using TUnclearedByteMap = std::vector<uint8_t, TUnclearedAllocator<uint8_t>>;
using TUnclearedSmallIntMap = std::vector<int16_t, TUnclearedAllocator<int16_t>>;

// L := Round(lightness x 255), HS := Round(hue x 31) x 8 + Round(saturation x 7) of every pixel,
// from the HSL conversion of the raster library (alpha ignored). W and H are the bitmap's.
void BitmapToLumaHueSat(const TBitmap32& Bitmap, std::span<uint8_t> L, std::span<uint8_t> HS);
// v := 255 - v.
void InvertMap(std::span<uint8_t> Map, int W, int H);
void CopyMap(std::span<const uint8_t> Src, std::span<uint8_t> Dst, int W, int H);
// v := 255 when v > 128, else 0.
void ThresholdMap(std::span<uint8_t> Map, int W, int H);
// The map row below minus the map row above, weights 1, 2, 1, on the interior.
void SobelVertical(std::span<const uint8_t> Src, std::span<int16_t> Dst, int W, int H);
// The left column minus the right column, weights 1, 2, 1, on the interior.
void SobelHorizontal(std::span<const uint8_t> Src, std::span<int16_t> Dst, int W, int H);
// M := Min(255, |A| + |B|) for every element.
void GradientMagnitude(std::span<const int16_t> A, std::span<const int16_t> B, std::span<uint8_t> M, int W,
                       int H);
// One pass of the 5 x 5 integer Gaussian (weights summing to 159, result s div 159) on the
// interior; the two-element frame is copied.
void GaussianBlur5x5(std::span<const uint8_t> Src, std::span<uint8_t> Dst, int W, int H);
// Count passes from Src into Dst (Count 0 copies).
void RepeatGaussianBlur(std::span<const uint8_t> Src, std::span<uint8_t> Dst, int W, int H, int Count);
// Count passes in place.
void BlurMap(std::span<uint8_t> Map, int W, int H, int Count);
// Clears the one-element frame (first and last row and column) of a map: the elements that the
// Sobel pair and the edge test leave alone.
template <typename T>
void ClearFrame(std::span<T> Map, int W, int H) {
    if (W <= 0 || H <= 0) return;
    const size_t w = static_cast<size_t>(W);
    for (size_t x = 0; x < w; ++x) {
        Map[x] = 0;
        Map[(static_cast<size_t>(H) - 1) * w + x] = 0;
    }
    for (size_t y = 1; y + 1 < static_cast<size_t>(H); ++y) {
        Map[y * w] = 0;
        Map[y * w + w - 1] = 0;
    }
}
