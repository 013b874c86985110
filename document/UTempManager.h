// SPDX-License-Identifier: GPL-3.0-or-later
// The temporary-file service: hands out names of temporary files and deletes each such file,
// at normal exit and, after a copy of the program ended without exit, at a later start. It is the
// one entry the rest of the program uses.
//
// Every running copy keeps its own log (TempLog.h: one file per copy in the per-user state folder
// or a fall-back folder, locked for the copy's lifetime). Each name is added to the log before its
// file is made, so a crash at any point leaves a log that names every temporary file the copy
// made. A start cleans after the copies that are gone, and only after them: a log whose lock no
// living copy holds is read, the files it names are deleted, and the log goes.
//
// The log's lines: a full path of a temporary file; "folder: " and the temporary folder, before
// the first name in that folder (a later start may run with another one); "aside: " and the full
// path of a file a save writes aside before renaming it over its target. Logs of full paths only,
// as older copies wrote them, name files in the temporary folder of the start that reads them.
//
// A log that cannot be made, or that stops taking lines (a full disk), does not stop the program:
// the names are kept, and the log is tried again, whole, with the next name; once it is written
// again it lists every name. Until then the names are deleted at exit only. The user is told when
// files left by a crash will not be cleaned, and again when they will be (TempNotices.h).
//
// The temporary folder is checked at every name: one removed during the session, or never made,
// is made again (for this user only), else the names go to /tmp for the time being; the user is
// told of both (TTempFolderKeeper).
//
// The service may be used from any thread: the window's thread asks for the name of a drawing's
// stroke file (TStrokeFile, one for all the steps of a drawing) and the undo history's swap thread
// for those of swap files. One lock keeps its calls one at a time; it owns the log and the notices,
// which have no lock of their own, and calls the notice hook only once it has let the lock go.
#pragma once

#include "platform/rtl/StringList.h"
#include "platform/system/TempFiles.h"
#include "platform/system/TempLog.h"
#include "platform/system/TempNotices.h"

#include <mutex>
#include <string>

class TTempManager {
public:
    // What the user should know of the service: trouble or relief (TempNotices.h).
    using TNotice = TTempNotices::TKind;
    // Told, on whatever thread asked for the name that showed it, what the user should know; the
    // text says what happened and what follows.
    using TNoticeHook = TTempNotices::THook;

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
    // Tells the hook what it was not told yet, outside the lock.
    void TellNotices();

    // Held by every call after the constructor, around every use of what follows; never while the
    // hook is called.
    mutable std::mutex FMutex;
    TTempNotices FNotices;
    TTempLog FLog{FNotices}; // tells FNotices of its losses
    TTempFolderKeeper FFolders;
    TStringList FNames;
    std::string FLoggedFolder; // the temporary folder of the names the log lists last
    bool FListsWriteAside = false;
};

// The one process-wide service, made on its first use (the start-up makes it before any
// document, so that ended copies' leftovers go first) and freed at exit.
TTempManager& TempManager();
