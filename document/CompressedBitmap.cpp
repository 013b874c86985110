// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/CompressedBitmap.h"

#include "document/PixelBlock.h"
#include "document/PixelChecksum.h"
#include "document/SwapThread.h"
#include "document/TileStore.h"
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
#include <new>
#include <unistd.h>
#include <utility>

static_assert(std::endian::native == std::endian::little, "swap files hold the pixel words as memory does");

namespace {

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

} // namespace

// ---------------------------------------------------------------------------------------------
// Creation and tiles

TCompressedBitmap::TCompressedBitmap(const TBitmap32& Source) : FBitmap(std::make_unique<TBitmap32>()) {
    FBitmap->Assign(Source);
    FMemorySize = MemorySizeOf(FBitmap->Width(), FBitmap->Height());
}

TCompressedBitmap::TCompressedBitmap(int Width, int Height)
    : FTiles(std::make_unique<TTileStore>(Width, Height)) {}

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
    if (!FTiles || FCompressed) return;
    PixelsChange();
    FTiles->KeepBefore(Picture, R);
}

void TCompressedBitmap::Seal() {
    if (!FTiles) return;
    PixelsChange();
    FTiles->Seal();
}

int32_t TCompressedBitmap::TileCount() const {
    return FTiles ? FTiles->Count() : 0;
}

int64_t TCompressedBitmap::GetMemSize() const {
    if (FTiles) return FTiles->MemSize(!FCompressed);
    return FCompressed ? 0 : FMemorySize;
}

TRect TCompressedBitmap::Bounds() const {
    if (FTiles) return TRect{0, 0, FTiles->Width(), FTiles->Height()};
    return FBitmap ? FBitmap->BoundsRect() : TRect{0, 0, FWidth, FHeight};
}

bool TCompressedBitmap::Fits(const TBitmap32& Target, const TRect& R) const {
    if (R.Left < 0 || R.Top < 0 || R.Right > Target.Width() || R.Bottom > Target.Height()) return false;
    if (FTiles) return Target.Width() == FTiles->Width() && Target.Height() == FTiles->Height();
    if (FBitmap) return FBitmap->Width() == R.Width() && FBitmap->Height() == R.Height();
    return FCompressed && !FJob && FWidth == R.Width() && FHeight == R.Height();
}

void TCompressedBitmap::Exchange(TBitmap32& Target, const TRect& R) {
    if (FJob) Drop(CancelSwapOut());
    PixelsChange();
    if (FTiles) {
        if (FCompressed)
            ReadTiles(&Target);
        else
            FTiles->Exchange(Target);
        return;
    }
    if (FCompressed) {
        SwapIn();
        FCompressed = false;
    }
    for (int y = 0; y < R.Height(); ++y) {
        TColor32* a = FBitmap->ScanLine(y);
        std::swap_ranges(a, a + R.Width(), Target.ScanLine(R.Top + y) + R.Left);
    }
}

void TCompressedBitmap::PixelsChange() const {
    // A job under way reads the pixels on the swap thread: they stay as they are until it is
    // over or stopped.
    assert(FJob == nullptr && "the pixels of a copy change while a swap-out writes them");
}

void TCompressedBitmap::ReleasePixels() {
    PixelsChange();
    // Giving a picture's worth of memory back takes milliseconds: the swap thread does it, or
    // this thread when there is none or it cannot.
    if (FTiles) {
        FTiles->Release(FThread);
        return;
    }
    if (FThread != nullptr && FBitmap) try {
            FThread->Later([bitmap = std::shared_ptr<TBitmap32>(std::move(FBitmap))] {});
        } catch (...) {}
    FBitmap.reset();
}

void TCompressedBitmap::SetSwapThread(TSwapThread* Thread) {
    if (Thread == FThread) return;
    // A job stays with the thread it was given to.
    EndSwapOut(true);
    FThread = Thread;
}

size_t TCompressedBitmap::PixelsToReadBack() const {
    return FTiles && FCompressed && !FJob ? FTiles->BlocksToReadBack() * BlockPixels : 0;
}

// ---------------------------------------------------------------------------------------------
// Swapping

