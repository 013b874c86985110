// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/PooledThreads.h"

#include <QThreadPool>
#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Threads that wait until they are let go: the test threads of CanStartThreads and the pool's
// first tasks, which must all run at once so that each takes a thread of its own.
struct TGate {
    std::mutex Mutex;
    std::condition_variable Changed;
    int Arrived = 0;
    bool Open = false;
    std::vector<pid_t> Ids; // the kernel's ids of the threads that arrived

    void Arrive() {
        std::unique_lock lock(Mutex);
        ++Arrived;
        Ids.push_back(static_cast<pid_t>(syscall(SYS_gettid)));
        Changed.notify_all();
        Changed.wait(lock, [this] { return Open; });
    }
    bool AwaitArrivals(int Count, std::chrono::milliseconds Within) {
        std::unique_lock lock(Mutex);
        return Changed.wait_for(lock, Within, [&] { return Arrived >= Count; });
    }
    void Release() {
        std::lock_guard lock(Mutex);
        Open = true;
        Changed.notify_all();
    }
};

// The system counts a thread against the user's limit until it is reaped, a moment after a
// join returns: wait until the ended threads have gone from the process (a tenth of a second at
// most), so that the thread asked for next is not refused for them.
void AwaitGone(const std::vector<pid_t>& Ids) {
    for (int tries = 0; tries < 100; ++tries) {
        const bool gone = std::none_of(Ids.begin(), Ids.end(), [](pid_t Id) {
            std::error_code ec;
            return std::filesystem::exists("/proc/self/task/" + std::to_string(Id), ec);
        });
        if (gone) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Set while KeepPooledThreads asks the pool for a thread: Qt says a refused thread only as a
// warning, which this handler notes before passing it on.
std::atomic<bool> gPoolThreadRefused{false};
QtMessageHandler gPreviousHandler = nullptr;

void NoteRefusedThread(QtMsgType Type, const QMessageLogContext& Context, const QString& Message) {
    if (Message.startsWith(QStringLiteral("QThread::start: Thread creation error")))
        gPoolThreadRefused = true;
    if (gPreviousHandler) gPreviousHandler(Type, Context, Message);
}

} // namespace

bool CanStartThreads(int Count, std::string* Refusal) {
    TGate gate;
    std::vector<std::thread> threads;
    bool started = true;
    for (int i = 0; i < Count; ++i) {
        try {
            threads.emplace_back([&gate] { gate.Arrive(); });
        } catch (const std::system_error& E) {
            if (Refusal) *Refusal = E.code().message();
            started = false;
            break;
        }
    }
    gate.AwaitArrivals(static_cast<int>(threads.size()), std::chrono::hours(1));
    gate.Release();
    for (std::thread& t : threads)
        t.join();
    AwaitGone(gate.Ids);
    return started;
}

TPooledThreads KeepPooledThreads(int Wanted) {
    QThreadPool* pool = QThreadPool::globalInstance();
    TPooledThreads result;
    if (pool == nullptr) return result;
    if (Wanted <= 0) Wanted = std::max(1, pool->maxThreadCount());
    // A thread of the pool is never let go, so the pool never has to make one again.
    pool->setExpiryTimeout(-1);
    pool->setMaxThreadCount(Wanted);
    const auto gate = std::make_shared<TGate>();
    gPoolThreadRefused = false;
    gPreviousHandler = qInstallMessageHandler(NoteRefusedThread);
    int asked = 0;
    while (asked < Wanted) {
        // The first thread if one can start; each further one only while another could start
        // beside it.
        if (!CanStartThreads(asked == 0 ? 1 : 2, &result.Refusal)) break;
        // Every task waits at the gate, so the pool makes a new thread for each.
        pool->start([gate] { gate->Arrive(); });
        ++asked;
        // A thread refused in the moment between the test and the pool's asking (another
        // program of the user took the last one) never runs its task; the pool counts it as
        // busy for ever, so it is counted here too, and the pool asks for no more.
        if (gPoolThreadRefused || !gate->AwaitArrivals(asked, std::chrono::seconds(10))) {
            result.Stranded = true;
            if (result.Refusal.empty()) result.Refusal = "Resource temporarily unavailable";
            break;
        }
    }
    qInstallMessageHandler(gPreviousHandler);
    gPreviousHandler = nullptr;
    gate->Release();
    // The pool may use what it holds, and never asks the system for another thread.
    pool->setMaxThreadCount(std::max(1, asked));
    result.Kept = result.Stranded ? asked - 1 : asked;
    if (result.Kept == Wanted) result.Refusal.clear();
    return result;
}
