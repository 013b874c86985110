// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/CompressedBitmap.h"

#include "document/UTempManager.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/BmpCodec.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <utility>

static_assert(std::endian::native == std::endian::little, "swap files hold the pixel words as memory does");

namespace {
// Tiles of 64 x 64 pixels (16 KB), kept in blocks of 1 MB: a block is large enough to be a
// mapping of its own, which goes back to the system when it is freed.
constexpr int TileSize = 64;
constexpr size_t BlockPixels = 1 << 18;
// A swap file of tiles is read in pieces of about this many pixels, which stay in the cache.
constexpr size_t ReadPixels = 1 << 16;

int32_t MemorySizeOf(int64_t Width, int64_t Height) {
    return static_cast<int32_t>(Width * Height * 4 + 54);
}

size_t PixelsOf(const TRect& R) {
    return static_cast<size_t>(R.Width()) * static_cast<size_t>(R.Height());
}

// A checksum of pixel words, so that a swap file changed behind our back is noticed: eight
// lanes of multiply-rotate rounds over 64-bit words, then the word left over; each round is one
// to one, so one changed word always changes the result.
constexpr uint64_t Prime1 = 0x9E3779B185EBCA87ULL;
constexpr uint64_t Prime2 = 0xC2B2AE3D27D4EB4FULL;

uint64_t Round64(uint64_t Acc, uint64_t Input) {
    return std::rotl((Acc ^ Input) * Prime1, 29);
}

uint64_t Mix(uint64_t H) {
    H ^= H >> 33;
    H *= 0xFF51AFD7ED558CCDULL;
    H ^= H >> 33;
    H *= 0xC4CEB9FE1A85EC53ULL;
    return H ^ (H >> 33);
}

uint64_t PixelSum(const TColor32* Pixels, size_t Count) {
    constexpr size_t Lanes = 8;
    const auto* bytes = reinterpret_cast<const unsigned char*>(Pixels);
    const size_t words = Count / 2;
    uint64_t lane[Lanes];
    for (size_t k = 0; k < Lanes; ++k)
        lane[k] = Prime2 * (k + 1);
    size_t i = 0;
    for (; i + Lanes <= words; i += Lanes)
        for (size_t k = 0; k < Lanes; ++k) {
            uint64_t w;
            std::memcpy(&w, bytes + (i + k) * 8, 8);
            lane[k] = Round64(lane[k], w);
        }
    for (size_t k = 0; i < words; ++i, ++k) {
        uint64_t w;
        std::memcpy(&w, bytes + i * 8, 8);
        lane[k] = Round64(lane[k], w);
    }
    uint64_t h = Count;
    for (size_t k = 0; k < Lanes; ++k)
        h += std::rotl(Mix(lane[k]), static_cast<int>(7 * k));
    if (Count % 2 != 0) h = Round64(h, Pixels[Count - 1]);
    return Mix(h);
}

// The checksum of pieces summed one after the other.
uint64_t Fold(uint64_t Sum, uint64_t Piece) {
    return Mix(Round64(Sum, Piece) + Prime2);
}

// Fresh memory is mapped page by page as it is first written; asking for all of it at once
// costs less than the faults one by one.
void Populate(TColor32* Block, size_t Pixels) {
#ifdef MADV_POPULATE_WRITE
    const uintptr_t first = (reinterpret_cast<uintptr_t>(Block) + 4095) & ~uintptr_t{4095};
    const uintptr_t end = reinterpret_cast<uintptr_t>(Block + Pixels) & ~uintptr_t{4095};
    if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
#else
    (void)Block;
    (void)Pixels;
#endif
}

// A block for tiles, mapped.
std::unique_ptr<TColor32[]> NewBlock() {
    auto block = std::make_unique_for_overwrite<TColor32[]>(BlockPixels);
    Populate(block.get(), BlockPixels);
    return block;
}

// Thrown inside a write that was asked to stop; never leaves this unit.
struct TStopped {};

// Passes writes on to a file until asked to stop.
class TStoppableStream : public TStream {
public:
    TStoppableStream(TStream& Target, const std::atomic<bool>* Stop) : FTarget(Target), FStop(Stop) {}
    size_t Read(void* Buffer, size_t Count) override { return FTarget.Read(Buffer, Count); }
    size_t Write(const void* Buffer, size_t Count) override {
        if (FStop != nullptr && FStop->load(std::memory_order_relaxed)) throw TStopped{};
        return FTarget.Write(Buffer, Count);
    }
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override { return FTarget.Seek(Offset, Origin); }
    void SetSize(int64_t NewSize) override { FTarget.SetSize(NewSize); }

private:
    TStream& FTarget;
    const std::atomic<bool>* FStop;
};

// Writes a copy's swap file to Stream and returns the checksum of its pixels.
using TWriteSwap = std::function<uint64_t(TStream& Stream)>;

// "Cannot swap an undo step out to "<name>". <reason>"
std::string SwapOutFailure(const std::string& FileName, const std::string& Reason) {
    return "Cannot swap an undo step out to \"" + FileName + "\". " + Reason;
}

// Writes FileName whole and closed, or raises; a file that is not whole is removed.
uint64_t WriteSwapFile(const std::string& FileName, const TWriteSwap& Write, const std::atomic<bool>* Stop) {
    try {
        TFileStream file(FileName, TFileMode::fmCreate);
        TStoppableStream stream(file, Stop);
        const uint64_t sum = Write(stream);
        file.Close();
        return sum;
    } catch (...) {
        std::remove(FileName.c_str());
        throw;
    }
}
} // namespace

