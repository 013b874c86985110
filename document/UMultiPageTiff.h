// SPDX-License-Identifier: GPL-3.0-or-later
// The drawing written as a TIFF file: one 8-bit RGB page in a single LZW-compressed strip,
// with its resolution in dots per inch. The Save commands use it for ".tif" and ".tiff".
#pragma once

#include <string>
#include <vector>

#include <tiffio.h>

class TBitmap32;

// A bitmap's pixels as the bytes of one TIFF strip: rows top-down, each pixel R, G, B, alpha
// dropped, the rows one after another without padding.
class TTiffBuff {
public:
    explicit TTiffBuff(const TBitmap32& Bitmap);
    ~TTiffBuff() = default;
    TTiffBuff(const TTiffBuff&) = delete;
    TTiffBuff& operator=(const TTiffBuff&) = delete;

    const unsigned char* Buffer() const { return FBuffer.data(); }
    unsigned char* Buffer() { return FBuffer.data(); }
    int32_t Size() const { return FSize; }
    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }

private:
    void Fill(const TBitmap32& Bitmap);
    void ConvertRow(const TBitmap32& Bitmap, int Y, unsigned char* Dest) const;

    std::vector<unsigned char> FBuffer;
    int32_t FSize = 0; // height x (width x 3)
    int32_t FWidth = 0;
    int32_t FHeight = 0;
};

class TMultiPageTiff {
public:
    TMultiPageTiff() = default;
    ~TMultiPageTiff();
    TMultiPageTiff(const TMultiPageTiff&) = delete;
    TMultiPageTiff& operator=(const TMultiPageTiff&) = delete;

    // Writes Bitmap to FileName at Resolution dots per inch with a writer of its own.
    static void SaveBitmap(const TBitmap32& Bitmap, const std::string& FileName, double Resolution);

    void SetResolution(double Value) { FResolution = Value; }
    double Resolution() const { return FResolution; }
    // Writes the bitmap as the one page of FileName, aside first and then in place of a file of
    // that name (TAtomicFileStream). Raises "Could not open <name> for writing" when the file
    // cannot be created, and "Could not write <name>: <reason>" when writing fails; the old
    // file then stays as it was.
    void WriteFile(const TBitmap32& Bitmap, const std::string& FileName);

private:
    void WritePage(TTiffBuff& Buff);
    void Close();

    TIFF* FHandle = nullptr;
    double FResolution = 200.0;
    std::string FError; // the first error libtiff reported while writing
};
