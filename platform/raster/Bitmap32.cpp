// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/raster/Bitmap32.h"

#include "platform/raster/BmpCodec.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <algorithm>
#include <mutex>

namespace {
std::mutex gReaderMutex;
TPictureFileReader gPictureFileReader;
} // namespace

void RaisePictureTooLarge(int64_t Width, int64_t Height, int64_t MaxPixels) {
    RaiseException("The picture is too large (" + std::to_string(Width) + " x " + std::to_string(Height) +
                   " pixels); at most " + std::to_string(MaxPixels / (1024 * 1024)) +
                   " megapixels can be held");
}

TBitmap32::TBitmap32(int Width, int Height) {
    SetSize(Width, Height);
}

void TBitmap32::SetSize(int Width, int Height) {
    if (Width < 0 || Height < 0)
        RaiseException("Invalid bitmap size " + std::to_string(Width) + " x " + std::to_string(Height));
    if (static_cast<int64_t>(Width) * Height > MaxBitmapPixels)
        RaisePictureTooLarge(Width, Height, MaxBitmapPixels);
    if (Width == FWidth && Height == FHeight) return;
    FWidth = Width;
    FHeight = Height;
    FBits.assign(static_cast<size_t>(Width) * Height, 0);
}

void TBitmap32::SetPixelS(int X, int Y, TColor32 C) {
    if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight) return;
    SetPixel(X, Y, C);
}

void TBitmap32::Clear(TColor32 C) {
    std::fill(FBits.begin(), FBits.end(), C);
}

void TBitmap32::FillRect(int X1, int Y1, int X2, int Y2, TColor32 C) {
    for (int y = Y1; y < Y2; ++y)
        std::fill(PixelPtr(X1, y), PixelPtr(X1, y) + (X2 - X1), C);
}

void TBitmap32::FillRectS(int X1, int Y1, int X2, int Y2, TColor32 C) {
    X1 = std::max(X1, 0);
    Y1 = std::max(Y1, 0);
    X2 = std::min(X2, FWidth);
    Y2 = std::min(Y2, FHeight);
    if (X1 < X2 && Y1 < Y2) FillRect(X1, Y1, X2, Y2, C);
}

void TBitmap32::Assign(const TBitmap32& Src) {
    if (&Src == this) return;
    FWidth = Src.FWidth;
    FHeight = Src.FHeight;
    FBits = Src.FBits;
    DrawMode = Src.DrawMode;
    MasterAlpha = Src.MasterAlpha;
    StretchFilter = Src.StretchFilter;
    PenColor = Src.PenColor;
    FStipple = Src.FStipple;
    StippleStep = Src.StippleStep;
    StippleCounter = Src.StippleCounter;
}

void TBitmap32::Draw(int DstX, int DstY, const TBitmap32& Src) {
    Draw(DstX, DstY, Src.BoundsRect(), Src);
}

void TBitmap32::Draw(int DstX, int DstY, const TRect& SrcRect, const TBitmap32& Src) {
    // Clip the source rectangle to the source, then the destination to this bitmap.
    TRect src;
    if (!IntersectRect(src, SrcRect, Src.BoundsRect())) return;
    DstX += src.Left - SrcRect.Left;
    DstY += src.Top - SrcRect.Top;
    TRect dst{DstX, DstY, DstX + src.Width(), DstY + src.Height()};
    TRect clipped;
    if (!IntersectRect(clipped, dst, BoundsRect())) return;
    const int sx = src.Left + (clipped.Left - dst.Left);
    const int sy = src.Top + (clipped.Top - dst.Top);
    const int w = clipped.Width();
    // An opaque source is copied as it is; MasterAlpha weighs only blended drawing.
    const bool opaque = Src.DrawMode == dmOpaque;
    for (int y = 0; y < clipped.Height(); ++y) {
        const TColor32* s = Src.ScanLine(sy + y) + sx;
        TColor32* d = PixelPtr(clipped.Left, clipped.Top + y);
        if (opaque) {
            std::copy(s, s + w, d);
        } else {
            for (int x = 0; x < w; ++x) {
                const uint32_t weight = (AlphaComponent(s[x]) * uint32_t{Src.MasterAlpha} + 127) / 255;
                d[x] = BlendChannels(s[x] | 0xFF000000u, d[x], weight);
            }
        }
    }
}

void TBitmap32::SaveToFile(const std::string& FileName) const {
    TAtomicFileStream file(FileName);
    SaveToStream(file);
    file.Close();
}

void TBitmap32::SaveToStream(TStream& Stream) const {
    WriteBmp(*this, Stream);
}

void TBitmap32::LoadFromStream(TStream& Stream) {
    ReadBmp(*this, Stream);
}

void TBitmap32::LoadFromFile(const std::string& FileName) {
    TPictureFileReader reader;
    {
        std::lock_guard lock(gReaderMutex);
        reader = gPictureFileReader;
    }
    if (reader) {
        reader(*this, FileName);
        return;
    }
    TFileStream file(FileName, TFileMode::fmOpenRead);
    ReadBmp(*this, file);
}

void SetPictureFileReader(TPictureFileReader Reader) {
    std::lock_guard lock(gReaderMutex);
    gPictureFileReader = std::move(Reader);
}

// ---------------------------------------------------------------------------------------------
// TBitmap32List

TBitmap32& TBitmap32List::Add() {
    FBitmaps.push_back(std::make_unique<TBitmap32>());
    return *FBitmaps.back();
}

TBitmap32& TBitmap32List::Bitmap(int Index) {
    if (Index < 0 || Index >= Count())
        RaiseException("TBitmap32List: Index out of bounds(" + std::to_string(Index) + ")");
    return *FBitmaps[static_cast<size_t>(Index)];
}

const TBitmap32& TBitmap32List::Bitmap(int Index) const {
    return const_cast<TBitmap32List*>(this)->Bitmap(Index);
}

void TBitmap32List::Delete(int Index) {
    Bitmap(Index);
    FBitmaps.erase(FBitmaps.begin() + Index);
}
