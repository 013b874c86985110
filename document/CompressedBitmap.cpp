// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/CompressedBitmap.h"

#include "document/PixelChecksum.h"
#include "document/SwapThread.h"
#include "document/UTempManager.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/BmpCodec.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <new>
#include <unistd.h>
#include <utility>

static_assert(std::endian::native == std::endian::little, "swap files hold the pixel words as memory does");

namespace {
// Tiles of 64 x 64 pixels (16 KB).
constexpr int TileSize = 64;
// A swap file of tiles is read in pieces of about this many pixels, which stay in the cache.
constexpr size_t ReadPixels = 1 << 16;

int32_t MemorySizeOf(int64_t Width, int64_t Height) {
    return static_cast<int32_t>(Width * Height * 4 + 54);
}

size_t PixelsOf(const TRect& R) {
    return static_cast<size_t>(R.Width()) * static_cast<size_t>(R.Height());
}

// "Cannot read the undo step swapped out to "<name>". <reason>"
std::string SwapInFailure(const std::string& FileName, const std::string& Reason) {
    return "Cannot read the undo step swapped out to \"" + FileName + "\". " + Reason;
}

// Raises ESwapFileLost unless FileName can be opened for reading; a failure that says nothing
// about the file (descriptors or memory running out) raises a plain Exception.
void CheckSwapFile(const std::string& FileName) {
    int fd;
    try {
        fd = OpenRegularFile(FileName, O_RDONLY);
    } catch (const Exception& e) {
        throw ESwapFileLost(SwapInFailure(FileName, e.Message()));
    }
    if (fd >= 0) {
        ::close(fd);
        return;
    }
    const int error = errno;
    const std::string reason = std::strerror(error);
    if (error == EMFILE || error == ENFILE || error == ENOMEM)
        RaiseException(SwapInFailure(FileName, reason));
    throw ESwapFileLost(SwapInFailure(FileName, reason));
}

// "Cannot swap an undo step out to "<name>". <reason>"
std::string SwapOutFailure(const std::string& FileName, const std::string& Reason) {
    // No name: the temporary-file service could not give one, and Reason says why.
    if (FileName.empty()) return "Cannot swap an undo step out. " + Reason;
    return "Cannot swap an undo step out to \"" + FileName + "\". " + Reason;
}

// Runs Task on Thread, or here without one or when it cannot take it.
void Later(TSwapThread* Thread, std::function<void()> Task) {
    if (Thread != nullptr) try {
            Thread->Later(std::move(Task));
            return;
        } catch (...) {}
    Task();
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Creation and tiles

TCompressedBitmap::TCompressedBitmap(const TBitmap32& Source) : FBitmap(std::make_unique<TBitmap32>()) {
    FBitmap->Assign(Source);
    FMemorySize = MemorySizeOf(FBitmap->Width(), FBitmap->Height());
}

TCompressedBitmap::TCompressedBitmap(int Width, int Height)
    : FTiled(true), FPictureWidth(Width), FPictureHeight(Height) {
    const size_t cols = static_cast<size_t>((Width + TileSize - 1) / TileSize);
    const size_t rows = static_cast<size_t>((Height + TileSize - 1) / TileSize);
    FTileAt.assign(cols * rows, -1);
}

TCompressedBitmap::~TCompressedBitmap() {
    // A copy freed leaves no file behind, not even one that its swap-out under way had begun (a
    // copy on its way out has no other).
    if (FJob) FFileName = CancelSwapOut();
    if (!FFileName.empty()) std::remove(FFileName.c_str());
    ReleasePixels();
}

void TCompressedBitmap::SetBitmap(std::unique_ptr<TBitmap32> B) {
    PixelsChange();
    FBitmap = std::move(B);
    FMemorySize = FBitmap ? MemorySizeOf(FBitmap->Width(), FBitmap->Height()) : 0;
}

void TCompressedBitmap::KeepBefore(const TBitmap32& Picture, const TRect& R) {
    TRect r;
    if (!FTiled || FCompressed || FSealed || !IntersectRect(r, R, TRect{0, 0, FPictureWidth, FPictureHeight}))
        return;
    PixelsChange();
    const int cols = (FPictureWidth + TileSize - 1) / TileSize;
    for (int ty = r.Top / TileSize; ty <= (r.Bottom - 1) / TileSize; ++ty)
        for (int tx = r.Left / TileSize; tx <= (r.Right - 1) / TileSize; ++tx) {
            int32_t& at = FTileAt[static_cast<size_t>(ty) * cols + tx];
            if (at >= 0) continue;
            TTile tile;
            tile.Rect = TRect{tx * TileSize, ty * TileSize, std::min((tx + 1) * TileSize, FPictureWidth),
                              std::min((ty + 1) * TileSize, FPictureHeight)};
            const size_t w = static_cast<size_t>(tile.Rect.Width());
            const size_t pixels = PixelsOf(tile.Rect);
            if (FBlockFree < pixels) {
                // Mapped page by page as the tiles fill it; Cut gives back what stays empty.
                FBlocks.emplace_back(BlockPixels, false);
                FBlockFree = BlockPixels;
            }
            tile.Bits = FBlocks.back().Bits() + (BlockPixels - FBlockFree);
            FBlockFree -= pixels;
            for (int y = tile.Rect.Top; y < tile.Rect.Bottom; ++y)
                std::memcpy(tile.Bits + static_cast<size_t>(y - tile.Rect.Top) * w,
                            Picture.ScanLine(y) + tile.Rect.Left, w * sizeof(TColor32));
            at = static_cast<int32_t>(FTiles.size());
            FTiles.push_back(tile);
        }
}

void TCompressedBitmap::Seal() {
    if (!FTiled || FSealed) return;
    PixelsChange();
    if (!FBlocks.empty() && FBlockFree > 0) FBlocks.back().Shrink(BlockPixels - FBlockFree);
    FBlockFree = 0;
    std::sort(FTiles.begin(), FTiles.end(), [](const TTile& A, const TTile& B) {
        return A.Rect.Top != B.Rect.Top ? A.Rect.Top < B.Rect.Top : A.Rect.Left < B.Rect.Left;
    });
    FTiles.shrink_to_fit();
    std::vector<int32_t>().swap(FTileAt);
    FSealed = true;
}

int64_t TCompressedBitmap::GetMemSize() const {
    if (!FTiled) return FCompressed ? 0 : FMemorySize;
    int64_t n =
        static_cast<int64_t>(FTiles.capacity() * sizeof(TTile) + FTileAt.capacity() * sizeof(int32_t));
    if (!FCompressed)
        for (const TPixelBlock& block : FBlocks)
            n += static_cast<int64_t>(block.Bytes());
    return n;
}

TRect TCompressedBitmap::Bounds() const {
    if (FTiled) return TRect{0, 0, FPictureWidth, FPictureHeight};
    return FBitmap ? FBitmap->BoundsRect() : TRect{0, 0, FWidth, FHeight};
}

bool TCompressedBitmap::Fits(const TBitmap32& Target, const TRect& R) const {
    if (R.Left < 0 || R.Top < 0 || R.Right > Target.Width() || R.Bottom > Target.Height()) return false;
    if (FTiled) return Target.Width() == FPictureWidth && Target.Height() == FPictureHeight;
    if (FBitmap) return FBitmap->Width() == R.Width() && FBitmap->Height() == R.Height();
    return FCompressed && !FJob && FWidth == R.Width() && FHeight == R.Height();
}

void TCompressedBitmap::Exchange(TBitmap32& Target, const TRect& R) {
    if (FJob) Drop(CancelSwapOut());
    PixelsChange();
    if (!FTiled) {
        if (FCompressed) {
            SwapIn();
            FCompressed = false;
        }
        for (int y = 0; y < R.Height(); ++y) {
            TColor32* a = FBitmap->ScanLine(y);
            std::swap_ranges(a, a + R.Width(), Target.ScanLine(R.Top + y) + R.Left);
        }
        return;
    }
    if (FTiles.empty()) {
        FCompressed = false;
        return;
    }
    if (FCompressed) {
        ReadTiles(&Target);
        return;
    }
    Seal();
    // Band by band of the tile grid, row by row, the tiles of a row from left to right: the
    // picture is walked in the order of its memory.
    TColor32 held[TileSize];
    for (size_t band = 0; band < FTiles.size();) {
        const int top = FTiles[band].Rect.Top;
        size_t end = band;
        while (end < FTiles.size() && FTiles[end].Rect.Top == top)
            ++end;
        for (int y = top; y < FTiles[band].Rect.Bottom; ++y) {
            TColor32* line = Target.ScanLine(y);
            for (size_t i = band; i < end; ++i) {
                const TTile& tile = FTiles[i];
                const size_t w = static_cast<size_t>(tile.Rect.Width());
                TColor32* a = tile.Bits + static_cast<size_t>(y - top) * w;
                std::memcpy(held, a, w * sizeof(TColor32));
                std::memcpy(a, line + tile.Rect.Left, w * sizeof(TColor32));
                std::memcpy(line + tile.Rect.Left, held, w * sizeof(TColor32));
            }
        }
        band = end;
    }
}

void TCompressedBitmap::PixelsChange() const {
    // A job under way reads the pixels on the swap thread: they stay as they are until it is
    // over or stopped.
    assert(FJob == nullptr && "the pixels of a copy change while a swap-out writes them");
}

void TCompressedBitmap::ReleasePixels() {
    PixelsChange();
    for (TTile& tile : FTiles)
        tile.Bits = nullptr;
    FBlockFree = 0;
    // Giving a picture's worth of memory back takes milliseconds: the swap thread does it, or
    // this thread when there is none or it cannot.
    if (FThread != nullptr) try {
            if (FBitmap)
                FThread->Later([bitmap = std::shared_ptr<TBitmap32>(std::move(FBitmap))] {});
            else if (!FBlocks.empty())
                FThread->Recycle(std::move(FBlocks));
        } catch (...) {}
    FBitmap.reset();
    FBlocks.clear();
}

void TCompressedBitmap::SetSwapThread(TSwapThread* Thread) {
    if (Thread == FThread) return;
    // A job stays with the thread it was given to.
    EndSwapOut(true);
    FThread = Thread;
}

size_t TCompressedBitmap::PixelsToReadBack() const {
    if (!FTiled || !FCompressed || FJob) return 0;
    size_t pixels = 0;
    for (const TTile& tile : FTiles)
        pixels += PixelsOf(tile.Rect);
    return pixels;
}

// ---------------------------------------------------------------------------------------------
// Swapping

void TCompressedBitmap::Drop(const std::string& FileName) {
    // Deleting a file of megabytes takes the file system milliseconds: the swap thread does it.
    // Empty: stopped before the thread named a file.
    if (!FileName.empty()) Later(FThread, [FileName] { std::remove(FileName.c_str()); });
}

std::shared_ptr<TSwapJob> TCompressedBitmap::NewJob() const {
    auto job = std::make_shared<TSwapJob>();
    if (!FTiled) {
        const TBitmap32* bitmap = FBitmap.get();
        job->Write = [bitmap](TStream& Stream) {
            WriteBmp(*bitmap, Stream);
            return FoldPixelSum(0, PixelSum(bitmap->Bits(), PixelsOf(bitmap->BoundsRect())));
        };
        return job;
    }
    // The tiles one after the other, each row after row; tiles that follow each other in memory
    // go in one write.
    job->Write = [tiles = FTiles](TStream& Stream) {
        uint64_t sum = 0;
        const TColor32* run = nullptr;
        size_t runPixels = 0;
        for (const TTile& tile : tiles) {
            const size_t pixels = PixelsOf(tile.Rect);
            sum = FoldPixelSum(sum, PixelSum(tile.Bits, pixels));
            if (run + runPixels != tile.Bits) {
                if (runPixels > 0) Stream.WriteBuffer(run, runPixels * sizeof(TColor32));
                run = tile.Bits;
                runPixels = 0;
            }
            runPixels += pixels;
        }
        if (runPixels > 0) Stream.WriteBuffer(run, runPixels * sizeof(TColor32));
        return sum;
    };
    return job;
}

void TCompressedBitmap::SetCompressed(bool V) {
    if (FJob) {
        if (!V) {
            Drop(CancelSwapOut());
            return;
        }
        if (EndSwapOut(true).value_or(false)) return;
    }
    if (V == FCompressed) return;
    if (V)
        SwapOut();
    else if (FTiled)
        ReadTiles(nullptr);
    else
        SwapIn();
    FCompressed = V;
}

void TCompressedBitmap::SwapOut() {
    if (FTiled) {
        StartSwapOut();
        if (!EndSwapOut(true).value_or(true)) RaiseException(FSwapError);
        return;
    }
    FWidth = FBitmap->Width();
    FHeight = FBitmap->Height();
    const std::string name = TempManager().GetTempFileName(".bmp");
    try {
        FChecksum = WriteWholeFile(name, NewJob()->Write, nullptr);
    } catch (const Exception& e) {
        RaiseException(SwapOutFailure(name, e.Message()));
    }
    FFileName = name;
    ReleasePixels();
}

void TCompressedBitmap::StartSwapOut() {
    if (FCompressed || FJob) return;
    if (FTiled && FTiles.empty()) {
        FCompressed = true;
        return;
    }
    if (FTiled) Seal();
    // Handed to the thread before anything changes here: a job that cannot be made or queued
    // leaves the copy in memory, as it was. Without a thread it is written here and now.
    auto job = NewJob();
    if (FThread != nullptr)
        FThread->Post(job);
    else
        job->State = job->Perform();
    if (!FTiled) {
        FWidth = FBitmap->Width();
        FHeight = FBitmap->Height();
    }
    FJob = std::move(job);
    FCompressed = true;
}

std::optional<bool> TCompressedBitmap::EndSwapOut(bool Wait) {
    if (!FJob) return std::nullopt;
    if (FThread != nullptr && !FThread->Over(*FJob, Wait)) return std::nullopt;
    std::shared_ptr<TSwapJob> job = std::move(FJob);
    if (job->State == TSwapJob::TState::Written) {
        FFileName = job->FileName;
        FChecksum = job->Checksum;
        ReleasePixels();
        return true;
    }
    // Only a whole file lets the pixels go: they stay, and so does the history.
    Drop(job->FileName);
    FSwapError = SwapOutFailure(job->FileName, job->Error);
    FCompressed = false;
    return false;
}

std::string TCompressedBitmap::CancelSwapOut() {
    std::shared_ptr<TSwapJob> job = std::move(FJob);
    if (FThread != nullptr) FThread->Stop(*job);
    FCompressed = false;
    return job->FileName;
}

void TCompressedBitmap::SwapIn() {
    CheckSwapFile(FFileName);
    auto bitmap = std::make_unique<TBitmap32>();
    try {
        TFileStream file(FFileName, TFileMode::fmOpenRead);
        ReadBmp(*bitmap, file);
    } catch (const std::bad_alloc&) {
        RaiseException(SwapInFailure(FFileName, "Out of memory"));
    } catch (const Exception& e) {
        throw ESwapFileLost(SwapInFailure(FFileName, e.Message()));
    }
    if (bitmap->Width() != FWidth || bitmap->Height() != FHeight ||
        FoldPixelSum(0, PixelSum(bitmap->Bits(), PixelsOf(bitmap->BoundsRect()))) != FChecksum)
        throw ESwapFileLost(SwapInFailure(FFileName, "The file was changed"));
    FBitmap = std::move(bitmap);
    // Back in memory the pixels change with the next undo or redo, so the file is stale: a
    // later swap-out writes a new one.
    std::remove(FFileName.c_str());
    FFileName.clear();
}

// Each tile read back is checked, then moved in place at once while it is in the cache: with a
// target, into the target, and the tile takes the target's pixels there. A file found damaged on
// the way puts the target's pixels back. The blocks are exactly as large as the tiles need.
void TCompressedBitmap::ReadTiles(TBitmap32* Target) {
    PixelsChange();
    if (FTiles.empty()) {
        FCompressed = false;
        return;
    }
    CheckSwapFile(FFileName);
    // The memory first, from the blocks the swap thread holds ready when it has some, so that
    // memory that runs out leaves everything as it was.
    std::vector<TPixelBlock> blocks;
    std::vector<TColor32*> places(FTiles.size());
    size_t total = 0;
    try {
        size_t first = 0; // the first tile of the block being filled
        size_t pixels = 0;
        auto close = [&](size_t End) {
            TPixelBlock block = FThread != nullptr ? FThread->TakeBlock(pixels) : TPixelBlock();
            if (block.Bits() == nullptr)
                block = TPixelBlock(pixels, true);
            else
                block.Shrink(pixels);
            TColor32* at = block.Bits();
            for (size_t i = first; i < End; ++i) {
                places[i] = at;
                at += PixelsOf(FTiles[i].Rect);
            }
            blocks.push_back(std::move(block));
            first = End;
            pixels = 0;
        };
        for (size_t i = 0; i < FTiles.size(); ++i) {
            const size_t tile = PixelsOf(FTiles[i].Rect);
            if (pixels + tile > BlockPixels) close(i);
            pixels += tile;
            total += tile;
        }
        close(FTiles.size());
    } catch (const std::bad_alloc&) {
        if (FThread != nullptr) FThread->Recycle(std::move(blocks));
        RaiseException(SwapInFailure(FFileName, "Out of memory"));
    }
    size_t placed = 0;
    try {
        TFileStream file(FFileName, TFileMode::fmOpenRead);
        if (file.Size() != static_cast<int64_t>(total * sizeof(TColor32)))
            RaiseException("The file was changed");
        std::vector<TColor32> piece;
        uint64_t sum = 0;
        while (placed < FTiles.size()) {
            size_t count = 0, pixels = 0;
            while (placed + count < FTiles.size() &&
                   (count == 0 || pixels + PixelsOf(FTiles[placed + count].Rect) <= ReadPixels))
                pixels += PixelsOf(FTiles[placed + count++].Rect);
            piece.resize(std::max(piece.size(), pixels));
            file.ReadBuffer(piece.data(), pixels * sizeof(TColor32));
            const TColor32* from = piece.data();
            for (; count > 0; --count, ++placed) {
                TTile& tile = FTiles[placed];
                const size_t w = static_cast<size_t>(tile.Rect.Width());
                const size_t bytes = w * sizeof(TColor32);
                sum = FoldPixelSum(sum, PixelSum(from, PixelsOf(tile.Rect)));
                tile.Bits = places[placed];
                TColor32* to = tile.Bits;
                for (int y = tile.Rect.Top; y < tile.Rect.Bottom; ++y, from += w, to += w) {
                    if (Target == nullptr) {
                        std::memcpy(to, from, bytes);
                        continue;
                    }
                    TColor32* line = Target->ScanLine(y) + tile.Rect.Left;
                    std::memcpy(to, line, bytes);
                    std::memcpy(line, from, bytes);
                }
            }
        }
        if (sum != FChecksum) RaiseException("The file was changed");
    } catch (const std::exception& e) {
        for (size_t i = 0; Target != nullptr && i < placed; ++i) {
            const TTile& tile = FTiles[i];
            const size_t w = static_cast<size_t>(tile.Rect.Width());
            for (int y = tile.Rect.Top; y < tile.Rect.Bottom; ++y)
                std::memcpy(Target->ScanLine(y) + tile.Rect.Left,
                            tile.Bits + static_cast<size_t>(y - tile.Rect.Top) * w, w * sizeof(TColor32));
        }
        for (TTile& tile : FTiles)
            tile.Bits = nullptr;
        if (FThread != nullptr) FThread->Recycle(std::move(blocks));
        if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr)
            RaiseException(SwapInFailure(FFileName, "Out of memory"));
        throw ESwapFileLost(SwapInFailure(FFileName, e.what()));
    }
    FBlocks = std::move(blocks);
    FBlockFree = 0;
    Drop(FFileName);
    FFileName.clear();
    FCompressed = false;
}
