#include "platform/rtl/Streams.h"

#include "platform/rtl/Exception.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

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
    TFileStream file(FileName, TFileMode::fmCreate);
    SaveToStream(file);
}

// ---------------------------------------------------------------------------------------------
// TFileStream

TFileStream::TFileStream(const std::string& FileName, TFileMode Mode) : FFileName(FileName) {
    const char* mode = "rb";
    switch (Mode) {
    case TFileMode::fmCreate:
        mode = "w+b";
        break;
    case TFileMode::fmOpenRead:
        mode = "rb";
        break;
    case TFileMode::fmOpenWrite:
    case TFileMode::fmOpenReadWrite:
        mode = "r+b";
        break;
    }
    FFile = std::fopen(FileName.c_str(), mode);
    if (FFile == nullptr) {
        const std::string reason = std::strerror(errno);
        if (Mode == TFileMode::fmCreate) RaiseException("Cannot create file \"" + FileName + "\". " + reason);
        RaiseException("Cannot open file \"" + FileName + "\". " + reason);
    }
}

TFileStream::~TFileStream() {
    if (FFile != nullptr) std::fclose(FFile);
}

// A C stream must be repositioned between a read and a write in either order.
void TFileStream::SwitchTo(bool Writing) {
    if (FLastWasWrite != Writing) fseeko(FFile, 0, SEEK_CUR);
    FLastWasWrite = Writing;
}

size_t TFileStream::Read(void* Buffer, size_t Count) {
    if (Count == 0) return 0;
    SwitchTo(false);
    return std::fread(Buffer, 1, Count, FFile);
}

size_t TFileStream::Write(const void* Buffer, size_t Count) {
    if (Count == 0) return 0;
    SwitchTo(true);
    return std::fwrite(Buffer, 1, Count, FFile);
}

int64_t TFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    const int whence = Origin == TSeekOrigin::soBeginning ? SEEK_SET
                       : Origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                          : SEEK_END;
    FLastWasWrite = false;
    if (fseeko(FFile, static_cast<off_t>(Offset), whence) != 0 && Origin != TSeekOrigin::soCurrent) return -1;
    return static_cast<int64_t>(ftello(FFile));
}

void TFileStream::SetSize(int64_t NewSize) {
    std::fflush(FFile);
    if (ftruncate(fileno(FFile), static_cast<off_t>(NewSize)) != 0)
        RaiseException("Cannot set the size of \"" + FFileName + "\"");
    if (Position() > NewSize) Seek(NewSize, TSeekOrigin::soBeginning);
}
