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
