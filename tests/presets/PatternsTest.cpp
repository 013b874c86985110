// SPDX-License-Identifier: GPL-3.0-or-later
#include "presets/Patterns.h"

#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Random.h"
#include "presets/EditorHooks.h"
#include "tests/presets/PresetTestSupport.h"
#include "tests/support/WriteFaults.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

TBezierCurve Curve(int X0, int Y0, int X1, int Y1, int X2, int Y2, int X3, int Y3) {
    return {{X0, Y0}, {X1, Y1}, {X2, Y2}, {X3, Y3}};
}

// A straight curve from (X0, Y0) to (X1, Y1) with its controls on the line.
TBezierCurve Straight(int X0, int Y0, int X1, int Y1) {
    return Curve(X0, Y0, X0, Y0, X1, Y1, X1, Y1);
}

TPatternFrame& AddFrame(TPattern& Pattern, std::initializer_list<TBezierCurve> Curves) {
    TPatternFrame& frame = Pattern.AddPatternFrame(std::make_unique<TPatternFrame>());
    for (const TBezierCurve& c : Curves)
        frame.AddCurve(c);
    return frame;
}

TBytes CurveBytes(const TBezierCurve& C) {
    TBytes b;
    for (int32_t v : {C.P0.X, C.P0.Y, C.C1.X, C.C1.Y, C.C2.X, C.C2.Y, C.P3.X, C.P3.Y})
        Put(b, v);
    return b;
}

// A file of frames given by their curves.
TBytes PatternFile(const std::vector<std::vector<TBezierCurve>>& Frames) {
    TBytes b;
    Put(b, static_cast<uint32_t>(Frames.size()));
    for (const auto& frame : Frames) {
        Put(b, static_cast<uint32_t>(frame.size()));
        for (const TBezierCurve& c : frame) {
            const TBytes cb = CurveBytes(c);
            b.insert(b.end(), cb.begin(), cb.end());
        }
    }
    return b;
}

void Load(TPattern& Pattern, const TBytes& Bytes) {
    TMemoryStream s;
    Fill(s, Bytes);
    Pattern.LoadFromStream(s);
}

bool IsDark(TColor32 C) {
    return (C & 0xFF) < 0x60;
}

// Installs an editor for one test and removes it afterwards.
class TTestPatternEditor {
public:
    explicit TTestPatternEditor(TPatternEditorHook Hook) { SetPatternEditorHook(std::move(Hook)); }
    ~TTestPatternEditor() { SetPatternEditorHook(nullptr); }
};

} // namespace

// ---------------------------------------------------------------------------------------------
// File format

TEST(PatternFile, WritesCountsAndCurvesFieldByFieldEmptyFramesIncluded) {
    TPattern p;
    AddFrame(p, {});
    AddFrame(p, {Curve(1, -2, 3, 4, 5, 6, 7, 0x01020304)});
    AddFrame(p, {});
    TMemoryStream s;
    p.SaveToStream(s);
    const TBytes expected = {3, 0, 0, 0,                         // frames
                             0, 0, 0, 0,                         // frame 0: no curve
                             1, 0, 0, 0,                         // frame 1: one curve
                             1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, // start (1, -2)
                             3, 0, 0, 0, 4,    0,    0,    0,    // control 1
                             5, 0, 0, 0, 6,    0,    0,    0,    // control 2
                             7, 0, 0, 0, 0x04, 0x03, 0x02, 0x01, // end
                             0, 0, 0, 0};                        // frame 2: no curve
    EXPECT_EQ(StreamBytes(s), expected);
}

