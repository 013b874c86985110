// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program lives: the folder of the executable, ending in "/", and its "tmp" folder.
#pragma once

#include <string>

// The folder of the running executable with a trailing "/". Shipped presets, help pages and
// the "tmp" folder lie below it.
std::string ApplicationFolder();

// Tests and tools point the application folder elsewhere; an empty text restores the default.
void SetApplicationFolder(const std::string& Folder);

// The folder of the running executable, ending in "/" (ApplicationFolder() by its short name).
std::string AppFolder();
// AppFolder() + "tmp", without a trailing "/".
std::string AppTempFolder();
