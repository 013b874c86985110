// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Strokes.h"

#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {
using Bytes = std::vector<unsigned char>;

Bytes ReadFile(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& Path, const Bytes& Data) {
    std::ofstream out(Path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
}

// The disk blocks of a file, in 512-byte units.
int64_t Blocks(const std::string& Path) {
    struct stat st {};
    EXPECT_EQ(stat(Path.c_str(), &st), 0);
    return static_cast<int64_t>(st.st_blocks);
}

// True when the file system of Folder gives blocks back out of the middle of a file.
bool PunchesHoles(const std::string& Folder) {
    const std::string probe = Folder + "probe";
    const int fd = open(probe.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    const std::vector<char> zeros(1 << 16, 1);
    const bool punched = fd >= 0 &&
                         write(fd, zeros.data(), zeros.size()) == static_cast<ssize_t>(zeros.size()) &&
                         fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, 0, 1 << 15) == 0;
    if (fd >= 0) close(fd);
    unlink(probe.c_str());
    return punched;
}

TStrokeOutline Stroke(int I, int N) {
    TStrokeOutline s;
    s.Color = 0xFF000000u | static_cast<uint32_t>(I);
    for (int k = 0; k < N; ++k) {
        s.Left.push_back({I * 65536 + k, -k});
        s.Right.push_back({k, I});
    }
    return s;
}

void ExpectSame(const TStrokeOutline& A, const TStrokeOutline& B) {
    EXPECT_EQ(A.Color, B.Color);
    EXPECT_EQ(A.Left, B.Left);
    EXPECT_EQ(A.Right, B.Right);
}

// Reads the whole log back: the strokes Stroke(First + i, Points(i)) for i = 0 .. N - 1, in
// order, and no more.
template <typename TPoints>
void ExpectLog(TStrokes& Log, int First, int N, TPoints Points) {
    Log.StartRead();
    TStrokeOutline s;
    int n = 0;
    for (; Log.Read(s); ++n)
        if (n < N) ExpectSame(s, Stroke(First + n, Points(n)));
    EXPECT_EQ(n, N);
}

void ExpectLog(TStrokes& Log, int First, int N, int Points) {
    ExpectLog(Log, First, N, [Points](int) { return Points; });
}

const Bytes WorkedRecord = {0x30, 0x20, 0x10, 0xFF, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                            0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x01, 0x00, 0x00, 0x00,
                            0x00, 0x80, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00};
} // namespace

TEST(Strokes, WorkedRecordBytes) {
    TTestFolder dir;
    const std::string path = dir / "~1a2btsk";
    TStrokes log(path);
    log.Add({FixedPoint(1.0, 2.0)}, {FixedPoint(3.5, 0)}, Color32(0x10, 0x20, 0x30, 0xFF));
    EXPECT_EQ(log.Count(), 1);
    EXPECT_EQ(log.BufferSize(), 28);
    log.EndWriting();
    EXPECT_EQ(ReadFile(path), WorkedRecord);

    log.StartRead();
    TStrokeOutline s;
    ASSERT_TRUE(log.Read(s));
    EXPECT_EQ(s.Color, 0xFF102030u);
    EXPECT_EQ(s.Left, TArrayOfFixedPoint({{65536, 131072}}));
    EXPECT_EQ(s.Right, TArrayOfFixedPoint({{229376, 0}}));
    EXPECT_FALSE(log.Read(s));
    EXPECT_EQ(log.Count(), 1);
}

TEST(Strokes, EmptyLogAndEmptyStroke) {
    TTestFolder dir;
    const std::string path = dir / "log";
    WriteFile(path, {1, 2, 3}); // an old file of that name is truncated
    TStrokes log(path);
    EXPECT_EQ(log.BufferLimit(), 524288);
    TStrokeOutline s = Stroke(1, 3);
    EXPECT_FALSE(log.Read(s)); // nothing to read before StartRead
    log.StartRead();
    EXPECT_FALSE(log.Read(s));
    EXPECT_EQ(fs::file_size(path), 0u);

    log.Add({}, {}, clBlack32);
    EXPECT_EQ(log.BufferSize(), 12);
    log.StartRead();
    s = Stroke(1, 3);
    ASSERT_TRUE(log.Read(s));
    EXPECT_TRUE(s.Left.empty());
    EXPECT_TRUE(s.Right.empty());
    EXPECT_EQ(s.Color, clBlack32);
    EXPECT_FALSE(log.Read(s));
    EXPECT_EQ(log.Count(), 1);
}

