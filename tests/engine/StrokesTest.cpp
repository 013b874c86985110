// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Strokes.h"

#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
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

// The file of a log outlives the log through a second name, so its last bytes can be read.
std::string KeepFile(const std::string& Path) {
    const std::string keep = Path + ".keep";
    EXPECT_EQ(link(Path.c_str(), keep.c_str()), 0);
    return keep;
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

const Bytes WorkedRecord = {0x30, 0x20, 0x10, 0xFF, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                            0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x01, 0x00, 0x00, 0x00,
                            0x00, 0x80, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00};
} // namespace

TEST(Strokes, WorkedRecordBytes) {
    TTestFolder dir;
    const std::string path = dir / "~1a2btsk";
    std::string keep;
    {
        TStrokes log(path);
        keep = KeepFile(path);
        log.Add({FixedPoint(1.0, 2.0)}, {FixedPoint(3.5, 0)}, Color32(0x10, 0x20, 0x30, 0xFF));
        EXPECT_EQ(log.Count(), 1);
        EXPECT_EQ(log.BufferSize(), 28);
    }
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(ReadFile(keep), WorkedRecord);

    // The same bytes read back.
    TStrokes log(path);
    WriteFile(path, WorkedRecord);
    log.StartRead();
    TStrokeOutline s;
    ASSERT_TRUE(log.Read(s));
    EXPECT_EQ(s.Color, 0xFF102030u);
    EXPECT_EQ(s.Left, TArrayOfFixedPoint({{65536, 131072}}));
    EXPECT_EQ(s.Right, TArrayOfFixedPoint({{229376, 0}}));
    EXPECT_FALSE(log.Read(s));
    EXPECT_EQ(log.Count(), 0);
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
    std::string keep;
    const int64_t record = 12 + 8 * (2 * 100);
    int added = 0;
    {
        TStrokes log(path);
        keep = KeepFile(path);
        while (log.BufferSize() <= 524288)
            log.Add(Stroke(added++, 100));
        EXPECT_EQ(log.BufferSize(), added * record); // the limit is passed by one record
        log.Add(Stroke(added++, 100));
        EXPECT_EQ(log.BufferSize(), record); // flushed before the record, not split
        log.Add(Stroke(added++, 100));

        for (int pass = 0; pass < 2; ++pass) { // a second StartRead gives the same records
            log.StartRead();
            TStrokeOutline s;
            int n = 0;
            while (log.Read(s))
                ExpectSame(s, Stroke(n++, 100));
            EXPECT_EQ(n, added);
            EXPECT_EQ(log.Count(), added);
        }
    }
    EXPECT_EQ(static_cast<int64_t>(ReadFile(keep).size()), added * record);
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
    // Each case damages the file of a fresh log behind its back.
    auto damaged = [&](const Bytes& Data) {
        auto log = std::make_unique<TStrokes>(path);
        WriteFile(path, Data);
        log->StartRead();
        return log;
    };

    Bytes data = WorkedRecord;
    data.insert(data.end(), {0x01, 0x02, 0x03}); // a colour cut short
    auto log = damaged(data);
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
    auto expectAll = [](TStrokes& Log, int Added) {
        Log.StartRead();
        TStrokeOutline s;
        int n = 0;
        while (Log.Read(s))
            ExpectSame(s, Stroke(n++, 10));
        EXPECT_EQ(n, Added);
    };
    TStrokes log(path);
    log.SetBufferLimit(1); // 1 KB
    int added = 0;
    for (const TFaultPoint point : {TFaultPoint::fpWrite, TFaultPoint::fpFlush}) {
        // The file takes the first batches, then fails part-way through one: the strokes that
        // it refuses wait in memory, and Add goes on without a word.
        TWriteFaultScope fault(point, 3000, ENOSPC);
        for (int i = 0; i < 40; ++i)
            EXPECT_NO_THROW(log.Add(Stroke(added++, 10)));
        EXPECT_GT(fault.Hits(), 0);
        EXPECT_LT(fault.Hits(), 10); // tried again only as the buffer grows, not at every stroke
        EXPECT_EQ(static_cast<int64_t>(fs::file_size(path)) % record, 0);
        // Reading takes the file and memory together and leaves the file as it was.
        const Bytes before = ReadFile(path);
        expectAll(log, added);
        EXPECT_EQ(ReadFile(path), before);
    }
    // With room again the end of the gesture writes every stroke, once, in order, and lets go
    // of the file.
    log.EndWriting();
    EXPECT_FALSE(log.FileOpen());
    EXPECT_EQ(log.BufferSize(), 0);
    EXPECT_EQ(static_cast<int64_t>(fs::file_size(path)), added * record);
    expectAll(log, added);
    // Strokes added later go to the file in batches all the same, each opening it only to write.
    for (int i = 0; i < 10; ++i)
        log.Add(Stroke(added++, 10));
    EXPECT_FALSE(log.FileOpen());
    EXPECT_GT(static_cast<int64_t>(fs::file_size(path)), 40 * 2 * record);
    expectAll(log, added);
    // A file gone behind the log's back is said when reading.
    fs::remove(path);
    EXPECT_THROW(log.StartRead(), Exception);
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
    log.StartRead();
    TStrokeOutline s;
    int n = 0;
    while (log.Read(s))
        ExpectSame(s, Stroke(n++, 10));
    EXPECT_EQ(n, added);
    log.EndWriting();
    EXPECT_FALSE(log.RemoveLast());
}
