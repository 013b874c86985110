// SPDX-License-Identifier: GPL-3.0-or-later
// Stretched drawing: a source rectangle resampled onto a destination rectangle.
//
// Destination pixel x (counted from the rectangle's left) looks at the source position
// SrcLeft + (x + 0.5) * SrcWidth / DstWidth - 0.5, both axes alike. The nearest filter takes the
// pixel under that position; the others weigh the source pixels around it with their kernel,
// widened by the scale factor when shrinking so that every source pixel counts (a shrunk
// picture is an average, not a sparse sample). Weights are normalised to sum to one, and taps
// beyond the source rectangle (or the source bitmap) read its edge pixel, so a uniform picture
// stays uniform. An axis whose size does not change is copied pixel for pixel by every filter.
//
// The kernel filters run vertically first, into one row of floats per destination row, then
// horizontally; memory stays at one source row whatever the sizes.

#include "platform/raster/Bitmap32.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace {

using i128 = __int128;

double Sinc(double x) {
    if (x == 0) return 1.0;
    const double px = std::numbers::pi * x;
    return std::sin(px) / px;
}

// Kernel radius and value of each filter.
double Radius(TStretchFilter F) {
    switch (F) {
    case sfLinear:
        return 1.0;
    case sfSpline:
    case sfMitchell:
        return 2.0;
    case sfLanczos:
        return 3.0;
    default:
        return 0.5;
    }
}

double Kernel(TStretchFilter F, double t) {
    t = std::fabs(t);
    switch (F) {
    case sfLinear:
        return t < 1 ? 1 - t : 0;
    case sfSpline: // cubic B-spline
        if (t < 1) return 2.0 / 3.0 - t * t + t * t * t / 2;
        if (t < 2) return (2 - t) * (2 - t) * (2 - t) / 6;
        return 0;
    case sfLanczos:
        return t < 3 ? Sinc(t) * Sinc(t / 3) : 0;
    case sfMitchell: { // B = C = 1/3
        constexpr double B = 1.0 / 3.0, C = 1.0 / 3.0;
        if (t < 1)
            return ((12 - 9 * B - 6 * C) * t * t * t + (-18 + 12 * B + 6 * C) * t * t + (6 - 2 * B)) / 6;
        if (t < 2)
            return ((-B - 6 * C) * t * t * t + (6 * B + 30 * C) * t * t + (-12 * B - 48 * C) * t +
                    (8 * B + 24 * C)) /
                   6;
        return 0;
    }
    default:
        return t <= 0.5 ? 1 : 0;
    }
}

// The source pixels and weights that make each destination pixel along one axis.
struct TAxis {
    std::vector<int32_t> First; // per destination pixel: index into Index/Weight
    std::vector<int32_t> Count;
    std::vector<int32_t> Index; // source positions
    std::vector<float> Weight;
    bool Single = true; // every destination pixel reads one source pixel with weight 1
    int32_t Min = INT32_MAX, Max = INT32_MIN;
};

// Axis of DstLen pixels from DstStart (a rectangle of that origin) over SrcLen source pixels
// from SrcStart, for destination pixels D0..D1-1; sources readable in [V0, V1).
void BuildAxis(TAxis& A, TStretchFilter Filter, int64_t DstStart, int64_t DstLen, int64_t SrcStart,
               int64_t SrcLen, int64_t D0, int64_t D1, int64_t V0, int64_t V1) {
    const bool nearest = Filter == sfNearest || Filter < sfNearest || Filter > sfMitchell;
    std::vector<double> acc;
    for (int64_t d = D0; d < D1; ++d) {
        const int64_t x = d - DstStart;
        A.First.push_back(static_cast<int32_t>(A.Index.size()));
        if (nearest || SrcLen == DstLen) {
            // floor((x + 0.5) * SrcLen / DstLen), exactly.
            const int64_t s =
                SrcLen == DstLen
                    ? SrcStart + x
                    : SrcStart + static_cast<int64_t>((i128{2 * x + 1} * SrcLen) / (i128{2} * DstLen));
            const int32_t idx = static_cast<int32_t>(std::clamp(s, V0, V1 - 1));
            A.Index.push_back(idx);
            A.Weight.push_back(1.0f);
            A.Count.push_back(1);
            A.Min = std::min(A.Min, idx);
            A.Max = std::max(A.Max, idx);
            continue;
        }
        A.Single = false;
        const double scale = static_cast<double>(SrcLen) / static_cast<double>(DstLen);
        const double widen = std::max(1.0, scale);
        const double support = Radius(Filter) * widen;
        const double centre = SrcStart + (x + 0.5) * scale - 0.5;
        // Taps beyond the readable range all read its edge pixel; far beyond, they are dropped
        // (only a source rectangle that reaches far outside its bitmap has such taps).
        const double reach = std::min(std::ceil(support), 4096.0);
        const int64_t lo =
            static_cast<int64_t>(std::max(std::ceil(centre - support), static_cast<double>(V0) - reach));
        const int64_t hi =
            static_cast<int64_t>(std::min(std::floor(centre + support), static_cast<double>(V1 - 1) + reach));
        const int64_t first = std::clamp(lo, V0, V1 - 1);
        const int64_t last = std::max(first, std::clamp(hi, V0, V1 - 1));
        acc.assign(static_cast<size_t>(last - first + 1), 0.0);
        double sum = 0;
        for (int64_t i = lo; i <= hi; ++i) {
            const double w = Kernel(Filter, (i - centre) / widen);
            acc[static_cast<size_t>(std::clamp(i, V0, V1 - 1) - first)] += w;
            sum += w;
        }
        if (std::fabs(sum) < 1e-9) {
            // No weight at all (cannot happen with these kernels): take the nearest pixel.
            acc.assign(acc.size(), 0.0);
            acc[static_cast<size_t>(std::clamp(static_cast<int64_t>(std::floor(centre + 0.5)), first, last) -
                                    first)] = 1.0;
            sum = 1.0;
        }
        int32_t count = 0;
        for (size_t k = 0; k < acc.size(); ++k) {
            if (acc[k] == 0.0) continue;
            const int32_t idx = static_cast<int32_t>(first + static_cast<int64_t>(k));
            A.Index.push_back(idx);
            A.Weight.push_back(static_cast<float>(acc[k] / sum));
            A.Min = std::min(A.Min, idx);
            A.Max = std::max(A.Max, idx);
            ++count;
        }
        A.Count.push_back(count);
    }
}

