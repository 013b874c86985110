// SPDX-License-Identifier: GPL-3.0-or-later
// The formats the program reads and writes, in the order both dialogs list them.
#include "platform/formats/AutodeskCelReader.h"
#include "platform/formats/EpsPreviewReader.h"
#include "platform/formats/JpegCodec.h"
#include "platform/formats/MagickReader.h"
#include "platform/formats/PaintShopProReader.h"
#include "platform/formats/PictureFormats.h"
#include "platform/formats/PngReader.h"
#include "platform/formats/TiffReader.h"
#include "platform/formats/UMultiPageTiff.h"
#include "platform/formats/WavefrontRlaReader.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/BmpCodec.h"

#include <string>
#include <utility>
#include <vector>

namespace {

// The quality (1..100) of every JPEG picture saved.
constexpr int SavedJpegQuality = 90;

// A format that ImageMagick's coder Coder reads; its messages call it Name.
TPictureFormat Magick(std::string Name, std::string Description, std::vector<std::string> Extensions,
                      std::string Coder) {
    TPictureReader reader = [Coder, Name](TBitmap32& B, TStream& S) { ReadWithMagick(B, S, Coder, Name); };
    return TPictureFormat{
        std::move(Name), std::move(Description), std::move(Extensions), {}, std::move(reader), {}};
}

} // namespace

void RegisterPictureFormats() {
    // Only TIFF keeps the resolution.
    const TPictureFormat formats[] = {
        {"JPEG",
         "JPEG picture",
         {"jpg", "jpeg"},
         {"jpe", "jfif"},
         ReadJpeg,
         [](const TBitmap32& Picture, TStream& Stream, double) {
             WriteJpeg(Picture, Stream, SavedJpegQuality);
         }},
        {"BMP",
         "Windows bitmap",
         {"bmp"},
         {"dib"},
         [](TBitmap32& B, TStream& S) { ReadBmp(B, S, PictureReadLimit()); },
         [](const TBitmap32& Picture, TStream& Stream, double) { WriteBmp(Picture, Stream); }},
        {"TIFF", "TIFF picture", {"tif", "tiff"}, {}, ReadTiff, TMultiPageTiff::SaveBitmap},
        {"PNG", "PNG picture", {"png"}, {}, ReadPng, {}},
        Magick("Photoshop", "Photoshop picture", {"psd", "pdd"}, "PSD"),
        {"Paint Shop Pro", "Paint Shop Pro picture", {"psp", "pspimage"}, {}, ReadPaintShopPro, {}},
        Magick("Targa", "Targa picture", {"tga", "vda", "icb", "vst"}, "TGA"),
        Magick("PCX", "PCX picture", {"pcx", "pcc", "dcx"}, "PCX"),
        Magick("SGI", "SGI picture", {"sgi", "rgb", "rgba", "bw"}, "SGI"),
        Magick("Photo CD", "Kodak Photo CD picture", {"pcd"}, "PCD"),
        Magick("PPM", "Portable pixmap", {"ppm"}, "PPM"),
        Magick("PGM", "Portable graymap", {"pgm"}, "PGM"),
        Magick("PBM", "Portable bitmap", {"pbm"}, "PBM"),
        Magick("PNM", "Portable anymap", {"pnm"}, "PNM"),
        Magick("CUT", "Dr. Halo picture", {"cut"}, "CUT"),
        {"RLA", "Wavefront RLA picture", {"rla", "rpf"}, {}, ReadWavefrontRla, {}},
        {"Autodesk cel", "Autodesk Animator cel", {"cel", "pic"}, {}, ReadAutodeskCel, {}},
        {"EPS", "EPS with TIFF preview", {"eps", "epsf"}, {}, ReadEpsPreview, {}},
        Magick("icon", "Windows icon", {"ico"}, "ICO"),
        Magick("cursor", "Windows cursor", {"cur"}, "CUR"),
        Magick("Windows metafile", "Windows metafile", {"wmf"}, "WMF"),
    };
    for (const TPictureFormat& f : formats)
        RegisterPictureFormat(f);

    SetPictureFileReader(
        [](TBitmap32& Dest, const std::string& FileName) { LoadPictureFile(Dest, FileName); });
}
