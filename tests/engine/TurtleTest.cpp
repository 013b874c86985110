// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Turtle.h"

#include "platform/rtl/Round.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace {

std::string Moves(TTurtle& T, int Count) {
    std::string s;
    for (int i = 0; i < Count; ++i) {
        const TPoint before = T.GetPos();
        T.Step();
        const TPoint d = Point(T.X - before.X, T.Y - before.Y);
        s += d.X == 1 ? 'R' : d.X == -1 ? 'L' : d.Y == -1 ? 'U' : 'D';
    }
    return s;
}

// The direction (radians, counter-clockwise from right, y up) a turtle with this heading keeps
// over many steps.
double WalkAngle(THeading H) {
    TTurtle t(Point(0, 0), H);
    for (int i = 0; i < 4096; ++i)
        t.Step();
    return std::atan2(-static_cast<double>(t.Y), static_cast<double>(t.X));
}

double AngleDifferenceDegrees(double A, double B) {
    constexpr double Pi = std::numbers::pi;
    double d = std::fmod(A - B + 3 * Pi, 2 * Pi) - Pi;
    return std::abs(d) * 180 / Pi;
}

} // namespace

TEST(Turtle, HeadingZeroStepsRightWithPlainWeights) {
    TTurtle t(Point(5, 7));
    EXPECT_EQ(Moves(t, 4), "RRRR");
    EXPECT_EQ(t.GetPos(), Point(9, 7));
    EXPECT_EQ(t.MainPixel, Point(9, 7));
    EXPECT_EQ(t.NeighbourPixel, Point(9, 6));
    EXPECT_EQ(t.MainWeight, 255);
    EXPECT_EQ(t.NeighbourWeight, 0);
    float fx, fy;
    t.GetSubPixel(fx, fy);
    EXPECT_EQ(fx, 9.0f);
    EXPECT_EQ(fy, 7.0f);
}

TEST(Turtle, MixedHeadingsFollowTheAccumulator) {
    TTurtle t(Point(0, 0), 48);
    std::vector<int> acc;
    std::string moves;
    for (int i = 0; i < 4; ++i) {
        moves += Moves(t, 1);
        acc.push_back(t.Accumulator);
    }
    EXPECT_EQ(moves, "UURU");
    EXPECT_EQ(acc, (std::vector<int>{-16, -32, 16, 0}));
    EXPECT_EQ(Moves(t, 8), "UURUUURU");

    // Half way between right and up: the first step goes up.
    TTurtle half(Point(0, 0), 32);
    EXPECT_EQ(Moves(half, 1), "U");
}

TEST(Turtle, WeightsAndNeighbourFollowTheLean) {
    // Heading 48 after one step: accumulator -16, W = (4 x -16) mod 256 = 192.
    TTurtle t(Point(10, 10), 48);
    t.Step();
    EXPECT_EQ(t.MainPixel, Point(10, 9));
    EXPECT_EQ(t.NeighbourPixel, Point(11, 9)); // sector 48 < 64 leans right
    EXPECT_EQ(t.MainWeight, 192);
    EXPECT_EQ(t.NeighbourWeight, 63);
    float fx, fy;
    t.GetSubPixel(fx, fy);
    EXPECT_FLOAT_EQ(fx, (192 * 10 + 63 * 11) / 255.0f);
    EXPECT_FLOAT_EQ(fy, 9.0f);

    // The four sectors and their neighbours.
    struct {
        THeading H;
        TPoint Main, Neighbour;
    } cases[] = {{100, Point(-1, 0), Point(-1, -1)}, {140, Point(-1, 0), Point(-1, 1)},
                 {170, Point(0, 1), Point(-1, 1)},   {200, Point(0, 1), Point(1, 1)},
                 {230, Point(1, 0), Point(1, 1)},    {70, Point(0, -1), Point(-1, -1)}};
    for (const auto& c : cases) {
        TTurtle s(Point(0, 0), c.H);
        s.Step();
        EXPECT_EQ(s.MainPixel, c.Main) << int(c.H);
        EXPECT_EQ(s.NeighbourPixel, c.Neighbour) << int(c.H);
    }
}

TEST(Turtle, SetHeadingClearsTheAccumulatorAndAssignmentKeepsIt) {
    TTurtle t(Point(0, 0), 48);
    t.Step();
    t.Heading = 16;
    EXPECT_EQ(t.Accumulator, -16);
    t.SetHeading(16);
    EXPECT_EQ(t.Accumulator, 0);
    t.Step();
    t.Reset(Point(3, 4));
    EXPECT_EQ(t.Accumulator, 0);
    EXPECT_EQ(t.Heading, 16);
    EXPECT_EQ(t.GetPos(), Point(3, 4));
    EXPECT_EQ(t.NeighbourPixel, Point(3, 4));
}

