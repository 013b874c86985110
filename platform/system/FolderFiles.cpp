// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system/FolderFiles.h"

#include "platform/rtl/Exception.h"
#include "platform/rtl/StringList.h"
#include "platform/system/ApplicationFolder.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

char Lower(char C) {
    return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C;
}

// "*" and "?" against a name, ignoring ASCII case; everything else is literal.
bool Wild(const char* Name, const char* Mask) {
    const char* starMask = nullptr;
    const char* starName = nullptr;
    while (*Name != '\0') {
        if (*Mask == '*') {
            starMask = ++Mask;
            starName = Name;
        } else if (*Mask == '?' || (*Mask != '\0' && Lower(*Mask) == Lower(*Name))) {
            ++Mask;
            ++Name;
        } else if (starMask != nullptr) {
            Mask = starMask;
            Name = ++starName;
        } else {
            return false;
        }
    }
    while (*Mask == '*')
        ++Mask;
    return *Mask == '\0';
}

// As the masks of the program's presets mean them: "*.*" is every name, "name.*" also "name".
bool MatchesMask(const std::string& Name, const std::string& Mask) {
    if (Wild(Name.c_str(), Mask.c_str())) return true;
    if (Mask.size() >= 2 && Mask.compare(Mask.size() - 2, 2, ".*") == 0)
        return Wild(Name.c_str(), Mask.substr(0, Mask.size() - 2).c_str());
    return false;
}

struct TDirEntry {
    std::string Name;
    bool IsDirectory = false;
};

// The entries of Dir (which ends in "/" or is empty for the current directory) matching Mask,
// "." and ".." left out, sorted by name so that every listing comes in the same order.
std::vector<TDirEntry> ListEntries(const std::string& Dir, const std::string& Mask) {
    std::vector<TDirEntry> entries;
    DIR* dir = opendir(Dir.empty() ? "." : Dir.c_str());
    if (dir == nullptr) return entries;
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == ".." || !MatchesMask(name, Mask)) continue;
        struct stat st {};
        const bool isDir = stat((Dir + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        entries.push_back({name, isDir});
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const TDirEntry& A, const TDirEntry& B) { return A.Name < B.Name; });
    return entries;
}

bool PathExists(const std::string& Path) {
    struct stat st {};
    return lstat(Path.c_str(), &st) == 0;
}

bool DirectoryExists(const std::string& Path) {
    struct stat st {};
    return stat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

void GetFiles(const std::string& Folder, const std::string& Mask, TStringList* List) {
    if (List == nullptr) RaiseException("GetFiles: FileList must be created");
    List->Clear();
    // The enumerated path is Folder + Mask, so a Folder without its "/" lists its parent with
    // the folder's last part in front of the mask, and the names still get Folder in front.
    const std::string path = Folder + Mask;
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string mask = slash == std::string::npos ? path : path.substr(slash + 1);
    for (const TDirEntry& e : ListEntries(dir, mask))
        List->Add(Folder + e.Name);
}

void DeleteFiles(const std::string& Folder, const std::string& Mask) {
    std::string dir = Folder;
    if (dir.empty() || dir.back() != '/') dir += '/';
    for (const TDirEntry& e : ListEntries(dir, Mask))
        if (!e.IsDirectory) unlink((dir + e.Name).c_str());
}

std::string PadNumber(int N, int Width) {
    std::string text = std::to_string(N);
    if (static_cast<int>(text.size()) < Width) text.append(static_cast<size_t>(Width) - text.size(), '0');
    return text;
}

std::string UniqueFileName(const std::string& Folder, const std::string& Base, const std::string& Ext) {
    std::string folder = Folder.empty() ? AppFolder() : Folder;
    if (!DirectoryExists(folder) && mkdir(folder.c_str(), 0777) != 0 && !DirectoryExists(folder))
        RaiseException("Cannot Create " + folder);
    std::string ext = Ext;
    if (ext.empty() || ext[0] != '.') ext.insert(ext.begin(), '.');
    if (folder.back() != '/') folder += '/';
    int i = 0;
    int width = 4;
    std::string candidate;
    do {
        candidate = folder + Base + PadNumber(i, width) + ext;
        ++i;
        if (static_cast<int>(std::to_string(i).size()) > width) ++width;
    } while (PathExists(candidate));
    return candidate;
}
