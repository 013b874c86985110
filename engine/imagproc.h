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
#include <span>
#include <vector>

class TBitmap32;

using TByteMap = std::vector<uint8_t>;
using TSmallIntMap = std::vector<int16_t>; // the Sobel results, within -1020..1020

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
