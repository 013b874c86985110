// SPDX-License-Identifier: GPL-3.0-or-later
// The drawing: creation, settings, strokes at points and in sprays, the order of random draws,
// gestures and undo, bands, the guide grid, the overlay and the cursor, and the outputs.
#include "document/DualImage.h"

#include "document/CompressedBitmap.h"
#include "document/QStates.h"
#include "document/UTempManager.h"
#include "engine/Strokes.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/Image32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Random.h"
#include "platform/rtl/Streams.h"
#include "platform/system/BusyCursor.h"
#include "presets/Patterns.h"
#include "presets/PolyBezier.h"
#include "presets/PolyBezierLayer.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/StripesPhoto.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <vector>

namespace {
// A photo with soft gradients, hard edges and several hues, so that every part of the analysis
// has something to find.
void Photo(TBitmap32& B, int W, int H) {
    B.SetSize(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int dx = x - W / 2, dy = y - H / 3;
            const bool disc = dx * dx + dy * dy < (W / 4) * (W / 4);
            const uint8_t r = static_cast<uint8_t>(disc ? 200 : (x * 255) / W);
            const uint8_t g = static_cast<uint8_t>(disc ? 40 : ((x + y) / 8 % 2) * 120 + (y * 100) / H);
            const uint8_t b = static_cast<uint8_t>(disc ? 60 : 255 - (y * 255) / H);
            B.SetPixel(x, y, Color32(r, g, b));
        }
}

// The two views of a drawing as the loader prepares them.
struct TViews {
    TImgView32 Src;
    TImgView32 Dst;
    int SrcRepaints = 0;
    int DstRepaints = 0;
    TViews(int W, int H) {
        Photo(Src.Bitmap, W, H);
        Dst.Bitmap.SetSize(W, H);
        Dst.Bitmap.Clear(clWhite32);
        Src.SetViewportSize(W / 2, H / 2);
        Dst.SetViewportSize(W / 2, H / 2);
        Src.OnRepaintRequest = [this](bool) { ++SrcRepaints; };
        Dst.OnRepaintRequest = [this](bool) { ++DstRepaints; };
    }
};

struct TDocument {
    TViews Views;
    TDualImage Doc;
    int Changes = 0;
    explicit TDocument(int W = 160, int H = 120)
        : Views(W, H), Doc(&Views.Src, &Views.Dst, 1.0f, nullptr, nullptr, nullptr) {
        Doc.SetOnChange([this](void* Sender) {
            EXPECT_EQ(Sender, &Doc);
            ++Changes;
        });
    }
};

std::vector<uint8_t> Bytes(const TBitmap32& B) {
    const auto* p = reinterpret_cast<const uint8_t*>(B.Bits());
    return {p, p + static_cast<size_t>(B.Width()) * B.Height() * 4};
}

// Every stroke of the applied steps as logged.
std::vector<TStrokeOutline> Logged(const TDualImage& Doc) {
    std::vector<TStrokeOutline> all;
    const TQStates& h = Doc.History();
    for (int i = 0; i < h.Count(); ++i) {
        TStrokes* log = h.GetState(i)->Strokes();
        log->StartRead();
        TStrokeOutline s;
        while (log->Read(s))
            all.push_back(s);
    }
    return all;
}

bool SameStrokes(const std::vector<TStrokeOutline>& A, const std::vector<TStrokeOutline>& B) {
    if (A.size() != B.size()) return false;
    for (size_t i = 0; i < A.size(); ++i)
        if (A[i].Color != B[i].Color || A[i].Left != B[i].Left || A[i].Right != B[i].Right) return false;
    return true;
}

// The seed after N more draws.
uint32_t Advanced(uint32_t Seed, int N) {
    const uint32_t saved = RandSeed;
    RandSeed = Seed;
    for (int i = 0; i < N; ++i)
        Random(1);
    const uint32_t result = RandSeed;
    RandSeed = saved;
    return result;
}

// A pattern of two frames of two curves each, for the Pattern tool.
std::unique_ptr<TPatternManager> TwoFramePattern() {
    auto manager = std::make_unique<TPatternManager>();
    manager->Patterns.clear();
    auto pattern = std::make_unique<TPattern>();
    for (int f = 0; f < 2; ++f) {
        auto frame = std::make_unique<TPatternFrame>();
        frame->AddCurve(TBezierCurve{{0, 0}, {30, 10}, {60, -10}, {100, 5 * f}});
        frame->AddCurve(TBezierCurve{{0, 0}, {-20, 30}, {-30, 60}, {-10, 100}});
        pattern->AddPatternFrame(std::move(frame));
    }
    manager->Patterns.push_back(std::move(pattern));
    manager->SetIndex(0);
    return manager;
}
} // namespace

