// SPDX-License-Identifier: GPL-3.0-or-later
// The picture analysis written the slow, obvious way, step by step as the algorithms read. The
// tests hold the engine's fast kernels against these, element for element.
#pragma once

#include "platform/raster/Bitmap32.h"

#include <cstdint>
#include <vector>

namespace Plain {

using Bytes = std::vector<uint8_t>;
using Shorts = std::vector<int16_t>;
using Singles = std::vector<float>;

void BitmapToLumaHueSat(const TBitmap32& Bitmap, Bytes& L, Bytes& HS);
void InvertMap(Bytes& Map, int W, int H);
void ThresholdMap(Bytes& Map, int W, int H);
void SobelVertical(const Bytes& Src, Shorts& Dst, int W, int H);
void SobelHorizontal(const Bytes& Src, Shorts& Dst, int W, int H);
void GradientMagnitude(const Shorts& A, const Shorts& B, Bytes& M, int W, int H);
void GaussianBlur5x5(const Bytes& Src, Bytes& Dst, int W, int H);
void RepeatGaussianBlur(const Bytes& Src, Bytes& Dst, int W, int H, int Count);
void BlurMap(Bytes& Map, int W, int H, int Count);

void DetectEdges(const Bytes& Src, Bytes& Dst, int W, int H);
void ThinEdges(Bytes& Map, int W, int H);
void PackEdgeFlag(const Bytes& Mag, Bytes& Edge, int W, int H);

uint8_t VectorToDirectionByte(float Y, float X);
void ResizeGridBilinear(const Singles& Src, Singles& Dst, int GW, int GH, int W, int H);
void OrientationField(const Shorts& A, const Shorts& B, Bytes& Dir, int W, int H, int N);

// The whole pipeline, with the maps as the extractor chains them.
TBitmap32 Extract(const TBitmap32& Source);

} // namespace Plain
