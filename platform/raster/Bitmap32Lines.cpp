// SPDX-License-Identifier: GPL-3.0-or-later
// Lines on a TBitmap32: aliased, antialiased, in the pen colour and in the stipple pattern.
//
// Coordinates name pixel centres: the point (3, 4) is the centre of pixel (3, 4). A line is
// stepped one pixel at a time along its major axis (the axis of its larger extent), at the
// whole positions from its rounded start to its rounded end; the end's pixel is drawn only
// when L is true, so lines chained end to start paint their joints once. The aliased line
// takes the pixel nearest the exact minor position (halves toward the end's side); the
// antialiased line splits each step between the two pixels around the minor position in
// proportion. Every line is clipped to the bitmap by its step range: the pixels drawn inside
// are the ones the unclipped line would draw, and the work is bounded by the bitmap's size
// whatever the coordinates.

#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Round.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

using i128 = __int128;

// The colour blended onto a pixel by a weight 0..255 times the colour's alpha, rounded; the
// pixel stays opaque where it was.
inline void BlendPixel(TColor32& D, TColor32 C, uint32_t Coverage) {
    const uint32_t w = (AlphaComponent(C) * Coverage + 127) / 255;
    if (w == 255)
        D = C | 0xFF000000u;
    else if (w != 0)
        D = BlendChannels(C | 0xFF000000u, D, w);
}

// The stipple colour at counter value C: the entry at its integer part, blended toward the next
// entry by the fraction.
TColor32 StippleColor(const std::vector<TColor32>& Pattern, double C) {
    const size_t n = Pattern.size();
    const double i = std::floor(C);
    const size_t k = static_cast<size_t>(i) % n;
    const uint32_t f = static_cast<uint32_t>(Round((C - i) * 255.0));
    return BlendChannels(Pattern[(k + 1) % n], Pattern[k], std::min<uint32_t>(f, 255));
}

double WrapCounter(double C, double N) {
    if (!std::isfinite(C)) return 0.0;
    C = std::fmod(C, N);
    if (C < 0) C += N;
    return C >= N ? 0.0 : C;
}

// The range of steps k = 0..Last whose major position Start + k * Dir lies in [0, Size).
// False when none does.
bool StepRange(double Start, int Dir, double Last, int Size, int64_t& K0, int64_t& K1) {
    double lo, hi;
    if (Dir > 0) {
        lo = -Start;
        hi = (Size - 1) - Start;
    } else {
        lo = Start - (Size - 1);
        hi = Start;
    }
    lo = std::max(lo, 0.0);
    hi = std::min(hi, Last);
    if (!(lo <= hi)) return false;
    K0 = static_cast<int64_t>(lo);
    K1 = static_cast<int64_t>(hi);
    return true;
}

} // namespace

void TBitmap32::LineS(int X1, int Y1, int X2, int Y2, TColor32 Value, bool L) {
    if (Empty()) return;
    const int64_t dx = int64_t{X2} - X1, dy = int64_t{Y2} - Y1;
    const bool xMajor = std::llabs(dx) >= std::llabs(dy);
    const int64_t dm = xMajor ? dx : dy, dn = xMajor ? dy : dx;
    const int64_t m0 = xMajor ? X1 : Y1, n0 = xMajor ? Y1 : X1;
    const int majorSize = xMajor ? FWidth : FHeight, minorSize = xMajor ? FHeight : FWidth;
    const int64_t steps = std::llabs(dm);
    if (steps == 0) {
        if (L) SetPixelS(X1, Y1, Value);
        return;
    }
    const int sm = dm > 0 ? 1 : -1, sn = dn > 0 ? 1 : (dn < 0 ? -1 : 0);
    int64_t k0, k1;
    if (!StepRange(static_cast<double>(m0), sm, static_cast<double>(L ? steps : steps - 1), majorSize, k0,
                   k1))
        return;
    // Minor offset at step k: floor((2 k |dn| + |dm|) / (2 |dm|)), the nearest whole position.
    const int64_t den = 2 * steps, inc = 2 * std::llabs(dn);
    const i128 num0 = i128{k0} * inc + steps;
    int64_t off = static_cast<int64_t>(num0 / den);
    int64_t rem = static_cast<int64_t>(num0 % den);
    for (int64_t k = k0; k <= k1; ++k) {
        const int64_t minor = n0 + sn * off;
        if (minor >= 0 && minor < minorSize) {
            const int major = static_cast<int>(m0 + sm * k);
            if (xMajor)
                SetPixel(major, static_cast<int>(minor), Value);
            else
                SetPixel(static_cast<int>(minor), major, Value);
        }
        rem += inc;
        if (rem >= den) {
            rem -= den;
            ++off;
        }
    }
}

