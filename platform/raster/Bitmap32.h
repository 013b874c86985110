// SPDX-License-Identifier: GPL-3.0-or-later
// The 32-bit ARGB bitmap that holds the photo, the drawing and the feature map.
#pragma once

#include "platform/raster/Color32.h"
#include "platform/raster/Fixed.h"
#include "platform/rtl/Types.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TStream;

// How a bitmap is drawn onto another: copied as it is, or blended by its alpha times MasterAlpha.
enum TDrawMode { dmOpaque = 0, dmBlend = 1 };

// The filters of a stretched copy, numbered as the presets and dialogs number them.
enum TStretchFilter { sfNearest = 0, sfLinear = 1, sfSpline = 2, sfLanczos = 3, sfMitchell = 4 };

// The largest picture the program holds: 256 megapixels. Readers refuse more before allocating.
constexpr int64_t MaxBitmapPixels = int64_t{256} * 1024 * 1024;

// Raises "The picture is too large (W x H pixels); at most N megapixels can be held" for a
// picture refused because it has more than MaxPixels pixels.
[[noreturn]] void RaisePictureTooLarge(int64_t Width, int64_t Height, int64_t MaxPixels);

class TBitmap32 {
public:
    TBitmap32() = default;
    TBitmap32(int Width, int Height);
    TBitmap32(const TBitmap32&) = delete;
    TBitmap32& operator=(const TBitmap32&) = delete;
    TBitmap32(TBitmap32&&) = default;
    TBitmap32& operator=(TBitmap32&&) = default;

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    bool Empty() const { return FWidth == 0 || FHeight == 0; }
    TRect BoundsRect() const { return TRect{0, 0, FWidth, FHeight}; }

    // New size; the pixels are undefined afterwards (zero for a new allocation). Raises an
    // Exception for a negative size or one above MaxBitmapPixels.
    void SetSize(int Width, int Height);
    void SetWidth(int Width) { SetSize(Width, FHeight); }
    void SetHeight(int Height) { SetSize(FWidth, Height); }

    // Unchecked pixel access, rows top-down.
    TColor32 Pixel(int X, int Y) const { return FBits[static_cast<size_t>(Y) * FWidth + X]; }
    void SetPixel(int X, int Y, TColor32 C) { FBits[static_cast<size_t>(Y) * FWidth + X] = C; }
    // Checked write: a write outside is ignored.
    void SetPixelS(int X, int Y, TColor32 C);
    TColor32* Bits() { return FBits.data(); }
    const TColor32* Bits() const { return FBits.data(); }
    TColor32* ScanLine(int Y) { return FBits.data() + static_cast<size_t>(Y) * FWidth; }
    const TColor32* ScanLine(int Y) const { return FBits.data() + static_cast<size_t>(Y) * FWidth; }
    TColor32* PixelPtr(int X, int Y) { return ScanLine(Y) + X; }

    // Every pixel to C (black by default).
    void Clear(TColor32 C = clBlack32);
    // Fills X1 <= x < X2, Y1 <= y < Y2 without clipping: the rectangle must lie inside.
    void FillRect(int X1, int Y1, int X2, int Y2, TColor32 C);
    // The same, clipped to the bitmap.
    void FillRectS(int X1, int Y1, int X2, int Y2, TColor32 C);
    void FillRectS(const TRect& R, TColor32 C) { FillRectS(R.Left, R.Top, R.Right, R.Bottom, C); }

    // Copies Src's pixels, size and drawing properties.
    void Assign(const TBitmap32& Src);

    // Src drawn at (DstX, DstY) with Src's DrawMode and MasterAlpha, clipped.
    void Draw(int DstX, int DstY, const TBitmap32& Src);
    // The part SrcRect of Src drawn at (DstX, DstY).
    void Draw(int DstX, int DstY, const TRect& SrcRect, const TBitmap32& Src);
    // SrcRect of Src stretched onto DstRect with Src's StretchFilter, DrawMode and MasterAlpha.
    void DrawStretched(const TRect& DstRect, const TRect& SrcRect, const TBitmap32& Src);
    // This bitmap drawn onto Dst at (X, Y).
    void DrawTo(TBitmap32& Dst, int X, int Y) const { Dst.Draw(X, Y, *this); }

    // Lines. Integer ends; clipped to the bitmap; L = true also sets the last pixel.
    void LineS(int X1, int Y1, int X2, int Y2, TColor32 Value, bool L = false);  // aliased
    void LineAS(int X1, int Y1, int X2, int Y2, TColor32 Value, bool L = false); // antialiased
    // Antialiased lines in 16.16 fixed point (X) or floats (F) coloured from the stipple pattern.
    void LineXSP(TFixed X1, TFixed Y1, TFixed X2, TFixed Y2, bool L = false);
    void LineFSP(float X1, float Y1, float X2, float Y2, bool L = false);
    // The pen: MoveToF sets its position, LineToFS draws an antialiased line in PenColor to
    // the new position and moves there.
    void MoveToF(float X, float Y);
    void LineToFS(float X, float Y);

    // The stipple pattern colours the LineXSP/LineFSP lines: the counter advances StippleStep
    // per pixel along the line and picks the colour at its integer part (cyclic, with the
    // fraction blending toward the next colour).
    void SetStipple(const std::vector<TColor32>& Colors);
    const std::vector<TColor32>& Stipple() const { return FStipple; }
    float StippleStep = 1.0f;
    float StippleCounter = 0.0f;

    // Writes a 32-bit BMP, alpha included; replaces the file whole or not at all.
    void SaveToFile(const std::string& FileName) const;
    void SaveToStream(TStream& Stream) const;
    // Reads any format of the picture-format registry, chosen by the file's extension.
    void LoadFromFile(const std::string& FileName);
    // Reads a BMP from the stream's position.
    void LoadFromStream(TStream& Stream);

    TDrawMode DrawMode = dmOpaque;
    uint8_t MasterAlpha = 0xFF;
    TStretchFilter StretchFilter = sfNearest;
    TColor32 PenColor = clWhite32;

private:
    int FWidth = 0;
    int FHeight = 0;
    std::vector<TColor32> FBits;
    std::vector<TColor32> FStipple;
    float FPenX = 0.0f;
    float FPenY = 0.0f;
};

// The reader of picture files by extension. The picture-format registry installs it at start;
// until then LoadFromFile reads BMP files only.
using TPictureFileReader = std::function<void(TBitmap32& Dest, const std::string& FileName)>;
void SetPictureFileReader(TPictureFileReader Reader);

// A list that owns its bitmaps.
class TBitmap32List {
public:
    int Count() const { return static_cast<int>(FBitmaps.size()); }
    TBitmap32& Add();
    TBitmap32& Bitmap(int Index);
    const TBitmap32& Bitmap(int Index) const;
    void Delete(int Index);
    void Clear() { FBitmaps.clear(); }

private:
    std::vector<std::unique_ptr<TBitmap32>> FBitmaps;
};
