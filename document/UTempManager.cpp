// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/UTempManager.h"

#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"
#include "platform/system/StateFolder.h"

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
// The extensions the program asks names for: stroke logs, swapped-out bitmaps and tiles (older
// copies swapped tiles out under ".bmp" names too).
constexpr const char* TempExtensions[] = {"tsk", ".bmp", ".tiles"};
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

constexpr const char* FolderTag = "folder: ";
constexpr const char* AsideTag = "aside: ";
constexpr const char* LossConsequence =
    "Drawing goes on, but the undo files of this session will not be cleaned up if the program ends "
    "without exit (a crash)";

bool StartsWith(const std::string& S, const char* Prefix) {
    return S.compare(0, std::strlen(Prefix), Prefix) == 0;
}

std::string Absolute(const std::string& Path) {
    if (!Path.empty() && Path[0] == '/') return Path;
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr) return Path;
    return std::string(cwd) + "/" + Path;
}

// Deletes a save's write-aside file named by an ended copy's log: only a full path whose last
// part has the write-aside form, and only a regular file.
void CleanWriteAside(const std::string& Path) {
    const size_t slash = Path.find_last_of('/');
    if (Path.empty() || Path[0] != '/' || slash == std::string::npos ||
        !IsWriteAsideName(Path.substr(slash + 1)))
        return;
    struct stat st {};
    if (lstat(Path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) unlink(Path.c_str());
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
    TStringList lines;
    lines.SetText(ReadUpTo(log.Get(), MaxLogBytes));
    // The temporary folders the names may be in: this start's, and those the log names.
    std::vector<std::string> folders = {TempDir};
    for (const std::string& line : lines) {
        if (!StartsWith(line, FolderTag)) continue;
        const std::string folder = line.substr(std::strlen(FolderTag));
        if (!folder.empty() && folder.front() == '/' && folder.back() == '/') folders.push_back(folder);
    }
    for (const std::string& line : lines) {
        if (StartsWith(line, AsideTag))
            CleanWriteAside(line.substr(std::strlen(AsideTag)));
        else if (std::any_of(folders.begin(), folders.end(),
                             [&](const std::string& F) { return IsOurTempFile(line, F); }))
            unlink(line.c_str());
    }
    unlink(Path.c_str());
}
} // namespace

TTempManager::TTempManager() {
    CleanAfterEndedCopies();
    if (const std::string failure = OpenLog(); !failure.empty()) LoseLog(failure);
}

TTempManager::~TTempManager() {
    if (FListsWriteAside) SetWriteAsideHook(nullptr);
    DeleteAll();
}

std::vector<std::string> TTempManager::LogFolders() {
    std::vector<std::string> folders;
    if (const std::string state = UserStateFolder(); !state.empty()) folders.push_back(state);
    for (const std::string& folder : FallbackStateFolders())
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
    return folders;
}

void TTempManager::CleanAfterEndedCopies() {
    const std::string tempDir = TempFolder();
    for (const std::string& folder : LogFolders())
        for (const std::string& name : LogNames(folder))
            CleanLog(folder + name, tempDir);
}

