// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/imagproc.h"

#include "engine/MapCheck.h"
#include "engine/ParallelRows.h"
#include "engine/SimdKernels.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/HSL.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Round.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#if QUOR_HAS_AVX2_PATH
#include <immintrin.h>
#endif

namespace {

// ---------------------------------------------------------------------------------------------
// Colour conversion
// ---------------------------------------------------------------------------------------------
//
// The lightness and saturation codes depend only on the largest and the smallest channel; they
// come from a table made with the raster library's conversion itself. The hue code is
// Round(31 x h), where h x 6 d is an integer fraction of the channel bytes (d = max - min); the
// conversion's single-precision steps change that fraction by less than 4e-4, and two such
// fractions that differ lie at least 1 / (12 d) apart, so Round of the exact fraction is the
// conversion's own result wherever the fraction stays 1e-3 away from a half. The few pixels
// closer to a half (exact halves among them, such as pure cyan) take the conversion itself.

struct TLightSatTable {
    // Lightness code in the low byte, saturation code in the high byte, by max x 256 + min; one
    // spare entry lets a 32-bit gather read the last one.
    std::array<uint16_t, 65536 + 2> Codes{};
    TLightSatTable() {
        for (int mx = 0; mx < 256; ++mx)
            for (int mn = 0; mn <= mx; ++mn) {
                float h, s, l;
                RGBtoHSL(
                    Color32(static_cast<uint8_t>(mx), static_cast<uint8_t>(mn), static_cast<uint8_t>(mn)), h,
                    s, l);
                const int lc = Round(l * 255.0);
                const int sc = Round(s * 7.0);
                Codes[mx * 256 + mn] = static_cast<uint16_t>(lc | (sc << 8));
            }
    }
};

const TLightSatTable& LightSat() {
    static const TLightSatTable table;
    return table;
}

inline uint8_t HueSatCodeExact(TColor32 C) {
    float h, s, l;
    RGBtoHSL(C, h, s, l);
    return static_cast<uint8_t>(Round(h * 31.0) * 8 + Round(s * 7.0));
}

inline void ConvertPixel(TColor32 C, const uint16_t* Codes, uint8_t& L, uint8_t& HS) {
    const int r = (C >> 16) & 255, g = (C >> 8) & 255, b = C & 255;
    const int mx = std::max(r, std::max(g, b));
    const int mn = std::min(r, std::min(g, b));
    const uint16_t ls = Codes[mx * 256 + mn];
    L = static_cast<uint8_t>(ls);
    if (mx == mn) {
        HS = 0;
        return;
    }
    const int d = mx - mn;
    // 6 d h = off d + n, plus 6 d when negative (only possible with red largest).
    int p;
    if (r == mx) {
        const int n = g - b;
        p = n < 0 ? 6 * d + n : n;
    } else if (g == mx) {
        p = 2 * d + (b - r);
    } else {
        p = 4 * d + (r - g);
    }
    const float v = static_cast<float>(31 * p) / static_cast<float>(6 * d);
    const float fl = std::floor(v);
    const float frac = v - fl;
    if (std::abs(frac - 0.5f) < 1e-3f) {
        HS = HueSatCodeExact(C);
        return;
    }
    const int hue = static_cast<int>(fl) + (frac > 0.5f ? 1 : 0);
    HS = static_cast<uint8_t>(hue * 8 + (ls >> 8));
}

void ConvertRowPlain(const TColor32* Src, const uint16_t* Codes, uint8_t* L, uint8_t* HS, int W) {
    for (int x = 0; x < W; ++x)
        ConvertPixel(Src[x], Codes, L[x], HS[x]);
}

#if QUOR_HAS_AVX2_PATH
// ConvertPixel for eight pixels at a time, step for step the same arithmetic.
QUOR_AVX2 void ConvertRowAvx2(const TColor32* Src, const uint16_t* Codes, uint8_t* L, uint8_t* HS, int W) {
    const __m256i byte = _mm256_set1_epi32(255), zero = _mm256_setzero_si256(), one = _mm256_set1_epi32(1);
    const __m256 half = _mm256_set1_ps(0.5f), band = _mm256_set1_ps(1e-3f);
    const __m256 absMask = _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF));
    int x = 0;
    for (; x + 8 <= W; x += 8) {
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Src + x));
        const __m256i r = _mm256_and_si256(_mm256_srli_epi32(c, 16), byte);
        const __m256i g = _mm256_and_si256(_mm256_srli_epi32(c, 8), byte);
        const __m256i b = _mm256_and_si256(c, byte);
        const __m256i mx = _mm256_max_epi32(r, _mm256_max_epi32(g, b));
        const __m256i mn = _mm256_min_epi32(r, _mm256_min_epi32(g, b));
        const __m256i ls =
            _mm256_and_si256(_mm256_i32gather_epi32(reinterpret_cast<const int*>(Codes),
                                                    _mm256_or_si256(_mm256_slli_epi32(mx, 8), mn), 2),
                             _mm256_set1_epi32(0xFFFF));
        const __m256i d = _mm256_sub_epi32(mx, mn);
        const __m256i grey = _mm256_cmpeq_epi32(d, zero);
        const __m256i d2 = _mm256_add_epi32(d, d), d4 = _mm256_add_epi32(d2, d2),
                      d6 = _mm256_add_epi32(d4, d2);
        const __m256i redMax = _mm256_cmpeq_epi32(r, mx);
        const __m256i greenMax = _mm256_andnot_si256(redMax, _mm256_cmpeq_epi32(g, mx));
        const __m256i nr = _mm256_sub_epi32(g, b);
        const __m256i pr = _mm256_add_epi32(nr, _mm256_and_si256(_mm256_cmpgt_epi32(zero, nr), d6));
        const __m256i pg = _mm256_add_epi32(d2, _mm256_sub_epi32(b, r));
        const __m256i pb = _mm256_add_epi32(d4, _mm256_sub_epi32(r, g));
        __m256i p = _mm256_blendv_epi8(pb, pg, greenMax);
        p = _mm256_blendv_epi8(p, pr, redMax);
        const __m256 v = _mm256_div_ps(_mm256_cvtepi32_ps(_mm256_mullo_epi32(p, _mm256_set1_epi32(31))),
                                       _mm256_cvtepi32_ps(_mm256_max_epi32(d6, one)));
        const __m256 fl = _mm256_floor_ps(v);
        const __m256 frac = _mm256_sub_ps(v, fl);
        const __m256 near = _mm256_andnot_ps(
            _mm256_castsi256_ps(grey),
            _mm256_cmp_ps(_mm256_and_ps(_mm256_sub_ps(frac, half), absMask), band, _CMP_LT_OQ));
        const __m256i up = _mm256_and_si256(_mm256_castps_si256(_mm256_cmp_ps(frac, half, _CMP_GT_OQ)), one);
        const __m256i hue = _mm256_add_epi32(_mm256_cvttps_epi32(fl), up);
        const __m256i hs =
            _mm256_andnot_si256(grey, _mm256_add_epi32(_mm256_slli_epi32(hue, 3), _mm256_srli_epi32(ls, 8)));
        const __m256i lc = _mm256_and_si256(ls, byte);
        const __m128i l16 = _mm_packus_epi32(_mm256_castsi256_si128(lc), _mm256_extracti128_si256(lc, 1));
        const __m128i h16 = _mm_packus_epi32(_mm256_castsi256_si128(hs), _mm256_extracti128_si256(hs, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(L + x), _mm_packus_epi16(l16, l16));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(HS + x), _mm_packus_epi16(h16, h16));
        int mask = _mm256_movemask_ps(near);
        while (mask != 0) {
            const int j = __builtin_ctz(mask);
            HS[x + j] = HueSatCodeExact(Src[x + j]);
            mask &= mask - 1;
        }
    }
    ConvertRowPlain(Src + x, Codes, L + x, HS + x, W - x);
}
#endif