TEST(DualImageTest, CreationAnalysesThePhotoWithNilSendersUnderTheBusyCursor) {
    TViews views(120, 100);
    std::vector<std::string> events;
    std::vector<bool> cursor;
    SetBusyCursorHook([&](bool Busy) { cursor.push_back(Busy); });
    TDualImage doc(
        &views.Src, &views.Dst, 1.0f,
        [&](void* Sender, int P) {
            EXPECT_EQ(Sender, nullptr);
            events.push_back(std::to_string(P));
        },
        [&](void* Sender) {
            EXPECT_EQ(Sender, nullptr);
            events.push_back("start");
        },
        [&](void* Sender) {
            EXPECT_EQ(Sender, nullptr);
            events.push_back("end");
        });
    SetBusyCursorHook(nullptr);
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front(), "start");
    EXPECT_EQ(events[events.size() - 2], "100");
    EXPECT_EQ(events.back(), "end");
    EXPECT_EQ(cursor, (std::vector<bool>{true, false}));

    EXPECT_EQ(doc.Feature().Width(), 120);
    EXPECT_EQ(doc.Feature().Height(), 100);
    EXPECT_EQ(doc.ColorMode(), cmSampledColor);
    EXPECT_EQ(doc.Color(), 0xFF000000u);
    EXPECT_EQ(doc.BorderThreshold(), 240);
    EXPECT_EQ(doc.GetBrdLimit(), 212);
    EXPECT_FALSE(doc.Modified);
    EXPECT_EQ(doc.ActiveView(), &views.Src);
    // Curve layer, overlay and cursor on the source view, in that order.
    ASSERT_EQ(views.Src.Layers().Count(), 3);
    EXPECT_TRUE(doc.CurveLayer().IsLayer(views.Src.Layers().Items(0)));
    EXPECT_EQ(views.Src.Layers().Items(1), doc.OverlayLayer());
    EXPECT_EQ(views.Src.Layers().Items(2), doc.CursorLayer());
    EXPECT_FALSE(doc.OverlayLayer()->MouseEvents());
    EXPECT_TRUE(doc.OverlayLayer()->Scaled());
    EXPECT_EQ(doc.CursorLayer()->Location(), FloatRect(0, 0, 60, 50));
    EXPECT_EQ(views.Dst.Layers().Count(), 0);
}

TEST(DualImageTest, LayersLeaveTheViewsWithTheDrawing) {
    TViews views(120, 100);
    {
        TDualImage doc(&views.Src, &views.Dst, 1.0f, nullptr, nullptr, nullptr);
        doc.SetActiveView(&views.Dst);
        EXPECT_EQ(views.Dst.Layers().Count(), 2);
    }
    EXPECT_EQ(views.Src.Layers().Count(), 0);
    EXPECT_EQ(views.Dst.Layers().Count(), 0);
    views.Src.UpdateBuffer();
    views.Dst.UpdateBuffer();
}

TEST(DualImageTest, Settings) {
    TDocument d;
    TDualImage& doc = d.Doc;
    doc.SetBrdLimit(50);
    EXPECT_EQ(doc.BorderThreshold(), 30);
    EXPECT_EQ(doc.GetBrdLimit(), 50);
    doc.SetBrdLimit(1);
    EXPECT_EQ(doc.BorderThreshold(), 59);
    EXPECT_EQ(doc.GetBrdLimit(), 2);
    doc.SetBrdLimit(100);
    EXPECT_EQ(doc.BorderThreshold(), 0);
    doc.SetBrdLimit(99);
    EXPECT_EQ(doc.GetBrdLimit(), 98);

    const int repaints = d.Views.SrcRepaints;
    for (int v : {7, 501})
        doc.SetSize(v);
    EXPECT_EQ(doc.Size(), 50);
    EXPECT_EQ(d.Views.SrcRepaints, repaints);
    doc.SetSize(8);
    EXPECT_EQ(doc.Size(), 8);
    doc.SetSize(500);
    EXPECT_EQ(doc.Size(), 500);
    EXPECT_EQ(d.Views.SrcRepaints, repaints + 2);

    EXPECT_EQ(doc.AddPaletteColor(0xFF112233), 0);
    EXPECT_EQ(doc.AddPaletteColor(0xFF445566), 1);
    EXPECT_EQ(doc.GetPaletteColor(1), 0xFF445566u);
    try {
        doc.GetPaletteColor(2);
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "TDualImage.GetPaletteColor: Index out of bounds(2)");
    }
    doc.ClearPalette();
    EXPECT_EQ(doc.PaletteCount(), 0);
}

TEST(DualImageTest, EachStyleParameterLandsInItsOwnSetting) {
    TDocument d;
    TDualImage& doc = d.Doc;
    doc.SetStyleValue(spPrecision, 75.9); // whole numbers are cut toward zero
    doc.SetStyleValue(spLength, 161);
    doc.SetStyleValue(spGain, 4.2);
    doc.SetStyleValue(spWidth, 1.5);
    doc.SetStyleValue(spBorderLimit, 50);
    EXPECT_EQ(doc.PolyStep(), 75);
    EXPECT_EQ(doc.Length(), 161);
    EXPECT_EQ(doc.Gain(), 4.2f);
    EXPECT_EQ(doc.Width(), 1.5f);
    EXPECT_EQ(doc.BorderThreshold(), 30);
    const std::pair<TStyleParameter, double> shown[] = {
        {spPrecision, 75}, {spLength, 161}, {spGain, double{4.2f}}, {spWidth, 1.5}, {spBorderLimit, 50}};
    for (const auto& [p, value] : shown)
        EXPECT_EQ(doc.StyleValue(p), value) << int{p};
}

