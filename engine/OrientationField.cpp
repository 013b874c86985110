// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/OrientationField.h"

#include "engine/MapCheck.h"
#include "engine/ParallelRows.h"
#include "engine/QTypes.h"
#include "engine/SimdKernels.h"

#include <cmath>
#if QUOR_HAS_AVX2_PATH
#include <immintrin.h>
#endif
#include <numbers>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------------
// Block angles
// ---------------------------------------------------------------------------------------------

// Adds one row's tensor terms to the column sums: P += 2 a b, Q += a^2 - b^2.
template <typename TSum>
QUOR_KERNEL void AddTensorRowBody(const int16_t* __restrict A, const int16_t* __restrict B,
                                  TSum* __restrict P, TSum* __restrict Q, int W) {
    for (int x = 0; x < W; ++x) {
        const int32_t a = A[x], b = B[x];
        P[x] += static_cast<TSum>(2 * a * b);
        Q[x] += static_cast<TSum>(a * a - b * b);
    }
}
QUOR_KERNEL void AddTensorRow32Body(const int16_t* A, const int16_t* B, int32_t* P, int32_t* Q, int W) {
    AddTensorRowBody(A, B, P, Q, W);
}
QUOR_KERNEL void AddTensorRow64Body(const int16_t* A, const int16_t* B, int64_t* P, int64_t* Q, int W) {
    AddTensorRowBody(A, B, P, Q, W);
}
QUOR_DISPATCH(AddTensorRow32, (const int16_t* A, const int16_t* B, int32_t* P, int32_t* Q, int W),
              (A, B, P, Q, W))
QUOR_DISPATCH(AddTensorRow64, (const int16_t* A, const int16_t* B, int64_t* P, int64_t* Q, int W),
              (A, B, P, Q, W))

inline void AddTensorRow(const int16_t* A, const int16_t* B, int32_t* P, int32_t* Q, int W) {
    AddTensorRow32(A, B, P, Q, W);
}
inline void AddTensorRow(const int16_t* A, const int16_t* B, int64_t* P, int64_t* Q, int W) {
    AddTensorRow64(A, B, P, Q, W);
}

// The doubled gradient angle of every block, from the part of its (N + 1)-square window that lies
// inside the picture (only the last grid row and column can reach past it, by one pixel). The
// window's rows are first summed per column (in TSum), then each block adds its columns in 64 bits.
template <typename TSum>
std::vector<float> BlockAnglesIn(const int16_t* A, const int16_t* B, int W, int H, int N) {
    const int gw = W / N, gh = H / N, half = N / 2;
    std::vector<float> angle(MapElements(gw, gh), 0.0f);
    if (gw == 0) return angle;
    ParallelRows(0, gh, std::max(1, MinRowBand(W) / (N + 1)), [&](int first, int last) {
        std::vector<TSum> p(W), q(W);
        for (int j = first; j < last; ++j) {
            const int cy = half + j * N;
            std::fill(p.begin(), p.end(), TSum{0});
            std::fill(q.begin(), q.end(), TSum{0});
            for (int y = cy - half; y <= std::min(H - 1, cy + half); ++y)
                AddTensorRow(A + static_cast<size_t>(y) * W, B + static_cast<size_t>(y) * W, p.data(),
                             q.data(), W);
            for (int k = 0; k < gw; ++k) {
                const int cx = half + k * N;
                int64_t sxy = 0, sd = 0;
                for (int x = cx - half; x <= std::min(W - 1, cx + half); ++x) {
                    sxy += p[x];
                    sd += q[x];
                }
                if (sxy != 0 || sd != 0)
                    angle[static_cast<size_t>(j) * gw + k] =
                        static_cast<float>(std::atan2(static_cast<double>(sxy), static_cast<double>(sd)));
            }
        }
    });
    return angle;
}

// A column of N + 1 rows stays within 32 bits while (N + 1) x 2 x 1020^2 does.
std::vector<float> BlockAngles(const int16_t* A, const int16_t* B, int W, int H, int N) {
    if (N + 1 <= 1000) return BlockAnglesIn<int32_t>(A, B, W, H, N);
    return BlockAnglesIn<int64_t>(A, B, W, H, N);
}

// ---------------------------------------------------------------------------------------------
// Direction bytes
// ---------------------------------------------------------------------------------------------
//
// VectorToDirectionByte takes an arctangent per pixel. Here a polynomial arctangent (error below
// 1e-5 radians, 2e-4 of a byte step) places the byte first; only where that lands within 2e-3 of
// a rounding boundary does the exact conversion decide.

constexpr double DirectionMargin = 2e-3;

