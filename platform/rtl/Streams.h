// SPDX-License-Identifier: GPL-3.0-or-later
// Byte streams with the semantics the file formats rely on: Read returns how many bytes
// arrived and a short read is the caller's to detect; ReadBuffer and WriteBuffer raise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
    virtual ~TStream() = default;
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    // Reads up to Count bytes; returns the number read (0 at the end).
    virtual size_t Read(void* Buffer, size_t Count) = 0;
    // Writes Count bytes; returns the number written.
    virtual size_t Write(const void* Buffer, size_t Count) = 0;
    // Moves the position; returns the new position.
    virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;
    virtual int64_t Size();
    virtual void SetSize(int64_t NewSize) = 0;

    int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(int64_t Pos) { Seek(Pos, TSeekOrigin::soBeginning); }

    // Exactly Count bytes or an Exception ("Stream read error" / "Stream write error").
    void ReadBuffer(void* Buffer, size_t Count);
    void WriteBuffer(const void* Buffer, size_t Count);

    // Copies Count bytes from Source at its position; Count = 0 copies the whole of Source
    // from its start. Returns the bytes copied.
    int64_t CopyFrom(TStream& Source, int64_t Count);

    // Little-endian fields, written and read one by one, never by dumping a struct.
    template <typename T>
    void WriteValue(T Value) {
        static_assert(std::is_arithmetic_v<T>);
        unsigned char bytes[sizeof(T)];
        ToLittleEndian(Value, bytes);
        WriteBuffer(bytes, sizeof(T));
    }
    template <typename T>
    T ReadValue() {
        static_assert(std::is_arithmetic_v<T>);
        unsigned char bytes[sizeof(T)];
        ReadBuffer(bytes, sizeof(T));
        return FromLittleEndian<T>(bytes);
    }
    // As ReadValue, but false (and Value untouched) when fewer bytes arrive.
    template <typename T>
    bool TryReadValue(T& Value) {
        static_assert(std::is_arithmetic_v<T>);
        unsigned char bytes[sizeof(T)];
        if (Read(bytes, sizeof(T)) != sizeof(T)) return false;
        Value = FromLittleEndian<T>(bytes);
        return true;
    }

    template <typename T>
    static void ToLittleEndian(T Value, unsigned char* Bytes) {
        using U =
            std::conditional_t<sizeof(T) == 1, uint8_t,
                               std::conditional_t<sizeof(T) == 2, uint16_t,
                                                  std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>>>;
        U u;
        static_assert(sizeof(U) == sizeof(T));
        std::memcpy(&u, &Value, sizeof(T));
        for (size_t i = 0; i < sizeof(T); ++i)
            Bytes[i] = static_cast<unsigned char>(u >> (8 * i));
    }
    template <typename T>
    static T FromLittleEndian(const unsigned char* Bytes) {
        using U =
            std::conditional_t<sizeof(T) == 1, uint8_t,
                               std::conditional_t<sizeof(T) == 2, uint16_t,
                                                  std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>>>;
        U u = 0;
        for (size_t i = 0; i < sizeof(T); ++i)
            u |= static_cast<U>(static_cast<U>(Bytes[i]) << (8 * i));
        T value;
        std::memcpy(&value, &u, sizeof(T));
        return value;
    }
};

// A stream in memory that grows as it is written.
class TMemoryStream : public TStream {
public:
    size_t Read(void* Buffer, size_t Count) override;
    size_t Write(const void* Buffer, size_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    int64_t Size() override { return static_cast<int64_t>(FData.size()); }
    void SetSize(int64_t NewSize) override;

    void Clear();
    unsigned char* Memory() { return FData.data(); }
    const unsigned char* Memory() const { return FData.data(); }
    void LoadFromStream(TStream& Source);
    void SaveToStream(TStream& Dest);
    void LoadFromFile(const std::string& FileName);
    // Replaces the file whole or not at all (TAtomicFileStream).
    void SaveToFile(const std::string& FileName);

private:
    std::vector<unsigned char> FData;
    int64_t FPosition = 0;
};

// Open modes of a file stream.
enum class TFileMode { fmCreate, fmOpenRead, fmOpenWrite, fmOpenReadWrite };

// Opens FileName with the open(2) Flags (O_CLOEXEC added; O_CREAT makes it 0666 less the umask)
// without waiting on a FIFO or a device, and keeps it only when it is a regular file; the
// descriptor then blocks as usual. A name that is there but is no regular file (a folder, a FIFO,
// a device) raises "<name> is not a file"; any other failure returns -1 with errno set.
int OpenRegularFile(const std::string& FileName, int Flags);

// A stream on a file. Opening fails with an Exception that names the file; only regular files
// are opened ("<name> is not a file" for a folder, a FIFO or a device, without waiting on it).
// A write the file does not take whole raises "Could not write <name>: <reason>". Writers end
// with Close, which writes out what is buffered and closes the file, checked; the destructor
// closes an unclosed file without a word, for the unwinding after an error.
class TFileStream : public TStream {
public:
    TFileStream(const std::string& FileName, TFileMode Mode);
    ~TFileStream() override;

