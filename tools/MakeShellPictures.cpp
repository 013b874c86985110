// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the pictures of the application shell and writes them into a folder (default
// resources/app): the panels' background tile, the About box's splash collage, the tool icons,
// the glyphs of the preset buttons, the curve handle, the eyedropper cursor and the window icon.
//
//   make_shell_pictures [OUTPUT_FOLDER]
//
// background.bmp  127 x 127, 24-bit: a pale blue tile with light diagonal streaks; it repeats
//                 without seams (the streaks run along x + y, whose period is the tile's side).
// splash.bmp      211 x 316, 24-bit: six tiles in two columns and three rows, each a part of the
//                 style sample picture drawn in pen and ink by the program's own stroke engine.
// tool-*.png      32 x 32 icons of the tool commands; glyph-*.png 16 x 16 button glyphs;
// handle.png      the handle of curve control points; dropeye.png the eyedropper cursor (its
//                 hot spot is the tip at (1, 30)); quorvelle.png the window icon (64 x 64).
#include "engine/EffectSampler.h"
#include "engine/FeatureExtractor.h"
#include "platform/qt/Bitmap32Image.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/BmpCodec.h"
#include "platform/rtl/Random.h"
#include "platform/rtl/Streams.h"
#include "presets/DemoStyle.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

std::string Folder = "resources/app/";

bool Save(const QImage& Image, const char* Name) {
    const std::string path = Folder + Name;
    if (!Image.save(QString::fromStdString(path))) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    std::printf("%s\n", path.c_str());
    return true;
}

// ---------------------------------------------------------------------------------------------
// Background tile

QImage Background() {
    constexpr int Side = 127;
    QImage tile(Side, Side, QImage::Format_RGB888);
    for (int y = 0; y < Side; ++y)
        for (int x = 0; x < Side; ++x) {
            // Position across the streaks, one period per tile side, so the tile wraps.
            const double t = 2 * M_PI * ((x + y) % Side) / Side;
            // Three soft streaks of different weight, and a faint grain along the other diagonal.
            double light = 0.55 * std::pow(0.5 + 0.5 * std::cos(t), 6) +
                           0.35 * std::pow(0.5 + 0.5 * std::cos(t * 3 + 1.3), 10) +
                           0.2 * std::pow(0.5 + 0.5 * std::cos(t * 7 + 0.4), 14);
            const double u = 2 * M_PI * ((x - y + Side) % Side) / Side;
            light += 0.06 * std::cos(u * 11) + 0.04 * std::cos(u * 5 + 0.7);
            const double r = 214 + 26 * light, g = 223 + 22 * light, b = 236 + 14 * light;
            tile.setPixel(x, y,
                          qRgb(std::clamp(static_cast<int>(r), 0, 255),
                               std::clamp(static_cast<int>(g), 0, 255),
                               std::clamp(static_cast<int>(b), 0, 255)));
        }
    return tile;
}

// ---------------------------------------------------------------------------------------------
// Splash collage

struct TTileStyle {
    int Left, Top, Side;  // part of the sample picture, before it is enlarged
    int Length, PolyStep; // strokes
    float Gain, Width;
    int Density, BorderLimit;
    TColorMode ColorMode;
    TColor32 Ink;
    QRgb Paper;
};

