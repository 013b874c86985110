// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/ErrorLog.h"

#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

bool PathExists(const std::string& Path) {
    struct stat st {};
    return lstat(Path.c_str(), &st) == 0;
}

// How often an existing file that refuses to open for appending is tried, and the pause
// between tries: another program (a viewer, a backup) may hold it for a moment.
constexpr int AppendTries = 5;
constexpr std::chrono::milliseconds AppendPause{20};

void WriteAll(int Fd, const std::string& Text, const std::string& FileName) {
    size_t done = 0;
    while (done < Text.size()) {
        const ssize_t n = write(Fd, Text.data() + done, Text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const std::string reason = std::strerror(errno);
            close(Fd);
            RaiseException("Cannot write to file \"" + FileName + "\". " + reason);
        }
        done += static_cast<size_t>(n);
    }
}

} // namespace

void AppendLine(const std::string& FileName, const std::string& Line) {
    int fd = -1;
    for (int attempt = 0; attempt < AppendTries && PathExists(FileName); ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(AppendPause);
        fd = OpenRegularFile(FileName, O_WRONLY | O_APPEND);
        if (fd >= 0) break;
    }
    if (fd < 0) {
        if (PathExists(FileName)) {
            const std::string reason = std::strerror(errno);
            RaiseException("Cannot open file \"" + FileName + "\". " + reason);
        }
        fd = OpenRegularFile(FileName, O_WRONLY | O_APPEND | O_CREAT);
        if (fd < 0) {
            const std::string reason = std::strerror(errno);
            RaiseException("Cannot create file \"" + FileName + "\". " + reason);
        }
    }
    WriteAll(fd, Line + "\r\n", FileName);
    if (close(fd) != 0) {
        const std::string reason = std::strerror(errno);
        RaiseException("Cannot close file \"" + FileName + "\". " + reason);
    }
}

void LogException(const std::exception& E) {
    AppendLine(ErrorLogName, E.what());
}