TEST(PatternFile, ReadingDropsEmptyFramesAndKeepsTheOrderOfTheOthers) {
    const TBezierCurve a = Straight(0, 0, 10, 10), b = Straight(5, 5, 20, 0), c = Straight(1, 2, 3, 4);
    TPattern p;
    Load(p, PatternFile({{}, {a, b}, {}, {}, {c}}));
    ASSERT_EQ(p.FrameCount(), 2);
    EXPECT_EQ(p.GetFrames(0).Curves, (TBezierCurves{a, b}));
    EXPECT_EQ(p.GetFrames(1).Curves, (TBezierCurves{c}));

    Load(p, PatternFile({}));
    EXPECT_EQ(p.FrameCount(), 0);
    Load(p, PatternFile({{}, {}, {}, {}, {}}));
    EXPECT_EQ(p.FrameCount(), 0);
    // Eight frames load; none can then be added.
    Load(p, PatternFile(std::vector<std::vector<TBezierCurve>>(8, {a})));
    EXPECT_EQ(p.FrameCount(), 8);
    EXPECT_EQ(MessageOf([&] { p.AddPatternFrame(std::make_unique<TPatternFrame>()); }),
              "AddPatternFrame: MaxFrames reached");
    EXPECT_EQ(p.FrameCount(), 8);
}

TEST(PatternFile, AFailedSaveRaisesAndKeepsTheOldFileAndAFifoIsNoPattern) {
    TPresetFolder folder;
    TPattern pattern;
    AddFrame(pattern, {Straight(0, 0, 10, 10)});
    pattern.Save();
    AddFrame(pattern, {Straight(0, 0, 20, 0), Straight(20, 0, 20, 20)});
    ExpectFailedSavesKeepTarget(pattern.FileName, [&] { pattern.Save(); });
    const std::string fifo = folder / "fifo.stk";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(MessageOf([&] { pattern.LoadFromFile(fifo); }), fifo + " is not a file");
    EXPECT_EQ(pattern.FrameCount(), 2);
}

TEST(PatternFile, DamagedFilesFailWithAClearMessageInsteadOfAllocating) {
    TPattern p;
    AddFrame(p, {Straight(0, 0, 5, 5)});
    const auto fails = [&](const TBytes& Bytes) { return MessageOf([&] { Load(p, Bytes); }); };
    EXPECT_EQ(fails({1, 0}), "Damaged pattern file: it ends before its frame count");
    EXPECT_EQ(fails({0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}),
              "Damaged pattern file: the frame count 4294967295 is more than the file holds");
    // One frame announcing 2^27 curves (4 GB of records) in a file of a few bytes.
    EXPECT_EQ(fails({1, 0, 0, 0, 0, 0, 0, 8, 1, 2, 3}),
              "Damaged pattern file: the curve count 134217728 is more than the file holds");
    // Two frames announced, the second one missing.
    TBytes cut = PatternFile({{Straight(0, 0, 1, 1)}, {}});
    cut.resize(cut.size() - 4);
    EXPECT_EQ(fails(cut), "Damaged pattern file: it ends before its curve count");
    TBytes truncated = PatternFile({{Straight(0, 0, 1, 1)}, {Straight(0, 0, 1, 1)}});
    truncated.resize(truncated.size() - 1);
    EXPECT_EQ(fails(truncated), "Damaged pattern file: the curve count 1 is more than the file holds");
    // More frames than anyone draws: refused before a frame is read.
    EXPECT_EQ(fails(PatternFile(std::vector<std::vector<TBezierCurve>>(1001))),
              "Damaged pattern file: the frame count 1001 is more than 1000");
    EXPECT_EQ(fails(PatternFile({{Straight(0, 0, 100001, 5)}})),
              "Damaged pattern file: a curve point lies further than 100000 pixels from the origin");
    // A failed load leaves no half-read pattern.
    EXPECT_EQ(p.FrameCount(), 0);
    Load(p, PatternFile({{Straight(-100000, 100000, 0, 0)}}));
    EXPECT_EQ(p.FrameCount(), 1);
    Load(p, PatternFile(std::vector<std::vector<TBezierCurve>>(1000, {Straight(0, 0, 1, 1)})));
    EXPECT_EQ(p.FrameCount(), 1000);
}

// ---------------------------------------------------------------------------------------------
// Frames and lists

