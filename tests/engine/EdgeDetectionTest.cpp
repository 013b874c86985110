// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/EdgeDetection.h"

#include "KernelVariants.h"
#include "PlainAnalysis.h"
#include "engine/imagproc.h"
#include "tests/support/TestPhotos.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

const std::pair<int, int> Sizes[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4},  {5, 3},   {3, 5},
                                     {4, 9}, {6, 6}, {7, 5}, {9, 4}, {17, 3}, {33, 29}, {64, 48}};

TByteMap Random(size_t N, uint32_t Seed, int Modulo = 256) {
    std::mt19937 rng(Seed);
    TByteMap v(N);
    for (auto& b : v)
        b = static_cast<uint8_t>(rng() % Modulo);
    return v;
}

// Random blobs of 255 on 0: discs and bands of a few pixels, the kind of regions thinning meets.
TByteMap Blobs(int W, int H, uint32_t Seed) {
    std::mt19937 rng(Seed);
    TByteMap m(static_cast<size_t>(W) * H, 0);
    if (m.empty()) return m;
    const int count = W * H / 40 + 1;
    for (int k = 0; k < count; ++k) {
        const int cx = static_cast<int>(rng() % W), cy = static_cast<int>(rng() % H);
        const int r = 1 + static_cast<int>(rng() % 4);
        for (int y = cy - r; y <= cy + r; ++y)
            for (int x = cx - r; x <= cx + r; ++x)
                if (x >= 0 && y >= 0 && x < W && y < H && (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r)
                    m[static_cast<size_t>(y) * W + x] = 255;
    }
    return m;
}

int PlainSector(int gx, int gy) {
    const double k = 57.29577951308232;
    float angle;
    if (gy == 0)
        angle = gx == 0 ? 0.0f : 90.0f;
    else if (gx != 0 && (gx > 0) != (gy > 0))
        angle = static_cast<float>(180 - std::atan(static_cast<double>(std::abs(gx)) / std::abs(gy)) * k);
    else
        angle = static_cast<float>(std::atan(static_cast<double>(gx) / gy) * k);
    return angle < 22.5f ? 0 : angle < 67.5f ? 45 : angle < 112.5f ? 90 : angle < 157.5f ? 135 : 0;
}

} // namespace

TEST(EdgeDetection, SectorsAgreeWithTheArctangentForEveryGradient) {
    std::vector<int16_t> gx(2041), gy(2041);
    std::vector<uint8_t> sectors(2041);
    for (int k = 0; k < 2041; ++k)
        gx[k] = static_cast<int16_t>(k - 1020);
    for (bool avx2 : {true, false}) {
        SetAvx2Enabled(avx2);
        for (int y = -1020; y <= 1020; ++y) {
            std::fill(gy.begin(), gy.end(), static_cast<int16_t>(y));
            GradientSectors(gx.data(), gy.data(), sectors.data(), 2041);
            for (int k = 0; k < 2041; ++k) {
                const int expected = PlainSector(gx[k], y);
                ASSERT_EQ(GradientSector(gx[k], y), expected) << gx[k] << ", " << y;
                ASSERT_EQ(sectors[k], expected) << gx[k] << ", " << y << (avx2 ? " AVX2" : "");
            }
        }
    }
    SetAvx2Enabled(true);
}

TEST(EdgeDetection, DetectMatchesPlain) {
    ForEachKernelVariant([] {
        for (const auto& [w, h] : Sizes) {
            const size_t n = static_cast<size_t>(w) * h;
            // Smooth random maps make gradients of every strength; raw noise makes many steep ones.
            for (int smooth : {0, 1}) {
                TByteMap src = Random(n, w * 13 + h + smooth);
                if (smooth) BlurMap(src, w, h, 2);
                TByteMap dst(n, 0);
                Plain::Bytes pdst(n, 0);
                DetectEdges(src, dst, w, h);
                Plain::DetectEdges(src, pdst, w, h);
                EXPECT_EQ(dst, pdst) << w << "x" << h << " smooth " << smooth;
            }
        }
    });
}