inline uint8_t ToByte(float v) {
    return static_cast<uint8_t>(std::clamp(std::floor(v + 0.5f), 0.0f, 255.0f));
}

inline void Put(TColor32& D, TColor32 S, bool Blend, uint32_t MasterAlpha) {
    if (!Blend) {
        D = S;
        return;
    }
    const uint32_t weight = (AlphaComponent(S) * MasterAlpha + 127) / 255;
    D = BlendChannels(S | 0xFF000000u, D, weight);
}

} // namespace

void TBitmap32::DrawStretched(const TRect& DstRect, const TRect& SrcRect, const TBitmap32& Src) {
    if (&Src == this) {
        TBitmap32 copy;
        copy.Assign(Src);
        DrawStretched(DstRect, SrcRect, copy);
        return;
    }
    const int64_t dw = int64_t{DstRect.Right} - DstRect.Left, dh = int64_t{DstRect.Bottom} - DstRect.Top;
    const int64_t sw = int64_t{SrcRect.Right} - SrcRect.Left, sh = int64_t{SrcRect.Bottom} - SrcRect.Top;
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0 || Empty() || Src.Empty()) return;
    TRect valid;
    if (!IntersectRect(valid, SrcRect, Src.BoundsRect())) return;
    const int64_t x0 = std::max<int64_t>(DstRect.Left, 0), x1 = std::min<int64_t>(DstRect.Right, FWidth);
    const int64_t y0 = std::max<int64_t>(DstRect.Top, 0), y1 = std::min<int64_t>(DstRect.Bottom, FHeight);
    if (x0 >= x1 || y0 >= y1) return;

    TAxis ax, ay;
    BuildAxis(ax, Src.StretchFilter, DstRect.Left, dw, SrcRect.Left, sw, x0, x1, valid.Left, valid.Right);
    BuildAxis(ay, Src.StretchFilter, DstRect.Top, dh, SrcRect.Top, sh, y0, y1, valid.Top, valid.Bottom);
    const bool blend = Src.DrawMode == dmBlend;
    const uint32_t master = Src.MasterAlpha;
    const int w = static_cast<int>(x1 - x0);

    if (ax.Single && ay.Single) {
        // Every destination pixel is one source pixel: copy.
        for (int64_t y = y0; y < y1; ++y) {
            const TColor32* s = Src.ScanLine(ay.Index[static_cast<size_t>(y - y0)]);
            TColor32* d = PixelPtr(static_cast<int>(x0), static_cast<int>(y));
            for (int x = 0; x < w; ++x)
                Put(d[x], s[ax.Index[static_cast<size_t>(x)]], blend, master);
        }
        return;
    }

    // Vertical pass into one row of channel sums over the source columns in use, then the
    // horizontal pass out of it.
    const int cMin = ax.Min, cols = ax.Max - ax.Min + 1;
    std::vector<float> row(static_cast<size_t>(cols) * 4);
    for (int64_t y = y0; y < y1; ++y) {
        const size_t yi = static_cast<size_t>(y - y0);
        std::fill(row.begin(), row.end(), 0.0f);
        for (int32_t t = 0; t < ay.Count[yi]; ++t) {
            const size_t k = static_cast<size_t>(ay.First[yi] + t);
            const float wy = ay.Weight[k];
            const TColor32* s = Src.ScanLine(ay.Index[k]) + cMin;
            float* r = row.data();
            for (int c = 0; c < cols; ++c, r += 4) {
                const TColor32 p = s[c];
                r[0] += wy * static_cast<float>(p >> 24);
                r[1] += wy * static_cast<float>((p >> 16) & 0xFF);
                r[2] += wy * static_cast<float>((p >> 8) & 0xFF);
                r[3] += wy * static_cast<float>(p & 0xFF);
            }
        }
        TColor32* d = PixelPtr(static_cast<int>(x0), static_cast<int>(y));
        for (int x = 0; x < w; ++x) {
            float a = 0, rr = 0, gg = 0, bb = 0;
            for (int32_t t = 0; t < ax.Count[static_cast<size_t>(x)]; ++t) {
                const size_t k = static_cast<size_t>(ax.First[static_cast<size_t>(x)] + t);
                const float wx = ax.Weight[k];
                const float* r = row.data() + static_cast<size_t>(ax.Index[k] - cMin) * 4;
                a += wx * r[0];
                rr += wx * r[1];
                gg += wx * r[2];
                bb += wx * r[3];
            }
            Put(d[x], Color32(ToByte(rr), ToByte(gg), ToByte(bb), ToByte(a)), blend, master);
        }
    }
}
