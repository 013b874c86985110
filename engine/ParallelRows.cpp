#include "engine/ParallelRows.h"

#include "engine/SimdKernels.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace {

std::atomic<int> RequestedThreads{0};
thread_local bool InsideBand = false;

// Spin for this long before sleeping: the analysis posts its jobs back to back, and waking a
// sleeping thread costs more than a short job takes.
constexpr auto SpinTime = std::chrono::microseconds(200);

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Spins until Ready() holds or the spin time is over; true when it holds.
template <typename F>
bool SpinUntil(F Ready) {
    const auto until = std::chrono::steady_clock::now() + SpinTime;
    for (int i = 0;; ++i) {
        if (Ready()) return true;
        CpuRelax();
        if ((i & 63) == 63 && std::chrono::steady_clock::now() > until) return false;
    }
}

// Workers wait (spinning a little, then asleep) until a job is posted, then take bands from a
// shared counter; the posting thread takes bands too and then waits until every band has
// finished and every worker has left the job.
class TRowPool {
public:
    ~TRowPool() {
        {
            std::lock_guard lock(FMutex);
            FStopping = true;
        }
        FWake.notify_all();
        for (std::thread& t : FThreads)
            t.join();
    }

    void Run(int Begin, int End, int Band, int Threads, const std::function<void(int, int)>& Body) {
        std::lock_guard runLock(FRunMutex); // one job at a time
        Grow(Threads - 1);
        {
            std::lock_guard lock(FMutex);
            FBody = &Body;
            FBegin = Begin;
            FEnd = End;
            FBand = Band;
            FBands = (End - Begin + Band - 1) / Band;
            FNext.store(0);
            FRemaining.store(FBands);
            FHelpers = Threads - 1;
            FError = nullptr;
            FGeneration.fetch_add(1);
        }
        FWake.notify_all();
        Work();
        auto finished = [this] { return FRemaining.load() == 0 && FActive.load() == 0; };
        if (!SpinUntil(finished)) {
            std::unique_lock lock(FMutex);
            FDone.wait(lock, finished);
        }
        std::lock_guard lock(FMutex);
        FHelpers = 0; // workers that come only now find nothing to join
        FBody = nullptr;
        if (FError) std::rethrow_exception(FError);
    }

private:
    void Grow(int Count) {
        while (static_cast<int>(FThreads.size()) < Count)
            FThreads.emplace_back([this] { Loop(); });
    }

    void Loop() {
        uint64_t seen = 0;
        for (;;) {
            SpinUntil([&] { return FGeneration.load() != seen || FStopping.load(); });
            std::unique_lock lock(FMutex);
            for (;;) {
                if (FStopping) return;
                if (FGeneration.load() != seen) {
                    seen = FGeneration.load();
                    if (FHelpers > 0) break; // join this job
                    continue;                // a job that needs no more helpers: let it pass
                }
                FWake.wait(lock);
            }
            --FHelpers;
            FActive.fetch_add(1);
            lock.unlock();
            Work();
            if (FActive.fetch_sub(1) == 1 && FRemaining.load() == 0) {
                std::lock_guard done(FMutex);
                FDone.notify_all();
            }
        }
    }

    // Takes bands until none is left.
    void Work() {
        InsideBand = true;
        for (;;) {
            const int k = FNext.fetch_add(1);
            if (k >= FBands) break;
            const int first = FBegin + k * FBand;
            const int last = std::min(FEnd, first + FBand);
            try {
                (*FBody)(first, last);
            } catch (...) {
                std::lock_guard lock(FMutex);
                if (!FError) FError = std::current_exception();
            }
            if (FRemaining.fetch_sub(1) == 1 && FActive.load() == 0) {
                std::lock_guard done(FMutex);
                FDone.notify_all();
            }
        }
        InsideBand = false;
    }

    std::mutex FRunMutex;
    std::mutex FMutex;
    std::condition_variable FWake;
    std::condition_variable FDone;
    std::vector<std::thread> FThreads;
    // The job; written under FMutex before FGeneration moves, read by the threads that join it.
    const std::function<void(int, int)>* FBody = nullptr;
    int FBegin = 0, FEnd = 0, FBand = 1, FBands = 0;
    int FHelpers = 0; // workers still wanted, under FMutex
    std::atomic<int> FNext{0};
    std::atomic<int> FRemaining{0}; // bands not finished
    std::atomic<int> FActive{0};    // workers inside Work
    std::atomic<uint64_t> FGeneration{0};
    std::atomic<bool> FStopping{false};
    std::exception_ptr FError;
};

TRowPool& Pool() {
    static TRowPool pool;
    return pool;
}

} // namespace

void SetAnalysisThreadCount(int Count) {
    RequestedThreads.store(std::max(Count, 0));
}

int AnalysisThreadCount() {
    const int n = RequestedThreads.load();
    if (n > 0) return n;
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

void ParallelRows(int Begin, int End, int MinBand, const std::function<void(int First, int Last)>& Body) {
    if (End <= Begin) return;
    MinBand = std::max(MinBand, 1);
    const int rows = End - Begin;
    const int threads = std::min(AnalysisThreadCount(), rows / MinBand);
    if (threads <= 1 || InsideBand) {
        Body(Begin, End);
        return;
    }
    // A few bands per thread even out uneven rows.
    const int band = std::max(MinBand, (rows + threads * 4 - 1) / (threads * 4));
    Pool().Run(Begin, End, band, threads, Body);
}

void ParallelElements(size_t Count, const std::function<void(size_t First, size_t Last)>& Body) {
    constexpr size_t Piece = 65536;
    const size_t pieces = (Count + Piece - 1) / Piece;
    if (pieces <= 1) {
        if (Count > 0) Body(0, Count);
        return;
    }
    ParallelRows(0, static_cast<int>(pieces), 1, [&](int first, int last) {
        Body(static_cast<size_t>(first) * Piece, std::min(Count, static_cast<size_t>(last) * Piece));
    });
}

// ---------------------------------------------------------------------------------------------
// The vector units
// ---------------------------------------------------------------------------------------------

namespace {
std::atomic<bool> Avx2Enabled{true};
}

bool UseAvx2() {
#if QUOR_HAS_AVX2_PATH
    static const bool present = __builtin_cpu_supports("avx2");
    return present && Avx2Enabled.load(std::memory_order_relaxed);
#else
    return false;
#endif
}

void SetAvx2Enabled(bool Enabled) {
    Avx2Enabled.store(Enabled);
}
