// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/QStates.h"

#include "document/CompressedBitmap.h"
#include "document/PixelBlock.h"
#include "document/UTempManager.h"
#include "engine/ParallelRows.h"
#include "engine/Strokes.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Random.h"
#include "platform/rtl/Streams.h"
#include "tests/document/SwapPictures.h"
#include "tests/support/AllocationFaults.h"
#include "tests/support/AllowedSkip.h"
#include "tests/support/AnotherUser.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <system_error>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {
// Tiles are exchanged and read back on four threads while one lives, whatever the machine.
struct TFourThreads : TAnalysisThreads {
    TFourThreads() : TAnalysisThreads(4) {}
};

// A document's two bitmaps and its history; each gesture paints a rectangle of both.
struct TDocument {
    TBitmap32 Feature{40, 30};
    TBitmap32 Dest{40, 30};
    TQStates History;

    TDocument() {
        Noise(Feature, 1);
        Dest.Clear(clWhite32);
    }

    void Gesture(int I, int Strokes = 1) {
        auto step = std::make_unique<TQState>(Feature, Dest, TStepCopies::Whole);
        const TRect r{I % 10, I % 7, I % 10 + 12, I % 7 + 9};
        Feature.FillRectS(r, 0x12345600u + static_cast<TColor32>(I));
        Dest.FillRectS(r, 0xFF000000u + static_cast<TColor32>(I) * 0x010203u);
        for (int k = 0; k < Strokes; ++k)
            step->Strokes()->Add({{1, 2}}, {{3, 4}}, clBlack32);
        step->Finish(r);
        History.Add(std::move(step));
    }

    // A step that copies tiles before they change, of a gesture that paints Area with C.
    void TiledGesture(const TRect& Area, TColor32 C = clBlack32) {
        auto step = std::make_unique<TQState>(Feature, Dest, TStepCopies::OnChange);
        step->DestChanging(Dest, Area);
        Dest.FillRectS(Area, C);
        step->Finish(Area);
        History.Add(std::move(step));
    }
};
} // namespace

TEST(CompressedBitmap, SwapsOutAndBackBitForBit) {
    TBitmap32 source(37, 23);
    Noise(source, 7);
    const int before = TempFileCount();
    TCompressedBitmap c(source);
    EXPECT_EQ(c.GetMemSize(), 37 * 23 * 4 + 54);
    c.SetCompressed(true);
    EXPECT_TRUE(c.Compressed());
    EXPECT_EQ(c.Bitmap(), nullptr);
    EXPECT_EQ(c.GetMemSize(), 0);
    const std::string file = c.FileName();
    EXPECT_EQ(fs::path(file).filename().string()[0], '~');
    EXPECT_EQ(fs::path(file).extension(), ".bmp");
    EXPECT_TRUE(fs::exists(file));
    c.SetCompressed(true); // no second file
    EXPECT_EQ(c.FileName(), file);

    c.SetCompressed(false);
    ASSERT_NE(c.Bitmap(), nullptr);
    EXPECT_TRUE(SamePixels(*c.Bitmap(), source));
    EXPECT_EQ(c.GetMemSize(), 37 * 23 * 4 + 54);
    EXPECT_FALSE(fs::exists(file)); // stale once the pixels are back

    c.SetCompressed(true);
    EXPECT_TRUE(fs::exists(c.FileName()));
    {
        TCompressedBitmap other(source);
        other.SetCompressed(true);
        EXPECT_EQ(TempFileCount(), before + 2);
    }
    EXPECT_EQ(TempFileCount(), before + 1); // freed while swapped out: its file goes
}

TEST(CompressedBitmap, DamagedOrDeletedSwapFileRaises) {
    TBitmap32 source(16, 16);
    Noise(source, 3);
    auto expectUnreadable = [&](const std::function<void(const std::string&)>& Damage) {
        TCompressedBitmap c(source);
        c.SetCompressed(true);
        Damage(c.FileName());
        try {
            c.SetCompressed(false);
            ADD_FAILURE() << "no Exception";
        } catch (const Exception& e) {
            EXPECT_NE(std::string(e.what()).find("Cannot read the undo step swapped out to"),
                      std::string::npos);
        }
        EXPECT_TRUE(c.Compressed());
        EXPECT_EQ(c.Bitmap(), nullptr);
    };
    expectUnreadable([](const std::string& F) { fs::remove(F); });
    expectUnreadable([](const std::string& F) { fs::resize_file(F, fs::file_size(F) / 2); });
    expectUnreadable([](const std::string& F) { std::ofstream(F, std::ios::binary) << "not a picture"; });
    expectUnreadable([](const std::string& F) { // one pixel byte changed
        std::fstream f(F, std::ios::binary | std::ios::in | std::ios::out);
        f.seekp(static_cast<std::streamoff>(fs::file_size(F) - 3));
        f.put('\x5A');
    });
}

