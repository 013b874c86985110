// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/UTempManager.h"

#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"
#include "platform/system/StateFolder.h"
#include "platform/system/TempFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {
constexpr const char* LogPrefix = "TempManager-";
constexpr const char* LogSuffix = ".log";
constexpr const char* TempPrefix = "~";
constexpr size_t TempDigits = 8;
// The extensions the program asks names for: stroke logs and swapped-out bitmaps.
constexpr const char* TempExtensions[] = {"tsk", ".bmp"};
// A log names a few thousand files at most; a larger one is read only this far.
constexpr size_t MaxLogBytes = 16 * 1024 * 1024;
// Names tried for this copy's log when others are in the way (a log of the same process id left
// by a copy in another process namespace, or something that is not a log).
constexpr int MaxLogNames = 100;

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

// Folder, then a name this service makes: "~", eight hexadecimal digits and one of the
// extensions. A damaged or foreign log line naming anything else is never deleted.
bool IsOurTempFile(const std::string& Path, const std::string& Folder) {
    if (Path.size() <= Folder.size() || Path.compare(0, Folder.size(), Folder) != 0) return false;
    const std::string name = Path.substr(Folder.size());
    if (name.size() < 1 + TempDigits || name[0] != TempPrefix[0]) return false;
    for (size_t i = 1; i <= TempDigits; ++i)
        if (!((name[i] >= '0' && name[i] <= '9') || (name[i] >= 'a' && name[i] <= 'f'))) return false;
    const std::string ext = name.substr(1 + TempDigits);
    return std::any_of(std::begin(TempExtensions), std::end(TempExtensions),
                       [&](const char* E) { return ext == E; });
}

// True when the open file Fd is still the one the folder lists as Path.
bool StillNamed(int Fd, const std::string& Path) {
    struct stat opened {
    }, named{};
    return fstat(Fd, &opened) == 0 && lstat(Path.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
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

// Cleans after the copy that wrote the log at Path, unless a living copy holds its lock.
void CleanLog(const std::string& Path, const std::string& TempDir) {
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
    TStringList names;
    names.SetText(ReadUpTo(log.Get(), MaxLogBytes));
    for (const std::string& name : names)
        if (IsOurTempFile(name, TempDir)) unlink(name.c_str());
    unlink(Path.c_str());
}
} // namespace

TTempManager::TTempManager() {
    CleanAfterEndedCopies();
    OpenLog();
}

TTempManager::~TTempManager() {
    DeleteAll();
}

std::string TTempManager::GetStateDir() {
    return UserStateFolder();
}

void TTempManager::CleanAfterEndedCopies() {
    const std::string folder = GetStateDir();
    const std::string tempDir = TempFolder();
    for (const std::string& name : LogNames(folder))
        CleanLog(folder + name, tempDir);
}

// The log is made with an exclusive create, so it never takes over another copy's file, and is
// locked at once. A start that finds it between the two steps takes it for an ended copy's empty
// log and deletes it: then it is made again.
void TTempManager::OpenLog() {
    const std::string folder = GetStateDir();
    const std::string pid = std::to_string(getpid());
    int taken = 0;
    for (int attempt = 0; attempt < 2 * MaxLogNames && taken < MaxLogNames; ++attempt) {
        const std::string path =
            folder + LogPrefix + pid + (taken > 0 ? "-" + std::to_string(taken) : "") + LogSuffix;
        THandle log(open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (log.Get() < 0) {
            if (errno == EEXIST) {
                ++taken;
                continue;
            }
            Report("Could not create " + path + ": " + std::strerror(errno) +
                   "; temporary files left by a crash of this copy will not be cleaned");
            return;
        }
        if (flock(log.Get(), LOCK_EX | LOCK_NB) == 0 && StillNamed(log.Get(), path)) {
            FLogPath = path;
            FLogHandle = log.Release();
            return;
        }
    }
    Report("Could not create a log in " + (folder.empty() ? std::string("the current directory") : folder) +
           "; temporary files left by a crash of this copy will not be cleaned");
}

std::string TTempManager::GetTempFileName(const std::string& Ext) {
    std::lock_guard lock(FMutex);
    const std::string name = CreateUniqueFile(TempFolder(), TempPrefix, Ext);
    FNames.Add(name);
    SaveLog();
    return name;
}

// Appends the names the log does not hold yet, checked to the close. A write that fails takes
// back what it wrote, so the log stays a list of whole lines.
void TTempManager::SaveLog() {
    if (FLogHandle < 0) return;
    std::string text;
    for (int i = FLoggedNames; i < FNames.Count(); ++i)
        text += FNames[i] + "\r\n";
    try {
        TFileStream log(FLogPath, TFileMode::fmOpenWrite);
        log.Seek(FLogBytes, TSeekOrigin::soBeginning);
        log.WriteBuffer(text.data(), text.size());
        log.Close();
    } catch (const Exception&) {
        if (ftruncate(FLogHandle, static_cast<off_t>(FLogBytes)) != 0) {
            // The log may end in a part of a name; a clean-up passes over such a line.
        }
        throw;
    }
    FLogBytes += static_cast<int64_t>(text.size());
    FLoggedNames = FNames.Count();
}

TStringList TTempManager::Names() const {
    std::lock_guard lock(FMutex);
    return FNames;
}

void TTempManager::DeleteAll() {
    std::lock_guard lock(FMutex);
    for (const std::string& name : FNames)
        unlink(name.c_str());
    if (FLogHandle < 0) return;
    unlink(FLogPath.c_str());
    close(FLogHandle);
    FLogHandle = -1;
}

TTempManager& TempManager() {
    static const std::unique_ptr<TTempManager> instance = std::make_unique<TTempManager>();
    return *instance;
}
