// SPDX-License-Identifier: GPL-3.0-or-later
// The analysis of a picture into the feature bitmap that every stroke reads.
//
// The feature bitmap has the picture's size and row order; each pixel word (TFeaturePixel) packs
//   alpha (bits 24..31): direction along the edges, a THeading byte (0..64 or 191..255; 191
//                        everywhere in a picture of fewer than two blocks, 32 pixels, across
//                        or down)
//   red   (bits 16..23): darkness, 255 - Round(lightness x 255)
//   green (bits 8..15):  Round(hue x 31) x 8 + Round(saturation x 7)
//   blue  (bit 7):       border, set on the thinned edge lines
//   blue  (bits 0..6):   strength, the ten-times-blurred gradient magnitude shifted right by one
// Readers recover hue = code / 31, saturation = code / 7, lightness = 1 - darkness / 255, the
// strength as blue and 127 and the border as blue and 128.
#pragma once

#include "engine/imagproc.h"
#include "platform/raster/Color32.h"
#include "platform/rtl/Events.h"

#include <cstdint>
#include <memory>

class TBitmap32;

using TFeaturePixel = TColor32;

class TFeatureExtractor {
public:
    // The analysis of Bitmap as a new feature bitmap that the caller owns. Progress comes in the
    // steps 5, 8, 12, 14, 28, 35, 50, 90, 100, after OnStart and before OnEnd, all on the calling
    // thread; an exception ends the analysis without OnEnd and reaches the caller.
    static std::unique_ptr<TBitmap32> Extract(const TBitmap32& Bitmap, TPercentEvent OnProgress = nullptr,
                                              TNotifyEvent OnStart = nullptr, TNotifyEvent OnEnd = nullptr);

    explicit TFeatureExtractor(const TBitmap32& Bitmap);
    ~TFeatureExtractor();
    TFeatureExtractor(const TFeatureExtractor&) = delete;
    TFeatureExtractor& operator=(const TFeatureExtractor&) = delete;

    // Runs the pipeline on Source and returns the new feature bitmap. Raises an Exception when
    // Source no longer has the size it had when the extractor was made.
    std::unique_ptr<TBitmap32> Execute();

    void SetBlockSize(int32_t Value) { BlockSize = Value; }
    void SetOnProgress(TPercentEvent Value) { OnProgress = std::move(Value); }
    void SetOnStart(TNotifyEvent Value) { OnStart = std::move(Value); }
    void SetOnEnd(TNotifyEvent Value) { OnEnd = std::move(Value); }
    void DoProgress(int32_t Percent);
    // Empties all seven maps and gives back their memory.
    void ClearMaps();

    // The maps live only while Execute runs; each holds Width x Height elements, bottom-up rows.
    TSmallIntMap VerticalSobel;
    TSmallIntMap HorizontalSobel;
    TByteMap Darkness; // lightness first, inverted in place
    TByteMap HueSat;
    TByteMap Magnitude; // gradient magnitude, then blurred
    TByteMap Edges;     // 0 or 255, then the packed blue byte
    TByteMap Directions;
    const TBitmap32* Source; // borrowed
    int32_t Width;
    int32_t Height;
    int32_t BlockSize = 16;
    TPercentEvent OnProgress;
    TNotifyEvent OnStart;
    TNotifyEvent OnEnd;
};

// Bitmap := W x H pixels, pixel (x, H - 1 - y) made of element y x W + x of the four maps:
// red Darkness, green HueSat, blue Edges, alpha Directions.
void ComposeFeatureBitmap(std::span<const uint8_t> Darkness, std::span<const uint8_t> HueSat,
                          std::span<const uint8_t> Edges, std::span<const uint8_t> Directions, int W, int H,
                          TBitmap32& Bitmap);
