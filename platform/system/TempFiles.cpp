// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/TempFiles.h"

#include "platform/rtl/Exception.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    const int fd = open(Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return errno;
    close(fd);
    return 0;
}
