// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/raster/Polygon32.h"

#include "platform/rtl/Round.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <sstream>

namespace {

using i128 = __int128;

constexpr TColor32 kBack = 0xFF204060;

TFixedPoint P(double X, double Y) {
    return FixedPoint(X, Y);
}

TPolygon32 Poly(std::initializer_list<TFixedPoint> Points, bool Antialiased = true,
                TPolyFillMode Mode = pfAlternate) {
    TPolygon32 poly;
    poly.Antialiased = Antialiased;
    poly.FillMode = Mode;
    for (const TFixedPoint& p : Points)
        poly.Add(p);
    return poly;
}

TColor32 Expected(TColor32 Color, TColor32 Back, int Covered) {
    const int w = Round(AlphaComponent(Color) * Covered / 64.0);
    return w == 0 ? Back : BlendChannels(Color | 0xFF000000u, Back, static_cast<uint32_t>(w));
}

// The slow, obvious fill: every sample point is tested against every edge with a ray to the
// right. Antialiased samples lie at the centres of a pixel's 8 x 8 eighth-pixel cells (in
// sixteenths: 2i + 1), the vertices snapped to eighths; aliased ones at pixel centres in 16.16.
struct TReference {
    struct TEdge {
        int64_t X0, Y0, X1, Y1;
    };
    std::vector<TEdge> Edges;
    bool Antialiased;
    TPolyFillMode Mode;

    explicit TReference(const TPolygon32& Poly) : Antialiased(Poly.Antialiased), Mode(Poly.FillMode) {
        const TArrayOfFixedPoint& pts = Poly.Points();
        std::vector<size_t> bounds{0};
        for (size_t s : Poly.ContourStarts())
            bounds.push_back(s);
        bounds.push_back(pts.size());
        auto conv = [&](TFixed v) -> int64_t {
            return Antialiased ? 2 * static_cast<int64_t>(std::floor((double(v) + 2047) / 8192)) : v;
        };
        for (size_t c = 0; c + 1 < bounds.size(); ++c)
            for (size_t i = bounds[c]; i < bounds[c + 1]; ++i) {
                const TFixedPoint& a = pts[i];
                const TFixedPoint& b = pts[i + 1 < bounds[c + 1] ? i + 1 : bounds[c]];
                Edges.push_back({conv(a.X), conv(a.Y), conv(b.X), conv(b.Y)});
            }
    }

    // The edges that a horizontal line at Y crosses.
    std::vector<TEdge> Crossing(int64_t Y) const {
        std::vector<TEdge> out;
        for (const TEdge& e : Edges)
            if ((e.Y0 > Y) != (e.Y1 > Y)) out.push_back(e);
        return out;
    }

    static bool Inside(const std::vector<TEdge>& Crossing, TPolyFillMode Mode, int64_t X, int64_t Y) {
        int wind = 0;
        for (const TEdge& e : Crossing) {
            // Crossing right of X: x0 - X + (x1 - x0)(Y - y0)/(y1 - y0) > 0.
            const i128 num = i128{e.X0 - X} * (e.Y1 - e.Y0) + i128{e.X1 - e.X0} * (Y - e.Y0);
            const bool right = e.Y1 > e.Y0 ? num > 0 : num < 0;
            if (right) wind += e.Y1 > e.Y0 ? 1 : -1;
        }
        return Mode == pfWinding ? wind != 0 : (wind & 1) != 0;
    }

