// SPDX-License-Identifier: GPL-3.0-or-later
// The threads of Qt's shared pool, given once and kept.
//
// Qt's painter, its image scaler and its image converter split a large job (a fill of more than
// about a hundred rows, a picture of more than about 130,000 pixels) into pieces, hand them to
// the threads of its global pool and wait for every piece. The pool makes a thread when it needs
// one and lets it go after half a minute without work. Where the system refuses a new thread (the
// user's limit of processes is reached), the piece given to it never runs and the window's
// thread waits for it for ever: the window freezes in the middle of a paint, for good.
//
// KeepPooledThreads makes the pool's threads at start-up, while the system gives them, keeps
// them for the whole run and lets the pool make no more: from then on a piece waits only for a
// thread that exists, whatever limit the system sets later. Of the threads the system still
// gives, one is left for others (Qt's file dialog lists a folder on a thread of its own): beyond
// the first, the pool takes a thread only while a second one could still start beside it.
#pragma once

#include <string>

struct TPooledThreads {
    // The threads the pool holds for the rest of the run.
    int Kept = 0;
    // Why the system refused the next thread ("Resource temporarily unavailable"); empty when
    // the pool has all the threads it wanted.
    std::string Refusal;
    // The system refused a thread the pool had already asked for (another program of the user
    // took the last one in the moment between): the pool waits for that thread for ever, at the
    // program's end too, so the program must end without waiting for the pool.
    bool Stranded = false;
};

// Gives Qt's global pool up to Wanted threads (0: as many as it would use, one per processor)
// and keeps them. Call it once, before anything is painted, with the application object made.
// Kept is 0 only when the system gives no thread at all; then a large paint would wait for ever,
// and the caller must not show a window that paints one.
TPooledThreads KeepPooledThreads(int Wanted = 0);

// Whether Count more threads can run at once now: starts them, and lets them end again. The
// reason the system gave is put in Refusal when it refuses one.
bool CanStartThreads(int Count, std::string* Refusal = nullptr);