void TCompressedBitmap::Drop(const std::string& FileName) noexcept {
    // Empty: stopped before the thread named a file.
    if (FileName.empty()) return;
    // Deleting a file of megabytes takes the file system milliseconds: the swap thread does it,
    // or this thread when there is none or it cannot take the task.
    if (FThread != nullptr) try {
            if (FThread->Later([FileName] { std::remove(FileName.c_str()); })) return;
        } catch (...) {}
    std::remove(FileName.c_str());
}

std::shared_ptr<TSwapJob> TCompressedBitmap::NewJob() const {
    auto job = std::make_shared<TSwapJob>();
    if (FTiles) {
        job->Ext = ".tiles";
        job->Write = FTiles->Writer();
        return job;
    }
    job->Ext = ".bmp";
    const TBitmap32* bitmap = FBitmap.get();
    job->Write = [bitmap](TStream& Stream) {
        WriteBmp(*bitmap, Stream);
        return FoldPixelSum(0, PixelSum(bitmap->Bits(), PixelsOf(bitmap->BoundsRect())));
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
    else if (FTiles)
        ReadTiles(nullptr);
    else
        SwapIn();
    FCompressed = V;
}

void TCompressedBitmap::SwapOut() {
    try {
        StartSwapOut();
    } catch (const Exception&) {
        throw;
    } catch (const std::exception& e) {
        // Not even started (memory ran out): told in the words of the other failures.
        RaiseException("Cannot swap an undo step out. " + ErrorMessage(e));
    }
    if (!EndSwapOut(true).value_or(true)) RaiseException(FSwapError);
}

bool TCompressedBitmap::StartSwapOut(bool ThreadOnly) {
    if (FCompressed || FJob) return true;
    if (FTiles && FTiles->Count() == 0) {
        FCompressed = true;
        return true;
    }
    // Handed to the thread before anything changes here: a job that cannot be made or queued
    // leaves the copy in memory, as it was. Without a thread it is written here and now.
    auto job = NewJob();
    if (FThread == nullptr || !FThread->Post(job)) {
        if (ThreadOnly && FThread != nullptr) return false;
        job->State = job->Perform();
    }
    if (!FTiles) {
        FWidth = FBitmap->Width();
        FHeight = FBitmap->Height();
    }
    FJob = std::move(job);
    FCompressed = true;
    return true;
}

std::optional<bool> TCompressedBitmap::EndSwapOut(bool Wait) {
    if (!FJob) return std::nullopt;
    if (FThread != nullptr && !FThread->Over(*FJob, Wait)) return std::nullopt;
    // From here on nothing can fail (the strings move, the file goes without raising): the
    // copy is either swapped out with its file or in memory without one, never between.
    std::shared_ptr<TSwapJob> job = std::move(FJob);
    if (job->State == TSwapJob::TState::Written) {
        FFileName = std::move(job->FileName);
        FChecksum = job->Checksum;
        ReleasePixels();
        return true;
    }
    // Only a whole file lets the pixels go: they stay, and so does the history.
    FCompressed = false;
    FSwapError = std::move(job->Error);
    Drop(job->FileName);
    return false;
}

std::string TCompressedBitmap::CancelSwapOut() {
    std::shared_ptr<TSwapJob> job = std::move(FJob);
    if (FThread != nullptr) FThread->Stop(*job);
    FCompressed = false;
    // The thread is done with the job.
    return std::move(job->FileName);
}

void TCompressedBitmap::SwapIn() {
    CheckSwapFile(FFileName);
    auto bitmap = std::make_unique<TBitmap32>();
    try {
        TFileStream file(FFileName, TFileMode::fmOpenRead);
        ReadBmp(*bitmap, file);
    } catch (const std::bad_alloc& e) {
        RaiseException(SwapInFailure(FFileName, ErrorMessage(e)));
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

void TCompressedBitmap::ReadTiles(TBitmap32* Target) {
    PixelsChange();
    if (FTiles->Count() == 0) {
        FCompressed = false;
        return;
    }
    CheckSwapFile(FFileName);
    try {
        FTiles->ReadBack(FFileName, FChecksum, Target, FThread);
    } catch (const std::bad_alloc& e) {
        RaiseException(SwapInFailure(FFileName, ErrorMessage(e)));
    } catch (const std::exception& e) {
        throw ESwapFileLost(SwapInFailure(FFileName, e.what()));
    }
    // The pixels have moved: what follows cannot fail.
    Drop(FFileName);
    FFileName.clear();
    FCompressed = false;
}
