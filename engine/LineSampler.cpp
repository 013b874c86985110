// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/LineSampler.h"

#include "engine/Bezier.h"
#include "engine/Strokes.h"
#include "engine/Turtle.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/HSL.h"
#include "platform/raster/Polygon32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Random.h"
#include "platform/rtl/Round.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace {

// The colour of a feature pixel depends on its green byte (hue and saturation codes) and its red
// byte (darkness) alone, so the 65536 conversions are made once and looked up: entry
// red x 256 + green, the middle two bytes of the pixel word, holds $00RRGGBB.
const uint32_t* FeatureColorTable() {
    static const std::vector<uint32_t> table = [] {
        std::vector<uint32_t> t(65536);
        for (int g = 0; g < 256; ++g)
            for (int r = 0; r < 256; ++r) {
                uint8_t cr, cg, cb;
                HSLToRGBBytes(cr, cg, cb, static_cast<float>((g >> 3) / 31.0),
                              static_cast<float>((g & 7) / 7.0), static_cast<float>(1.0 - r / 255.0));
                t[static_cast<size_t>(r) * 256 + g] = Color32(cr, cg, cb, 0);
            }
        return t;
    }();
    return table.data();
}

// A direction is read every this many walk steps; between reads the heading stays.
constexpr int DirectionInterval = 20;

// A walk of fewer steps than this follows the directions as read; a longer one is smoothed into
// a cubic first.
constexpr int MinAutoWalkLength = 30;

// A new heading within this distance of the exact reverse of the current one is turned round.
constexpr int UTurnTolerance = 5;

// HeadingBetween depends only on the difference of its points, and the stretches of a curve's
// control polygons are short and repeat, so the headings of small differences are kept once
// worked out (per thread; -1 means not yet known).
constexpr int CachedReach = 31;
constexpr int CachedSide = 2 * CachedReach + 1;