void ConvertRow(const TColor32* Src, const uint16_t* Codes, uint8_t* L, uint8_t* HS, int W) {
#if QUOR_HAS_AVX2_PATH
    if (UseAvx2()) {
        ConvertRowAvx2(Src, Codes, L, HS, W);
        return;
    }
#endif
    ConvertRowPlain(Src, Codes, L, HS, W);
}

} // namespace

void BitmapToLumaHueSat(const TBitmap32& Bitmap, std::span<uint8_t> L, std::span<uint8_t> HS) {
    const int w = Bitmap.Width(), h = Bitmap.Height();
    CheckMapSize(L, w, h, "BitmapToLumaHueSat");
    CheckMapSize(HS, w, h, "BitmapToLumaHueSat");
    if (MapElements(w, h) == 0) return;
    const uint16_t* codes = LightSat().Codes.data();
    ParallelRows(0, h, MinRowBand(w), [&](int first, int last) {
        for (int y = first; y < last; ++y) {
            const TColor32* src = Bitmap.ScanLine(h - 1 - y);
            uint8_t* l = L.data() + static_cast<size_t>(y) * w;
            uint8_t* hs = HS.data() + static_cast<size_t>(y) * w;
            ConvertRow(src, codes, l, hs, w);
        }
    });
}

// ---------------------------------------------------------------------------------------------
// Point operations
// ---------------------------------------------------------------------------------------------

