// SPDX-License-Identifier: GPL-3.0-or-later
// The stroke generator: one pen stroke walked over the feature bitmap, coloured from the
// picture under it, turned into a left and a right outline, logged and filled.
//
// A sampler lives for one stroke. Callers create it, set it up, run Execute once, ask for the
// dirty rectangle and free it:
//
//   TLineSampler s(&Feature, &Dest, Log);   // draws the flip from the process-wide generator
//   s.SetStart(..); s.SetUp(Settings);      // draws the length jitter, then a palette ink
//   s.SetBezier(..) or s.SetOnGetDirection(..) or neither
//   s.Execute();
//   Dirty = s.GetDirtyRect();
//
// The walk takes its direction from one of two sources: the list of per-step headings made
// from a cubic (SetBezier), or, with a direction source assigned, the feature bitmap's own
// direction byte every 20 steps (the source answers where the picture's strength is too weak).
// A direction walk of 30 steps or more is first smoothed into a cubic (AutoWalk).
#pragma once

#include "engine/StrokeSettings.h"
#include "engine/Turtle.h"
#include "platform/raster/Color32.h"
#include "platform/raster/Fixed.h"
#include "platform/rtl/Types.h"

#include <climits>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

class TBitmap32;
class TStrokes;
class TTurtle;

// A direction source: fills in the heading for the absolute feature pixel (X, Y).
using TGetDirectionEvent = std::function<void(int32_t X, int32_t Y, THeading& Heading)>;

// The direction threshold of a stroke unless its caller changes it (the document's strokes and
// its direction overlay use it; see TLineSampler::DirectionThreshold).
constexpr int32_t DefaultDirectionThreshold = 1;

// One pixel touched by the walk, relative to the stroke's start, with the turtle's weighted
// sub-pixel position at the moment it was recorded (also relative to the start).
struct TPathPoint {
    int32_t X = 0;
    int32_t Y = 0;
    float FX = 0.0f;
    float FY = 0.0f;
};

class TLineSampler {
public:
    // Raises an Exception when either bitmap is missing or empty (see CheckBitmaps). The
    // destination may be larger than the feature bitmap. Draws exactly one random number, the
    // flip, after the bitmap checks.
    TLineSampler(const TBitmap32* AFeature, TBitmap32* ADest, TStrokes* AStrokes);
    ~TLineSampler();
    TLineSampler(const TLineSampler&) = delete;
    TLineSampler& operator=(const TLineSampler&) = delete;

    void CheckBitmaps(const TBitmap32* AFeature, TBitmap32* ADest);
    void FreeArrays();

    // Length := N with N zero headings; GrowLength adds D zero headings and keeps the others.
    void SetLength(int32_t N);
    void GrowLength(int32_t D);
    void SetStart(const TPoint& P) { Start = P; }
    void SetWidth(float W) { Width = W; }
    void SetPolyStep(int32_t N) { PolyStep = N; }
    void SetScale(float S) { Scale = S; }
    void SetOnGetDirection(TGetDirectionEvent Event) { OnGetDirection = std::move(Event); }
    void SetInkColor(TColor32 C) { InkColor = C; }
    void SetColorMode(TColorMode M) { ColorMode = M; }
    void SetHueShift(float V) { HueShift = V; }
    void SetSaturationShift(float V) { SaturationShift = V; }
    void SetBorderThreshold(uint8_t B) { BorderThreshold = B; }
    void SetLightnessShift(float V) { LightnessShift = V; }
    // Stored divided by 765: the outline's half-width grows with 255 x Gain = G / 3.
    void SetGain(float G) { Gain = static_cast<float>(G / 765.0); }
    // Takes Settings: the length with its jitter, Length + Random(Length div 10) - Length div 20,
    // and in cmPaletteInk an ink drawn from the palette, used as a fixed ink (cmFixedInk). Draws
    // from the process-wide generator the jitter, then the palette ink (only in cmPaletteInk with
    // a palette). The start, the direction source or curve and the threshold are set apart.
    void SetUp(const TStrokeSettings& Settings);

    // The walk follows the cubic with these control points (any frame: only differences count).
    // Replaces Length and Headings; discards any earlier outline and path.
    void SetBezier(const TPoint& P0, const TPoint& P1, const TPoint& P2, const TPoint& P3);
    void AddHeadingPoint(const TPoint& P);

    // The direction-field walk smoothed into a cubic; False (and nothing changed) below 30 steps.
    bool AutoWalk();
    // Walks the turtle and fills Path.
    void Walk();
    void AddPathPoint(int32_t X, int32_t Y, float FX, float FY);
    // One of the last four entries of Path is the pixel (X, Y).
    bool PathHasRecent(int32_t X, int32_t Y) const;
    // Generates, logs and fills the stroke. Run once per sampler. A fill that raises takes the
    // record back out of the log: the stroke is in both or in neither.
    void Execute();

    // Sampling across the stroke: the path itself, then copies shifted to either side.
    void SampleAcross();
    void SampleRow(int32_t DX, int32_t DY);
    // Color from the samples by the colour mode; needs SampleCount > 0.
    void ComputeColor();
    // LeftOutline and RightOutline from Path, one point per side for each chunk of PolyStep entries.
    void BuildOutline();
    void OutlineChunk(int32_t I0, int32_t I1);
    void GrowDirtyRect(double X, double Y);
    void FillStroke();
    // DirtyRect grown by 5 on every side and clipped to the feature bitmap. A stroke that touched
    // nothing gives Left > Right and Top > Bottom.
    TRect GetDirtyRect() const;

    // One direction sample of a walk: H becomes the direction at the turtle's position (the
    // picture's own or the source's, reversed when Flip is set, turned away from a U-turn), and
    // the turtle takes it without clearing its accumulator. Outside the feature bitmap H keeps
    // the previous sample's value.
    void SampleDirection(TTurtle& Turtle, THeading& H);

    int32_t SampleCount = 0;
    int32_t SumR = 0;
    int32_t SumG = 0;
    int32_t SumB = 0;
    TStrokes* Strokes = nullptr; // borrowed, may be null
    TArrayOfFixedPoint LeftOutline;
    TArrayOfFixedPoint RightOutline;
    std::vector<THeading> Headings;
    std::vector<TPathPoint> Path;
    int32_t Length = 0;
    TBitmap32* Dest = nullptr; // borrowed
    TPoint Start;
    float Width = 10.0f;
    float Gain = 0.0f;
    TPoint LastPoint{-1, -1};
    int32_t PolyStep = 20;
    TGetDirectionEvent OnGetDirection;
    // Called with the rectangle of Dest that the fill may change, just before it changes it.
    std::function<void(const TRect& R)> OnBeforeFill;
    const TBitmap32* Feature = nullptr; // borrowed
    float Scale = 2.0f;
    bool Flip = false;
    TRect DirtyRect{INT_MAX, INT_MAX, INT_MIN, INT_MIN}; // inclusive bounds
    bool StopOnBorders = true;
    TColor32 Color = 0;
    TColor32 InkColor = 0;
    TColorMode ColorMode = cmFixedInk;
    float HueShift = 0.0f;
    float SaturationShift = 0.0f;
    uint8_t BorderThreshold = 0;
    float LightnessShift = 0.5f;
    // A direction sample takes the feature pixel's own direction wherever this is at most twice
    // the pixel's strength, and asks the direction source elsewhere; at 0 or below it never asks.
    int32_t DirectionThreshold = DefaultDirectionThreshold;
};
