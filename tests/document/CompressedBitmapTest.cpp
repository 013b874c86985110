// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/CompressedBitmap.h"

#include "document/SwapThread.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"
#include "tests/document/SwapPictures.h"
#include "tests/support/AllocationFaults.h"
#include "tests/support/AllowedSkip.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

namespace fs = std::filesystem;

TEST(CompressedBitmap, AnAllocationThatFailsWhenASwapOutEndsLeavesTheCopyOutWithItsFileOrInWithout) {
    // Taking the outcome of a swap-out, written or failed, with each of its allocations failing
    // in turn: the copy is swapped out with its file, or in memory with none, and gives its
    // pixels back either way.
    if (!AllocationFaultsAvailable()) QUOR_ALLOWED_SKIP() << "this build keeps its own operator new";
    const TAnalysisThreads one(1);
    TBitmap32 picture(150, 100);
    Noise(picture, 12);
    const int files = TempFileCount();
    for (const bool tiles : {true, false})
        for (const bool thread : {true, false})
            for (const bool written : {true, false}) {
                SCOPED_TRACE(std::string(tiles ? "tiles" : "whole") + (thread ? ", thread" : "") +
                             (written ? ", written" : ", failed"));
                bool hit = true;
                for (long n = 1; hit && n < 1000; ++n) {
                    TSwapThread swapThread;
                    std::unique_ptr<TCompressedBitmap> copy;
                    if (tiles) {
                        copy = std::make_unique<TCompressedBitmap>(150, 100);
                        copy->KeepBefore(picture, TRect{10, 10, 140, 90});
                        copy->Seal();
                    } else {
                        copy = std::make_unique<TCompressedBitmap>(picture);
                    }
                    if (thread) copy->SetSwapThread(&swapThread);
                    std::optional<bool> outcome;
                    {
                        // Until the outcome is taken: the thread may write only then.
                        std::optional<TWriteFaultScope> full;
                        if (!written) full.emplace(TFaultPoint::fpWrite, 0, ENOSPC, std::getenv("TMPDIR"));
                        copy->StartSwapOut();
                        const TAllocationFaultScope fault(n);
                        try {
                            outcome = copy->EndSwapOut(true);
                        } catch (const std::exception&) {}
                        hit = fault.Hit();
                    }
                    ASSERT_FALSE(copy->SwappingOut()) << n;
                    if (copy->Compressed())
                        ASSERT_TRUE(fs::exists(copy->FileName())) << n;
                    else
                        ASSERT_TRUE(copy->FileName().empty()) << n;
                    TBitmap32 target(150, 100);
                    target.Clear(0);
                    const TRect whole = target.BoundsRect();
                    copy->Exchange(target, tiles ? whole : TRect{0, 0, 150, 100});
                    for (int y = 10; y < 90; ++y)
                        for (int x = 10; x < 140; ++x)
                            ASSERT_EQ(target.Pixel(x, y), picture.Pixel(x, y)) << n;
                    EXPECT_EQ(outcome.value_or(!written), written) << n;
                }
                EXPECT_FALSE(hit);
            }
    EXPECT_EQ(TempFileCount(), files);
}

TEST(CompressedBitmap, SwapFilesAreNamedForWhatTheyHold) {
    // A whole bitmap goes to a BMP file, tiles to a file of their pixel words as they lie.
    TBitmap32 picture(100, 70);
    Noise(picture, 5);
    TCompressedBitmap whole(picture);
    whole.SetCompressed(true);
    EXPECT_EQ(fs::path(whole.FileName()).extension(), ".bmp");
    std::ifstream bmp(whole.FileName(), std::ios::binary);
    char magic[2] = {};
    bmp.read(magic, 2);
    EXPECT_EQ(std::string(magic, 2), "BM");

    TCompressedBitmap tiles(100, 70);
    tiles.KeepBefore(picture, picture.BoundsRect());
    tiles.Seal();
    tiles.SetCompressed(true);
    EXPECT_EQ(fs::path(tiles.FileName()).extension(), ".tiles");
    EXPECT_EQ(fs::file_size(tiles.FileName()), 100u * 70u * 4u);
}