// One swap-out on the swap thread. State changes under the thread's mutex; the thread writes the
// outcome (FileName, Checksum, Error) before the state leaves Running, and the owner reads it
// only once the job is over. The pixels that Write reads do not change meanwhile: the owner stops
// the job before it touches them.
struct TSwapJob {
    enum class TState { Queued, Running, Written, Failed, Stopped };
    TState State = TState::Queued;
    std::atomic<bool> Stop{false};
    std::string FileName;
    TWriteSwap Write;
    uint64_t Checksum = 0;
    std::string Error;

    bool Over() const { return State != TState::Queued && State != TState::Running; }
};

namespace {
// The swap thread: runs small tasks (freeing memory, deleting files) first, then keeps the
// reserve of blocks at its target (an undo may wait for it), then writes the queued swap files one
// after the other, each under a new name it asks the temporary-file service for. The thread
// starts at its first work, and stops at exit once every job it was given is over.
class TSwapThread {
public:
    ~TSwapThread() {
        {
            std::lock_guard lock(FMutex);
            FStopping = true;
        }
        FWake.notify_all();
        if (FThread.joinable()) FThread.join();
        Gone().store(true);
    }

    // Set once the thread is gone (at exit): from then on tasks run on the spot.
    static std::atomic<bool>& Gone() {
        static std::atomic<bool> gone{false};
        return gone;
    }

    void Post(std::shared_ptr<TSwapJob> Job) {
        {
            std::lock_guard lock(FMutex);
            Start();
            FJobs.push_back(std::move(Job));
        }
        FWake.notify_all();
    }

    // Runs Task on the thread soon (it is destroyed there too).
    void Later(std::function<void()> Task) {
        {
            std::lock_guard lock(FMutex);
            Start();
            FTasks.push_back(std::move(Task));
        }
        FWake.notify_all();
    }

    // Blocks mapped in advance for reading a swap file back: the thread keeps Blocks of them.
    void SetReserve(size_t Blocks) {
        {
            std::lock_guard lock(FMutex);
            if (FReserveTarget == Blocks) return;
            FReserveTarget = Blocks;
            if (Blocks > 0) Start();
        }
        FWake.notify_all();
    }

    // True once Job's swap-out is over; with Wait, waits for that first.
    bool Over(const TSwapJob& Job, bool Wait) {
        std::unique_lock lock(FMutex);
        if (Wait) FOver.wait(lock, [&] { return Job.Over(); });
        return Job.Over();
    }

    // Stops Job, at once while it is queued, else at its next write, and waits until it is over.
    void Stop(TSwapJob& Job) {
        std::unique_lock lock(FMutex);
        Job.Stop.store(true);
        if (Job.State == TSwapJob::TState::Queued) Job.State = TSwapJob::TState::Stopped;
        FOver.wait(lock, [&] { return Job.Over(); });
    }

