// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Utils.h"

#include "platform/formats/JpegCodec.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/StringList.h"
#include "platform/system/ApplicationFolder.h"
#include "platform/system/PerformanceCounter.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------------
// Masks

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

constexpr size_t CurveRecordSize = 32;

} // namespace

// ---------------------------------------------------------------------------------------------
// Folders and files

std::string AppFolder() {
    return ApplicationFolder();
}

std::string AppTempFolder() {
    return AppFolder() + "tmp";
}

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

// ---------------------------------------------------------------------------------------------
// JPEG pictures

void LoadJpegImage(TBitmap32& Dest, TStream& Stream, int32_t MaxWidth, int32_t MaxHeight) {
    // Decoded into a bitmap of its own first, so Dest stays as it was when the data is bad.
    TBitmap32 picture;
    ReadJpegWithin(picture, Stream, std::max(MaxWidth, 1), std::max(MaxHeight, 1));
    Dest.Assign(picture);
}

void SaveJpegImage(const TBitmap32& Source, TStream& Stream, uint8_t Quality) {
    WriteJpeg(Source, Stream, Quality);
}

// ---------------------------------------------------------------------------------------------
// Logs and texts

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

std::string IndexErrorText(int Index, const std::string& Where) {
    return Format("%s: Index out of bounds(%d)", Where.c_str(), Index);
}

std::string FormatByteSize(int32_t Bytes) {
    constexpr int32_t Gb = 1073741824;
    constexpr int32_t Mb = 1048576;
    constexpr int32_t Kb = 1024;
    if (Bytes / Gb > 0) return FloatToStrGeneral(static_cast<double>(Bytes) / Gb, 5, 2) + " Gb";
    if (Bytes / Mb > 0) return FloatToStrGeneral(static_cast<double>(Bytes) / Mb, 5, 2) + " Mb";
    if (Bytes / Kb > 0) return FloatToStrGeneral(static_cast<double>(Bytes) / Kb, 5, 2) + " Kb";
    return std::to_string(Bytes) + " bytes";
}

// ---------------------------------------------------------------------------------------------
// Curve records

void WriteCurves(TStream& Stream, std::span<const TBezierCurve> Curves) {
    for (const TBezierCurve& c : Curves) {
        const int32_t fields[8] = {c.P0.X, c.P0.Y, c.C1.X, c.C1.Y, c.C2.X, c.C2.Y, c.P3.X, c.P3.Y};
        unsigned char bytes[CurveRecordSize];
        for (size_t i = 0; i < 8; ++i)
            TStream::ToLittleEndian(fields[i], bytes + 4 * i);
        Stream.WriteBuffer(bytes, sizeof bytes);
    }
}

void ReadCurves(TStream& Stream, std::span<TBezierCurve> Curves) {
    for (TBezierCurve& c : Curves) {
        unsigned char bytes[CurveRecordSize];
        if (Stream.Read(bytes, sizeof bytes) != sizeof bytes)
            RaiseException("ReadCurves: the curve data ends before its last curve");
        int32_t fields[8];
        for (size_t i = 0; i < 8; ++i)
            fields[i] = TStream::FromLittleEndian<int32_t>(bytes + 4 * i);
        c = TBezierCurve{
            {fields[0], fields[1]}, {fields[2], fields[3]}, {fields[4], fields[5]}, {fields[6], fields[7]}};
    }
}

// ---------------------------------------------------------------------------------------------
// Start-up

void InitializeUtils() {
    CheckPerformanceCounter();
}
