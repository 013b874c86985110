// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/TempLog.h"

#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"
#include "platform/system/StateFolder.h"
#include "platform/system/TempNotices.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {
constexpr const char* LogPrefix = "TempManager-";
constexpr const char* LogSuffix = ".log";
// A log names a few thousand files at most; a larger one is read only this far.
constexpr size_t MaxLogBytes = 16 * 1024 * 1024;
// Names tried for this copy's log when others are in the way (a log of the same process id left
// by a copy in another process namespace, or something that is not a log).
constexpr int MaxLogNames = 100;
constexpr const char* LossConsequence =
    "Drawing goes on, but the undo files of this session will not be cleaned up if the program ends "
    "without exit (a crash)";

void Report(const std::string& Text) {
    std::fprintf(stderr, "quorvelle: %s\n", Text.c_str());
}

// A file handle closed when it goes out of scope.
class THandle {
public:
    explicit THandle(int Fd) : FFd(Fd) {}
    ~THandle() {
        if (FFd >= 0) close(FFd);
    }
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;
    int Get() const { return FFd; }
    int Release() { return std::exchange(FFd, -1); }

private:
    int FFd;
};

bool IsDigits(const std::string& S) {
    return !S.empty() && std::all_of(S.begin(), S.end(), [](char C) { return C >= '0' && C <= '9'; });
}

// "TempManager-" + a process id, maybe "-" and a number, then ".log".
bool IsLogName(const std::string& Name) {
    const size_t prefix = std::strlen(LogPrefix), suffix = std::strlen(LogSuffix);
    if (Name.size() <= prefix + suffix || Name.compare(0, prefix, LogPrefix) != 0 ||
        Name.compare(Name.size() - suffix, suffix, LogSuffix) != 0)
        return false;
    const std::string middle = Name.substr(prefix, Name.size() - prefix - suffix);
    const size_t dash = middle.find('-');
    if (dash == std::string::npos) return IsDigits(middle);
    return IsDigits(middle.substr(0, dash)) && IsDigits(middle.substr(dash + 1));
}