TEST(QStates, UndoAndRedoExchangePixels) {
    TDocument doc;
    const auto featureBefore = Clone(doc.Feature);
    const auto destBefore = Clone(doc.Dest);
    doc.Gesture(3);
    const auto featureAfter = Clone(doc.Feature);
    const auto destAfter = Clone(doc.Dest);
    TQState& step = *doc.History.GetState(0);
    EXPECT_EQ(step.Rect(), (TRect{3, 3, 15, 12}));
    EXPECT_EQ(step.FeatureCopy().Bitmap()->Width(), 12);
    EXPECT_EQ(step.GetMemSize(), 2 * (12 * 9 * 4 + 54));

    for (int round = 0; round < 2; ++round) {
        if (round == 1) doc.History.GetState(0)->Compress(); // swapped out in between
        doc.History.Undo(doc.Feature, doc.Dest);
        EXPECT_TRUE(SamePixels(doc.Feature, *featureBefore));
        EXPECT_TRUE(SamePixels(doc.Dest, *destBefore));
        EXPECT_EQ(step.DestCopy().Bitmap()->Pixel(0, 0), destAfter->Pixel(3, 3));
        EXPECT_FALSE(doc.History.CanUndo());
        EXPECT_TRUE(doc.History.CanRedo());
        doc.History.Redo(doc.Feature, doc.Dest);
        EXPECT_TRUE(SamePixels(doc.Feature, *featureAfter));
        EXPECT_TRUE(SamePixels(doc.Dest, *destAfter));
        EXPECT_EQ(step.DestCopy().Bitmap()->Pixel(0, 0), clWhite32);
    }
}

TEST(QStates, BottomAndTopRaiseAndLeaveTheHistoryAsItWas) {
    TDocument doc;
    try {
        doc.History.Undo(doc.Feature, doc.Dest);
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Imposible hacer undo, estamos al principio de la pila");
    }
    doc.Gesture(1);
    try {
        doc.History.Redo(doc.Feature, doc.Dest);
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Imposible hacer redo, estamos en el tope de la pila");
    }
    EXPECT_EQ(doc.History.Current(), 1);
    EXPECT_FALSE(doc.History.Busy());

    // A swap file lost behind our back: the undo fails clearly and moves nothing.
    doc.Gesture(2);
    const auto dest = Clone(doc.Dest);
    doc.History.GetState(1)->Compress();
    fs::remove(doc.History.GetState(1)->DestCopy().FileName());
    EXPECT_THROW(doc.History.Undo(doc.Feature, doc.Dest), Exception);
    EXPECT_EQ(doc.History.Current(), 2);
    EXPECT_TRUE(SamePixels(doc.Dest, *dest));
    EXPECT_FALSE(doc.History.Busy());
}

TEST(QStates, AddDiscardsUndoneStepsAndStrokeCountCountsAppliedOnes) {
    TDocument doc;
    for (int i = 0; i < 5; ++i)
        doc.Gesture(i, i + 1);
    EXPECT_EQ(doc.History.StrokeCount(), 15);
    const std::string log3 = doc.History.GetState(3)->Strokes()->FileName();
    doc.History.Undo(doc.Feature, doc.Dest);
    doc.History.Undo(doc.Feature, doc.Dest);
    EXPECT_EQ(doc.History.Count(), 3);
    EXPECT_EQ(doc.History.StrokeCount(), 6);
    doc.Gesture(9);
    EXPECT_EQ(doc.History.Length(), 4);
    EXPECT_EQ(doc.History.Current(), 4);
    EXPECT_FALSE(fs::exists(log3));
    EXPECT_EQ(doc.History.StrokeCount(), 7);
    while (doc.History.CanUndo())
        doc.History.Undo(doc.Feature, doc.Dest);
    EXPECT_EQ(doc.History.StrokeCount(), 0);
    EXPECT_EQ(doc.History.Count(), 0);
    EXPECT_THROW(doc.History.GetState(4), Exception);
    EXPECT_THROW(doc.History.SetCurrent(5), Exception);
}

TEST(QStates, CompactionSwapsOneOldStepPerCall) {
    TDocument doc;
    for (int i = 0; i < 3; ++i)
        doc.Gesture(i);
    doc.History.Compact();
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(doc.History.GetState(i)->IsCompressed());
    for (int i = 3; i < 6; ++i)
        doc.Gesture(i);
    const int64_t full = doc.History.GetMemSize();
    const int64_t one = doc.History.GetState(0)->GetMemSize();

    auto compressed = [&] {
        std::string s;
        for (int i = 0; i < doc.History.Length(); ++i)
            s += doc.History.GetState(i)->IsCompressed() ? '1' : '0';
        return s;
    };
    doc.History.Compact();
    EXPECT_EQ(compressed(), "100000");
    EXPECT_EQ(doc.History.GetMemSize(), full - one);
    doc.History.Compact();
    doc.History.Compact();
    doc.History.Compact();
    EXPECT_EQ(compressed(), "111000");

    // Undo back to one applied step: steps 2 and 1 come back into memory; with current 1
    // steps 0 and 1 are candidates, and the undone steps three or more above it, newest first.
    for (int i = 0; i < 5; ++i)
        doc.History.Undo(doc.Feature, doc.Dest);
    EXPECT_EQ(compressed(), "100000");
    doc.History.Compact();
    EXPECT_EQ(compressed(), "110000");
    doc.History.Compact();
    EXPECT_EQ(compressed(), "110001");
    for (int i = 0; i < 3; ++i)
        doc.History.Compact();
    EXPECT_EQ(compressed(), "110011");
    doc.History.Undo(doc.Feature, doc.Dest);
    EXPECT_EQ(compressed(), "010011");
    doc.History.Compact();
    EXPECT_EQ(compressed(), "110011");
}