TEST(DualImageTest, NewDrawingSpraysNothingYetIsModified) {
    TDocument d;
    const auto before = Bytes(d.Views.Dst.Bitmap);
    RandSeed = 5;
    d.Doc.BeginChange();
    d.Doc.SprayAt(80, 60);
    d.Doc.StrokeAt(-1, 0);
    d.Doc.EndChange();
    EXPECT_TRUE(d.Doc.Modified);
    EXPECT_EQ(Bytes(d.Views.Dst.Bitmap), before);
    EXPECT_EQ(d.Doc.History().Length(), 0);
    EXPECT_EQ(d.Changes, 0);
    EXPECT_EQ(d.Doc.CurrentStep(), nullptr);
    // Points that fail the start test draw only their angle and radius.
    EXPECT_EQ(RandSeed, Advanced(5, 2 * StrokeCountFor(100, 50)));
    EXPECT_EQ(d.Doc.DabCenter(), Point(80, 60));
}

TEST(DualImageTest, RandomDrawsPerStrokeFollowTheStartTest) {
    TDocument d(200, 160);
    TDualImage& doc = d.Doc;
    doc.SetBrdLimit(100); // every pixel passes
    doc.SetSize(8);
    doc.SetLength(30);
    doc.SetDensity(5);
    const int n = StrokeCountFor(30, 5);
    doc.SetAutoMode(true);
    doc.BeginChange();
    // Angle, radius, flip, length jitter.
    RandSeed = 11;
    doc.SprayAt(100, 80);
    EXPECT_EQ(RandSeed, Advanced(11, 4 * n));
    // Colour mode 2: the palette pick follows; an empty palette draws nothing.
    doc.SetColorMode(cmPaletteInk);
    RandSeed = 12;
    doc.SprayAt(100, 80);
    EXPECT_EQ(RandSeed, Advanced(12, 4 * n));
    doc.AddPaletteColor(0xFFFF0000);
    RandSeed = 13;
    doc.SprayAt(100, 80);
    EXPECT_EQ(RandSeed, Advanced(13, 5 * n));
    // Pattern strokes add the frame and the curve picks.
    auto patterns = TwoFramePattern();
    doc.PatternManager = patterns.get();
    doc.SetAutoMode(false);
    RandSeed = 14;
    doc.SprayAt(100, 80);
    EXPECT_EQ(RandSeed, Advanced(14, 7 * n));
    // Without a pattern to follow nothing is drawn, and only the start point is drawn at random.
    doc.PatternManager = nullptr;
    RandSeed = 15;
    doc.SprayAt(100, 80);
    EXPECT_EQ(RandSeed, Advanced(15, 2 * n));
    doc.EndChange();
}

TEST(DualImageTest, PalettePickIsTheDrawAfterTheLengthJitter) {
    TDocument d(200, 160);
    TDualImage& doc = d.Doc;
    doc.SetBrdLimit(100);
    doc.SetAutoMode(true);
    doc.SetColorMode(cmPaletteInk);
    // Pure hues, so that the stroke's colour tells which ink it took.
    const TColor32 inks[3] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF};
    for (TColor32 c : inks)
        doc.AddPaletteColor(c);
    doc.SetLength(20);
    doc.SetDensity(0); // 20 strokes per dab; the first one is looked at
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        RandSeed = Advanced(seed, 4);
        const int pick = Random(3);
        doc.BeginChange();
        RandSeed = seed;
        doc.SprayAt(100, 80);
        doc.EndChange();
        const TStrokes* log = doc.History().GetState(doc.History().Count() - 1)->Strokes();
        ASSERT_EQ(log->Count(), 20);
        const auto strokes = Logged(doc);
        const TColor32 c = strokes[strokes.size() - 20].Color;
        const uint8_t channel[3] = {RedComponent(c), GreenComponent(c), BlueComponent(c)};
        const int strongest = static_cast<int>(std::max_element(channel, channel + 3) - channel);
        EXPECT_EQ(strongest, pick) << "seed " << seed << " colour " << std::hex << c;
    }
}

TEST(DualImageTest, SameSeedAndGesturesGiveTheSameDrawing) {
    auto draw = [](TDocument& d) {
        TDualImage& doc = d.Doc;
        auto patterns = TwoFramePattern();
        doc.PatternManager = patterns.get();
        doc.SetBrdLimit(90);
        RandSeed = 2024;
        doc.SetAutoMode(true);
        doc.BeginChange();
        for (int i = 0; i < 5; ++i)
            doc.SprayAt(60 + 15 * i, 50 + 5 * i);
        doc.EndChange();
        doc.SetAutoMode(false);
        doc.SetColorMode(cmPaletteInk);
        doc.AddPaletteColor(0xFF2040A0);
        doc.AddPaletteColor(0xFFA04020);
        doc.BeginChange();
        doc.SprayAt(100, 60);
        doc.SprayAt(110, 70);
        doc.EndChange();
        doc.SetColorMode(cmFixedInk);
        doc.SetColor(0xFF008000);
        doc.BeginChange();
        auto shape = std::make_unique<TPolyBezier>(Point(20, 100));
        shape->AddBezier(Point(60, 60), Point(120, 120), Point(180, 30));
        doc.CurveLayer().Add(std::move(shape));
        doc.StrokesAlongCurves();
        doc.EndChange();
        doc.PatternManager = nullptr;
    };
    TDocument a(200, 150), b(200, 150);
    draw(a);
    draw(b);
    EXPECT_EQ(a.Doc.History().Count(), 3);
    EXPECT_GT(a.Doc.StrokeCount(), 100);
    EXPECT_EQ(a.Doc.StrokeCount(), b.Doc.StrokeCount());
    EXPECT_TRUE(Bytes(a.Views.Dst.Bitmap) == Bytes(b.Views.Dst.Bitmap));
    EXPECT_TRUE(SameStrokes(Logged(a.Doc), Logged(b.Doc)));
    EXPECT_NE(Bytes(a.Views.Dst.Bitmap), std::vector<uint8_t>(200 * 150 * 4, 0xFF));
}