TEST(Strokes, BufferGoesToTheFilePastItsLimitAndEverythingReadsBackInOrder) {
    TTestFolder dir;
    const std::string path = dir / "log";
    const int64_t record = 12 + 8 * (2 * 100);
    int added = 0;
    TStrokes log(path);
    while (log.BufferSize() <= 524288)
        log.Add(Stroke(added++, 100));
    EXPECT_EQ(log.BufferSize(), added * record); // the limit is passed by one record
    log.Add(Stroke(added++, 100));
    EXPECT_EQ(log.BufferSize(), record); // flushed before the record, not split
    EXPECT_EQ(static_cast<int64_t>(fs::file_size(path)), (added - 1) * record);
    log.Add(Stroke(added++, 100));

    ExpectLog(log, 0, added, 100);
    ExpectLog(log, 0, added, 100); // a second StartRead gives the same records
    EXPECT_EQ(log.Count(), added);
    log.EndWriting();
    EXPECT_EQ(static_cast<int64_t>(fs::file_size(path)), added * record);
}

TEST(Strokes, AddWhileReadingKeepsUnreadRecords) {
    TTestFolder dir;
    TStrokes log(dir / "log");
    for (int i = 0; i < 3; ++i)
        log.Add(Stroke(i, 2 + i));
    log.StartRead();
    TStrokeOutline s;
    ASSERT_TRUE(log.Read(s));
    ExpectSame(s, Stroke(0, 2));
    log.Add(Stroke(3, 5));
    for (int i = 1; i <= 3; ++i) {
        ASSERT_TRUE(log.Read(s));
        ExpectSame(s, Stroke(i, 2 + i));
    }
    EXPECT_FALSE(log.Read(s));
    log.Add(Stroke(4, 1)); // appended after everything was read, and read by the next pass
    log.StartRead();
    int n = 0;
    while (log.Read(s))
        ++n;
    EXPECT_EQ(n, 5);
}

TEST(Strokes, RecordCutShortEndsReadingWithFalse) {
    TTestFolder dir;
    const std::string path = dir / "log";
    TStrokeOutline s;
    // Each case writes a stroke to the file of a fresh log, then damages the file behind the
    // log's back and cuts it short, so that the bytes of the log's place in it are Data.
    auto damaged = [&](const Bytes& Data) {
        auto log = std::make_unique<TStrokes>(path);
        log->Add(Stroke(0, 10));
        log->EndWriting();
        WriteFile(path, Data);
        log->StartRead();
        return log;
    };

    Bytes data = WorkedRecord;
    data.insert(data.end(), {0x01, 0x02, 0x03}); // a colour cut short
    auto log = damaged(data);
    log->Add(Stroke(1, 1)); // a stroke added after the damage is not reached either
    EXPECT_TRUE(log->Read(s));
    EXPECT_FALSE(log->Read(s));
    EXPECT_FALSE(log->Read(s));

    // Two left points promised, one there.
    log = damaged({0xFF, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 9});
    EXPECT_FALSE(log->Read(s));
    EXPECT_EQ(s.Left, TArrayOfFixedPoint({{1, 2}}));

    // A count of four thousand million points sizes nothing.
    log = damaged({0xFF, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 5, 0, 0, 0, 6, 0, 0, 0});
    EXPECT_FALSE(log->Read(s));
    EXPECT_TRUE(s.Left.empty());
    EXPECT_EQ(s.Right, TArrayOfFixedPoint({{5, 6}}));
}

TEST(Strokes, DestroyDeletesTheFileEvenWhenNeverRead) {
    TTestFolder dir;
    const std::string path = dir / "log";
    {
        TStrokes log(path);
        log.Add(Stroke(1, 4));
        EXPECT_TRUE(fs::exists(path));
    }
    EXPECT_FALSE(fs::exists(path));
    EXPECT_THROW(TStrokes(dir / "missing/log"), Exception);
}