TEST(QStates, FinishAbortsSilentlyOnNothingDrawn) {
    TDocument doc;
    TQState step(doc.Feature, doc.Dest, TStepCopies::Whole);
    EXPECT_THROW(step.Finish(TRect{INT_MAX, INT_MAX, INT_MIN, INT_MIN}), EAbort);
    EXPECT_THROW(step.Finish(TRect{5, 5, 5, 9}), EAbort);
    EXPECT_THROW(step.Finish(TRect{5, 5, 9, 5}), EAbort);
    EXPECT_THROW(step.Finish(TRect{50, 5, 60, 9}), EAbort); // outside the picture
    EXPECT_FALSE(step.Finished());
    step.Finish(TRect{-4, 20, 10, 45}); // cut to the picture
    EXPECT_EQ(step.Rect(), (TRect{0, 20, 10, 30}));
    EXPECT_EQ(step.DestCopy().Bitmap()->Height(), 10);
    EXPECT_THROW(step.Finish(TRect{0, 0, 5, 5}), EAbort);
    EXPECT_EQ(step.Rect(), (TRect{0, 20, 10, 30})); // still the rectangle of its copies
}

TEST(QStates, DropLastHandsTheStepBackWithoutTouchingPixels) {
    TDocument doc;
    doc.Gesture(1);
    doc.Gesture(2);
    const auto dest = Clone(doc.Dest);
    TQState* second = doc.History.GetState(1);
    std::unique_ptr<TQState> dropped = doc.History.DropLast();
    EXPECT_EQ(dropped.get(), second);
    EXPECT_EQ(doc.History.Length(), 1);
    EXPECT_EQ(doc.History.Current(), 1);
    EXPECT_TRUE(SamePixels(doc.Dest, *dest));
    doc.History.DropLast();
    EXPECT_EQ(doc.History.DropLast(), nullptr);
    EXPECT_EQ(doc.History.Length(), 0);
}

TEST(QStates, DestroyingTheHistoryLeavesNoFiles) {
    const int before = TempFileCount();
    {
        TDocument doc;
        for (int i = 0; i < 8; ++i) {
            doc.Gesture(i, 3);
            doc.History.Compact();
        }
        doc.History.Undo(doc.Feature, doc.Dest);
        EXPECT_GT(TempFileCount(), before);
    }
    EXPECT_EQ(TempFileCount(), before);
}

namespace {
// A document whose history copies each tile before its first change, beside one that copies
// whole pictures: the same gestures must give the same pixels and rectangles.
struct TTwinDocuments {
    TDocument Whole;
    TDocument Tiled;