TEST(DualImageTest, PatternStrokesDoNotDependOnThePatternsThumbnail) {
    // A pattern drawn low and right in the editor, whose thumbnail is drawn before the spray, as
    // the main window does. The strokes are the ones this pattern has always given.
    TDocument d(200, 150);
    TDualImage& doc = d.Doc;
    auto patterns = TwoFramePattern();
    for (auto& frame : patterns->Current().Frames)
        for (TBezierCurve& c : frame->Curves)
            for (TPoint* p : {&c.P0, &c.C1, &c.C2, &c.P3})
                *p = Point(p->X + 90, p->Y + 120);
    TBitmap32 target(80, 80);
    patterns->Current().SetTarget(&target);
    patterns->Current().Thumbnail(40, 40);
    patterns->Current().SetTarget(nullptr);
    doc.PatternManager = patterns.get();
    doc.SetBrdLimit(90);
    RandSeed = 77;
    doc.BeginChange();
    doc.SprayAt(100, 60);
    doc.SprayAt(120, 90);
    doc.EndChange();
    doc.PatternManager = nullptr;
    // FNV-1a over every logged point and colour.
    uint64_t hash = 14695981039346656037ull;
    const auto add = [&](uint32_t V) {
        for (int i = 0; i < 4; ++i)
            hash = (hash ^ ((V >> (8 * i)) & 0xFF)) * 1099511628211ull;
    };
    const auto strokes = Logged(doc);
    for (const TStrokeOutline& s : strokes) {
        add(s.Color);
        for (const auto* side : {&s.Left, &s.Right})
            for (const TFixedPoint& p : *side) {
                add(static_cast<uint32_t>(p.X));
                add(static_cast<uint32_t>(p.Y));
            }
    }
    EXPECT_EQ(strokes.size(), 131u);
    EXPECT_EQ(hash, 8038974177834956126ull);
}

TEST(DualImageTest, GesturesNestAndBecomeUndoSteps) {
    TDocument d;
    TDualImage& doc = d.Doc;
    doc.SetBrdLimit(100);
    doc.SetAutoMode(true);
    const auto blank = Bytes(d.Views.Dst.Bitmap);
    const auto feature = Bytes(doc.Feature());

    doc.EndChange(); // nothing open: nothing happens
    doc.BeginChange();
    doc.BeginChange();
    doc.StrokeAt(80, 60);
    doc.EndChange();
    EXPECT_EQ(doc.ChangeNesting(), 1);
    EXPECT_NE(doc.CurrentStep(), nullptr);
    EXPECT_EQ(doc.History().Length(), 0);
    doc.EndChange();
    EXPECT_EQ(doc.History().Length(), 1);
    EXPECT_EQ(d.Changes, 1);
    EXPECT_EQ(doc.StrokeCount(), 1);
    const auto drawn = Bytes(d.Views.Dst.Bitmap);
    EXPECT_NE(drawn, blank);

    const int repaints = d.Views.DstRepaints;
    doc.Undo();
    EXPECT_EQ(Bytes(d.Views.Dst.Bitmap), blank);
    EXPECT_EQ(Bytes(doc.Feature()), feature);
    EXPECT_EQ(doc.StrokeCount(), 0);
    EXPECT_EQ(d.Changes, 2);
    EXPECT_GT(d.Views.DstRepaints, repaints);
    try {
        doc.Undo();
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Imposible hacer undo, estamos al principio de la pila");
    }
    EXPECT_EQ(d.Changes, 2);
    doc.Redo();
    EXPECT_EQ(Bytes(d.Views.Dst.Bitmap), drawn);
    EXPECT_EQ(d.Changes, 3);
    EXPECT_THROW(doc.Redo(), Exception);
    EXPECT_FALSE(doc.CanRedo());
    EXPECT_TRUE(doc.CanUndo());
    EXPECT_FALSE(doc.UndoMemoryText().empty());

    // In the middle of a gesture undo waits: the open step would no longer match the pictures.
    doc.BeginChange();
    EXPECT_THROW(doc.Undo(), EAbort);
    EXPECT_EQ(Bytes(d.Views.Dst.Bitmap), drawn);
    doc.EndChange();
    doc.Undo();
    EXPECT_EQ(Bytes(d.Views.Dst.Bitmap), blank);
}

