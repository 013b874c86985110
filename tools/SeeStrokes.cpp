// SPDX-License-Identifier: GPL-3.0-or-later
// Shows what the engine draws: analyses a photo, lays a few thousand auto-walked strokes of the
// default style over a white drawing, as the style preview does, and writes the drawing.
//
//   see_strokes [photo [output.jpg|output.bmp|output.tif [density [border-limit [colour-mode]]]]]
//
// The photo defaults to tests/data/photo-a.jpg, the output to /tmp/see_strokes.jpg.
// Density 2925 with the length 100 gives 4000 strokes.
#include "engine/EffectSampler.h"
#include "engine/FeatureExtractor.h"
#include "engine/QTypes.h"
#include "platform/formats/PictureFormats.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    const std::string photo = argc > 1 ? argv[1] : std::string(QUOR_TEST_DATA) + "/photo-a.jpg";
    const std::string output = argc > 2 ? argv[2] : "/tmp/see_strokes.jpg";
    const int density = argc > 3 ? std::atoi(argv[3]) : 2925;
    const int borderLimit = argc > 4 ? std::atoi(argv[4]) : 90;
    const int colorMode = argc > 5 ? std::atoi(argv[5]) : 1;
    try {
        RegisterPictureFormats();
        TBitmap32 source;
        source.LoadFromFile(photo);
        const auto t0 = std::chrono::steady_clock::now();
        const auto feature = TFeatureExtractor::Extract(source);
        const auto t1 = std::chrono::steady_clock::now();

        TBitmap32 drawing(source.Width(), source.Height());
        drawing.Clear(clWhite32);
        // The default style: precision 25, length 100, gain 2.0, width 1.0, stop on borders.
        TEffectSampler sampler(feature.get(), &drawing);
        sampler.SetLength(100);
        sampler.SetPrecision(25);
        sampler.SetGain(2.0f);
        sampler.SetWidth(1.0f);
        sampler.Settings.StopOnBorders = true;
        sampler.SetScale(1.0f);
        sampler.SetDefaultHeading(96);
        sampler.Density = density;
        sampler.SetInkColor(clBlack32);
        sampler.SetColorMode(static_cast<TColorMode>(colorMode));
        sampler.SetBorderLimit(borderLimit);
        sampler.Execute();
        const auto t2 = std::chrono::steady_clock::now();

        SavePictureFile(drawing, output, 200.0);
        using ms = std::chrono::duration<double, std::milli>;
        std::printf("%s: %dx%d, analysis %.1f ms, %d strokes in %.1f ms -> %s\n", photo.c_str(),
                    source.Width(), source.Height(), ms(t1 - t0).count(), StrokeCountFor(100, density),
                    ms(t2 - t1).count(), output.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "see_strokes: %s\n", e.what());
        return 1;
    }
    return 0;
}