namespace {

QUOR_KERNEL void MagnitudeRunBody(const int16_t* __restrict A, const int16_t* __restrict B,
                                  uint8_t* __restrict M, size_t Count) {
    for (size_t i = 0; i < Count; ++i) {
        const int16_t a = A[i] < 0 ? static_cast<int16_t>(-A[i]) : A[i];
        const int16_t b = B[i] < 0 ? static_cast<int16_t>(-B[i]) : B[i];
        const int16_t s = static_cast<int16_t>(a + b); // at most 2040
        M[i] = static_cast<uint8_t>(s < 255 ? s : 255);
    }
}
QUOR_DISPATCH(MagnitudeRun, (const int16_t* A, const int16_t* B, uint8_t* M, size_t Count), (A, B, M, Count))

} // namespace

void InvertMap(std::span<uint8_t> Map, int W, int H) {
    CheckMapSize(Map, W, H, "InvertMap");
    uint8_t* m = Map.data();
    ParallelElements(MapElements(W, H), [m](size_t first, size_t last) {
        for (size_t i = first; i < last; ++i)
            m[i] = static_cast<uint8_t>(255 - m[i]);
    });
}

void CopyMap(std::span<const uint8_t> Src, std::span<uint8_t> Dst, int W, int H) {
    CheckMapSize(Src, W, H, "CopyMap");
    CheckMapSize(Dst, W, H, "CopyMap");
    const size_t n = MapElements(W, H);
    if (n > 0 && Src.data() != Dst.data()) std::memmove(Dst.data(), Src.data(), n);
}

void ThresholdMap(std::span<uint8_t> Map, int W, int H) {
    CheckMapSize(Map, W, H, "ThresholdMap");
    uint8_t* m = Map.data();
    ParallelElements(MapElements(W, H), [m](size_t first, size_t last) {
        for (size_t i = first; i < last; ++i)
            m[i] = m[i] > 128 ? 255 : 0;
    });
}

void GradientMagnitude(std::span<const int16_t> A, std::span<const int16_t> B, std::span<uint8_t> M, int W,
                       int H) {
    CheckMapSize(A, W, H, "GradientMagnitude");
    CheckMapSize(B, W, H, "GradientMagnitude");
    CheckMapSize(M, W, H, "GradientMagnitude");
    const int16_t* a = A.data();
    const int16_t* b = B.data();
    uint8_t* m = M.data();
    ParallelElements(MapElements(W, H), [a, b, m](size_t first, size_t last) {
        MagnitudeRun(a + first, b + first, m + first, last - first);
    });
}

// ---------------------------------------------------------------------------------------------
// Sobel
// ---------------------------------------------------------------------------------------------

