// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Strokes.h"

#include "platform/rtl/Streams.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

namespace {
constexpr size_t PointSize = 8;

void EncodePoints(const TArrayOfFixedPoint& Points, std::vector<unsigned char>& Bytes) {
    Bytes.resize(4 + Points.size() * PointSize);
    unsigned char* p = Bytes.data();
    TStream::ToLittleEndian(static_cast<uint32_t>(Points.size()), p);
    p += 4;
    for (const TFixedPoint& pt : Points) {
        TStream::ToLittleEndian(pt.X, p);
        TStream::ToLittleEndian(pt.Y, p + 4);
        p += PointSize;
    }
}
} // namespace

// ---------------------------------------------------------------------------------------------
// TStrokeFile

TStrokeFile::TStrokeFile(const std::string& FileName)
    : FFileName(FileName), FStream(std::make_unique<TFileStream>(FileName, TFileMode::fmCreate)) {}

TStrokeFile::~TStrokeFile() {
    FStream.reset();
    std::remove(FFileName.c_str());
}

int64_t TStrokeFile::Append(const void* Data, size_t Count) {
    std::lock_guard lock(FMutex);
    const int64_t at = FEnd;
    // Listed first, so that nothing can fail once the batch is in.
    const auto batch = FBatches.emplace(at, static_cast<int64_t>(Count)).first;
    try {
        FStream->WriteBufferAt(Data, Count, at);
    } catch (...) {
        FBatches.erase(batch);
        // What went in is cut off again; where that fails the next batch writes over it.
        try {
            FStream->SetSize(at);
        } catch (...) {}
        throw;
    }
    FEnd = at + static_cast<int64_t>(Count);
    return at;
}

size_t TStrokeFile::ReadAt(void* Data, size_t Count, int64_t Offset) const {
    return FStream->ReadAt(Data, Count, Offset);
}

void TStrokeFile::Release(int64_t Offset, int64_t Count) noexcept {
    std::lock_guard lock(FMutex);
    auto it = FBatches.lower_bound(Offset);
    while (it != FBatches.end() && it->first < Offset + Count)
        it = FBatches.erase(it);
    const int64_t end = FBatches.empty() ? 0 : FBatches.rbegin()->first + FBatches.rbegin()->second;
    try {
        if (end < FEnd) {
            // Batches at the end of the file are cut off: the next one goes there.
            FStream->SetSize(end);
            FEnd = end;
        }
    } catch (...) {
        // They stay as dead space.
    }
    if (Offset < FEnd) FStream->PunchHole(Offset, std::min(Count, FEnd - Offset));
}

int64_t TStrokeFile::End() const {
    std::lock_guard lock(FMutex);
    return FEnd;
}

// ---------------------------------------------------------------------------------------------
// TStrokes

TStrokes::TStrokes(std::shared_ptr<TStrokeFile> File) : FFile(std::move(File)) {
    SetBufferLimit(512);
    FBuffer = std::make_unique<TMemoryStream>();
}

TStrokes::TStrokes(const std::string& FileName) : TStrokes(std::make_shared<TStrokeFile>(FileName)) {}

TStrokes::~TStrokes() {
    for (const TExtent& extent : FExtents)
        FFile->Release(extent.Offset, extent.Length);
}

int64_t TStrokes::BufferSize() const {
    return FBuffer->Size();
}

int64_t TStrokes::FileSize() const {
    int64_t n = 0;
    for (const TExtent& extent : FExtents)
        n += extent.Length;
    return n;
}

bool TStrokes::AllRead() const {
    return !FFileData && FReadPosition >= FBuffer->Size();
}

void TStrokes::Add(const TArrayOfFixedPoint& Left, const TArrayOfFixedPoint& Right, TColor32 Color) {
    // The test comes before the record, so a record is never split between file and buffer,
    // and the record just added is always in the buffer. While records wait unread in the
    // buffer it stays in memory until they have been read.
    const int64_t size = FBuffer->Size();
    if (size > FBufferLimit && size >= FRetryAt) TryFlush();
    const bool allRead = AllRead();
    const int64_t start = FBuffer->Size();
    try {
        FBuffer->Seek(0, TSeekOrigin::soEnd);
        WriteColor(Color);
        WritePoints(Left);
        WritePoints(Right);
    } catch (...) {
        FBuffer->SetSize(start);
        throw;
    }
    if (allRead) FReadPosition = FBuffer->Size();
    FLastRecord = start;
    ++FCount;
}