// atan2(Y, X) for X <> 0 to about 1e-5 (Abramowitz and Stegun 4.4.49 on [0, 1]).
inline double ApproxAtan2(double Y, double X) {
    const double ax = std::abs(X), ay = std::abs(Y);
    const bool steep = ay > ax;
    const double z = steep ? ax / ay : ay / ax;
    const double z2 = z * z;
    double t = z * (0.9998660 + z2 * (-0.3302995 + z2 * (0.1801410 + z2 * (-0.0851330 + z2 * 0.0208351))));
    if (steep) t = std::numbers::pi / 2 - t;
    if (X < 0) t = std::numbers::pi - t;
    return std::signbit(Y) ? -t : t;
}

} // namespace

uint8_t DirectionByteOf(float Y, float X) {
    if (X == 0) return Y > 0 ? 64 : 191;
    double a = ApproxAtan2(Y, X) / 2;
    if (a < 0) a += 6.2832;
    const double u = a / 6.2832 * 255;
    const double r = std::nearbyint(u);
    if (std::abs(u - r) > 0.5 - DirectionMargin) return VectorToDirectionByte(Y, X);
    return static_cast<uint8_t>(r);
}

namespace {

// ---------------------------------------------------------------------------------------------
// Bilinear spreading
// ---------------------------------------------------------------------------------------------

// Where pixel column x (or row y) samples the grid: the cell and the fraction, both from the
// single-precision position x x (GW / W). The cell is clamped to 0 .. G - 2, so that the four
// cells of every sample exist; a position past the last cell takes fraction 1, the outermost
// cell's value. G must be at least 2.
struct TSample {
    int Cell;
    float Fraction;
    bool Shared; // the position is at least 1: see ExpandBlockAngles
};

std::vector<TSample> Samples(int Pixels, int Cells) {
    const float ratio = static_cast<float>(static_cast<double>(Cells) / Pixels);
    std::vector<TSample> s(Pixels);
    for (int x = 0; x < Pixels; ++x) {
        const float pos = static_cast<float>(x * static_cast<double>(ratio));
        const int cell = static_cast<int>(pos);
        if (cell > Cells - 2)
            s[x] = TSample{Cells - 2, 1.0f, true};
        else
            s[x] = TSample{cell, pos - static_cast<float>(cell), cell >= 1};
    }
    return s;
}

// v = (1 - fx)(1 - fy) c00 + fx (1 - fy) c10 + (1 - fx) fy c01 + fx fy c11, in double from left
// to right, the sum rounded to single.
inline float Bilinear(double Ux, double Fx, double Uy, double Fy, float C00, float C10, float C01,
                      float C11) {
    return static_cast<float>(Ux * Uy * C00 + Fx * Uy * C10 + Ux * Fy * C01 + Fx * Fy * C11);
}

// The four corners of one cell, each already multiplied by its row weight (1 - fy or fy).
struct TCellWeights {
    double C00, C10, C01, C11;
};

// One run of pixels inside one cell: X := C', Y := -S'.
QUOR_KERNEL void SpreadRunBody(const double* __restrict Ux, const double* __restrict Fx, int Count,
                               const TCellWeights& Cw, const TCellWeights& Sw, float* __restrict X,
                               float* __restrict Y) {
    const double c00 = Cw.C00, c10 = Cw.C10, c01 = Cw.C01, c11 = Cw.C11;
    const double s00 = Sw.C00, s10 = Sw.C10, s01 = Sw.C01, s11 = Sw.C11;
    for (int k = 0; k < Count; ++k) {
        const double u = Ux[k], f = Fx[k];
        X[k] = static_cast<float>(u * c00 + f * c10 + u * c01 + f * c11);
        Y[k] = -static_cast<float>(u * s00 + f * s10 + u * s01 + f * s11);
    }
}
QUOR_DISPATCH(SpreadRun,
              (const double* Ux, const double* Fx, int Count, const TCellWeights& Cw, const TCellWeights& Sw,
               float* X, float* Y),
              (Ux, Fx, Count, Cw, Sw, X, Y))

// The bytes of Count vectors (X, Y), each VectorToDirectionByte(Y, X).
void DirectionBytesPlain(const float* X, const float* Y, uint8_t* Out, int Count) {
    for (int k = 0; k < Count; ++k)
        Out[k] = DirectionByteOf(Y[k], X[k]);
}

#if QUOR_HAS_AVX2_PATH
// Eight vectors at a time with the same polynomial in single precision (its rounding adds less
// than 1e-6 radians); the lanes that land near a rounding boundary, or have X = 0, take the
// exact conversion.
QUOR_AVX2 void DirectionBytesAvx2(const float* X, const float* Y, uint8_t* Out, int Count) {
    const __m256 absMask = _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF));
    const __m256 signMask = _mm256_castsi256_ps(_mm256_set1_epi32(static_cast<int>(0x80000000u)));
    const __m256 zero = _mm256_setzero_ps(), one = _mm256_set1_ps(1.0f);
    const __m256 halfPi = _mm256_set1_ps(1.57079632679f), pi = _mm256_set1_ps(3.14159265359f);
    const __m256 turn = _mm256_set1_ps(6.2832f), scale = _mm256_set1_ps(255.0f / 6.2832f);
    const __m256 margin = _mm256_set1_ps(0.5f - static_cast<float>(DirectionMargin));
    const __m256 a1 = _mm256_set1_ps(0.9998660f), a3 = _mm256_set1_ps(-0.3302995f),
                 a5 = _mm256_set1_ps(0.1801410f), a7 = _mm256_set1_ps(-0.0851330f),
                 a9 = _mm256_set1_ps(0.0208351f);
    int k = 0;
    for (; k + 8 <= Count; k += 8) {
        const __m256 x = _mm256_loadu_ps(X + k), y = _mm256_loadu_ps(Y + k);
        const __m256 ax = _mm256_and_ps(x, absMask), ay = _mm256_and_ps(y, absMask);
        const __m256 steep = _mm256_cmp_ps(ay, ax, _CMP_GT_OQ);
        const __m256 num = _mm256_blendv_ps(ay, ax, steep);
        __m256 den = _mm256_blendv_ps(ax, ay, steep);
        den = _mm256_blendv_ps(one, den, _mm256_cmp_ps(den, zero, _CMP_GT_OQ));
        const __m256 z = _mm256_div_ps(num, den);
        const __m256 z2 = _mm256_mul_ps(z, z);
        __m256 p = _mm256_add_ps(a7, _mm256_mul_ps(z2, a9));
        p = _mm256_add_ps(a5, _mm256_mul_ps(z2, p));
        p = _mm256_add_ps(a3, _mm256_mul_ps(z2, p));
        p = _mm256_add_ps(a1, _mm256_mul_ps(z2, p));
        __m256 t = _mm256_mul_ps(z, p);
        t = _mm256_blendv_ps(t, _mm256_sub_ps(halfPi, t), steep);
        t = _mm256_blendv_ps(t, _mm256_sub_ps(pi, t), _mm256_cmp_ps(x, zero, _CMP_LT_OQ));
        t = _mm256_or_ps(t, _mm256_and_ps(y, signMask)); // copysign: t >= 0 here
        __m256 a = _mm256_mul_ps(t, _mm256_set1_ps(0.5f));
        a = _mm256_blendv_ps(a, _mm256_add_ps(a, turn), _mm256_cmp_ps(a, zero, _CMP_LT_OQ));
        const __m256 u = _mm256_mul_ps(a, scale);
        const __m256 r = _mm256_round_ps(u, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
        const __m256 near = _mm256_cmp_ps(_mm256_and_ps(_mm256_sub_ps(u, r), absMask), margin, _CMP_GT_OQ);
        const __m256 exact = _mm256_or_ps(near, _mm256_cmp_ps(x, zero, _CMP_EQ_OQ));
        const __m256i i32 = _mm256_cvtps_epi32(r);
        const __m128i i16 = _mm_packus_epi32(_mm256_castsi256_si128(i32), _mm256_extracti128_si256(i32, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(Out + k), _mm_packus_epi16(i16, i16));
        int mask = _mm256_movemask_ps(exact);
        while (mask != 0) {
            const int j = __builtin_ctz(mask);
            Out[k + j] = VectorToDirectionByte(Y[k + j], X[k + j]);
            mask &= mask - 1;
        }
    }
    DirectionBytesPlain(X + k, Y + k, Out + k, Count - k);
}
#endif

void DirectionBytes(const float* X, const float* Y, uint8_t* Out, int Count) {
#if QUOR_HAS_AVX2_PATH
    if (UseAvx2()) {
        DirectionBytesAvx2(X, Y, Out, Count);
        return;
    }
#endif
    DirectionBytesPlain(X, Y, Out, Count);
}

} // namespace

