// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/formats/PngReader.h"

#include "platform/formats/PictureFormats.h"
#include "platform/formats/PictureOrientation.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include <png.h>

// libpng reports a fatal error by jumping back to the setjmp of the call in progress; nothing
// with a destructor lives between that point and the calls that may jump.

namespace {

struct TPngJob {
    const unsigned char* Data;
    size_t Size;
    size_t Position;
    TBitmap32* Dest;
    std::vector<png_bytep>* Rows;
    std::exception_ptr Failure; // an Exception of ours raised between libpng calls
    char Message[256];
    int Orientation; // of the eXIf chunk, 0 without one
};

void OnError(png_structp Png, png_const_charp Message) {
    auto* job = static_cast<TPngJob*>(png_get_error_ptr(Png));
    std::snprintf(job->Message, sizeof job->Message, "%s", Message);
    png_longjmp(Png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void ReadData(png_structp Png, png_bytep Out, size_t Count) {
    auto* job = static_cast<TPngJob*>(png_get_io_ptr(Png));
    if (Count > job->Size - job->Position) png_error(Png, "the file is truncated");
    std::memcpy(Out, job->Data + job->Position, Count);
    job->Position += Count;
}

enum class TResult { Ok, PngError, OurError };

TResult Decode(png_structp Png, png_infop Info, TPngJob& Job) {
    if (setjmp(png_jmpbuf(Png))) return TResult::PngError;
    png_set_read_fn(Png, &Job, ReadData);
    png_read_info(Png, Info);
    const png_uint_32 w = png_get_image_width(Png, Info);
    const png_uint_32 h = png_get_image_height(Png, Info);
    try {
        CheckPictureSize(w, h, "PNG");
    } catch (...) {
        Job.Failure = std::current_exception();
        return TResult::OurError;
    }

    // Whatever the colour type and depth: 8-bit samples, four to a pixel, alpha $FF where the
    // file has none, in the byte order of a $AARRGGBB word.
    const int colorType = png_get_color_type(Png, Info);
    png_set_expand(Png);
    png_set_scale_16(Png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(Png);
    const bool little = std::endian::native == std::endian::little;
    if (little) {
        png_set_bgr(Png);
        png_set_filler(Png, 0xFF, PNG_FILLER_AFTER);
    } else {
        png_set_swap_alpha(Png);
        png_set_filler(Png, 0xFF, PNG_FILLER_BEFORE);
    }
    png_set_interlace_handling(Png);
    png_read_update_info(Png, Info);
    if (png_get_rowbytes(Png, Info) != size_t{w} * 4) png_error(Png, "unexpected row layout");

    try {
        Job.Dest->SetSize(static_cast<int>(w), static_cast<int>(h));
        Job.Rows->resize(h);
    } catch (...) {
        Job.Failure = std::current_exception();
        return TResult::OurError;
    }
    for (png_uint_32 y = 0; y < h; ++y)
        (*Job.Rows)[y] = reinterpret_cast<png_bytep>(Job.Dest->ScanLine(static_cast<int>(y)));
    png_read_image(Png, Job.Rows->data());
    png_read_end(Png, Info); // an eXIf chunk may follow the picture data
    png_uint_32 exifSize = 0;
    png_bytep exif = nullptr;
    if (png_get_eXIf_1(Png, Info, &exifSize, &exif) != 0) Job.Orientation = ExifOrientation(exif, exifSize);
    return TResult::Ok;
}

} // namespace

void ReadPng(TBitmap32& Dest, TStream& Stream) {
    const std::vector<unsigned char> data = ReadToEnd(Stream);
    if (data.size() < 8 || png_sig_cmp(data.data(), 0, 8) != 0)
        RaiseException("Not a PNG file: the signature is missing");

    std::vector<png_bytep> rows;
    TPngJob job{data.data(), data.size(), 0, &Dest, &rows, nullptr, {}, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, OnError, OnWarning);
    if (!png) RaiseException("PNG reader could not start");
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        RaiseException("PNG reader could not start");
    }
    const TResult result = Decode(png, info, job);
    png_destroy_read_struct(&png, &info, nullptr);
    switch (result) {
    case TResult::Ok:
        ApplyOrientation(Dest, job.Orientation);
        return;
    case TResult::OurError:
        std::rethrow_exception(job.Failure);
    case TResult::PngError:
        RaiseDamaged("PNG", job.Message);
    }
}
