// SPDX-License-Identifier: GPL-3.0-or-later
// The tiles of a picture that were about to change, each copied just before its first change
// (64 x 64 pixels, cut at the picture's edges), in blocks of their own: the storage of a copy of
// tiles (CompressedBitmap.h). It exchanges the tiles with their places in the picture, writes them
// to a swap file and reads them back; the copy decides when.
#pragma once

#include "document/PixelBlock.h"
#include "document/StoppableStream.h"
#include "platform/raster/Color32.h"
#include "platform/rtl/Types.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TBitmap32;
class TSwapThread;

class TTileStore {
public:
    // The store of a Width x Height picture, holding no tile yet.
    TTileStore(int Width, int Height);

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    int32_t Count() const { return static_cast<int32_t>(FTiles.size()); }

    // Copies from Picture (of the store's size) every tile that R touches and that the store does
    // not hold yet. Nothing once sealed.
    void KeepBefore(const TBitmap32& Picture, const TRect& R);
    // No tile is added from now on: gives back what only adding them needed (the grid that finds
    // them, the empty end of the last block), sorts the table of tiles row by row of the grid,
    // each row from left to right, the order in which Exchange, Writer and ReadBack take them
    // (their pixels stay where they are), and works out the blocks ReadBack fills. Sealing again
    // does nothing.
    void Seal();
    // Exchanges the tiles with the same pixels of Target (of the store's size), in memory, bands
    // of the tile grid on several threads at once.
    void Exchange(TBitmap32& Target);
    // Writes the tiles one after the other, each row after row, and returns their checksum. It
    // reads the pixels as they are when it runs: they must not change meanwhile.
    TWriteSwap Writer();
    // Lets the pixels go, on Thread when there is one (else here); the tiles stay known.
    void Release(TSwapThread* Thread) noexcept;
    // Reads the tiles back from FileName, written by Writer with the checksum Sum; with a Target,
    // exchanges each with its place on the way. Bands of tiles are read on several threads at
    // once, as Exchange takes them. The memory comes first, from Thread's reserve as far as it
    // goes: std::bad_alloc leaves everything as it was. A file that is short or does not give Sum
    // raises an Exception (with the reason), and Target is as it was.
    void ReadBack(const std::string& FileName, uint64_t Sum, TBitmap32* Target, TSwapThread* Thread);
    // The blocks ReadBack maps, of BlockPixels pixels at most each: a reserve of as many whole
    // blocks serves it all. Only once sealed.
    size_t BlocksToReadBack() const { return FBlockStarts.empty() ? 0 : FBlockStarts.size() - 1; }
    // The memory held: the table of tiles, and with WithPixels the blocks while in memory.
    int64_t MemSize(bool WithPixels) const;

private:
    struct TTile {
        TRect Rect;               // in the picture
        TColor32* Bits = nullptr; // Rect's pixels, row after row; nil while not in memory
    };

    // The first tile of each band (the tiles that share a top), and the end. Only once sealed.
    std::vector<size_t> BandStarts() const;
    // Calls Body(First, End) for runs of whole bands of tiles [First, End) that together cover
    // them all, on several threads at once; returns when all are done, raising the first
    // exception of any. Only once sealed.
    void ForBands(const std::function<void(size_t First, size_t End)>& Body) const;

    int FWidth = 0;
    int FHeight = 0;
    // The index in FTiles of each tile of the grid (-1 for none) until sealed.
    std::vector<int32_t> FTileAt;
    bool FSealed = false;
    bool FInMemory = true;
    std::vector<TTile> FTiles;
    std::vector<TPixelBlock> FBlocks;
    size_t FBlockFree = 0; // pixels left at the end of the last block
    // Once sealed: the first tile of each block that ReadBack fills (tiles in order as long as
    // they fit in one), and the end.
    std::vector<size_t> FBlockStarts;
};
