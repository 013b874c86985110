// SPDX-License-Identifier: GPL-3.0-or-later
// A block of pixels in a mapping of its own, for the tiles of undo steps: freeing it gives its
// memory back to the system at once, and the part of it that holds nothing can be given back
// early. Pages are mapped as they are first written, or all at once when asked (Populate), which
// costs less than the faults one by one.
#pragma once

#include "platform/raster/Color32.h"

#include <cstddef>

// Tiles are kept in blocks of up to this many pixels (1 MB).
inline constexpr size_t BlockPixels = size_t{1} << 18;

class TPixelBlock {
public:
    TPixelBlock() = default;
    // Room for Pixels pixels; std::bad_alloc when the system has no memory for it.
    TPixelBlock(size_t Pixels, bool Populate);
    ~TPixelBlock();
    TPixelBlock(TPixelBlock&& Other) noexcept;
    TPixelBlock& operator=(TPixelBlock&& Other) noexcept;
    TPixelBlock(const TPixelBlock&) = delete;
    TPixelBlock& operator=(const TPixelBlock&) = delete;

    TColor32* Bits() const { return FBits; }
    // The pixels it has room for.
    size_t Pixels() const { return FPixels; }
    // The memory it holds: its room, rounded up to whole pages.
    size_t Bytes() const { return FBytes; }
    // Keeps room for the first Pixels pixels only (no more than it has) and gives the pages
    // after them back.
    void Shrink(size_t Pixels);

private:
    void Free();

    TColor32* FBits = nullptr;
    size_t FPixels = 0;
    size_t FBytes = 0;
};

// Test seam: while a scope lives, in this whole process, every new block fails with
// std::bad_alloc, as on a machine out of memory.
class TPixelBlockFaultScope {
public:
    TPixelBlockFaultScope();
    ~TPixelBlockFaultScope();
    TPixelBlockFaultScope(const TPixelBlockFaultScope&) = delete;
    TPixelBlockFaultScope& operator=(const TPixelBlockFaultScope&) = delete;
    // How many blocks it refused.
    int Hits() const;
};