void SobelVertical(std::span<const uint8_t> Src, std::span<int16_t> Dst, int W, int H) {
    CheckMapSize(Src, W, H, "SobelVertical");
    CheckMapSize(Dst, W, H, "SobelVertical");
    if (W < 3 || H < 3) return;
    ParallelRows(1, H - 1, MinRowBand(W), [&](int first, int last) {
        for (int y = first; y < last; ++y) {
            const uint8_t* below = Src.data() + static_cast<size_t>(y - 1) * W;
            const uint8_t* above = below + 2 * static_cast<size_t>(W);
            int16_t* out = Dst.data() + static_cast<size_t>(y) * W;
            for (int x = 1; x < W - 1; ++x)
                out[x] = static_cast<int16_t>((below[x - 1] + 2 * below[x] + below[x + 1]) -
                                              (above[x - 1] + 2 * above[x] + above[x + 1]));
        }
    });
}

void SobelHorizontal(std::span<const uint8_t> Src, std::span<int16_t> Dst, int W, int H) {
    CheckMapSize(Src, W, H, "SobelHorizontal");
    CheckMapSize(Dst, W, H, "SobelHorizontal");
    if (W < 3 || H < 3) return;
    ParallelRows(1, H - 1, MinRowBand(W), [&](int first, int last) {
        for (int y = first; y < last; ++y) {
            const uint8_t* below = Src.data() + static_cast<size_t>(y - 1) * W;
            const uint8_t* row = below + W;
            const uint8_t* above = row + W;
            int16_t* out = Dst.data() + static_cast<size_t>(y) * W;
            for (int x = 1; x < W - 1; ++x)
                out[x] = static_cast<int16_t>((below[x - 1] + 2 * row[x - 1] + above[x - 1]) -
                                              (below[x + 1] + 2 * row[x + 1] + above[x + 1]));
        }
    });
}

// ---------------------------------------------------------------------------------------------
// Gaussian blur
// ---------------------------------------------------------------------------------------------
//
// The 5 x 5 kernel is not separable, but each of its columns is a symmetric vertical kernel:
// column sums c0 = (5 12 15 12 5), c1 = (4 9 12 9 4), c2 = (2 4 5 4 2) of each input column, then
// s(x) = c2(x-2) + c1(x-1) + c0(x) + c1(x+1) + c2(x+2). Exact integers throughout.