TEST(Turtle, AccumulatorWrapsInsteadOfOverflowing) {
    // Heading 255 adds 255 per step forever; only the low byte matters and it stays exact.
    TTurtle t(Point(0, 0), 255);
    t.Accumulator = 0x7FFFFF00;
    for (int i = 0; i < 10; ++i)
        t.Step();
    EXPECT_EQ(t.Accumulator & 255, static_cast<int>((0x7FFFFF00u + 10u * 255u) & 255u));
}

TEST(Heading, TellingResults) {
    struct {
        float DX, DY;
        int Expected;
    } cases[] = {{1, 0, 0},    {0, -1, 63},  {-1, 0, 128}, {0, 1, 192}, {1, -1, 31},
                 {-1, -1, 95}, {-1, 1, 160}, {1, 1, 224},  {2, -1, 21}, {1, -2, 42},
                 {10, -1, 5},  {100, -1, 0}, {0, 0, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(HeadingFromDelta(c.DX, c.DY), c.Expected) << c.DX << ", " << c.DY;
    EXPECT_EQ(HeadingBetween(Point(4, 4), Point(4, 4)), 0);
    EXPECT_EQ(HeadingBetween(Point(4, 4), Point(6, 3)), 21);
    // Steeper than the first entry of the table: still a heading close to straight up or down.
    EXPECT_EQ(HeadingFromDelta(1, -1000), 63);
    EXPECT_EQ(HeadingFromDelta(-1, 1000), 192);
}

TEST(Heading, CorrectionTableKeepsItsFixedRowsAndShape) {
    const std::pair<int, float> rows[] = {
        {0, 1.463f},   {1, 1.497f},   {2, 1.498f},   {13, 1.389f},  {26, 1.277f},  {39, 1.190f},
        {52, 1.117f},  {65, 1.054f},  {78, 0.999f},  {91, 0.945f},  {104, 0.892f}, {117, 0.838f},
        {130, 0.782f}, {143, 0.723f}, {150, 0.699f}, {153, 0.709f}, {154, 0.730f}, {155, 0.809f},
        {156, 1.000f}, {157, 0.853f}, {158, 0.741f}, {159, 0.712f}, {161, 0.699f}, {169, 0.723f},
        {182, 0.781f}, {195, 0.837f}, {208, 0.891f}, {221, 0.944f}, {234, 0.998f}, {247, 1.054f},
        {260, 1.117f}, {273, 1.189f}, {286, 1.277f}, {299, 1.388f}, {306, 1.460f}, {311, 1.502f},
        {312, 1.480f}, {313, 0.839f}};
    for (const auto& [i, v] : rows)
        EXPECT_EQ(HeadingCorrection[i], v) << "entry " << i;
    // Between two fixed rows every entry lies between them and moves one way.
    for (size_t k = 0; k + 1 < std::size(rows); ++k) {
        const int i0 = rows[k].first, i1 = rows[k + 1].first;
        const double sign = rows[k + 1].second >= rows[k].second ? 1 : -1;
        for (int i = i0; i < i1; ++i)
            EXPECT_GE(sign * (HeadingCorrection[i + 1] - HeadingCorrection[i]), 0) << "entry " << i;
    }
    for (float v : HeadingCorrection)
        EXPECT_FLOAT_EQ(v, Round(v * 1000.0) / 1000.0f); // three decimals
}

TEST(Heading, CorrectedHeadingsWalkCloseToEveryDirection) {
    // Every direction in tenths of a degree: the turtle on the corrected heading stays within
    // about two degrees of it; the plain angle, converted the same way without the table,
    // strays much further.
    constexpr double Pi = std::numbers::pi;
    double worst = 0, sum = 0, worstPlain = 0;
    const int n = 3600;
    for (int k = 0; k < n; ++k) {
        const double a = 2 * Pi * k / n;
        const float dx = static_cast<float>(std::cos(a)), dy = static_cast<float>(-std::sin(a));
        const double err = AngleDifferenceDegrees(WalkAngle(HeadingFromDelta(dx, dy)), a);
        worst = std::max(worst, err);
        sum += err;
        const double plainA = std::atan2(-static_cast<double>(dy), static_cast<double>(dx));
        const auto plain = static_cast<THeading>((Round((plainA + Pi) / (2 * Pi) * 255) + 128) & 255);
        worstPlain = std::max(worstPlain, AngleDifferenceDegrees(WalkAngle(plain), a));
    }
    EXPECT_LT(worst, 2.6);
    EXPECT_LT(sum / n, 0.9);
    EXPECT_GT(worstPlain, 5.0);
}
