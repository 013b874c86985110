// SPDX-License-Identifier: GPL-3.0-or-later
// Whether a running copy holds the advisory lock (flock) of a file, such as a temporary-file log.
#pragma once

#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <unistd.h>

// True when another open of Path can take its lock, that is when no copy holds it.
inline bool Unlocked(const std::string& Path) {
    const int fd = open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
    close(fd);
    return free;
}
