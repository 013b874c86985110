// Byte streams with the semantics the file formats rely on: Read returns how many bytes
// arrived and a short read is the caller's to detect; ReadBuffer and WriteBuffer raise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
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
    void SaveToFile(const std::string& FileName);

private:
    std::vector<unsigned char> FData;
    int64_t FPosition = 0;
};

// Open modes of a file stream.
enum class TFileMode { fmCreate, fmOpenRead, fmOpenWrite, fmOpenReadWrite };

// A stream on a file. Opening fails with an Exception that names the file.
class TFileStream : public TStream {
public:
    TFileStream(const std::string& FileName, TFileMode Mode);
    ~TFileStream() override;

    size_t Read(void* Buffer, size_t Count) override;
    size_t Write(const void* Buffer, size_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    void SetSize(int64_t NewSize) override;
    const std::string& FileName() const { return FFileName; }

private:
    void SwitchTo(bool Writing);

    std::string FFileName;
    std::FILE* FFile = nullptr;
    bool FLastWasWrite = false;
};
