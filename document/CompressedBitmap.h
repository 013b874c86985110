// A bitmap that can move between memory and a temporary BMP file, so that old undo steps
// give their memory back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class TBitmap32;

class TCompressedBitmap {
public:
    // A copy of Source, in memory.
    explicit TCompressedBitmap(const TBitmap32& Source);
    // While swapped out, deletes the swap file.
    ~TCompressedBitmap();
    TCompressedBitmap(const TCompressedBitmap&) = delete;
    TCompressedBitmap& operator=(const TCompressedBitmap&) = delete;

    // Takes B in place of the bitmap held. Only while in memory.
    void SetBitmap(std::unique_ptr<TBitmap32> B);
    // The bitmap; nil while swapped out.
    TBitmap32* Bitmap() const { return FBitmap.get(); }

    bool Compressed() const { return FCompressed; }
    // True writes the bitmap to a new temporary file and frees it; False reads it back,
    // pixel for pixel, alpha included, and deletes the file. A swap file that cannot be
    // written or read (deleted or damaged behind our back) raises an Exception and leaves
    // the bitmap where it was.
    void SetCompressed(bool V);

    // Bytes held in memory: 0 while swapped out, else width * height * 4 + 54.
    int32_t GetMemSize() const { return FCompressed ? FDiskSize : FMemorySize; }
    // The swap file while swapped out; empty otherwise.
    const std::string& FileName() const { return FFileName; }

private:
    void SwapOut();
    void SwapIn();

    bool FCompressed = false;
    int32_t FDiskSize = 0;
    int32_t FMemorySize = 0;
    std::unique_ptr<TBitmap32> FBitmap;
    std::string FFileName;
    // The size and a checksum of the pixels in the swap file, checked when they come back.
    int FWidth = 0;
    int FHeight = 0;
    uint64_t FChecksum = 0;
};
