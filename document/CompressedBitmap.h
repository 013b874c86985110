// SPDX-License-Identifier: GPL-3.0-or-later
// A copy of pixels that can move between memory and a temporary file, so that old undo steps
// give their memory back. It holds either a whole bitmap, or the tiles of a picture that were
// about to change, each copied just before its first change (TileStore.h). Swap files are named
// for what they hold: a whole bitmap goes to a ".bmp" file, tiles to a ".tiles" file of their
// pixel words as they lie in memory (read back only by the running copy that wrote them).
//
// A copy can be written to its file on a swap thread (SwapThread.h), the undo history's, which
// writes swap files and frees the memory of copies that went out, so that the window's thread
// does neither; a copy without one does both itself. While such a swap-out is under way the copy
// counts as swapped out, its pixels stay and serve, and they must not change (asserted); taking
// the copy back into use (SetCompressed, Exchange) first stops the swap-out and keeps the pixels
// in memory. The outcome is taken on the owner's thread with EndSwapOut: only a file written and
// closed whole lets the pixels go.
#pragma once

#include "platform/raster/Color32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Types.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TBitmap32;
class TSwapThread;
class TTileStore;
struct TSwapJob;

// A swap file that is gone or damaged: the pixels it held cannot come back. Other failures to
// read one back (memory or descriptors running out) raise a plain Exception and may pass.
class ESwapFileLost : public Exception {
public:
    using Exception::Exception;
};

class TCompressedBitmap {
public:
    // A copy of Source, in memory.
    explicit TCompressedBitmap(const TBitmap32& Source);
    // A copy of a Width x Height picture that holds nothing yet: KeepBefore copies its tiles.
    TCompressedBitmap(int Width, int Height);
    // Stops a swap-out under way; while swapped out, deletes the swap file.
    ~TCompressedBitmap();
    TCompressedBitmap(const TCompressedBitmap&) = delete;
    TCompressedBitmap& operator=(const TCompressedBitmap&) = delete;

    // ---- a whole bitmap
    // Takes B in place of the bitmap held. Only while in memory.
    void SetBitmap(std::unique_ptr<TBitmap32> B);
    // The bitmap; nil while swapped out and for a copy of tiles.
    TBitmap32* Bitmap() const { return FBitmap.get(); }

    // ---- tiles
    bool Tiled() const { return FTiles != nullptr; }
    // Copies from Picture (of the copy's size) every tile that R touches and that the copy does
    // not hold yet. Only while in memory, before Seal.
    void KeepBefore(const TBitmap32& Picture, const TRect& R);
    // The copy is complete: it gives back what it only needed while tiles were added (the grid
    // that finds them, the empty end of the last block) and sorts its table of tiles row by row of
    // the grid, each row from left to right, the order in which they are exchanged and written
    // (their pixels stay where they are). No tile can be added afterwards.
    void Seal();
    // The tiles held.
    int32_t TileCount() const;

    // ---- both
    // The rectangle of the picture the copy starts from: a whole bitmap's bounds, or the
    // picture's for a copy of tiles.
    TRect Bounds() const;
    // True when the copy can be exchanged with rectangle R of Target: a whole bitmap of R's size
    // and R inside Target, or tiles of a picture of Target's size.
    bool Fits(const TBitmap32& Target, const TRect& R) const;
    // Exchanges the pixels held with the same pixels of Target: a whole bitmap with rectangle R,
    // tiles with their own places (so what a gesture painted anywhere goes back, also past its
    // rectangle). A copy swapped out comes back on the way (raising as SetCompressed does, with
    // Target as it was); one on its way out stops and serves from memory.
    void Exchange(TBitmap32& Target, const TRect& R);

    // Swapped out, or a swap-out under way.
    bool Compressed() const { return FCompressed; }
    // True writes the copy to a new temporary file (and waits for a swap-out under way) and frees
    // it; False reads it back, pixel for pixel, alpha included, and deletes the file, or stops
    // a swap-out under way. A swap file that cannot be written or read, and memory that runs out
    // on the way, raise an Exception (ESwapFileLost when the file was deleted or damaged behind
    // our back) and leave the copy where it was.
    void SetCompressed(bool V);

    // Starts writing the copy to a new temporary file on the swap thread; Compressed from now
    // on. Only while in memory. Without a thread, or one the system will not start (a limit on
    // threads), the copy is written here and now, and the outcome waits for EndSwapOut all the
    // same; with ThreadOnly a thread that will not start leaves the copy in memory and returns
    // false. True when it started (or nothing was to start).
    bool StartSwapOut(bool ThreadOnly = false);
    // The outcome of the swap-out started last, once it is over (Wait: waits for it): true when
    // the file was written and closed whole, and the pixels are freed; false when writing
    // failed, and the copy is in memory again. Nothing while it is under way or none is.
    std::optional<bool> EndSwapOut(bool Wait);
    bool SwappingOut() const { return FJob != nullptr; }
    // Why the last swap-out on the swap thread failed: "Cannot swap an undo step out to
    // "<name>". <reason>".
    const std::string& SwapError() const { return FSwapError; }

    // The thread that writes the copy's swap files and frees its memory (borrowed; it must
    // outlive the copy's jobs and tasks, so the copy goes before it), or nil: the copy does both
    // on the calling thread. A swap-out under way on the old thread is taken first.
    void SetSwapThread(TSwapThread* Thread);
    // The pixels of the whole blocks (BlockPixels each) that reading this copy back takes: 0
    // unless it is a copy of tiles that is swapped out. Reading back takes blocks from the
    // thread's reserve when it has some, and gives back the end of each that its tiles leave.
    size_t PixelsToReadBack() const;

    // Bytes held in memory: for a whole bitmap 0 while swapped out, else width * height * 4 + 54;
    // for a copy of tiles the memory its pixels take while in memory (0 while swapped out) and
    // its table of tiles.
    int64_t GetMemSize() const;
    // The swap file while swapped out; empty otherwise.
    const std::string& FileName() const { return FFileName; }

private:
    void SwapOut();
    void SwapIn();
    // Reads the tiles back; with a Target, exchanges them with it on the way.
    void ReadTiles(TBitmap32* Target);
    // Stops a swap-out under way and waits until the swap thread has let go of the pixels, which
    // serve from then on. Returns the name of the file it had begun, stale now (empty for none).
    std::string CancelSwapOut();
    // Lets go of a swap file whose pixels are in memory: the swap thread deletes it (this thread
    // when it cannot). Never raises, so it may follow the moving of pixels.
    void Drop(const std::string& FileName) noexcept;
    // A job that writes the copy as it is now.
    std::shared_ptr<TSwapJob> NewJob() const;
    // Hands the pixels to the swap thread to be freed there.
    void ReleasePixels();
    // Called before the pixels change or go: asserts that no swap-out is reading them.
    void PixelsChange() const;

    bool FCompressed = false;
    int32_t FMemorySize = 0;
    std::unique_ptr<TBitmap32> FBitmap;
    std::string FFileName;
    TSwapThread* FThread = nullptr;
    std::shared_ptr<TSwapJob> FJob;
    std::string FSwapError;
    // The size and a checksum of the swap file's pixels, checked when they come back.
    int FWidth = 0;
    int FHeight = 0;
    uint64_t FChecksum = 0;
    // The tiles of a copy of tiles; nil for a whole bitmap.
    std::unique_ptr<TTileStore> FTiles;
};
