// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/TileStore.h"

#include "document/PixelChecksum.h"
#include "document/SwapThread.h"
#include "engine/ParallelRows.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

namespace {
constexpr int TileSize = 64;
// A swap file is read in pieces of about this many pixels, which stay in the cache.
constexpr size_t ReadPixels = 1 << 16;
// The bands of the tile grid that one thread takes at least, when the work is shared.
constexpr int BandsPerPart = 2;

size_t PixelsOf(const TRect& R) {
    return static_cast<size_t>(R.Width()) * static_cast<size_t>(R.Height());
}
} // namespace

TTileStore::TTileStore(int Width, int Height) : FWidth(Width), FHeight(Height) {
    const size_t cols = static_cast<size_t>((Width + TileSize - 1) / TileSize);
    const size_t rows = static_cast<size_t>((Height + TileSize - 1) / TileSize);
    FTileAt.assign(cols * rows, -1);
}

int64_t TTileStore::MemSize(bool WithPixels) const {
    int64_t n =
        static_cast<int64_t>(FTiles.capacity() * sizeof(TTile) + FTileAt.capacity() * sizeof(int32_t) +
                             FBlockStarts.capacity() * sizeof(size_t));
    if (WithPixels && FInMemory)
        for (const TPixelBlock& block : FBlocks)
            n += static_cast<int64_t>(block.Bytes());
    return n;
}

void TTileStore::Release(TSwapThread* Thread) noexcept {
    for (TTile& tile : FTiles)
        tile.Bits = nullptr;
    FBlockFree = 0;
    FInMemory = false;
    if (Thread != nullptr && !FBlocks.empty()) try {
            Thread->Recycle(std::move(FBlocks));
        } catch (...) {}
    FBlocks.clear();
}

