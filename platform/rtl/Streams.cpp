// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/rtl/Streams.h"

#include "platform/rtl/Exception.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// The write fault of the test seam; gFaultActive lets the normal path pass with one load.
struct TWriteFault {
    TFaultPoint Point;
    int64_t AtByte;
    int Error;
    int Hits;
    std::string Within; // the fault strikes only files whose names start so ("" for all)
};
std::atomic<bool> gFaultActive{false};
std::mutex gFaultMutex;
TWriteFault gFault{};

// The errno of the fault at Point for the file FileName whose data ends at End, or 0.
int FaultAt(TFaultPoint Point, int64_t End, const std::string& FileName) {
    if (!gFaultActive.load(std::memory_order_relaxed)) return 0;
    std::lock_guard lock(gFaultMutex);
    if (!gFaultActive || gFault.Point != Point || End < gFault.AtByte) return 0;
    if (FileName.compare(0, gFault.Within.size(), gFault.Within) != 0) return 0;
    if (Point == TFaultPoint::fpWrite && End == gFault.AtByte) return 0;
    ++gFault.Hits;
    return gFault.Error;
}

// The errno of a fault at Point that strikes whatever a file holds (creating, removing), or 0.
int FaultOn(TFaultPoint Point, const std::string& FileName) {
    return FaultAt(Point, INT64_MAX, FileName);
}

int64_t FaultLimit() {
    std::lock_guard lock(gFaultMutex);
    return gFault.AtByte;
}

[[noreturn]] void RaiseNotAFile(const std::string& FileName) {
    RaiseException(FileName + " is not a file");
}

[[noreturn]] void RaiseOpenError(const std::string& FileName, bool Creating, int Error) {
    const std::string reason = std::strerror(Error);
    if (Creating) RaiseException("Cannot create file \"" + FileName + "\". " + reason);
    RaiseException("Cannot open file \"" + FileName + "\". " + reason);
}

// OpenRegularFile, raising "Cannot open file" or "Cannot create file" where it returns -1.
int OpenRegular(const std::string& FileName, int Flags, bool Creating) {
    const int fd = OpenRegularFile(FileName, Flags);
    if (fd < 0) RaiseOpenError(FileName, Creating, errno);
    return fd;
}

std::string FolderOf(const std::string& Path) {
    const size_t slash = Path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : Path.substr(0, slash == 0 ? 1 : slash);
}