TEST(Strokes, AFileThatTakesNoMoreLosesNoStrokeAndReadingWritesNothing) {
    TTestFolder dir;
    const std::string path = dir / "log";
    const int64_t record = 12 + 8 * (2 * 10);
    // Two steps' logs in one file; the other's batch lies between this one's.
    auto file = std::make_shared<TStrokeFile>(path);
    TStrokes log(file), other(file);
    log.SetBufferLimit(1); // 1 KB
    int added = 0;
    for (int i = 0; i < 10; ++i)
        log.Add(Stroke(added++, 10));
    other.Add(Stroke(1000, 10));
    other.EndWriting();
    {
        // The file takes the next batch, then fails part-way through one: the strokes that it
        // refuses wait in memory, and Add goes on without a word.
        TWriteFaultScope fault(TFaultPoint::fpWrite, 3000, ENOSPC);
        for (int i = 0; i < 40; ++i)
            EXPECT_NO_THROW(log.Add(Stroke(added++, 10)));
        EXPECT_GT(fault.Hits(), 0);
        EXPECT_LT(fault.Hits(), 10); // tried again only as the buffer grows, not at every stroke
        // What went in of the refused batch was cut off again: the file holds whole batches.
        EXPECT_EQ(static_cast<int64_t>(fs::file_size(path)), log.FileSize() + other.FileSize());
        EXPECT_EQ(log.FileSize() % record, 0);
        EXPECT_GT(log.BufferSize(), 1024);
        // Reading takes the file and memory together and leaves the file as it was.
        const Bytes before = ReadFile(path);
        ExpectLog(log, 0, added, 10);
        EXPECT_EQ(ReadFile(path), before);
        log.EndWriting();
        EXPECT_GT(log.BufferSize(), 0);
        ExpectLog(log, 0, added, 10);
    }
    // With room again the next batch writes every stroke that waited, once, in order.
    for (int i = 0; i < 10; ++i)
        log.Add(Stroke(added++, 10));
    EXPECT_LE(log.BufferSize(), 1024 + record);
    EXPECT_EQ(log.FileSize() + log.BufferSize(), added * record);
    ExpectLog(log, 0, added, 10);
    ExpectLog(other, 1000, 1, 10);
}

// The file of the logs is removed from its folder (a cleaner of old temporary files, the
// user): it is held open, so every log still reads every stroke, old and new.
TEST(Strokes, LogsReadEveryStrokeAfterTheirFileIsRemovedFromTheFolder) {
    TTestFolder dir;
    const std::string path = dir / "~0000abcdtsk";
    auto file = std::make_shared<TStrokeFile>(path);
    std::vector<std::unique_ptr<TStrokes>> logs;
    for (int step = 0; step < 3; ++step) {
        logs.push_back(std::make_unique<TStrokes>(file));
        logs.back()->SetBufferLimit(1);
        for (int i = 0; i < 30; ++i)
            logs.back()->Add(Stroke(step * 100 + i, 10));
        logs.back()->EndWriting();
    }
    fs::remove_all(dir.Path());
    logs.push_back(std::make_unique<TStrokes>(file));
    for (int i = 0; i < 30; ++i)
        logs.back()->Add(Stroke(300 + i, 10));
    logs.back()->EndWriting();
    EXPECT_EQ(logs.back()->BufferSize(), 0);
    for (int step = 0; step < 4; ++step)
        ExpectLog(*logs[static_cast<size_t>(step)], step * 100, 30, 10);
}

// A log that goes (an undo step discarded) leaves dead space: cut off at the end of the file,
// joined with the dead space beside it elsewhere, whose whole blocks are given back as a hole
// even where each log alone fills less than one, without touching the records of the logs beside
// it.
TEST(Strokes, ALogThatGoesIsCutOffTheEndOrLeftAsAHoleAndItsNeighboursStay) {
    TTestFolder dir;
    const std::string path = dir / "log";
    auto file = std::make_shared<TStrokeFile>(path);
    // Records of 12 + 16 n bytes, so that no batch starts or ends on a block of the disk.
    auto points = [](int I) { return 1 + I % 7; };
    auto logOf = [&](int First, int Strokes) {
        auto log = std::make_unique<TStrokes>(file);
        for (int i = 0; i < Strokes; ++i)
            log->Add(Stroke(First + i, points(i)));
        log->EndWriting();
        return log;
    };
    auto a = logOf(0, 900);
    auto x = logOf(5000, 49); // three of 3,724 bytes, each less than a block
    auto y = logOf(6000, 49);
    auto z = logOf(7000, 49);
    auto b = logOf(1000, 500);
    auto c = logOf(2000, 700);
    EXPECT_EQ(static_cast<int64_t>(fs::file_size(path)), file->End());
    const int64_t ab = file->End() - c->FileSize();
    c.reset();
    EXPECT_EQ(file->End(), ab);
    EXPECT_EQ(static_cast<int64_t>(fs::file_size(path)), ab);
    x.reset();
    z.reset();
    const int64_t blocks = Blocks(path);
    y.reset(); // joins x and z: 11,172 bytes hold at least one whole block
    if (PunchesHoles(dir.Path())) {
        EXPECT_LT(Blocks(path), blocks);
    }
    a.reset(); // joins them too; b does not move
    EXPECT_EQ(file->End(), ab);
    EXPECT_EQ(file->Live(), b->FileSize());
    if (PunchesHoles(dir.Path())) {
        EXPECT_LE(Blocks(path) * 512, b->FileSize() + 2 * 4096);
    }
    ExpectLog(*b, 1000, 500, points);
    // The next log goes after b, and the file is empty once none is left.
    auto d = logOf(3000, 10);
    ExpectLog(*d, 3000, 10, points);
    b.reset();
    d.reset();
    EXPECT_EQ(file->End(), 0);
    EXPECT_EQ(fs::file_size(path), 0u);
}

