// SPDX-License-Identifier: GPL-3.0-or-later
// The swap thread of an undo history: it writes the swap files of the copies that go out, one
// after the other, each under a new name it asks the temporary-file service for; it frees the
// memory and deletes the files the copies let go of, so that the window's thread does neither;
// and it keeps blocks mapped in advance for reading the next copy back. The history owns it: the
// thread starts at its first work and ends with the history, once every task it was given is done.
// When the system will not start it (a limit on threads), nothing is queued and the callers do
// the work themselves; each new piece of work tries to start it again.
#pragma once

#include "document/PixelBlock.h"
#include "document/StoppableStream.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// One swap-out. State changes under the thread's mutex; the thread writes the outcome (FileName,
// Checksum, Error) before the state leaves Running, and the owner reads it only once the job is
// over. The pixels that Write reads must not change meanwhile: the owner stops the job before it
// touches them.
struct TSwapJob {
    enum class TState { Queued, Running, Written, Failed, Stopped };
    TState State = TState::Queued;
    std::atomic<bool> Stop{false};
    // The file's extension, for what Write writes: ".bmp", ".tiles".
    const char* Ext = ".bmp";
    std::string FileName;
    TWriteSwap Write;
    uint64_t Checksum = 0;
    // Why it failed: "Cannot swap an undo step out to "<name>". <reason>" (without a name when
    // none could be had).
    std::string Error;

    bool Over() const { return State != TState::Queued && State != TState::Running; }
    // Writes the job's file on the calling thread, under a new temporary name, and returns the
    // outcome for State. Used by the thread, and by copies that have none.
    TState Perform();
};

class TSwapThread {
public:
    TSwapThread() = default;
    // Does the tasks still queued, then ends the thread. Every job must be over by then.
    ~TSwapThread();
    TSwapThread(const TSwapThread&) = delete;
    TSwapThread& operator=(const TSwapThread&) = delete;

    // Queues Job; false when the system will not start the thread. When this raises (no
    // memory) or returns false, nothing is queued.
    bool Post(const std::shared_ptr<TSwapJob>& Job);
    // Runs Task on the thread soon (it is destroyed there too); false when the system will not
    // start the thread. When this raises or returns false, Task is as it was.
    bool Later(std::function<void()>&& Task);
    // Waits until every task given to Later so far has been done.
    void WaitForTasks();
    // True once Job is over; with Wait, waits for that first.
    bool Over(const TSwapJob& Job, bool Wait);
    // Stops Job, at once while it is queued, else at its next write, and waits until it is over.
    void Stop(TSwapJob& Job);

    // Has the thread keep blocks mapped for Pixels pixels, in whole blocks and one for the rest,
    // so that reading a copy back does not wait for the system to map its memory. Memory that
    // runs out on the thread stops the filling until the next call with another figure; without
    // a thread there is no reserve until a call that starts one.
    void SetReserve(size_t Pixels);
    // The smallest block of the reserve with room for Pixels pixels, or an empty one.
    TPixelBlock TakeBlock(size_t Pixels);
    // Keeps the blocks the reserve lacks and frees the others on the thread (here when the thread
    // cannot take them).
    void Recycle(std::vector<TPixelBlock> Blocks);
    // The memory the reserve holds.
    int64_t ReservedBytes() const {
        return static_cast<int64_t>(FReservedBytes.load(std::memory_order_relaxed));
    }

private:
    // Starts the thread unless it runs; false when the system will not start it.
    bool Start();
    void Run();
    // Counts Block into the reserve's figures (Sign 1) or out of them (Sign -1).
    void Reserved(const TPixelBlock& Block, int Sign);

    std::mutex FMutex;
    std::condition_variable FWake;
    std::condition_variable FOver; // notified whenever a job or a task is over
    std::deque<std::shared_ptr<TSwapJob>> FJobs;
    std::deque<std::function<void()>> FTasks;
    uint64_t FTasksGiven = 0;
    uint64_t FTasksDone = 0;
    std::vector<TPixelBlock> FReserve;
    size_t FReservePixels = 0; // in the blocks of the reserve
    size_t FReserveTarget = 0;
    std::atomic<size_t> FReservedBytes{0};
    bool FStopping = false;
    std::thread FThread;
};