TEST(PatternFrames, RandomPicksDrawOnlyWhenThereIsAChoiceAndRefuseAPatternWithoutCurves) {
    TPattern p;
    for (int i = 0; i < 5; ++i)
        AddFrame(p, {});
    EXPECT_EQ(MessageOf([&] { p.RandomFrame(); }), "The pattern holds no curve to draw");
    TPatternFrame& last = AddFrame(p, {Straight(0, 0, 1, 1)});
    RandSeed = 5;
    EXPECT_EQ(&p.RandomFrame(), &last);
    EXPECT_EQ(last.RandomCurve(), Straight(0, 0, 1, 1));
    EXPECT_EQ(RandSeed, 5u);
    last.AddCurve(Straight(2, 2, 3, 3));
    EXPECT_EQ(&p.RandomFrame(), &last); // drawn until the sixth frame comes up
    EXPECT_NE(RandSeed, 5u);
}

// ---------------------------------------------------------------------------------------------
// Bounds and drawing

TEST(PatternDrawing, BoundsCoverEveryPointOfEveryFrame) {
    TPattern p;
    p.ComputeBounds();
    EXPECT_EQ(p.Bounds, Rect(10000, 10000, -10000, -10000));
    AddFrame(p, {Curve(10, 20, -5, 30, 40, 25, 15, 22)});
    AddFrame(p, {});
    AddFrame(p, {Curve(12, 21, 13, 22, 14, 80, 11, 23)});
    p.ComputeBounds();
    EXPECT_EQ(p.Bounds, Rect(-5, 20, 40, 80));
}

TEST(PatternDrawing, AFlatPatternDrawsNothingNotEvenTheClearing) {
    TPattern p;
    AddFrame(p, {Straight(10, 30, 90, 30), Straight(20, 30, 50, 30)});
    TBitmap32 target(100, 100);
    target.Clear(0xFF123456);
    p.SetTarget(&target);
    p.DrawFrame(0, true);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            ASSERT_EQ(target.Pixel(x, y), 0xFF123456u);
}

TEST(PatternDrawing, FramesAreScaledToTheTargetWithThePatternsCornerAtItsCorner) {
    // Frame 0 is a horizontal line at y 40 from x 10 to 50; frame 1 sets the top at y 20.
    TPattern p;
    AddFrame(p, {Straight(10, 40, 50, 40)});
    AddFrame(p, {Straight(30, 20, 70, 20)});

    // 214 x 214: one pattern pixel per target pixel, the corner (10, 20) taken away.
    TBitmap32 square(214, 214);
    p.SetTarget(&square);
    p.DrawFrame(0, true);
    EXPECT_EQ(square.Pixel(5, 5), 0xFFCCCCCCu);
    EXPECT_TRUE(IsDark(square.Pixel(20, 20)));
    EXPECT_EQ(square.Pixel(20, 0), 0xFFCCCCCCu);  // frame 1 is not drawn
    EXPECT_EQ(square.Pixel(50, 20), 0xFFCCCCCCu); // the line ends at x 40

    // 428 x 300: the shorter side gives 300 / 214, so y 20 lands on Round(28.04) = 28.
    TBitmap32 wide(428, 300);
    wide.Clear(0xFFFFFFFF);
    p.SetTarget(&wide);
    p.DrawFrame(0, false);
    EXPECT_TRUE(IsDark(wide.Pixel(30, 28)));
    EXPECT_EQ(wide.Pixel(30, 20), 0xFFFFFFFFu);
    EXPECT_EQ(wide.Pixel(62, 28), 0xFFFFFFFFu); // the line ends at Round(40 x 1.4) = 56

    EXPECT_THROW(p.DrawFrame(2, true), Exception);
    p.SetTarget(nullptr);
    EXPECT_THROW(p.DrawFrame(0, true), Exception);
}