void TTileStore::KeepBefore(const TBitmap32& Picture, const TRect& R) {
    TRect r;
    if (FSealed || !FInMemory || !IntersectRect(r, R, TRect{0, 0, FWidth, FHeight})) return;
    const int cols = (FWidth + TileSize - 1) / TileSize;
    for (int ty = r.Top / TileSize; ty <= (r.Bottom - 1) / TileSize; ++ty)
        for (int tx = r.Left / TileSize; tx <= (r.Right - 1) / TileSize; ++tx) {
            int32_t& at = FTileAt[static_cast<size_t>(ty) * cols + tx];
            if (at >= 0) continue;
            TTile tile;
            tile.Rect = TRect{tx * TileSize, ty * TileSize, std::min((tx + 1) * TileSize, FWidth),
                              std::min((ty + 1) * TileSize, FHeight)};
            const size_t w = static_cast<size_t>(tile.Rect.Width());
            const size_t pixels = PixelsOf(tile.Rect);
            if (FBlockFree < pixels) {
                // Mapped page by page as the tiles fill it; Seal gives back what stays empty.
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

void TTileStore::Seal() {
    if (FSealed) return;
    if (!FBlocks.empty() && FBlockFree > 0) FBlocks.back().Shrink(BlockPixels - FBlockFree);
    FBlockFree = 0;
    std::sort(FTiles.begin(), FTiles.end(), [](const TTile& A, const TTile& B) {
        return A.Rect.Top != B.Rect.Top ? A.Rect.Top < B.Rect.Top : A.Rect.Left < B.Rect.Left;
    });
    FTiles.shrink_to_fit();
    std::vector<int32_t>().swap(FTileAt);
    // The blocks a read-back fills, worked out once: the idle moments ask their count for the
    // reserve.
    size_t pixels = 0; // in the block being filled
    for (size_t i = 0; i < FTiles.size(); ++i) {
        const size_t tile = PixelsOf(FTiles[i].Rect);
        if (i == 0 || pixels + tile > BlockPixels) {
            FBlockStarts.push_back(i);
            pixels = 0;
        }
        pixels += tile;
    }
    FBlockStarts.push_back(FTiles.size());
    FBlockStarts.shrink_to_fit();
    FSealed = true;
}

std::vector<size_t> TTileStore::BandStarts() const {
    std::vector<size_t> starts;
    for (size_t i = 0; i < FTiles.size(); ++i)
        if (i == 0 || FTiles[i].Rect.Top != FTiles[i - 1].Rect.Top) starts.push_back(i);
    starts.push_back(FTiles.size());
    return starts;
}

void TTileStore::ForBands(const std::function<void(size_t First, size_t End)>& Body) const {
    const std::vector<size_t> starts = BandStarts();
    ParallelRows(0, static_cast<int>(starts.size()) - 1, BandsPerPart, [&](int First, int Last) {
        Body(starts[static_cast<size_t>(First)], starts[static_cast<size_t>(Last)]);
    });
}

void TTileStore::Exchange(TBitmap32& Target) {
    Seal();
    // Nothing to do, and nothing allocated: an exchange that undoes another must not fail.
    if (FTiles.empty()) return;
    // Row by row, the tiles of a row from left to right: each band walks the picture in the
    // order of its memory.
    ForBands([&](size_t First, size_t End) {
        TColor32 held[TileSize];
        for (size_t band = First; band < End;) {
            const int top = FTiles[band].Rect.Top;
            size_t end = band;
            while (end < End && FTiles[end].Rect.Top == top)
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
    });
}

TWriteSwap TTileStore::Writer() {
    Seal();
    // The tiles one after the other, each row after row; tiles that follow each other in memory
    // go in one write.
    return [tiles = FTiles](TStream& Stream) {
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
}

// Each tile read back is moved in place at once while it is in the cache: with a target, into
// the target, and the tile takes the target's pixels there. Bands of tiles are read on several
// threads at once, each from its own part of the file through the one descriptor; the checksum
// is folded from the tiles' own sums in the file's order once all are in. A file found damaged
// puts the target's pixels back. The blocks are exactly as large as the tiles need.
void TTileStore::ReadBack(const std::string& FileName, uint64_t Sum, TBitmap32* Target, TSwapThread* Thread) {
    if (FTiles.empty()) {
        FInMemory = true;
        return;
    }
    // Where each tile starts in the file, in pixels.
    std::vector<size_t> offsets(FTiles.size() + 1, 0);
    for (size_t i = 0; i < FTiles.size(); ++i)
        offsets[i + 1] = offsets[i] + PixelsOf(FTiles[i].Rect);
    // The memory first, from the blocks the swap thread holds ready when it has some, so that
    // memory that runs out leaves everything as it was.
    std::vector<TPixelBlock> blocks;
    std::vector<TColor32*> places(FTiles.size());
    try {
        for (size_t b = 0; b + 1 < FBlockStarts.size(); ++b) {
            const size_t first = FBlockStarts[b], end = FBlockStarts[b + 1];
            const size_t pixels = offsets[end] - offsets[first];
            TPixelBlock block = Thread != nullptr ? Thread->TakeBlock(pixels) : TPixelBlock();
            if (block.Bits() == nullptr)
                block = TPixelBlock(pixels, true);
            else
                block.Shrink(pixels);
            TColor32* at = block.Bits();
            for (size_t i = first; i < end; ++i) {
                places[i] = at;
                at += PixelsOf(FTiles[i].Rect);
            }
            blocks.push_back(std::move(block));
        }
    } catch (const std::bad_alloc&) {
        if (Thread != nullptr) Thread->Recycle(std::move(blocks));
        throw;
    }
    // Set for each tile once the target holds its pixels from the file.
    std::vector<uint8_t> placed(FTiles.size(), 0);
    try {
        TFileStream file(FileName, TFileMode::fmOpenRead);
        if (file.Size() != static_cast<int64_t>(offsets.back() * sizeof(TColor32)))
            RaiseException("The file was changed");
        std::vector<uint64_t> sums(FTiles.size());
        ForBands([&](size_t First, size_t End) {
            std::vector<TColor32> piece;
            for (size_t next = First; next < End;) {
                size_t count = 0;
                while (next + count < End &&
                       (count == 0 || offsets[next + count + 1] - offsets[next] <= ReadPixels))
                    ++count;
                const size_t pixels = offsets[next + count] - offsets[next];
                piece.resize(std::max(piece.size(), pixels));
                file.ReadBufferAt(piece.data(), pixels * sizeof(TColor32),
                                  static_cast<int64_t>(offsets[next] * sizeof(TColor32)));
                const TColor32* from = piece.data();
                for (; count > 0; --count, ++next) {
                    const TRect& r = FTiles[next].Rect;
                    const size_t w = static_cast<size_t>(r.Width());
                    const size_t bytes = w * sizeof(TColor32);
                    sums[next] = PixelSum(from, PixelsOf(r));
                    TColor32* to = places[next];
                    for (int y = r.Top; y < r.Bottom; ++y, from += w, to += w) {
                        if (Target == nullptr) {
                            std::memcpy(to, from, bytes);
                            continue;
                        }
                        TColor32* line = Target->ScanLine(y) + r.Left;
                        std::memcpy(to, line, bytes);
                        std::memcpy(line, from, bytes);
                    }
                    placed[next] = 1;
                }
            }
        });
        uint64_t sum = 0;
        for (const uint64_t tile : sums)
            sum = FoldPixelSum(sum, tile);
        if (sum != Sum) RaiseException("The file was changed");
    } catch (...) {
        for (size_t i = 0; Target != nullptr && i < FTiles.size(); ++i) {
            if (placed[i] == 0) continue;
            const TRect& r = FTiles[i].Rect;
            const size_t w = static_cast<size_t>(r.Width());
            for (int y = r.Top; y < r.Bottom; ++y)
                std::memcpy(Target->ScanLine(y) + r.Left, places[i] + static_cast<size_t>(y - r.Top) * w,
                            w * sizeof(TColor32));
        }
        if (Thread != nullptr) Thread->Recycle(std::move(blocks));
        throw;
    }
    for (size_t i = 0; i < FTiles.size(); ++i)
        FTiles[i].Bits = places[i];
    FBlocks = std::move(blocks);
    FBlockFree = 0;
    FInMemory = true;
}