    // Paints a few rectangles into both drawings (a tiled step is told before each one) and
    // finishes the steps to the rectangle of what was painted.
    void Gesture(TRect Area) {
        auto whole = std::make_unique<TQState>(Whole.Feature, Whole.Dest, TStepCopies::Whole);
        auto tiled = std::make_unique<TQState>(Tiled.Feature, Tiled.Dest, TStepCopies::OnChange);
        TRect dirty{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
        for (int k = Random(4); k >= 0; --k) {
            const int x = Area.Left + Random(Area.Width()), y = Area.Top + Random(Area.Height());
            const TRect r{x, y, x + 1 + Random(90), y + 1 + Random(70)};
            const TColor32 c = 0xFF000000u | static_cast<TColor32>(Random(0x1000000));
            tiled->DestChanging(Tiled.Dest, r);
            Whole.Dest.FillRectS(r, c);
            Tiled.Dest.FillRectS(r, c);
            dirty = TRect{std::min(dirty.Left, x), std::min(dirty.Top, y), std::max(dirty.Right, r.Right),
                          std::max(dirty.Bottom, r.Bottom)};
        }
        try {
            whole->Finish(dirty);
        } catch (const EAbort&) {
            EXPECT_THROW(tiled->Finish(dirty), EAbort);
            return;
        }
        tiled->Finish(dirty);
        EXPECT_EQ(tiled->Rect(), whole->Rect());
        Whole.History.Add(std::move(whole));
        Tiled.History.Add(std::move(tiled));
    }

    void ExpectSame(const std::string& After) {
        ASSERT_TRUE(SamePixels(Whole.Dest, Tiled.Dest)) << After;
        ASSERT_TRUE(SamePixels(Whole.Feature, Tiled.Feature)) << After;
        ASSERT_EQ(Whole.History.Current(), Tiled.History.Current()) << After;
    }
};
} // namespace

TEST(QStates, CopiesOnChangeGiveTheSamePixelsAsWholeCopies) {
    // Eight bands of tiles, cut at both edges, shared among four threads.
    const TFourThreads threads;
    TTwinDocuments twins;
    twins.Tiled.Dest.SetSize(200, 450);
    twins.Whole.Dest.SetSize(200, 450);
    twins.Tiled.Feature.SetSize(200, 450);
    twins.Whole.Feature.SetSize(200, 450);
    Noise(twins.Whole.Dest, 9);
    Noise(twins.Tiled.Dest, 9);
    RandSeed = 77;
    for (int op = 0; op < 300; ++op) {
        const int what = Random(10);
        std::string name = "operation " + std::to_string(op) + " (" + std::to_string(what) + ")";
        if (what < 4) {
            twins.Gesture(TRect{-20, -20, 200, 450});
        } else if (what < 6 && twins.Whole.History.CanUndo()) {
            twins.Whole.History.Undo(twins.Whole.Feature, twins.Whole.Dest);
            twins.Tiled.History.Undo(twins.Tiled.Feature, twins.Tiled.Dest);
        } else if (what < 8 && twins.Whole.History.CanRedo()) {
            twins.Whole.History.Redo(twins.Whole.Feature, twins.Whole.Dest);
            twins.Tiled.History.Redo(twins.Tiled.Feature, twins.Tiled.Dest);
        } else if (what == 8) {
            twins.Whole.History.Compact();
            twins.Tiled.History.Compact();
            twins.Whole.History.WaitForSwapOuts();
            twins.Tiled.History.WaitForSwapOuts();
        } else if (twins.Whole.History.Length() > 0) {
            const int i = Random(twins.Whole.History.Length());
            twins.Whole.History.GetState(i)->Compress();
            twins.Tiled.History.GetState(i)->Compress();
        }
        ASSERT_NO_FATAL_FAILURE(twins.ExpectSame(name));
    }
}

TEST(QStates, UndoOfCopiesOnChangeTakesBackAllTheGesturePainted) {
    // A stroke that leaves the picture paints past its step's rectangle (the rectangle holds the
    // outline's points within the picture only): the tiles take that back too.
    TDocument doc;
    const auto before = Clone(doc.Dest);
    auto step = std::make_unique<TQState>(doc.Feature, doc.Dest, TStepCopies::OnChange);
    const TRect painted{0, 4, 30, 20};
    step->DestChanging(doc.Dest, painted);
    doc.Dest.FillRectS(painted, clBlack32);
    step->Finish(TRect{6, 4, 30, 20});
    doc.History.Add(std::move(step));
    const auto after = Clone(doc.Dest);
    for (int round = 0; round < 2; ++round) {
        if (round == 1) doc.History.GetState(0)->Compress();
        doc.History.Undo(doc.Feature, doc.Dest);
        EXPECT_TRUE(SamePixels(doc.Dest, *before));
        doc.History.Redo(doc.Feature, doc.Dest);
        EXPECT_TRUE(SamePixels(doc.Dest, *after));
    }
}

TEST(QStates, ASwapOutUnderWayLeavesTheStepUsable) {
    // Undo and redo while the idle swap-outs write: whatever each one finds (a step queued,
    // being written, written but not yet taken, or out), the pixels are those of the step.
    TDocument doc;
    std::vector<std::unique_ptr<TBitmap32>> states;
    states.push_back(Clone(doc.Dest));
    for (int i = 0; i < 8; ++i) {
        doc.Gesture(i);
        states.push_back(Clone(doc.Dest));
    }
    RandSeed = 5;
    for (int round = 0; round < 200; ++round) {
        doc.History.Compact();
        if (Random(2) == 0 && doc.History.CanUndo())
            doc.History.Undo(doc.Feature, doc.Dest);
        else if (doc.History.CanRedo())
            doc.History.Redo(doc.Feature, doc.Dest);
        ASSERT_TRUE(SamePixels(doc.Dest, *states[static_cast<size_t>(doc.History.Current())])) << round;
    }
    doc.History.WaitForSwapOuts();
}

TEST(QStates, ADamagedSwapFileOfTilesLeavesThePicturesAsTheyWere) {
    // Ten bands of tiles, read back by four threads at once.
    const TFourThreads threads;
    auto expectUnreadable = [&](const std::function<void(const std::string&)>& Damage) {
        TDocument doc;
        doc.Dest.SetSize(300, 600);
        doc.Feature.SetSize(300, 600);
        Noise(doc.Dest, 4);
        doc.TiledGesture(TRect{10, 10, 290, 590});
        const auto drawn = Clone(doc.Dest);
        doc.History.GetState(0)->Compress();
        Damage(doc.History.GetState(0)->DestCopy().FileName());
        try {
            doc.History.Undo(doc.Feature, doc.Dest);
            ADD_FAILURE() << "no Exception";
        } catch (const ESwapFileLost& e) {
            EXPECT_NE(e.Message().find("Cannot read the undo step swapped out to"), std::string::npos);
        }
        EXPECT_TRUE(SamePixels(doc.Dest, *drawn));
        EXPECT_EQ(doc.History.Current(), 1);
        EXPECT_FALSE(doc.History.CanUndo());
    };
    expectUnreadable([](const std::string& F) { fs::resize_file(F, fs::file_size(F) - 4); });
    // One pixel of the first tile or of the last: every tile is in place before the checksum
    // shows it.
    for (const bool first : {true, false})
        expectUnreadable([&](const std::string& F) {
            std::fstream f(F, std::ios::binary | std::ios::in | std::ios::out);
            f.seekp(static_cast<std::streamoff>(first ? 5 : fs::file_size(F) - 3));
            f.put('\x5A');
        });
}

namespace {
// Steps whose swap files are about twice FaultAt bytes, which lies 100,000 bytes past the
// temporary-file service's log however long the tests before made it: a write fault from FaultAt
// on strikes the swap files only.
struct TLargeDocument : TDocument {
    std::vector<std::unique_ptr<TBitmap32>> States; // the drawing after each step
    int64_t FaultAt = 0;