TEST(PatternDrawing, ThumbnailShowsEveryFrameOfAPatternDrawnLowInTheEditor) {
    // Curves far below and right of the editor's origin: a corner added instead of taken away
    // would push both beyond the 214 pixels the target shows.
    TPattern p;
    AddFrame(p, {Straight(100, 120, 180, 120)});
    AddFrame(p, {Straight(100, 200, 180, 200)});
    TBitmap32 target(80, 80);
    target.Clear(0xFFFFFFFF);
    target.StretchFilter = sfNearest;
    p.SetTarget(&target);
    const auto thumb = p.Thumbnail(40, 40);
    ASSERT_EQ(thumb->Width(), 40);
    ASSERT_EQ(thumb->Height(), 40);
    // At 80 / 214 the frames lie at y 0 and Round(80 x 0.374) = 30.
    EXPECT_TRUE(IsDark(target.Pixel(15, 0)));
    EXPECT_TRUE(IsDark(target.Pixel(15, 30)));
    EXPECT_EQ(target.StretchFilter, sfNearest);
    // Halved: both lines are still there, lighter, around y 0 and 15.
    const auto darkest = [&](int Y0, int Y1) {
        uint32_t d = 255;
        for (int y = Y0; y <= Y1; ++y)
            for (int x = 0; x < 40; ++x)
                d = std::min(d, thumb->Pixel(x, y) & 0xFF);
        return d;
    };
    EXPECT_LT(darkest(0, 2), 0xE0u);
    EXPECT_LT(darkest(14, 17), 0xE0u);
    EXPECT_EQ(darkest(24, 39), 0xFFu);
}

// ---------------------------------------------------------------------------------------------
// Manager

TEST(PatternManager, LoadsGoodFilesLogsAndSkipsDamagedOnes) {
    TPresetFolder folder;
    TPresetFolder::Write(folder / "a.stk", PatternFile({{Straight(0, 0, 1, 1)}}));
    TPresetFolder::Write(folder / "b.stk", {2, 0, 0, 0, 1, 0});
    TPresetFolder::Write(folder / "c.stk", PatternFile({{}, {}}));
    TPresetFolder::Write(folder / "d.stk", PatternFile({{Straight(0, 0, 2, 2)}, {Straight(0, 0, 3, 3)}}));
    TPresetFolder::Write(folder / "e.gst", {0});
    TPatternManager m;
    ASSERT_EQ(m.Count(), 3);
    EXPECT_EQ(m.GetPattern(0).FileName, folder / "a.stk");
    EXPECT_EQ(m.GetPattern(1).FileName, folder / "c.stk");
    EXPECT_EQ(m.GetPattern(1).FrameCount(), 0);
    EXPECT_EQ(m.GetPattern(2).FrameCount(), 2);
    EXPECT_EQ(folder.Log(),
              folder / "b.stk" + ": Damaged pattern file: the frame count 2 is more than the file holds\r\n");
}

TEST(PatternManager, EditAcceptedPadsToFiveFramesAndSaves) {
    TPresetFolder folder;
    TPresetFolder::Write(
        folder / "p.stk",
        PatternFile({{Straight(0, 0, 1, 1)}, {Straight(0, 0, 2, 2)}, {Straight(0, 0, 3, 3)}}));
    TPatternManager m;
    m.EditorCaption = "Edit Current Pattern";
    TPattern* seen = nullptr;
    std::string caption;
    TTestPatternEditor editor([&](TPattern& P, const std::string& Caption, const TPatternAccept&) {
        seen = &P;
        caption = Caption;
        EXPECT_EQ(P.FrameCount(), 5);
        P.GetFrames(3).AddCurve(Straight(7, 7, 8, 8));
        return int{mrOk};
    });
    EXPECT_TRUE(m.Edit());
    EXPECT_EQ(seen, &m.Current());
    EXPECT_EQ(caption, "Edit Current Pattern");
    // Five records are written, frame 4 empty; it is dropped again on reading.
    const std::string bytes = TPresetFolder::Read(folder / "p.stk");
    EXPECT_EQ(static_cast<uint8_t>(bytes[0]), 5);
    TPattern back;
    back.LoadFromFile(folder / "p.stk");
    ASSERT_EQ(back.FrameCount(), 4);
    EXPECT_EQ(back.GetFrames(3).Curves, (TBezierCurves{Straight(7, 7, 8, 8)}));
}

TEST(PatternManager, EditCancelledGivesThePatternBackItsCurves) {
    TPresetFolder folder;
    const TBytes file = PatternFile(std::vector<std::vector<TBezierCurve>>(6, {Straight(0, 0, 1, 1)}));
    TPresetFolder::Write(folder / "p.stk", file);
    TPatternManager m;
    TTestPatternEditor editor([](TPattern& P, const std::string&, const TPatternAccept&) {
        EXPECT_EQ(P.FrameCount(), 6); // six frames get no padding
        P.GetFrames(0).Clear();
        return int{mrCancel};
    });
    EXPECT_FALSE(m.Edit());
    EXPECT_EQ(m.Current().GetFrames(0).Curves, (TBezierCurves{Straight(0, 0, 1, 1)}));
    EXPECT_EQ(TPresetFolder::Read(folder / "p.stk"), std::string(file.begin(), file.end()));
}