THeading CachedHeadingBetween(const TPoint& A, const TPoint& B) {
    const int64_t dx = static_cast<int64_t>(B.X) - A.X;
    const int64_t dy = static_cast<int64_t>(B.Y) - A.Y;
    if (dx < -CachedReach || dx > CachedReach || dy < -CachedReach || dy > CachedReach)
        return HeadingBetween(A, B);
    thread_local std::array<int16_t, CachedSide* CachedSide> cache = [] {
        std::array<int16_t, CachedSide * CachedSide> c;
        c.fill(-1);
        return c;
    }();
    int16_t& h = cache[static_cast<size_t>((dy + CachedReach) * CachedSide + dx + CachedReach)];
    if (h < 0) h = HeadingBetween(A, B);
    return static_cast<THeading>(h);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Set-up
// ---------------------------------------------------------------------------------------------

TLineSampler::TLineSampler(const TBitmap32* AFeature, TBitmap32* ADest, TStrokes* AStrokes) {
    HueShift = 0.0f;
    SaturationShift = 0.0f;
    LightnessShift = 0.5f;
    StopOnBorders = true;
    DirtyRect = TRect{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    Strokes = AStrokes;
    PolyStep = 20;
    Gain = static_cast<float>(16.0 / 765.0);
    Scale = 2.0f;
    CheckBitmaps(AFeature, ADest);
    Start = Point(0, 0);
    Width = 10.0f;
    SetLength(50);
    Start = Point(Feature->Width() / 2, Feature->Height() / 2);
    // 499 chances in 1000.
    Flip = Random(1000) >= 501;
}

TLineSampler::~TLineSampler() {
    FreeArrays();
}

void TLineSampler::SetUp(const TStrokeSettings& Settings) {
    SetScale(Settings.Scale);
    SetPolyStep(Settings.PolyStep);
    SetLength(Settings.Length + Random(Settings.Length / 10) - Settings.Length / 20);
    SetGain(Settings.Gain);
    SetWidth(Settings.Width);
    StopOnBorders = Settings.StopOnBorders;
    SetHueShift(Settings.HueShift);
    SetSaturationShift(Settings.SaturationShift);
    SetLightnessShift(Settings.LightnessShift);
    SetBorderThreshold(Settings.BorderThreshold);
    if (Settings.ColorMode != cmPaletteInk) {
        SetInkColor(Settings.InkColor);
        SetColorMode(Settings.ColorMode);
        return;
    }
    const std::span<const TColor32> inks = Settings.Palette;
    SetInkColor(inks.empty() ? clBlack32
                             : inks[static_cast<size_t>(Random(static_cast<int32_t>(inks.size())))]);
    SetColorMode(cmFixedInk);
}

void TLineSampler::CheckBitmaps(const TBitmap32* AFeature, TBitmap32* ADest) {
    Feature = AFeature;
    Dest = ADest;
    if (Feature == nullptr) RaiseException("Invalid Bitmap Feat");
    if (Dest == nullptr) RaiseException("Invalid Bitmap Dst");
    // Only empty bitmaps fail: the destination may be larger than the feature bitmap.
    if (Feature->Width() == 0 || Dest->Width() == 0) RaiseException("Feat->Width != Dest->Width");
    if (Feature->Height() == 0 || Dest->Height() == 0) RaiseException("Feat->Height != Dest->Height");
}

void TLineSampler::FreeArrays() {
    LeftOutline.clear();
    RightOutline.clear();
    Headings.clear();
    Path.clear();
}

void TLineSampler::SetLength(int32_t N) {
    Length = N;
    Headings.assign(static_cast<size_t>(std::max(N, 0)), 0);
}

void TLineSampler::GrowLength(int32_t D) {
    Length += D;
    Headings.resize(static_cast<size_t>(std::max(Length, 0)), 0);
}

// ---------------------------------------------------------------------------------------------
// Curves into headings
// ---------------------------------------------------------------------------------------------

void TLineSampler::SetBezier(const TPoint& P0, const TPoint& P1, const TPoint& P2, const TPoint& P3) {
    FreeArrays();
    Length = 0;
    LastPoint = Point(-1, -1);
    TBezierHelper helper;
    helper.Subdivide(P0, P1, P2, P3,
                     [this](const TPoint& Q0, const TPoint& Q1, const TPoint& Q2, const TPoint& Q3) {
                         AddHeadingPoint(Q0);
                         AddHeadingPoint(Q1);
                         AddHeadingPoint(Q2);
                         AddHeadingPoint(Q3);
                     });
}

// Each stretch of the control polygons contributes as many steps as its Manhattan length, all
// with the stretch's heading. (-1, -1) stands for "no previous point".
void TLineSampler::AddHeadingPoint(const TPoint& P) {
    if (LastPoint == Point(-1, -1)) {
        LastPoint = P;
        return;
    }
    const int64_t d = std::llabs(static_cast<int64_t>(P.X) - LastPoint.X) +
                      std::llabs(static_cast<int64_t>(P.Y) - LastPoint.Y);
    if (d > 0) {
        if (d > INT32_MAX - static_cast<int64_t>(std::max(Length, 0)))
            RaiseException("TLineSampler.AddHeadingPoint: the curve is too long");
        const THeading h = CachedHeadingBetween(LastPoint, P);
        const size_t old = Headings.size();
        GrowLength(static_cast<int32_t>(d));
        std::fill(Headings.begin() + static_cast<std::ptrdiff_t>(old), Headings.end(), h);
    }
    LastPoint = P;
}

// ---------------------------------------------------------------------------------------------
// The walk
// ---------------------------------------------------------------------------------------------

void TLineSampler::SampleDirection(TTurtle& Turtle, THeading& H) {
    const int32_t x = Turtle.X + Start.X;
    const int32_t y = Turtle.Y + Start.Y;
    if (x >= 0 && x < Feature->Width() && y >= 0 && y < Feature->Height()) {
        const TColor32 p = Feature->Pixel(x, y);
        if (DirectionThreshold <= 2 * static_cast<int32_t>(p & 127))
            H = static_cast<THeading>(p >> 24);
        else if (OnGetDirection)
            OnGetDirection(x, y, H);
    }
    if (Flip) H = static_cast<THeading>(H + 128);
    const int d = std::abs(static_cast<int>(Turtle.Heading) - static_cast<int>(H));
    if (std::abs(d - 128) < UTurnTolerance) H = static_cast<THeading>(H + 128);
    // Assigned directly: the accumulator carries on.
    Turtle.Heading = H;
}

bool TLineSampler::AutoWalk() {
    if (Length < MinAutoWalkLength) return false;
    const int n = Length;
    // Only four of the walk's sub-pixel points become control points of the cubic.
    const int index[4] = {0, n / 3, 2 * n / 3, n - 1};
    float fx[4] = {}, fy[4] = {};
    TTurtle turtle(Point(0, 0), 0);
    // The first sample starts from the turtle's own heading, should it fall outside the picture.
    THeading h = 0;
    for (int i = 0; i < n; ++i) {
        for (int k = 0; k < 4; ++k)
            if (index[k] == i) turtle.GetSubPixel(fx[k], fy[k]);
        if (i % DirectionInterval == 0) SampleDirection(turtle, h);
        turtle.Step();
    }
    TPoint p[4];
    for (int k = 0; k < 4; ++k)
        p[k] = Point(Round(fx[k]), Round(fy[k]));
    SetBezier(p[0], p[1], p[2], p[3]);
    return true;
}

bool TLineSampler::PathHasRecent(int32_t X, int32_t Y) const {
    const size_t n = Path.size();
    for (size_t k = n > 4 ? n - 4 : 0; k < n; ++k)
        if (Path[k].X == X && Path[k].Y == Y) return true;
    return false;
}

void TLineSampler::Walk() {
    TTurtle turtle(Point(0, 0), 0);
    const bool source = static_cast<bool>(OnGetDirection);
    THeading h = 0;
    if (Length > 0) Path.reserve(Path.size() + 2 * static_cast<size_t>(Length));
    for (int i = 0; i < Length; ++i) {
        // AddPathPoint for the neighbour pixel and then the main pixel, at the turtle's sub-pixel
        // position, which is worked out only when one of them is new.
        float fx = 0, fy = 0;
        bool known = false;
        if (!PathHasRecent(turtle.NeighbourPixel.X, turtle.NeighbourPixel.Y)) {
            turtle.GetSubPixel(fx, fy);
            known = true;
            Path.push_back(TPathPoint{turtle.NeighbourPixel.X, turtle.NeighbourPixel.Y, fx, fy});
        }
        if (!PathHasRecent(turtle.MainPixel.X, turtle.MainPixel.Y)) {
            if (!known) turtle.GetSubPixel(fx, fy);
            Path.push_back(TPathPoint{turtle.MainPixel.X, turtle.MainPixel.Y, fx, fy});
        }
        if (!source)
            turtle.Heading = Headings[static_cast<size_t>(i)];
        else if (i % DirectionInterval == 0)
            SampleDirection(turtle, h);
        turtle.Step();
    }
}

void TLineSampler::AddPathPoint(int32_t X, int32_t Y, float FX, float FY) {
    if (!PathHasRecent(X, Y)) Path.push_back(TPathPoint{X, Y, FX, FY});
}

void TLineSampler::Execute() {
    if (OnGetDirection && AutoWalk()) OnGetDirection = nullptr;
    Walk();
    SampleAcross();
    if (SampleCount > 0) {
        ComputeColor();
        BuildOutline();
        if (!LeftOutline.empty() && !RightOutline.empty()) {
            if (Strokes != nullptr) Strokes->Add(LeftOutline, RightOutline, Color);
            try {
                FillStroke();
            } catch (...) {
                // A stroke that could not be drawn leaves the log too: the log and the
                // drawing hold the same strokes.
                if (Strokes != nullptr) Strokes->RemoveLast();
                throw;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Sampling across the stroke
// ---------------------------------------------------------------------------------------------

// Rows alternate between the two sides, one turtle step further out each time: the path, one
// step to B's side, one to A's, two to B's, and so on, for Round(Width x 255) / 255 rows rounded
// up. Both sides are taken from the first step's heading.
void TLineSampler::SampleAcross() {
    if (PolyStep >= Length) PolyStep = Length - 1;
    SampleCount = 0;
    SumR = 0;
    SumG = 0;
    SumB = 0;
    // A stroke without steps has no first heading; its path is empty, so no row samples anything.
    const THeading h0 = Headings.empty() ? 0 : Headings[0];
    TTurtle a(Start, static_cast<THeading>(h0 + 64));
    TTurtle b(Start, static_cast<THeading>(h0 - 64));
    // A width that is not a number samples nothing; one beyond any picture is held at the
    // largest budget instead of overflowing.
    const double widthBudget = static_cast<double>(Width) * 255;
    int budget = widthBudget >= INT_MAX ? INT_MAX : widthBudget > 0 ? Round(widthBudget) : 0;
    while (budget > 0) {
        SampleRow(a.X, a.Y);
        budget -= 255;
        a.Step();
        if (budget < 1) break;
        b.Step();
        SampleRow(b.X, b.Y);
        budget -= 255;
    }
}

// The row ends for good at its first pixel outside the picture, on a border (when StopOnBorders)
// or below the threshold; a stopping pixel inside the picture already counts as touched.
void TLineSampler::SampleRow(int32_t DX, int32_t DY) {
    const uint32_t* colors = FeatureColorTable();
    const int32_t w = Feature->Width();
    const int32_t h = Feature->Height();
    const uint32_t borderMask = StopOnBorders ? 0x80u : 0u;
    const uint32_t threshold = BorderThreshold;
    TRect dirty = DirtyRect;
    int32_t count = 0;
    int32_t sumR = 0, sumG = 0, sumB = 0;
    for (const TPathPoint& e : Path) {
        const int32_t x = e.X + DX;
        const int32_t y = e.Y + DY;
        if (x < 0 || x >= w || y < 0 || y >= h) break;
        dirty.Left = std::min(dirty.Left, x);
        dirty.Top = std::min(dirty.Top, y);
        dirty.Right = std::max(dirty.Right, x);
        dirty.Bottom = std::max(dirty.Bottom, y);
        const TColor32 p = Feature->Pixel(x, y);
        if ((p & borderMask) != 0) break;
        if ((p & 127) < threshold) break;
        const uint32_t c = colors[(p & 0xFFFF00u) >> 8];
        sumR += static_cast<int32_t>(RedComponent(c));
        sumG += static_cast<int32_t>(GreenComponent(c));
        sumB += static_cast<int32_t>(BlueComponent(c));
        ++count;
    }
    DirtyRect = dirty;
    SampleCount += count;
    SumR += sumR;
    SumG += sumG;
    SumB += sumB;
}

// ---------------------------------------------------------------------------------------------
// Colour
// ---------------------------------------------------------------------------------------------

void TLineSampler::ComputeColor() {
    const int32_t r = SumR / SampleCount;
    const int32_t g = SumG / SampleCount;
    const int32_t b = SumB / SampleCount;
    float h, s, l;
    RGBtoHSL(Color32(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b)), h, s, l);
    if (ColorMode == cmSampledColor) {
        // The hue is not wrapped here (the conversion takes it modulo 1); the saturation may go
        // down to -1.
        h = static_cast<float>(static_cast<double>(h) + HueShift);
        s = static_cast<float>(std::min(1.0, std::max(-1.0, static_cast<double>(s) + SaturationShift)));
        l = static_cast<float>(std::min(1.0, std::max(0.0, static_cast<double>(l) + LightnessShift)));
        Color = HSLtoRGB(h, s, l);
    } else {
        // The ink's hue and saturation with the sampled lightness.
        float hi, si, li;
        RGBtoHSL(InkColor, hi, si, li);
        Color = HSLtoRGB(hi, si, l);
    }
    Color |= 0xFF000000u;
}

// ---------------------------------------------------------------------------------------------
// Outline and fill
// ---------------------------------------------------------------------------------------------

// Chunks of PolyStep entries that do not share entries; a remainder of one entry is dropped.
void TLineSampler::BuildOutline() {
    if (PolyStep < 2) PolyStep = 2;
    const int32_t high = static_cast<int32_t>(Path.size()) - 1;
    const int32_t n = high / PolyStep;
    LeftOutline.clear();
    RightOutline.clear();
    if (n > 0) {
        LeftOutline.reserve(static_cast<size_t>(n) + 1);
        RightOutline.reserve(static_cast<size_t>(n) + 1);
    }
    for (int32_t k = 1; k <= n; ++k)
        OutlineChunk((k - 1) * PolyStep, k * PolyStep - 1);
    if (high - n * PolyStep > 0) OutlineChunk(n * PolyStep, high);
}

// One point on each side, across the chunk's first centre and square to the chord from its first
// centre to its last.
void TLineSampler::OutlineChunk(int32_t I0, int32_t I1) {
    if (I0 == I1) return;
    const TPathPoint& e0 = Path[static_cast<size_t>(I0)];
    const TPathPoint& e1 = Path[static_cast<size_t>(I1)];
    const double c0x = Start.X + static_cast<double>(e0.FX);
    const double c0y = Start.Y + static_cast<double>(e0.FY);
    const double c1x = Start.X + static_cast<double>(e1.FX);
    const double c1y = Start.Y + static_cast<double>(e1.FY);
    const double a = std::atan2(c1y - c0y, c1x - c0x);
    // Half-width: W = 255 x Gain (a third of the style's gain); above W of about 1.93 the power
    // term makes thick strokes grow faster than the gain.
    const double w = 255.0 * Gain;
    const double hw = std::max(w, std::pow(2 * w, 1.3) / 3);
    constexpr double HalfPi = std::numbers::pi / 2;
    const double left = a + HalfPi;
    const double right = a - HalfPi;
    const double lx = (c0x + hw * std::cos(left)) * Scale;
    const double ly = (c0y + hw * std::sin(left)) * Scale;
    GrowDirtyRect(lx, ly);
    LeftOutline.push_back(FixedPoint(lx, ly));
    const double rx = (c0x + hw * std::cos(right)) * Scale;
    const double ry = (c0y + hw * std::sin(right)) * Scale;
    GrowDirtyRect(rx, ry);
    RightOutline.push_back(FixedPoint(rx, ry));
}

// The point is in destination pixels but is held against the feature bitmap's size; the two agree
// at Scale 1, the document's case.
void TLineSampler::GrowDirtyRect(double X, double Y) {
    // Points far outside (or not numbers) cannot round into the picture; they are left before
    // rounding, which would not fit an integer.
    if (!(X > -1.0 && X < Feature->Width() + 1.0 && Y > -1.0 && Y < Feature->Height() + 1.0)) return;
    const int32_t xi = Round(X);
    const int32_t yi = Round(Y);
    if (xi < 0 || xi >= Feature->Width() || yi < 0 || yi >= Feature->Height()) return;
    DirtyRect.Left = std::min(DirtyRect.Left, xi);
    DirtyRect.Top = std::min(DirtyRect.Top, yi);
    DirtyRect.Right = std::max(DirtyRect.Right, xi);
    DirtyRect.Bottom = std::max(DirtyRect.Bottom, yi);
}

void TLineSampler::FillStroke() {
    if (OnBeforeFill && !LeftOutline.empty()) {
        // The pixels the outline's points fall in, and one more on every side for the
        // antialiasing's snapping to eighths of a pixel.
        TFixed x0 = LeftOutline[0].X, y0 = LeftOutline[0].Y, x1 = x0, y1 = y0;
        for (const TArrayOfFixedPoint* outline : {&LeftOutline, &RightOutline})
            for (const TFixedPoint& p : *outline) {
                x0 = std::min(x0, p.X);
                y0 = std::min(y0, p.Y);
                x1 = std::max(x1, p.X);
                y1 = std::max(y1, p.Y);
            }
        TRect r;
        if (IntersectRect(r, TRect{(x0 >> 16) - 1, (y0 >> 16) - 1, (x1 >> 16) + 2, (y1 >> 16) + 2},
                          Dest->BoundsRect()))
            OnBeforeFill(r);
    }
    TPolygon32 polygon;
    polygon.Antialiased = true;
    polygon.FillMode = pfAlternate;
    for (const TFixedPoint& p : LeftOutline)
        polygon.Add(p);
    for (auto it = RightOutline.rbegin(); it != RightOutline.rend(); ++it)
        polygon.Add(*it);
    polygon.DrawFill(*Dest, Color);
}

TRect TLineSampler::GetDirtyRect() const {
    TRect r = DirtyRect;
    r.Left -= 5;
    r.Top -= 5;
    r.Right += 5;
    r.Bottom += 5;
    r.Left = std::max(0, r.Left);
    r.Top = std::max(0, r.Top);
    r.Right = std::min(Feature->Width(), r.Right);
    r.Bottom = std::min(Feature->Height(), r.Bottom);
    return r;
}
