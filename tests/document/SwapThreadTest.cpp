// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/SwapThread.h"

#include "document/PixelBlock.h"
#include "document/UTempManager.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"
#include "tests/support/AnotherUser.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {
// A job that writes Bytes bytes and gives Sum, counting in Order when it began.
std::shared_ptr<TSwapJob> NewJob(size_t Bytes, uint64_t Sum, std::vector<uint64_t>* Order = nullptr) {
    auto job = std::make_shared<TSwapJob>();
    job->Ext = ".tiles";
    job->Write = [=](TStream& Stream) {
        if (Order != nullptr) Order->push_back(Sum);
        const std::string bytes(Bytes, 'p');
        Stream.WriteBuffer(bytes.data(), bytes.size());
        return Sum;
    };
    return job;
}

// Waits up to five seconds for Ready.
template <typename F>
bool Eventually(F Ready) {
    for (int i = 0; i < 500; ++i) {
        if (Ready()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return Ready();
}
} // namespace

TEST(SwapThread, JobsAreWrittenOneAfterTheOtherEachUnderANameOfItsOwnOrFailWithoutAFile) {
    TSwapThread thread;
    std::vector<uint64_t> order; // written by the thread only, read once all are over
    std::vector<std::shared_ptr<TSwapJob>> jobs;
    for (uint64_t i = 0; i < 4; ++i) {
        jobs.push_back(NewJob(1000 + i, i, &order));
        ASSERT_TRUE(thread.Post(jobs.back()));
    }
    auto failing = std::make_shared<TSwapJob>();
    failing->Write = [](TStream& Stream) -> uint64_t {
        Stream.WriteBuffer("part", 4);
        RaiseException("No room");
    };
    ASSERT_TRUE(thread.Post(failing));
    for (uint64_t i = 0; i < 4; ++i) {
        const TSwapJob& job = *jobs[i];
        EXPECT_TRUE(thread.Over(job, true));
        EXPECT_EQ(job.State, TSwapJob::TState::Written);
        EXPECT_EQ(job.Checksum, i);
        EXPECT_EQ(fs::path(job.FileName).extension(), ".tiles");
        EXPECT_EQ(fs::file_size(job.FileName), 1000 + i);
        if (i > 0) {
            EXPECT_NE(job.FileName, jobs[i - 1]->FileName);
        }
        fs::remove(job.FileName);
    }
    EXPECT_TRUE(thread.Over(*failing, true));
    EXPECT_EQ(order, (std::vector<uint64_t>{0, 1, 2, 3}));
    EXPECT_EQ(failing->State, TSwapJob::TState::Failed);
    EXPECT_EQ(failing->Error, "Cannot swap an undo step out to \"" + failing->FileName + "\". No room");
    EXPECT_FALSE(fs::exists(failing->FileName));
}

TEST(SwapThread, AStoppedJobEndsAtOnceWhileQueuedOrAtItsNextWriteAndLeavesNoFile) {
    TSwapThread thread;
    std::atomic<bool> started{false};
    auto running = std::make_shared<TSwapJob>();
    running->Write = [&](TStream& Stream) -> uint64_t {
        started = true;
        const std::string piece(4096, 'p');
        for (int i = 0; i < 2000; ++i) { // until stopped, or for two seconds
            Stream.WriteBuffer(piece.data(), piece.size());
            std::this_thread::sleep_for(1ms);
        }
        return 0;
    };
    const auto queued = NewJob(100, 1);
    ASSERT_TRUE(thread.Post(running));
    ASSERT_TRUE(thread.Post(queued));
    ASSERT_TRUE(Eventually([&] { return started.load(); }));
    thread.Stop(*queued);
    EXPECT_EQ(queued->State, TSwapJob::TState::Stopped);
    EXPECT_TRUE(queued->FileName.empty()); // never begun
    thread.Stop(*running);
    EXPECT_EQ(running->State, TSwapJob::TState::Stopped);
    EXPECT_FALSE(running->FileName.empty());
    EXPECT_FALSE(fs::exists(running->FileName));
}

TEST(SwapThread, AnEndedThreadFinishesEveryTaskItWasGivenOnItself) {
    std::atomic<int> done{0};
    std::mutex mutex;
    std::vector<std::thread::id> freedOn;
    // Records the thread it is destroyed on.
    struct TWitness {
        TWitness(std::mutex& M, std::vector<std::thread::id>& I) : Mutex(M), Ids(I) {}
        ~TWitness() {
            std::lock_guard lock(Mutex);
            Ids.push_back(std::this_thread::get_id());
        }
        TWitness(const TWitness&) = delete;
        TWitness& operator=(const TWitness&) = delete;
        std::mutex& Mutex;
        std::vector<std::thread::id>& Ids;
    };
    {
        TSwapThread thread;
        for (int i = 0; i < 50; ++i)
            ASSERT_TRUE(thread.Later([&, witness = std::make_shared<TWitness>(mutex, freedOn)] {
                std::this_thread::sleep_for(1ms);
                ++done;
            }));
    }
    EXPECT_EQ(done, 50);
    ASSERT_EQ(freedOn.size(), 50u);
    for (const std::thread::id id : freedOn)
        EXPECT_NE(id, std::this_thread::get_id());
}

TEST(SwapThread, TheReserveHoldsBlocksForAReadBackAndGivesThemBack) {
    TSwapThread thread;
    const size_t pixels = BlockPixels + BlockPixels / 2;
    thread.SetReserve(pixels);
    ASSERT_TRUE(Eventually([&] { return thread.ReservedBytes() >= static_cast<int64_t>(pixels * 4); }));
    // The smallest block with room: the half one, then a whole one; none for more than a block.
    TPixelBlock half = thread.TakeBlock(100);
    EXPECT_EQ(half.Pixels(), BlockPixels / 2);
    EXPECT_EQ(thread.TakeBlock(2 * BlockPixels).Bits(), nullptr);
    TPixelBlock whole = thread.TakeBlock(BlockPixels);
    EXPECT_EQ(whole.Pixels(), BlockPixels);
    EXPECT_EQ(thread.ReservedBytes(), 0);
    // Given back, they fill the reserve again instead of new ones.
    std::vector<TPixelBlock> back;
    back.push_back(std::move(half));
    back.push_back(std::move(whole));
    thread.Recycle(std::move(back));
    EXPECT_TRUE(Eventually([&] { return thread.ReservedBytes() >= static_cast<int64_t>(pixels * 4); }));
    thread.SetReserve(0);
    EXPECT_TRUE(Eventually([&] { return thread.ReservedBytes() == 0; }));
}

TEST(SwapThread, AThreadTheSystemWillNotStartLeavesTheWorkToTheCallerUntilItStarts) {
    TempManager(); // made here, with its log, before the child runs as another user
    const std::string outcome = AsAnotherUser([] {
        rlimit limit{};
        getrlimit(RLIMIT_NPROC, &limit);
        const rlimit one{1, limit.rlim_max};
        if (setrlimit(RLIMIT_NPROC, &one) != 0) return std::string("no limit");
        TSwapThread thread;
        const auto job = NewJob(10, 1);
        if (thread.Post(job) || job->State != TSwapJob::TState::Queued) return std::string("posted");
        bool ran = false;
        std::function<void()> task = [&] { ran = true; };
        if (thread.Later(std::move(task))) return std::string("task taken");
        task(); // as it was
        thread.SetReserve(BlockPixels);
        std::this_thread::sleep_for(50ms);
        if (!ran || thread.ReservedBytes() != 0) return std::string("work done without a thread");
        setrlimit(RLIMIT_NPROC, &limit);
        if (!thread.Post(job) || !thread.Over(*job, true)) return std::string("not posted once it could be");
        return job->State == TSwapJob::TState::Failed ? std::string("ok") : job->Error;
    });
    // Written to a folder the other user may not write: it failed, and said so on the thread.
    EXPECT_EQ(outcome, "ok");
}
