// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures come out of the registry as the user sees them: upright, and over white paper.
#include "platform/formats/PictureFormats.h"
#include "platform/raster/BmpCodec.h"

#include "FormatTestSupport.h"

#include <cmath>
#include <filesystem>

namespace {

TBitmap32 Load(const std::string& Name) {
    RegisterPictureFormats();
    TBitmap32 b;
    LoadPictureFile(b, Fixture(Name));
    return b;
}

// Colour C of alpha A laid over white, rounded to the nearest.
TColor32 OverWhite(TColor32 C, int A) {
    auto over = [&](uint8_t c) {
        return static_cast<uint8_t>(std::lround((c * A + 255.0 * (255 - A)) / 255));
    };
    return Color32(over(RedComponent(C)), over(GreenComponent(C)), over(BlueComponent(C)));
}

// The card with alpha 17 x: transparent in the left column, opaque in the right one.
TColor32 CutOut(int X, int Y) {
    return OverWhite(CardPixel(X, Y), 17 * X);
}
TColor32 HalfCard(int X, int Y) {
    return OverWhite(CardPixel(X, Y), 128);
}

} // namespace

TEST(PicturesAsSeen, JpegOfEveryCameraOrientationOpensUpright) {
    // Stored mirrored, turned or transposed, each with its EXIF Orientation; a wrong turn gives
    // another size or a mean error of dozens.
    for (int o = 1; o <= 8; ++o) {
        const TBitmap32 b = Load("card-orient" + std::to_string(o) + ".jpg");
        EXPECT_TRUE(PixelsMatch(
            b, [](int, int) { return 0xFF000000u; }, 255))
            << o;
        EXPECT_LT(MeanError(b, CardPixel), 4.0) << o;
    }
}

TEST(PicturesAsSeen, TiffPngAndPhotoshopOpenUpright) {
    // TIFF's own tag (transposed across the other diagonal, which libtiff leaves alone), PNG's
    // eXIf chunk, and the EXIF resource of a Photoshop file.
    for (const char* name : {"card-orient7.tif", "card-orient6.png", "card-orient8.psd"})
        EXPECT_TRUE(PixelsMatch(Load(name), CardPixel)) << name;
}

TEST(PicturesAsSeen, TransparentPixelsLieOverWhitePaper) {
    EXPECT_TRUE(PixelsMatch(Load("card-cutout.png"), CutOut));
    EXPECT_TRUE(PixelsMatch(Load("card-matte.rla"), CutOut));
    // Half opacity; libtiff hands the colours multiplied by alpha, which costs a rounding.
    EXPECT_TRUE(PixelsMatch(Load("card-alpha.png"), HalfCard, 1));
    EXPECT_TRUE(PixelsMatch(Load("card-alpha.tif"), HalfCard, 1));
    EXPECT_TRUE(PixelsMatch(Load("card-alpha.tga"), HalfCard, 1));
}

TEST(PicturesAsSeen, BmpAlphaIsLaidOverWhiteWhileTheCodecKeepsItExact) {
    RegisterPictureFormats();
    const std::string path = (std::filesystem::temp_directory_path() / "quor-formats-alpha.bmp").string();
    TBitmap32 card(16, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            card.SetPixel(x, y, (CardPixel(x, y) & 0xFFFFFF) | uint32_t(17 * x) << 24);
    card.SaveToFile(path);
    TBitmap32 b;
    LoadPictureFile(b, path);
    EXPECT_TRUE(PixelsMatch(b, CutOut));
    TFileStream file(path, TFileMode::fmOpenRead);
    ReadBmp(b, file);
    EXPECT_TRUE(PixelsMatch(b, [&](int x, int y) { return card.Pixel(x, y); }));

    // Alpha zero everywhere is a byte the writer left unset: the picture is opaque as it is.
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            card.SetPixel(x, y, CardPixel(x, y) & 0xFFFFFF);
    card.SaveToFile(path);
    LoadPictureFile(b, path);
    EXPECT_TRUE(PixelsMatch(b, CardPixel));
    std::filesystem::remove(path);
}
