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
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <new>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <utility>

static_assert(std::endian::native == std::endian::little, "swap files hold the pixel words as memory does");

namespace {
// Tiles of 64 x 64 pixels (16 KB), kept in blocks of up to 1 MB.
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
    // No name: the temporary-file service could not give one, and Reason says why.
    if (FileName.empty()) return "Cannot swap an undo step out. " + Reason;
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

    // Runs Task on the thread soon (it is destroyed there too). When this raises, Task is
    // as it was.
    void Later(std::function<void()>&& Task) {
        {
            std::lock_guard lock(FMutex);
            Start();
            FTasks.push_back(std::move(Task));
        }
        FWake.notify_all();
    }

    // Blocks mapped in advance for reading a swap file back: the thread keeps room for Pixels
    // pixels in them, in whole blocks and one for the rest.
    void SetReserve(size_t Pixels) {
        {
            std::lock_guard lock(FMutex);
            if (FReserveTarget == Pixels) return;
            // The room for them is made here, so that the thread never allocates under its lock.
            const size_t blocks = (Pixels + BlockPixels - 1) / BlockPixels + 1;
            if (FReserve.capacity() < blocks) FReserve.reserve(blocks);
            FReserveTarget = Pixels;
            if (Pixels > 0) Start();
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

    // The smallest block of the reserve with room for Pixels pixels, or an empty one when it
    // has none.
    TPixelBlock TakeBlock(size_t Pixels) {
        std::lock_guard lock(FMutex);
        auto best = FReserve.end();
        for (auto it = FReserve.begin(); it != FReserve.end(); ++it)
            if (it->Pixels() >= Pixels && (best == FReserve.end() || it->Pixels() < best->Pixels()))
                best = it;
        if (best == FReserve.end()) return {};
        TPixelBlock block = std::move(*best);
        FReserve.erase(best);
        Reserved(block, -1);
        return block;
    }

    int64_t ReservedBytes() const {
        return static_cast<int64_t>(FReservedBytes.load(std::memory_order_relaxed));
    }

    // Keeps the blocks the reserve lacks for it and frees the others, on the thread (here when
    // the thread cannot take them).
    void Recycle(std::vector<TPixelBlock> Blocks) {
        {
            std::lock_guard lock(FMutex);
            for (auto it = Blocks.begin(); it != Blocks.end() && FReserve.size() < FReserve.capacity();)
                if (FReservePixels + it->Pixels() <= FReserveTarget) {
                    Reserved(*it, 1);
                    FReserve.push_back(std::move(*it));
                    it = Blocks.erase(it);
                } else {
                    ++it;
                }
        }
        if (Blocks.empty()) return;
        try {
            Later([blocks = std::make_shared<std::vector<TPixelBlock>>(std::move(Blocks))] {});
        } catch (...) {
            // Freed here then (Blocks still holds them when the task could not be made).
        }
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
                return FStopping || !FJobs.empty() || !FTasks.empty() || FReservePixels != FReserveTarget;
            });
            // Nothing the thread does may end the program: a task or a block that fails leaves
            // things as they were (a read-back without a reserve maps its own blocks).
            if (!FTasks.empty()) {
                std::function<void()> task = std::move(FTasks.front());
                FTasks.pop_front();
                lock.unlock();
                try {
                    task();
                } catch (...) {}
                task = nullptr;
                lock.lock();
                continue;
            }
            if (FReservePixels > FReserveTarget) {
                TPixelBlock spare = std::move(FReserve.back());
                FReserve.pop_back();
                Reserved(spare, -1);
                lock.unlock();
                spare = TPixelBlock();
                lock.lock();
                continue;
            }
            if (FReservePixels < FReserveTarget && !FStopping) {
                const size_t pixels = std::min(BlockPixels, FReserveTarget - FReservePixels);
                lock.unlock();
                TPixelBlock block;
                try {
                    block = TPixelBlock(pixels, true);
                } catch (const std::exception&) {}
                lock.lock();
                // Out of memory: no more blocks until the history asks for a reserve again.
                if (block.Bits() == nullptr || FReserve.size() >= FReserve.capacity()) {
                    FReserveTarget = FReservePixels;
                } else {
                    Reserved(block, 1);
                    FReserve.push_back(std::move(block));
                }
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
    // Counts Block into the reserve's figures (Sign 1) or out of them (Sign -1).
    void Reserved(const TPixelBlock& Block, int Sign) {
        if (Sign > 0) {
            FReservePixels += Block.Pixels();
            FReservedBytes.fetch_add(Block.Bytes(), std::memory_order_relaxed);
        } else {
            FReservePixels -= Block.Pixels();
            FReservedBytes.fetch_sub(Block.Bytes(), std::memory_order_relaxed);
        }
    }

    std::vector<TPixelBlock> FReserve;
    size_t FReservePixels = 0; // in the blocks of the reserve
    size_t FReserveTarget = 0;
    std::atomic<size_t> FReservedBytes{0};
    bool FStopping = false;
    std::thread FThread;
};

TSwapThread& SwapThread() {
    static TSwapThread thread;
    return thread;
}

// Runs Task on the swap thread, or here once that is gone or cannot take it.
void Later(std::function<void()> Task) {
    if (!TSwapThread::Gone().load()) try {
            SwapThread().Later(std::move(Task));
            return;
        } catch (...) {}
    Task();
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
    if (!FTiled || FCompressed || FSealed || !IntersectRect(r, R, TRect{0, 0, FPictureWidth, FPictureHeight}))
        return;
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

void TCompressedBitmap::ReleasePixels() {
    for (TTile& tile : FTiles)
        tile.Bits = nullptr;
    FBlockFree = 0;
    // Giving a picture's worth of memory back takes milliseconds: the swap thread does it, or
    // this thread when it cannot.
    if (!TSwapThread::Gone().load()) try {
            if (FBitmap)
                SwapThread().Later([bitmap = std::shared_ptr<TBitmap32>(std::move(FBitmap))] {});
            else if (!FBlocks.empty())
                SwapThread().Recycle(std::move(FBlocks));
        } catch (...) {}
    FBitmap.reset();
    FBlocks.clear();
}

void TCompressedBitmap::ReserveForReadBack(size_t Pixels) {
    if (TSwapThread::Gone().load()) return;
    try {
        SwapThread().SetReserve(Pixels);
    } catch (...) {
        // No reserve then: a read-back maps its own blocks.
    }
}

int64_t TCompressedBitmap::ReservedBytes() {
    return TSwapThread::Gone().load() ? 0 : SwapThread().ReservedBytes();
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
    if (FTiled) Seal();
    // Handed to the thread before anything changes here: a job that cannot be made or queued
    // leaves the copy in memory, as it was.
    auto job = NewJob();
    SwapThread().Post(job);
    if (!FTiled) {
        FWidth = FBitmap->Width();
        FHeight = FBitmap->Height();
    }
    FJob = std::move(job);
    FCompressed = true;
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
        Fold(0, PixelSum(bitmap->Bits(), PixelsOf(bitmap->BoundsRect()))) != FChecksum)
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
            TPixelBlock block = TSwapThread::Gone().load() ? TPixelBlock() : SwapThread().TakeBlock(pixels);
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
        if (!TSwapThread::Gone().load()) SwapThread().Recycle(std::move(blocks));
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
                sum = Fold(sum, PixelSum(from, PixelsOf(tile.Rect)));
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
        if (!TSwapThread::Gone().load()) SwapThread().Recycle(std::move(blocks));
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
