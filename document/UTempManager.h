// SPDX-License-Identifier: GPL-3.0-or-later
// The temporary-file service: hands out names of temporary files and deletes each such file,
// at normal exit and, after a copy of the program ended without exit, at a later start.
//
// Every running copy keeps its own log, "TempManager-<process id>.log" in the per-user state
// folder, and holds an advisory lock (flock) on it for its lifetime. Each name issued is added to
// the log at once (one full path per line, lines ending CR LF), so a crash at any point leaves a
// log that names every temporary file the copy asked for. A start cleans after the copies that
// are gone, and only after them: a log whose lock no living copy holds is read, the files it
// names are deleted, and the log goes.
//
// The service may be used from any thread: the window's thread asks for the names of stroke logs
// and the undo history's swap thread for those of swap files. One lock keeps its calls one at a
// time.
#pragma once

#include "platform/rtl/StringList.h"

#include <cstdint>
#include <mutex>
#include <string>

class TTempManager {
public:
    // Cleans after the copies that are gone, then creates this copy's log and locks it. Never
    // raises: a log that cannot be made or a log that is not a file is reported on stderr, and
    // the service then works without a log.
    TTempManager();
    // DeleteAll.
    ~TTempManager();
    TTempManager(const TTempManager&) = delete;
    TTempManager& operator=(const TTempManager&) = delete;

    // A new name in the temporary folder: "~", eight hexadecimal digits, then Ext as it is
    // ("tsk" gives "~1f03a2c4tsk", ".bmp" gives "~1f03a2c4.bmp"). An empty file of that name
    // reserves it. The name is listed and added to the log before it is returned; a log that
    // cannot be written raises "Could not write <log>: <reason>" (the name is listed all the
    // same, and the next name writes both).
    std::string GetTempFileName(const std::string& Ext);

    // Deletes every file this copy listed (a missing one is no error), then its log, and lets
    // the lock go. The list stays; names issued later are no longer logged.
    void DeleteAll();

    // The folder of the logs, ending in "/"; empty (the current directory) when there is none.
    static std::string GetStateDir();

    // The names issued by this copy so far, in order.
    TStringList Names() const;
    // This copy's log; empty when it works without one.
    const std::string& LogPath() const { return FLogPath; }

private:
    // Deletes the files named by every log of the state folder whose lock no living copy holds,
    // then the log. Only names of this service's own form inside the temporary folder are
    // deleted, whatever a damaged log says. Logs that are not files are left, with a message
    // on stderr.
    static void CleanAfterEndedCopies();
    void OpenLog();
    void SaveLog();

    std::string FLogPath; // set by the constructor, then never changed
    // Held by every call that reads or changes the list or the log after the constructor.
    mutable std::mutex FMutex;
    TStringList FNames;
    int FLogHandle = -1;  // open and locked for the service's lifetime
    int FLoggedNames = 0; // the first names of FNames that the log holds
    int64_t FLogBytes = 0;
};

// The one process-wide service, made on its first use (the start-up makes it before any
// document, so that ended copies' leftovers go first) and freed at exit.
TTempManager& TempManager();