    // A block of the reserve, or nil when it is empty.
    std::unique_ptr<TColor32[]> TakeBlock() {
        std::lock_guard lock(FMutex);
        if (FReserve.empty()) return nullptr;
        std::unique_ptr<TColor32[]> block = std::move(FReserve.back());
        FReserve.pop_back();
        return block;
    }

    // Keeps the blocks the reserve lacks for it and frees the others, on the thread.
    void Recycle(std::vector<std::unique_ptr<TColor32[]>> Blocks) {
        {
            std::lock_guard lock(FMutex);
            while (!Blocks.empty() && FReserve.size() < FReserveTarget) {
                FReserve.push_back(std::move(Blocks.back()));
                Blocks.pop_back();
            }
        }
        if (!Blocks.empty()) Later([blocks = std::make_shared<decltype(Blocks)>(std::move(Blocks))] {});
    }

private:
    void Start() {
        if (FThread.joinable()) return;
        FThread = std::thread([this] {
#ifdef __linux__
            // Background work: waking the thread must not take the processor from the window's
            // thread that woke it, nor its work the processor from the window's thread.
            sched_param batch{};
            pthread_setschedparam(pthread_self(), SCHED_BATCH, &batch);
            setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
#endif
            Run();
        });
    }

    void Run() {
        std::unique_lock lock(FMutex);
        for (;;) {
            FWake.wait(lock, [this] {
                return FStopping || !FJobs.empty() || !FTasks.empty() || FReserve.size() != FReserveTarget;
            });
            if (!FTasks.empty()) {
                std::function<void()> task = std::move(FTasks.front());
                FTasks.pop_front();
                lock.unlock();
                task();
                task = nullptr;
                lock.lock();
                continue;
            }
            if (FReserve.size() > FReserveTarget) {
                std::vector<std::unique_ptr<TColor32[]>> spare;
                while (FReserve.size() > FReserveTarget) {
                    spare.push_back(std::move(FReserve.back()));
                    FReserve.pop_back();
                }
                lock.unlock();
                spare.clear();
                lock.lock();
                continue;
            }
            if (FReserve.size() < FReserveTarget && !FStopping) {
                lock.unlock();
                std::unique_ptr<TColor32[]> block = NewBlock();
                lock.lock();
                FReserve.push_back(std::move(block));
                continue;
            }
            if (FJobs.empty()) {
                if (FStopping) return; // with every job it was given over
                continue;
            }
            std::shared_ptr<TSwapJob> job = std::move(FJobs.front());
            FJobs.pop_front();
            if (job->State != TSwapJob::TState::Queued) continue; // stopped while queued
            job->State = TSwapJob::TState::Running;
            lock.unlock();
            TSwapJob::TState outcome = TSwapJob::TState::Written;
            try {
                // Asked for here, so that the window's thread never waits for the service's log.
                job->FileName = TempManager().GetTempFileName(".bmp");
                job->Checksum = WriteSwapFile(job->FileName, job->Write, &job->Stop);
            } catch (const TStopped&) {
                outcome = TSwapJob::TState::Stopped;
            } catch (const std::exception& e) {
                job->Error = e.what();
                outcome = TSwapJob::TState::Failed;
            }
            lock.lock();
            job->State = outcome;
            FOver.notify_all();
        }
    }

