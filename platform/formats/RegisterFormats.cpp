// SPDX-License-Identifier: GPL-3.0-or-later
// The formats the program reads, registered in the order the open dialog lists them, and those
// it writes, in the order the save dialog lists them.
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

#include <initializer_list>

namespace {

// The quality (1..100) of every JPEG picture saved.
constexpr int SavedJpegQuality = 90;

void Register(std::initializer_list<const char*> Extensions, const char* Description,
              void (*Read)(TBitmap32&, TStream&)) {
    for (const char* e : Extensions)
        RegisterPictureFormat(e, Description, Read);
}

// A format read by ImageMagick's coder Magick.
void RegisterMagick(std::initializer_list<const char*> Extensions, const char* Description,
                    std::string Magick, std::string Format) {
    for (const char* e : Extensions)
        RegisterPictureFormat(e, Description, [Magick, Format](TBitmap32& B, TStream& S) {
            ReadWithMagick(B, S, Magick, Format);
        });
}

} // namespace

void RegisterPictureFormats() {
    Register({"bmp", "dib"}, "Windows bitmap",
             [](TBitmap32& B, TStream& S) { ReadBmp(B, S, PictureReadLimit()); });
    Register({"jpg", "jpeg", "jpe", "jfif"}, "JPEG picture", ReadJpeg);
    Register({"tif", "tiff"}, "TIFF picture", ReadTiff);
    Register({"png"}, "PNG picture", ReadPng);
    RegisterMagick({"psd", "pdd"}, "Photoshop picture", "PSD", "Photoshop");
    Register({"psp", "pspimage"}, "Paint Shop Pro picture", ReadPaintShopPro);
    RegisterMagick({"tga", "vda", "icb", "vst"}, "Targa picture", "TGA", "Targa");
    RegisterMagick({"pcx", "pcc", "dcx"}, "PCX picture", "PCX", "PCX");
    RegisterMagick({"sgi", "rgb", "rgba", "bw"}, "SGI picture", "SGI", "SGI");
    RegisterMagick({"pcd"}, "Kodak Photo CD picture", "PCD", "Photo CD");
    RegisterMagick({"ppm"}, "Portable pixmap", "PPM", "PPM");
    RegisterMagick({"pgm"}, "Portable graymap", "PGM", "PGM");
    RegisterMagick({"pbm"}, "Portable bitmap", "PBM", "PBM");
    RegisterMagick({"pnm"}, "Portable anymap", "PNM", "PNM");
    RegisterMagick({"cut"}, "Dr. Halo picture", "CUT", "CUT");
    Register({"rla", "rpf"}, "Wavefront RLA picture", ReadWavefrontRla);
    Register({"cel", "pic"}, "Autodesk Animator cel", ReadAutodeskCel);
    Register({"eps", "epsf"}, "EPS with TIFF preview", ReadEpsPreview);
    RegisterMagick({"ico"}, "Windows icon", "ICO", "icon");
    RegisterMagick({"cur"}, "Windows cursor", "CUR", "cursor");
    RegisterMagick({"wmf"}, "Windows metafile", "WMF", "Windows metafile");

    // Only TIFF keeps the resolution.
    RegisterPictureWriter("JPEG", {"jpg", "jpeg"}, [](const TBitmap32& Picture, TStream& Stream, double) {
        WriteJpeg(Picture, Stream, SavedJpegQuality);
    });
    RegisterPictureWriter(
        "BMP", {"bmp"}, [](const TBitmap32& Picture, TStream& Stream, double) { WriteBmp(Picture, Stream); });
    RegisterPictureWriter("TIFF", {"tif", "tiff"}, TMultiPageTiff::SaveBitmap);

    SetPictureFileReader(
        [](TBitmap32& Dest, const std::string& FileName) { LoadPictureFile(Dest, FileName); });
}
