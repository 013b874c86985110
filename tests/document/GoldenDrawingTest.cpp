// SPDX-License-Identifier: GPL-3.0-or-later
// The golden drawing: a piece of a shared photo analysed, the generator seeded, and a fixed set of
// gestures laid with every tool through the drawing document. The digests of what comes out (the
// feature bitmap, the drawing, the stroke log, the PostScript file and a re-render at another
// size) are compared with the values stored below, so that any change of what a user gets from
// the same gestures shows here. A deliberate change updates the values in the same commit, and
// the commit says why.
#include "document/DualImage.h"

#include "document/QStates.h"
#include "engine/Strokes.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/Image32.h"
#include "platform/rtl/Random.h"
#include "presets/Patterns.h"
#include "presets/PolyBezier.h"
#include "presets/PolyBezierLayer.h"
#include "tests/support/JpegPhoto.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {
// 64-bit FNV-1a, shown as 16 hexadecimal digits.
class TDigest {
public:
    void Add(const void* Data, size_t Size) {
        const auto* p = static_cast<const uint8_t*>(Data);
        for (size_t i = 0; i < Size; ++i)
            FHash = (FHash ^ p[i]) * 0x100000001B3ull;
    }
    // Little-endian, whatever the machine.
    void Add32(uint32_t Value) {
        const uint8_t b[4] = {static_cast<uint8_t>(Value), static_cast<uint8_t>(Value >> 8),
                              static_cast<uint8_t>(Value >> 16), static_cast<uint8_t>(Value >> 24)};
        Add(b, 4);
    }
    std::string Hex() const {
        char text[17];
        std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(FHash));
        return text;
    }

private:
    uint64_t FHash = 0xCBF29CE484222325ull;
};

std::string DigestOf(const TBitmap32& B) {
    TDigest d;
    d.Add32(static_cast<uint32_t>(B.Width()));
    d.Add32(static_cast<uint32_t>(B.Height()));
    for (int y = 0; y < B.Height(); ++y)
        for (int x = 0; x < B.Width(); ++x)
            d.Add32(B.Pixel(x, y));
    return d.Hex();
}

// Every stroke of the applied steps, oldest first, as its log records it.
std::string StrokeLogDigest(const TDualImage& Doc) {
    TDigest d;
    const TQStates& history = Doc.History();
    for (int i = 0; i < history.Count(); ++i) {
        TStrokes* log = history.GetState(i)->Strokes();
        log->StartRead();
        TStrokeOutline s;
        while (log->Read(s)) {
            d.Add32(s.Color);
            for (const TArrayOfFixedPoint* side : {&s.Left, &s.Right}) {
                d.Add32(static_cast<uint32_t>(side->size()));
                for (const TFixedPoint& p : *side) {
                    d.Add32(static_cast<uint32_t>(p.X));
                    d.Add32(static_cast<uint32_t>(p.Y));
                }
            }
        }
    }
    return d.Hex();
}

std::string FileDigest(const std::string& Name) {
    std::ifstream in(Name, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    TDigest d;
    d.Add(bytes.data(), bytes.size());
    return d.Hex();
}

// A pattern of two frames, each with a gentle curve and a hook.
std::unique_ptr<TPatternManager> GoldenPattern() {
    auto manager = std::make_unique<TPatternManager>();
    manager->Patterns.clear();
    auto pattern = std::make_unique<TPattern>();
    for (int f = 0; f < 2; ++f) {
        auto frame = std::make_unique<TPatternFrame>();
        frame->AddCurve(TBezierCurve{{0, 0}, {30, 10 + 10 * f}, {60, -10}, {100, 5 * f}});
        frame->AddCurve(TBezierCurve{{0, 0}, {-20, 30}, {-30, 60 - 20 * f}, {-10, 100}});
        pattern->AddPatternFrame(std::move(frame));
    }
    manager->Patterns.push_back(std::move(pattern));
    manager->SetIndex(0);
    return manager;
}

constexpr int PieceLeft = 312, PieceTop = 362, PieceWidth = 400, PieceHeight = 300;
} // namespace

