// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Bezier.h"

#include "platform/rtl/Exception.h"
#include "platform/rtl/Round.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct TPiece {
    TPoint Q0, Q1, Q2, Q3;
};

std::vector<TPiece> Pieces(const TPoint& P0, const TPoint& P1, const TPoint& P2, const TPoint& P3) {
    TBezierHelper h;
    std::vector<TPiece> out;
    h.Subdivide(P0, P1, P2, P3, [&](const TPoint& A, const TPoint& B, const TPoint& C, const TPoint& D) {
        out.push_back({A, B, C, D});
    });
    return out;
}

} // namespace

TEST(Bezier, SubdivisionGivesEightPiecesInOrder) {
    const auto pieces = Pieces(Point(0, 0), Point(0, 0), Point(8, 0), Point(8, 0));
    ASSERT_EQ(pieces.size(), 8u);
    EXPECT_EQ(pieces.front().Q0, Point(0, 0));
    EXPECT_EQ(pieces.back().Q3, Point(8, 0));
    for (size_t i = 0; i < pieces.size(); ++i) {
        for (const TPoint& p : {pieces[i].Q0, pieces[i].Q1, pieces[i].Q2, pieces[i].Q3})
            EXPECT_EQ(p.Y, 0);
        if (i > 0) {
            EXPECT_EQ(pieces[i].Q0, pieces[i - 1].Q3);
        }
        EXPECT_LE(pieces[i].Q0.X, pieces[i].Q3.X);
    }
    // The integer midpoint is a + (b - a) div 2: the first halving of (-3, 0, 0, 0) ends at -1,
    // where (a + b) div 2 would give 0.
    const auto neg = Pieces(Point(-3, 0), Point(0, 0), Point(0, 0), Point(0, 0));
    EXPECT_EQ(neg[3].Q3, Point(-1, 0));
}

TEST(Bezier, NestedSubdivisionKeepsItsOwnDepth) {
    TBezierHelper h, inner;
    int outer = 0, nested = 0;
    h.Subdivide(Point(0, 0), Point(10, 0), Point(20, 0), Point(30, 0),
                [&](const TPoint&, const TPoint&, const TPoint&, const TPoint&) {
                    ++outer;
                    inner.Subdivide(
                        Point(0, 0), Point(1, 1), Point(2, 2), Point(3, 3),
                        [&](const TPoint&, const TPoint&, const TPoint&, const TPoint&) { ++nested; });
                });
    EXPECT_EQ(outer, 8);
    EXPECT_EQ(nested, 64);
}

TEST(Bezier, PixelLines) {
    TBezierHelper h;
    h.AddPixelLine(0, 0, 3, 1);
    EXPECT_EQ(h.Pixels,
              (std::vector<TPoint>{Point(0, 0), Point(0, 0), Point(1, 0), Point(2, 0), Point(3, 1)}));
    h.Pixels.clear();
    h.AddPixelLine(Point(5, 5), Point(5, 5));
    EXPECT_EQ(h.Pixels, (std::vector<TPoint>{Point(5, 5), Point(5, 5)}));
    h.Pixels.clear();
    h.AddPixelLine(0, 0, -2, -2);
    EXPECT_EQ(h.Pixels, (std::vector<TPoint>{Point(0, 0), Point(0, 0), Point(-1, -1), Point(-2, -2)}));
}

TEST(Bezier, RasterizeACollapsedCurve) {
    TBezierHelper h;
    h.Rasterize(Point(7, 9), Point(7, 9), Point(7, 9), Point(7, 9));
    EXPECT_EQ(h.Pixels, std::vector<TPoint>(48, Point(7, 9)));
    h.Rasterize(Point(0, 0), Point(0, 0), Point(8, 0), Point(8, 0));
    ASSERT_GE(h.Pixels.size(), 2u);
    EXPECT_EQ(h.Pixels[0], Point(0, 0));
    EXPECT_EQ(h.Pixels[1], Point(0, 0));
    EXPECT_EQ(h.Pixels.back(), Point(8, 0));
}

TEST(Bezier, Refit) {
    TBezierHelper h;
    const TBezierCurve c{Point(0, 0), Point(30, 0), Point(60, 40), Point(90, 40)};
    h.Rasterize(c.P0, c.C1, c.C2, c.P3);
    const auto path = h.Pixels;
    const int l = static_cast<int>(path.size());

    // A chunk longer than the path: one cubic from the first to the last pixel.
    h.Refit(c, l + 5);
    ASSERT_EQ(h.SegmentCount(), 1);
    TBezierCurve s;
    h.GetSegment(0, s);
    const int r = l - 1;
    EXPECT_EQ(s, (TBezierCurve{path[0], path[Round(r * 0.25)], path[Round(r * 0.75)], path[l - 1]}));

    // L - 1 a multiple of N: whole chunks only, joined end to start.
    h.Refit(c, l - 1);
    EXPECT_EQ(h.SegmentCount(), 1);
    h.GetSegment(0, s);
    EXPECT_EQ(s.P3, path[l - 1]);
    int n = 0;
    for (int k = 2; k < l - 1; ++k)
        if ((l - 1) % k == 0) n = k;
    if (n > 0) {
        h.Refit(c, n);
        EXPECT_EQ(h.SegmentCount(), (l - 1) / n);
    }

    h.Refit(c, 10);
    EXPECT_EQ(h.SegmentCount(), (l - 1) / 10 + ((l - 1) % 10 > 0 ? 1 : 0));
    for (int i = 0; i < h.SegmentCount(); ++i) {
        h.GetSegment(i, s);
        EXPECT_EQ(s.P0, path[i * 10]);
        if (i < (l - 1) / 10) {
            EXPECT_EQ(s.C1, path[Round((i + 0.25) * 10)]);
            EXPECT_EQ(s.C2, path[Round((i + 0.75) * 10)]);
        }
    }
    EXPECT_THROW(h.GetSegment(h.SegmentCount(), s), Exception);
    EXPECT_THROW(h.GetSegment(-1, s), Exception);
    EXPECT_THROW(h.Refit(c, 0), Exception);
}
