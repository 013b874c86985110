// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/TempFiles.h"

#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {
// Candidates start from a value of this process and time, so that processes rarely try the
// same names; a name that exists is passed over.
uint32_t FirstCandidate() {
    const uint64_t now = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    uint64_t x = now ^ (static_cast<uint64_t>(getpid()) << 32);
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    return static_cast<uint32_t>(x);
}

std::atomic<uint32_t> gNext{FirstCandidate()};

// Every candidate of the 32-bit space could be taken only in a folder nobody cleans; give up
// long before.
constexpr int MaxTries = 100000;

std::string WithoutSlash(const std::string& Folder) {
    std::string path = Folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool Trusted(uid_t Owner) {
    return Owner == geteuid() || Owner == 0;
}

// A folder that belongs to this user or root, that nobody else may write unless it is sticky.
bool TrustedFolderStat(const struct stat& St) {
    return S_ISDIR(St.st_mode) && Trusted(St.st_uid) &&
           ((St.st_mode & S_IWOTH) == 0 || (St.st_mode & S_ISVTX) != 0);
}

// Makes the folder Path (a full path without the last "/") in its folder, which must be
// trustworthy, with mode 0700 whatever the umask; returns "" or why it was not made.
std::string MakeOwnFolder(const std::string& Path) {
    const size_t slash = Path.find_last_of('/');
    if (slash == std::string::npos) return std::strerror(EINVAL);
    const std::string parent = slash == 0 ? "/" : Path.substr(0, slash);
    const std::string name = Path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") return std::strerror(EINVAL);
    const int dir = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return std::strerror(errno);
    struct stat st {};
    if (fstat(dir, &st) != 0 || !TrustedFolderStat(st) || !TrustedFolder(parent)) {
        close(dir);
        return "another user controls the folder " + parent;
    }
    if (mkdirat(dir, name.c_str(), 0700) != 0) {
        const int error = errno;
        close(dir);
        return std::strerror(error);
    }
    // What stands there now is opened without following a link, and must be the folder made.
    const int fd = openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    close(dir);
    if (fd < 0) return std::strerror(errno);
    const bool ours = fstat(fd, &st) == 0 && st.st_uid == geteuid() && fchmod(fd, 0700) == 0;
    close(fd);
    return ours ? "" : "it is not this user's";
}
} // namespace

std::string TempFolder() {
    const char* dir = std::getenv("TMPDIR");
    std::string folder = dir != nullptr && *dir != '\0' ? dir : "/tmp";
    if (folder[0] != '/') {
        // Names are kept as full paths, so a relative setting is taken from here.
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd) != nullptr) folder = std::string(cwd) + "/" + folder;
    }
    if (folder.back() != '/') folder += '/';
    return folder;
}

std::string CreateUniqueFile(const std::string& Folder, const std::string& Prefix,
                             const std::string& Suffix) {
    std::string folder = Folder;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    for (int i = 0; i < MaxTries; ++i) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(gNext.fetch_add(1)));
        const std::string path = folder + Prefix + hex + Suffix;
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            close(fd);
            return path;
        }
        if (errno != EEXIST) {
            const std::string reason = std::strerror(errno);
            RaiseException("Cannot create a temporary file in \"" + folder + "\". " + reason);
        }
    }
    RaiseException("Cannot create a temporary file in \"" + folder + "\". Every name is taken");
}

std::string UnusedFileName(const std::string& Folder, const std::string& Prefix, const std::string& Suffix) {
    std::string folder = Folder;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    std::string path;
    for (int i = 0; i < MaxTries; ++i) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(gNext.fetch_add(1)));
        path = folder + Prefix + hex + Suffix;
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0) break;
    }
    return path;
}

int CreateNewFile(const std::string& Path) {
    if (const int error = CreateFileFault(Path)) return error;
    const int fd = open(Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return errno;
    close(fd);
    return 0;
}

bool NoStrangersLinks(const std::string& Path) {
    const std::string path = WithoutSlash(Path);
    if (path.empty() || path[0] != '/') return false;
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/') continue;
        struct stat st {};
        if (lstat(path.substr(0, i).c_str(), &st) != 0) return false;
        if (S_ISLNK(st.st_mode) && !Trusted(st.st_uid)) return false;
    }
    return true;
}

bool TrustedFolder(const std::string& Folder) {
    struct stat st {};
    return NoStrangersLinks(Folder) && stat(WithoutSlash(Folder).c_str(), &st) == 0 && TrustedFolderStat(st);
}

TTempFolderKeeper::TTempFolderKeeper(std::string Fallback) : FFallback(std::move(Fallback)) {
    if (FFallback.empty() || FFallback.back() != '/') FFallback += '/';
}

std::string TTempFolderKeeper::Folder(std::string& Notice) {
    const std::string folder = TempFolder();
    const std::string path = WithoutSlash(folder);
    std::string why;
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode))
            why = "it is not a folder";
        else if (!TrustedFolder(path))
            why = "another user controls it";
    } else if (errno == ENOTDIR) {
        why = std::strerror(errno);
    } else if (errno != ENOENT) {
        // It may be there, out of this user's reach: making a file there says why.
        return folder;
    } else if (lstat(path.c_str(), &st) == 0) {
        why = "a link that leads nowhere stands at its name";
    } else {
        why = MakeOwnFolder(path);
        if (why.empty()) {
            FFellBack = false;
            Notice = "The temporary folder \"" + folder +
                     "\" did not exist, so it was made, open to this user only. Drawing goes on.";
            return folder;
        }
        // Something may have taken the name meanwhile: it is judged as any folder there.
        if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && TrustedFolder(path)) why.clear();
    }
    if (why.empty()) {
        FFellBack = false;
        return folder;
    }
    if (folder == FFallback || !TrustedFolder(FFallback)) return folder;
    if (!FFellBack) {
        FFellBack = true;
        Notice = "The temporary folder \"" + folder + "\" cannot be used (" + why +
                 "), so the undo files go to \"" + FFallback + "\" for now. Drawing goes on.";
    }
    return FFallback;
}