TEST(DualImageTest, AnUndoThatFindsItsSwapFileGoneSaysSoOnceAndTurnsUndoOff) {
    TDocument d;
    TDualImage& doc = d.Doc;
    doc.SetBrdLimit(100);
    doc.SetAutoMode(true);
    for (int g = 0; g < 2; ++g) {
        doc.BeginChange();
        doc.SprayAt(50 + 60 * g, 60);
        doc.EndChange();
    }
    doc.History().GetState(0)->Compress();
    std::filesystem::remove(doc.History().GetState(0)->DestCopy().FileName());
    doc.Undo();
    const auto drawn = Bytes(d.Views.Dst.Bitmap);
    const int changes = d.Changes;
    try {
        doc.Undo();
        ADD_FAILURE() << "no Exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message().rfind("Cannot read the undo step swapped out to \"", 0), 0u) << e.Message();
    }
    // The window hears of it and turns Undo off; the drawing and the redo stay.
    EXPECT_EQ(d.Changes, changes + 1);
    EXPECT_FALSE(doc.CanUndo());
    EXPECT_EQ(Bytes(d.Views.Dst.Bitmap), drawn);
    EXPECT_TRUE(doc.CanRedo());
    doc.Redo();
}

// An idle moment makes the file of the drawing's stroke logs ahead of the first gesture; where the
// temporary folder takes no file it leaves nothing and is not tried at every idle moment again,
// only after a gesture. Once made, the file serves every later gesture: none asks for a name.
TEST(DualImageTest, TheStrokeLogsShareOneFileThatAnIdleMomentMakesOrTheFirstGesture) {
    TDocument d;
    TDualImage& doc = d.Doc;
    doc.SetBrdLimit(100);
    doc.SetAutoMode(true);
    auto logNames = [] {
        int n = 0;
        for (const std::string& name : TempManager().Names())
            n += name.size() > 3 && name.compare(name.size() - 3, 3, "tsk") == 0;
        return n;
    };
    const int before = logNames();
    TTestFolder folder;
    {
        TScopedEnv tmp("TMPDIR", folder.Path());
        TWriteFaultScope full(TFaultPoint::fpCreate, 0, ENOSPC, folder.Path());
        for (int i = 0; i < 20; ++i)
            doc.CompressIdle();
        EXPECT_EQ(full.Hits(), 1);
    }
    EXPECT_EQ(logNames(), before);
    doc.CompressIdle();
    EXPECT_EQ(logNames(), before);
    // The press makes the file and draws.
    doc.BeginChange();
    doc.StrokeAt(80, 60);
    doc.EndChange();
    EXPECT_EQ(doc.StrokeCount(), 1);
    EXPECT_EQ(logNames(), before + 1);
    for (int g = 0; g < 5; ++g) {
        doc.CompressIdle();
        doc.BeginChange();
        doc.StrokeAt(20 + 20 * g, 40);
        doc.EndChange();
    }
    EXPECT_EQ(logNames(), before + 1);
    const std::string file = doc.History().GetState(0)->Strokes()->FileName();
    for (int i = 0; i < doc.History().Length(); ++i)
        EXPECT_EQ(doc.History().GetState(i)->Strokes()->FileName(), file);
}

// A long session of drawing and undoing: each gesture after an undo discards the undone step, whose
// strokes die in the middle of the file the logs share. Once an idle moment has passed, the file
// holds no more disk than its live strokes and 128 KB, also where the file system punches no holes
// (the idle moments' compaction then gives it all back); every step reads the strokes it drew,
// and the re-render gives the drawing again.
TEST(DualImageTest, DrawingAndUndoingLeaveTheStrokeFileNoMoreDiskThanItsStrokes) {
    for (const bool holes : {true, false}) {
        SCOPED_TRACE(holes ? "holes" : "no holes");
        std::optional<TWriteFaultScope> noHoles;
        if (!holes) noHoles.emplace(TFaultPoint::fpPunchHole, 0, 0);
        TDocument d(320, 240);
        TDualImage& doc = d.Doc;
        doc.SetBrdLimit(100);
        doc.SetAutoMode(true);
        RandSeed = 12;
        TQStates& history = doc.History();
        std::vector<std::vector<TStrokeOutline>> drawn; // each step's strokes, read at once
        int64_t discarded = 0;
        auto gesture = [&] {
            for (int32_t i = history.Count(); i < history.Length(); ++i)
                discarded += history.GetState(i)->Strokes()->FileSize();
            // A dab where the photo has no edge leaves no step: the next is tried.
            const int32_t count = history.Count();
            while (history.Count() == count) {
                doc.BeginChange();
                doc.SprayAt(40 + Random(240), 40 + Random(160));
                doc.EndChange();
            }
            TStrokes& log = *history.GetState(count)->Strokes();
            drawn.resize(static_cast<size_t>(count));
            drawn.emplace_back();
            log.StartRead();
            for (TStrokeOutline s; log.Read(s);)
                drawn.back().push_back(s);
        };
        gesture();
        for (int round = 0; round < 60; ++round) {
            doc.Undo();
            gesture();
            gesture();
            doc.CompressIdle();
        }
        history.WaitForTasks();
        EXPECT_GT(discarded, 4 * (128 << 10)); // far more than the bound
        int64_t live = 0;
        for (int32_t i = 0; i < history.Length(); ++i)
            live += history.GetState(i)->Strokes()->FileSize();
        struct stat st {};
        ASSERT_EQ(stat(history.GetState(0)->Strokes()->FileName().c_str(), &st), 0);
        EXPECT_LE(st.st_blocks * 512, live + (128 << 10));
        std::vector<TStrokeOutline> all;
        for (const auto& step : drawn)
            all.insert(all.end(), step.begin(), step.end());
        EXPECT_TRUE(SameStrokes(Logged(doc), all));
        TBitmap32 target(320, 240);
        target.Clear(clWhite32);
        doc.RenderStrokes(target, 1.0f);
        EXPECT_TRUE(Bytes(target) == Bytes(d.Views.Dst.Bitmap));
    }
}

