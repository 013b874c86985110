// SPDX-License-Identifier: GPL-3.0-or-later
// The temporary-file service: hands out names of temporary files and deletes each such file,
// at normal exit and, after a copy of the program ended without exit, at a later start.
//
// Every running copy keeps its own log, "TempManager-<process id>.log" in the per-user state
// folder (or, where that takes no file, in a fall-back folder of the user's, never in the current
// directory), and holds an advisory lock (flock) on it for its lifetime. Each name is added to the
// log before its file is made (lines ending CR LF), so a crash at any point leaves a log that
// names every temporary file the copy made. A start cleans after the copies that are gone, and
// only after them: a log whose lock no living copy holds is read, the files it names are deleted,
// and the log goes.
//
// The log's lines: a full path of a temporary file; "folder: " and the temporary folder, before
// the first name in that folder (a later start may run with another one); "aside: " and the full
// path of a file a save writes aside before renaming it over its target. Logs of full paths only,
// as older copies wrote them, name files in the temporary folder of the start that reads them.
//
// A log that cannot be made, or that stops taking lines, does not stop the program: the names
// are kept in memory and deleted at exit, and the user is told once that files left by a crash
// will not be cleaned.
//
// The service may be used from any thread: the window's thread asks for the names of stroke logs
// and the undo history's swap thread for those of swap files. One lock keeps its calls one at a
// time.
#pragma once

#include "platform/rtl/StringList.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class TTempManager {
public:
    // Told, on whatever thread lost the log, that this copy has no log that takes its names any
    // more; the text says why and what follows.
    using TLogLostHook = std::function<void(const std::string& Message)>;

    // Cleans after the copies that are gone, then creates this copy's log and locks it. Never
    // raises: a log that cannot be made or a log that is not a file is reported on stderr and to
    // the log-lost hook, and the service then works without a log.
    TTempManager();
    // DeleteAll.
    ~TTempManager();
    TTempManager(const TTempManager&) = delete;
    TTempManager& operator=(const TTempManager&) = delete;

    // A new name in the temporary folder: "~", eight hexadecimal digits, then Ext as it is
    // ("tsk" gives "~1f03a2c4tsk", ".bmp" gives "~1f03a2c4.bmp"). The name is logged, then an
    // empty file of that name is made with an exclusive create to reserve it, and the name is
    // listed. A file that cannot be made raises "Cannot create a temporary file in ..." and
    // leaves neither file nor log line.
    std::string GetTempFileName(const std::string& Ext);

    // Adds a save's write-aside file (a full path, or one taken from the current directory) to
    // the log, so that a start after a crash removes it if it is still there.
    void ListWriteAside(const std::string& Path);
    // Makes this service the one every save lists its write-aside files with (the stream
    // layer's hook), until it is destroyed.
    void ListWriteAsideFiles();

    // Deletes every file this copy listed (a missing one is no error), then its log, and lets
    // the lock go. The list stays; names issued later are no longer logged.
    void DeleteAll();

    // The folders the logs of this user may be in, most wanted first: the state folder, then the
    // fall-back folders. Paths only, each ending in "/".
    static std::vector<std::string> LogFolders();

    // The names issued by this copy so far, in order.
    TStringList Names() const;
    // This copy's log; empty when it works without one.
    const std::string& LogPath() const { return FLogPath; }
    // True once the log was found to take no more lines (or could not be made).
    bool LogLost() const;

    // Sets the hook that is told when the log is lost; a loss before the hook was set is told at
    // once. The hook is called once at most, outside the service's lock.
    void SetLogLostHook(TLogLostHook Hook);

private:
    // Deletes the files named by every log of the log folders whose lock no living copy holds,
    // then the log. Only names of this service's own form inside the temporary folder (or the
    // one the log names) and write-aside files are deleted, whatever a damaged log says. Logs
    // that are not files are left, with a message on stderr.
    static void CleanAfterEndedCopies();
    void OpenLog();
    // Adds Text to the log; false when there is no log, or when it failed now (it is then lost).
    bool AppendToLog(const std::string& Text);
    // Marks the log lost because of Reason.
    void LoseLog(const std::string& Reason);
    // Tells the hook of a loss not told yet.
    void TellLoss();

    std::string FLogPath; // set by the constructor, then never changed
    // Held by every call that reads or changes the list or the log after the constructor.
    mutable std::mutex FMutex;
    TStringList FNames;
    int FLogHandle = -1; // open and locked for the service's lifetime
    int64_t FLogBytes = 0;
    std::string FLoggedFolder; // the temporary folder of the names the log lists last
    bool FLogLost = false;
    std::string FLossNotice; // what to tell the hook; told once
    bool FLossTold = false;
    TLogLostHook FOnLogLost;
    bool FListsWriteAside = false;
};

// The one process-wide service, made on its first use (the start-up makes it before any
// document, so that ended copies' leftovers go first) and freed at exit.
TTempManager& TempManager();
