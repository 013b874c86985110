// SPDX-License-Identifier: GPL-3.0-or-later
// A drawing over a long session and under a temporary folder that takes no more or is emptied:
// thousands of undo steps hold no file open each, and the stroke logs, the drawing and the
// outputs agree. A program of its own, since its gestures leave thousands of names in the
// temporary-file log.
#include "document/DualImage.h"

#include "document/QStates.h"
#include "engine/Strokes.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/Image32.h"
#include "platform/rtl/Random.h"
#include "platform/rtl/Streams.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace fs = std::filesystem;

namespace {
struct TViews {
    TImgView32 Src;
    TImgView32 Dst;
    TViews(int W, int H) {
        Src.Bitmap.SetSize(W, H);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                Src.Bitmap.SetPixel(x, y,
                                    Color32(static_cast<uint8_t>(x * 255 / W),
                                            static_cast<uint8_t>((x + y) % 90),
                                            static_cast<uint8_t>(255 - y * 255 / H)));
        Dst.Bitmap.SetSize(W, H);
        Dst.Bitmap.Clear(clWhite32);
    }
};

struct TDocument {
    TViews Views;
    TDualImage Doc;
    explicit TDocument(int W = 160, int H = 120)
        : Views(W, H), Doc(&Views.Src, &Views.Dst, 1.0f, nullptr, nullptr, nullptr) {
        Doc.SetBrdLimit(100);
        Doc.SetAutoMode(true);
    }
};

int OpenDescriptors() {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

// The soft limit on open files for the test's time, the hard one kept.
class TOpenFileLimit {
public:
    explicit TOpenFileLimit(rlim_t Soft) {
        getrlimit(RLIMIT_NOFILE, &FSaved);
        rlimit lowered = FSaved;
        lowered.rlim_cur = Soft;
        EXPECT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0) << std::strerror(errno);
    }
    ~TOpenFileLimit() { setrlimit(RLIMIT_NOFILE, &FSaved); }
    TOpenFileLimit(const TOpenFileLimit&) = delete;
    TOpenFileLimit& operator=(const TOpenFileLimit&) = delete;

private:
    rlimit FSaved{};
};

std::string FileText(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

int Count(const std::string& Text, const std::string& Word) {
    int n = 0;
    for (size_t at = Text.find(Word); at != std::string::npos; at = Text.find(Word, at + 1))
        ++n;
    return n;
}

std::vector<uint32_t> Pixels(const TBitmap32& B) {
    return {B.Bits(), B.Bits() + static_cast<size_t>(B.Width()) * B.Height()};
}

// The applied steps' strokes filled again at the drawing's size equal the drawing, and the
// PostScript file holds one polygon per stroke.
void ExpectOutputsHoldTheDrawing(TDualImage& Doc, const TBitmap32& Drawing, const TTestFolder& Dir) {
    TBitmap32 again(Drawing.Width(), Drawing.Height());
    again.Clear(clWhite32);
    Doc.RenderStrokes(again, 1.0f);
    EXPECT_TRUE(Pixels(again) == Pixels(Drawing));
    Doc.ExportPostScript(Dir / "drawing.ps");
    EXPECT_EQ(Count(FileText(Dir / "drawing.ps"), "newpath"), Doc.StrokeCount());
}
} // namespace

TEST(LongSession, ThousandsOfGesturesUnderALowFileLimitHoldNoFileOpen) {
    TTestFolder dir;
    TDocument d;
    TDualImage& doc = d.Doc;
    TOpenFileLimit limit(128);
    RandSeed = 5;
    const int before = OpenDescriptors();
    int after1000 = 0;
    for (int g = 1; g <= 3000; ++g) {
        // Now and then an idle moment swaps an old step out.
        if (g % 10 == 0) doc.CompressIdle();
        doc.BeginChange();
        doc.StrokeAt(20 + Random(120), 20 + Random(80));
        doc.EndChange();
        if (g == 1000) after1000 = OpenDescriptors();
    }
    doc.History().WaitForSwapOuts();
    const int after3000 = OpenDescriptors();
    ASSERT_GT(doc.History().Length(), 2000);
    // Only the stroke logs' one file and the service's own files stay open; none per step.
    EXPECT_LE(after1000 - before, 4);
    EXPECT_LE(after3000, after1000);

    d.Views.Dst.Bitmap.SaveToFile(dir / "drawing.bmp");
    EXPECT_GT(fs::file_size(dir / "drawing.bmp"), 160u * 120u * 3u);
    ExpectOutputsHoldTheDrawing(doc, d.Views.Dst.Bitmap, dir);
    // Undo reads the swapped-out steps back, under the same limit.
    for (int i = 0; i < 50; ++i)
        doc.Undo();
    // An undo hands the steps far from the position to the swap thread; the file it is writing
    // is open until it is done.
    doc.History().WaitForSwapOuts();
    EXPECT_LE(OpenDescriptors(), after1000);
}

TEST(LongSession, ATemporaryFolderThatTakesNothingLosesNoStrokeAndOutputsWriteNothingThere) {
    TTestFolder dir;
    TDocument d;
    TDualImage& doc = d.Doc;
    doc.SetBrdLimit(80);
    doc.SetLength(120);
    doc.SetPolyStep(2); // long outlines, so one gesture passes the log's buffer limit
    const std::vector<uint32_t> blank = Pixels(d.Views.Dst.Bitmap);
    RandSeed = 9;
    for (int g = 0; g < 3; ++g) {
        doc.CompressIdle(); // names the next log while the files take data
        TWriteFaultScope full(TFaultPoint::fpWrite, 0, ENOSPC);
        doc.BeginChange();
        for (int i = 0; i < 40; ++i)
            doc.SprayAt(30 + Random(100), 30 + Random(60));
        doc.EndChange();
        EXPECT_GT(full.Hits(), 0);
    }
    ASSERT_EQ(doc.History().Length(), 3);
    EXPECT_GT(doc.StrokeCount(), 0);
    // Every stroke waits in memory; reading them back writes nothing to the temporary folder.
    std::vector<std::string> logs;
    for (int i = 0; i < 3; ++i)
        logs.push_back(doc.History().GetState(i)->Strokes()->FileName());
    for (const std::string& log : logs)
        EXPECT_EQ(fs::file_size(log), 0u);
    // The first gesture alone passed the buffer limit, so its log was refused mid-gesture.
    TStrokes& first = *doc.History().GetState(0)->Strokes();
    int64_t bytes = 0;
    first.StartRead();
    for (TStrokeOutline s; first.Read(s);)
        bytes += 12 + 8 * static_cast<int64_t>(s.Left.size() + s.Right.size());
    EXPECT_GT(bytes, first.BufferLimit());
    {
        TScopedEnv gone("TMPDIR", dir / "no-such-folder");
        ExpectOutputsHoldTheDrawing(doc, d.Views.Dst.Bitmap, dir);
    }
    for (const std::string& log : logs)
        EXPECT_EQ(fs::file_size(log), 0u);
    // Each step's rectangle holds every stroke it logged: undoing them all gives the blank page.
    for (int i = 0; i < 3; ++i)
        doc.Undo();
    EXPECT_TRUE(Pixels(d.Views.Dst.Bitmap) == blank);
}

// A cleaner of old temporary files, or the user, empties the temporary folder in the middle of
// a session: the stroke logs' file is held open, so the re-render and the PostScript file still
// hold every stroke the drawing shows, those laid before the files went and those laid after.
TEST(LongSession, ATemporaryFolderEmptiedMidSessionLosesNoStrokeToTheOutputs) {
    TTestFolder dir;
    TDocument d;
    TDualImage& doc = d.Doc;
    RandSeed = 11;
    auto gestures = [&](int N) {
        for (int g = 0; g < N; ++g) {
            doc.CompressIdle();
            doc.BeginChange();
            doc.SprayAt(20 + Random(120), 20 + Random(80));
            doc.EndChange();
        }
    };
    gestures(60);
    doc.History().WaitForSwapOuts();
    int removed = 0;
    for (const auto& entry : fs::directory_iterator(fs::temp_directory_path()))
        if (entry.is_regular_file()) removed += fs::remove(entry.path()) ? 1 : 0;
    // The stroke logs' file and the swap files of the old steps.
    EXPECT_GT(removed, 1);
    gestures(30);
    doc.History().WaitForSwapOuts();
    ASSERT_EQ(doc.History().Count(), 90);
    ExpectOutputsHoldTheDrawing(doc, d.Views.Dst.Bitmap, dir);
}