// A temporary folder never made, or removed during the session with every file in it, is made
// again: each gesture draws, and its step is kept, swapped out and read back.
TEST(DualImageTest, GesturesDrawAndKeepTheirStepsWhenTheTemporaryFolderWasNeverMadeOrIsRemoved) {
    TTestFolder folder;
    const std::string tmp = folder / "tmp";
    TScopedEnv env("TMPDIR", tmp);
    TDocument d;
    TDualImage& doc = d.Doc;
    doc.SetBrdLimit(100);
    doc.SetAutoMode(true);
    const auto blank = Bytes(d.Views.Dst.Bitmap);
    doc.BeginChange();
    doc.StrokeAt(50, 60);
    doc.EndChange();
    ASSERT_EQ(doc.History().Length(), 1);
    EXPECT_TRUE(std::filesystem::is_directory(tmp));
    const auto first = Bytes(d.Views.Dst.Bitmap);
    doc.CompressIdle();
    std::filesystem::remove_all(tmp);
    doc.BeginChange();
    doc.StrokeAt(110, 60);
    doc.EndChange();
    ASSERT_EQ(doc.History().Length(), 2);
    EXPECT_EQ(doc.StrokeCount(), 2);
    const auto second = Bytes(d.Views.Dst.Bitmap);
    EXPECT_NE(second, first);
    for (int i = 0; i < 2; ++i) {
        doc.History().GetState(i)->Compress();
        EXPECT_TRUE(std::filesystem::exists(doc.History().GetState(i)->DestCopy().FileName()));
    }
    doc.Undo();
    EXPECT_EQ(Bytes(d.Views.Dst.Bitmap), first);
    doc.Undo();
    EXPECT_EQ(Bytes(d.Views.Dst.Bitmap), blank);
    doc.Redo();
    doc.Redo();
    EXPECT_EQ(Bytes(d.Views.Dst.Bitmap), second);
}

TEST(DualImageTest, AStepStaysWhenTheChangeEventFails) {
    TDocument d;
    d.Doc.SetBrdLimit(100);
    d.Doc.SetAutoMode(true);
    d.Doc.SetOnChange([](void*) { throw Exception("no window"); });
    d.Doc.BeginChange();
    d.Doc.StrokeAt(80, 60);
    EXPECT_NO_THROW(d.Doc.EndChange());
    EXPECT_EQ(d.Doc.History().Length(), 1);
    EXPECT_EQ(d.Doc.StrokeCount(), 1);
}

TEST(DualImageTest, ReRenderAndPostScriptReadTheAppliedSteps) {
    TDocument d;
    TDualImage& doc = d.Doc;
    doc.SetBrdLimit(80);
    doc.SetAutoMode(true);
    for (int g = 0; g < 3; ++g) {
        doc.BeginChange();
        doc.SprayAt(40 + 30 * g, 60);
        doc.EndChange();
    }
    doc.Undo();
    TBitmap32 target(160, 120);
    target.Clear(clWhite32);
    std::vector<std::string> events;
    // The events given at creation report the outputs.
    TViews views(160, 120);
    TDualImage doc2(
        &views.Src, &views.Dst, 1.0f,
        [&](void* S, int P) { events.push_back((S ? "?" : "") + std::to_string(P)); },
        [&](void* S) { events.push_back(S ? "?" : "start"); },
        [&](void* S) { events.push_back(S ? "?" : "end"); });
    doc2.SetBrdLimit(80);
    doc2.SetAutoMode(true);
    RandSeed = 3;
    doc2.BeginChange();
    doc2.SprayAt(80, 60);
    doc2.EndChange();
    events.clear();
    doc2.RenderStrokes(target, 1.0f);
    // The re-render at the drawing's own size gives the drawing again.
    EXPECT_TRUE(Bytes(target) == Bytes(views.Dst.Bitmap));
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front(), "start");
    EXPECT_EQ(events[1], "0");
    EXPECT_EQ(events.back(), "end");

    TTestFolder dir;
    doc2.Modified = true;
    events.clear();
    EXPECT_THROW(doc2.ExportPostScript(dir / "missing/x.ps"), Exception);
    EXPECT_TRUE(doc2.Modified);
    EXPECT_EQ(events, (std::vector<std::string>{"start", "end"}));
    doc2.ExportPostScript(dir / "x.ps");
    EXPECT_FALSE(doc2.Modified);
    EXPECT_TRUE(std::filesystem::file_size(dir / "x.ps") > 1000);

    // Undone steps are not replayed.
    TBitmap32 small(80, 60);
    small.Clear(clWhite32);
    TBitmap32 expected(80, 60);
    expected.Clear(clWhite32);
    for (const auto& s : Logged(doc))
        FillStrokeOutline(s.Left, s.Right, expected, s.Color, 0.5f);
    doc.RenderStrokes(small, 0.5f);
    EXPECT_TRUE(Bytes(small) == Bytes(expected));
    EXPECT_EQ(Logged(doc).size(), static_cast<size_t>(doc.StrokeCount()));
}