    explicit TLargeDocument(TStepCopies Copies, int Steps) {
        std::error_code ec;
        const auto log = fs::file_size(TempManager().LogPath(), ec);
        FaultAt = (ec ? 0 : static_cast<int64_t>(log)) + 100000;
        const int height = 40 + static_cast<int>(2 * FaultAt / (250 * 4));
        Feature.SetSize(300, height);
        Dest.SetSize(300, height);
        Noise(Dest, 2);
        States.push_back(Clone(Dest));
        for (int i = 0; i < Steps; ++i) {
            auto step = std::make_unique<TQState>(Feature, Dest, Copies);
            const TRect r{10 + i, 10 + i, 260, height - 20};
            step->DestChanging(Dest, r);
            Dest.FillRectS(r, 0xFF000000u + static_cast<TColor32>(i) * 0x030507u);
            step->Strokes()->Add({{1, 2}}, {{3, 4}}, clBlack32);
            step->Finish(r);
            History.Add(std::move(step));
            States.push_back(Clone(Dest));
        }
    }
    bool ShowsCurrentStep() const {
        return SamePixels(Dest, *States[static_cast<size_t>(History.Current())]);
    }
};
} // namespace

TEST(QStates, AFailedSwapOutKeepsTheStepInMemoryAndIsNotTriedAgainAtOnce) {
    TLargeDocument doc(TStepCopies::OnChange, 6); // steps 0 to 2 have three newer ones
    {
        TWriteFaultScope fault(TFaultPoint::fpClose, doc.FaultAt, ENOSPC);
        for (int i = 0; i < 6; ++i) {
            doc.History.Compact();
            doc.History.WaitForSwapOuts();
        }
        EXPECT_EQ(fault.Hits(), 3); // each step once, then no more
        for (int i = 0; i < 3; ++i) {
            const TCompressedBitmap& copy = doc.History.GetState(i)->DestCopy();
            EXPECT_FALSE(copy.Compressed());
            EXPECT_GE(copy.GetMemSize(), (250 - i) * (doc.Dest.Height() - 30 - i) * 4); // its tiles
            EXPECT_TRUE(copy.FileName().empty());
        }
        EXPECT_NE(doc.History.GetState(0)->DestCopy().SwapError().find(": No space left on device"),
                  std::string::npos);
        // The walk down sends the farthest undone step out, which fails as well.
        while (doc.History.CanUndo()) {
            doc.History.Undo(doc.Feature, doc.Dest);
            ASSERT_TRUE(doc.ShowsCurrentStep());
        }
        while (doc.History.CanRedo())
            doc.History.Redo(doc.Feature, doc.Dest);
        ASSERT_TRUE(doc.ShowsCurrentStep());
        doc.History.WaitForSwapOuts();
    }

    // Nothing is tried until another swap-out succeeds: a new step gives one.
    doc.History.Compact();
    doc.History.WaitForSwapOuts();
    EXPECT_FALSE(doc.History.GetState(0)->IsCompressed());
    const TRect whole = doc.Dest.BoundsRect();
    doc.TiledGesture(whole);
    doc.History.Compact(); // step 3, the first one tried
    doc.History.WaitForSwapOuts();
    EXPECT_TRUE(doc.History.GetState(3)->IsCompressed());
    doc.History.Compact(); // then step 0 again
    doc.History.WaitForSwapOuts();
    EXPECT_TRUE(doc.History.GetState(0)->IsCompressed());

    // After the retry delay (a minute; none here) a failed step is tried at the next idle moment.
    doc.History.SetSwapRetryDelay(std::chrono::milliseconds(0));
    TWriteFaultScope fault(TFaultPoint::fpWrite, doc.FaultAt, ENOSPC);
    doc.History.Compact();
    doc.History.WaitForSwapOuts();
    doc.History.Compact();
    doc.History.WaitForSwapOuts();
    EXPECT_EQ(fault.Hits(), 2);
    EXPECT_FALSE(doc.History.GetState(1)->IsCompressed());
}

TEST(QStates, ASwapOutThatCannotBeWrittenWholeRaisesAndLeavesNoFile) {
    for (TStepCopies copies : {TStepCopies::Whole, TStepCopies::OnChange}) {
        TLargeDocument doc(copies, 1);
        for (TFaultPoint point : {TFaultPoint::fpWrite, TFaultPoint::fpClose}) {
            const int files = TempFileCount();
            TWriteFaultScope fault(point, doc.FaultAt, ENOSPC);
            try {
                doc.History.GetState(0)->Compress();
                ADD_FAILURE() << "no Exception";
            } catch (const Exception& e) {
                EXPECT_EQ(e.Message().rfind("Cannot swap an undo step out to \"", 0), 0u) << e.Message();
                EXPECT_NE(e.Message().find(": No space left on device"), std::string::npos) << e.Message();
            }
            EXPECT_FALSE(doc.History.GetState(0)->IsCompressed());
            EXPECT_LE(TempFileCount(), files); // the file that was not whole is gone
        }
        doc.History.Undo(doc.Feature, doc.Dest);
        EXPECT_TRUE(doc.ShowsCurrentStep());
    }
}

TEST(QStates, ASwapOutThatGetsNoTemporaryNameSaysWhyAndKeepsTheStep) {
    TLargeDocument doc(TStepCopies::OnChange, 1);
    TTestFolder folder;
    TScopedEnv tmp("TMPDIR", folder.Path());
    TWriteFaultScope full(TFaultPoint::fpCreate, 0, ENOSPC, folder.Path());
    try {
        doc.History.GetState(0)->Compress();
        ADD_FAILURE() << "no Exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Cannot swap an undo step out. Cannot create a temporary file in \"" +
                                   folder.Path() + "\". No space left on device");
    }
    EXPECT_FALSE(doc.History.GetState(0)->IsCompressed());
}

