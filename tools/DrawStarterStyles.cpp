// SPDX-License-Identifier: GPL-3.0-or-later
// Draws a photo in every starter style, as a user would with the Auto-sketch tool on a newly
// opened photo: the style chosen in the list, the panel's starting brush (size 50, density 10)
// and colours from the photo, and the same fixed set of sprays over the whole picture for every
// style. Each drawing is written as a PNG, and one sheet per photo shows the photo and its
// drawings side by side, to look at while tuning tools/MakePresets.cpp.
//
//   draw_starter_styles [-p PRESET_FOLDER] [-o OUTPUT_FOLDER] PHOTO...
//
// The presets default to the repository's resources/presets, the output folder to the current
// one. Every style starts from the same random seed, as the program does at start.
#include "document/DualImage.h"
#include "engine/QTypes.h"
#include "platform/formats/PictureFormats.h"
#include "platform/qt/Bitmap32Image.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/Image32.h"
#include "platform/rtl/Random.h"
#include "platform/system/ApplicationFolder.h"
#include "presets/StyleParameters.h"
#include "presets/Styles.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

// The brush and density boxes of the panel as the program starts.
constexpr int BrushSize = 50;
constexpr int Density = 10;

// What the program sets on a new drawing when the style is chosen in the list.
void ApplyStyle(TDualImage& Drawing, const TQStyle& Style) {
    for (const TStyleParameter p : AllStyleParameters)
        Drawing.SetStyleValue(p, StyleValue(Style, p));
    Drawing.StopOnBorders = Style.StopOnBorders;
}

// Drags the brush across the picture in rows one brush radius apart, one gesture per row, with a
// dab every radius along the row: every point of the picture lies under a few dabs.
void SprayEverywhere(TDualImage& Drawing, int Width, int Height) {
    for (int y = 0, row = 0; y < Height + BrushSize / 2; y += BrushSize, ++row) {
        Drawing.BeginChange();
        for (int i = 0; i * BrushSize < Width + BrushSize / 2; ++i) {
            const int x = row % 2 == 0 ? i * BrushSize : Width - 1 - i * BrushSize;
            Drawing.SprayAt(std::clamp(x, 0, Width - 1), std::min(y, Height - 1));
        }
        Drawing.EndChange();
    }
}

std::string Slug(const std::string& Name) {
    std::string slug;
    for (const char c : Name)
        if (std::isalnum(static_cast<unsigned char>(c)))
            slug += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        else if (!slug.empty() && slug.back() != '-')
            slug += '-';
    while (!slug.empty() && slug.back() == '-')
        slug.pop_back();
    return slug;
}

void Save(const QImage& Image, const std::string& FileName) {
    if (!Image.save(QString::fromStdString(FileName))) throw std::runtime_error("cannot write " + FileName);
    std::printf("%s\n", FileName.c_str());
}

// The photo and its drawings at half size, three to a row.
QImage Sheet(const std::vector<QImage>& Pictures) {
    const int w = Pictures.front().width() / 2, h = Pictures.front().height() / 2, gap = 8;
    const int columns = 3, rows = (static_cast<int>(Pictures.size()) + columns - 1) / columns;
    QImage sheet(columns * (w + gap) + gap, rows * (h + gap) + gap, QImage::Format_RGB32);
    sheet.fill(Qt::darkGray);
    QPainter painter(&sheet);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (size_t i = 0; i < Pictures.size(); ++i) {
        const int c = static_cast<int>(i) % columns, r = static_cast<int>(i) / columns;
        painter.drawImage(QRect(gap + c * (w + gap), gap + r * (h + gap), w, h), Pictures[i]);
    }
    return sheet;
}

void DrawPhoto(const std::string& Photo, const std::vector<std::unique_ptr<TQStyle>>& Styles,
               const std::string& Output) {
    TImgView32 source, drawing;
    source.Bitmap.LoadFromFile(Photo);
    const int w = source.Bitmap.Width(), h = source.Bitmap.Height();
    drawing.Bitmap.SetSize(w, h);
    drawing.Bitmap.Clear(clWhite32);
    source.SetViewportSize(w, h);
    drawing.SetViewportSize(w, h);
    TDualImage document(&source, &drawing, 1.0f, nullptr, nullptr, nullptr);
    document.SetAutoMode(true);
    document.SetColorMode(cmSampledColor);
    document.SetSize(BrushSize);
    document.SetDensity(Density);

    const std::string stem = std::filesystem::path(Photo).stem().string();
    std::vector<QImage> pictures{Bitmap32AsQImage(std::as_const(source.Bitmap)).copy()};
    for (size_t i = 0; i < Styles.size(); ++i) {
        drawing.Bitmap.Clear(clWhite32);
        ApplyStyle(document, *Styles[i]);
        RandSeed = 0;
        SprayEverywhere(document, w, h);
        std::printf("%s, %s: %d strokes\n", stem.c_str(), Styles[i]->Name.c_str(), document.StrokeCount());
        pictures.push_back(Bitmap32AsQImage(std::as_const(drawing.Bitmap)).copy());
        Save(pictures.back(), Output + stem + "-" + std::to_string(i) + "-" + Slug(Styles[i]->Name) + ".png");
        while (document.CanUndo())
            document.Undo();
    }
    Save(Sheet(pictures), Output + stem + "-styles.png");
}

} // namespace

int main(int argc, char** argv) {
    std::string presets = QUOR_SOURCE_DIR "/resources/presets/";
    std::string output = "./";
    std::vector<std::string> photos;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "-p" || arg == "-o") && i + 1 < argc)
            (arg == "-p" ? presets : output) = argv[++i];
        else
            photos.push_back(arg);
    }
    if (photos.empty()) {
        std::fprintf(stderr, "usage: draw_starter_styles [-p PRESET_FOLDER] [-o OUTPUT_FOLDER] PHOTO...\n");
        return 2;
    }
    if (presets.back() != '/') presets += '/';
    if (output.back() != '/') output += '/';
    try {
        RegisterPictureFormats();
        std::filesystem::create_directories(output);
        // The styles load as the program loads them: every "*.gst" of the folder, in its order.
        SetApplicationFolder(presets);
        TStyleManager styles;
        if (styles.Count() == 0) throw std::runtime_error("no style in " + presets);
        for (const std::string& photo : photos)
            DrawPhoto(photo, styles.Styles, output);
    } catch (const std::exception& E) {
        std::fprintf(stderr, "draw_starter_styles: %s\n", E.what());
        return 1;
    }
    return 0;
}
