// SPDX-License-Identifier: GPL-3.0-or-later
// The buffered writer, the PostScript export and the re-render of the applied steps' strokes.
#include "document/BufferedWriter.h"
#include "document/QStates.h"
#include "engine/QTypes.h"
#include "engine/Strokes.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Random.h"
#include "tests/support/TempDir.h"
#include "tests/support/WriteFaults.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace {
std::string ReadFile(const std::string& Name) {
    std::ifstream in(Name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The lines of a file whose lines all end with LF CR; a line without that ending fails the test.
std::vector<std::string> Lines(const std::string& Text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < Text.size()) {
        const size_t end = Text.find("\n\r", start);
        EXPECT_NE(end, std::string::npos) << "unterminated line at byte " << start;
        if (end == std::string::npos) break;
        lines.push_back(Text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

const std::vector<std::string> Header = {
    "%!PS-Adobe-2.0",       "%%Title: Quorvelle PS",
    "%%Creator: Quorvelle", "%%CreationDate: Thu Dec 28 13:15:44 PST 1989",
    "%%EndComments",        "72 72 scale"};

std::string Num(float V) {
    std::string s;
    AppendPSNumber(s, V);
    return s;
}

TFixedPoint Fx(double X, double Y) {
    return TFixedPoint{static_cast<TFixed>(X * 65536), static_cast<TFixed>(Y * 65536)};
}

// A history over a W x H drawing whose steps hold the given strokes; every step is applied.
struct THistory {
    TBitmap32 Feature;
    TBitmap32 Dest;
    TQStates States;
    THistory(int W, int H) : Feature(W, H), Dest(W, H) {}
    void AddStep(const std::vector<TStrokeOutline>& Strokes) {
        auto step = std::make_unique<TQState>(Feature, Dest, TStepCopies::Whole);
        for (const auto& s : Strokes)
            step->Strokes()->Add(s);
        step->Finish(TRect{0, 0, 1, 1});
        States.Add(std::move(step));
    }
};
} // namespace

TEST(BufferedWriterTest, LinesEndInLfCrAndReachTheFileOnlyWhenTheBufferIsFull) {
    TTestFolder dir;
    const std::string name = dir / "out.ps";
    const std::string old = "an older and much longer file that is replaced as a whole";
    std::ofstream(name) << old;
    {
        TBufferedWriter w(name, 16);
        // The lines go to a file beside the old one until Close.
        std::string aside;
        for (const std::string& entry : FolderEntries(dir.Path()))
            if (entry != "out.ps") aside = dir / entry;
        ASSERT_FALSE(aside.empty());
        EXPECT_EQ(ReadFile(aside), "");
        w.WriteLn("abcdef"); // 8 bytes
        w.WriteLn("ghijkl"); // 16: exactly full, still buffered
        EXPECT_EQ(ReadFile(aside), "");
        EXPECT_EQ(w.Used(), 16);
        w.WriteLn("m"); // does not fit: the first 16 bytes go out
        EXPECT_EQ(ReadFile(aside), "abcdef\n\rghijkl\n\r");
        EXPECT_EQ(w.Used(), 3);
        // Longer than the whole buffer: written after what was buffered, not over the buffer.
        w.WriteLn("0123456789abcdefghij");
        EXPECT_EQ(ReadFile(aside), "abcdef\n\rghijkl\n\rm\n\r0123456789abcdefghij\n\r");
        w.WriteLn("");
        EXPECT_EQ(ReadFile(name), old);
        w.Close();
    }
    EXPECT_EQ(ReadFile(name), "abcdef\n\rghijkl\n\rm\n\r0123456789abcdefghij\n\r\n\r");
    EXPECT_EQ(FolderEntries(dir.Path()), std::set<std::string>{"out.ps"});
}

TEST(PostScriptTest, NumbersHaveFourDecimalsAfterRoundingToEightDigits) {
    EXPECT_EQ(Num(0), "0.0000");
    EXPECT_EQ(Num(6.608f), "6.6080");
    EXPECT_EQ(Num(-2.5f), "-2.5000");
    EXPECT_EQ(Num(-0.00004f), "0.0000");
    EXPECT_EQ(Num(-0.00006f), "-0.0001");
    EXPECT_EQ(Num(11.69f), "11.6900");
    EXPECT_EQ(Num(123456.78f), "123456.7800"); // 123456.78125 has more than 8 digits
    EXPECT_EQ(Num(1e20f), "100000000000000000000.0000");
    EXPECT_EQ(PSNumberReference(128 / 255.0), "0.5020");
    // The nearest float to 1.23455 lies below it; its eighth digit rounds up first, then the
    // fourth decimal: 1.2345499992 -> 1.2345500 -> 1.2346.
    EXPECT_LT(static_cast<double>(1.23455f), 1.23455);
    EXPECT_EQ(Num(1.23455f), "1.2346");
    // Exact halves of the fourth decimal go away from zero.
    EXPECT_EQ(Num(0.03125f), "0.0313");
    EXPECT_EQ(Num(-0.03125f), "-0.0313");

    // The fast path against the decimal text of the same number.
    RandSeed = 7;
    for (int i = 0; i < 200000; ++i) {
        uint32_t bits = static_cast<uint32_t>(Random(65536)) << 16 | static_cast<uint32_t>(Random(65536));
        float v;
        std::memcpy(&v, &bits, sizeof v);
        if (!std::isfinite(v) || std::fabs(v) > 2e4f)
            v = static_cast<float>(Random(2000000) - 1000000) / 997.0f;
        ASSERT_EQ(Num(v), PSNumberReference(v)) << v;
    }
}

TEST(PostScriptTest, ColoursAndPoints) {
    EXPECT_EQ(ColorToPSString(0xFF000000) + " setrgbcolor", "0.0000 0.0000 0.0000  setrgbcolor");
    EXPECT_EQ(ColorToPSString(0x00FFFFFF), "1.0000 1.0000 1.0000 ");
    EXPECT_EQ(ColorToPSString(Color32(128, 1, 254)), "0.5020 0.0039 0.9961 ");
    EXPECT_EQ(PointToPSString(0.826f, -1.5f), "0.8260 -1.5000");
}

TEST(PostScriptTest, FileOfOneStrokeByteForByte) {
    TTestFolder dir;
    THistory h(1000, 1000);
    h.AddStep({TStrokeOutline{{Fx(0, 0)}, {Fx(500, 250)}, 0xFF000000}});
    std::vector<int> progress;
    SaveToPostScript(dir / "a.ps", 1000, 1000, 0.8f, h.States, [&](void* Sender, int P) {
        EXPECT_EQ(Sender, nullptr);
        progress.push_back(P);
    });
    std::string expected;
    for (const auto& l : Header)
        expected += l + "\n\r";
    // s = 0.00826; (500 s 0.8, (1000 - 250) s 0.8) = (3.304, 4.956)
    expected += "0.8260 2.5410 translate\n\rnewpath\n\r0.0000 6.6080 moveto\n\r3.3040 4.9560 lineto\n\r"
                "0.0000 0.0000 0.0000  setrgbcolor\n\r.1 setlinewidth\n\rclosepath\n\rfill\n\rshowpage\n\r";
    EXPECT_EQ(ReadFile(dir / "a.ps"), expected);
    EXPECT_EQ(progress, std::vector<int>{0});
}

TEST(PostScriptTest, AFailedExportRaisesAndKeepsTheOldFile) {
    TTestFolder dir;
    THistory h(1000, 1000);
    h.AddStep({TStrokeOutline{{Fx(0, 0)}, {Fx(500, 250)}, 0xFF000000}});
    EXPECT_THROW(SaveToPostScript(dir / "missing/out.ps", 1000, 1000, 0.8f, h.States, nullptr), Exception);
    const std::string name = dir / "full.ps";
    std::ofstream(name) << "the earlier export";
    ExpectFailedSavesKeepTarget(name, [&] { SaveToPostScript(name, 1000, 1000, 0.8f, h.States, nullptr); });
}

TEST(PostScriptTest, PolygonIsLeftForwardThenRightBackwardOfAppliedStepsOnly) {
    TTestFolder dir;
    THistory h(2000, 500);
    h.AddStep({TStrokeOutline{{Fx(0, 0), Fx(10, 0)}, {Fx(0, 10), Fx(10, 10), Fx(20, 10)}, 0xFFFFFFFF},
               TStrokeOutline{{Fx(1, 1)}, {Fx(2, 2)}, 0xFF000000}});
    h.AddStep({TStrokeOutline{{Fx(5, 5)}, {Fx(6, 6)}, 0xFF000000}});
    h.AddStep({TStrokeOutline{{Fx(7, 7)}, {Fx(8, 8)}, 0xFF000000}});
    h.States.Undo(h.Feature, h.Dest);
    std::vector<int> progress;
    SaveToPostScript(dir / "b.ps", 2000, 500, 0.8f, h.States, [&](void*, int P) { progress.push_back(P); });
    const auto lines = Lines(ReadFile(dir / "b.ps"));
    ASSERT_EQ(lines.size(), 7u + 3 * 7 + 1 + 2 + 1);
    // Limited by the width: s = 0.00413, tx = 0.8260, ty = (11.69 - 1.652) / 2.
    EXPECT_EQ(lines[6], "0.8260 5.0190 translate");
    const float s = 8.26f / 2000 * 0.8f;
    auto pt = [&](float X, float Y) { return PointToPSString(X * s, (500 - Y) * s); };
    const std::vector<std::string> first = {"newpath",
                                            pt(0, 0) + " moveto",
                                            pt(10, 0) + " lineto",
                                            pt(20, 10) + " lineto",
                                            pt(10, 10) + " lineto",
                                            pt(0, 10) + " lineto",
                                            "1.0000 1.0000 1.0000  setrgbcolor",
                                            ".1 setlinewidth",
                                            "closepath",
                                            "fill"};
    for (size_t i = 0; i < first.size(); ++i)
        EXPECT_EQ(lines[7 + i], first[i]) << i;
    EXPECT_EQ(lines[lines.size() - 7], pt(5, 5) + " moveto");
    EXPECT_EQ(lines.back(), "showpage");
    EXPECT_EQ(progress, (std::vector<int>{0, 50}));
}

TEST(PostScriptTest, NoStepsAndCommaLocales) {
    TTestFolder dir;
    THistory h(100, 100);
    const char saved = DecimalSeparator();
    SetDecimalSeparator(',');
    const std::string oldLocale = std::setlocale(LC_NUMERIC, nullptr);
    const bool comma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    SaveToPostScript(dir / "c.ps", 100, 100, 0.8f, h.States, nullptr);
    std::setlocale(LC_NUMERIC, oldLocale.c_str());
    EXPECT_EQ(DecimalSeparator(), ',');
    SetDecimalSeparator(saved);
    const auto lines = Lines(ReadFile(dir / "c.ps"));
    ASSERT_EQ(lines.size(), 8u) << (comma ? "" : "(no comma locale installed)");
    EXPECT_EQ(lines[6], "0.8260 2.5410 translate");
    EXPECT_EQ(lines[7], "showpage");
}

TEST(RenderStrokesTest, ReplaysAppliedStepsScaledWithProgressEveryTenthStroke) {
    THistory h(40, 40);
    std::vector<TStrokeOutline> strokes;
    for (int i = 0; i < 25; ++i)
        strokes.push_back(TStrokeOutline{{Fx(i, 2), Fx(i + 3, 30)},
                                         {Fx(i + 1, 2), Fx(i + 4, 30)},
                                         0xFF000000u | static_cast<TColor32>(i * 0x0A0B0C)});
    h.AddStep({strokes.begin(), strokes.begin() + 12});
    h.AddStep({strokes.begin() + 12, strokes.end()});
    h.AddStep({TStrokeOutline{{Fx(0, 0), Fx(40, 0)}, {Fx(0, 40), Fx(40, 40)}, 0xFFFF0000}});
    h.States.Undo(h.Feature, h.Dest);

    TBitmap32 target(80, 80), expected(80, 80);
    target.Clear(clWhite32);
    expected.Clear(clWhite32);
    for (const auto& s : strokes)
        FillStrokeOutline(s.Left, s.Right, expected, s.Color, 2.0f);
    std::vector<int> progress;
    RenderStrokes(h.States, target, 2.0f, [&](void* Sender, int P) {
        EXPECT_EQ(Sender, nullptr);
        progress.push_back(P);
    });
    EXPECT_EQ(progress, (std::vector<int>{0, 40, 80}));
    EXPECT_EQ(std::memcmp(target.Bits(), expected.Bits(), 80 * 80 * 4), 0);
}