TEST(QStates, ALostSwapFileEndsUndoThereAndKeepsTheDrawingItsStrokesAndTheRedoSteps) {
    TLargeDocument doc(TStepCopies::OnChange, 6);
    doc.History.Undo(doc.Feature, doc.Dest);
    doc.History.Undo(doc.Feature, doc.Dest);
    for (int i = 0; i < 6; ++i)
        doc.History.GetState(i)->Compress();
    const std::string older = doc.History.GetState(1)->DestCopy().FileName();
    fs::remove(doc.History.GetState(2)->DestCopy().FileName());
    doc.History.Undo(doc.Feature, doc.Dest);
    try {
        doc.History.Undo(doc.Feature, doc.Dest);
        ADD_FAILURE() << "no Exception";
    } catch (const ESwapFileLost& e) {
        EXPECT_EQ(e.Message().rfind("Cannot read the undo step swapped out to \"", 0), 0u) << e.Message();
    }
    // Steps 0 to 2 can no longer be taken back: Undo is off, and they give back their memory and
    // files but keep their strokes, which the drawing shows.
    EXPECT_FALSE(doc.History.CanUndo());
    EXPECT_EQ(doc.History.Current(), 3);
    EXPECT_TRUE(doc.ShowsCurrentStep());
    EXPECT_EQ(doc.History.StrokeCount(), 3);
    EXPECT_FALSE(fs::exists(older));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(doc.History.GetState(i)->GetMemSize(), 0);
    try {
        doc.History.Undo(doc.Feature, doc.Dest);
        ADD_FAILURE() << "no Exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Imposible hacer undo, estamos al principio de la pila");
    }

    // The redo steps stay, and so does the undo back to where the loss stopped it.
    while (doc.History.CanRedo()) {
        doc.History.Redo(doc.Feature, doc.Dest);
        ASSERT_TRUE(doc.ShowsCurrentStep());
    }
    while (doc.History.CanUndo()) {
        doc.History.Undo(doc.Feature, doc.Dest);
        ASSERT_TRUE(doc.ShowsCurrentStep());
    }
    EXPECT_EQ(doc.History.Current(), 3);

    // A lost redo step goes with the newer ones.
    doc.History.GetState(4)->Compress();
    fs::remove(doc.History.GetState(4)->DestCopy().FileName());
    doc.History.Redo(doc.Feature, doc.Dest);
    EXPECT_THROW(doc.History.Redo(doc.Feature, doc.Dest), ESwapFileLost);
    EXPECT_FALSE(doc.History.CanRedo());
    EXPECT_EQ(doc.History.Length(), 4);
    EXPECT_TRUE(doc.ShowsCurrentStep());
    EXPECT_TRUE(doc.History.CanUndo());
}

TEST(QStates, AStepReadBackFromDiskHoldsTheMemoryOfItsTilesOnly) {
    // One tile, and 70 tiles (more than a block holds): read back, each step holds what it held
    // before it went out, and that is about the bytes of its tiles.
    TDocument doc;
    doc.Feature.SetSize(640, 480);
    doc.Dest.SetSize(640, 480);
    Noise(doc.Dest, 6);
    const int64_t tileBytes = 64 * 64 * 4;
    for (const auto& [area, tiles] :
         {std::pair{TRect{5, 5, 20, 20}, 1}, std::pair{TRect{0, 0, 640, 448}, 70}}) {
        doc.TiledGesture(area);
        TQState& added = *doc.History.GetState(doc.History.Length() - 1);
        const int64_t held = added.GetMemSize();
        EXPECT_GE(held, tiles * tileBytes);
        EXPECT_LT(held, tiles * tileBytes + 3 * 4096);
        added.Compress();
        EXPECT_LT(added.GetMemSize(), 4096);
        doc.History.Undo(doc.Feature, doc.Dest);
        EXPECT_EQ(added.GetMemSize(), held);
        doc.History.Redo(doc.Feature, doc.Dest);
    }
}

TEST(QStates, TheMemoryMappedWhileIdleServesTheWholeReadBack) {
    // Tiles cut at the picture's edges fill the blocks of a read-back unevenly: the blocks mapped
    // while the window idles still take them all, and the undo maps no memory of its own.
    TDocument doc;
    doc.Feature.SetSize(1000, 700);
    doc.Dest.SetSize(1000, 700);
    Noise(doc.Dest, 8);
    doc.TiledGesture(TRect{0, 0, 1000, 700});
    doc.History.GetState(0)->Compress();
    // Idle until the reserve stops growing.
    int64_t held = -1;
    for (int calm = 0; calm < 50;) {
        doc.History.Compact();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const int64_t now = doc.History.GetMemSize();
        calm = now == held ? calm + 1 : 0;
        held = now;
    }
    ASSERT_GE(held, 1000 * 700 * 4);
    const TPixelBlockFaultScope noMemory;
    doc.History.Undo(doc.Feature, doc.Dest);
    EXPECT_EQ(noMemory.Hits(), 0);
    EXPECT_EQ(doc.History.Current(), 0);
}

