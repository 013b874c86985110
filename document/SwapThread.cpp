// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/SwapThread.h"

#include "document/UTempManager.h"
#include "platform/rtl/Exception.h"

#include <algorithm>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <system_error>
#include <unistd.h>
#include <utility>

TSwapJob::TState TSwapJob::Perform() {
    try {
        // Asked for here, so that the window's thread never waits for the service's log.
        FileName = TempManager().GetTempFileName(Ext);
        Checksum = WriteWholeFile(FileName, Write, &Stop);
        return TState::Written;
    } catch (const TStopped&) {
        return TState::Stopped;
    } catch (const std::exception& e) {
        // The whole message is made here, so that the owner takes the outcome without
        // allocating. No name: the temporary-file service could not give one, and e says why.
        try {
            Error = FileName.empty()
                        ? "Cannot swap an undo step out. " + ErrorMessage(e)
                        : "Cannot swap an undo step out to \"" + FileName + "\". " + ErrorMessage(e);
        } catch (const std::exception&) {} // no memory even for the message: it stays empty
    }
    return TState::Failed;
}

TSwapThread::~TSwapThread() {
    {
        std::lock_guard lock(FMutex);
        FStopping = true;
    }
    FWake.notify_all();
    if (FThread.joinable()) FThread.join();
}

bool TSwapThread::Post(const std::shared_ptr<TSwapJob>& Job) {
    {
        std::lock_guard lock(FMutex);
        if (!Start()) return false;
        FJobs.push_back(Job);
    }
    FWake.notify_all();
    return true;
}

bool TSwapThread::Later(std::function<void()>&& Task) {
    {
        std::lock_guard lock(FMutex);
        if (!Start()) return false;
        FTasks.push_back(std::move(Task));
        ++FTasksGiven;
    }
    FWake.notify_all();
    return true;
}

void TSwapThread::WaitForTasks() {
    std::unique_lock lock(FMutex);
    const uint64_t given = FTasksGiven;
    FOver.wait(lock, [&] { return FTasksDone >= given; });
}

bool TSwapThread::Over(const TSwapJob& Job, bool Wait) {
    std::unique_lock lock(FMutex);
    if (Wait) FOver.wait(lock, [&] { return Job.Over(); });
    return Job.Over();
}

void TSwapThread::Stop(TSwapJob& Job) {
    std::unique_lock lock(FMutex);
    Job.Stop.store(true);
    if (Job.State == TSwapJob::TState::Queued) Job.State = TSwapJob::TState::Stopped;
    FOver.wait(lock, [&] { return Job.Over(); });
}

void TSwapThread::SetReserve(size_t Pixels) {
    {
        std::lock_guard lock(FMutex);
        if (FReserveTarget == Pixels || (Pixels > 0 && !Start())) return;
        // The room for them is made here, so that the thread never allocates under its lock.
        const size_t blocks = (Pixels + BlockPixels - 1) / BlockPixels + 1;
        if (FReserve.capacity() < blocks) FReserve.reserve(blocks);
        FReserveTarget = Pixels;
    }
    FWake.notify_all();
}

TPixelBlock TSwapThread::TakeBlock(size_t Pixels) {
    std::lock_guard lock(FMutex);
    auto best = FReserve.end();
    for (auto it = FReserve.begin(); it != FReserve.end(); ++it)
        if (it->Pixels() >= Pixels && (best == FReserve.end() || it->Pixels() < best->Pixels())) best = it;
    if (best == FReserve.end()) return {};
    TPixelBlock block = std::move(*best);
    FReserve.erase(best);
    Reserved(block, -1);
    return block;
}

void TSwapThread::Recycle(std::vector<TPixelBlock> Blocks) {
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
    // Freed here when the thread cannot take them (Blocks still holds them when the task could
    // not be made, the task when the thread would not start).
    try {
        Later([blocks = std::make_shared<std::vector<TPixelBlock>>(std::move(Blocks))] {});
    } catch (...) {}
}

void TSwapThread::Reserved(const TPixelBlock& Block, int Sign) {
    if (Sign > 0) {
        FReservePixels += Block.Pixels();
        FReservedBytes.fetch_add(Block.Bytes(), std::memory_order_relaxed);
    } else {
        FReservePixels -= Block.Pixels();
        FReservedBytes.fetch_sub(Block.Bytes(), std::memory_order_relaxed);
    }
}

bool TSwapThread::Start() {
    if (FThread.joinable()) return true;
    try {
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
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void TSwapThread::Run() {
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
            ++FTasksDone;
            FOver.notify_all();
            continue;
        }
        if (FReservePixels > FReserveTarget || (FStopping && !FReserve.empty())) {
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
            if (FStopping) return; // with every task done
            continue;
        }
        std::shared_ptr<TSwapJob> job = std::move(FJobs.front());
        FJobs.pop_front();
        if (job->State != TSwapJob::TState::Queued) continue; // stopped while queued
        job->State = TSwapJob::TState::Running;
        lock.unlock();
        const TSwapJob::TState outcome = job->Perform();
        lock.lock();
        job->State = outcome;
        FOver.notify_all();
    }
}
