// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Strokes.h"

#include "platform/rtl/Streams.h"

#include <cstdio>
#include <exception>
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
        Flush();
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

void TStrokes::Add(const TArrayOfFixedPoint& Left, const TArrayOfFixedPoint& Right, TColor32 Color) {
    const bool allRead = FReadPosition >= FBuffer->Size();
    // The test comes before the record, so a record is never split between file and buffer.
    // While records wait unread in the buffer it stays in memory until they have been read.
    // A flush that fails keeps the records in memory; the new one joins them before the
    // failure is raised, so the log still holds every stroke drawn.
    std::exception_ptr failure;
    if (FBuffer->Size() > FBufferLimit && allRead) {
        try {
            Flush();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    FBuffer->Seek(0, TSeekOrigin::soEnd);
    WriteColor(Color);
    WritePoints(Left);
    WritePoints(Right);
    if (allRead) FReadPosition = FBuffer->Size();
    ++FCount;
    if (failure) std::rethrow_exception(failure);
}

void TStrokes::Flush() {
    const int64_t size = FBuffer->Size();
    if (size > 0) {
        const int64_t whole = FFileStream->Position();
        try {
            FFileStream->WriteBuffer(FBuffer->Memory(), static_cast<size_t>(size));
            FFileStream->Flush();
        } catch (...) {
            // The file goes back to the whole records it held; these stay in the buffer.
            try {
                FFileStream->SetSize(whole);
                FFileStream->Seek(whole, TSeekOrigin::soBeginning);
            } catch (...) {
                // The next flush starts where the file stands; the raise below says why.
            }
            throw;
        }
    }
    FBuffer = std::make_unique<TMemoryStream>();
    FReadPosition = 0;
}

void TStrokes::StartRead() {
    Flush();
    FBuffer->CopyFrom(*FFileStream, 0);
    // Every record now lives in the buffer and the file starts again empty; the next flush
    // writes them all back.
    try {
        FFileStream = std::make_unique<TFileStream>(FFileName, TFileMode::fmCreate);
    } catch (...) {
        // The old file still holds every record: keep it as the only copy.
        FBuffer = std::make_unique<TMemoryStream>();
        FReadPosition = 0;
        throw;
    }
    FBuffer->SetPosition(0);
    FReadPosition = 0;
}

bool TStrokes::Read(TArrayOfFixedPoint& Left, TArrayOfFixedPoint& Right, TColor32& Color) {
    FBuffer->SetPosition(FReadPosition);
    const bool whole = ReadColor(Color) && ReadPoints(Left) && ReadPoints(Right);
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

bool TStrokes::ReadColor(TColor32& Color) {
    return FBuffer->TryReadValue(Color);
}

bool TStrokes::ReadPoints(TArrayOfFixedPoint& Points) {
    uint32_t count = 0;
    if (!FBuffer->TryReadValue(count)) return false;
    // A damaged log may promise more points than it holds: take the whole points that are
    // there and report the record as cut short, without sizing anything by the promise.
    const int64_t position = FBuffer->Position();
    const uint64_t available = static_cast<uint64_t>(FBuffer->Size() - position) / PointSize;
    const bool complete = count <= available;
    const size_t n = complete ? count : static_cast<size_t>(available);
    Points.resize(n);
    const unsigned char* p = FBuffer->Memory() + position;
    for (size_t i = 0; i < n; ++i, p += PointSize)
        Points[i] =
            TFixedPoint{TStream::FromLittleEndian<TFixed>(p), TStream::FromLittleEndian<TFixed>(p + 4)};
    FBuffer->SetPosition(position + static_cast<int64_t>(n * PointSize));
    return complete;
}
