// SPDX-License-Identifier: GPL-3.0-or-later
// What the strokes of one gesture or one preview share: the style parameters, the colour
// settings and the border threshold, and the border limit that the user sets that threshold by.
#pragma once

#include "platform/raster/Color32.h"

#include <cstdint>
#include <span>

// Where a stroke's colour comes from, kept as a byte (the ColorMode fields of the samplers and the
// document). The stroke generator itself knows cmSampledColor and treats every other value as
// cmFixedInk; SetUp turns cmPaletteInk into a fixed ink drawn from the settings' palette, or into
// black ink without one (the effect sampler's case).
enum TColorMode : uint8_t {
    cmFixedInk = 0,     // the ink's hue and saturation with the sampled lightness
    cmSampledColor = 1, // the colour sampled from the picture, with the hue, saturation and lightness shifts
    cmPaletteInk = 2,   // for each stroke an ink drawn from a palette, used as the fixed ink
};

// What the strokes of one gesture or one preview share, handed to each stroke by
// TLineSampler::SetUp. The defaults are those of a new sampler.
struct TStrokeSettings {
    float Scale = 2.0f;    // destination pixels per feature pixel
    int32_t PolyStep = 20; // path entries per outline chunk (the style's precision)
    int32_t Length = 50;   // nominal steps before the jitter
    float Gain = 16.0f;    // as SetGain takes it
    float Width = 10.0f;
    bool StopOnBorders = true;
    float HueShift = 0.0f; // the shifts apply in cmSampledColor
    float SaturationShift = 0.0f;
    float LightnessShift = 0.5f;
    uint8_t BorderThreshold = 0;
    TColor32 InkColor = 0;
    TColorMode ColorMode = cmFixedInk;
    // The inks of cmPaletteInk, one drawn at random for each stroke; without any the ink is black.
    std::span<const TColor32> Palette;
};

// The border threshold of a border limit in percent: Round((100 - Limit) / 100 x 60) as a byte.
// 100 gives 0 and 50 gives 30; limits above 100 wrap to thresholds that no feature strength
// reaches (127 gives 240, 128 gives 239).
uint8_t BorderThresholdOf(uint8_t Limit);
// The border limit a threshold shows: 100 - Round(Threshold / 60 x 100) in 8 bits. 30 gives 50,
// 240 gives 212; the pair is not an exact inverse (99 gives threshold 1, which shows 98).
uint8_t BorderLimitOf(uint8_t Threshold);
