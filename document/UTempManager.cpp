// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/UTempManager.h"

#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {
constexpr const char* TempPrefix = "~";
constexpr size_t TempDigits = 8;
// The extensions the program asks names for: a drawing's stroke file, swapped-out bitmaps and
// tiles (older copies swapped tiles out under ".bmp" names too).
constexpr const char* TempExtensions[] = {"tsk", ".bmp", ".tiles"};
// Names tried when others take each in turn before it is made.
constexpr int MaxNameTries = 100;
constexpr const char* FolderTag = "folder: ";
constexpr const char* AsideTag = "aside: ";

bool StartsWith(const std::string& S, const char* Prefix) {
    return S.compare(0, std::strlen(Prefix), Prefix) == 0;
}

std::string Absolute(const std::string& Path) {
    if (!Path.empty() && Path[0] == '/') return Path;
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr) return Path;
    return std::string(cwd) + "/" + Path;
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

// Deletes the files that an ended copy's log Lines name. Only names of this service's own form
// inside the temporary folder TempDir (or one the log names) and write-aside files are deleted,
// whatever a damaged log says.
void CleanAfter(const TStringList& Lines, const std::string& TempDir) {
    std::vector<std::string> folders = {TempDir};
    for (const std::string& line : Lines) {
        if (!StartsWith(line, FolderTag)) continue;
        const std::string folder = line.substr(std::strlen(FolderTag));
        if (!folder.empty() && folder.front() == '/' && folder.back() == '/') folders.push_back(folder);
    }
    for (const std::string& line : Lines) {
        if (StartsWith(line, AsideTag))
            CleanWriteAside(line.substr(std::strlen(AsideTag)));
        else if (std::any_of(folders.begin(), folders.end(),
                             [&](const std::string& F) { return IsOurTempFile(line, F); }))
            unlink(line.c_str());
    }
}
} // namespace

TTempManager::TTempManager() {
    const std::string tempDir = TempFolder();
    TTempLog::TakeEndedLogs([&](const TStringList& Lines) { CleanAfter(Lines, tempDir); });
    FLog.Open();
}

TTempManager::~TTempManager() {
    if (FListsWriteAside) SetWriteAsideHook(nullptr);
    DeleteAll();
}

void TTempManager::TellNotices() {
    TTempNotices::TBatch told;
    {
        std::lock_guard lock(FMutex);
        told = FNotices.Take();
    }
    told.Tell();
}

void TTempManager::SetNoticeHook(TNoticeHook Hook) {
    {
        std::lock_guard lock(FMutex);
        FNotices.SetHook(std::move(Hook));
    }
    TellNotices();
}

bool TTempManager::LogLost() const {
    std::lock_guard lock(FMutex);
    return FLog.Lost();
}

std::string TTempManager::LogPath() const {
    std::lock_guard lock(FMutex);
    return FLog.Path();
}

std::string TTempManager::GetTempFileName(const std::string& Ext) {
    struct TTell {
        TTempManager& Self;
        ~TTell() { Self.TellNotices(); }
    } tell{*this};
    std::lock_guard lock(FMutex);
    std::string notice;
    const std::string folder = FFolders.Folder(notice);
    // Files that go elsewhere for now are trouble; a folder made again is not.
    if (!notice.empty()) FNotices.Add(notice, folder == TempFolder() ? TNotice::Relief : TNotice::Trouble);
    for (int attempt = 0;; ++attempt) {
        const std::string name = UnusedFileName(folder, TempPrefix, Ext);
        const size_t before = FLog.Size();
        const std::string loggedFolder = FLoggedFolder;
        std::vector<std::string> lines;
        if (folder != FLoggedFolder) {
            lines.push_back(FolderTag + folder);
            FLoggedFolder = folder;
        }
        lines.push_back(name);
        FLog.Append(lines);
        const int error = CreateNewFile(name);
        if (error == 0) {
            FNames.Add(name);
            return name;
        }
        // The lines go again, so that the log names no file this copy did not make.
        FLog.TakeBack(before);
        FLoggedFolder = loggedFolder;
        if (error != EEXIST || attempt >= MaxNameTries)
            RaiseException("Cannot create a temporary file in \"" + folder + "\". " + std::strerror(error));
    }
}

void TTempManager::ListWriteAside(const std::string& Path) {
    {
        std::lock_guard lock(FMutex);
        FLog.Append({AsideTag + Absolute(Path)});
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
    FLog.Delete();
}

TTempManager& TempManager() {
    static const std::unique_ptr<TTempManager> instance = [] {
        auto manager = std::make_unique<TTempManager>();
        manager->ListWriteAsideFiles();
        return manager;
    }();
    return *instance;
}
