#include "document/UMultiPageTiff.h"

#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"

#include <cstdarg>
#include <cstdio>
#include <limits>

namespace {

int OnError(TIFF*, void* User, const char*, const char* Format, va_list Args) {
    auto* error = static_cast<std::string*>(User);
    if (error->empty()) {
        char text[512];
        std::vsnprintf(text, sizeof text, Format, Args);
        *error = text;
    }
    return 1;
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TTiffBuff

TTiffBuff::TTiffBuff(const TBitmap32& Bitmap) {
    Fill(Bitmap);
}

void TTiffBuff::Fill(const TBitmap32& Bitmap) {
    FWidth = Bitmap.Width();
    FHeight = Bitmap.Height();
    const int64_t size = int64_t{FHeight} * (int64_t{FWidth} * 3);
    if (size > std::numeric_limits<int32_t>::max())
        RaiseException("The picture is too large for one TIFF strip");
    FSize = static_cast<int32_t>(size);
    FBuffer.assign(static_cast<size_t>(FSize), 0);
    unsigned char* p = FBuffer.data();
    for (int y = 0; y < FHeight; ++y, p += static_cast<size_t>(FWidth) * 3)
        ConvertRow(Bitmap, y, p);
}

void TTiffBuff::ConvertRow(const TBitmap32& Bitmap, int Y, unsigned char* Dest) const {
    const TColor32* s = Bitmap.ScanLine(Y);
    for (int x = 0; x < FWidth; ++x) {
        *Dest++ = RedComponent(s[x]);
        *Dest++ = GreenComponent(s[x]);
        *Dest++ = BlueComponent(s[x]);
    }
}

// ---------------------------------------------------------------------------------------------
// TMultiPageTiff

TMultiPageTiff::~TMultiPageTiff() {
    Close();
}

void TMultiPageTiff::Close() {
    if (FHandle != nullptr) TIFFClose(FHandle);
    FHandle = nullptr;
}

void TMultiPageTiff::SaveBitmap(const TBitmap32& Bitmap, const std::string& FileName, double Resolution) {
    TMultiPageTiff writer;
    writer.SetResolution(Resolution);
    writer.WriteFile(Bitmap, FileName);
}

void TMultiPageTiff::WriteFile(const TBitmap32& Bitmap, const std::string& FileName) {
    FError.clear();
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, &FError);
    TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, nullptr);
    FHandle = TIFFOpenExt(FileName.c_str(), "w", options);
    TIFFOpenOptionsFree(options);
    if (FHandle == nullptr) RaiseException("Could not open " + FileName + " for writing");

    {
        TTiffBuff buff(Bitmap);
        WritePage(buff);
    }
    // Closing writes the directory: only then is the file complete.
    const int closed = TIFFFlush(FHandle);
    TIFFClose(FHandle);
    FHandle = nullptr;
    if (closed != 1 || !FError.empty())
        RaiseException("Could not write " + FileName + (FError.empty() ? std::string() : ": " + FError));
}

void TMultiPageTiff::WritePage(TTiffBuff& Buff) {
    TIFFCreateDirectory(FHandle);
    TIFFSetField(FHandle, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(Buff.Width()));
    TIFFSetField(FHandle, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(Buff.Height()));
    TIFFSetField(FHandle, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(FHandle, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(FHandle, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(Buff.Height()));
    TIFFSetField(FHandle, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(FHandle, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(FHandle, TIFFTAG_FILLORDER, FILLORDER_LSB2MSB);
    TIFFSetField(FHandle, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(FHandle, TIFFTAG_XRESOLUTION, FResolution);
    TIFFSetField(FHandle, TIFFTAG_YRESOLUTION, FResolution);
    TIFFSetField(FHandle, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    // A write that fails is remembered through the error handler and reported by WriteFile.
    if (TIFFWriteEncodedStrip(FHandle, 0, Buff.Buffer(), Buff.Size()) < 0 && FError.empty())
        FError = "the picture data could not be written";
    if (TIFFFlush(FHandle) != 1 && FError.empty()) FError = "the file could not be completed";
}
