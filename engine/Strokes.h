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
// buffer limit and when the gesture that writes them is over; the file is deleted with the log.
//
// The file is held open only while the gesture writes (a long history must not hold one
// descriptor per step); reading opens it for the time it takes to load it. A batch the file
// does not take (a full temporary folder) stays in memory: the log always holds every stroke
// added, part on disk and part in memory, and reading takes both without writing anything.
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
    // Creates (or truncates) the log file and holds it open until EndWriting.
    explicit TStrokes(const std::string& FileName);
    // Writes what is buffered while the file is still open, closes the file and deletes it;
    // failures are ignored.
    ~TStrokes();
    TStrokes(const TStrokes&) = delete;
    TStrokes& operator=(const TStrokes&) = delete;

    // Appends one record; the arrays are only read. The buffer goes to the file first when it
    // has passed the limit and everything has been read; a file that does not take it leaves
    // the records in memory and is tried again once the buffer has grown by another limit.
    // Raises only when memory runs out, and then the log is as it was.
    void Add(const TArrayOfFixedPoint& Left, const TArrayOfFixedPoint& Right, TColor32 Color);
    void Add(const TStrokeOutline& Stroke) { Add(Stroke.Left, Stroke.Right, Stroke.Color); }
    // Takes back the record that the last Add appended, when nothing has been written or
    // flushed since (the stroke could not be drawn after all). False when there is none.
    bool RemoveLast();
    // The gesture is over: the buffer goes to the file when it takes it (else it stays in
    // memory) and the file is closed. A later flush opens it again for its write.
    void EndWriting();
    bool Writing() const { return FWriting; }

    // Prepares reading from the first record: everything logged so far, each time it is called.
    // Loads the file as it stands and reads on into the buffer; writes nothing. Raises
    // ("Cannot open file ...") when the file cannot be read.
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
    // True while the file is open.
    bool FileOpen() const { return FFileStream != nullptr; }

private:
    bool AllRead() const;
    // Writes the whole buffer at the end of the file and empties it; raises, with the buffer
    // and the file's whole records kept, when the file does not take it.
    void Flush();
    // Flush when everything has been read; a failure is kept quiet and the records stay.
    bool TryFlush();
    void WriteColor(TColor32 Color);
    void WritePoints(const TArrayOfFixedPoint& Points);
    static bool ReadColor(TMemoryStream& Data, TColor32& Color);
    static bool ReadPoints(TMemoryStream& Data, TArrayOfFixedPoint& Points);

    std::unique_ptr<TMemoryStream> FBuffer;
    std::unique_ptr<TFileStream> FFileStream;
    int32_t FBufferLimit = 0;
    std::string FFileName;
    int32_t FCount = 0;
    bool FWriting = true;
    // Where the next Read starts in the buffer. Add writes at the buffer's end, so a record
    // added while reading goes after the unread ones instead of over them.
    int64_t FReadPosition = 0;
    // The file's records as StartRead loaded them, while some are still to be read.
    std::unique_ptr<TMemoryStream> FFileData;
    // Where in the buffer the last record added starts (-1: none to take back).
    int64_t FLastRecord = -1;
    // After a failed flush, the buffer size from which the next try is made (0: none failed).
    int64_t FRetryAt = 0;
    // Where the file's whole records end when a failed write could not be cut off (-1: the
    // file holds only whole records).
    int64_t FWholeEnd = -1;
};