void ResizeGridBilinear(std::span<const float> Src, std::span<float> Dst, int GW, int GH, int W, int H) {
    CheckMapSize(Src, GW, GH, "ResizeGridBilinear");
    CheckMapSize(Dst, W, H, "ResizeGridBilinear");
    if (GW < 2 || GH < 2) {
        std::fill(Dst.begin(), Dst.end(), 0.0f); // no cell to interpolate between
        return;
    }
    const std::vector<TSample> xs = Samples(W, GW), ys = Samples(H, GH);
    for (int y = 0; y < H; ++y) {
        float* out = Dst.data() + static_cast<size_t>(y) * W;
        const TSample sy = ys[y];
        for (int x = 0; x < W; ++x) {
            const TSample sx = xs[x];
            const float* c0 = Src.data() + static_cast<size_t>(sy.Cell) * GW + sx.Cell;
            const float* c1 = c0 + GW;
            out[x] = Bilinear(1.0 - sx.Fraction, sx.Fraction, 1.0 - sy.Fraction, sy.Fraction, c0[0], c0[1],
                              c1[0], c1[1]);
        }
    }
}

namespace {

// Every pixel's byte VectorToDirectionByte(-S', C') from the cosine C' and sine S' of the block
// angles spread to full size; with fewer than two cells across or down nothing is spread, both
// are 0 and every byte is 191. The spread values are computed as ResizeGridBilinear computes them,
// row by row, without keeping them.
void ExpandBlockAngles(const std::vector<float>& Angle, uint8_t* Dir, int W, int H, int GW, int GH) {
    if (GW < 2 || GH < 2) {
        std::fill(Dir, Dir + MapElements(W, H), uint8_t{191});
        return;
    }
    std::vector<float> cosine(Angle.size()), sine(Angle.size());
    for (size_t i = 0; i < Angle.size(); ++i) {
        cosine[i] = static_cast<float>(std::cos(static_cast<double>(Angle[i])));
        sine[i] = static_cast<float>(std::sin(static_cast<double>(Angle[i])));
    }
    const std::vector<TSample> xs = Samples(W, GW), ys = Samples(H, GH);
    // The columns from x0 on sample at positions of at least 1 (the position grows with x).
    int x0 = 0;
    while (x0 < W && !xs[x0].Shared)
        ++x0;
    std::vector<double> ux(W), fx(W);
    for (int x = 0; x < W; ++x) {
        ux[x] = 1.0 - xs[x].Fraction;
        fx[x] = xs[x].Fraction;
    }
    ParallelRows(0, H, MinRowBand(W), [&](int first, int last) {
        std::vector<float> cx(W), sy(W);
        for (int y = first; y < last; ++y) {
            const TSample row = ys[y];
            const double uy = 1.0 - row.Fraction, fy = row.Fraction;
            const float* c0 = cosine.data() + static_cast<size_t>(row.Cell) * GW;
            const float* s0 = sine.data() + static_cast<size_t>(row.Cell) * GW;
            // Samples at a position below 1 (the first cell's) have fractions of up to about 29
            // significant bits, so their products are not all exact: they take the plain order.
            const int plainEnd = row.Shared ? x0 : W;
            for (int x = 0; x < plainEnd; ++x) {
                const int i = xs[x].Cell;
                cx[x] = Bilinear(ux[x], fx[x], uy, fy, c0[i], c0[i + 1], c0[i + GW], c0[i + GW + 1]);
                sy[x] = -Bilinear(ux[x], fx[x], uy, fy, s0[i], s0[i + 1], s0[i + GW], s0[i + GW + 1]);
            }
            for (int x = plainEnd; x < W;) {
                const int cell = xs[x].Cell;
                int end = x + 1;
                while (end < W && xs[end].Cell == cell)
                    ++end;
                // The other fractions come from singles of at least 1 (or are 1), so 1 - f and f
                // have at most 24 significant bits, and so has a grid value: any product of two of
                // them is exact in double. (1 - fx)(1 - fy) c00 is therefore rounded once, exactly
                // like (1 - fx) ((1 - fy) c00), which lets each run share the row factors.
                const TCellWeights cw{uy * c0[cell], uy * c0[cell + 1], fy * c0[cell + GW],
                                      fy * c0[cell + GW + 1]};
                const TCellWeights sw{uy * s0[cell], uy * s0[cell + 1], fy * s0[cell + GW],
                                      fy * s0[cell + GW + 1]};
                SpreadRun(ux.data() + x, fx.data() + x, end - x, cw, sw, cx.data() + x, sy.data() + x);
                x = end;
            }
            DirectionBytes(cx.data(), sy.data(), Dir + static_cast<size_t>(y) * W, W);
        }
    });
}

} // namespace

void OrientationField(std::span<const int16_t> A, std::span<const int16_t> B, std::span<uint8_t> Dir, int W,
                      int H, int N) {
    CheckMapSize(A, W, H, "OrientationField");
    CheckMapSize(B, W, H, "OrientationField");
    CheckMapSize(Dir, W, H, "OrientationField");
    if (N < 1) RaiseException("OrientationField: block size must be at least 1");
    if (MapElements(W, H) == 0) return;
    ExpandBlockAngles(BlockAngles(A.data(), B.data(), W, H, N), Dir.data(), W, H, W / N, H / N);
}
