// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Strokes.h"

#include "platform/rtl/Streams.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <memory>
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

TStrokeFile::TBatch TStrokeFile::Append(const void* Data, size_t Count) {
    std::lock_guard lock(FMutex);
    const int64_t at = FEnd;
    const auto n = static_cast<int64_t>(Count);
    const TBatch batch = FNextBatch;
    // Listed first, so that nothing can fail once the batch is in.
    const auto listed = FBatches.emplace(batch, std::vector<TPiece>()).first;
    try {
        if (n > 0) {
            listed->second.push_back({at, n});
            FPieces.emplace(at, TPlace{n, batch});
        }
        FStream->WriteBufferAt(Data, Count, at);
    } catch (...) {
        FPieces.erase(at);
        FBatches.erase(listed);
        // What went in is cut off again; where that fails the next batch writes over it.
        try {
            FStream->SetSize(at);
        } catch (...) {}
        throw;
    }
    ++FNextBatch;
    FEnd = at + n;
    FLive += n;
    return batch;
}

size_t TStrokeFile::Read(TBatch Batch, void* Data, size_t Count) const {
    std::lock_guard lock(FMutex);
    const auto batch = FBatches.find(Batch);
    if (batch == FBatches.end()) return 0;
    size_t done = 0;
    for (const TPiece& piece : batch->second) {
        if (done >= Count) break;
        const size_t want = std::min(Count - done, static_cast<size_t>(piece.Length));
        const size_t n = FStream->ReadAt(static_cast<unsigned char*>(Data) + done, want, piece.Offset);
        done += n;
        if (n < want) break;
    }
    return done;
}

void TStrokeFile::Release(TBatch Batch) noexcept {
    std::lock_guard lock(FMutex);
    const auto batch = FBatches.find(Batch);
    if (batch == FBatches.end()) return;
    const std::vector<TPiece> pieces = std::move(batch->second);
    FBatches.erase(batch);
    for (const TPiece& piece : pieces) {
        FPieces.erase(piece.Offset);
        FLive -= piece.Length;
    }
    CutEnd();
    // The dead runs the pieces joined, each once.
    int64_t punched = -1;
    for (const TPiece& piece : pieces) {
        if (piece.Offset >= FEnd) continue;
        const TPiece run = DeadRunAt(piece.Offset);
        if (run.Offset == punched) continue;
        FStream->PunchHole(run.Offset, run.Length);
        punched = run.Offset;
    }
    if (FEnd > FLive) FUntidy = true;
}

void TStrokeFile::CutEnd() noexcept {
    const int64_t end = FPieces.empty() ? 0 : FPieces.rbegin()->first + FPieces.rbegin()->second.Length;
    if (end >= FEnd) return;
    try {
        // The next batch goes there.
        FStream->SetSize(end);
        FEnd = end;
    } catch (...) {
        // It stays as dead space.
        FStream->PunchHole(end, FEnd - end);
    }
}

TStrokeFile::TPiece TStrokeFile::DeadRunAt(int64_t At) const {
    const auto next = FPieces.upper_bound(At);
    const int64_t end = next == FPieces.end() ? FEnd : next->first;
    if (next == FPieces.begin()) return {0, end};
    const auto previous = std::prev(next);
    const int64_t start = previous->first + previous->second.Length;
    return {start, end - start};
}

void TStrokeFile::Compact(int64_t Slack) noexcept {
    FUntidy = false;
    for (;;) {
        std::lock_guard lock(FMutex);
        if (FEnd <= FLive) return;
        if (Slack >= 0) {
            const int64_t disk = FStream->DiskBytes();
            const bool holds = disk < 0 || disk > FLive + Slack;
            const bool tooLong = FEnd > 2 * FLive + 16 * Slack;
            if (!holds && !tooLong) return;
        }
        if (!MoveDown()) return;
    }
}