// A spray along the top edge of a photo of straight stripes whose sides are multiples of the
// analysis's block size: every stroke runs along the stripes there, as it does inside the
// picture, neither straight down (a comb) nor along a line across the picture (a rule).
TEST(DualImageTest, AGestureAlongTheTopEdgeFollowsTheStripesThere) {
    const int w = 192, h = 128;
    const double degrees = 30, pi = 3.141592653589793;
    TImgView32 src, dst;
    src.Bitmap = StripesPhoto(w, h, degrees);
    dst.Bitmap.SetSize(w, h);
    dst.Bitmap.Clear(clWhite32);
    src.SetViewportSize(w, h);
    dst.SetViewportSize(w, h);
    TDualImage doc(&src, &dst, 1.0f, nullptr, nullptr, nullptr);
    RandSeed = 7;
    doc.SetAutoMode(true);
    doc.SetBrdLimit(100);
    doc.StopOnBorders = false;
    doc.SetSize(16);
    doc.SetDensity(40);
    doc.SetLength(30);
    doc.BeginChange();
    for (int x = 4; x < w - 4; x += 8)
        doc.SprayAt(x, 4);
    doc.EndChange();

    const std::vector<TStrokeOutline> strokes = Logged(doc);
    ASSERT_GT(strokes.size(), 100u);
    int measured = 0, astray = 0;
    for (const TStrokeOutline& s : strokes) {
        if (s.Left.size() < 2) continue;
        // The line through the middles of the stroke's two ends, in picture coordinates (y down).
        const double x0 = (s.Left.front().X + s.Right.front().X) / 131072.0;
        const double y0 = (s.Left.front().Y + s.Right.front().Y) / 131072.0;
        const double x1 = (s.Left.back().X + s.Right.back().X) / 131072.0;
        const double y1 = (s.Left.back().Y + s.Right.back().Y) / 131072.0;
        // A walk that reaches the picture's frame is held there and runs along it: not measured.
        const bool held =
            std::min({x0, y0, x1, y1}) <= 0.5 || std::max(x0, x1) >= w - 1.5 || std::max(y0, y1) >= h - 1.5;
        if (held || std::hypot(x1 - x0, y1 - y0) < 8) continue;
        ++measured;
        const double angle = std::fmod(std::atan2(y0 - y1, x1 - x0) * 180 / pi + 360, 180);
        const double off = std::min(std::abs(angle - degrees), 180 - std::abs(angle - degrees));
        if (off > 15) ++astray;
    }
    ASSERT_GT(measured, 50);
    EXPECT_LE(astray, measured / 20) << astray << " of " << measured << " strokes leave the stripes";
}

TEST(DualImageTest, GuideGridOfTenPixelCells) {
    TDocument d(105, 105);
    THeading h = 0;
    d.Doc.GetGuideDirection(50, 50, h);
    EXPECT_EQ(h, 128);
    EXPECT_EQ(d.Doc.GuideCols(), 10);
    EXPECT_EQ(d.Doc.GuideRows(), 10);
    EXPECT_EQ(d.Doc.GuideGrid(), std::vector<uint8_t>(100, 128));
    d.Doc.GetGuideDirection(104, 104, h); // index 110, past the grid
    EXPECT_EQ(h, 32);
    d.Doc.GetGuideDirection(95, 84, h); // rounded column 10 reads the next row's first cell
    EXPECT_EQ(h, 128);
}

TEST(DualImageTest, BandsFollowOneSegmentShapesOnly) {
    TDocument d(200, 150);
    TDualImage& doc = d.Doc;
    doc.SetBrdLimit(100);
    doc.SetLength(40);
    doc.SetDensity(5);
    doc.SetSize(10);
    doc.BeginChange();
    EXPECT_THROW(doc.StrokesAlongCurves(), EAbort);
    auto two = std::make_unique<TPolyBezier>(Point(10, 10));
    two->AddBezier(Point(40, 10), Point(60, 20), Point(90, 40));
    two->AddBezier(Point(100, 50), Point(120, 60), Point(150, 90));
    doc.CurveLayer().Add(std::move(two));
    EXPECT_THROW(doc.StrokesAlongCurves(), EAbort);
    doc.EndChange();
    EXPECT_EQ(doc.History().Length(), 0);

    doc.CurveLayer().Clear();
    auto one = std::make_unique<TPolyBezier>(Point(20, 120));
    one->AddBezier(Point(60, 20), Point(140, 20), Point(180, 120));
    doc.CurveLayer().Add(std::move(one));
    doc.BeginChange();
    doc.StrokesAlongCurves();
    doc.EndChange();
    EXPECT_EQ(doc.History().Length(), 1);
    EXPECT_GT(doc.StrokeCount(), StrokeCountFor(40, 5));
}