    std::mutex FMutex;
    std::condition_variable FWake;
    std::condition_variable FOver; // notified whenever a job's swap-out is over
    std::deque<std::shared_ptr<TSwapJob>> FJobs;
    std::deque<std::function<void()>> FTasks;
    std::vector<std::unique_ptr<TColor32[]>> FReserve;
    size_t FReserveTarget = 0;
    bool FStopping = false;
    std::thread FThread;
};

TSwapThread& SwapThread() {
    static TSwapThread thread;
    return thread;
}

// Runs Task on the swap thread, or here once that is gone.
void Later(std::function<void()> Task) {
    if (TSwapThread::Gone().load())
        Task();
    else
        SwapThread().Later(std::move(Task));
}

// Deleting a file of megabytes takes the file system milliseconds: the swap thread does it.
void RemoveLater(const std::string& FileName) {
    Later([FileName] { std::remove(FileName.c_str()); });
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
    FMemorySize = MemorySizeOf(Width, Height);
}

TCompressedBitmap::~TCompressedBitmap() {
    // A copy freed leaves no file behind, not even one that its swap-out under way had begun (a
    // copy on its way out has no other).
    if (FJob) FFileName = CancelSwapOut();
    if (!FFileName.empty()) std::remove(FFileName.c_str());
    ReleasePixels();
}

void TCompressedBitmap::SetBitmap(std::unique_ptr<TBitmap32> B) {
    FBitmap = std::move(B);
    FMemorySize = FBitmap ? MemorySizeOf(FBitmap->Width(), FBitmap->Height()) : 0;
}

void TCompressedBitmap::KeepBefore(const TBitmap32& Picture, const TRect& R) {
    TRect r;
    if (!FTiled || FCompressed || !IntersectRect(r, R, TRect{0, 0, FPictureWidth, FPictureHeight})) return;
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
                FBlocks.push_back(std::make_unique_for_overwrite<TColor32[]>(BlockPixels));
                FBlockFree = BlockPixels;
            }
            tile.Bits = FBlocks.back().get() + (BlockPixels - FBlockFree);
            FBlockFree -= pixels;
            for (int y = tile.Rect.Top; y < tile.Rect.Bottom; ++y)
                std::memcpy(tile.Bits + static_cast<size_t>(y - tile.Rect.Top) * w,
                            Picture.ScanLine(y) + tile.Rect.Left, w * sizeof(TColor32));
            at = static_cast<int32_t>(FTiles.size());
            FTiles.push_back(tile);
            FGrid = FTiles.size() == 1 ? TRect{tx, ty, tx + 1, ty + 1}
                                       : TRect{std::min(FGrid.Left, tx), std::min(FGrid.Top, ty),
                                               std::max(FGrid.Right, tx + 1), std::max(FGrid.Bottom, ty + 1)};
        }
}

void TCompressedBitmap::Cut(const TRect& R) {
    FMemorySize = MemorySizeOf(R.Width(), R.Height());
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
    // Band by band of the tile grid, row by row, the tiles of a row from left to right: the
    // picture is walked in the order of its memory.
    const int cols = (FPictureWidth + TileSize - 1) / TileSize;
    TColor32 held[TileSize];
    for (int ty = FGrid.Top; ty < FGrid.Bottom; ++ty) {
        const int32_t* at = FTileAt.data() + static_cast<size_t>(ty) * cols;
        const int y1 = std::min(FPictureHeight, (ty + 1) * TileSize);
        for (int y = ty * TileSize; y < y1; ++y) {
            TColor32* line = Target.ScanLine(y);
            for (int tx = FGrid.Left; tx < FGrid.Right; ++tx) {
                if (at[tx] < 0) continue;
                const TTile& tile = FTiles[static_cast<size_t>(at[tx])];
                const size_t w = static_cast<size_t>(tile.Rect.Width());
                TColor32* a = tile.Bits + static_cast<size_t>(y - tile.Rect.Top) * w;
                std::memcpy(held, a, w * sizeof(TColor32));
                std::memcpy(a, line + tile.Rect.Left, w * sizeof(TColor32));
                std::memcpy(line + tile.Rect.Left, held, w * sizeof(TColor32));
            }
        }
    }
}

void TCompressedBitmap::ReleasePixels() {
    for (TTile& tile : FTiles)
        tile.Bits = nullptr;
    FBlockFree = 0;
    // Giving a picture's worth of memory back takes milliseconds: the swap thread does it.
    if (TSwapThread::Gone().load()) {
        FBitmap.reset();
        FBlocks.clear();
    } else if (FBitmap) {
        SwapThread().Later([bitmap = std::shared_ptr<TBitmap32>(std::move(FBitmap))] {});
    } else if (!FBlocks.empty()) {
        SwapThread().Recycle(std::move(FBlocks));
        FBlocks.clear();
    }
}

void TCompressedBitmap::ReserveForReadBack(size_t Blocks) {
    if (!TSwapThread::Gone().load()) SwapThread().SetReserve(Blocks);
}