// Logs of every size go in every order, leaving dead runs between live batches, many smaller than
// a block of the disk. Compact then gives back what they hold: afterwards the file holds at most
// its live bytes and 128 KB of disk, whether the file system punches holes or none; asked to leave
// no dead space it leaves none; a move the disk refuses leaves everything where it was; and every
// log reads its own strokes throughout, also one written after the moves.
TEST(Strokes, CompactGivesBackTheDiskThatDeadBatchesHold) {
    auto points = [](int I) { return 1 + I % 7; };
    for (const bool holes : {true, false}) {
        SCOPED_TRACE(holes ? "holes" : "no holes");
        TTestFolder dir;
        const std::string path = dir / "log";
        std::optional<TWriteFaultScope> noHoles;
        if (!holes) noHoles.emplace(TFaultPoint::fpPunchHole, 0, 0, dir.Path());
        auto file = std::make_shared<TStrokeFile>(path);
        std::vector<std::unique_ptr<TStrokes>> logs;
        auto strokesOf = [](int Log) { return 1 + Log * 37 % 60; };
        for (int i = 0; i < 300; ++i) {
            logs.push_back(std::make_unique<TStrokes>(file));
            if (i % 5 == 0) logs.back()->SetBufferLimit(1); // a log of several batches
            for (int k = 0; k < strokesOf(i); ++k)
                logs.back()->Add(Stroke(i * 100 + k, points(k)));
            logs.back()->EndWriting();
        }
        // Two of every three go, the first of each three first, then the second.
        for (int pass = 0; pass < 2; ++pass)
            for (size_t i = static_cast<size_t>(pass); i < logs.size(); i += 3)
                logs[i].reset();
        auto expectAll = [&] {
            int64_t live = 0;
            for (size_t i = 0; i < logs.size(); ++i)
                if (logs[i]) {
                    ExpectLog(*logs[i], static_cast<int>(i) * 100, strokesOf(static_cast<int>(i)), points);
                    live += logs[i]->FileSize();
                }
            EXPECT_EQ(file->Live(), live);
        };
        const int64_t live = file->Live();
        const int64_t bound = live + (128 << 10);
        if (!holes) {
            EXPECT_GT(Blocks(path) * 512, bound); // what Compact is for
        }
        EXPECT_TRUE(file->Untidy());
        {
            TWriteFaultScope full(TFaultPoint::fpWrite, 0, ENOSPC, dir.Path());
            const int64_t end = file->End();
            file->Compact(-1);
            EXPECT_GT(full.Hits(), 0);
            EXPECT_EQ(file->End(), end);
            expectAll();
        }
        file->Compact();
        EXPECT_FALSE(file->Untidy());
        EXPECT_LE(Blocks(path) * 512, bound);
        EXPECT_LE(file->End(), 2 * live + (1 << 20));
        expectAll();
        file->Compact(-1);
        EXPECT_EQ(file->End(), live);
        EXPECT_EQ(static_cast<int64_t>(fs::file_size(path)), live);
        EXPECT_LE(Blocks(path) * 512, live + 4096);
        logs.push_back(std::make_unique<TStrokes>(file));
        for (int k = 0; k < strokesOf(300); ++k)
            logs.back()->Add(Stroke(30000 + k, points(k)));
        logs.back()->EndWriting();
        expectAll();
    }
}

TEST(Strokes, TheLastStrokeCanBeTakenBackUntilTheBufferIsWritten) {
    TTestFolder dir;
    TStrokes log(dir / "log");
    log.SetBufferLimit(1);
    EXPECT_FALSE(log.RemoveLast());
    int added = 0;
    while (log.BufferSize() <= 1024)
        log.Add(Stroke(added++, 10));
    log.Add(Stroke(added++, 10)); // the buffer goes to the file first: the record is in memory
    EXPECT_TRUE(log.RemoveLast());
    EXPECT_FALSE(log.RemoveLast()); // only the last one
    EXPECT_EQ(log.Count(), added - 1);
    log.Add(Stroke(added - 1, 10));
    ExpectLog(log, 0, added, 10);
    log.EndWriting();
    EXPECT_FALSE(log.RemoveLast());
}
