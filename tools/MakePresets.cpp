// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the starter styles and patterns that ship with the program into a folder (default
// resources/presets), from where the build copies them beside the executable.
//
//   make_presets [OUTPUT_FOLDER]
//
// Styles: style0000.gst ... (the first is the one a newly opened picture gets). Patterns:
// stroke0000.stk ...; their curves are drawn in the pattern editor's pixels (about 0..210), as a
// user's own patterns are.
#include "engine/QTypes.h"
#include "platform/formats/PictureFormats.h"
#include "platform/rtl/Random.h"
#include "presets/Patterns.h"
#include "presets/Styles.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

struct TStyleSpec {
    const char* Name;
    int32_t PolyStep;
    int32_t Length;
    float Gain;
    float Width;
    bool StopOnBorders;
    uint8_t BorderLimit;
};

// The gauges give Length 5..205, Gain 1..12, Width 1..10, precision 0..94 and border limits
// 1..100; each style stays on values the gauges can show.
//
// A stroke is always drawn its full length; stopping on borders only keeps its colour from the
// far side of an edge. So on busy photos the length decides how much a stroke smears across
// detail: the first style, the one a new photo gets, keeps strokes short, and the long ones come
// last. Every style stops on borders, and its border limit leaves flat areas (a clear sky, a
// blurred background) as paper. tools/DrawStarterStyles.cpp shows each style on photos as the
// Auto-sketch tool draws with the panel as it starts.
// clang-format off
const TStyleSpec Styles[] = {
    {"Pen & Ink",          15, 30, 3.0f, 3.0f, true, 85},
    {"Fine Hatching",      15, 30, 2.0f, 3.0f, true, 90},
    {"Quick Scribble",     10, 20, 2.5f, 2.0f, true, 92},
    {"Bold Marker",        25, 50, 4.0f, 3.0f, true, 85},
    {"Long Flowing Lines", 30, 90, 2.0f, 2.0f, true, 88},
};
// clang-format on

TBezierCurve Curve(int X0, int Y0, int X1, int Y1, int X2, int Y2, int X3, int Y3) {
    return TBezierCurve{{X0, Y0}, {X1, Y1}, {X2, Y2}, {X3, Y3}};
}

// A straight piece as a cubic: the control points on the thirds.
TBezierCurve Line(int X0, int Y0, int X3, int Y3) {
    return Curve(X0, Y0, X0 + (X3 - X0) / 3, Y0 + (Y3 - Y0) / 3, X0 + 2 * (X3 - X0) / 3,
                 Y0 + 2 * (Y3 - Y0) / 3, X3, Y3);
}

using TFrames = std::vector<std::vector<TBezierCurve>>;

// Comma-shaped strokes that swell and curl at one end, turned a little from frame to frame.
TFrames Commas() {
    TFrames frames;
    for (int f = 0; f < 5; ++f) {
        const double a = -0.5 + 0.25 * f;
        auto rot = [&](double x, double y, int& rx, int& ry) {
            rx = static_cast<int>(105 + (x - 105) * std::cos(a) - (y - 105) * std::sin(a));
            ry = static_cast<int>(105 + (x - 105) * std::sin(a) + (y - 105) * std::cos(a));
        };
        int p[8];
        rot(40, 150, p[0], p[1]);
        rot(80, 60, p[2], p[3]);
        rot(150, 50, p[4], p[5]);
        rot(170, 100, p[6], p[7]);
        frames.push_back({Curve(p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7])});
    }
    return frames;
}

// Two families of straight strokes across each other.
TFrames CrossHatch() {
    TFrames frames;
    for (int f = 0; f < 5; ++f) {
        const int d = f * 9;
        frames.push_back({Line(30 + d, 40, 170 + d, 170), Line(30, 170 - d, 170, 40 - d / 2),
                          Line(60 + d, 30, 180, 140 + d / 2)});
    }
    return frames;
}

// Blades of grass: upright strokes that lean and bend at the top.
TFrames Grass() {
    TFrames frames;
    for (int f = 0; f < 5; ++f) {
        std::vector<TBezierCurve> blades;
        for (int b = 0; b < 3; ++b) {
            const int x = 50 + 50 * b + 6 * f;
            const int lean = (b - 1) * 25 + (f - 2) * 8;
            blades.push_back(Curve(x, 190, x + lean / 4, 130, x + lean / 2, 80, x + lean, 30 + 10 * b));
        }
        frames.push_back(blades);
    }
    return frames;
}

// Loose loops and curls, as a quick sketch of foliage or hair.
TFrames Curls() {
    TFrames frames;
    for (int f = 0; f < 5; ++f) {
        const int s = 10 * f;
        frames.push_back({Curve(30, 120 + s / 2, 90, 20 + s, 170 - s, 200, 120, 110),
                          Curve(120, 110, 90, 60, 190, 40 + s, 180, 150 - s)});
    }
    return frames;
}

// Long, gentle waves, as water or wind.
TFrames Waves() {
    TFrames frames;
    for (int f = 0; f < 5; ++f) {
        const int y = 70 + 15 * f;
        frames.push_back({Curve(20, y, 70, y - 45, 130, y + 45, 190, y),
                          Curve(20, y + 40, 80, y + 10, 120, y + 70, 190, y + 35)});
    }
    return frames;
}

void SavePattern(const std::string& Folder, int Index, const TFrames& Frames) {
    TPattern pattern;
    for (const auto& curves : Frames) {
        TPatternFrame& frame = pattern.AddPatternFrame(std::make_unique<TPatternFrame>());
        for (const TBezierCurve& c : curves)
            frame.AddCurve(c);
    }
    const std::string name = Folder + "stroke" + std::to_string(Index) + "000.stk";
    pattern.SaveToFile(name);
    std::printf("%s\n", name.c_str());
}

} // namespace

int main(int argc, char** argv) {
    std::string folder = argc > 1 ? argv[1] : "resources/presets";
    if (folder.back() != '/') folder += '/';
    try {
        RegisterPictureFormats();
        int index = 0;
        for (const TStyleSpec& spec : Styles) {
            TQStyle style;
            style.SetName(spec.Name);
            style.SetPrecision(spec.PolyStep);
            style.SetLength(spec.Length);
            style.SetGain(spec.Gain);
            style.SetWidth(spec.Width);
            style.SetBorderLimit(spec.BorderLimit);
            style.StopOnBorders = spec.StopOnBorders;
            // Every preview draws the same strokes, whatever was drawn before it.
            RandSeed = 0;
            const std::string name = folder + "style" + std::to_string(index++) + "000.gst";
            style.SaveToFile(name);
            std::printf("%s\n", name.c_str());
        }
        int pattern = 0;
        for (const TFrames& frames : {Commas(), CrossHatch(), Grass(), Curls(), Waves()})
            SavePattern(folder, pattern++, frames);
    } catch (const std::exception& E) {
        std::fprintf(stderr, "make_presets: %s\n", E.what());
        return 1;
    }
    return 0;
}
