// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/formats/MagickReader.h"

#include "platform/formats/PictureFormats.h"
#include "platform/formats/PictureOrientation.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <bit>
#include <list>
#include <mutex>
#include <string>
#include <vector>

#include <Magick++.h>

namespace {

std::once_flag gStarted;
int64_t gLimitSet = 0;
std::mutex gLimitMutex;
// The memory that ImageMagick may take beyond the pixels: a coder's palettes, tables and rows.
constexpr MagickCore::MagickSizeType CoderMemory = 16 << 20;

// Starts ImageMagick once, and keeps its resource limits at the program's picture limit:
// no side may exceed what a picture of that many pixels could have, the pixel cache stays
// in memory (no disk), and a file holds at most a few hundred pictures. ImageMagick grants a
// picture's area only below its limit, which is therefore one above the program's: a picture
// of exactly the limit is read. It works on the calling thread alone: the threads it would
// otherwise start for large pictures come from a library that ends the whole process when the
// system refuses one (the user's limit of processes is reached), and with it the open drawing.
void PrepareMagick() {
    std::call_once(gStarted, [] {
        Magick::InitializeMagick(nullptr);
        Magick::ResourceLimits::thread(1);
    });
    std::lock_guard lock(gLimitMutex);
    const int64_t limit = PictureReadLimit();
    if (limit == gLimitSet) return;
    gLimitSet = limit;
    Magick::ResourceLimits::area(static_cast<MagickCore::MagickSizeType>(limit + 1));
    Magick::ResourceLimits::width(
        static_cast<MagickCore::MagickSizeType>(std::min<int64_t>(limit, INT32_MAX)));
    Magick::ResourceLimits::height(
        static_cast<MagickCore::MagickSizeType>(std::min<int64_t>(limit, INT32_MAX)));
    // Up to 16 bytes a pixel: four 16-bit channels, and a copy while converting; and room for
    // what a coder keeps besides, which weighs most in a small or a one-row picture.
    const auto memory = static_cast<MagickCore::MagickSizeType>(limit) * 16 + CoderMemory;
    Magick::ResourceLimits::memory(memory);
    Magick::ResourceLimits::map(memory);
    Magick::ResourceLimits::disk(0);
    Magick::ResourceLimits::listLength(256);
}

// ImageMagick's messages read "Magick: reason `file' @ error/coder.c/Function/123"; the user
// needs the reason.
std::string Reason(const std::exception& E) {
    std::string m = E.what();
    const size_t at = m.find(" @ ");
    if (at != std::string::npos) m.erase(at);
    const size_t quote = m.find(" `");
    if (quote != std::string::npos) m.erase(quote);
    const size_t colon = m.find(": ");
    if (colon != std::string::npos && colon < 40) m.erase(0, colon + 2);
    return m;
}

bool IsResourceLimit(const std::exception& E) {
    const std::string m = E.what();
    return dynamic_cast<const Magick::ErrorResourceLimit*>(&E) != nullptr ||
           dynamic_cast<const Magick::ErrorCache*>(&E) != nullptr ||
           m.find("exceeds limit") != std::string::npos ||
           m.find("resources exhausted") != std::string::npos ||
           m.find("MemoryAllocationFailed") != std::string::npos;
}

void CopyPixels(Magick::Image& Image, TBitmap32& Dest) {
    // CMYK and the other colour spaces become RGB; grey stays grey (R = G = B on export).
    const MagickCore::ColorspaceType cs = Image.colorSpace();
    if (cs != MagickCore::sRGBColorspace && cs != MagickCore::RGBColorspace &&
        cs != MagickCore::GRAYColorspace && cs != MagickCore::TransparentColorspace)
        Image.colorSpace(MagickCore::sRGBColorspace);
    const size_t w = Image.columns();
    const size_t h = Image.rows();
    Dest.SetSize(static_cast<int>(w), static_cast<int>(h));
    // Bytes B, G, R, A make a $AARRGGBB word on a little-endian machine.
    const char* map = std::endian::native == std::endian::little ? "BGRA" : "ARGB";
    Image.write(0, 0, w, h, map, MagickCore::CharPixel, Dest.Bits());
    // Some coders leave the opacity of a picture without alpha unset: it is opaque.
    if (!Image.matte()) {
        TColor32* p = Dest.Bits();
        for (size_t i = 0, n = w * h; i < n; ++i)
            p[i] |= 0xFF000000u;
    }
}

// The Orientation of the picture's EXIF data (a Photoshop file keeps it among its resources).
// What ImageMagick reports as the orientation is not used: for a Targa file it is the corner
// the rows start from, which the coder has applied already.
int ExifOrientationOf(const Magick::Image& Image) {
    const Magick::Blob exif = Image.profile("EXIF");
    return ExifOrientation(static_cast<const unsigned char*>(exif.data()), exif.length());
}

} // namespace

void ReadWithMagick(TBitmap32& Dest, TStream& Stream, const std::string& Magick, const std::string& Format) {
    const std::vector<unsigned char> data = ReadToEnd(Stream);
    if (data.empty()) RaiseDamaged(Format, "the file is empty");
    PrepareMagick();
    const Magick::Blob blob(data.data(), data.size());
    const bool icon = Magick == "ICO" || Magick == "CUR";
    // A Photoshop file holds the composite and then every layer: only the composite is decoded.
    // (Other coders read the scene number differently: for Photo CD it picks the resolution.)
    const bool firstOnly = Magick == "PSD";
    size_t width = 0, height = 0;
    try {
        // The size first, without decoding the pixels.
        Magick::Image probe;
        probe.quiet(true);
        probe.magick(Magick);
        if (firstOnly) {
            probe.subImage(0);
            probe.subRange(1);
        }
        probe.ping(blob);
        width = probe.columns();
        height = probe.rows();
    } catch (const Magick::Exception& e) {
        if (IsResourceLimit(e)) RaiseException("The picture is too large to be read (" + Reason(e) + ")");
        RaiseDamaged(Format, Reason(e));
    }
    if (!icon) CheckPictureSize(static_cast<int64_t>(width), static_cast<int64_t>(height), Format);

    try {
        if (icon) {
            // An icon file holds the same picture at several sizes: take the largest.
            std::list<Magick::Image> images;
            Magick::ReadOptions options;
            options.quiet(true);
            MagickCore::CopyMagickString(options.imageInfo()->magick, Magick.c_str(), MagickPathExtent);
            Magick::readImages(&images, blob, options);
            if (images.empty()) RaiseDamaged(Format, "the file holds no picture");
            auto best = images.begin();
            for (auto i = images.begin(); i != images.end(); ++i)
                if (i->columns() * i->rows() > best->columns() * best->rows()) best = i;
            CheckPictureSize(static_cast<int64_t>(best->columns()), static_cast<int64_t>(best->rows()),
                             Format);
            CopyPixels(*best, Dest);
            return;
        }
        Magick::Image image;
        image.quiet(true);
        image.magick(Magick);
        if (firstOnly) {
            image.subImage(0);
            image.subRange(1);
        }
        image.read(blob);
        CheckPictureSize(static_cast<int64_t>(image.columns()), static_cast<int64_t>(image.rows()), Format);
        CopyPixels(image, Dest);
        ApplyOrientation(Dest, ExifOrientationOf(image));
    } catch (const Magick::Exception& e) {
        if (IsResourceLimit(e))
            RaiseException("The picture is too large (" + std::to_string(width) + " x " +
                           std::to_string(height) + " pixels) to be read: " + Reason(e));
        RaiseDamaged(Format, Reason(e));
    }
}
