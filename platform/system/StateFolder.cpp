// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/StateFolder.h"

#include "platform/system/TempFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home == '/') return home;
    if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr && *pw->pw_dir == '/')
        return pw->pw_dir;
    return "";
}

// mkdir -p; true when Path is a folder afterwards.
bool MakeFolders(const std::string& Path) {
    for (size_t i = 1; i <= Path.size(); ++i) {
        if (i < Path.size() && Path[i] != '/') continue;
        const std::string part = Path.substr(0, i);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return stat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
} // namespace

std::string UserStateFolder() {
    std::string base;
    const char* xdg = std::getenv("XDG_STATE_HOME");
    if (xdg != nullptr && *xdg == '/') {
        base = xdg;
    } else {
        const std::string home = HomeFolder();
        if (home.empty()) return "";
        base = home + "/.local/state";
    }
    if (base.back() != '/') base += '/';
    const std::string folder = base + "quorvelle/";
    return MakeFolders(folder) ? folder : "";
}

std::vector<std::string> FallbackStateFolders() {
    std::vector<std::string> folders;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime == '/') {
        std::string folder = runtime;
        if (folder.back() != '/') folder += '/';
        folders.push_back(folder + "quorvelle/");
    }
    folders.push_back(TempFolder() + "quorvelle-" + std::to_string(geteuid()) + "/");
    return folders;
}

bool MakePrivateFolder(const std::string& Folder) {
    if (Folder.empty() || Folder[0] != '/') return false;
    // Nothing is made through a link another user put on the way (in a shared folder, where a
    // folder of the way was removed).
    std::string there = Folder;
    struct stat st {};
    while (there.size() > 1 && there.back() == '/')
        there.pop_back();
    while (there.size() > 1 && lstat(there.c_str(), &st) != 0)
        there.erase(std::max<size_t>(there.find_last_of('/'), 1));
    if (!NoStrangersLinks(there) || !MakeFolders(Folder)) return false;
    // The temporary folder is shared: a folder of this name that another user made first, a link
    // put there, or a folder anyone may write, is not taken.
    std::string path = Folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
           (st.st_mode & S_IWOTH) == 0;
}