TEST(GoldenDrawing, EveryToolOnPhotoAGivesTheStoredDrawing) {
    TImgView32 src, dst;
    ASSERT_TRUE(LoadTestPhotoPiece("photo-a.jpg", PieceLeft, PieceTop, PieceWidth, PieceHeight, src.Bitmap));
    dst.Bitmap.SetSize(PieceWidth, PieceHeight);
    dst.Bitmap.Clear(clWhite32);
    src.SetViewportSize(PieceWidth, PieceHeight);
    dst.SetViewportSize(PieceWidth, PieceHeight);
    TDualImage doc(&src, &dst, 1.0f, nullptr, nullptr, nullptr);
    // The analysis; the strokes leave the feature bitmap as it is.
    const std::string feature = DigestOf(doc.Feature());
    EXPECT_EQ(feature, "e92156613130e45f");
    auto patterns = GoldenPattern();
    doc.PatternManager = patterns.get();
    RandSeed = 20240613;
    // The strokes of the applied steps after each gesture tell which tool changed.
    std::vector<int> counts;
    auto gesture = [&](const std::function<void()>& Draw) {
        doc.BeginChange();
        Draw();
        doc.EndChange();
        counts.push_back(doc.StrokeCount());
    };

    // Auto-sketch in the photo's colours: one drag of dabs.
    doc.SetAutoMode(true);
    doc.SetBrdLimit(70);
    doc.SetSize(40);
    doc.SetDensity(40);
    gesture([&] {
        for (int i = 0; i < 6; ++i)
            doc.SprayAt(60 + 30 * i, 80 + 12 * i);
    });

    // Auto-sketch again with the colour shifted, longer and wider strokes.
    doc.SetHue(0.2f);
    doc.SetSaturation(-0.3f);
    doc.SetBrightness(0.1f);
    doc.SetLength(160);
    doc.SetWidth(2.5f);
    doc.SetGain(3.0f);
    gesture([&] {
        doc.SprayAt(300, 200);
        doc.SprayAt(320, 190);
    });

    // Pattern, with random inks from a palette.
    doc.SetAutoMode(false);
    doc.SetColorMode(cmPaletteInk);
    for (TColor32 ink : {0xFF203080u, 0xFF902010u, 0xFF106030u})
        doc.AddPaletteColor(ink);
    doc.SetLength(80);
    doc.SetWidth(1.5f);
    doc.SetSize(60);
    gesture([&] {
        for (int i = 0; i < 4; ++i)
            doc.SprayAt(120 + 40 * i, 220 - 20 * i);
    });

    // Free Hand: a band along one cubic, in a fixed ink.
    doc.SetColorMode(cmFixedInk);
    doc.SetColor(0xFF402000);
    doc.SetSize(20);
    doc.SetDensity(60);
    gesture([&] {
        auto band = std::make_unique<TPolyBezier>(Point(30, 260));
        band->SetBandWidth(20);
        band->AddBezier(Point(120, 150), Point(250, 300), Point(370, 60));
        doc.CurveLayer().Add(std::move(band));
        doc.StrokesAlongCurves();
    });
    doc.CurveLayer().Clear();

    // Single strokes, not stopped at borders, then one undone and replaced by another.
    doc.SetColorMode(cmSampledColor);
    doc.SetAutoMode(true);
    doc.StopOnBorders = false;
    doc.SetBrdLimit(100);
    doc.SetPolyStep(10);
    doc.SetLength(200);
    gesture([&] {
        doc.StrokeAt(200, 150);
        doc.StrokeAt(50, 50);
    });
    gesture([&] { doc.StrokeAt(350, 250); });
    doc.Undo();
    gesture([&] {
        doc.StrokeAt(100, 200);
        doc.StrokeAt(380, 20);
    });

    EXPECT_EQ(counts, (std::vector<int>{408, 477, 887, 1105, 1107, 1108, 1109}));
    ASSERT_EQ(doc.History().Length(), 6);
    EXPECT_EQ(RandSeed, 2475615261u);
    const std::string drawing = DigestOf(dst.Bitmap);
    EXPECT_EQ(drawing, "8cbb3bbf240eadaf");
    EXPECT_EQ(DigestOf(doc.Feature()), feature);
    EXPECT_EQ(StrokeLogDigest(doc), "de00927aec4e297d");
    TTestFolder folder;
    doc.ExportPostScript(folder / "golden.ps");
    EXPECT_EQ(FileDigest(folder / "golden.ps"), "796e0fb26a10bab0");
    TBitmap32 larger(PieceWidth * 3 / 2, PieceHeight * 3 / 2);
    larger.Clear(clWhite32);
    doc.RenderStrokes(larger, 1.5f);
    EXPECT_EQ(DigestOf(larger), "e6f167cd99a377aa");

    // Undo to the blank drawing through steps swapped to disk, and redo to the same drawing.
    for (int i = 0; i < 6; ++i)
        doc.CompressIdle();
    while (doc.CanUndo())
        doc.Undo();
    TBitmap32 blank(PieceWidth, PieceHeight);
    blank.Clear(clWhite32);
    EXPECT_EQ(DigestOf(dst.Bitmap), DigestOf(blank));
    EXPECT_EQ(DigestOf(doc.Feature()), feature);
    while (doc.CanRedo())
        doc.Redo();
    EXPECT_EQ(DigestOf(dst.Bitmap), drawing);
    EXPECT_EQ(DigestOf(doc.Feature()), feature);
}
