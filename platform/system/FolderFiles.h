// SPDX-License-Identifier: GPL-3.0-or-later
// Files in a folder: lists and deletions by mask, and unique new file names.
#pragma once

#include <string>

class TStringList;

// Clears List, then adds Folder + name for every entry (files and folders alike, "." and ".."
// excepted) that matches Folder + Mask. Folder is expected to end in "/"; it is not added.
// Masks know "*" and "?", ignore case, and "name.*" also matches "name" without an extension.
// Entries come sorted by name. A nil List raises "GetFiles: FileList must be created".
void GetFiles(const std::string& Folder, const std::string& Mask, TStringList* List);

// Deletes every file (not folder) that matches Mask in Folder; subfolders are not entered and
// a failed delete, an empty or a missing folder report nothing.
void DeleteFiles(const std::string& Folder, const std::string& Mask);

// Folder + Base + counter + Ext, the first such path that does not exist yet. An empty Folder
// means AppFolder(); a missing Folder is created (one level), else "Cannot Create " + Folder is
// raised; Ext gets a leading "." when it lacks one. The counter is PadNumber(i, 4) for
// i = 0, 1, 2 ... (widening past 9999), so the names run style0000, style1000, style2000 ...
std::string UniqueFileName(const std::string& Folder, const std::string& Base, const std::string& Ext);

// The decimal text of N with "0" appended (not prepended) up to Width characters:
// PadNumber(12, 4) = "1200"; a longer text stays as it is.
std::string PadNumber(int N, int Width);