// True when the open file Fd is still the one the folder lists as Path.
bool StillNamed(int Fd, const std::string& Path) {
    struct stat opened {
    }, named{};
    return fstat(Fd, &opened) == 0 && lstat(Path.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
}

// Makes the log Path with an exclusive create and locks it. Returns the descriptor, or -1 with
// errno set: EEXIST when something has that name, EAGAIN when a start took the new file for an
// ended copy's meanwhile (the name may be tried again).
int MakeLog(const std::string& Path) {
    THandle log(open(Path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (log.Get() < 0) return -1;
    if (flock(log.Get(), LOCK_EX | LOCK_NB) != 0 || !StillNamed(log.Get(), Path)) {
        errno = EAGAIN;
        return -1;
    }
    return log.Release();
}

std::string ReadUpTo(int Fd, size_t Limit) {
    std::string text;
    char buffer[65536];
    while (text.size() < Limit) {
        const ssize_t n = read(Fd, buffer, std::min(sizeof buffer, Limit - text.size()));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

// The names of the folder's entries that look like logs.
std::vector<std::string> LogNames(const std::string& Folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(Folder.empty() ? "." : Folder.c_str());
    if (dir == nullptr) return names;
    while (const dirent* e = readdir(dir))
        if (IsLogName(e->d_name)) names.emplace_back(e->d_name);
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// Gives Clean the lines of the log at Path and deletes it, unless a living copy holds its lock.
void TakeLog(const std::string& Path, const std::function<void(const TStringList& Lines)>& Clean) {
    struct stat st {};
    if (lstat(Path.c_str(), &st) != 0) return;
    if (!S_ISREG(st.st_mode)) {
        Report(Path + " is not a file; it is left as it is");
        return;
    }
    // Not blocking: something put in its place meanwhile (a FIFO) must not stop the start.
    THandle log(open(Path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (log.Get() < 0) {
        if (errno != ENOENT) Report("Could not read " + Path + ": " + std::strerror(errno));
        return;
    }
    if (fstat(log.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    // A living copy holds its log's lock.
    if (flock(log.Get(), LOCK_EX | LOCK_NB) != 0) return;
    // Another start may have cleaned it and a new copy taken its name meanwhile.
    if (!StillNamed(log.Get(), Path)) return;
    TStringList lines;
    lines.SetText(ReadUpTo(log.Get(), MaxLogBytes));
    Clean(lines);
    unlink(Path.c_str());
}
} // namespace

TTempLog::TTempLog(TTempNotices& Notices) : FNotices(Notices) {}

TTempLog::~TTempLog() {
    FOldHandles.push_back(FHandle);
    for (const int handle : FOldHandles)
        if (handle >= 0) close(handle);
}

std::vector<std::string> TTempLog::Folders() {
    std::vector<std::string> folders;
    if (const std::string state = UserStateFolder(); !state.empty()) folders.push_back(state);
    for (const std::string& folder : FallbackStateFolders())
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
    return folders;
}

void TTempLog::TakeEndedLogs(const std::function<void(const TStringList& Lines)>& Clean) {
    for (const std::string& folder : Folders())
        for (const std::string& name : LogNames(folder))
            TakeLog(folder + name, Clean);
}

void TTempLog::Open() {
    if (const std::string failure = MakeFirst(); !failure.empty()) Lose(failure);
}

// The log is made with an exclusive create, so it never takes over another copy's file, and is
// locked at once. A start that finds it between the two steps takes it for an ended copy's empty
// log and deletes it: then it is made again. A folder that takes no log gives way to the next.
std::string TTempLog::MakeFirst() {
    const std::string pid = std::to_string(getpid());
    std::string failure;
    for (const std::string& folder : Folders()) {
        if (!MakePrivateFolder(folder)) {
            if (failure.empty()) failure = "Could not create the folder " + folder;
            continue;
        }
        int taken = 0;
        for (int attempt = 0; attempt < 2 * MaxLogNames && taken < MaxLogNames; ++attempt) {
            const std::string path =
                folder + LogPrefix + pid + (taken > 0 ? "-" + std::to_string(taken) : "") + LogSuffix;
            const int log = MakeLog(path);
            if (log >= 0) {
                FPath = path;
                FHandle = log;
                FBytes = 0;
                return "";
            }
            if (errno == EEXIST) {
                ++taken;
            } else if (errno != EAGAIN) {
                if (failure.empty()) failure = "Could not create " + path + ": " + std::strerror(errno);
                break;
            }
        }
        if (taken >= MaxLogNames && failure.empty()) failure = "Could not create a log in " + folder;
    }
    return failure.empty() ? std::string("Could not create a temporary-file log") : failure;
}

void TTempLog::Lose(const std::string& Reason) {
    if (FLost) return;
    FLost = true;
    FNotices.LogLost(Reason + ". " + LossConsequence + ".");
}

// A log gone from its name was deleted (a cleaner of old files) or put aside: it is made again
// under its name when that is free, where a later start looks for it.
std::string TTempLog::MakeAgain() {
    int log = -1;
    if (const auto back = std::find_if(FOldHandles.begin(), FOldHandles.end(),
                                       [&](int Handle) { return StillNamed(Handle, FPath); });
        back != FOldHandles.end()) {
        log = *back;
        FOldHandles.erase(back);
    } else {
        const std::string folder = FPath.substr(0, FPath.find_last_of('/') + 1);
        if (!MakePrivateFolder(folder)) return "Could not create the folder " + folder;
        log = MakeLog(FPath);
        if (log < 0)
            return errno == EEXIST ? "Could not write " + FPath + ": something else took its place"
                                   : "Could not create " + FPath + ": " + std::strerror(errno);
    }
    FOldHandles.push_back(std::exchange(FHandle, log));
    // A file deleted meanwhile has no name left to keep.
    std::erase_if(FOldHandles, [](int Handle) {
        struct stat st {};
        if (fstat(Handle, &st) == 0 && st.st_nlink > 0) return false;
        close(Handle);
        return true;
    });
    return "";
}

// The whole text goes over what the file holds (a part of the same text), so a rewrite needs
// room only for what the file lacks.
std::string TTempLog::Rewrite() {
    if (FHandle >= 0 && !StillNamed(FHandle, FPath)) {
        if (std::string failure = MakeAgain(); !failure.empty()) return failure;
    } else if (FHandle < 0) {
        if (std::string failure = MakeFirst(); !failure.empty()) return failure;
    }
    // The file holds a part of the text from its start (what it held when it was lost, or all
    // that a file taken back held); a rewrite that fails leaves that.
    struct stat st {};
    const off_t before = fstat(FHandle, &st) == 0 ? st.st_size : 0;
    try {
        TFileStream log(FPath, TFileMode::fmOpenWrite);
        log.WriteBuffer(FText.data(), FText.size());
        log.Close();
        if (ftruncate(FHandle, static_cast<off_t>(FText.size())) != 0)
            RaiseException("Could not write " + FPath + ": " + std::strerror(errno));
    } catch (const Exception& e) {
        if (ftruncate(FHandle, before) != 0) {
            // As for a failed append.
        }
        FBytes = std::min<int64_t>(before, static_cast<int64_t>(FText.size()));
        return e.Message();
    }
    FBytes = static_cast<int64_t>(FText.size());
    if (FLost) {
        FLost = false;
        FNotices.LogWrittenAgain("The temporary-file log " + FPath +
                                 " is written again: the undo files of this session will be cleaned up "
                                 "after a crash.");
    }
    return "";
}

// A log gone from its name, or lost, is written whole.
bool TTempLog::Append(const std::vector<std::string>& Lines) {
    std::string text;
    for (const std::string& line : Lines)
        text += line + "\r\n";
    FText += text;
    if (FDeleted) return false;
    if (!FLost && FHandle >= 0 && StillNamed(FHandle, FPath)) {
        try {
            TFileStream log(FPath, TFileMode::fmOpenWrite);
            log.Seek(FBytes, TSeekOrigin::soBeginning);
            log.WriteBuffer(text.data(), text.size());
            log.Close();
        } catch (const Exception& e) {
            if (ftruncate(FHandle, static_cast<off_t>(FBytes)) != 0) {
                // The log may end in a part of a line; a clean-up passes over such a line, and a
                // rewrite replaces it.
            }
            Lose(e.Message());
            return false;
        }
        FBytes = static_cast<int64_t>(FText.size());
        return true;
    }
    const std::string failure = Rewrite();
    if (failure.empty()) return true;
    Lose(failure);
    return false;
}

void TTempLog::TakeBack(size_t Size) {
    FText.resize(Size);
    if (FLost || FHandle < 0 || FBytes <= static_cast<int64_t>(Size)) return;
    if (ftruncate(FHandle, static_cast<off_t>(Size)) == 0)
        FBytes = static_cast<int64_t>(Size);
    else
        Lose("Could not write " + FPath + ": " + std::strerror(errno));
}

void TTempLog::Delete() {
    FDeleted = true;
    FOldHandles.push_back(std::exchange(FHandle, -1));
    for (const int handle : FOldHandles) {
        if (handle < 0) continue;
        if (StillNamed(handle, FPath)) unlink(FPath.c_str());
        close(handle);
    }
    FOldHandles.clear();
}
