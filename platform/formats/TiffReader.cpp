// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/formats/TiffReader.h"

#include "platform/formats/PictureFormats.h"
#include "platform/formats/PictureOrientation.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include <tiffio.h>

namespace {

// What libtiff may allocate at once beyond a strip of pixels: a directory, a colour map.
constexpr tmsize_t TableMemory = 1 << 20;

// The bytes libtiff reads, and the first error it reports about them.
struct TMemoryFile {
    const unsigned char* Data;
    toff_t Size;
    toff_t Position;
    std::string Error;
};

tmsize_t MemRead(thandle_t H, void* Buffer, tmsize_t Count) {
    auto* f = static_cast<TMemoryFile*>(H);
    if (Count <= 0 || f->Position >= f->Size) return 0;
    const toff_t n = std::min<toff_t>(static_cast<toff_t>(Count), f->Size - f->Position);
    std::memcpy(Buffer, f->Data + f->Position, static_cast<size_t>(n));
    f->Position += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t MemWrite(thandle_t, void*, tmsize_t) {
    return 0;
}

toff_t MemSeek(thandle_t H, toff_t Offset, int Whence) {
    auto* f = static_cast<TMemoryFile*>(H);
    // The offset is unsigned but moves backwards when it stands for a negative number.
    int64_t base = 0;
    if (Whence == SEEK_CUR) base = static_cast<int64_t>(f->Position);
    if (Whence == SEEK_END) base = static_cast<int64_t>(f->Size);
    const int64_t target = base + static_cast<int64_t>(Offset);
    if (target < 0) return static_cast<toff_t>(-1);
    f->Position = static_cast<toff_t>(target);
    return f->Position;
}

int MemClose(thandle_t) {
    return 0;
}

toff_t MemSize(thandle_t H) {
    return static_cast<TMemoryFile*>(H)->Size;
}

// The bytes are in memory already: libtiff reads them in place, as from a mapped file.
int MemMap(thandle_t H, void** Base, toff_t* Size) {
    auto* f = static_cast<TMemoryFile*>(H);
    *Base = const_cast<unsigned char*>(f->Data);
    *Size = f->Size;
    return 1;
}

void MemUnmap(thandle_t, void*, toff_t) {}

int OnError(TIFF*, void* User, const char*, const char* Format, va_list Args) {
    auto* f = static_cast<TMemoryFile*>(User);
    if (f->Error.empty()) {
        char text[512];
        std::vsnprintf(text, sizeof text, Format, Args);
        f->Error = text;
    }
    return 1; // handled: nothing goes to the standard error stream
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TTiffCloser {
    void operator()(TIFF* T) const { TIFFClose(T); }
};

// The RGBA raster holds $AABBGGRR words with the colours multiplied by alpha; the bitmap
// holds $AARRGGBB with straight colours.
TColor32 FromRaster(uint32_t P) {
    const uint32_t a = TIFFGetA(P);
    uint32_t r = TIFFGetR(P), g = TIFFGetG(P), b = TIFFGetB(P);
    if (a != 255 && a != 0) {
        r = std::min<uint32_t>(255, (r * 255 + a / 2) / a);
        g = std::min<uint32_t>(255, (g * 255 + a / 2) / a);
        b = std::min<uint32_t>(255, (b * 255 + a / 2) / a);
    }
    return Color32(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b),
                   static_cast<uint8_t>(a));
}

} // namespace

void ReadTiffMemory(TBitmap32& Dest, const unsigned char* Data, size_t Size, const char* Format) {
    if (Size < 8) RaiseDamaged(Format, "the file is too short");
    if (!((Data[0] == 'I' && Data[1] == 'I') || (Data[0] == 'M' && Data[1] == 'M')))
        RaiseException(std::string("Not a ") + Format + " file: the byte-order mark is missing");

    TMemoryFile file{Data, static_cast<toff_t>(Size), 0, {}};
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, &file);
    TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, &file);
    // One strip of the largest picture the program reads, at four bytes a pixel and two bytes
    // a sample, fits, and so do the tables of the smallest picture (its directory, its colour
    // map); claims beyond that are refused without allocating.
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(PictureReadLimit()) * 8 + TableMemory);
    std::unique_ptr<TIFF, TTiffCloser> tif(TIFFClientOpenExt(
        "picture", "r", &file, MemRead, MemWrite, MemSeek, MemClose, MemSize, MemMap, MemUnmap, options));
    TIFFOpenOptionsFree(options);
    if (!tif) RaiseDamaged(Format, file.Error.empty() ? "the header cannot be read" : file.Error);
    file.Error.clear(); // what libtiff could read past is no reason to refuse the picture

    uint32_t width = 0, height = 0;
    if (!TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height))
        RaiseDamaged(Format, "the picture size is missing");
    CheckPictureSize(width, height, Format);

    char reason[1024] = {};
    if (!TIFFRGBAImageOK(tif.get(), reason))
        RaiseException(std::string("Unsupported ") + Format + " file: " + reason);

    // libtiff flips rows and columns for the orientations 1 to 4 but cannot swap them for 5 to
    // 8: it is asked for the rows as stored (an orientation asked for as the file's own is left
    // alone), and all eight are turned upright here.
    uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &orientation);
    if (orientation < ORIENTATION_TOPLEFT || orientation > ORIENTATION_LEFTBOT)
        orientation = ORIENTATION_TOPLEFT;

    Dest.SetSize(static_cast<int>(width), static_cast<int>(height));
    auto* raster = reinterpret_cast<uint32_t*>(Dest.Bits());
    if (!TIFFReadRGBAImageOriented(tif.get(), width, height, raster, orientation, 1))
        RaiseDamaged(Format, file.Error.empty() ? "the picture data cannot be decoded" : file.Error);
    const size_t count = size_t{width} * height;
    for (size_t i = 0; i < count; ++i)
        raster[i] = FromRaster(raster[i]);
    ApplyOrientation(Dest, orientation);
}

void ReadTiff(TBitmap32& Dest, TStream& Stream) {
    const std::vector<unsigned char> data = ReadToEnd(Stream);
    ReadTiffMemory(Dest, data.data(), data.size());
}