namespace {

// Column sums of one output row from the five input rows around it. 16-bit lanes suffice:
// c0 <= 49 x 255, and the final sum s <= 159 x 255 = 40545.
QUOR_KERNEL void BlurColumnsBody(const uint8_t* __restrict M2, const uint8_t* __restrict M1,
                                 const uint8_t* __restrict R, const uint8_t* __restrict P1,
                                 const uint8_t* __restrict P2, uint16_t* __restrict C0,
                                 uint16_t* __restrict C1, uint16_t* __restrict C2, int W) {
    for (int x = 0; x < W; ++x) {
        const uint16_t outer = static_cast<uint16_t>(M2[x] + P2[x]);
        const uint16_t inner = static_cast<uint16_t>(M1[x] + P1[x]);
        const uint16_t mid = R[x];
        C0[x] = static_cast<uint16_t>(5 * outer + 12 * inner + 15 * mid);
        C1[x] = static_cast<uint16_t>(4 * outer + 9 * inner + 12 * mid);
        C2[x] = static_cast<uint16_t>(2 * outer + 4 * inner + 5 * mid);
    }
}
QUOR_DISPATCH(BlurColumns,
              (const uint8_t* M2, const uint8_t* M1, const uint8_t* R, const uint8_t* P1, const uint8_t* P2,
               uint16_t* C0, uint16_t* C1, uint16_t* C2, int W),
              (M2, M1, R, P1, P2, C0, C1, C2, W))

// out[x] = (c2[x-2] + c1[x-1] + c0[x] + c1[x+1] + c2[x+2]) div 159 for x in 2 .. W - 3.
QUOR_KERNEL void BlurCombineBody(const uint16_t* __restrict C0, const uint16_t* __restrict C1,
                                 const uint16_t* __restrict C2, uint8_t* __restrict Out, int W) {
    for (int x = 2; x < W - 2; ++x) {
        const uint16_t s = static_cast<uint16_t>(C2[x - 2] + C1[x - 1] + C0[x] + C1[x + 1] + C2[x + 2]);
        Out[x] = static_cast<uint8_t>(s / 159);
    }
}
QUOR_DISPATCH(BlurCombine, (const uint16_t* C0, const uint16_t* C1, const uint16_t* C2, uint8_t* Out, int W),
              (C0, C1, C2, Out, W))

void BlurRows(const uint8_t* Src, uint8_t* Dst, int W, int H, int First, int Last) {
    std::vector<uint16_t> c(3 * static_cast<size_t>(W));
    uint16_t* c0 = c.data();
    uint16_t* c1 = c0 + W;
    uint16_t* c2 = c1 + W;
    for (int y = First; y < Last; ++y) {
        const uint8_t* srow = Src + static_cast<size_t>(y) * W;
        uint8_t* drow = Dst + static_cast<size_t>(y) * W;
        if (y < 2 || y > H - 3 || W < 5) {
            std::memcpy(drow, srow, W);
            continue;
        }
        BlurColumns(srow - 2 * static_cast<size_t>(W), srow - W, srow, srow + W,
                    srow + 2 * static_cast<size_t>(W), c0, c1, c2, W);
        BlurCombine(c0, c1, c2, drow, W);
        drow[0] = srow[0];
        drow[1] = srow[1];
        drow[W - 2] = srow[W - 2];
        drow[W - 1] = srow[W - 1];
    }
}

void BlurPass(const uint8_t* Src, uint8_t* Dst, int W, int H) {
    ParallelRows(0, H, MinRowBand(W), [&](int first, int last) { BlurRows(Src, Dst, W, H, first, last); });
}

} // namespace

void GaussianBlur5x5(std::span<const uint8_t> Src, std::span<uint8_t> Dst, int W, int H) {
    CheckMapSize(Src, W, H, "GaussianBlur5x5");
    CheckMapSize(Dst, W, H, "GaussianBlur5x5");
    if (MapElements(W, H) == 0) return;
    BlurPass(Src.data(), Dst.data(), W, H);
}

void RepeatGaussianBlur(std::span<const uint8_t> Src, std::span<uint8_t> Dst, int W, int H, int Count) {
    CheckMapSize(Src, W, H, "RepeatGaussianBlur");
    CheckMapSize(Dst, W, H, "RepeatGaussianBlur");
    const size_t n = MapElements(W, H);
    if (n == 0) return;
    if (Src.data() == Dst.data()) {
        BlurMap(Dst, W, H, Count);
        return;
    }
    if (Count <= 0) {
        CopyMap(Src, Dst, W, H);
        return;
    }
    // Passes alternate between Dst and one temporary map, ending in Dst: the first pass goes
    // into Dst when Count is odd, into the temporary when it is even.
    TUnclearedByteMap t(n);
    const uint8_t* from = Src.data();
    uint8_t* to = Count % 2 == 1 ? Dst.data() : t.data();
    for (int i = 0; i < Count; ++i) {
        BlurPass(from, to, W, H);
        from = to;
        to = to == Dst.data() ? t.data() : Dst.data();
    }
}

void BlurMap(std::span<uint8_t> Map, int W, int H, int Count) {
    CheckMapSize(Map, W, H, "BlurMap");
    const size_t n = MapElements(W, H);
    if (n == 0 || Count <= 0) return;
    TUnclearedByteMap t(n);
    uint8_t* from = Map.data();
    uint8_t* to = t.data();
    for (int i = 0; i < Count; ++i) {
        BlurPass(from, to, W, H);
        std::swap(from, to);
    }
    if (from != Map.data()) std::memcpy(Map.data(), from, n);
}
