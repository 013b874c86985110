// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/formats/UMultiPageTiff.h"

#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <cstdarg>
#include <cstdio>
#include <exception>
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

// libtiff writes through our file stream, so that its writes are checked like every other;
// what the stream raises is kept for the writer to raise again once libtiff has returned.
struct TTiffStream {
    TStream* Stream;
    std::exception_ptr Failure;
};

tmsize_t StreamRead(thandle_t H, void* Buffer, tmsize_t Count) {
    auto* s = static_cast<TTiffStream*>(H);
    try {
        return Count <= 0 ? 0 : static_cast<tmsize_t>(s->Stream->Read(Buffer, static_cast<size_t>(Count)));
    } catch (...) {
        if (!s->Failure) s->Failure = std::current_exception();
        return -1;
    }
}

tmsize_t StreamWrite(thandle_t H, void* Buffer, tmsize_t Count) {
    auto* s = static_cast<TTiffStream*>(H);
    try {
        if (Count > 0) s->Stream->WriteBuffer(Buffer, static_cast<size_t>(Count));
        return Count;
    } catch (...) {
        if (!s->Failure) s->Failure = std::current_exception();
        return -1;
    }
}

toff_t StreamSeek(thandle_t H, toff_t Offset, int Whence) {
    auto* s = static_cast<TTiffStream*>(H);
    const TSeekOrigin origin = Whence == SEEK_SET   ? TSeekOrigin::soBeginning
                               : Whence == SEEK_CUR ? TSeekOrigin::soCurrent
                                                    : TSeekOrigin::soEnd;
    try {
        const int64_t position = s->Stream->Seek(static_cast<int64_t>(Offset), origin);
        return position < 0 ? static_cast<toff_t>(-1) : static_cast<toff_t>(position);
    } catch (...) {
        if (!s->Failure) s->Failure = std::current_exception();
        return static_cast<toff_t>(-1);
    }
}

// The stream is closed, checked, by the writer after libtiff is done with it.
int StreamClose(thandle_t) {
    return 0;
}

toff_t StreamSize(thandle_t H) {
    auto* s = static_cast<TTiffStream*>(H);
    try {
        return static_cast<toff_t>(s->Stream->Size());
    } catch (...) {
        if (!s->Failure) s->Failure = std::current_exception();
        return 0;
    }
}

int StreamMap(thandle_t, void**, toff_t*) {
    return 0;
}

void StreamUnmap(thandle_t, void*, toff_t) {}

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

void TMultiPageTiff::SaveBitmap(const TBitmap32& Bitmap, TStream& Stream, double Resolution) {
    TMultiPageTiff writer;
    writer.SetResolution(Resolution);
    writer.WriteFile(Bitmap, Stream);
}

void TMultiPageTiff::WriteFile(const TBitmap32& Bitmap, TStream& Stream) {
    FError.clear();
    // The strip is made before libtiff is given the stream below: from the open to the close
    // nothing here may raise, or libtiff's handle would outlive the stream it writes through.
    TTiffBuff buff(Bitmap);
    TTiffStream stream{&Stream, nullptr};
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, &FError);
    TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, nullptr);
    FHandle = TIFFClientOpenExt("TIFF picture", "w", &stream, StreamRead, StreamWrite, StreamSeek,
                                StreamClose, StreamSize, StreamMap, StreamUnmap, options);
    TIFFOpenOptionsFree(options);
    if (FHandle == nullptr) {
        if (stream.Failure) std::rethrow_exception(stream.Failure);
        RaiseException("TIFF encoding failed: " +
                       (FError.empty() ? std::string("libtiff cannot start") : FError));
    }

    WritePage(buff);
    // Closing writes the directory: only then is the file complete.
    const int closed = TIFFFlush(FHandle);
    TIFFClose(FHandle);
    FHandle = nullptr;
    // The stream's own message names the file and the reason.
    if (stream.Failure) std::rethrow_exception(stream.Failure);
    if (closed != 1 || !FError.empty())
        RaiseException("TIFF encoding failed: " +
                       (FError.empty() ? std::string("the file could not be completed") : FError));
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
    // A write that fails is remembered through the error handler and raised by WriteFile.
    if (TIFFWriteEncodedStrip(FHandle, 0, Buff.Buffer(), Buff.Size()) < 0 && FError.empty())
        FError = "the picture data could not be written";
    if (TIFFFlush(FHandle) != 1 && FError.empty()) FError = "the file could not be completed";
}
