#include "engine/OrientationField.h"

#include "engine/MapCheck.h"
#include "engine/ParallelRows.h"
#include "engine/QTypes.h"

#include <cmath>
#include <numbers>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------------
// Block angles
// ---------------------------------------------------------------------------------------------

// The doubled gradient angle of every block whose (N + 1)-square window fits inside the picture;
// the other cells keep 0. The sums are taken in 64 bits (with N = 16 they would fit in 32).
std::vector<float> BlockAngles(const int16_t* A, const int16_t* B, int W, int H, int N) {
    const int gw = W / N, gh = H / N, half = N / 2;
    std::vector<float> angle(MapElements(gw, gh), 0.0f);
    const int columns = W - half > half ? (W - half - half + N - 1) / N : 0; // cx = half + k N < W - half
    ParallelRows(0, gh, 1, [&](int first, int last) {
        for (int j = first; j < last; ++j) {
            const int cy = half + j * N;
            if (cy >= H - half) continue;
            for (int k = 0; k < columns; ++k) {
                const int cx = half + k * N;
                int64_t sxy = 0, sd = 0;
                for (int y = cy - half; y <= cy + half; ++y) {
                    const int16_t* a = A + static_cast<size_t>(y) * W;
                    const int16_t* b = B + static_cast<size_t>(y) * W;
                    for (int x = cx - half; x <= cx + half; ++x) {
                        sxy += 2 * a[x] * b[x];
                        sd += a[x] * a[x] - b[x] * b[x];
                    }
                }
                if (sxy != 0 || sd != 0)
                    angle[static_cast<size_t>(j) * gw + k] =
                        static_cast<float>(std::atan2(static_cast<double>(sxy), static_cast<double>(sd)));
            }
        }
    });
    return angle;
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
// single-precision position x x (GW / W).
struct TSample {
    int Cell;
    float Fraction;
    bool Inside; // 1 <= Cell <= G - 2
};

std::vector<TSample> Samples(int Pixels, int Cells) {
    const float ratio = static_cast<float>(static_cast<double>(Cells) / Pixels);
    std::vector<TSample> s(Pixels);
    for (int x = 0; x < Pixels; ++x) {
        const float pos = static_cast<float>(x * static_cast<double>(ratio));
        const int cell = static_cast<int>(pos);
        s[x] = TSample{cell, pos - static_cast<float>(cell), cell >= 1 && cell <= Cells - 2};
    }
    return s;
}

// v = (1 - fx)(1 - fy) c00 + fx (1 - fy) c10 + (1 - fx) fy c01 + fx fy c11, each weight exact in
// double, the sum rounded to single.
inline float Bilinear(double Ux, double Fx, double Uy, double Fy, float C00, float C10, float C01,
                      float C11) {
    return static_cast<float>(Ux * Uy * C00 + Fx * Uy * C10 + Ux * Fy * C01 + Fx * Fy * C11);
}

} // namespace

void ResizeGridBilinear(std::span<const float> Src, std::span<float> Dst, int GW, int GH, int W, int H) {
    CheckMapSize(Src, GW, GH, "ResizeGridBilinear");
    CheckMapSize(Dst, W, H, "ResizeGridBilinear");
    if (W < 2 || H < 2) return; // nothing but the last row and column
    const std::vector<TSample> xs = Samples(W, GW), ys = Samples(H, GH);
    for (int y = 0; y <= H - 2; ++y) {
        float* out = Dst.data() + static_cast<size_t>(y) * W;
        const TSample sy = ys[y];
        for (int x = 0; x <= W - 2; ++x) {
            const TSample sx = xs[x];
            if (!sx.Inside || !sy.Inside) {
                out[x] = 0;
                continue;
            }
            const float* c0 = Src.data() + static_cast<size_t>(sy.Cell) * GW + sx.Cell;
            const float* c1 = c0 + GW;
            out[x] = Bilinear(1.0 - sx.Fraction, sx.Fraction, 1.0 - sy.Fraction, sy.Fraction, c0[0], c0[1],
                              c1[0], c1[1]);
        }
    }
}

void OrientationField(std::span<const int16_t> A, std::span<const int16_t> B, std::span<uint8_t> Dir, int W,
                      int H, int N) {
    CheckMapSize(A, W, H, "OrientationField");
    CheckMapSize(B, W, H, "OrientationField");
    CheckMapSize(Dir, W, H, "OrientationField");
    if (N < 1) RaiseException("OrientationField: block size must be at least 1");
    if (MapElements(W, H) == 0) return;

    const int gw = W / N, gh = H / N;
    const std::vector<float> angle = BlockAngles(A.data(), B.data(), W, H, N);
    std::vector<float> cosine(angle.size()), sine(angle.size());
    for (size_t i = 0; i < angle.size(); ++i) {
        cosine[i] = static_cast<float>(std::cos(static_cast<double>(angle[i])));
        sine[i] = static_cast<float>(std::sin(static_cast<double>(angle[i])));
    }

    // The interpolated cosine C' and sine S' of each pixel go straight into its byte
    // VectorToDirectionByte(-S', C'); where no interpolation reaches, both are 0 and the byte 191.
    const std::vector<TSample> xs = Samples(W, gw), ys = Samples(H, gh);
    ParallelRows(0, H, MinRowBand(W), [&](int first, int last) {
        for (int y = first; y < last; ++y) {
            uint8_t* out = Dir.data() + static_cast<size_t>(y) * W;
            const TSample sy = ys[y];
            if (y == H - 1 || !sy.Inside) {
                std::fill(out, out + W, uint8_t{191});
                continue;
            }
            const double uy = 1.0 - sy.Fraction, fy = sy.Fraction;
            const size_t row = static_cast<size_t>(sy.Cell) * gw;
            for (int x = 0; x < W; ++x) {
                const TSample sx = xs[x];
                if (x == W - 1 || !sx.Inside) {
                    out[x] = 191;
                    continue;
                }
                const double ux = 1.0 - sx.Fraction, fx = sx.Fraction;
                const size_t c = row + sx.Cell;
                const float cp =
                    Bilinear(ux, fx, uy, fy, cosine[c], cosine[c + 1], cosine[c + gw], cosine[c + gw + 1]);
                const float sp =
                    Bilinear(ux, fx, uy, fy, sine[c], sine[c + 1], sine[c + gw], sine[c + gw + 1]);
                out[x] = DirectionByteOf(-sp, cp);
            }
        }
    });
}
