// SPDX-License-Identifier: GPL-3.0-or-later
// Shows what the presets draw: style previews of a few styles over the compiled-in sample, and
// the thumbnails of two hand-made patterns as the main window (40 x 40 from an 80 x 80 white
// target) and the pattern editor's frame slots (56 x 56, light grey) show them.
//
//   see_presets [output-folder]
//
// The folder defaults to /tmp/see_presets; every picture is written there as a JPEG, as the
// program saves one.
#include "platform/formats/PictureFormats.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Random.h"
#include "platform/rtl/Streams.h"
#include "presets/DemoStyle.h"
#include "presets/Patterns.h"
#include "presets/Styles.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

void Write(const TBitmap32& Picture, const std::string& FileName) {
    SavePictureFile(Picture, FileName, 200.0);
    std::printf("%s (%d x %d)\n", FileName.c_str(), Picture.Width(), Picture.Height());
}

struct TLook {
    const char* Name;
    int32_t PolyStep;
    int32_t Length;
    float Gain;
    float Width;
    uint8_t BorderLimit;
    bool StopOnBorders;
};

TBezierCurve Curve(int X0, int Y0, int X1, int Y1, int X2, int Y2, int X3, int Y3) {
    return {{X0, Y0}, {X1, Y1}, {X2, Y2}, {X3, Y3}};
}

void AddFrame(TPattern& Pattern, std::initializer_list<TBezierCurve> Curves) {
    TPatternFrame& frame = Pattern.AddPatternFrame(std::make_unique<TPatternFrame>());
    for (const TBezierCurve& c : Curves)
        frame.AddCurve(c);
}

void WritePattern(TPattern& Pattern, const std::string& Folder, const std::string& Name) {
    TBitmap32 target(80, 80);
    target.Clear(clWhite32);
    Pattern.SetTarget(&target);
    const auto thumbnail = Pattern.Thumbnail(40, 40);
    Write(target, Folder + "/" + Name + "-target80.jpg");
    Write(*thumbnail, Folder + "/" + Name + "-thumbnail40.jpg");
    for (int32_t i = 0; i < Pattern.FrameCount(); ++i) {
        TBitmap32 slot(56, 56);
        slot.Clear(0xFFCCCCCC);
        Pattern.SetTarget(&slot);
        Pattern.DrawFrame(i, true);
        Write(slot, Folder + "/" + Name + "-slot" + std::to_string(i) + ".jpg");
    }
    TBitmap32 large(214, 214);
    large.Clear(clWhite32);
    Pattern.SetTarget(&large);
    for (int32_t i = 0; i < Pattern.FrameCount(); ++i)
        Pattern.DrawFrame(i, false);
    Write(large, Folder + "/" + Name + "-frames214.jpg");
}

} // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "/tmp/see_presets";
    try {
        std::filesystem::create_directories(folder);
        RegisterPictureFormats();
        TMemoryStream sample;
        sample.WriteBuffer(DemoStyle().data(), DemoStyle().size());
        sample.SetPosition(0);
        TBitmap32 picture;
        picture.LoadFromStream(sample);
        Write(picture, folder + "/sample.jpg");

        const TLook looks[] = {
            {"default-limit100", 25, 100, 2.0f, 1.0f, 100, true},
            {"default-limit128", 25, 100, 2.0f, 1.0f, 128, true},
            {"short-thick", 25, 30, 6.0f, 3.0f, 90, true},
            {"long-fine", 10, 205, 1.0f, 1.0f, 80, false},
            {"coarse-precision", 94, 100, 4.0f, 2.0f, 100, true},
        };
        for (const TLook& look : looks) {
            RandSeed = 0;
            TQStyle style;
            style.SetPrecision(look.PolyStep);
            style.SetLength(look.Length);
            style.SetGain(look.Gain);
            style.SetWidth(look.Width);
            style.SetBorderLimit(look.BorderLimit);
            style.StopOnBorders = look.StopOnBorders;
            Write(style.GetPreview(), folder + "/preview-" + look.Name + ".jpg");
        }

        TPattern hatch;
        AddFrame(hatch, {Curve(40, 150, 60, 120, 80, 90, 100, 60), Curve(70, 160, 90, 130, 110, 100, 130, 70),
                         Curve(100, 170, 120, 140, 140, 110, 160, 80)});
        AddFrame(hatch, {Curve(30, 100, 80, 20, 120, 180, 180, 100)});
        AddFrame(hatch, {Curve(60, 60, 160, 40, 170, 160, 90, 150)});
        WritePattern(hatch, folder, "pattern-hatch");

        TPattern corner;
        AddFrame(corner, {Curve(5, 5, 60, 5, 5, 60, 60, 60)});
        WritePattern(corner, folder, "pattern-corner");
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