TEST(PatternManager, NewThenCancelLeavesAnEmptyPatternWithoutAFile) {
    TPresetFolder folder;
    TPatternManager empty;
    EXPECT_EQ(empty.ItemIndex, 0);
    EXPECT_EQ(MessageOf([&] { empty.Current(); }), "TPatternManager.GetPattern: Index out of bounds(0)");
    TPresetFolder::Write(folder / "p.stk", PatternFile({{Straight(0, 0, 1, 1)}}));
    TPatternManager m;
    TTestPatternEditor editor(
        [](TPattern&, const std::string&, const TPatternAccept&) { return int{mrCancel}; });
    EXPECT_FALSE(m.New());
    ASSERT_EQ(m.Count(), 2);
    EXPECT_EQ(m.ItemIndex, 1);
    EXPECT_EQ(m.Current().FrameCount(), 5);
    EXPECT_TRUE(m.Current().FileName.empty());
    EXPECT_THROW(m.Current().RandomFrame(), Exception);
    // Deleting it deletes no file; the first pattern becomes current.
    m.Delete();
    EXPECT_EQ(m.Count(), 1);
    EXPECT_EQ(m.ItemIndex, 0);
    EXPECT_TRUE(folder.Exists("p.stk"));
    // The last one goes with its file.
    m.Delete();
    EXPECT_EQ(m.ItemIndex, -1);
    EXPECT_FALSE(folder.Exists("p.stk"));
    m.Delete();
    EXPECT_EQ(m.ItemIndex, -1);
}

// What the New command keeps: a new pattern only once the editor accepts it.
TEST(PatternManager, NewIfAcceptedKeepsOnlyAnAcceptedPattern) {
    TPresetFolder folder;
    TPresetFolder::Write(folder / "a.stk", PatternFile({{Straight(0, 0, 1, 1)}}));
    TPresetFolder::Write(folder / "b.stk", PatternFile({{Straight(0, 0, 2, 2)}}));
    TPatternManager m;
    m.SetIndex(0);
    int answer = mrCancel;
    TTestPatternEditor editor([&](TPattern& P, const std::string&, const TPatternAccept&) {
        P.GetFrames(0).AddCurve(Straight(0, 0, 3, 3));
        return answer;
    });
    EXPECT_FALSE(m.NewIfAccepted());
    EXPECT_EQ(m.Count(), 2);
    EXPECT_EQ(m.ItemIndex, 0);
    answer = mrOk;
    EXPECT_TRUE(m.NewIfAccepted());
    ASSERT_EQ(m.Count(), 3);
    EXPECT_EQ(m.ItemIndex, 2);
    EXPECT_EQ(m.Current().GetFrames(0).Curves, (TBezierCurves{Straight(0, 0, 3, 3)}));
    EXPECT_TRUE(std::filesystem::exists(m.Current().FileName));
}

