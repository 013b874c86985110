// SPDX-License-Identifier: GPL-3.0-or-later
// Temporary files: the folder they go to and names reserved for them.
#pragma once

#include <string>

// $TMPDIR when it is set and not empty (a relative one taken from the current directory), else
// "/tmp"; ends in "/".
std::string TempFolder();

// Reserves a new name in Folder: Prefix, a unique hexadecimal part, then Suffix as it is
// ("~", "1f03a2c4", "tsk" gives "~1f03a2c4tsk"). The name is reserved by creating an empty
// file with an exclusive create, so two calls, in this process or another, never return the
// same name. Returns the full path; raises an Exception when the folder takes no new file.
std::string CreateUniqueFile(const std::string& Folder, const std::string& Prefix, const std::string& Suffix);

// A name in Folder of the form CreateUniqueFile makes that no entry has at the moment of the
// call; nothing is created, so two callers may be given the same name: CreateNewFile decides.
std::string UnusedFileName(const std::string& Folder, const std::string& Prefix, const std::string& Suffix);

// Creates Path empty (mode 0600) with an exclusive create; returns 0, or the errno of the failure
// (EEXIST when something has that name).
int CreateNewFile(const std::string& Path);

// The folder a running copy makes its temporary files in, checked each time one is made, so
// that a temporary folder removed during the session (a cleaner of old files) or never made does
// not stop the program:
// - TempFolder() while it is a trustworthy folder (TrustedFolder);
// - when nothing at all stands at its name, it is made (mode 0700), only inside a trustworthy
//   folder and never through a link;
// - else the fall-back folder, when it is trustworthy, until the temporary folder is usable again;
// - else, and for a folder out of this user's reach, TempFolder(), where making a file then fails
//   and says why.
// Not thread-safe: its one owner calls it.
class TTempFolderKeeper {
public:
    explicit TTempFolderKeeper(std::string Fallback = "/tmp/");

    // The folder to make a file in now, ending in "/". Notice is set to what the user should be
    // told: that the folder was made, or (once, until the temporary folder is usable again) that
    // files go to the fall-back folder for now; else it is left as it is.
    std::string Folder(std::string& Notice);

private:
    std::string FFallback;
    bool FFellBack = false; // the fall-back folder is in use, and that was told
};

// True when every symbolic link met on the way to Path, Path itself included, belongs to this
// user or root; false too when a part of the way cannot be looked at.
bool NoStrangersLinks(const std::string& Path);

// True when Folder is a folder that no other user controls: every symbolic link met on the way
// to it belongs to this user or root, and the folder itself belongs to this user or root and
// either nobody else may write it or it is sticky (then each user's files stay their owner's, as
// in /tmp).
bool TrustedFolder(const std::string& Folder);