    size_t Read(void* Buffer, size_t Count) override;
    size_t Write(const void* Buffer, size_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    void SetSize(int64_t NewSize) override;
    const std::string& FileName() const { return FFileName; }
    // Reads Count bytes at Offset straight from the file, past the stream's buffer and without
    // moving its position, so that several threads may read one stream that nobody writes at
    // once. Fewer bytes than Count raise "Stream read error".
    void ReadBufferAt(void* Buffer, size_t Count, int64_t Offset) const;
    // As ReadBufferAt, but returns how many bytes arrived: fewer than Count only where the file
    // ends. A read error raises "Stream read error".
    size_t ReadAt(void* Buffer, size_t Count, int64_t Offset) const;
    // Writes Count bytes at Offset straight to the file, past the stream's buffer and without
    // moving its position (for a file written only so). A write the file does not take whole
    // raises "Could not write <name>: <reason>"; what went in before the failure stays there.
    void WriteBufferAt(const void* Buffer, size_t Count, int64_t Offset);
    // Gives the disk blocks under Count bytes at Offset back to the file system, where it can
    // (false where it cannot); the bytes then read as zeros and the file keeps its size.
    bool PunchHole(int64_t Offset, int64_t Count);
    // The bytes of disk the file holds (its blocks, st_blocks x 512), or -1 when it cannot be
    // told.
    int64_t DiskBytes() const;

    // Hands what the stream buffers to the file; raises "Could not write <name>: <reason>".
    // After a failed write or flush, what the file did not take is dropped and the position
    // is where the file ends up; what it holds there is for the writer to judge.
    void Flush();
    // Flushes and closes the file; raises "Could not write <name>: <reason>" when either
    // fails. The stream is closed afterwards even then; a second Close does nothing.
    virtual void Close();
    bool Closed() const { return FFile == nullptr; }

protected:
    // A stream named FileName in messages that has no file until Attach.
    explicit TFileStream(const std::string& FileName) : FFileName(FileName) {}
    // Takes over Fd, a regular file open for reading and writing (closed when this fails).
    void Attach(int Fd);
    // Flushes, then asks the disk to keep the data (fsync); raises like Flush.
    void Sync();
    // Closes the file without a check.
    void Discard();
    [[noreturn]] void RaiseWriteError(int Error) const;

private:
    void SwitchTo(bool Writing);
    // Drops what is buffered for the file and raises RaiseWriteError.
    [[noreturn]] void WriteFailed(int Error);

    std::string FFileName;
    std::FILE* FFile = nullptr;
    bool FLastWasWrite = false;
    int64_t FPosition = 0;
    int64_t FHighWater = 0; // the end of what was written, for the write-fault seam
};

// A file that replaces another of its name only once it is whole: it is written aside under a
// new name in the same folder ("." + the name + "." + eight hexadecimal digits, the name cut
// short where the whole would pass the folder's longest name); Close writes it to the disk
// (fsync) and renames it over the target. A target that exists keeps its permissions, a
// symbolic link its target. A target that the user may not write is not replaced: opening
// raises "Cannot create file "<name>". Permission denied" as a plain open would (the check is
// made with the process's effective ids, so root, who may write any file, replaces it). A
// target that may be written in a folder that takes no new file raises "Cannot save "<name>":
// the folder does not allow a new file beside it, which a safe save writes first (<reason>)."
// A stream destroyed unclosed, or a Close that fails, removes the write-aside file and leaves
// the target as it was.
class TAtomicFileStream : public TFileStream {
public:
    explicit TAtomicFileStream(const std::string& FileName);
    ~TAtomicFileStream() override;

    void Close() override;

private:
    std::string FTarget;
    std::string FTempName; // the name the data goes to until Close
};

// Deletes the file FileName. A file that is there and stays there (a read-only folder) raises
// "Cannot delete file "<name>". <reason>"; a name that is not there is no error.
void RemoveFile(const std::string& FileName);

// Called with the full path of every write-aside file just before it is made, so that a copy
// of the program killed during a save can have it cleaned later (the temporary-file service
// lists it). The hook must not raise; none is set at first. Returns the hook it replaces.
using TWriteAsideHook = std::function<void(const std::string& Path)>;
TWriteAsideHook SetWriteAsideHook(TWriteAsideHook Hook);

// True when Name (without folder) has the form of a write-aside file: ".", at least one byte,
// ".", eight lowercase hexadecimal digits.
bool IsWriteAsideName(const std::string& Name);

// Test seam: file streams opened for writing fail as on a full or failing disk. While a scope
// lives, in this whole process: fpWrite lets no file grow past AtByte bytes (the write that
// would, writes up to there and fails); fpFlush and fpClose make the flush (and the fsync) or
// the close of a file that holds AtByte bytes or more fail. fpCreate makes every creation of a
// file stream fail (and the temporary names reserved without a stream, CreateFileFault),
// fpRemove every RemoveFile, as in a read-only folder (AtByte is not used); fpCreate raises
// "Cannot create file ..." as a plain open does, before a safe save looks at its target.
// fpPunchHole makes every PunchHole punch nothing and return false, as on a file system without
// holes (neither AtByte nor Error is used). Error is the errno reported. A scope given Within
// strikes only files whose names start with it (a folder of the test's own, say), so that the
// program's other files, such as the temporary-file log, go on as usual.
enum class TFaultPoint { fpWrite, fpFlush, fpClose, fpCreate, fpRemove, fpPunchHole };

class TWriteFaultScope {
public:
    TWriteFaultScope(TFaultPoint Point, int64_t AtByte, int Error, std::string Within = {});
    ~TWriteFaultScope();
    TWriteFaultScope(const TWriteFaultScope&) = delete;
    TWriteFaultScope& operator=(const TWriteFaultScope&) = delete;
    // How many times the fault struck.
    int Hits() const;
};

// The errno the seam's fpCreate fault gives a file FileName made without a stream, or 0.
int CreateFileFault(const std::string& FileName);
