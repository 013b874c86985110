// The temporary-file service: hands out names of temporary files and deletes each such file,
// at normal exit and, after a run that ended without exit, at the next start.
//
// Every name issued is kept in a list that is saved after each new name to "TempManager.log"
// in the per-user state folder (one full path per line), so a crash at any point leaves a log
// that names every temporary file the run asked for.
#pragma once

#include "platform/rtl/StringList.h"

#include <string>

class TTempManager {
public:
    // Reads the log of an earlier run, when there is one, and deletes the files it names and
    // the log; those names stay in the list.
    TTempManager();
    // Deletes every listed file and the log.
    ~TTempManager();
    TTempManager(const TTempManager&) = delete;
    TTempManager& operator=(const TTempManager&) = delete;

    // A new name in the temporary folder: "~", a unique hexadecimal part, then Ext as it is
    // ("tsk" gives "~1f03a2c4tsk", ".bmp" gives "~1f03a2c4.bmp"). An empty file of that name
    // reserves it. The name is listed and the log rewritten before it is returned; a log that
    // cannot be written raises an Exception (the name is listed all the same).
    std::string GetTempFileName(const std::string& Ext);

    // Deletes every listed file (a missing one is no error), then the log. The list stays.
    // Only names that this service makes are deleted, whatever a damaged log says.
    void DeleteAll();

    // The folder of the log, ending in "/"; empty (the current directory) when there is none.
    static std::string GetStateDir();

    const TStringList& Names() const { return FNames; }
    const std::string& LogPath() const { return FLogPath; }

private:
    void SaveLog() const;

    TStringList FNames;
    std::string FLogPath;
};

// The one process-wide service, made on its first use (the start-up makes it before any
// document, so that an earlier run's leftovers go first) and freed at exit.
TTempManager& TempManager();
