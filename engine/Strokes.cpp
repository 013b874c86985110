// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Strokes.h"

#include "platform/rtl/Streams.h"

#include <algorithm>
#include <cstdio>
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

TStrokes::TStrokes(const std::string& FileName) : FFileName(FileName) {
    SetBufferLimit(512);
    FBuffer = std::make_unique<TMemoryStream>();
    FFileStream = std::make_unique<TFileStream>(FileName, TFileMode::fmCreate);
}

TStrokes::~TStrokes() {
    try {
        if (FFileStream) Flush();
    } catch (...) {
        // The file is deleted below; what it could not take is lost with it.
    }
    FFileStream.reset();
    FBuffer.reset();
    std::remove(FFileName.c_str());
}

int64_t TStrokes::BufferSize() const {
    return FBuffer->Size();
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
    FFileStream.reset();
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
    // Past the gesture the file is opened for the one write and closed again.
    const bool reopened = !FFileStream;
    if (reopened) {
        FFileStream = std::make_unique<TFileStream>(FFileName, TFileMode::fmOpenWrite);
        FFileStream->Seek(0, TSeekOrigin::soEnd);
    }
    const int64_t whole = FWholeEnd >= 0 ? FWholeEnd : FFileStream->Position();
    try {
        if (FWholeEnd >= 0) {
            FFileStream->SetSize(whole);
            FFileStream->Seek(whole, TSeekOrigin::soBeginning);
            FWholeEnd = -1;
        }
        FFileStream->WriteBuffer(FBuffer->Memory(), static_cast<size_t>(size));
        if (reopened)
            FFileStream->Close();
        else
            FFileStream->Flush();
    } catch (...) {
        // The file goes back to the whole records it held; these stay in the buffer.
        // Where that fails, reading stops there and the next flush cuts the file there first.
        FWholeEnd = whole;
        if (!FFileStream->Closed()) {
            try {
                FFileStream->SetSize(whole);
                FFileStream->Seek(whole, TSeekOrigin::soBeginning);
                FWholeEnd = -1;
            } catch (...) {
                // FWholeEnd keeps the place.
            }
        }
        if (reopened) FFileStream.reset();
        throw;
    }
    if (reopened) FFileStream.reset();
    FBuffer = std::make_unique<TMemoryStream>();
    FReadPosition = 0;
    FLastRecord = -1;
}

void TStrokes::StartRead() {
    auto data = std::make_unique<TMemoryStream>();
    {
        TFileStream file(FFileName, TFileMode::fmOpenRead);
        const int64_t end = FWholeEnd >= 0 ? FWholeEnd : file.Size();
        if (end > 0) data->CopyFrom(file, end);
    }
    data->SetPosition(0);
    FFileData = data->Size() > 0 ? std::move(data) : nullptr;
    FReadPosition = 0;
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
