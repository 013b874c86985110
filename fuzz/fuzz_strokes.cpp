// SPDX-License-Identifier: GPL-3.0-or-later
// Stroke logs sharing one file, in two parts.
//
// First, a run of steps that the input spells out: strokes added to three logs, writes that the
// file refuses part-way (a full disk), a file system without holes, ends of gestures, strokes taken
// back, reads (also with a stroke added half-way through), logs that go and new ones, and the
// idle moments' compaction that moves the live batches down into the dead space. Whatever the file refuses
// waits in memory and goes with a later batch, so every read gives exactly the strokes added, in order, and
// the file holds only whole batches.
//
// Then the file is damaged behind a log's back: reading must end cleanly with False, keep every
// whole record, and give the same records again on a second pass.
//
// Input: one byte N, N bytes of steps, then the bytes that the file of the last part holds.
#include "engine/Strokes.h"
#include "platform/rtl/Streams.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {
const std::string& LogPath() {
    static const std::string path = [] {
        // A folder in memory where there is one: the steps write and cut the file often.
        static char shm[] = "/dev/shm/quor-fuzz-strokes-XXXXXX";
        static char tmp[] = "/tmp/quor-fuzz-strokes-XXXXXX";
        static char* folder = mkdtemp(shm) != nullptr ? shm : mkdtemp(tmp);
        if (folder == nullptr) std::abort();
        std::atexit([] { std::filesystem::remove_all(folder); });
        return std::string(folder) + "/~fuzztsk";
    }();
    return path;
}

bool Same(const TStrokeOutline& A, const TStrokeOutline& B) {
    return A.Color == B.Color && A.Left == B.Left && A.Right == B.Right;
}

std::vector<TStrokeOutline> ReadAll(TStrokes& Log) {
    std::vector<TStrokeOutline> records;
    Log.StartRead();
    TStrokeOutline r;
    while (Log.Read(r))
        records.push_back(r);
    return records;
}

void ExpectAll(TStrokes& Log, const std::vector<TStrokeOutline>& Model) {
    const std::vector<TStrokeOutline> records = ReadAll(Log);
    if (records.size() != Model.size()) std::abort();
    for (size_t i = 0; i < records.size(); ++i)
        if (!Same(records[i], Model[i])) std::abort();
}

// The input's bytes one by one; zeros once they are used up.
class TBytes {
public:
    TBytes(const uint8_t* Data, size_t Size) : FData(Data), FSize(Size) {}
    uint8_t Next() { return FAt < FSize ? FData[FAt++] : 0; }
    bool Done() const { return FAt >= FSize; }

private:
    const uint8_t* FData;
    size_t FSize;
    size_t FAt = 0;
};

struct TLog {
    std::unique_ptr<TStrokes> Log;
    std::vector<TStrokeOutline> Model;
};

TStrokeOutline NewStroke(TBytes& In, uint32_t& Serial) {
    TStrokeOutline s;
    ++Serial;
    s.Color = 0xFF000000u | Serial;
    const int left = In.Next() % 24;
    const int right = In.Next() % 24;
    for (int i = 0; i < left; ++i)
        s.Left.push_back({static_cast<TFixed>(Serial), i});
    for (int i = 0; i < right; ++i)
        s.Right.push_back({-i, static_cast<TFixed>(Serial)});
    return s;
}