TEST(QStates, UndoneStepsBeyondTheNearestAreSwappedOutLikeTheOthers) {
    TLargeDocument doc(TStepCopies::OnChange, 8);
    // Taken before the undos, which already send the farthest undone steps out.
    const int64_t oneStep = doc.History.GetState(7)->GetMemSize();
    while (doc.History.CanUndo())
        doc.History.Undo(doc.Feature, doc.Dest);
    for (int i = 0; i < 10; ++i) {
        doc.History.Compact();
        doc.History.WaitForSwapOuts();
    }
    // Steps 1 and 2 are the nearest to redo; step 0, the next one, lies at the position and goes
    // as it always did.
    std::string compressed;
    for (int i = 0; i < doc.History.Length(); ++i)
        compressed += doc.History.GetState(i)->IsCompressed() ? '1' : '0';
    EXPECT_EQ(compressed, "10011111");
    int64_t held = 0;
    for (int i = 0; i < doc.History.Length(); ++i)
        held += doc.History.GetState(i)->GetMemSize();
    EXPECT_LT(held, 3 * oneStep);
    while (doc.History.CanRedo()) {
        doc.History.Redo(doc.Feature, doc.Dest);
        ASSERT_TRUE(doc.ShowsCurrentStep());
    }
}

TEST(QStates, WalkingTheHistoryWithoutIdleKeepsItsMemoryBounded) {
    // Whole-picture steps, drawn with an idle moment after each as the window draws them, then
    // walked down, up and back and forth with no idle moment at all.
    constexpr int Steps = 16;
    TLargeDocument doc(TStepCopies::OnChange, 0);
    const TRect whole = doc.Dest.BoundsRect();
    for (int i = 0; i < Steps; ++i) {
        doc.TiledGesture(whole, 0xFF000000u + static_cast<TColor32>(i) * 0x030507u);
        doc.States.push_back(Clone(doc.Dest));
        doc.History.Compact();
        doc.History.WaitForSwapOuts();
    }
    const int64_t oneStep = doc.History.GetState(Steps - 1)->GetMemSize();
    // The nearest steps on both sides and the spare ones, and the tables of the others.
    const int64_t bound =
        (2 * doc.History.KeepInMemory() + doc.History.SpareInMemory()) * oneStep + Steps * 4096;
    int64_t highest = 0;
    auto walk = [&](int To) {
        while (doc.History.Current() > To)
            doc.History.Undo(doc.Feature, doc.Dest);
        while (doc.History.Current() < To)
            doc.History.Redo(doc.Feature, doc.Dest);
        ASSERT_TRUE(doc.ShowsCurrentStep()) << To;
        highest = std::max(highest, doc.History.GetMemSize());
    };
    for (int to = Steps - 1; to >= 0; --to)
        walk(to);
    for (int to : {5, 2, 11, 7, Steps, 0, 9})
        walk(to);
    EXPECT_LE(highest, bound);
    EXPECT_GT(highest, 2 * oneStep); // the nearest stay

    // Whatever was sent out comes back as it was, and nothing is left behind.
    doc.History.WaitForSwapOuts();
    walk(Steps);
    walk(0);
    doc.History.WaitForSwapOuts();
    EXPECT_LE(doc.History.GetMemSize(), bound);
}

