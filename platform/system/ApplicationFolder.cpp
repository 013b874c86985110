// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/ApplicationFolder.h"

#include <climits>
#include <mutex>
#include <unistd.h>

namespace {
std::mutex gFolderMutex;
std::string gOverride;

std::string ExecutableFolder() {
    char path[PATH_MAX + 1];
    const ssize_t n = readlink("/proc/self/exe", path, PATH_MAX);
    if (n <= 0) return "./";
    std::string full(path, static_cast<size_t>(n));
    const size_t slash = full.rfind('/');
    return slash == std::string::npos ? "./" : full.substr(0, slash + 1);
}
} // namespace

std::string ApplicationFolder() {
    std::lock_guard lock(gFolderMutex);
    if (!gOverride.empty()) return gOverride;
    static const std::string folder = ExecutableFolder();
    return folder;
}

void SetApplicationFolder(const std::string& Folder) {
    std::lock_guard lock(gFolderMutex);
    gOverride = Folder;
    if (!gOverride.empty() && gOverride.back() != '/') gOverride += '/';
}

std::string AppFolder() {
    return ApplicationFolder();
}

std::string AppTempFolder() {
    return AppFolder() + "tmp";
}