// The log is made with an exclusive create, so it never takes over another copy's file, and is
// locked at once. A start that finds it between the two steps takes it for an ended copy's empty
// log and deletes it: then it is made again. A folder that takes no log gives way to the next.
std::string TTempManager::OpenLog() {
    const std::string pid = std::to_string(getpid());
    std::string failure;
    for (const std::string& folder : LogFolders()) {
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
                FLogPath = path;
                FLogHandle = log;
                FLogBytes = 0;
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

void TTempManager::LoseLog(const std::string& Reason) {
    if (FLogLost) return;
    FLogLost = true;
    FLossNotice = Reason + ". " + LossConsequence + ".";
    Report(FLossNotice);
    Notify(FLossNotice, TNotice::Trouble);
    FLossQueued = true;
}

void TTempManager::Notify(const std::string& Text, TNotice Kind) {
    FNotices.emplace_back(Text, Kind);
}

void TTempManager::TellNotices() {
    TNoticeHook hook;
    std::vector<std::pair<std::string, TNotice>> notices;
    {
        std::lock_guard lock(FMutex);
        if (FNotices.empty() || !FOnNotice) return;
        hook = FOnNotice;
        notices.swap(FNotices);
        if (FLossQueued) FLossTold = true;
        FLossQueued = false;
    }
    for (const auto& [text, kind] : notices)
        hook(text, kind);
}

void TTempManager::SetNoticeHook(TNoticeHook Hook) {
    {
        std::lock_guard lock(FMutex);
        FOnNotice = std::move(Hook);
    }
    TellNotices();
}

bool TTempManager::LogLost() const {
    std::lock_guard lock(FMutex);
    return FLogLost;
}

std::string TTempManager::LogPath() const {
    std::lock_guard lock(FMutex);
    return FLogPath;
}

// Appends Text checked to the close. A write that fails takes back what it wrote, so the log
// stays a list of whole lines, and the log is lost until a rewrite succeeds at a later name. A
// log gone from its name, or lost, is written whole.
bool TTempManager::AppendToLog(const std::string& Text) {
    FLogText += Text;
    if (FClosed) return false;
    if (!FLogLost && FLogHandle >= 0 && StillNamed(FLogHandle, FLogPath)) {
        try {
            TFileStream log(FLogPath, TFileMode::fmOpenWrite);
            log.Seek(FLogBytes, TSeekOrigin::soBeginning);
            log.WriteBuffer(Text.data(), Text.size());
            log.Close();
        } catch (const Exception& e) {
            if (ftruncate(FLogHandle, static_cast<off_t>(FLogBytes)) != 0) {
                // The log may end in a part of a name; a clean-up passes over such a line, and a
                // rewrite replaces it.
            }
            LoseLog(e.Message());
            return false;
        }
        FLogBytes = static_cast<int64_t>(FLogText.size());
        return true;
    }
    const std::string failure = RewriteLog();
    if (failure.empty()) return true;
    LoseLog(failure);
    return false;
}

// The whole text goes over what the file holds (a part of the same text), so a rewrite needs
// room only for what the file lacks.
std::string TTempManager::RewriteLog() {
    if (FLogHandle >= 0 && !StillNamed(FLogHandle, FLogPath)) {
        // Deleted (a cleaner of old files) or put aside: made again under its name when that is
        // free, where a later start looks for it. The file it was stays open and locked while it
        // has a name, so that no start takes it for an ended copy's log, and is taken again if it
        // comes back.
        int log = -1;
        if (const auto back = std::find_if(FOldLogHandles.begin(), FOldLogHandles.end(),
                                           [&](int Handle) { return StillNamed(Handle, FLogPath); });
            back != FOldLogHandles.end()) {
            log = *back;
            FOldLogHandles.erase(back);
        } else {
            const std::string folder = FLogPath.substr(0, FLogPath.find_last_of('/') + 1);
            if (!MakePrivateFolder(folder)) return "Could not create the folder " + folder;
            log = MakeLog(FLogPath);
            if (log < 0)
                return errno == EEXIST ? "Could not write " + FLogPath + ": something else took its place"
                                       : "Could not create " + FLogPath + ": " + std::strerror(errno);
        }
        FOldLogHandles.push_back(std::exchange(FLogHandle, log));
        std::erase_if(FOldLogHandles, [](int Handle) {
            struct stat st {};
            if (fstat(Handle, &st) == 0 && st.st_nlink > 0) return false;
            close(Handle);
            return true;
        });
    } else if (FLogHandle < 0) {
        if (std::string failure = OpenLog(); !failure.empty()) return failure;
    }
    // The file holds a part of the text from its start (what it held when it was lost, or all
    // that a file taken back held); a rewrite that fails leaves that.
    struct stat st {};
    const off_t before = fstat(FLogHandle, &st) == 0 ? st.st_size : 0;
    try {
        TFileStream log(FLogPath, TFileMode::fmOpenWrite);
        log.WriteBuffer(FLogText.data(), FLogText.size());
        log.Close();
        if (ftruncate(FLogHandle, static_cast<off_t>(FLogText.size())) != 0)
            RaiseException("Could not write " + FLogPath + ": " + std::strerror(errno));
    } catch (const Exception& e) {
        if (ftruncate(FLogHandle, before) != 0) {
            // As for a failed append.
        }
        FLogBytes = std::min<int64_t>(before, static_cast<int64_t>(FLogText.size()));
        return e.Message();
    }
    FLogBytes = static_cast<int64_t>(FLogText.size());
    if (!FLogLost) return "";
    FLogLost = false;
    const std::string notice =
        "The temporary-file log " + FLogPath +
        " is written again: the undo files of this session will be cleaned up after a crash.";
    Report(notice);
    if (FLossQueued) {
        // The user never heard of the loss: nothing to take back.
        if (const auto loss =
                std::find(FNotices.begin(), FNotices.end(), std::pair{FLossNotice, TNotice::Trouble});
            loss != FNotices.end())
            FNotices.erase(loss);
        FLossQueued = false;
    } else if (FLossTold) {
        Notify(notice, TNotice::Relief);
        FLossTold = false;
    }
    return "";
}

void TTempManager::TakeBack(size_t Size) {
    FLogText.resize(Size);
    if (FLogLost || FLogHandle < 0 || FLogBytes <= static_cast<int64_t>(Size)) return;
    if (ftruncate(FLogHandle, static_cast<off_t>(Size)) == 0)
        FLogBytes = static_cast<int64_t>(Size);
    else
        LoseLog("Could not write " + FLogPath + ": " + std::strerror(errno));
}

std::string TTempManager::GetTempFileName(const std::string& Ext) {
    struct TTell {
        TTempManager& Self;
        ~TTell() { Self.TellNotices(); }
    } tell{*this};
    std::lock_guard lock(FMutex);
    std::string notice;
    const std::string folder = FFolders.Folder(notice);
    if (!notice.empty()) {
        Report(notice);
        // Files that go elsewhere for now are trouble; a folder made again is not.
        Notify(notice, folder == TempFolder() ? TNotice::Relief : TNotice::Trouble);
    }
    for (int attempt = 0;; ++attempt) {
        const std::string name = UnusedFileName(folder, TempPrefix, Ext);
        const size_t before = FLogText.size();
        const std::string loggedFolder = FLoggedFolder;
        std::string lines;
        if (folder != FLoggedFolder) {
            lines = FolderTag + folder + "\r\n";
            FLoggedFolder = folder;
        }
        AppendToLog(lines + name + "\r\n");
        const int error = CreateNewFile(name);
        if (error == 0) {
            FNames.Add(name);
            return name;
        }
        // The lines go again, so that the log names no file this copy did not make.
        TakeBack(before);
        FLoggedFolder = loggedFolder;
        if (error != EEXIST || attempt >= MaxLogNames)
            RaiseException("Cannot create a temporary file in \"" + folder + "\". " + std::strerror(error));
    }
}

void TTempManager::ListWriteAside(const std::string& Path) {
    {
        std::lock_guard lock(FMutex);
        AppendToLog(AsideTag + Absolute(Path) + "\r\n");
    }
    TellNotices();
}

void TTempManager::ListWriteAsideFiles() {
    FListsWriteAside = true;
    SetWriteAsideHook([this](const std::string& Path) { ListWriteAside(Path); });
}

TStringList TTempManager::Names() const {
    std::lock_guard lock(FMutex);
    return FNames;
}

void TTempManager::DeleteAll() {
    std::lock_guard lock(FMutex);
    for (const std::string& name : FNames)
        unlink(name.c_str());
    FClosed = true;
    // Only the log itself: something else may stand at its name by now.
    FOldLogHandles.push_back(FLogHandle);
    FLogHandle = -1;
    for (const int handle : FOldLogHandles) {
        if (handle < 0) continue;
        if (StillNamed(handle, FLogPath)) unlink(FLogPath.c_str());
        close(handle);
    }
    FOldLogHandles.clear();
}

TTempManager& TempManager() {
    static const std::unique_ptr<TTempManager> instance = [] {
        auto manager = std::make_unique<TTempManager>();
        manager->ListWriteAsideFiles();
        return manager;
    }();
    return *instance;
}