TEST(QStates, MemoryThatRunsOutLeavesTheStepInMemoryAndTheProgramRunning) {
    TLargeDocument doc(TStepCopies::OnChange, 1);
    doc.History.GetState(0)->Compress();
    {
        TPixelBlockFaultScope fault;
        // The idle moment asks the swap thread for the undo's memory in advance: it gets none.
        doc.History.Compact();
        for (int i = 0; i < 500 && fault.Hits() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_GT(fault.Hits(), 0);
        try {
            doc.History.Undo(doc.Feature, doc.Dest);
            ADD_FAILURE() << "no Exception";
        } catch (const ESwapFileLost& e) {
            ADD_FAILURE() << e.Message();
        } catch (const Exception& e) {
            EXPECT_NE(e.Message().find("Out of memory"), std::string::npos) << e.Message();
        }
        EXPECT_TRUE(doc.History.CanUndo());
        EXPECT_TRUE(doc.ShowsCurrentStep());
    }
    doc.History.Undo(doc.Feature, doc.Dest);
    EXPECT_TRUE(doc.ShowsCurrentStep());
}

TEST(QStates, AnAllocationThatFailsDuringAnUndoOrRedoLosesNoStep) {
    // Each allocation of an undo or redo from disk fails in turn, the first after the exchange
    // among them: the step is taken back whole or not at all, and every step can still be walked
    // pixel for pixel. One thread, so that every allocation is counted.
    if (!AllocationFaultsAvailable()) QUOR_ALLOWED_SKIP() << "this build keeps its own operator new";
    const TAnalysisThreads one(1);
    for (TStepCopies copies : {TStepCopies::OnChange, TStepCopies::Whole})
        for (const bool undo : {true, false}) {
            SCOPED_TRACE(undo ? "undo" : "redo");
            const int files = TempFileCount();
            bool hit = true;
            for (long n = 1; hit && n < 10000; ++n) {
                TLargeDocument doc(copies, 3);
                if (!undo) doc.History.Undo(doc.Feature, doc.Dest);
                for (int i = 0; i < 3; ++i)
                    doc.History.GetState(i)->Compress();
                const int current = doc.History.Current();
                bool raised = false;
                {
                    const TAllocationFaultScope fault(n);
                    try {
                        if (undo)
                            doc.History.Undo(doc.Feature, doc.Dest);
                        else
                            doc.History.Redo(doc.Feature, doc.Dest);
                    } catch (const std::exception&) {
                        raised = true;
                    }
                    hit = fault.Hit();
                }
                ASSERT_EQ(doc.History.Current(), raised ? current : current + (undo ? -1 : 1)) << n;
                ASSERT_TRUE(doc.ShowsCurrentStep()) << n;
                while (doc.History.CanUndo()) {
                    doc.History.Undo(doc.Feature, doc.Dest);
                    ASSERT_TRUE(doc.ShowsCurrentStep()) << n;
                }
                while (doc.History.CanRedo()) {
                    doc.History.Redo(doc.Feature, doc.Dest);
                    ASSERT_TRUE(doc.ShowsCurrentStep()) << n;
                }
                ASSERT_EQ(doc.History.Current(), 3) << n;
            }
            EXPECT_FALSE(hit); // every allocation was tried
            EXPECT_EQ(TempFileCount(), files);
        }
}

namespace {
int ThreadsOfThisProcess() {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/task"))
        ++n;
    return n;
}

std::string CompressedSteps(const TQStates& History) {
    std::string s;
    for (int i = 0; i < History.Length(); ++i)
        s += History.GetState(i)->IsCompressed() ? '1' : '0';
    return s;
}
} // namespace

TEST(QStates, UnderALimitOnThreadsTheIdleMomentsWriteTheStepsAndTheNextSwapOutTriesTheThreadAgain) {
    // In a child held to one process of its user no thread starts: each idle moment writes a step
    // on the calling thread, as a history without a thread does, and undo and redo still work.
    // Once the limit is lifted, the next swap-out goes to the thread.
    TempManager(); // made here, with its log, before the child runs as another user
    std::string folder = "/tmp/quor-nobody-XXXXXX"; // one the other user may write
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    fs::permissions(folder, fs::perms::all);
    const std::string outcome = AsAnotherUser([&] {
        rlimit limit{};
        getrlimit(RLIMIT_NPROC, &limit);
        const rlimit one{1, limit.rlim_max};
        if (setrlimit(RLIMIT_NPROC, &one) != 0) return std::string("no limit");
        setenv("TMPDIR", folder.c_str(), 1);
        SetAnalysisThreadCount(1);
        try {
            TLargeDocument doc(TStepCopies::OnChange, 8);
            const int64_t oneStep = doc.History.GetState(7)->GetMemSize();
            for (int i = 0; i < 8; ++i)
                doc.History.Compact();
            if (CompressedSteps(doc.History) != "11111000")
                return "swapped out at idle moments: " + CompressedSteps(doc.History);
            for (int i = 0; i < 5; ++i)
                if (doc.History.GetState(i)->GetMemSize() >= oneStep / 2)
                    return "step " + std::to_string(i) + " still holds its pixels";
            while (doc.History.CanUndo()) {
                doc.History.Undo(doc.Feature, doc.Dest);
                if (!doc.ShowsCurrentStep()) return "undo to " + std::to_string(doc.History.Current());
            }
            for (int i = 0; i < 10; ++i)
                doc.History.Compact();
            if (CompressedSteps(doc.History).substr(3) != "11111")
                return "undone steps swapped out: " + CompressedSteps(doc.History);
            while (doc.History.CanRedo()) {
                doc.History.Redo(doc.Feature, doc.Dest);
                if (!doc.ShowsCurrentStep()) return "redo to " + std::to_string(doc.History.Current());
            }
            doc.History.GetState(7)->Compress();
            if (!doc.History.GetState(7)->IsCompressed()) return std::string("Compress did not swap out");
            if (ThreadsOfThisProcess() != 1) return std::string("a thread started under the limit");

            setrlimit(RLIMIT_NPROC, &limit);
            doc.History.Compact();
            if (ThreadsOfThisProcess() != 2) return std::string("the swap thread was not tried again");
            doc.History.WaitForSwapOuts();
            if (!doc.History.GetState(0)->IsCompressed())
                return "on the thread: " + CompressedSteps(doc.History);
        } catch (const std::exception& e) {
            return std::string("raised: ") + e.what();
        }
        return std::string("ok");
    });
    fs::remove_all(folder);
    EXPECT_EQ(outcome, "ok");
}

TEST(QStates, ACompressThatRunsOutOfMemoryRaisesTheProgramsExceptionAndKeepsTheStep) {
    if (!AllocationFaultsAvailable()) QUOR_ALLOWED_SKIP() << "this build keeps its own operator new";
    TLargeDocument doc(TStepCopies::OnChange, 1);
    std::string message;
    {
        const TAllocationFaultScope fault(1);
        try {
            doc.History.GetState(0)->Compress();
        } catch (const Exception& e) {
            message = e.Message();
        } catch (const std::exception& e) {
            message = std::string("not the program's: ") + e.what();
        }
    }
    EXPECT_EQ(message, "Cannot swap an undo step out. Out of memory");
    EXPECT_FALSE(doc.History.GetState(0)->IsCompressed());
    doc.History.Undo(doc.Feature, doc.Dest);
    EXPECT_TRUE(doc.ShowsCurrentStep());
}
