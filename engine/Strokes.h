// SPDX-License-Identifier: GPL-3.0-or-later
// The stroke log of one undo step: for each stroke its colour and its left and right outline,
// kept so that the drawing can be rendered again at another size or exported as polygons.
//
// A log's records, the bytes of its batches in the file one after the other, are headerless
// little-endian, one record per stroke in the order of Add:
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
// buffer limit and when the gesture that writes them is over.
//
// The logs of a drawing's steps share one file (TStrokeFile), held open for as long as any of
// them lives: each log knows the batches it wrote there, and the file knows where their bytes
// lie. So a long history holds one descriptor however many steps it has, and a file removed from
// the folder behind the program's back (a cleaner of old files, the user) stays readable. A batch
// the file does not take (a full temporary folder) stays in memory: the log always holds every
// stroke added, part in the file and part in memory, and reading takes both without writing
// anything.
#pragma once

#include "platform/raster/Color32.h"
#include "platform/raster/Fixed.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

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

// The file that the stroke logs of a drawing share. Each batch a log writes is appended whole at
// the end and known by the number Append gives it; the file keeps where its bytes lie. Reads are
// positional and take the file's lock, so a log may read its batches while another appends or
// while Compact moves them. May be used from several threads.
//
// A batch whose log goes is dead space. At the end of the file it is cut off; elsewhere it joins
// the dead space beside it, and the whole disk blocks of that run are given back where the file
// system can (a hole). What dead space still holds (the blocks a dead run shares with live
// bytes; every dead byte where the file system punches no holes) Compact takes back at an idle
// moment: it moves the last live bytes down into the dead runs and cuts the end off, so a batch
// may come to lie in several pieces. When no batch is left the file is empty again.
class TStrokeFile {
public:
    using TBatch = uint64_t;

    // Creates (or truncates) the file and holds it open until destroyed.
    explicit TStrokeFile(const std::string& FileName);
    // Closes the file and deletes it; failures are ignored.
    ~TStrokeFile();
    TStrokeFile(const TStrokeFile&) = delete;
    TStrokeFile& operator=(const TStrokeFile&) = delete;

    // Writes Count bytes at the end of the file as a new batch and returns it. A write the file
    // does not take whole raises "Could not write <name>: <reason>", and the end of the file is
    // where it was.
    TBatch Append(const void* Data, size_t Count);
    // Reads up to Count bytes of Batch from its start; returns how many arrived (fewer only where
    // the file was cut short behind the program's back). Raises "Stream read error" when the
    // file cannot be read.
    size_t Read(TBatch Batch, void* Data, size_t Count) const;
    // Batch is dead.
    void Release(TBatch Batch) noexcept;

    // True when a batch has died inside the file since Compact last looked.
    bool Untidy() const { return FUntidy.load(std::memory_order_relaxed); }
    // Gives back what dead space holds: while the disk the file holds passes its live bytes by
    // more than Slack, or its length passes twice its live bytes by more than 16 x Slack, the last
    // live bytes move down into the dead runs (the smallest first, where they hold the most disk
    // for their size) and the end of the file is cut off. A negative Slack leaves no dead space.
    // Each move holds the file's lock for at most MaxMove bytes, so the file stays usable from
    // other threads meanwhile. A move the file does not take (a full disk) ends the compaction
    // and leaves every batch where it was. It takes its time: not for the window's thread.
    void Compact(int64_t Slack = DefaultSlack) noexcept;
    static constexpr int64_t DefaultSlack = 64 << 10;
    static constexpr int64_t MaxMove = 256 << 10;

    const std::string& FileName() const { return FFileName; }
    // The file's length: the end of the last batch still in use.
    int64_t End() const;
    // The bytes of the batches in use.
    int64_t Live() const;

private:
    struct TPiece {
        int64_t Offset;
        int64_t Length;
    };
    struct TPlace {
        int64_t Length;
        TBatch Batch;
    };

    // Under the lock: cuts the dead end of the file off (given back as a hole where that fails).
    void CutEnd() noexcept;
    // Under the lock: the dead run that holds byte At, between the live pieces around it.
    TPiece DeadRunAt(int64_t At) const;
    // Under the lock: moves the last live bytes into the smallest dead run; false when there is
    // none or the move failed.
    bool MoveDown() noexcept;

    std::string FFileName;
    std::unique_ptr<TFileStream> FStream;
    mutable std::mutex FMutex; // guards what follows and every write to the file
    // Each batch in use: its pieces, in the order of its bytes.
    std::map<TBatch, std::vector<TPiece>> FBatches;
    // Every piece in use, by where it starts.
    std::map<int64_t, TPlace> FPieces;
    TBatch FNextBatch = 1;
    int64_t FEnd = 0;
    int64_t FLive = 0;
    std::atomic<bool> FUntidy{false};
};

class TStrokes {
public:
    // A log in the shared file File.
    explicit TStrokes(std::shared_ptr<TStrokeFile> File);
    // A log alone in a file of its own, FileName, created (or truncated) now.
    explicit TStrokes(const std::string& FileName);
    // Gives its batches in the file up; a file of its own goes with the last log in it.
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
    // memory).
    void EndWriting();
    bool Writing() const { return FWriting; }

    // Prepares reading from the first record: everything logged so far, each time it is called.
    // Loads the log's batches from the file and reads on into the buffer; writes nothing.
    // Raises ("Stream read error") when the file cannot be read.
    void StartRead();
    // Reads the next record; True when the whole record arrived. At the end of the log, or
    // where a record is cut short, False; the arrays then hold the points that did arrive.
    bool Read(TArrayOfFixedPoint& Left, TArrayOfFixedPoint& Right, TColor32& Color);
    bool Read(TStrokeOutline& Stroke) { return Read(Stroke.Left, Stroke.Right, Stroke.Color); }

    // Strokes added through this object.
    int32_t Count() const { return FCount; }
    // The name of the file the log writes to.
    const std::string& FileName() const { return FFile->FileName(); }
    // The flush threshold, given in KB, kept in bytes (512 KB at creation).
    void SetBufferLimit(int32_t KiloBytes) { FBufferLimit = KiloBytes << 10; }
    int32_t BufferLimit() const { return FBufferLimit; }
    // Bytes waiting in memory.
    int64_t BufferSize() const;
    // Bytes the log holds in memory: those waiting there and the file's records that StartRead
    // loaded and that are still to be read.
    int64_t MemSize() const;
    // Bytes in the file.
    int64_t FileSize() const;

private:
    // A batch of the log's records in the file.
    struct TExtent {
        TStrokeFile::TBatch Batch;
        int64_t Length;
    };

    bool AllRead() const;
    // Appends the whole buffer to the file and empties it; raises, with the buffer kept, when
    // the file does not take it.
    void Flush();
    // Flush when everything has been read; a failure is kept quiet and the records stay.
    bool TryFlush();
    void WriteColor(TColor32 Color);
    void WritePoints(const TArrayOfFixedPoint& Points);
    static bool ReadColor(TMemoryStream& Data, TColor32& Color);
    static bool ReadPoints(TMemoryStream& Data, TArrayOfFixedPoint& Points);

    std::unique_ptr<TMemoryStream> FBuffer;
    std::shared_ptr<TStrokeFile> FFile;
    // The batches in the file, in the order they were written.
    std::vector<TExtent> FExtents;
    int32_t FBufferLimit = 0;
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
};
