// SPDX-License-Identifier: GPL-3.0-or-later
// A lock that one thread at a time holds; the undo history guards its busy flag with the
// process-wide one.
#pragma once

#include <mutex>

class TCriticalSection {
public:
    void Enter() { FMutex.lock(); }
    void Leave() { FMutex.unlock(); }

private:
    std::mutex FMutex;
};

// The one process-wide critical section.
TCriticalSection& ProcessLock();