    // Covered samples (0..64) of every pixel of a W x H bitmap, row by row.
    std::vector<int> Coverage(int W, int H) const {
        std::vector<int> cov(static_cast<size_t>(W) * H, 0);
        for (int y = 0; y < H; ++y) {
            if (!Antialiased) {
                const int64_t Y = int64_t{y} * 65536 + 32768;
                const auto crossing = Crossing(Y);
                for (int x = 0; x < W; ++x)
                    cov[static_cast<size_t>(y) * W + x] =
                        Inside(crossing, Mode, int64_t{x} * 65536 + 32768, Y) ? 64 : 0;
                continue;
            }
            for (int j = 0; j < 8; ++j) {
                const int64_t Y = 2 * (8 * int64_t{y} + j) + 1;
                const auto crossing = Crossing(Y);
                for (int x = 0; x < W; ++x)
                    for (int i = 0; i < 8; ++i)
                        cov[static_cast<size_t>(y) * W + x] +=
                            Inside(crossing, Mode, 2 * (8 * int64_t{x} + i) + 1, Y);
            }
        }
        return cov;
    }
};

std::string Describe(const TPolygon32& Poly) {
    std::ostringstream out;
    out << (Poly.Antialiased ? "antialiased " : "aliased ")
        << (Poly.FillMode == pfWinding ? "winding" : "alternate") << ":";
    size_t c = 0;
    for (size_t i = 0; i < Poly.Points().size(); ++i) {
        if (c < Poly.ContourStarts().size() && Poly.ContourStarts()[c] == i) {
            out << " |";
            ++c;
        }
        out << " (" << Poly.Points()[i].X << ", " << Poly.Points()[i].Y << ")";
    }
    return out.str();
}

// Fills Poly onto a patterned background and checks every pixel against the reference.
::testing::AssertionResult MatchesReference(const TPolygon32& Poly, int W, int H, TColor32 Color) {
    TBitmap32 bmp(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            bmp.SetPixel(x, y, 0xFF000000u | (x * 0x0A0B0Cu + y * 0x070503u));
    TBitmap32 back;
    back.Assign(bmp);
    Poly.DrawFill(bmp, Color);
    const std::vector<int> cov = TReference(Poly).Coverage(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int c = cov[static_cast<size_t>(y) * W + x];
            const TColor32 want = Expected(Color, back.Pixel(x, y), c);
            if (bmp.Pixel(x, y) != want)
                return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << std::hex
                                                     << bmp.Pixel(x, y) << ", expected " << want << std::dec
                                                     << " (coverage " << c << ") for " << Describe(Poly);
        }
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(Polygon32, CoverageOfHalfAndFullPixels) {
    TBitmap32 bmp(4, 3);
    bmp.Clear(kBack);
    // Pixel (0, 0) covered on its left half; pixel (1, 1) in full.
    Poly({P(0, 0), P(0.5, 0), P(0.5, 1), P(0, 1)}).DrawFill(bmp, clRed32);
    Poly({P(1, 1), P(2, 1), P(2, 2), P(1, 2)}).DrawFill(bmp, 0xFF123456);
    EXPECT_EQ(bmp.Pixel(0, 0), BlendChannels(clRed32, kBack, 128)); // 255 x 32 / 64 = 127.5 -> 128
    EXPECT_EQ(bmp.Pixel(1, 1), 0xFF123456u);
    EXPECT_EQ(bmp.Pixel(1, 0), kBack);
    EXPECT_EQ(bmp.Pixel(2, 1), kBack);
    EXPECT_EQ(bmp.Pixel(1, 2), kBack);
    // A colour's alpha scales the weight: 128 x 64 / 64.
    Poly({P(2, 0), P(3, 0), P(3, 1), P(2, 1)}).DrawFill(bmp, 0x80FFFFFF);
    EXPECT_EQ(bmp.Pixel(2, 0), BlendChannels(clWhite32, kBack, 128));
    // A transparent colour changes nothing.
    Poly({P(0, 0), P(4, 0), P(4, 3), P(0, 3)}).DrawFill(bmp, 0x00FFFFFF);
    EXPECT_EQ(bmp.Pixel(3, 2), kBack);
}

TEST(Polygon32, VerticesSnapToEighthsWithTheBiasedShift) {
    // (v + 2047) shr 13: 0.5 px - 2047/65536 still snaps to 4/8, one unit less to 3/8.
    for (auto [edge, covered] : {std::pair{32768 - 2047, 32}, std::pair{32768 - 2048, 24},
                                 std::pair{32768 + 6144, 32}, std::pair{32768 + 6145, 40}}) {
        TBitmap32 bmp(1, 1);
        bmp.Clear(kBack);
        TPolygon32 poly;
        poly.Antialiased = true;
        for (TFixedPoint p :
             {TFixedPoint{0, 0}, TFixedPoint{edge, 0}, TFixedPoint{edge, FixedOne}, TFixedPoint{0, FixedOne}})
            poly.Add(p);
        poly.DrawFill(bmp, clWhite32);
        EXPECT_EQ(bmp.Pixel(0, 0), Expected(clWhite32, kBack, covered)) << "edge at " << edge;
    }
}

TEST(Polygon32, HoleStaysOpenUnderEvenOddAndFillsUnderWinding) {
    for (TPolyFillMode mode : {pfAlternate, pfWinding}) {
        TBitmap32 bmp(10, 10);
        bmp.Clear(kBack);
        TPolygon32 poly = Poly({P(0, 0), P(10, 0), P(10, 10), P(0, 10)}, true, mode);
        poly.NewLine();
        for (TFixedPoint p : {P(3, 3), P(7, 3), P(7, 7), P(3, 7)})
            poly.Add(p); // same orientation
        poly.DrawFill(bmp, clBlack32);
        EXPECT_EQ(bmp.Pixel(5, 5), mode == pfAlternate ? kBack : clBlack32);
        EXPECT_EQ(bmp.Pixel(1, 1), clBlack32);
        EXPECT_EQ(bmp.Pixel(9, 9), clBlack32);
    }
    // A hole drawn the other way round is a hole under both rules.
    TBitmap32 bmp(10, 10);
    bmp.Clear(kBack);
    TPolygon32 poly = Poly({P(0, 0), P(10, 0), P(10, 10), P(0, 10)}, true, pfWinding);
    poly.NewLine();
    for (TFixedPoint p : {P(3, 3), P(3, 7), P(7, 7), P(7, 3)})
        poly.Add(p);
    poly.DrawFill(bmp, clBlack32);
    EXPECT_EQ(bmp.Pixel(5, 5), kBack);
    EXPECT_EQ(bmp.Pixel(2, 5), clBlack32);
}

TEST(Polygon32, ClippingAtEverySideMatchesTheUnclippedPicture) {
    // The same triangles drawn into a small bitmap and, shifted, into the middle of a large one:
    // the small bitmap must show exactly the matching window of the large one.
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> coord(-30, 46);
    for (int n = 0; n < 400; ++n) {
        const bool aa = n % 2 == 0;
        TPolygon32 small, large;
        small.Antialiased = large.Antialiased = aa;
        for (int i = 0; i < 4; ++i) {
            const double x = coord(rng), y = coord(rng);
            small.Add(P(x, y));
            large.Add(P(x + 64, y + 64));
        }
        TBitmap32 a(16, 16), b(160, 160);
        a.Clear(kBack);
        b.Clear(kBack);
        small.DrawFill(a, 0xFFFFCC00);
        large.DrawFill(b, 0xFFFFCC00);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                ASSERT_EQ(a.Pixel(x, y), b.Pixel(x + 64, y + 64))
                    << Describe(small) << " at " << x << ", " << y;
    }
}

TEST(Polygon32, AgreesWithThePointInPolygonReferenceOnRandomPolygons) {
    std::mt19937 rng(20240601);
    for (int n = 0; n < 2000; ++n) {
        const int kind = n % 4;
        TPolygon32 poly;
        poly.Antialiased = n % 5 != 0;
        poly.FillMode = n % 3 == 0 ? pfWinding : pfAlternate;
        const int contours = 1 + static_cast<int>(rng() % 3 == 0) + static_cast<int>(rng() % 7 == 0);
        for (int c = 0; c < contours; ++c) {
            if (c > 0) poly.NewLine();
            const int count = 1 + static_cast<int>(rng() % 12);
            for (int i = 0; i < count; ++i) {
                // Mostly inside, some far outside, some on whole and half pixels.
                std::uniform_int_distribution<int> range(kind == 0 ? -40 * 65536 : -4 * 65536,
                                                         kind == 0 ? 70 * 65536 : 30 * 65536);
                TFixed x = range(rng), y = range(rng);
                if (kind == 1) x &= ~0x7FFF, y &= ~0x7FFF;
                poly.Add(TFixedPoint{x, y});
            }
        }
        const TColor32 color = (n % 7 == 0 ? (rng() & 0xFF000000u) : 0xFF000000u) | (rng() & 0xFFFFFF);
        ASSERT_TRUE(MatchesReference(poly, 21, 17, color)) << "polygon " << n;
    }
}

TEST(Polygon32, ThinRibbonsAgreeWithTheReference) {
    // Pen strokes: a left side and a right side a few pixels apart, run there and back.
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> u(0, 1);
    for (int n = 0; n < 300; ++n) {
        TPolygon32 poly;
        poly.Antialiased = true;
        const double x0 = u(rng) * 60 - 10, y0 = u(rng) * 60 - 10, angle = u(rng) * 6.3,
                     width = 0.3 + u(rng) * 5;
        const int half = 8 + static_cast<int>(u(rng) * 12);
        std::vector<TFixedPoint> right;
        for (int i = 0; i < half; ++i) {
            const double t = i * 3.0, a = angle + i * 0.05;
            const double cx = x0 + t * std::cos(a), cy = y0 + t * std::sin(a);
            poly.Add(P(cx - std::sin(a) * width / 2, cy + std::cos(a) * width / 2));
            right.push_back(P(cx + std::sin(a) * width / 2, cy - std::cos(a) * width / 2));
        }
        for (auto it = right.rbegin(); it != right.rend(); ++it)
            poly.Add(*it);
        ASSERT_TRUE(MatchesReference(poly, 48, 48, 0xFF3366CC)) << "ribbon " << n;
    }
}

TEST(Polygon32, DegenerateAndHugeInputIsSafe) {
    TBitmap32 bmp(8, 8);
    bmp.Clear(kBack);
    TPolygon32 poly;
    poly.Antialiased = true;
    poly.DrawFill(bmp, clWhite32); // no points
    poly.Add(P(1, 1));
    poly.DrawFill(bmp, clWhite32); // one point
    poly.Add(P(6, 6));
    poly.DrawFill(bmp, clWhite32); // a line has no area
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(bmp.Pixel(x, y), kBack);

    // Extreme coordinates cover the whole bitmap (or exactly the reference's part of it).
    for (bool aa : {true, false}) {
        TPolygon32 huge;
        huge.Antialiased = aa;
        for (TFixedPoint p : {TFixedPoint{INT32_MIN, INT32_MIN}, TFixedPoint{INT32_MAX, INT32_MIN},
                              TFixedPoint{INT32_MAX, INT32_MAX}, TFixedPoint{INT32_MIN, INT32_MAX}})
            huge.Add(p);
        TBitmap32 full(8, 8);
        full.Clear(kBack);
        huge.DrawFill(full, clWhite32);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                ASSERT_EQ(full.Pixel(x, y), clWhite32);

        TPolygon32 spike;
        spike.Antialiased = aa;
        for (TFixedPoint p : {TFixedPoint{INT32_MIN, 3 * 65536}, TFixedPoint{INT32_MAX, 5 * 65536 + 123},
                              TFixedPoint{4 * 65536, INT32_MAX}, TFixedPoint{INT32_MAX, INT32_MIN}})
            spike.Add(p);
        EXPECT_TRUE(MatchesReference(spike, 9, 7, clWhite32));
    }

    // An empty bitmap takes any polygon.
    TBitmap32 empty;
    Poly({P(0, 0), P(5, 0), P(5, 5)}).DrawFill(empty, clWhite32);
}

TEST(Polygon32, NewLineWithoutPointsStartsNoEmptyContour) {
    TPolygon32 poly;
    poly.NewLine();
    poly.Add(P(0, 0));
    poly.NewLine();
    poly.NewLine();
    poly.Add(P(1, 1));
    EXPECT_EQ(poly.ContourCount(), 2);
    poly.Clear();
    EXPECT_EQ(poly.ContourCount(), 1);
    EXPECT_TRUE(poly.Points().empty());
}
