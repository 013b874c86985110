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
// A log that cannot be made, or that stops taking lines (a full disk), does not stop the program:
// the names are kept in memory, and the log is tried again, whole, with the next name; once it is
// written again it lists every name. Until then the names are deleted at exit only. The user is
// told when files left by a crash will not be cleaned, and again when they will be.
//
// The temporary folder is checked at every name: one removed during the session, or never made,
// is made again (for this user only), else the names go to /tmp for the time being; the user is
// told of both (TTempFolderKeeper).
//
// The service may be used from any thread: the window's thread asks for the names of stroke logs
// and the undo history's swap thread for those of swap files. One lock keeps its calls one at a
// time.
#pragma once

#include "platform/rtl/StringList.h"
#include "platform/system/TempFiles.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class TTempManager {
public:
    // What the user should know of the service is either trouble (this copy's log takes no names
    // any more, the temporary folder cannot be used and files go to another one for now) or
    // relief (the log is written again, a temporary folder that did not exist was made again):
    // the window shows the two apart, as a failure and as information.
    enum class TNotice { Trouble, Relief };
    // Told, on whatever thread asked for the name that showed it, what the user should know; the
    // text says what happened and what follows.
    using TNoticeHook = std::function<void(const std::string& Message, TNotice Kind)>;

    // Cleans after the copies that are gone, then creates this copy's log and locks it. Never
    // raises: a log that cannot be made or a log that is not a file is reported on stderr and to
    // the notice hook, and the service then works without a log.
    TTempManager();
    // DeleteAll.
    ~TTempManager();
    TTempManager(const TTempManager&) = delete;
    TTempManager& operator=(const TTempManager&) = delete;

    // A new name in the temporary folder (as TTempFolderKeeper gives it): "~", eight hexadecimal
    // digits, then Ext as it is ("tsk" gives "~1f03a2c4tsk", ".bmp" gives "~1f03a2c4.bmp"). The
    // name is logged (a lost log is tried again first, whole), then an empty file of that name is
    // made with an exclusive create to reserve it, and the name is listed. A file that cannot be
    // made raises "Cannot create a temporary file in ..." and leaves neither file nor log line.
    std::string GetTempFileName(const std::string& Ext);

    // Adds a save's write-aside file (a full path, or one taken from the current directory) to
    // the log, so that a start after a crash removes it if it is still there; a lost log is tried
    // again, as for a name.
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
    // This copy's log; empty while it has none.
    std::string LogPath() const;
    // True while the log lacks names this copy issued: it took no more lines, or could not be
    // made, and was not written again since.
    bool LogLost() const;

    // Sets the hook that is told what the user should know; what happened before the hook was set
    // is told at once. A loss is told once, and that the log is written again only after a loss
    // that was told. The hook is called outside the service's lock.
    void SetNoticeHook(TNoticeHook Hook);

private:
    // Deletes the files named by every log of the log folders whose lock no living copy holds,
    // then the log. Only names of this service's own form inside the temporary folder (or the
    // one the log names) and write-aside files are deleted, whatever a damaged log says. Logs
    // that are not files are left, with a message on stderr.
    static void CleanAfterEndedCopies();
    // Makes and locks a log in the first log folder that takes one; "" or why none was made.
    std::string OpenLog();
    // Adds Text to what the log should hold and writes it; true when the log then holds it all.
    bool AppendToLog(const std::string& Text);
    // Writes the log whole, made again first when it is gone from its name; "" when it then holds
    // every line, else why not.
    std::string RewriteLog();
    // Takes the lines added since the log's text was Size bytes back out of it.
    void TakeBack(size_t Size);
    // Marks the log lost because of Reason.
    void LoseLog(const std::string& Reason);
    // Queues Text for the hook.
    void Notify(const std::string& Text, TNotice Kind);
    // Tells the hook what it was not told yet.
    void TellNotices();

    std::string FLogPath; // set when the log is made
    // Held by every call that reads or changes the list or the log after the constructor.
    mutable std::mutex FMutex;
    TStringList FNames;
    int FLogHandle = -1; // open and locked while this copy has a log
    // Earlier files of the log, put aside meanwhile, kept open and locked while they have a name.
    std::vector<int> FOldLogHandles;
    std::string FLogText;      // every line the log should hold, in order
    int64_t FLogBytes = 0;     // how much of FLogText the log file holds
    bool FClosed = false;      // DeleteAll ended the log
    std::string FLoggedFolder; // the temporary folder of the names the log lists last
    TTempFolderKeeper FFolders;
    bool FLogLost = false;
    std::vector<std::pair<std::string, TNotice>> FNotices; // for the hook, in order
    std::string FLossNotice;                               // what the user is told of the last loss
    bool FLossQueued = false;                              // FNotices holds FLossNotice
    bool FLossTold = false; // the hook was told of a loss, and not yet of the log written again
    TNoticeHook FOnNotice;
    bool FListsWriteAside = false;
};

// The one process-wide service, made on its first use (the start-up makes it before any
// document, so that ended copies' leftovers go first) and freed at exit.
TTempManager& TempManager();