void Steps(TBytes In) {
    auto file = std::make_shared<TStrokeFile>(LogPath());
    std::array<TLog, 3> logs;
    auto renew = [&](TLog& L, int LimitKB) {
        L.Log = std::make_unique<TStrokes>(file);
        L.Log->SetBufferLimit(LimitKB);
        L.Model.clear();
    };
    for (size_t i = 0; i < logs.size(); ++i)
        renew(logs[i], static_cast<int>(i));
    std::optional<TWriteFaultScope> fault;
    uint32_t serial = 0;
    while (!In.Done()) {
        const uint8_t step = In.Next();
        TLog& l = logs[(step >> 3) % logs.size()];
        switch (step & 7) {
        case 0:
        case 1:
            l.Model.push_back(NewStroke(In, serial));
            l.Log->Add(l.Model.back());
            break;
        case 2: {
            // The file takes a few more bytes, then refuses; or it punches no holes.
            const uint8_t how = In.Next();
            const int64_t at = file->End() + In.Next() * 16;
            fault.reset();
            if ((how & 2) != 0)
                fault.emplace(TFaultPoint::fpPunchHole, 0, 0);
            else
                fault.emplace(TFaultPoint::fpWrite, at, (how & 1) != 0 ? ENOSPC : EIO);
            break;
        }
        case 3: {
            // The fault ends, or an idle moment moves the live batches down into the dead space
            // (under the fault, if any, the moves fail).
            const uint8_t how = In.Next();
            if ((how & 1) != 0)
                fault.reset();
            else
                file->Compact((how & 2) != 0 ? -1 : (how >> 2) * 64);
            break;
        }
        case 4:
            l.Log->EndWriting();
            break;
        case 5:
            if (l.Log->RemoveLast()) l.Model.pop_back();
            break;
        case 6: {
            // Reads part of the log, adds a stroke, then reads on: the new one comes last, or
            // in the next pass when everything had been read.
            l.Log->StartRead();
            const size_t first = In.Next() % 4;
            TStrokeOutline r;
            size_t n = 0;
            for (; n < first && l.Log->Read(r); ++n)
                if (n >= l.Model.size() || !Same(r, l.Model[n])) std::abort();
            const bool allRead = n == l.Model.size();
            l.Model.push_back(NewStroke(In, serial));
            l.Log->Add(l.Model.back());
            for (; l.Log->Read(r); ++n)
                if (n >= l.Model.size() || !Same(r, l.Model[n])) std::abort();
            if (n != l.Model.size() - (allRead ? 1 : 0)) std::abort();
            break;
        }
        case 7:
            // The step goes (discarded by a new gesture) and another takes its place.
            renew(l, In.Next() % 3);
            break;
        }
    }
    fault.reset();
    int64_t inFile = 0;
    for (TLog& l : logs) {
        ExpectAll(*l.Log, l.Model);
        inFile += l.Log->FileSize();
    }
    // Refused batches were cut off again; dead batches at the end too.
    auto fileSize = [] { return static_cast<int64_t>(std::filesystem::file_size(LogPath())); };
    if (inFile != file->Live() || inFile > file->End() || fileSize() != file->End()) std::abort();
    // With no dead space left the file holds the live batches and nothing else.
    file->Compact(-1);
    if (file->End() != inFile || fileSize() != inFile) std::abort();
    for (TLog& l : logs)
        ExpectAll(*l.Log, l.Model);
}

void Damaged(const uint8_t* Data, size_t Size) {
    auto file = std::make_shared<TStrokeFile>(LogPath());
    TStrokes log(file);
    // One stroke long enough for the log's place in the file to take every byte given.
    TArrayOfFixedPoint left(Size / 8 + 1, TFixedPoint{7, 9});
    log.Add(left, {}, 0xFF000000u);
    log.EndWriting();
    const int fd = open(LogPath().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0 || (Size > 0 && write(fd, Data, Size) != static_cast<ssize_t>(Size))) std::abort();
    close(fd);
    const std::vector<TStrokeOutline> first = ReadAll(log);
    // A stroke added after reading lands behind the records that were whole.
    log.Add({{1, 2}}, {{3, 4}, {5, 6}}, 0xFF123456);
    const std::vector<TStrokeOutline> second = ReadAll(log);
    if (second.size() < first.size()) std::abort();
    for (size_t i = 0; i < first.size(); ++i)
        if (!Same(first[i], second[i])) std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size == 0) return 0;
    const size_t steps = std::min<size_t>(Data[0], Size - 1);
    Steps(TBytes(Data + 1, steps));
    Damaged(Data + 1 + steps, Size - 1 - steps);
    return 0;
}