namespace {

// The antialiased line of every variant; ColorOf gives the colour of step k (0 at the start).
template <typename TColorOf>
void DrawLineAA(TBitmap32& B, double X1, double Y1, double X2, double Y2, bool L, TColorOf ColorOf,
                double& StepsTaken) {
    StepsTaken = 0;
    if (B.Empty()) return;
    if (!std::isfinite(X1) || !std::isfinite(Y1) || !std::isfinite(X2) || !std::isfinite(Y2)) return;
    const double dx = X2 - X1, dy = Y2 - Y1;
    const bool xMajor = std::fabs(dx) >= std::fabs(dy);
    const double m0 = xMajor ? X1 : Y1, m1 = xMajor ? X2 : Y2;
    const double n0 = xMajor ? Y1 : X1, dn = xMajor ? dy : dx, dm = xMajor ? dx : dy;
    const int majorSize = xMajor ? B.Width() : B.Height(), minorSize = xMajor ? B.Height() : B.Width();
    const double start = std::nearbyint(m0), end = std::nearbyint(m1);
    const double steps = std::fabs(end - start);
    StepsTaken = L ? steps + 1 : steps;
    if (steps == 0 && !L) return;
    const double dir = end >= start ? 1.0 : -1.0;
    const double last = L ? end : end - dir;
    // The whole major positions between start and last, clipped to the bitmap.
    const double lo = std::max(std::min(start, last), 0.0);
    const double hi = std::min(std::max(start, last), static_cast<double>(majorSize - 1));
    if (!(lo <= hi)) return;
    const double slope = dm != 0 ? dn / dm : 0.0;
    // The minor position is kept as whole part plus fraction, so that a line moved by whole
    // pixels is drawn the same, rounding included.
    const double n0Whole = std::floor(n0), n0Frac = n0 - n0Whole;
    for (int mj = static_cast<int>(lo); mj <= static_cast<int>(hi); ++mj) {
        const double offset = n0Frac + (mj - m0) * slope;
        const double offsetWhole = std::floor(offset);
        const double base = n0Whole + offsetWhole;
        if (!(base >= -1 && base < minorSize)) continue;
        const uint32_t far = static_cast<uint32_t>(Round((offset - offsetWhole) * 255.0));
        const TColor32 c = ColorOf((mj - start) * dir);
        const int mn = static_cast<int>(base);
        auto plot = [&](int n, uint32_t cov) {
            if (cov == 0 || n < 0 || n >= minorSize) return;
            BlendPixel(xMajor ? *B.PixelPtr(mj, n) : *B.PixelPtr(n, mj), c, cov);
        };
        plot(mn, 255 - far);
        plot(mn + 1, far);
    }
}

// A line coloured by the stipple pattern; the counter moves on by Step for every step.
void StippleLine(TBitmap32& B, const std::vector<TColor32>& Pattern, float& Counter, float Step, double X1,
                 double Y1, double X2, double Y2, bool L) {
    if (Pattern.empty()) return;
    const double n = static_cast<double>(Pattern.size());
    const double counter = WrapCounter(Counter, n);
    double steps;
    DrawLineAA(
        B, X1, Y1, X2, Y2, L,
        [&](double k) { return StippleColor(Pattern, WrapCounter(counter + Step * k, n)); }, steps);
    Counter = static_cast<float>(WrapCounter(counter + Step * steps, n));
}

} // namespace

void TBitmap32::LineAS(int X1, int Y1, int X2, int Y2, TColor32 Value, bool L) {
    double steps;
    DrawLineAA(
        *this, X1, Y1, X2, Y2, L, [&](double) { return Value; }, steps);
}

void TBitmap32::LineFSP(float X1, float Y1, float X2, float Y2, bool L) {
    StippleLine(*this, FStipple, StippleCounter, StippleStep, X1, Y1, X2, Y2, L);
}

void TBitmap32::LineXSP(TFixed X1, TFixed Y1, TFixed X2, TFixed Y2, bool L) {
    StippleLine(*this, FStipple, StippleCounter, StippleStep, FixedToFloat(X1), FixedToFloat(Y1),
                FixedToFloat(X2), FixedToFloat(Y2), L);
}

void TBitmap32::MoveToF(float X, float Y) {
    FPenX = X;
    FPenY = Y;
}

void TBitmap32::LineToFS(float X, float Y) {
    const TColor32 pen = PenColor;
    double steps;
    DrawLineAA(
        *this, FPenX, FPenY, X, Y, false, [&](double) { return pen; }, steps);
    FPenX = X;
    FPenY = Y;
}

void TBitmap32::SetStipple(const std::vector<TColor32>& Colors) {
    FStipple = Colors;
}