bool TStrokes::RemoveLast() {
    if (FLastRecord < 0) return false;
    FBuffer->SetSize(FLastRecord);
    FReadPosition = std::min(FReadPosition, FLastRecord);
    FLastRecord = -1;
    --FCount;
    return true;
}

void TStrokes::EndWriting() {
    if (!FWriting) return;
    TryFlush();
    FWriting = false;
}

bool TStrokes::TryFlush() {
    if (!AllRead()) return false;
    try {
        Flush();
        FRetryAt = 0;
        return true;
    } catch (...) {
        FRetryAt = FBuffer->Size() + FBufferLimit;
        return false;
    }
}

void TStrokes::Flush() {
    const int64_t size = FBuffer->Size();
    if (size == 0) return;
    // Room for the extent first, so that nothing can fail once the batch is in the file.
    const bool joins = !FExtents.empty();
    if (FExtents.size() == FExtents.capacity()) FExtents.reserve(FExtents.size() * 2 + 1);
    const int64_t at = FFile->Append(FBuffer->Memory(), static_cast<size_t>(size));
    if (joins && FExtents.back().Offset + FExtents.back().Length == at)
        FExtents.back().Length += size;
    else
        FExtents.push_back({at, size});
    FBuffer = std::make_unique<TMemoryStream>();
    FReadPosition = 0;
    FLastRecord = -1;
}

void TStrokes::StartRead() {
    auto data = std::make_unique<TMemoryStream>();
    data->SetSize(FileSize());
    int64_t loaded = 0;
    for (const TExtent& extent : FExtents) {
        const size_t n =
            FFile->ReadAt(data->Memory() + loaded, static_cast<size_t>(extent.Length), extent.Offset);
        loaded += static_cast<int64_t>(n);
        if (static_cast<int64_t>(n) < extent.Length) break;
    }
    const bool cutShort = loaded < data->Size();
    data->SetSize(loaded);
    data->SetPosition(0);
    FFileData = loaded > 0 ? std::move(data) : nullptr;
    // A file cut short behind the log's back ends reading where its data ends.
    FReadPosition = cutShort ? FBuffer->Size() : 0;
}

bool TStrokes::Read(TArrayOfFixedPoint& Left, TArrayOfFixedPoint& Right, TColor32& Color) {
    if (FFileData) {
        // The file's records first; the memory they take goes once they are read.
        const bool whole =
            ReadColor(*FFileData, Color) && ReadPoints(*FFileData, Left) && ReadPoints(*FFileData, Right);
        const bool more = FFileData->Position() < FFileData->Size();
        if (!whole || !more) FFileData.reset();
        if (whole) return true;
        // A record cut short ends reading.
        FReadPosition = FBuffer->Size();
        return false;
    }
    FBuffer->SetPosition(FReadPosition);
    const bool whole =
        ReadColor(*FBuffer, Color) && ReadPoints(*FBuffer, Left) && ReadPoints(*FBuffer, Right);
    FReadPosition = whole ? FBuffer->Position() : FBuffer->Size();
    return whole;
}

void TStrokes::WriteColor(TColor32 Color) {
    FBuffer->WriteValue<uint32_t>(Color);
}

void TStrokes::WritePoints(const TArrayOfFixedPoint& Points) {
    static thread_local std::vector<unsigned char> bytes;
    EncodePoints(Points, bytes);
    FBuffer->WriteBuffer(bytes.data(), bytes.size());
}

bool TStrokes::ReadColor(TMemoryStream& Data, TColor32& Color) {
    return Data.TryReadValue(Color);
}

bool TStrokes::ReadPoints(TMemoryStream& Data, TArrayOfFixedPoint& Points) {
    uint32_t count = 0;
    if (!Data.TryReadValue(count)) return false;
    // A damaged log may promise more points than it holds: take the whole points that are
    // there and report the record as cut short, without sizing anything by the promise.
    const int64_t position = Data.Position();
    const uint64_t available = static_cast<uint64_t>(Data.Size() - position) / PointSize;
    const bool complete = count <= available;
    const size_t n = complete ? count : static_cast<size_t>(available);
    Points.resize(n);
    const unsigned char* p = Data.Memory() + position;
    for (size_t i = 0; i < n; ++i, p += PointSize)
        Points[i] =
            TFixedPoint{TStream::FromLittleEndian<TFixed>(p), TStream::FromLittleEndian<TFixed>(p + 4)};
    Data.SetPosition(position + static_cast<int64_t>(n * PointSize));
    return complete;
}
