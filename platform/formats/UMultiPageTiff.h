// SPDX-License-Identifier: GPL-3.0-or-later
// The TIFF writer of the picture-format registry (".tif", ".tiff"): one 8-bit RGB page in a
// single LZW-compressed strip, with its resolution in dots per inch. It writes through a stream;
// the registry's SavePictureFile gives it the file, written aside and put in place when whole.
#pragma once

#include <string>
#include <vector>

#include <tiffio.h>

class TBitmap32;
class TStream;

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

    // Writes Bitmap into Stream at Resolution dots per inch with a writer of its own.
    static void SaveBitmap(const TBitmap32& Bitmap, TStream& Stream, double Resolution);

    void SetResolution(double Value) { FResolution = Value; }
    double Resolution() const { return FResolution; }
    // Writes the bitmap as a TIFF file of one page into Stream, from its start (the offsets in a
    // TIFF file count from there, so the stream holds nothing else). A failure of the
    // stream raises the stream's own message ("Could not write <name>: <reason>" for a file);
    // one that libtiff reports raises "TIFF encoding failed: <libtiff's message>". A picture
    // too large for one strip is refused before anything is written.
    void WriteFile(const TBitmap32& Bitmap, TStream& Stream);

private:
    void WritePage(TTiffBuff& Buff);
    void Close();

    TIFF* FHandle = nullptr;
    double FResolution = 200.0;
    std::string FError; // the first error libtiff reported while writing
};