bool TStrokeFile::MoveDown() noexcept {
    TPiece run{0, 0};
    int64_t previousEnd = 0;
    for (const auto& [offset, place] : FPieces) {
        const int64_t gap = offset - previousEnd;
        if (gap > 0 && (run.Length == 0 || gap < run.Length)) run = {previousEnd, gap};
        previousEnd = offset + place.Length;
    }
    if (run.Length == 0) {
        // Dead space only past the last batch, where cutting it off failed before.
        CutEnd();
        return false;
    }
    const auto last = std::prev(FPieces.end());
    const int64_t lastOffset = last->first;
    const TPlace place = last->second;
    std::vector<TPiece>& pieces = FBatches.find(place.Batch)->second;
    const auto index = static_cast<size_t>(
        std::find_if(pieces.begin(), pieces.end(), [&](const TPiece& P) { return P.Offset == lastOffset; }) -
        pieces.begin());
    // The end of the last piece: the whole piece goes to the start of the run, so that the run
    // left over lies behind it and a later move does not take the same piece again; a part fills
    // the end of the run, so that the next part, which comes before it, joins it there.
    const int64_t n = std::min({run.Length, place.Length, MaxMove});
    const bool whole = n == place.Length;
    const int64_t from = lastOffset + place.Length - n;
    const int64_t to = whole ? run.Offset : run.Offset + run.Length - n;
    std::map<int64_t, TPlace> spare; // the new piece's entry, made before anything moves
    try {
        if (!whole) {
            pieces.reserve(pieces.size() + 1);
            spare.emplace(to, TPlace{n, place.Batch});
        }
        const auto bytes = std::make_unique_for_overwrite<unsigned char[]>(static_cast<size_t>(n));
        if (FStream->ReadAt(bytes.get(), static_cast<size_t>(n), from) != static_cast<size_t>(n))
            return false;
        FStream->WriteBufferAt(bytes.get(), static_cast<size_t>(n), to);
    } catch (...) {
        // What went in is dead space again.
        FStream->PunchHole(run.Offset, run.Length);
        return false;
    }
    size_t moved = index;
    if (whole) {
        auto node = FPieces.extract(last);
        node.key() = to;
        FPieces.insert(std::move(node));
        pieces[index].Offset = to;
    } else {
        last->second.Length -= n;
        pieces[index].Length -= n;
        FPieces.insert(spare.extract(spare.begin()));
        moved = index + 1;
        pieces.insert(pieces.begin() + static_cast<std::ptrdiff_t>(moved), TPiece{to, n});
    }
    // Pieces of the batch that now follow each other in the file are one.
    auto join = [&](size_t First) {
        TPiece& a = pieces[First];
        const TPiece& b = pieces[First + 1];
        if (a.Offset + a.Length != b.Offset) return false;
        a.Length += b.Length;
        FPieces.find(a.Offset)->second.Length = a.Length;
        FPieces.erase(b.Offset);
        pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(First + 1));
        return true;
    };
    if (moved + 1 < pieces.size()) join(moved);
    if (moved > 0) join(moved - 1);
    CutEnd();
    return true;
}

int64_t TStrokeFile::End() const {
    std::lock_guard lock(FMutex);
    return FEnd;
}

int64_t TStrokeFile::Live() const {
    std::lock_guard lock(FMutex);
    return FLive;
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
        FFile->Release(extent.Batch);
}

int64_t TStrokes::BufferSize() const {
    return FBuffer->Size();
}

int64_t TStrokes::MemSize() const {
    return FBuffer->Size() + (FFileData ? FFileData->Size() : 0);
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
    if (FExtents.size() == FExtents.capacity()) FExtents.reserve(FExtents.size() * 2 + 1);
    FExtents.push_back({FFile->Append(FBuffer->Memory(), static_cast<size_t>(size)), size});
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
            FFile->Read(extent.Batch, data->Memory() + loaded, static_cast<size_t>(extent.Length));
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
