// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/formats/PictureFormats.h"

#include "platform/raster/Bitmap32.h"
#include "platform/raster/Color32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <mutex>

namespace {

std::mutex gMutex;
std::vector<TPictureFormat> gFormats;
std::atomic<int64_t> gReadLimit{MaxBitmapPixels};

std::string Normalized(const std::string& Extension) {
    std::string e = Extension;
    if (!e.empty() && e.front() == '.') e.erase(0, 1);
    std::transform(e.begin(), e.end(), e.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return e;
}

bool Holds(const std::vector<std::string>& Extensions, const std::string& Extension) {
    return std::find(Extensions.begin(), Extensions.end(), Extension) != Extensions.end();
}

bool HasExtension(const TPictureFormat& Format, const std::string& Extension) {
    return Holds(Format.Extensions, Extension) || Holds(Format.ReadOnlyExtensions, Extension);
}

// What the user sees of a picture with transparency: its pixels laid over white paper, each
// channel c of alpha a becoming (c a + 255 (255 - a)) / 255 rounded to the nearest integer
// (BlendChannels). A picture whose alpha is zero everywhere has the byte unset, not a blank
// picture: it is opaque as it is.
void LayOverWhitePaper(TBitmap32& Picture) {
    TColor32* p = Picture.Bits();
    const size_t n = static_cast<size_t>(Picture.Width()) * static_cast<size_t>(Picture.Height());
    bool transparent = false, unset = true;
    for (size_t i = 0; i < n; ++i) {
        const uint32_t a = AlphaComponent(p[i]);
        transparent = transparent || a != 0xFF;
        unset = unset && a == 0;
    }
    if (!transparent) return;
    if (unset) {
        for (size_t i = 0; i < n; ++i)
            p[i] |= 0xFF000000u;
        return;
    }
    for (size_t i = 0; i < n; ++i) {
        const uint32_t a = AlphaComponent(p[i]);
        if (a != 0xFF) p[i] = BlendChannels(p[i], clWhite32, a) | 0xFF000000u;
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The table

void RegisterPictureFormat(TPictureFormat Format) {
    for (std::vector<std::string>* list : {&Format.Extensions, &Format.ReadOnlyExtensions}) {
        for (std::string& e : *list) {
            e = Normalized(e);
            if (e.empty()) RaiseException("A picture format needs an extension");
        }
    }
    if (Format.Extensions.empty()) RaiseException("A picture format needs an extension");
    std::lock_guard lock(gMutex);
    auto same = gFormats.end();
    for (auto f = gFormats.begin(); f != gFormats.end(); ++f) {
        if (f->Name == Format.Name) {
            same = f;
            continue;
        }
        for (const std::vector<std::string>* list : {&Format.Extensions, &Format.ReadOnlyExtensions})
            for (const std::string& e : *list)
                if (HasExtension(*f, e))
                    RaiseException("The extension \"." + e + "\" belongs to the picture format " + f->Name);
    }
    if (same != gFormats.end())
        *same = std::move(Format);
    else
        gFormats.push_back(std::move(Format));
}

std::optional<TPictureFormat> FindPictureFormat(const std::string& Extension) {
    const std::string ext = Normalized(Extension);
    std::lock_guard lock(gMutex);
    for (const TPictureFormat& f : gFormats)
        if (HasExtension(f, ext)) return f;
    return std::nullopt;
}

std::vector<TPictureFormat> PictureFormats() {
    std::lock_guard lock(gMutex);
    return gFormats;
}

// ---------------------------------------------------------------------------------------------
// Readers

std::string PictureFileExtension(const std::string& FileName) {
    const size_t slash = FileName.find_last_of('/');
    const size_t dot = FileName.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    // A name that only starts with a point (".profile") has no extension.
    if (dot == (slash == std::string::npos ? 0 : slash + 1)) return "";
    return Normalized(FileName.substr(dot + 1));
}

namespace {

// The reader of Extension (lower case, without its point); raises when no format reads it.
TPictureReader ReaderFor(const std::string& Extension) {
    if (Extension.empty()) RaiseException("Unknown picture format: the file name has no extension");
    const std::optional<TPictureFormat> format = FindPictureFormat(Extension);
    if (!format || !format->Reader)
        RaiseException("Unknown picture format: no reader for \"." + Extension + "\" files");
    return format->Reader;
}

} // namespace

void LoadPicture(TBitmap32& Dest, TStream& Stream, const std::string& Extension) {
    ReaderFor(Normalized(Extension))(Dest, Stream);
    LayOverWhitePaper(Dest);
}

void LoadPictureFile(TBitmap32& Dest, const std::string& FileName) {
    const TPictureReader reader = ReaderFor(PictureFileExtension(FileName));
    TFileStream file(FileName, TFileMode::fmOpenRead);
    reader(Dest, file);
    LayOverWhitePaper(Dest);
}

// ---------------------------------------------------------------------------------------------
// Writers

namespace {

// "JPEG (.jpg, .jpeg), BMP (.bmp) or TIFF (.tif, .tiff)": the formats written.
std::string WriterList() {
    std::vector<TPictureFormat> writers = PictureFormats();
    std::erase_if(writers, [](const TPictureFormat& f) { return !f.Writer; });
    std::string list;
    for (size_t i = 0; i < writers.size(); ++i) {
        if (i > 0) list += i + 1 == writers.size() ? " or " : ", ";
        list += writers[i].Name + " (";
        for (size_t j = 0; j < writers[i].Extensions.size(); ++j)
            list += (j > 0 ? ", ." : ".") + writers[i].Extensions[j];
        list += ")";
    }
    return list;
}

// The writer of Extension; Typed is the extension as the user wrote it, for the refusal.
TPictureWriter WriterFor(const std::string& Extension, const std::string& Typed) {
    const std::optional<TPictureFormat> format = FindPictureFormat(Extension);
    if (!format || !format->Writer || !Holds(format->Extensions, Extension))
        RaiseException("The drawing can be saved as " + WriterList() + ", not as \"" + Typed + "\"");
    return format->Writer;
}

} // namespace

void SavePicture(const TBitmap32& Picture, TStream& Stream, const std::string& Extension, double Resolution) {
    const std::string ext = Normalized(Extension);
    WriterFor(ext, ext.empty() ? "" : "." + ext)(Picture, Stream, Resolution);
}

void SavePictureFile(const TBitmap32& Picture, const std::string& FileName, double Resolution) {
    const std::string ext = PictureFileExtension(FileName);
    // The refusal quotes the extension as it was typed.
    const TPictureWriter writer =
        WriterFor(ext, ext.empty() ? "" : "." + FileName.substr(FileName.size() - ext.size()));
    TAtomicFileStream file(FileName);
    writer(Picture, file, Resolution);
    file.Close();
}

// ---------------------------------------------------------------------------------------------
// Limits and helpers of the readers

void CheckPictureSize(int64_t Width, int64_t Height, const std::string& Format) {
    if (Width <= 0 || Height <= 0)
        RaiseDamaged(Format, "the picture size " + std::to_string(Width) + " x " + std::to_string(Height) +
                                 " is invalid");
    if (Width > INT32_MAX || Height > INT32_MAX || Width * Height > PictureReadLimit())
        RaisePictureTooLarge(Width, Height, PictureReadLimit());
}

void RaiseDamaged(const std::string& Format, const std::string& Why) {
    RaiseException("Damaged " + Format + " file: " + Why);
}

void SetPictureReadLimit(int64_t Pixels) {
    gReadLimit = std::clamp<int64_t>(Pixels, 1, MaxBitmapPixels);
}

int64_t PictureReadLimit() {
    return gReadLimit;
}

std::vector<unsigned char> ReadToEnd(TStream& Stream) {
    const int64_t remaining = Stream.Size() - Stream.Position();
    std::vector<unsigned char> data(static_cast<size_t>(std::max<int64_t>(remaining, 0)));
    data.resize(data.empty() ? 0 : Stream.Read(data.data(), data.size()));
    return data;
}
