// SPDX-License-Identifier: GPL-3.0-or-later
// TBitmap32 and QImage share the pixel word 0xAARRGGBB (QImage::Format_ARGB32), so a bitmap is
// shown by wrapping its memory, not by converting it.
#pragma once

#include "platform/raster/Bitmap32.h"

#include <QImage>

// A QImage over the bitmap's own pixels: drawing into it draws into the bitmap. Valid while the
// bitmap keeps its size; an empty bitmap gives a null image.
QImage Bitmap32AsQImage(TBitmap32& Bitmap);
// A read-only view: Qt copies the pixels before any change.
QImage Bitmap32AsQImage(const TBitmap32& Bitmap);

// Copies a picture of any format into the bitmap, which takes its size.
void AssignQImage(TBitmap32& Dest, const QImage& Source);
