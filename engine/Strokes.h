// SPDX-License-Identifier: GPL-3.0-or-later
// The stroke log of one undo step: for each stroke its colour and its left and right outline,
// kept so that the drawing can be rendered again at another size or exported as polygons.
//
// The log file is headerless little-endian, one record per stroke in the order of Add:
//
//   offset       size     field
//   0            4        colour, u32 $AARRGGBB
//   4            4        nL, u32 number of left points
//   8            8 * nL   left points: i32 X then i32 Y, 16.16 fixed point, destination pixels
//   8 + 8 nL     4        nR, u32 number of right points
//   12 + 8 nL    8 * nR   right points, same layout
//
// Nothing comes between records and the count is not stored: a reader reads until the data
// ends. Records gather in a memory buffer that goes to the file when it has grown past the
// buffer limit, when reading starts and when the log is destroyed; the file is deleted then.
#pragma once

#include "platform/raster/Color32.h"
#include "platform/raster/Fixed.h"

#include <cstdint>
#include <memory>
#include <string>

class TMemoryStream;
class TFileStream;

// One stroke as the generator made it: the outline's left and right sides, each from the
// stroke's start to its end, in 16.16 destination pixels, and its colour. The polygon of the
// stroke is the left side forward and the right side backward.
struct TStrokeOutline {
    TArrayOfFixedPoint Left;
    TArrayOfFixedPoint Right;
    TColor32 Color = 0;
};

class TStrokes {
public:
    // Creates (or truncates) the log file and holds it open for the object's life.
    explicit TStrokes(const std::string& FileName);
    // Writes what is buffered, closes the file and deletes it; failures are ignored.
    ~TStrokes();
    TStrokes(const TStrokes&) = delete;
    TStrokes& operator=(const TStrokes&) = delete;

    // Appends one record; the arrays are only read. When the buffer must go to the file and
    // the file does not take it ("Could not write <name>: <reason>"), the records, this one
    // included, stay in memory and the failure is raised.
    void Add(const TArrayOfFixedPoint& Left, const TArrayOfFixedPoint& Right, TColor32 Color);
    void Add(const TStrokeOutline& Stroke) { Add(Stroke.Left, Stroke.Right, Stroke.Color); }

    // Prepares reading from the first record: everything logged so far, each time it is called.
    // Raises, with every record kept, when the buffer cannot be written to the file first.
    void StartRead();
    // Reads the next record; True when the whole record arrived. At the end of the log, or
    // where a record is cut short, False; the arrays then hold the points that did arrive.
    bool Read(TArrayOfFixedPoint& Left, TArrayOfFixedPoint& Right, TColor32& Color);
    bool Read(TStrokeOutline& Stroke) { return Read(Stroke.Left, Stroke.Right, Stroke.Color); }

    // Strokes added through this object.
    int32_t Count() const { return FCount; }
    const std::string& FileName() const { return FFileName; }
    // The flush threshold, given in KB, kept in bytes (512 KB at creation).
    void SetBufferLimit(int32_t KiloBytes) { FBufferLimit = KiloBytes << 10; }
    int32_t BufferLimit() const { return FBufferLimit; }
    // Bytes waiting in memory.
    int64_t BufferSize() const;

private:
    void Flush();
    void WriteColor(TColor32 Color);
    void WritePoints(const TArrayOfFixedPoint& Points);
    bool ReadColor(TColor32& Color);
    bool ReadPoints(TArrayOfFixedPoint& Points);

    std::unique_ptr<TMemoryStream> FBuffer;
    std::unique_ptr<TFileStream> FFileStream;
    int32_t FBufferLimit = 0;
    std::string FFileName;
    int32_t FCount = 0;
    // Where the next Read starts in the buffer. Add writes at the buffer's end, so a record
    // added while reading goes after the unread ones instead of over them.
    int64_t FReadPosition = 0;
};