QImage SketchTile(const TBitmap32& Sample, const TTileStyle& S, int Width, int Height) {
    // The part is enlarged to twice the tile's size first, so the strokes come out fine.
    TBitmap32 part(Width * 2, Height * 2);
    TBitmap32 sample;
    sample.Assign(Sample);
    sample.StretchFilter = sfMitchell;
    part.DrawStretched(part.BoundsRect(),
                       TRect{S.Left, S.Top, S.Left + S.Side, S.Top + S.Side * Height / Width}, sample);
    const auto feature = TFeatureExtractor::Extract(part);
    TBitmap32 drawing(part.Width(), part.Height());
    drawing.Clear(0xFF000000u | (S.Paper & 0xFFFFFF));
    TEffectSampler sampler(feature.get(), &drawing);
    sampler.SetLength(S.Length);
    sampler.SetPrecision(S.PolyStep);
    sampler.SetGain(S.Gain);
    sampler.SetWidth(S.Width);
    sampler.SetScale(1.0f);
    sampler.SetDefaultHeading(96);
    sampler.Settings.StopOnBorders = true;
    sampler.Density = S.Density;
    sampler.SetInkColor(S.Ink);
    sampler.SetColorMode(S.ColorMode);
    sampler.SetBorderLimit(S.BorderLimit);
    sampler.Execute();
    return Bitmap32AsQImage(drawing).scaled(Width, Height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage Splash() {
    TBitmap32 sample;
    const auto bytes = DemoStyle();
    TMemoryStream stream;
    stream.WriteBuffer(bytes.data(), bytes.size());
    stream.SetPosition(0);
    ReadBmp(sample, stream);

    constexpr int W = 211, H = 316, Gap = 3;
    constexpr int TileW = (W - 3 * Gap) / 2, TileH = (H - 4 * Gap) / 3;
    const TTileStyle styles[6] = {
        {0, 0, 256, 80, 25, 2.0f, 1.0f, 700, 90, cmFixedInk, 0xFF101010, qRgb(255, 255, 255)},
        {0, 0, 150, 40, 30, 1.5f, 1.0f, 900, 92, cmFixedInk, 0xFF5A3418, qRgb(252, 246, 234)},
        {150, 150, 106, 25, 30, 1.5f, 1.0f, 1200, 95, cmFixedInk, 0xFF141414, qRgb(255, 255, 255)},
        {0, 100, 150, 120, 20, 1.5f, 1.0f, 500, 90, cmFixedInk, 0xFF1B2F66, qRgb(244, 247, 252)},
        {100, 0, 156, 60, 25, 2.0f, 2.0f, 600, 88, cmFixedInk, 0xFF303030, qRgb(255, 252, 242)},
        {60, 60, 140, 90, 25, 2.5f, 1.0f, 600, 90, cmFixedInk, 0xFF6B1E1E, qRgb(252, 246, 240)},
    };
    QImage splash(W, H, QImage::Format_RGB888);
    splash.fill(qRgb(78, 73, 97));
    QPainter painter(&splash);
    RandSeed = 1;
    for (int i = 0; i < 6; ++i) {
        const int col = i % 2, row = i / 2;
        const int x = Gap + col * (TileW + Gap), y = Gap + row * (TileH + Gap);
        painter.drawImage(x, y, SketchTile(sample, styles[i], TileW, TileH));
    }
    return splash;
}

// ---------------------------------------------------------------------------------------------
// Icons

QImage NewIcon(int Side) {
    QImage image(Side, Side, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

void SetUp(QPainter& P) {
    P.setRenderHint(QPainter::Antialiasing);
}

const QColor Ink(34, 34, 40);
const QColor Accent(214, 96, 36);

QImage PointerIcon() {
    QImage image = NewIcon(32);
    QPainter p(&image);
    SetUp(p);
    QPainterPath arrow;
    arrow.moveTo(9, 4);
    arrow.lineTo(9, 26);
    arrow.lineTo(14, 21);
    arrow.lineTo(18, 29);
    arrow.lineTo(21.5, 27.5);
    arrow.lineTo(17.5, 19.5);
    arrow.lineTo(24, 19.5);
    arrow.closeSubpath();
    p.setPen(QPen(Ink, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::white);
    p.drawPath(arrow);
    return image;
}

// Hatching strokes that bend like the strokes of the auto-sketch, inside a dashed brush circle.
QImage AutoIcon() {
    QImage image = NewIcon(32);
    QPainter p(&image);
    SetUp(p);
    p.setPen(QPen(QColor(90, 90, 100), 1.2, Qt::DashLine));
    p.drawEllipse(QPointF(16, 16), 13, 13);
    p.setPen(QPen(Ink, 1.6, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 5; ++i) {
        QPainterPath stroke;
        const double y = 8 + i * 4;
        stroke.moveTo(7 + (i % 2), y + 2);
        stroke.cubicTo(12, y - 2, 19, y + 3, 25 - (i % 2), y - 1);
        p.drawPath(stroke);
    }
    p.setPen(QPen(Accent, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawPoint(QPointF(16, 16));
    return image;
}

// Three copies of one hand-drawn curl: strokes shaped after a pattern.
QImage PatternIcon() {
    QImage image = NewIcon(32);
    QPainter p(&image);
    SetUp(p);
    for (int i = 0; i < 3; ++i) {
        const double dx = 3 + i * 8, dy = 24 - i * 7;
        QPainterPath curl;
        curl.moveTo(dx, dy);
        curl.cubicTo(dx + 4, dy - 12, dx + 12, dy - 6, dx + 8, dy - 2);
        curl.cubicTo(dx + 5, dy + 1, dx + 4, dy - 5, dx + 10, dy - 7);
        p.setPen(QPen(i == 1 ? Accent : Ink, 1.8, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(curl);
    }
    return image;
}

// A band drawn by hand, filled with strokes across it.
QImage FreeHandIcon() {
    QImage image = NewIcon(32);
    QPainter p(&image);
    SetUp(p);
    QPainterPath spine;
    spine.moveTo(4, 25);
    spine.cubicTo(10, 4, 20, 30, 28, 7);
    p.setPen(QPen(QColor(150, 150, 160), 9, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(spine);
    p.setPen(QPen(Qt::white, 6.5, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(spine);
    p.setPen(QPen(Ink, 1.3, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i <= 12; ++i) {
        const double t = i / 12.0;
        const QPointF c = spine.pointAtPercent(t);
        const double a = (spine.angleAtPercent(t) + 90) * M_PI / 180;
        const QPointF d(3 * std::cos(a), -3 * std::sin(a));
        p.drawLine(c - d, c + d);
    }
    return image;
}

QImage HelpIcon() {
    QImage image = NewIcon(32);
    QPainter p(&image);
    SetUp(p);
    p.setPen(QPen(Ink, 1.4));
    p.setBrush(QColor(255, 251, 240));
    p.drawEllipse(QPointF(19, 13), 10, 10);
    QFont font("DejaVu Sans", 13, QFont::Bold);
    p.setFont(font);
    p.setPen(Accent);
    p.drawText(QRectF(9, 3, 20, 20), Qt::AlignCenter, "?");
    QPainterPath arrow;
    arrow.moveTo(4, 17);
    arrow.lineTo(4, 30);
    arrow.lineTo(7, 27);
    arrow.lineTo(9.5, 31);
    arrow.lineTo(11.5, 30);
    arrow.lineTo(9, 26);
    arrow.lineTo(12.5, 26);
    arrow.closeSubpath();
    p.setPen(QPen(Ink, 1.1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::white);
    p.drawPath(arrow);
    return image;
}

QImage NewGlyph() {
    QImage image = NewIcon(16);
    QPainter p(&image);
    SetUp(p);
    p.setPen(QPen(Ink, 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(2.5, 1.5, 9, 12));
    p.setPen(QPen(QColor(30, 130, 50), 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(12, 8), QPointF(12, 15));
    p.drawLine(QPointF(8.5, 11.5), QPointF(15.5, 11.5));
    return image;
}

QImage EditGlyph() {
    QImage image = NewIcon(16);
    QPainter p(&image);
    SetUp(p);
    QPainterPath pencil;
    pencil.moveTo(2, 14);
    pencil.lineTo(3, 10);
    pencil.lineTo(11, 2);
    pencil.lineTo(14, 5);
    pencil.lineTo(6, 13);
    pencil.closeSubpath();
    p.setPen(QPen(Ink, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(240, 190, 60));
    p.drawPath(pencil);
    p.drawLine(QPointF(3, 10), QPointF(6, 13));
    return image;
}

QImage DeleteGlyph() {
    QImage image = NewIcon(16);
    QPainter p(&image);
    SetUp(p);
    p.setPen(QPen(QColor(190, 40, 40), 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 4), QPointF(12, 12));
    p.drawLine(QPointF(12, 4), QPointF(4, 12));
    return image;
}

QImage HandlePicture() {
    QImage image = NewIcon(7);
    QPainter p(&image);
    p.setPen(QColor(20, 20, 20));
    p.setBrush(QColor(255, 255, 255, 220));
    p.drawRect(0, 0, 6, 6);
    p.fillRect(2, 2, 3, 3, QColor(214, 96, 36));
    return image;
}

// The eyedropper, its tip at the bottom left.
QImage DropEye() {
    QImage image = NewIcon(32);
    QPainter p(&image);
    SetUp(p);
    p.translate(1, 30);
    p.rotate(-45);
    p.setPen(QPen(Qt::white, 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath body;
    body.moveTo(0, 0);
    body.lineTo(5, -2);
    body.lineTo(22, -2);
    body.lineTo(22, 2);
    body.lineTo(5, 2);
    body.closeSubpath();
    p.drawPath(body);
    p.drawRoundedRect(QRectF(22, -4.5, 14, 9), 3, 3);
    p.setPen(QPen(Qt::black, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(220, 232, 245));
    p.drawPath(body);
    p.setBrush(QColor(40, 40, 48));
    p.drawRoundedRect(QRectF(22, -4.5, 14, 9), 3, 3);
    return image;
}

QImage WindowIcon() {
    QImage small = AutoIcon();
    QImage image = NewIcon(64);
    QPainter p(&image);
    SetUp(p);
    p.setPen(QPen(QColor(78, 73, 97), 2));
    p.setBrush(QColor(255, 252, 242));
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRectF(4, 4, 56, 56), small);
    return image;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc > 1) {
        Folder = argv[1];
        if (!Folder.empty() && Folder.back() != '/') Folder += '/';
    }
    bool ok = Save(Background(), "background.bmp") && Save(Splash(), "splash.bmp") &&
              Save(PointerIcon(), "tool-pointer.png") && Save(AutoIcon(), "tool-auto.png") &&
              Save(PatternIcon(), "tool-pattern.png") && Save(FreeHandIcon(), "tool-freehand.png") &&
              Save(HelpIcon(), "tool-help.png") && Save(NewGlyph(), "glyph-new.png") &&
              Save(EditGlyph(), "glyph-edit.png") && Save(DeleteGlyph(), "glyph-delete.png") &&
              Save(HandlePicture(), "handle.png") && Save(DropEye(), "dropeye.png") &&
              Save(WindowIcon(), "quorvelle.png");
    return ok ? 0 : 1;
}
