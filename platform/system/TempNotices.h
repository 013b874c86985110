// SPDX-License-Identifier: GPL-3.0-or-later
// What the temporary-file service has to tell the user, kept until someone can be told: the
// queue of notices and the hook that tells them. A notice is trouble (the service's log takes no
// names any more, files go to another folder for now) or relief (the log is written again, a
// missing temporary folder was made again). Each is written to stderr when it is made and queued
// for the hook, in order; what comes before the hook is set waits for it.
//
// A loss of the log is told once; that the log is written again is told only after a loss the
// hook was told of, and withdraws a loss still queued instead (the user never heard of it).
//
// It has no lock: its owner calls it under the owner's lock, and Take hands over what is to be
// told, so that the owner calls the hook (TBatch::Tell) once it has let its lock go.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

class TTempNotices {
public:
    // The window shows the two apart, as a failure and as information.
    enum class TKind { Trouble, Relief };
    // Told what the user should know; the text says what happened and what follows.
    using THook = std::function<void(const std::string& Message, TKind Kind)>;

    // What the hook is to be told, handed over by Take.
    struct TBatch {
        THook Hook;
        std::vector<std::pair<std::string, TKind>> Notices;
        // Tells Hook every notice, in order.
        void Tell() const;
    };

    // Queues Text.
    void Add(const std::string& Text, TKind Kind);
    // The log is lost: Text is queued as trouble.
    void LogLost(const std::string& Text);
    // The log is written again after a loss: Text is queued as relief if the loss was told, and
    // the loss is withdrawn if it was still queued.
    void LogWrittenAgain(const std::string& Text);

    void SetHook(THook Hook);
    // What the hook was not told yet, with the hook; nothing while no hook is set.
    TBatch Take();

private:
    THook FHook;
    std::vector<std::pair<std::string, TKind>> FQueue;
    std::string FLossNotice;  // what the user is told of the last loss
    bool FLossQueued = false; // FQueue holds FLossNotice
    bool FLossTold = false;   // the hook was told of a loss, and not yet of the log written again
};