size_t TCompressedBitmap::BlocksToReadBack() const {
    if (!FTiled || !FCompressed || FJob) return 0;
    size_t blocks = 0, free = 0;
    for (const TTile& tile : FTiles) {
        const size_t pixels = PixelsOf(tile.Rect);
        if (free < pixels) {
            ++blocks;
            free = BlockPixels;
        }
        free -= pixels;
    }
    return blocks;
}

// ---------------------------------------------------------------------------------------------
// Swapping

void TCompressedBitmap::Drop(const std::string& FileName) {
    if (!FileName.empty()) RemoveLater(FileName); // empty: stopped before the thread named a file
}

std::shared_ptr<TSwapJob> TCompressedBitmap::NewJob() const {
    auto job = std::make_shared<TSwapJob>();
    if (!FTiled) {
        const TBitmap32* bitmap = FBitmap.get();
        job->Write = [bitmap](TStream& Stream) {
            WriteBmp(*bitmap, Stream);
            return Fold(0, PixelSum(bitmap->Bits(), PixelsOf(bitmap->BoundsRect())));
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
            sum = Fold(sum, PixelSum(tile.Bits, pixels));
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
        FChecksum = WriteSwapFile(name, NewJob()->Write, nullptr);
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
    if (!FTiled) {
        FWidth = FBitmap->Width();
        FHeight = FBitmap->Height();
    }
    auto job = NewJob();
    FJob = job;
    FCompressed = true;
    SwapThread().Post(std::move(job));
}

std::optional<bool> TCompressedBitmap::EndSwapOut(bool Wait) {
    if (!FJob) return std::nullopt;
    // Once the thread is gone (at exit) every job it had is over.
    if (!TSwapThread::Gone().load() && !SwapThread().Over(*FJob, Wait)) return std::nullopt;
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
    if (!TSwapThread::Gone().load()) SwapThread().Stop(*job);
    FCompressed = false;
    return job->FileName;
}

void TCompressedBitmap::SwapIn() {
    auto bitmap = std::make_unique<TBitmap32>();
    try {
        TFileStream file(FFileName, TFileMode::fmOpenRead);
        ReadBmp(*bitmap, file);
    } catch (const Exception& e) {
        RaiseException("Cannot read the undo step swapped out to \"" + FFileName + "\". " + e.Message());
    }
    if (bitmap->Width() != FWidth || bitmap->Height() != FHeight ||
        Fold(0, PixelSum(bitmap->Bits(), PixelsOf(bitmap->BoundsRect()))) != FChecksum)
        RaiseException("Cannot read the undo step swapped out to \"" + FFileName +
                       "\". The file was changed");
    FBitmap = std::move(bitmap);
    // Back in memory the pixels change with the next undo or redo, so the file is stale: a
    // later swap-out writes a new one.
    std::remove(FFileName.c_str());
    FFileName.clear();
}

// Each tile read back is checked, then moved in place at once while it is in the cache: with a
// target, into the target, and the tile takes the target's pixels there. A file found damaged on
// the way puts the target's pixels back.
void TCompressedBitmap::ReadTiles(TBitmap32* Target) {
    if (FTiles.empty()) {
        FCompressed = false;
        return;
    }
    size_t total = 0;
    for (const TTile& tile : FTiles)
        total += PixelsOf(tile.Rect);
    // The tiles go into blocks mapped in advance when the swap thread has some ready.
    std::vector<std::unique_ptr<TColor32[]>> blocks;
    size_t free = 0;
    auto room = [&](size_t Pixels) {
        if (free < Pixels) {
            std::unique_ptr<TColor32[]> block =
                TSwapThread::Gone().load() ? nullptr : SwapThread().TakeBlock();
            blocks.push_back(block ? std::move(block) : NewBlock());
            free = BlockPixels;
        }
        TColor32* bits = blocks.back().get() + (BlockPixels - free);
        free -= Pixels;
        return bits;
    };
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
                sum = Fold(sum, PixelSum(from, PixelsOf(tile.Rect)));
                tile.Bits = room(PixelsOf(tile.Rect));
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
        if (!TSwapThread::Gone().load()) SwapThread().Recycle(std::move(blocks));
        RaiseException("Cannot read the undo step swapped out to \"" + FFileName + "\". " + e.what());
    }
    FBlocks = std::move(blocks);
    FBlockFree = free;
    Drop(FFileName);
    FFileName.clear();
    FCompressed = false;
}
