// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/ParallelRows.h"

#include "engine/SimdKernels.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace {

std::atomic<int> RequestedThreads{0};
thread_local bool InsideBand = false;
std::atomic<TPoolPause> PoolPause{nullptr};

inline void PauseAt(TPoolPoint Point) {
    if (const TPoolPause pause = PoolPause.load(std::memory_order_relaxed)) pause(Point);
}

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
        const int helpers = Grow(Threads - 1);
        {
            std::lock_guard lock(FMutex);
            FBody = &Body;
            FBegin = Begin;
            FEnd = End;
            FBand = Band;
            FBands = (End - Begin + Band - 1) / Band;
            FNext.store(0);
            FRemaining.store(FBands);
            FHelpers = helpers;
            FError = nullptr;
            FGeneration.fetch_add(1);
        }
        FWake.notify_all();
        Work();
        // Every band is taken: close the job, so that a worker that comes only now stays out of
        // it (it would read the next job's fields with this job's band numbers). The workers
        // that joined before are counted in FActive, and the job's fields stay as they are until
        // the last of them has left.
        {
            std::lock_guard lock(FMutex);
            FHelpers = 0;
        }
        auto finished = [this] { return FRemaining.load() == 0 && FActive.load() == 0; };
        if (!SpinUntil(finished)) {
            std::unique_lock lock(FMutex);
            FDone.wait(lock, finished);
        }
        PauseAt(TPoolPoint::ppCallerFinished);
        // No worker is inside the job, and none can join it.
        FBody = nullptr;
        if (FError) std::rethrow_exception(std::exchange(FError, nullptr));
    }

private:
    // Starts workers up to Count and returns how many there are, at most Count: a thread the
    // system will not start (a limit on threads) leaves the bands to fewer.
    int Grow(int Count) {
        try {
            while (static_cast<int>(FThreads.size()) < Count)
                FThreads.emplace_back([this] { Loop(); });
        } catch (const std::system_error&) {}
        return std::min(Count, static_cast<int>(FThreads.size()));
    }

    // A worker joins a job under FMutex, while the job is open (FHelpers > 0), and is counted in
    // FActive from then until it leaves: the job it joined is the job it works on.
    void Loop() {
        uint64_t seen = 0;
        for (;;) {
            auto posted = [&] { return FGeneration.load() != seen || FStopping.load(); };
            if (!SpinUntil(posted)) {
                std::unique_lock lock(FMutex);
                FWake.wait(lock, posted);
            }
            PauseAt(TPoolPoint::ppWorkerJoining);
            std::unique_lock lock(FMutex);
            if (FStopping) return;
            seen = FGeneration.load();
            if (FHelpers == 0) continue; // a job closed or with helpers enough: let it pass
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
            PauseAt(TPoolPoint::ppBandTaken);
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

// The process's pool, made at the first job. The child of a fork makes its own at its first job:
// none of the pool's threads go with it, and the pool's locks and wake-ups stand as they stood
// for those threads at the moment of the fork (a lock held, a sleeper counted), so a job posted
// to that pool could wait for ever. The parent's pool is left to the child untouched, never
// destroyed there.
std::atomic<TRowPool*> gPool{nullptr};

struct TPoolOwner {
    ~TPoolOwner() { delete gPool.exchange(nullptr); }
};

TRowPool& Pool() {
    static TPoolOwner owner;
    static const bool registered = [] {
        pthread_atfork(nullptr, nullptr, [] { gPool.store(nullptr); });
        return true;
    }();
    (void)registered;
    TRowPool* pool = gPool.load();
    if (pool == nullptr) {
        // Two first jobs at once (the window's thread and the swap thread): one pool is kept.
        auto made = std::make_unique<TRowPool>();
        if (gPool.compare_exchange_strong(pool, made.get())) pool = made.release();
    }
    return *pool;
}

} // namespace

namespace {
std::string FirstLine(const std::string& FileName) {
    std::ifstream in(FileName);
    std::string line;
    std::getline(in, line);
    return line;
}

// The folders of Path and of each folder above it, up to Root itself.
std::vector<std::string> FoldersUp(const std::string& Root, std::string Path) {
    std::vector<std::string> folders;
    while (!Path.empty() && Path != "/") {
        folders.push_back(Root + Path);
        Path.erase(Path.find_last_of('/'));
    }
    folders.push_back(Root);
    return folders;
}

// The smallest CPU quota of the process's control group and the groups above it, in cores; 0
// when none is set. Control groups version 2 keep "quota period" (or "max period") in cpu.max,
// version 1 keeps cpu.cfs_quota_us (-1 for none) and cpu.cfs_period_us in the cpu controller's
// hierarchy. Inside a container the group's path may not exist below the mount point, whose
// root is then the container's own group.
int CgroupCores() {
    std::ifstream in("/proc/self/cgroup");
    std::string line;
    int cores = 0;
    auto take = [&cores](int N) {
        if (N > 0 && (cores == 0 || N < cores)) cores = N;
    };
    while (std::getline(in, line)) {
        const size_t a = line.find(':');
        const size_t b = a == std::string::npos ? a : line.find(':', a + 1);
        if (b == std::string::npos) continue;
        const std::string controllers = line.substr(a + 1, b - a - 1);
        const std::string path = line.substr(b + 1);
        if (controllers.empty()) {
            for (const std::string& folder : FoldersUp("/sys/fs/cgroup", path)) {
                std::istringstream max(FirstLine(folder + "/cpu.max"));
                std::string quota;
                int64_t period = 0;
                if (max >> quota >> period && quota != "max")
                    take(CoresOfQuota(std::atoll(quota.c_str()), period));
            }
            continue;
        }
        std::istringstream list(controllers);
        std::string controller;
        bool cpu = false;
        while (std::getline(list, controller, ','))
            cpu = cpu || controller == "cpu";
        if (!cpu) continue;
        for (const char* mount :
             {"/sys/fs/cgroup/cpu", "/sys/fs/cgroup/cpu,cpuacct", "/sys/fs/cgroup/cpuacct,cpu"})
            for (const std::string& folder : FoldersUp(mount, path)) {
                const std::string quota = FirstLine(folder + "/cpu.cfs_quota_us");
                const std::string period = FirstLine(folder + "/cpu.cfs_period_us");
                if (!quota.empty() && !period.empty())
                    take(CoresOfQuota(std::atoll(quota.c_str()), std::atoll(period.c_str())));
            }
    }
    return cores;
}
} // namespace

int CoresOfQuota(int64_t Quota, int64_t Period) {
    if (Quota <= 0 || Period <= 0) return 0;
    return static_cast<int>(std::max<int64_t>(1, (Quota + Period - 1) / Period));
}

int UsableCores() {
    int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0) cores = std::max(1, CPU_COUNT(&set));
    // The quota is read once: it is set when the process starts and seldom changes.
    static const int quota = CgroupCores();
    return quota > 0 ? std::min(cores, quota) : cores;
}

void SetPoolPause(TPoolPause Pause) {
    PoolPause.store(Pause);
}

void SetAnalysisThreadCount(int Count) {
    RequestedThreads.store(std::max(Count, 0));
}

int AnalysisThreadCount() {
    const int n = RequestedThreads.load();
    if (n > 0) return n;
    return UsableCores();
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