TEST(EdgeDetection, UniformAndStepMaps) {
    const int w = 12, h = 12;
    TByteMap uniform(w * h, 180), out(w * h, 0);
    DetectEdges(uniform, out, w, h);
    EXPECT_EQ(out, TByteMap(w * h, 0));

    // A step between columns on a light area (darkness 0 | 60): the gradient is horizontal
    // (gy = 0, sector 90), compared with the darkness above and below, which stays low.
    TByteMap step(w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            step[y * w + x] = x < 6 ? 0 : 60;
    DetectEdges(step, out, w, h);
    int edges = 0;
    for (int y = 3; y < h - 3; ++y)
        edges += out[y * w + 5] == 255 || out[y * w + 6] == 255;
    EXPECT_EQ(edges, h - 6);
    // The same step on a dark area (darkness 200 | 255) is weaker than its neighbours: dropped.
    for (auto& v : step)
        v = v == 0 ? 200 : 255;
    DetectEdges(step, out, w, h);
    EXPECT_EQ(out, TByteMap(w * h, 0));
}

TEST(EdgeDetection, ThinningMatchesPlain) {
    for (const auto& [w, h] : Sizes) {
        const size_t n = static_cast<size_t>(w) * h;
        for (uint32_t seed = 0; seed < 3; ++seed) {
            TByteMap m = seed == 2 ? Random(n, w + h, 2) : Blobs(w, h, seed * 100 + w);
            if (seed == 2)
                for (auto& v : m)
                    v = v ? 255 : 0;
            Plain::Bytes pm = m;
            ThinEdges(m, w, h);
            Plain::ThinEdges(pm, w, h);
            EXPECT_EQ(m, pm) << w << "x" << h << " seed " << seed;
        }
    }
    // Larger pictures with big blobs, where thinning takes many rounds.
    for (int r : {3, 8}) {
        const int w = 80, h = 60;
        TByteMap m(w * h, 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if ((x - 40) * (x - 40) + (y - 30) * (y - 30) <= r * r * 9 || (y > 5 && y < 5 + r && x > 3))
                    m[y * w + x] = 255;
        Plain::Bytes pm = m;
        ThinEdges(m, w, h);
        Plain::ThinEdges(pm, w, h);
        EXPECT_EQ(m, pm) << r;
    }
}

TEST(EdgeDetection, ThinningShapes) {
    const int w = 20, h = 12;
    // A band three pixels wide becomes a line one pixel wide.
    TByteMap m(w * h, 0);
    for (int y = 5; y <= 7; ++y)
        for (int x = 3; x <= 16; ++x)
            m[y * w + x] = 255;
    ThinEdges(m, w, h);
    for (int x = 5; x <= 14; ++x) {
        int column = 0;
        for (int y = 0; y < h; ++y)
            column += m[y * w + x] == 255;
        EXPECT_EQ(column, 1) << x;
    }
    // An isolated pixel and the end pixel of a line stay.
    TByteMap dot(w * h, 0);
    dot[6 * w + 6] = 255;
    for (int x = 10; x <= 15; ++x)
        dot[6 * w + x] = 255;
    const TByteMap before = dot;
    ThinEdges(dot, w, h);
    EXPECT_EQ(dot, before);
    // Pixels outside the range (columns 0, 1, W - 1, rows 0, 1, H - 1) never change.
    TByteMap full(w * h, 255);
    ThinEdges(full, w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (x < 2 || y < 2 || x == w - 1 || y == h - 1) {
                EXPECT_EQ(full[y * w + x], 255) << x << "," << y;
            }
}

TEST(EdgeDetection, PackEdgeFlag) {
    TByteMap mag = {255, 255, 1, 0, 200}, edge = {255, 0, 255, 0, 1};
    PackEdgeFlag(mag, edge, 5, 1);
    EXPECT_EQ(edge, (TByteMap{255, 127, 128, 0, 228}));
}

TEST(EdgeDetection, MatchesPlainOnThePhotos) {
    for (const TTestPhoto& photo : TestPhotos()) {
        const int w = photo.W, h = photo.H;
        const size_t n = photo.N;
        TByteMap l(n), hs(n);
        BitmapToLumaHueSat(photo.Picture, l, hs);
        InvertMap(l, w, h);
        Plain::Bytes pedges(n, 0);
        Plain::DetectEdges(l, pedges, w, h);
        Plain::Bytes pthin = pedges;
        Plain::ThresholdMap(pthin, w, h);
        Plain::ThinEdges(pthin, w, h);
        ForEachKernelVariant([&] {
            TByteMap edges(n, 0);
            DetectEdges(l, edges, w, h);
            ASSERT_EQ(edges, pedges) << photo.Name;
            ThresholdMap(edges, w, h);
            ThinEdges(edges, w, h);
            EXPECT_EQ(edges, pthin) << photo.Name;
        });
    }
}