std::string NameOf(const std::string& Path) {
    const size_t slash = Path.find_last_of('/');
    return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

// The file a save to Path writes: a symbolic link's target, so the link stays a link.
std::string SaveTarget(const std::string& Path) {
    struct stat st {};
    if (::lstat(Path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return Path;
    char* real = ::realpath(Path.c_str(), nullptr);
    if (real == nullptr) return Path;
    std::string target = real;
    std::free(real);
    return target;
}

std::atomic<uint32_t> gTempCounter{static_cast<uint32_t>(
    std::chrono::steady_clock::now().time_since_epoch().count() ^ (static_cast<uint64_t>(getpid()) << 16))};

} // namespace

int OpenRegularFile(const std::string& FileName, int Flags) {
    const int fd = ::open(FileName.c_str(), Flags | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        // A folder opened for writing answers EISDIR, a FIFO without a reader ENXIO.
        if (errno == EISDIR || errno == ENXIO) RaiseNotAFile(FileName);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        RaiseNotAFile(FileName);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

int64_t TStream::Size() {
    const int64_t pos = Seek(0, TSeekOrigin::soCurrent);
    const int64_t size = Seek(0, TSeekOrigin::soEnd);
    Seek(pos, TSeekOrigin::soBeginning);
    return size;
}

void TStream::ReadBuffer(void* Buffer, size_t Count) {
    if (Count != 0 && Read(Buffer, Count) != Count) RaiseException("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, size_t Count) {
    if (Count != 0 && Write(Buffer, Count) != Count) RaiseException("Stream write error");
}

int64_t TStream::CopyFrom(TStream& Source, int64_t Count) {
    if (Count == 0) {
        Source.SetPosition(0);
        Count = Source.Size();
    }
    const int64_t total = Count;
    std::vector<unsigned char> buffer(static_cast<size_t>(std::min<int64_t>(Count, 65536)));
    while (Count > 0) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(Count, static_cast<int64_t>(buffer.size())));
        Source.ReadBuffer(buffer.data(), n);
        WriteBuffer(buffer.data(), n);
        Count -= static_cast<int64_t>(n);
    }
    return total;
}

// ---------------------------------------------------------------------------------------------
// TMemoryStream

size_t TMemoryStream::Read(void* Buffer, size_t Count) {
    const int64_t size = Size();
    if (FPosition >= size || Count == 0) return 0;
    const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(Count), size - FPosition));
    std::memcpy(Buffer, FData.data() + FPosition, n);
    FPosition += static_cast<int64_t>(n);
    return n;
}

size_t TMemoryStream::Write(const void* Buffer, size_t Count) {
    if (Count == 0) return 0;
    const int64_t end = FPosition + static_cast<int64_t>(Count);
    if (end > Size()) FData.resize(static_cast<size_t>(end));
    std::memcpy(FData.data() + FPosition, Buffer, Count);
    FPosition = end;
    return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    switch (Origin) {
    case TSeekOrigin::soBeginning:
        FPosition = Offset;
        break;
    case TSeekOrigin::soCurrent:
        FPosition += Offset;
        break;
    case TSeekOrigin::soEnd:
        FPosition = Size() + Offset;
        break;
    }
    if (FPosition < 0) FPosition = 0;
    return FPosition;
}

void TMemoryStream::SetSize(int64_t NewSize) {
    FData.resize(static_cast<size_t>(std::max<int64_t>(NewSize, 0)));
    FPosition = std::min(FPosition, Size());
}

void TMemoryStream::Clear() {
    FData.clear();
    FData.shrink_to_fit();
    FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& Source) {
    Source.SetPosition(0);
    const int64_t size = Source.Size();
    SetSize(size);
    FPosition = 0;
    if (size != 0) Source.ReadBuffer(FData.data(), static_cast<size_t>(size));
}

void TMemoryStream::SaveToStream(TStream& Dest) {
    if (!FData.empty()) Dest.WriteBuffer(FData.data(), FData.size());
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
    TFileStream file(FileName, TFileMode::fmOpenRead);
    LoadFromStream(file);
}

void TMemoryStream::SaveToFile(const std::string& FileName) {
    TAtomicFileStream file(FileName);
    SaveToStream(file);
    file.Close();
}

// ---------------------------------------------------------------------------------------------
// TFileStream

TFileStream::TFileStream(const std::string& FileName, TFileMode Mode) : FFileName(FileName) {
    int flags = O_RDONLY;
    const char* mode = "rb";
    switch (Mode) {
    case TFileMode::fmCreate:
        flags = O_RDWR | O_CREAT | O_TRUNC;
        mode = "w+b";
        break;
    case TFileMode::fmOpenRead:
        break;
    case TFileMode::fmOpenWrite:
    case TFileMode::fmOpenReadWrite:
        flags = O_RDWR;
        mode = "r+b";
        break;
    }
    if (Mode == TFileMode::fmCreate)
        if (const int error = FaultOn(TFaultPoint::fpCreate, FileName)) RaiseOpenError(FileName, true, error);
    const int fd = OpenRegular(FileName, flags, Mode == TFileMode::fmCreate);
    FFile = ::fdopen(fd, mode);
    if (FFile == nullptr) {
        const int error = errno;
        ::close(fd);
        RaiseOpenError(FileName, Mode == TFileMode::fmCreate, error);
    }
}

void TFileStream::Attach(int Fd) {
    FFile = ::fdopen(Fd, "w+b");
    if (FFile == nullptr) {
        const int error = errno;
        ::close(Fd);
        RaiseOpenError(FFileName, true, error);
    }
}

TFileStream::~TFileStream() {
    Discard();
}

void TFileStream::Discard() {
    if (FFile != nullptr) std::fclose(FFile);
    FFile = nullptr;
}

void TFileStream::RaiseWriteError(int Error) const {
    RaiseException("Could not write " + FFileName + ": " + std::strerror(Error));
}

void TFileStream::WriteFailed(int Error) {
    // What the file did not take is dropped, so that no later flush puts it somewhere; the
    // position is then where the file really stands.
    __fpurge(FFile);
    FLastWasWrite = false;
    const off_t position = ::lseek(fileno(FFile), 0, SEEK_CUR);
    if (position >= 0) FPosition = static_cast<int64_t>(position);
    fseeko(FFile, FPosition, SEEK_SET);
    RaiseWriteError(Error);
}

// A C stream must be repositioned between a read and a write in either order.
void TFileStream::SwitchTo(bool Writing) {
    if (FLastWasWrite != Writing && fseeko(FFile, 0, SEEK_CUR) != 0 && FLastWasWrite) WriteFailed(errno);
    FLastWasWrite = Writing;
}

size_t TFileStream::Read(void* Buffer, size_t Count) {
    if (Count == 0 || FFile == nullptr) return 0;
    SwitchTo(false);
    const size_t n = std::fread(Buffer, 1, Count, FFile);
    FPosition += static_cast<int64_t>(n);
    return n;
}

size_t TFileStream::Write(const void* Buffer, size_t Count) {
    if (Count == 0) return 0;
    if (FFile == nullptr) RaiseWriteError(EBADF);
    SwitchTo(true);
    const int64_t end = FPosition + static_cast<int64_t>(Count);
    if (const int error = FaultAt(TFaultPoint::fpWrite, end, FFileName)) {
        // The part below the limit goes in, as on a disk that fills up during the write.
        const int64_t room = std::max<int64_t>(FaultLimit() - FPosition, 0);
        const size_t n =
            std::fwrite(Buffer, 1, static_cast<size_t>(std::min<int64_t>(room, end - FPosition)), FFile);
        FPosition += static_cast<int64_t>(n);
        FHighWater = std::max(FHighWater, FPosition);
        std::fflush(FFile);
        WriteFailed(error);
    }
    const size_t n = std::fwrite(Buffer, 1, Count, FFile);
    FPosition += static_cast<int64_t>(n);
    FHighWater = std::max(FHighWater, FPosition);
    if (n != Count) WriteFailed(std::ferror(FFile) && errno != 0 ? errno : EIO);
    return n;
}

void TFileStream::ReadBufferAt(void* Buffer, size_t Count, int64_t Offset) const {
    if (ReadAt(Buffer, Count, Offset) != Count) RaiseException("Stream read error");
}

size_t TFileStream::ReadAt(void* Buffer, size_t Count, int64_t Offset) const {
    auto* to = static_cast<char*>(Buffer);
    size_t done = 0;
    while (done < Count) {
        const ssize_t n = FFile == nullptr ? -1
                                           : ::pread(fileno(FFile), to + done, Count - done,
                                                     static_cast<off_t>(Offset + static_cast<int64_t>(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) RaiseException("Stream read error");
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

void TFileStream::WriteBufferAt(const void* Buffer, size_t Count, int64_t Offset) {
    if (FFile == nullptr) RaiseWriteError(EBADF);
    const auto* from = static_cast<const char*>(Buffer);
    const int64_t end = Offset + static_cast<int64_t>(Count);
    int error = FaultAt(TFaultPoint::fpWrite, end, FFileName);
    // Under the seam's fault the part below its limit goes in, as on a disk that fills up.
    const size_t take =
        error == 0 ? Count : static_cast<size_t>(std::clamp<int64_t>(FaultLimit() - Offset, 0, end - Offset));
    size_t done = 0;
    while (done < take) {
        const ssize_t n = ::pwrite(fileno(FFile), from + done, take - done,
                                   static_cast<off_t>(Offset + static_cast<int64_t>(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (error == 0) error = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<size_t>(n);
    }
    FHighWater = std::max(FHighWater, Offset + static_cast<int64_t>(done));
    if (error != 0) RaiseWriteError(error);
}

bool TFileStream::PunchHole(int64_t Offset, int64_t Count) {
    return FFile != nullptr && Count > 0 && FaultOn(TFaultPoint::fpPunchHole, FFileName) == 0 &&
           ::fallocate(fileno(FFile), FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(Offset),
                       static_cast<off_t>(Count)) == 0;
}

int64_t TFileStream::DiskBytes() const {
    struct stat st {};
    if (FFile == nullptr || ::fstat(fileno(FFile), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_blocks) * 512;
}

int64_t TFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    if (FFile == nullptr) return -1;
    // Asking the position leaves the buffer alone.
    if (Origin == TSeekOrigin::soCurrent && Offset == 0) return FPosition;
    const int whence = Origin == TSeekOrigin::soBeginning ? SEEK_SET
                       : Origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                          : SEEK_END;
    // Seeking hands buffered data to the file: a failure there is a failed write.
    if (FLastWasWrite && std::fflush(FFile) != 0) WriteFailed(errno);
    FLastWasWrite = false;
    if (fseeko(FFile, static_cast<off_t>(Offset), whence) != 0 && Origin != TSeekOrigin::soCurrent) return -1;
    FPosition = static_cast<int64_t>(ftello(FFile));
    return FPosition;
}

void TFileStream::SetSize(int64_t NewSize) {
    if (FFile == nullptr) RaiseWriteError(EBADF);
    if (FLastWasWrite) Flush();
    if (ftruncate(fileno(FFile), static_cast<off_t>(NewSize)) != 0)
        RaiseException("Cannot set the size of \"" + FFileName + "\"");
    FHighWater = std::min(FHighWater, NewSize);
    if (Position() > NewSize) Seek(NewSize, TSeekOrigin::soBeginning);
}

void TFileStream::Flush() {
    if (FFile == nullptr) return;
    if (const int error = FaultAt(TFaultPoint::fpFlush, FHighWater, FFileName)) WriteFailed(error);
    if (std::fflush(FFile) != 0) WriteFailed(errno);
}

void TFileStream::Sync() {
    Flush();
    if (FFile == nullptr) return;
    if (::fsync(fileno(FFile)) != 0) RaiseWriteError(errno);
}

void TFileStream::Close() {
    if (FFile == nullptr) return;
    int error = 0;
    try {
        Flush();
    } catch (...) {
        Discard();
        throw;
    }
    error = FaultAt(TFaultPoint::fpClose, FHighWater, FFileName);
    if (std::fclose(FFile) != 0 && error == 0) error = errno;
    FFile = nullptr;
    if (error != 0) RaiseWriteError(error);
}

// ---------------------------------------------------------------------------------------------
// TAtomicFileStream

namespace {
std::mutex gAsideMutex;
TWriteAsideHook gAsideHook;

void ListWriteAside(const std::string& Path) {
    TWriteAsideHook hook;
    {
        std::lock_guard lock(gAsideMutex);
        hook = gAsideHook;
    }
    if (hook) hook(Path);
}

// The longest file name Folder takes.
size_t LongestName(const std::string& Folder) {
    const long max = ::pathconf(Folder.c_str(), _PC_NAME_MAX);
    return max > 0 ? static_cast<size_t>(max) : NAME_MAX;
}

// Name cut to at most Bytes bytes, not inside a UTF-8 character.
std::string CutName(const std::string& Name, size_t Bytes) {
    if (Name.size() <= Bytes) return Name;
    size_t cut = Bytes;
    while (cut > 0 && (static_cast<unsigned char>(Name[cut]) & 0xC0) == 0x80)
        --cut;
    return Name.substr(0, cut);
}

constexpr size_t AsideDigits = 8;

// Creates a new file of a name not taken yet beside Target, with the target's permissions
// where it exists. Returns the descriptor and sets TempName.
int CreateBeside(const std::string& Target, const std::string& FileName, std::string& TempName) {
    struct stat st {};
    const bool exists = ::stat(Target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) RaiseNotAFile(FileName);
    if (const int error = FaultOn(TFaultPoint::fpCreate, FileName)) RaiseOpenError(FileName, true, error);
    // Renaming over a file needs only the folder's permission; the file's own is asked here.
    if (exists && ::faccessat(AT_FDCWD, Target.c_str(), W_OK, AT_EACCESS) != 0)
        RaiseOpenError(FileName, true, errno);
    std::string folder = FolderOf(Target);
    if (folder.back() != '/') folder += '/';
    // "." before the name, "." and the digits after it.
    const size_t room = std::max<size_t>(LongestName(folder), AsideDigits + 3) - AsideDigits - 2;
    const std::string stem = folder + "." + CutName(NameOf(Target), room) + ".";
    for (int attempt = 0; attempt < 1000; ++attempt) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(gTempCounter.fetch_add(0x9E3779B9u)));
        TempName = stem + hex;
        struct stat taken {};
        if (::lstat(TempName.c_str(), &taken) == 0) continue;
        ListWriteAside(TempName);
        const int fd = ::open(TempName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            if (exists) (void)::fchmod(fd, st.st_mode & 07777);
            return fd;
        }
        const int error = errno;
        if (error == EEXIST) continue;
        // The target may be written, but the folder takes no new file (write permission, space
        // for a name): the file the user chose is not what failed.
        if (exists)
            RaiseException(
                "Cannot save \"" + FileName +
                "\": the folder does not allow a new file beside it, which a safe save writes first (" +
                std::strerror(error) + ").");
        RaiseOpenError(FileName, true, error);
    }
    RaiseOpenError(FileName, true, EEXIST);
}
} // namespace

TWriteAsideHook SetWriteAsideHook(TWriteAsideHook Hook) {
    std::lock_guard lock(gAsideMutex);
    return std::exchange(gAsideHook, std::move(Hook));
}

bool IsWriteAsideName(const std::string& Name) {
    if (Name.size() < AsideDigits + 3 || Name[0] != '.') return false;
    const size_t dot = Name.size() - AsideDigits - 1;
    if (Name[dot] != '.') return false;
    for (size_t i = dot + 1; i < Name.size(); ++i)
        if (!((Name[i] >= '0' && Name[i] <= '9') || (Name[i] >= 'a' && Name[i] <= 'f'))) return false;
    return true;
}

TAtomicFileStream::TAtomicFileStream(const std::string& FileName)
    : TFileStream(FileName), FTarget(SaveTarget(FileName)) {
    const int fd = CreateBeside(FTarget, FileName, FTempName);
    try {
        Attach(fd);
    } catch (...) {
        ::unlink(FTempName.c_str());
        throw;
    }
}

TAtomicFileStream::~TAtomicFileStream() {
    if (Closed()) return;
    Discard();
    ::unlink(FTempName.c_str());
}

void TAtomicFileStream::Close() {
    if (Closed()) return;
    try {
        Sync();
        TFileStream::Close();
    } catch (...) {
        Discard();
        ::unlink(FTempName.c_str());
        throw;
    }
    if (::rename(FTempName.c_str(), FTarget.c_str()) != 0) {
        const int error = errno;
        ::unlink(FTempName.c_str());
        RaiseWriteError(error);
    }
    // The new name itself reaches the disk with the folder; a folder that cannot be synced
    // still holds the whole file under one of its two names.
    const int dir = ::open(FolderOf(FTarget).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        (void)::fsync(dir);
        ::close(dir);
    }
}

// ---------------------------------------------------------------------------------------------
// Removing files

void RemoveFile(const std::string& FileName) {
    int error = FaultOn(TFaultPoint::fpRemove, FileName);
    if (error == 0 && ::unlink(FileName.c_str()) == 0) return;
    if (error == 0) error = errno;
    if (error == ENOENT) return;
    RaiseException("Cannot delete file \"" + FileName + "\". " + std::strerror(error));
}

// ---------------------------------------------------------------------------------------------
// TWriteFaultScope

TWriteFaultScope::TWriteFaultScope(TFaultPoint Point, int64_t AtByte, int Error, std::string Within) {
    std::lock_guard lock(gFaultMutex);
    gFault = TWriteFault{Point, AtByte, Error, 0, std::move(Within)};
    gFaultActive = true;
}

TWriteFaultScope::~TWriteFaultScope() {
    std::lock_guard lock(gFaultMutex);
    gFaultActive = false;
}

int TWriteFaultScope::Hits() const {
    std::lock_guard lock(gFaultMutex);
    return gFault.Hits;
}

int CreateFileFault(const std::string& FileName) {
    return FaultOn(TFaultPoint::fpCreate, FileName);
}
