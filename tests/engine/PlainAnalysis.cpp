// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlainAnalysis.h"

#include "engine/EdgeDetection.h"
#include "platform/raster/HSL.h"
#include "platform/rtl/Round.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace Plain {

void BitmapToLumaHueSat(const TBitmap32& Bitmap, Bytes& L, Bytes& HS) {
    const int W = Bitmap.Width(), H = Bitmap.Height();
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            float hue, sat, light;
            RGBtoHSL(Bitmap.Pixel(x, H - 1 - y), hue, sat, light);
            L[y * W + x] = static_cast<uint8_t>(Round(light * 255.0));
            HS[y * W + x] = static_cast<uint8_t>(Round(hue * 31.0) * 8 + Round(sat * 7.0));
        }
}

void InvertMap(Bytes& Map, int W, int H) {
    for (int i = 0; i < W * H; ++i)
        Map[i] = static_cast<uint8_t>(255 - Map[i]);
}

void ThresholdMap(Bytes& Map, int W, int H) {
    for (int i = 0; i < W * H; ++i)
        Map[i] = Map[i] > 128 ? 255 : 0;
}

void SobelVertical(const Bytes& S, Shorts& D, int W, int H) {
    for (int y = 1; y <= H - 2; ++y)
        for (int x = 1; x <= W - 2; ++x)
            D[y * W + x] = static_cast<int16_t>(
                (S[(y - 1) * W + x - 1] + 2 * S[(y - 1) * W + x] + S[(y - 1) * W + x + 1]) -
                (S[(y + 1) * W + x - 1] + 2 * S[(y + 1) * W + x] + S[(y + 1) * W + x + 1]));
}

void SobelHorizontal(const Bytes& S, Shorts& D, int W, int H) {
    for (int y = 1; y <= H - 2; ++y)
        for (int x = 1; x <= W - 2; ++x)
            D[y * W + x] = static_cast<int16_t>(
                (S[(y - 1) * W + x - 1] + 2 * S[y * W + x - 1] + S[(y + 1) * W + x - 1]) -
                (S[(y - 1) * W + x + 1] + 2 * S[y * W + x + 1] + S[(y + 1) * W + x + 1]));
}

void GradientMagnitude(const Shorts& A, const Shorts& B, Bytes& M, int W, int H) {
    for (int i = 0; i < W * H; ++i)
        M[i] = static_cast<uint8_t>(std::min(255, std::abs(A[i]) + std::abs(B[i])));
}

void GaussianBlur5x5(const Bytes& Src, Bytes& Dst, int W, int H) {
    static const int K[5][5] = {
        {2, 4, 5, 4, 2}, {4, 9, 12, 9, 4}, {5, 12, 15, 12, 5}, {4, 9, 12, 9, 4}, {2, 4, 5, 4, 2}};
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            if (x < 2 || x > W - 3 || y < 2 || y > H - 3) Dst[y * W + x] = Src[y * W + x];
    for (int y = 2; y <= H - 3; ++y)
        for (int x = 2; x <= W - 3; ++x) {
            int s = 0;
            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx)
                    s += K[dy + 2][dx + 2] * Src[(y + dy) * W + x + dx];
            Dst[y * W + x] = static_cast<uint8_t>(std::clamp(s / 159, 0, 255));
        }
}

void RepeatGaussianBlur(const Bytes& Src, Bytes& Dst, int W, int H, int Count) {
    Bytes T = Src;
    for (int i = 1; i <= Count; ++i) {
        if (i % 2 == 1)
            GaussianBlur5x5(T, Dst, W, H);
        else
            GaussianBlur5x5(Dst, T, W, H);
    }
    if (Count % 2 == 0) Dst = T;
}

void BlurMap(Bytes& Map, int W, int H, int Count) {
    Bytes T = Map;
    RepeatGaussianBlur(Map, T, W, H, Count);
    Map = T;
}