TEST(DualImageTest, OverlayShowsBordersAndDirections) {
    TDocument d;
    TDualImage& doc = d.Doc;
    const int repaints = d.Views.SrcRepaints;
    doc.SetViewDirections(true);
    doc.SetViewDirections(true);
    EXPECT_EQ(d.Views.SrcRepaints, repaints + 1);
    doc.SetViewDirections(false);

    TBitmap32 buffer(300, 300);
    buffer.Clear(clBlack32);
    doc.SetViewBorders(true);
    doc.PaintOverlay(nullptr, buffer);
    // The bitmap fills the viewport from its corner (the view is smaller than the picture).
    int borders = 0;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x) {
            const bool border = (doc.Feature().Pixel(x, y) & 0x80) != 0;
            borders += border;
            EXPECT_EQ(buffer.Pixel(x, y) == 0xFF7F007F, border) << x << "," << y;
        }
    EXPECT_GT(borders, 0);
    EXPECT_EQ(buffer.Pixel(200, 200), clBlack32);

    doc.SetViewBorders(false);
    doc.SetViewDirections(true);
    buffer.Clear(clBlack32);
    doc.PaintOverlay(nullptr, buffer);
    // A needle starts at every tenth pixel.
    EXPECT_NE(buffer.Pixel(80, 60) & 0x00FFFF, 0u);
    int lit = 0;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 300; ++x)
            lit += buffer.Pixel(x, y) != clBlack32;
    EXPECT_GT(lit, 16 * 12 * 4);
}

TEST(DualImageTest, CursorModesAndActiveView) {
    TDocument d;
    TDualImage& doc = d.Doc;
    doc.SetCursorMode(cuCircle);
    EXPECT_TRUE(doc.CursorLayer()->Visible());
    EXPECT_EQ(d.Views.Src.Cursor(), crCross);
    doc.SetCursorMode(cuHidden);
    EXPECT_FALSE(doc.CursorLayer()->Visible());
    EXPECT_EQ(d.Views.Src.Cursor(), crDefault);
    doc.SetCursorMode(static_cast<TCursorMode>(3));
    EXPECT_EQ(doc.CursorMode(), 3);
    EXPECT_FALSE(doc.CursorLayer()->Visible());

    doc.SetSize(10);
    TBitmap32 buffer(60, 60);
    buffer.Clear(clBlack32);
    doc.SetCursorPos(Point(30, 30));
    doc.PaintCursor(nullptr, buffer);
    EXPECT_EQ(buffer.Pixel(30, 30), clBlack32);
    // The cross of Free Hand: arms of 2 x size pixels (the last left out) in black and white
    // dashes, so that half of each arm shows over white paper and half over black.
    doc.SetCursorMode(cuCross);
    for (const TColor32 paper : {clWhite32, clBlack32}) {
        buffer.Clear(paper);
        doc.PaintCursor(nullptr, buffer);
        int across = 0, down = 0, elsewhere = 0;
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 60; ++x) {
                const TColor32 p = buffer.Pixel(x, y);
                if (p == paper) continue;
                EXPECT_TRUE(p == clWhite32 || p == clBlack32);
                if (y == 30 && x >= 20 && x < 40)
                    ++across;
                else if (x == 30 && y >= 20 && y < 40)
                    ++down;
                else
                    ++elsewhere;
            }
        EXPECT_GE(across, 8) << std::hex << paper;
        EXPECT_GE(down, 7) << std::hex << paper; // the centre is counted across
        EXPECT_EQ(elsewhere, 0);
        EXPECT_EQ(buffer.Pixel(40, 30), paper);
    }
    // The dashed circle of radius size: white and black dashes over grey.
    buffer.Clear(0xFF808080);
    doc.SetCursorMode(cuCircle);
    doc.PaintCursor(nullptr, buffer);
    int onCircle = 0, elsewhere = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x) {
            const double r = std::hypot(x - 30, y - 30);
            (std::abs(r - 10) < 1.5 ? onCircle : elsewhere) += buffer.Pixel(x, y) != 0xFF808080;
        }
    EXPECT_GT(onCircle, 40);
    EXPECT_EQ(elsewhere, 0);

    d.Views.Dst.OnQueryMousePosition = [] { return Point(7, 9); };
    doc.SetActiveView(&d.Views.Dst);
    EXPECT_EQ(doc.ActiveView(), &d.Views.Dst);
    EXPECT_EQ(doc.CursorPos(), Point(7, 9));
    EXPECT_EQ(doc.CursorLayer()->LayerCollection(), &d.Views.Dst.Layers());
    EXPECT_EQ(doc.CurveLayer().Image, &d.Views.Dst);
    EXPECT_EQ(doc.OverlayLayer()->LayerCollection(), &d.Views.Src.Layers());
    doc.DisableCurveEditing();
    EXPECT_FALSE(doc.CurveLayer().Layer->MouseEvents());
    doc.EnableCurveEditing();
    EXPECT_TRUE(doc.CurveLayer().Layer->MouseEvents());
}