// A read-only preset folder, as the stream seam gives it even to root.
TEST(PatternManager, APatternThatCannotBeSavedIsDrawnAsItsFileAndThumbnailShowIt) {
    TPresetFolder folder;
    TPresetFolder::Write(folder / "a.stk", PatternFile({{Straight(0, 0, 1, 1)}}));
    const TBytes file = PatternFile({{Straight(0, 0, 2, 2)}, {Straight(0, 0, 3, 3)}, {Straight(0, 0, 4, 4)}});
    TPresetFolder::Write(folder / "b.stk", file);
    TPatternManager m;
    m.SetIndex(1);
    const std::set<std::string> entries = FolderEntries(folder.Path());
    TTestPatternEditor editor([](TPattern& P, const std::string&, const TPatternAccept&) {
        P.GetFrames(0).Clear();
        P.GetFrames(4).AddCurve(Straight(9, 9, 20, 20));
        return int{mrOk};
    });
    TWriteFaultScope readOnly(TFaultPoint::fpCreate, 0, EACCES);

    EXPECT_EQ(MessageOf([&] { m.New(); }),
              "Cannot create file \"" + folder / "stroke0000.stk" + "\". Permission denied");
    ASSERT_EQ(m.Count(), 2);
    EXPECT_EQ(m.ItemIndex, 1);

    EXPECT_EQ(MessageOf([&] { m.Edit(); }),
              "Cannot create file \"" + folder / "b.stk" + "\". Permission denied");
    // Three frames again, not the editor's five: the Pattern tool's draws stay as they were.
    TPattern& p = m.Current();
    ASSERT_EQ(p.FrameCount(), 3);
    EXPECT_EQ(p.GetFrames(0).Curves, (TBezierCurves{Straight(0, 0, 2, 2)}));
    EXPECT_EQ(p.GetFrames(2).Curves, (TBezierCurves{Straight(0, 0, 4, 4)}));
    EXPECT_EQ(p.FileName, folder / "b.stk");
    EXPECT_EQ(TPresetFolder::Read(folder / "b.stk"), std::string(file.begin(), file.end()));
    EXPECT_EQ(FolderEntries(folder.Path()), entries);
}

// The editor saves through the manager's accept function while it is open: one that raises
// leaves the editor to go on, and the manager keeps the pattern as it was unless a later accept
// saves it.
TEST(PatternManager, AnAcceptThatFailsLeavesTheEditorToTryAgainOrCancel) {
    TPresetFolder folder;
    const TBytes file = PatternFile({{Straight(0, 0, 2, 2)}});
    TPresetFolder::Write(folder / "b.stk", file);
    TPatternManager m;
    const std::set<std::string> entries = FolderEntries(folder.Path());
    for (const bool mend : {false, true}) {
        SCOPED_TRACE(mend ? "mended" : "cancelled");
        TTestPatternEditor editor([&](TPattern& P, const std::string&, const TPatternAccept& Accept) {
            P.GetFrames(1).AddCurve(Straight(9, 9, 20, 20));
            {
                TWriteFaultScope readOnly(TFaultPoint::fpCreate, 0, EACCES);
                EXPECT_EQ(MessageOf(Accept),
                          "Cannot create file \"" + folder / "b.stk" + "\". Permission denied");
            }
            // The work stays for the next try.
            EXPECT_EQ(P.GetFrames(1).Curves, (TBezierCurves{Straight(9, 9, 20, 20)}));
            if (!mend) return int{mrCancel};
            Accept();
            return int{mrOk};
        });
        EXPECT_EQ(m.Edit(), mend);
        EXPECT_EQ(FolderEntries(folder.Path()), entries);
        TPattern reread;
        reread.LoadFromFile(folder / "b.stk");
        EXPECT_EQ(reread.FrameCount(), mend ? 2 : 1);
        EXPECT_EQ(m.Current().GetFrames(1).Curves,
                  mend ? TBezierCurves{Straight(9, 9, 20, 20)} : TBezierCurves{});
    }
}

TEST(PatternManager, AFileThatCannotBeDeletedKeepsItsPatternListedAndCurrent) {
    TPresetFolder folder;
    TPresetFolder::Write(folder / "a.stk", PatternFile({{Straight(0, 0, 1, 1)}}));
    TPresetFolder::Write(folder / "b.stk", PatternFile({{Straight(0, 0, 2, 2)}}));
    TPatternManager m;
    m.SetIndex(1);
    {
        TWriteFaultScope readOnly(TFaultPoint::fpRemove, 0, EACCES);
        EXPECT_EQ(MessageOf([&] { m.Delete(); }),
                  "Cannot delete file \"" + folder / "b.stk" + "\". Permission denied");
    }
    EXPECT_EQ(m.Count(), 2);
    EXPECT_EQ(m.ItemIndex, 1);
    EXPECT_TRUE(folder.Exists("b.stk"));
    m.Delete();
    EXPECT_EQ(m.Count(), 1);
    EXPECT_FALSE(folder.Exists("b.stk"));
}