void DetectEdges(const Bytes& Src, Bytes& Dst, int W, int H) {
    Bytes T(static_cast<size_t>(W) * H);
    GaussianBlur5x5(Src, T, W, H);
    auto t = [&](int x, int y) { return static_cast<int>(T[y * W + x]); };
    const double k = 57.29577951308232;
    for (int y = 1; y <= H - 2; ++y)
        for (int x = 1; x <= W - 2; ++x) {
            const int gy = (t(x - 1, y - 1) + 2 * t(x, y - 1) + t(x + 1, y - 1)) -
                           (t(x - 1, y + 1) + 2 * t(x, y + 1) + t(x + 1, y + 1));
            const int gx = (t(x - 1, y - 1) + 2 * t(x - 1, y) + t(x - 1, y + 1)) -
                           (t(x + 1, y - 1) + 2 * t(x + 1, y) + t(x + 1, y + 1));
            const int mag = std::clamp(std::abs(gy) + std::abs(gx), 0, 255);
            float angle;
            if (gy == 0)
                angle = gx == 0 ? 0.0f : 90.0f;
            else if (gx != 0 && (gx > 0) != (gy > 0))
                angle =
                    static_cast<float>(180 - std::atan(static_cast<double>(std::abs(gx)) / std::abs(gy)) * k);
            else
                angle = static_cast<float>(std::atan(static_cast<double>(gx) / gy) * k);
            int sector;
            if (angle < 22.5f)
                sector = 0;
            else if (angle < 67.5f)
                sector = 45;
            else if (angle < 112.5f)
                sector = 90;
            else if (angle < 157.5f)
                sector = 135;
            else
                sector = 0;
            int p, q;
            switch (sector) {
            case 0:
                p = t(x - 1, y), q = t(x + 1, y);
                break;
            case 45:
                p = t(x - 1, y + 1), q = t(x + 1, y - 1);
                break;
            case 90:
                p = t(x, y - 1), q = t(x, y + 1);
                break;
            default:
                p = t(x - 1, y - 1), q = t(x + 1, y + 1);
                break;
            }
            int result;
            if (mag < p || mag < q)
                result = 0;
            else if (mag >= EdgeStrongGradient)
                result = 255;
            else if (mag < EdgeWeakGradient)
                result = 0;
            else {
                bool strong = false;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        if ((dx != 0 || dy != 0) && t(x + dx, y + dy) > EdgeDarkNeighbour) strong = true;
                result = strong ? 255 : 0;
            }
            Dst[y * W + x] = static_cast<uint8_t>(result);
        }
}

void ThinEdges(Bytes& Map, int W, int H) {
    Bytes T(static_cast<size_t>(W) * H);
    auto m = [&](int x, int y) { return static_cast<int>(Map[y * W + x]); };
    bool done;
    do {
        done = true;
        for (int pass = 1; pass <= 2; ++pass) {
            for (int x = 2; x <= W - 2; ++x)
                for (int y = 2; y <= H - 2; ++y) {
                    const int p[10] = {0,           m(x, y),         m(x, y - 1), m(x + 1, y - 1),
                                       m(x + 1, y), m(x + 1, y + 1), m(x, y + 1), m(x - 1, y + 1),
                                       m(x - 1, y), m(x - 1, y - 1)};
                    bool anyZero = false;
                    int sum = 0;
                    for (int i = 2; i <= 9; ++i) {
                        anyZero = anyZero || p[i] == 0;
                        sum += p[i];
                    }
                    const int b = sum / 255;
                    int a = 0;
                    for (int i = 2; i <= 9; ++i)
                        if (p[i] == 0 && p[i == 9 ? 2 : i + 1] == 255) ++a;
                    bool last;
                    if (pass == 1)
                        last = p[2] * p[4] * p[6] == 0 && p[4] * p[6] * p[8] == 0;
                    else
                        last = p[2] * p[4] * p[8] == 0 && p[2] * p[6] * p[8] == 0;
                    T[y * W + x] = p[1] == 255 && anyZero && b >= 2 && b <= 6 && a == 1 && last ? 1 : 0;
                }
            for (int x = 2; x <= W - 2; ++x)
                for (int y = 2; y <= H - 2; ++y)
                    if (T[y * W + x] != 0 && Map[y * W + x] != 0) {
                        Map[y * W + x] = 0;
                        done = false;
                    }
        }
    } while (!done);
}

void PackEdgeFlag(const Bytes& Mag, Bytes& Edge, int W, int H) {
    for (int i = 0; i < W * H; ++i)
        Edge[i] = static_cast<uint8_t>((Mag[i] >> 1) | (Edge[i] != 0 ? 128 : 0));
}

uint8_t VectorToDirectionByte(float Y, float X) {
    float a;
    if (X == 0)
        a = Y > 0 ? 1.5708f : 4.7124f;
    else {
        a = static_cast<float>(std::atan2(static_cast<double>(Y), static_cast<double>(X)) / 2);
        if (a < 0) a = static_cast<float>(a + 6.2832);
    }
    const float t = static_cast<float>(a / 6.2832);
    const float u = static_cast<float>(t * 255.0);
    return static_cast<uint8_t>(Round(u));
}

