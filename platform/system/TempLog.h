// SPDX-License-Identifier: GPL-3.0-or-later
// A running copy's temporary-file log: the file, "TempManager-<process id>.log" in the first log
// folder that takes one (the per-user state folder, else a fall-back folder of the user's, never
// the current directory), made with an exclusive create and held under an advisory lock (flock)
// for as long as the copy has it, so that a start cleans only after the copies that are gone
// (TakeEndedLogs). It holds lines, each ending in CR LF, in the order they were added; what they
// mean is its owner's (UTempManager.h).
//
// It keeps every line it should hold in memory too. A log that cannot be made, or that stops
// taking lines (a full disk), is lost: its owner goes on, and the log is tried again, whole, with
// the next lines; once it is written again it holds them all. A log gone from its name (a cleaner
// of old files, or put aside) is made again under it; the file it was stays open and locked while
// it has a name, so that no start takes it for an ended copy's log, and is taken again if it comes
// back. A loss, and the log written again after one, are told to the notices it is given.
//
// It has no lock: its owner calls it under the owner's lock.
#pragma once

#include "platform/rtl/StringList.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TTempNotices;

class TTempLog {
public:
    // No log yet (Open makes it); Notices is told of its losses.
    explicit TTempLog(TTempNotices& Notices);
    // Lets the log's files go, without deleting any.
    ~TTempLog();
    TTempLog(const TTempLog&) = delete;
    TTempLog& operator=(const TTempLog&) = delete;

    // The folders the logs of this user may be in, most wanted first: the state folder, then the
    // fall-back folders. Paths only, each ending in "/".
    static std::vector<std::string> Folders();
    // Gives Clean the lines of every log of the log folders whose lock no living copy holds (as far
    // as 16 MiB of it), then deletes that log. Logs that are not files are left, with a message on
    // stderr.
    static void TakeEndedLogs(const std::function<void(const TStringList& Lines)>& Clean);

    // Makes this copy's log and locks it, under the next name where something else has its name;
    // a log that cannot be made is lost.
    void Open();
    // Appends Lines, each ending in CR LF, checked to the close; true when the log then holds
    // every line. A write that fails takes back what it wrote, so that the log stays a list of
    // whole lines, and loses the log until a later Append writes it whole. After Delete the lines
    // are only kept.
    bool Append(const std::vector<std::string>& Lines);
    // The length of the text the log should hold, for TakeBack.
    size_t Size() const { return FText.size(); }
    // Takes back what was added since the text was Size bytes long.
    void TakeBack(size_t Size);
    // Deletes the log (only the log itself: something else may stand at its name by now) and lets
    // its lock go.
    void Delete();

    // The log; empty while it has none.
    const std::string& Path() const { return FPath; }
    // True while the log lacks lines: it took no more, or could not be made, and was not written
    // again since.
    bool Lost() const { return FLost; }

private:
    // Makes and locks a log in the first log folder that takes one; "" or why none was made.
    std::string MakeFirst();
    // Makes the log again under its name, or takes back the file it was if that has the name
    // again; "" or why not.
    std::string MakeAgain();
    // Writes the text whole, the log made again first when it is gone from its name; "" when it
    // then holds every line, else why not.
    std::string Rewrite();
    // Marks the log lost because of Reason.
    void Lose(const std::string& Reason);

    TTempNotices& FNotices;
    std::string FPath;
    int FHandle = -1; // open and locked while this copy has a log
    // Earlier files of the log, put aside meanwhile, kept open and locked while they have a name.
    std::vector<int> FOldHandles;
    std::string FText;  // every line the log should hold, in order
    int64_t FBytes = 0; // how much of FText the file holds
    bool FLost = false;
    bool FDeleted = false;
};
