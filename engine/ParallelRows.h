// SPDX-License-Identifier: GPL-3.0-or-later
// Splitting the rows of a picture's maps across the cores.
//
// The analysis kernels give every band of rows to a small process-wide pool of worker threads
// (which spin briefly between jobs, then sleep) and wait until all bands are done, so a kernel returns with
// its whole output written, on the caller's thread, exactly as if it had run alone. Each output element is
// computed by one band only, from inputs that no band writes, so the result never depends on the number of
// threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// The number of threads the analysis uses: 1 runs everything on the calling thread, 0 (the
// default) uses one thread per core the process may run on (UsableCores).
void SetAnalysisThreadCount(int Count);
int AnalysisThreadCount();

// The cores the calling thread may run on: the CPUs of its affinity mask, at most as many as the
// CPU quota of the process's control group allows (rounded up), at least 1.
int UsableCores();
// The cores a CPU quota allows: Quota / Period rounded up, at least 1; 0 for no quota (a quota
// that is not positive, or no period).
int CoresOfQuota(int64_t Quota, int64_t Period);

// Calls Body(First, Last) for consecutive bands [First, Last) that together cover [Begin, End),
// each at least MinBand long (except a shorter remainder), possibly on several threads at once.
// Returns when every band is done; an exception of a band is raised again here (the first one).
// Called from inside a band, it runs serially.
void ParallelRows(int Begin, int End, int MinBand, const std::function<void(int First, int Last)>& Body);

// The same for the elements [0, Count) of a flat map, in pieces of 64K elements.
void ParallelElements(size_t Count, const std::function<void(size_t First, size_t Last)>& Body);

// Test seam: the threads of the pool call Pause, when one is set, at three points of every job, so
// that a test can hold a thread there as if the system had descheduled it: ppWorkerJoining, a
// worker that saw a new job posted, right before it tries to join it; ppBandTaken, a thread that
// took the number of a band, right before it checks that the job has such a band;
// ppCallerFinished, the posting thread once it has seen every band of its job done, right before
// it closes the job and returns. Pause runs on the pool's threads and must not raise; nullptr
// (the default) sets none.
enum class TPoolPoint { ppWorkerJoining, ppBandTaken, ppCallerFinished };
using TPoolPause = void (*)(TPoolPoint Point);
void SetPoolPause(TPoolPause Pause);