void ResizeGridBilinear(const Singles& Src, Singles& Dst, int GW, int GH, int W, int H) {
    const float rx = static_cast<float>(static_cast<double>(GW) / W);
    const float ry = static_cast<float>(static_cast<double>(GH) / H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            double v = 0;
            if (GW >= 2 && GH >= 2) {
                const float sx = static_cast<float>(x * static_cast<double>(rx));
                const float sy = static_cast<float>(y * static_cast<double>(ry));
                int i = static_cast<int>(sx), j = static_cast<int>(sy);
                float fx = sx - static_cast<float>(i), fy = sy - static_cast<float>(j);
                // Past the last cell: the outermost cell's value.
                if (i > GW - 2) i = GW - 2, fx = 1;
                if (j > GH - 2) j = GH - 2, fy = 1;
                const double ux = 1.0 - fx, uy = 1.0 - fy;
                v = ux * uy * Src[j * GW + i] + fx * uy * Src[j * GW + i + 1] +
                    ux * fy * Src[(j + 1) * GW + i] +
                    static_cast<double>(fx) * fy * Src[(j + 1) * GW + i + 1];
            }
            Dst[y * W + x] = static_cast<float>(v);
        }
}

void OrientationField(const Shorts& A, const Shorts& B, Bytes& Dir, int W, int H, int N) {
    const int GW = W / N, GH = H / N;
    Singles angle(static_cast<size_t>(GW) * GH, 0.0f);
    for (int i = 0; i < GW; ++i)
        for (int j = 0; j < GH; ++j) {
            const int cx = N / 2 + i * N, cy = N / 2 + j * N;
            int32_t sxy = 0, sd = 0;
            // The part of the window inside the picture.
            for (int x = cx - N / 2; x <= cx + N / 2; ++x)
                for (int y = cy - N / 2; y <= cy + N / 2; ++y) {
                    if (x >= W || y >= H) continue;
                    const int a = A[y * W + x], b = B[y * W + x];
                    sxy += 2 * a * b;
                    sd += a * a - b * b;
                }
            angle[j * GW + i] =
                sxy == 0 && sd == 0 ? 0.0f : static_cast<float>(std::atan2(double(sxy), double(sd)));
        }
    Singles c(angle.size()), s(angle.size());
    for (size_t i = 0; i < angle.size(); ++i) {
        c[i] = static_cast<float>(std::cos(static_cast<double>(angle[i])));
        s[i] = static_cast<float>(std::sin(static_cast<double>(angle[i])));
    }
    Singles cp(static_cast<size_t>(W) * H, 0.0f), sp(static_cast<size_t>(W) * H, 0.0f);
    ResizeGridBilinear(c, cp, GW, GH, W, H);
    ResizeGridBilinear(s, sp, GW, GH, W, H);
    for (int i = 0; i < W * H; ++i)
        Dir[i] = VectorToDirectionByte(-sp[i], cp[i]);
}

TBitmap32 Extract(const TBitmap32& Source) {
    const int W = Source.Width(), H = Source.Height();
    const size_t n = static_cast<size_t>(W) * H;
    Bytes darkness(n), hueSat(n);
    BitmapToLumaHueSat(Source, darkness, hueSat);
    InvertMap(darkness, W, H);
    Shorts vertical(n), horizontal(n);
    SobelVertical(darkness, vertical, W, H);
    SobelHorizontal(darkness, horizontal, W, H);
    Bytes magnitude(n);
    GradientMagnitude(vertical, horizontal, magnitude, W, H);
    BlurMap(magnitude, W, H, 10);
    Bytes directions(n);
    OrientationField(vertical, horizontal, directions, W, H, 16);
    Bytes edges(n);
    DetectEdges(darkness, edges, W, H);
    ThresholdMap(edges, W, H);
    ThinEdges(edges, W, H);
    PackEdgeFlag(magnitude, edges, W, H);
    TBitmap32 result;
    result.SetSize(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const size_t i = static_cast<size_t>(y) * W + x;
            result.SetPixel(x, H - 1 - y, Color32(darkness[i], hueSat[i], edges[i], directions[i]));
        }
    return result;
}

} // namespace Plain
