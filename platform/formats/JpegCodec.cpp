// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/formats/JpegCodec.h"

#include "platform/formats/PictureFormats.h"
#include "platform/formats/PictureOrientation.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>

// libjpeg reports a fatal error through error_exit, which must not return: it jumps back to
// the set-up point of the call in progress. Nothing with a destructor lives between the
// setjmp and the calls that may jump.

namespace {

// Progressive files may carry any number of scans; far more than any encoder writes only
// makes a hostile file slow to decode.
constexpr int MaxScans = 1000;

struct TErrorManager {
    jpeg_error_mgr Pub;
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
    bool Truncated;
};

void ErrorExit(j_common_ptr C) {
    auto* err = reinterpret_cast<TErrorManager*>(C->err);
    (*C->err->format_message)(C, err->Message);
    std::longjmp(err->Jump, 1);
}

void EmitMessage(j_common_ptr C, int Level) {
    auto* err = reinterpret_cast<TErrorManager*>(C->err);
    // Level -1 is a warning about corrupt data; the end of the data arriving early is the
    // one that leaves a picture incomplete.
    if (Level < 0 && C->err->msg_code == JWRN_JPEG_EOF) err->Truncated = true;
}

void OutputMessage(j_common_ptr) {}

void InitErrors(TErrorManager& E) {
    jpeg_std_error(&E.Pub);
    E.Pub.error_exit = ErrorExit;
    E.Pub.emit_message = EmitMessage;
    E.Pub.output_message = OutputMessage;
    E.Message[0] = 0;
    E.Truncated = false;
}

void LimitScans(j_common_ptr C) {
    if (C->is_decompressor) {
        auto* d = reinterpret_cast<j_decompress_ptr>(C);
        if (d->input_scan_number > MaxScans) {
            auto* err = reinterpret_cast<TErrorManager*>(C->err);
            std::snprintf(err->Message, sizeof err->Message, "more than %d scans", MaxScans);
            std::longjmp(err->Jump, 1);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Reading

struct TDecodeJob {
    const unsigned char* Data;
    size_t Size;
    TBitmap32* Dest;
    int MaxWidth;
    int MaxHeight;
    std::exception_ptr Failure; // an Exception of ours raised between libjpeg calls
    int Orientation;            // of the EXIF segment, 0 without one
};

enum class TDecodeResult { Ok, JpegError, OurError };

// Converts one CMYK row in place to $AARRGGBB. Adobe's files store the inks inverted.
void CmykRowToColor(const unsigned char* Cmyk, TColor32* Out, int Width, bool Inverted) {
    for (int x = 0; x < Width; ++x, Cmyk += 4) {
        unsigned c = Cmyk[0], m = Cmyk[1], y = Cmyk[2], k = Cmyk[3];
        if (!Inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        Out[x] = Color32(static_cast<uint8_t>((c * k + 127) / 255), static_cast<uint8_t>((m * k + 127) / 255),
                         static_cast<uint8_t>((y * k + 127) / 255));
    }
}

TDecodeResult Decode(TDecodeJob& Job, jpeg_decompress_struct& Info, TErrorManager& Err) {
    if (setjmp(Err.Jump)) return TDecodeResult::JpegError;
    jpeg_create_decompress(&Info);
    jpeg_mem_src(&Info, Job.Data, static_cast<unsigned long>(Job.Size));
    jpeg_save_markers(&Info, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(&Info, TRUE);
    for (jpeg_saved_marker_ptr m = Info.marker_list; m != nullptr && Job.Orientation == 0; m = m->next)
        if (m->data_length > 6 && std::memcmp(m->data, "Exif\0\0", 6) == 0)
            Job.Orientation = ExifOrientation(m->data, m->data_length);

    try {
        if ((Job.MaxWidth > 0 && Info.image_width > static_cast<JDIMENSION>(Job.MaxWidth)) ||
            (Job.MaxHeight > 0 && Info.image_height > static_cast<JDIMENSION>(Job.MaxHeight)))
            RaiseDamaged("JPEG", "the picture is " + std::to_string(Info.image_width) + " x " +
                                     std::to_string(Info.image_height) + " pixels, larger than the " +
                                     std::to_string(Job.MaxWidth) + " x " + std::to_string(Job.MaxHeight) +
                                     " expected");
        CheckPictureSize(Info.image_width, Info.image_height, "JPEG");
    } catch (...) {
        Job.Failure = std::current_exception();
        return TDecodeResult::OurError;
    }

    const bool cmyk = Info.jpeg_color_space == JCS_CMYK || Info.jpeg_color_space == JCS_YCCK;
    const bool direct = !cmyk && std::endian::native == std::endian::little;
    if (cmyk)
        Info.out_color_space = JCS_CMYK;
    else
        Info.out_color_space = direct ? JCS_EXT_BGRA : JCS_RGB; // BGRA bytes are $AARRGGBB words
    jpeg_start_decompress(&Info);

    try {
        Job.Dest->SetSize(static_cast<int>(Info.output_width), static_cast<int>(Info.output_height));
    } catch (...) {
        Job.Failure = std::current_exception();
        return TDecodeResult::OurError;
    }
    const int w = static_cast<int>(Info.output_width);
    // A row buffer for the forms that need converting, owned by libjpeg's memory manager.
    JSAMPARRAY row = direct
                         ? nullptr
                         : (*Info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&Info), JPOOL_IMAGE,
                                                     static_cast<JDIMENSION>(w) * Info.output_components, 1);
    while (Info.output_scanline < Info.output_height) {
        const int y = static_cast<int>(Info.output_scanline);
        TColor32* d = Job.Dest->ScanLine(y);
        if (direct) {
            JSAMPROW r = reinterpret_cast<JSAMPROW>(d);
            jpeg_read_scanlines(&Info, &r, 1);
        } else {
            jpeg_read_scanlines(&Info, row, 1);
            if (cmyk) {
                CmykRowToColor(row[0], d, w, Info.saw_Adobe_marker);
            } else {
                const unsigned char* s = row[0];
                for (int x = 0; x < w; ++x, s += 3)
                    d[x] = Color32(s[0], s[1], s[2]);
            }
        }
    }
    jpeg_finish_decompress(&Info);
    return TDecodeResult::Ok;
}

// ---------------------------------------------------------------------------------------------
// Writing

struct TStreamDestination {
    jpeg_destination_mgr Pub;
    TStream* Stream;
    std::vector<unsigned char>* Buffer;
    std::exception_ptr Failure;
};

void InitDestination(j_compress_ptr C) {
    auto* d = reinterpret_cast<TStreamDestination*>(C->dest);
    d->Pub.next_output_byte = d->Buffer->data();
    d->Pub.free_in_buffer = d->Buffer->size();
}

// Passes Count bytes of the buffer to the stream; a stream that fails ends the encoding.
void Flush(j_compress_ptr C, size_t Count) {
    auto* d = reinterpret_cast<TStreamDestination*>(C->dest);
    bool ok = true;
    try {
        d->Stream->WriteBuffer(d->Buffer->data(), Count);
    } catch (...) {
        d->Failure = std::current_exception();
        ok = false;
    }
    if (!ok) ERREXIT(C, JERR_FILE_WRITE);
}

boolean EmptyOutputBuffer(j_compress_ptr C) {
    auto* d = reinterpret_cast<TStreamDestination*>(C->dest);
    Flush(C, d->Buffer->size());
    d->Pub.next_output_byte = d->Buffer->data();
    d->Pub.free_in_buffer = d->Buffer->size();
    return TRUE;
}

void TermDestination(j_compress_ptr C) {
    auto* d = reinterpret_cast<TStreamDestination*>(C->dest);
    const size_t count = d->Buffer->size() - d->Pub.free_in_buffer;
    if (count > 0) Flush(C, count);
}

bool Encode(const TBitmap32& Source, int Quality, jpeg_compress_struct& Info, TErrorManager& Err,
            TStreamDestination& Dest, unsigned char* RgbRow) {
    if (setjmp(Err.Jump)) return false;
    jpeg_create_compress(&Info);
    Info.dest = &Dest.Pub;
    Info.image_width = static_cast<JDIMENSION>(Source.Width());
    Info.image_height = static_cast<JDIMENSION>(Source.Height());
    const bool direct = std::endian::native == std::endian::little;
    Info.input_components = direct ? 4 : 3;
    Info.in_color_space = direct ? JCS_EXT_BGRX : JCS_RGB;
    jpeg_set_defaults(&Info);
    jpeg_set_quality(&Info, Quality, TRUE);
    jpeg_start_compress(&Info, TRUE);
    while (Info.next_scanline < Info.image_height) {
        const TColor32* s = Source.ScanLine(static_cast<int>(Info.next_scanline));
        JSAMPROW row;
        if (direct) {
            row = const_cast<JSAMPROW>(reinterpret_cast<const JSAMPLE*>(s));
        } else {
            for (int x = 0; x < Source.Width(); ++x) {
                RgbRow[3 * x] = RedComponent(s[x]);
                RgbRow[3 * x + 1] = GreenComponent(s[x]);
                RgbRow[3 * x + 2] = BlueComponent(s[x]);
            }
            row = RgbRow;
        }
        jpeg_write_scanlines(&Info, &row, 1);
    }
    jpeg_finish_compress(&Info);
    return true;
}

} // namespace

void ReadJpeg(TBitmap32& Dest, TStream& Stream) {
    ReadJpegWithin(Dest, Stream, 0, 0);
}

void ReadJpegWithin(TBitmap32& Dest, TStream& Stream, int MaxWidth, int MaxHeight) {
    const std::vector<unsigned char> data = ReadToEnd(Stream);
    if (data.empty()) RaiseDamaged("JPEG", "the file is empty");
    if (data.size() < 2 || data[0] != 0xFF || data[1] != 0xD8)
        RaiseException("Not a JPEG file: the start marker is missing");

    TDecodeJob job{data.data(), data.size(), &Dest, MaxWidth, MaxHeight, nullptr, 0};
    jpeg_decompress_struct info{};
    TErrorManager err;
    InitErrors(err);
    info.err = &err.Pub;
    jpeg_progress_mgr progress{};
    progress.progress_monitor = LimitScans;
    info.progress = &progress;
    const TDecodeResult result = Decode(job, info, err);
    const bool truncated = err.Truncated;
    jpeg_destroy_decompress(&info);
    switch (result) {
    case TDecodeResult::Ok:
        if (truncated) RaiseDamaged("JPEG", "the data is truncated");
        ApplyOrientation(Dest, job.Orientation);
        break;
    case TDecodeResult::OurError:
        std::rethrow_exception(job.Failure);
    case TDecodeResult::JpegError:
        RaiseDamaged("JPEG", err.Message);
    }
}

void WriteJpeg(const TBitmap32& Source, TStream& Stream, int Quality) {
    if (Source.Empty()) RaiseException("An empty picture cannot be saved as JPEG");
    Quality = std::clamp(Quality, 1, 100);
    std::vector<unsigned char> buffer(65536);
    std::vector<unsigned char> rgbRow(static_cast<size_t>(Source.Width()) * 3);
    TStreamDestination dest{};
    dest.Pub.init_destination = InitDestination;
    dest.Pub.empty_output_buffer = EmptyOutputBuffer;
    dest.Pub.term_destination = TermDestination;
    dest.Stream = &Stream;
    dest.Buffer = &buffer;
    jpeg_compress_struct info{};
    TErrorManager err;
    InitErrors(err);
    info.err = &err.Pub;
    const bool ok = Encode(Source, Quality, info, err, dest, rgbRow.data());
    jpeg_destroy_compress(&info);
    if (ok) return;
    if (dest.Failure) std::rethrow_exception(dest.Failure);
    RaiseException(std::string("JPEG encoding failed: ") + err.Message);
}

void LoadJpegImage(TBitmap32& Dest, TStream& Stream, int32_t MaxWidth, int32_t MaxHeight) {
    // Decoded into a bitmap of its own first, so Dest stays as it was when the data is bad.
    TBitmap32 picture;
    ReadJpegWithin(picture, Stream, std::max(MaxWidth, 1), std::max(MaxHeight, 1));
    Dest.Assign(picture);
}

void SaveJpegImage(const TBitmap32& Source, TStream& Stream, uint8_t Quality) {
    WriteJpeg(Source, Stream, Quality);
}
