// SPDX-License-Identifier: GPL-3.0-or-later
#include "presets/Styles.h"

#include "platform/formats/JpegCodec.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Random.h"
#include "platform/system/BusyCursor.h"
#include "presets/DemoStyle.h"
#include "presets/EditorHooks.h"
#include "tests/presets/PresetTestSupport.h"
#include "tests/support/WriteFaults.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

// The 35 header bytes of a style with the given name and values.
struct THeader {
    std::string Name;
    int32_t PolyStep = 25;
    int32_t Length = 100;
    float Gain = 2.0f;
    float Width = 1.0f;
    uint8_t StopOnBorders = 1;
    int32_t PreviewDensity = 500;
    int32_t SecondCount = 150;
    float PreviewScale = 0.0f;
    uint8_t DefaultHeading = 96;
    uint8_t BorderLimit = 128;

    TBytes Bytes() const {
        TBytes b;
        Put(b, static_cast<uint32_t>(Name.size()));
        b.insert(b.end(), Name.begin(), Name.end());
        Put(b, PolyStep);
        Put(b, Length);
        Put(b, Gain);
        Put(b, Width);
        Put(b, StopOnBorders);
        Put(b, PreviewDensity);
        Put(b, SecondCount);
        Put(b, PreviewScale);
        Put(b, DefaultHeading);
        Put(b, BorderLimit);
        return b;
    }
};

// A small JPEG: a grey square with a dark bar.
TBytes Jpeg() {
    TBitmap32 picture(32, 32);
    picture.Clear(0xFF808080);
    picture.FillRect(8, 8, 24, 12, 0xFF101010);
    TMemoryStream s;
    SaveJpegImage(picture, s, 90);
    return StreamBytes(s);
}

// The offset of the first JPEG marker 0xFF Code in Bytes, or 0.
size_t FindMarker(const TBytes& Bytes, uint8_t Code) {
    for (size_t i = 0; i + 1 < Bytes.size(); ++i)
        if (Bytes[i] == 0xFF && Bytes[i + 1] == Code) return i;
    return 0;
}

TBytes StyleFile(const THeader& Header) {
    TBytes b = Header.Bytes();
    const TBytes jpeg = Jpeg();
    b.insert(b.end(), jpeg.begin(), jpeg.end());
    return b;
}

void Load(TQStyle& Style, const TBytes& Bytes) {
    TMemoryStream s;
    Fill(s, Bytes);
    Style.LoadFromStream(s);
}

bool SamePixels(const TBitmap32& A, const TBitmap32& B) {
    return A.Width() == B.Width() && A.Height() == B.Height() &&
           std::memcmp(A.Bits(), B.Bits(), sizeof(TColor32) * static_cast<size_t>(A.Width()) * A.Height()) ==
               0;
}

int NonWhitePixels(const TBitmap32& B) {
    int n = 0;
    for (int y = 0; y < B.Height(); ++y)
        for (int x = 0; x < B.Width(); ++x)
            n += (B.Pixel(x, y) & 0xFFFFFF) != 0xFFFFFF;
    return n;
}

class TTestStyleEditor {
public:
    explicit TTestStyleEditor(TStyleEditorHook Hook) { SetStyleEditorHook(std::move(Hook)); }
    ~TTestStyleEditor() { SetStyleEditorHook(nullptr); }
};

} // namespace

// ---------------------------------------------------------------------------------------------
// The style and its file

TEST(StyleFile, AStyleWithoutANameWritesA35ByteHeaderThenTheFreshPreview) {
    TQStyle style;
    TMemoryStream s;
    style.SaveToStream(s);
    const TBytes bytes = StreamBytes(s);
    const TBytes header = {0,    0,    0,    0,                  // name length
                           25,   0,    0,    0,    100, 0, 0, 0, // precision, length
                           0,    0,    0,    0x40,               // gain 2.0
                           0,    0,    0x80, 0x3F,               // width 1.0
                           1,                                    // stop on borders
                           0xF4, 0x01, 0,    0,    150, 0, 0, 0, // density, second count
                           0,    0,    0,    0,                  // preview scale, not yet drawn
                           96,   128};                           // heading, border limit
    ASSERT_GT(bytes.size(), header.size() + 2);
    EXPECT_EQ(TBytes(bytes.begin(), bytes.begin() + 35), header);
    EXPECT_EQ(bytes[35], 0xFF); // the JPEG's start marker
    EXPECT_EQ(bytes[36], 0xD8);
    // The preview was drawn while saving; a reload shows it but keeps the scale written.
    EXPECT_EQ(style.PreviewScale, 2.0f);
    EXPECT_FALSE(style.Dirty);
    TQStyle back;
    s.SetPosition(0);
    back.LoadFromStream(s);
    EXPECT_EQ(back.PreviewScale, 0.0f);
    EXPECT_EQ(back.Preview->Width(), 512);
}

TEST(StyleFile, LoadingShowsTheStoredPreviewUntilAValueChanges) {
    THeader h;
    h.Name = "stored";
    h.PreviewScale = 2.0f;
    h.BorderLimit = 100;
    TQStyle style;
    Load(style, StyleFile(h));
    EXPECT_EQ(style.Name, "stored");
    EXPECT_EQ(style.PreviewScale, 2.0f);
    ASSERT_EQ(style.Preview->Width(), 32);
    TBitmap32 stored;
    stored.Assign(*style.Preview);
    RandSeed = 1;
    EXPECT_TRUE(SamePixels(style.GetPreview(), stored));
    EXPECT_EQ(RandSeed, 1u);       // nothing was drawn
    style.SetLength(style.Length); // an equal value still counts as a change
    EXPECT_TRUE(style.Dirty);
    EXPECT_EQ(style.GetPreview().Width(), 512);
    EXPECT_GT(NonWhitePixels(*style.Preview), 1000);
}

TEST(StyleFile, SaveWritesBackToItsFileOrToTheNextFreeName) {
    TPresetFolder folder;
    TQStyle style;
    style.SetBorderLimit(100);
    style.Save();
    EXPECT_EQ(style.FileName, folder / "style0000.gst");
    TQStyle other;
    other.Save();
    EXPECT_EQ(other.FileName, folder / "style1000.gst");
    style.SetName("renamed");
    style.Save();
    EXPECT_FALSE(folder.Exists("style2000.gst"));
    TQStyle back;
    back.LoadFromFile(folder / "style0000.gst");
    EXPECT_EQ(back.Name, "renamed");
    EXPECT_EQ(back.FileName, folder / "style0000.gst");
    back.DeleteFile();
    EXPECT_FALSE(folder.Exists("style0000.gst"));
    EXPECT_EQ(back.FileName, folder / "style0000.gst");
}

TEST(StyleFile, AFailedSaveRaisesAndKeepsTheOldFileAndAFolderIsNoStyle) {
    TPresetFolder folder;
    TQStyle style;
    style.SetName("old");
    style.Save();
    style.SetName("new");
    ExpectFailedSavesKeepTarget(style.FileName, [&] { style.Save(); });
    const std::string dir = folder / "x.gst";
    std::filesystem::create_directory(dir);
    EXPECT_EQ(MessageOf([&] { style.LoadFromFile(dir); }), dir + " is not a file");
    EXPECT_EQ(style.Name, "new");
}

TEST(StyleFile, DamagedFilesFailWithAClearMessageAndLeaveTheStyleAsItWas) {
    TQStyle style;
    style.SetName("kept");
    const auto fails = [&](const TBytes& Bytes) { return MessageOf([&] { Load(style, Bytes); }); };
    EXPECT_EQ(fails({}), "Damaged style file: the file ends inside its header");
    EXPECT_EQ(fails({3, 0}), "Damaged style file: the file ends inside its header");
    THeader h;
    h.Name = "long name";
    TBytes longName = h.Bytes();
    longName[0] = 0xFF; // 255 characters in a file of 44 bytes
    EXPECT_EQ(fails(longName), "Damaged style file: the name length 255 is more than the file holds");
    longName[3] = 0x7F; // two billion characters
    EXPECT_EQ(fails(longName), "Damaged style file: the name length 2130706687 is more than the file holds");
    TBytes cut = h.Bytes();
    cut.resize(cut.size() - 1);
    EXPECT_EQ(fails(cut), "Damaged style file: the file ends inside its header");

    h = THeader();
    h.Length = 0;
    EXPECT_EQ(fails(StyleFile(h)), "Damaged style file: the length 0 is outside 1..1000");
    h.Length = -3;
    EXPECT_EQ(fails(StyleFile(h)), "Damaged style file: the length -3 is outside 1..1000");
    h.Length = 2000000000;
    EXPECT_EQ(fails(StyleFile(h)), "Damaged style file: the length 2000000000 is outside 1..1000");
    h = THeader();
    h.Gain = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(fails(StyleFile(h)), "Damaged style file: the gain nan is outside 0..100");
    h = THeader();
    h.Width = -1.0f;
    EXPECT_EQ(fails(StyleFile(h)), "Damaged style file: the width -1 is outside 0..100");
    h = THeader();
    h.PolyStep = -1;
    EXPECT_EQ(fails(StyleFile(h)), "Damaged style file: the precision -1 is outside 0..1000");
    h = THeader();
    h.PreviewDensity = -500;
    EXPECT_EQ(fails(StyleFile(h)), "Damaged style file: the preview density -500 is below 0");
    h.PreviewDensity = 1000000;
    EXPECT_EQ(fails(StyleFile(h)),
              "Damaged style file: the preview's stroke count 1333433 is outside 0..20000");
    // Without its preview the header alone fails in the decoder.
    EXPECT_THROW(Load(style, THeader().Bytes()), Exception);
    // A preview that claims 16000 x 16000 pixels is refused before it is decoded; one that ends
    // early is refused too.
    TBytes huge = StyleFile(THeader());
    const size_t sof = FindMarker(huge, 0xC0);
    ASSERT_NE(sof, 0u);
    for (size_t i : {sof + 5, sof + 7}) {
        huge[i] = 0x3E;
        huge[i + 1] = 0x80;
    }
    EXPECT_EQ(fails(huge),
              "Damaged JPEG file: the picture is 16000 x 16000 pixels, larger than the 1024 x 1024 "
              "expected");
    TBytes early = StyleFile(THeader());
    early.resize(FindMarker(early, 0xDA) + 20); // a few bytes into the scan
    EXPECT_EQ(fails(early), "Damaged JPEG file: the data is truncated");
    EXPECT_EQ(style.Name, "kept");
    EXPECT_TRUE(style.Dirty);

    // A precision of 0 is the editor's own; a negative name count reads as no name.
    h = THeader();
    h.PolyStep = 0;
    TBytes negative = StyleFile(h);
    std::memset(negative.data(), 0xFF, 4);
    Load(style, negative);
    EXPECT_EQ(style.Name, "");
    EXPECT_EQ(style.PolyStep, 0);
}

// ---------------------------------------------------------------------------------------------
// Preview

TEST(StylePreview, TheSampleIsAnalysedOnceUnderTheHourglass) {
    std::vector<bool> shown;
    SetBusyCursorHook([&](bool Busy) { shown.push_back(Busy); });
    StyleSampleFeature.reset();
    const auto data = DemoStyle();
    ASSERT_EQ(data.size(), 196662u);
    EXPECT_EQ(data[0], 'B');
    TQStyle style;
    style.SetBorderLimit(100);
    style.GetPreview();
    ASSERT_TRUE(StyleSampleFeature);
    EXPECT_EQ(StyleSampleFeature->Width(), 256);
    EXPECT_EQ(StyleSampleFeature->Height(), 256);
    style.SetLength(50);
    style.GetPreview();
    SetBusyCursorHook(nullptr);
    EXPECT_EQ(shown, (std::vector<bool>{true, false}));
}

TEST(StylePreview, BlankAtTheDefaultBorderLimitAndRepeatableAt100) {
    TQStyle style;
    const TBitmap32& blank = style.GetPreview();
    EXPECT_EQ(blank.Width(), 512);
    EXPECT_EQ(blank.Height(), 512);
    EXPECT_EQ(NonWhitePixels(blank), 0);
    EXPECT_EQ(style.PreviewScale, 2.0f);
    // Drawn at 100; the same draws give the same preview, and the generator moves on.
    style.SetBorderLimit(100);
    RandSeed = 42;
    TBitmap32 first;
    first.Assign(style.GetPreview());
    EXPECT_GT(NonWhitePixels(first), 20000);
    style.SetGain(style.Gain);
    RandSeed = 42;
    EXPECT_TRUE(SamePixels(style.GetPreview(), first));
    style.SetGain(style.Gain);
    EXPECT_FALSE(SamePixels(style.GetPreview(), first));
}

TEST(StylePreview, ALockPostponesRedrawingUntilAReleaseAfterAChange) {
    TQStyle style;
    style.SetBorderLimit(100);
    style.GetPreview();
    TBitmap32 before;
    before.Assign(*style.Preview);

    // Press and release without a change: the lock stays.
    style.BeginUpdate();
    style.EndUpdate();
    EXPECT_TRUE(style.UpdateLock);
    style.SetLength(30);
    EXPECT_TRUE(SamePixels(style.GetPreview(), before)); // locked: not redrawn
    EXPECT_TRUE(style.Dirty);
    style.EndUpdate();
    EXPECT_FALSE(style.UpdateLock);
    EXPECT_FALSE(style.Dirty);
    EXPECT_FALSE(SamePixels(*style.Preview, before));
}

TEST(StylePreview, ValuesAtTheFileLimitsDrawWithoutFault) {
    using L = TStyleLimits;
    struct TCase {
        int32_t PolyStep, Length;
        float Gain, Width;
        int32_t Density;
    };
    for (const TCase c : {TCase{0, 1, 0.0f, 0.0f, 149}, TCase{L::MaxPolyStep, 30, L::MaxGain, 10.0f, 100},
                          TCase{1, 300, 2.0f, L::MaxWidth, 0}, TCase{25, 5, 2.0f, 1.0f, 0}}) {
        THeader h;
        h.PolyStep = c.PolyStep;
        h.Length = c.Length;
        h.Gain = c.Gain;
        h.Width = c.Width;
        h.PreviewDensity = c.Density;
        h.BorderLimit = 100;
        TQStyle style;
        Load(style, StyleFile(h));
        style.SetName("drawn");
        EXPECT_EQ(style.GetPreview().Width(), 512);
    }
}

// ---------------------------------------------------------------------------------------------
// Manager

TEST(StyleManager, LoadsGoodFilesLogsAndSkipsDamagedOnes) {
    TPresetFolder folder;
    THeader h;
    h.Name = "first";
    TPresetFolder::Write(folder / "a.gst", StyleFile(h));
    h.Name = "second";
    TPresetFolder::Write(folder / "c.gst", StyleFile(h));
    TPresetFolder::Write(folder / "b.gst", {1, 0, 0, 0});
    TStyleManager m;
    ASSERT_EQ(m.Count(), 2);
    EXPECT_EQ(m.GetQStyle(0).Name, "first");
    EXPECT_EQ(m.GetQStyle(1).Name, "second");
    EXPECT_EQ(m.GetQStyle(1).FileName, folder / "c.gst");
    EXPECT_EQ(folder.Log(),
              folder / "b.gst" + ": Damaged style file: the name length 1 is more than the file holds\r\n");
}

TEST(StyleManager, ALogThatCannotBeWrittenNeverStopsTheLoading) {
    TPresetFolder folder;
    THeader h;
    h.Name = "good";
    TPresetFolder::Write(folder / "a.gst", StyleFile(h));
    TPresetFolder::Write(folder / "b.gst", {1, 0, 0, 0});
    // A folder where "quor.log" should be: no line can be appended, as in a read-only directory.
    std::filesystem::create_directory(folder / "quor.log");
    testing::internal::CaptureStderr();
    TStyleManager m;
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(m.Count(), 1);
    EXPECT_EQ(m.GetQStyle(0).Name, "good");
    EXPECT_NE(
        err.find(folder / "b.gst" + ": Damaged style file: the name length 1 is more than the file holds"),
        std::string::npos)
        << err;
}

TEST(StyleManager, DeleteMakesTheFirstCurrentOrEmptiesTheIndex) {
    TPresetFolder folder;
    THeader h;
    TPresetFolder::Write(folder / "a.gst", StyleFile(h));
    TPresetFolder::Write(folder / "b.gst", StyleFile(h));
    TStyleManager m;
    m.SetIndex(1);
    m.Delete();
    EXPECT_FALSE(folder.Exists("b.gst"));
    EXPECT_EQ(m.Count(), 1);
    EXPECT_EQ(m.ItemIndex, 0);
    m.Delete();
    EXPECT_EQ(m.Count(), 0);
    EXPECT_EQ(m.ItemIndex, -1);
    m.Delete();
    EXPECT_EQ(m.ItemIndex, -1);
}

TEST(StyleManager, EditAcceptedTakesTheTypedNameAndSaves) {
    TPresetFolder folder;
    TPresetFolder::Write(folder / "a.gst", StyleFile(THeader()));
    TStyleManager m;
    m.EditorCaption = "Edit Current Style";
    std::string caption;
    TTestStyleEditor editor([&](TQStyle& S, const std::string& Caption, const TStyleAccept&) {
        caption = Caption;
        S.SetLength(44);
        S.SetBorderLimit(99);
        return TStyleEditorResult{mrOk, "Fine pen"};
    });
    EXPECT_TRUE(m.Edit());
    EXPECT_EQ(caption, "Edit Current Style");
    TQStyle back;
    back.LoadFromFile(folder / "a.gst");
    EXPECT_EQ(back.Name, "Fine pen");
    EXPECT_EQ(back.Length, 44);
    EXPECT_EQ(back.BorderLimit, 99);
    EXPECT_EQ(back.Preview->Width(), 512);
}

TEST(StyleManager, EditCancelledRestoresTheValuesButKeepsTheEditedPreview) {
    TPresetFolder folder;
    THeader h;
    h.Name = "original";
    TPresetFolder::Write(folder / "a.gst", StyleFile(h));
    TStyleManager m;
    TBitmap32 edited;
    TTestStyleEditor editor([&](TQStyle& S, const std::string&, const TStyleAccept&) {
        S.SetLength(30);
        S.SetBorderLimit(100);
        S.SetName("changed");
        edited.Assign(S.GetPreview());
        return TStyleEditorResult{mrCancel, "typed"};
    });
    EXPECT_FALSE(m.Edit());
    const TQStyle& s = m.Current();
    EXPECT_EQ(s.Name, "original");
    EXPECT_EQ(s.Length, 100);
    EXPECT_EQ(s.BorderLimit, 128);
    EXPECT_EQ(s.FileName, folder / "a.gst");
    EXPECT_FALSE(s.Dirty);
    EXPECT_TRUE(SamePixels(*s.Preview, edited));
    const TBytes file = StyleFile(h);
    EXPECT_EQ(TPresetFolder::Read(folder / "a.gst"), std::string(file.begin(), file.end()));
}

TEST(StyleManager, NewThenCancelKeepsADefaultStyleWithoutAFile) {
    TPresetFolder folder;
    TStyleManager empty;
    EXPECT_EQ(empty.ItemIndex, 0);
    EXPECT_EQ(MessageOf([&] { empty.Current(); }), "TStyleManager.GetQStyle: Index out of bounds(0)");
    TPresetFolder::Write(folder / "a.gst", StyleFile(THeader()));
    TStyleManager m;
    m.EditorCaption = "Create New Style";
    TTestStyleEditor editor([](TQStyle& S, const std::string&, const TStyleAccept&) {
        S.SetLength(60);
        return TStyleEditorResult{mrCancel, "typed"};
    });
    EXPECT_FALSE(m.New());
    ASSERT_EQ(m.Count(), 2);
    EXPECT_EQ(m.ItemIndex, 1);
    EXPECT_EQ(m.Current().Length, 100);
    EXPECT_EQ(m.Current().Name, "");
    EXPECT_EQ(m.Current().FileName, "");
    m.Delete(); // no file to delete
    EXPECT_EQ(m.Count(), 1);
    EXPECT_TRUE(folder.Exists("a.gst"));
}

// What the New command keeps: a new style only once the editor accepts it.
TEST(StyleManager, NewIfAcceptedKeepsOnlyAnAcceptedStyle) {
    TPresetFolder folder;
    TPresetFolder::Write(folder / "a.gst", StyleFile(THeader()));
    TPresetFolder::Write(folder / "b.gst", StyleFile(THeader()));
    TStyleManager m;
    m.SetIndex(0);
    int answer = mrCancel;
    TTestStyleEditor editor([&](TQStyle&, const std::string&, const TStyleAccept&) {
        return TStyleEditorResult{answer, "Mine"};
    });
    EXPECT_FALSE(m.NewIfAccepted());
    EXPECT_EQ(m.Count(), 2);
    EXPECT_EQ(m.ItemIndex, 0);
    answer = mrOk;
    EXPECT_TRUE(m.NewIfAccepted());
    ASSERT_EQ(m.Count(), 3);
    EXPECT_EQ(m.ItemIndex, 2);
    EXPECT_EQ(m.Current().Name, "Mine");
    EXPECT_TRUE(std::filesystem::exists(m.Current().FileName));
}

// A read-only preset folder, as the stream seam gives it even to root: nothing can be created
// in it and nothing deleted from it.
TEST(StyleManager, AStyleThatCannotBeSavedLeavesTheListAndTheCurrentStyleAsTheyWere) {
    TPresetFolder folder;
    THeader h;
    h.Name = "first";
    TPresetFolder::Write(folder / "a.gst", StyleFile(h));
    h.Name = "second";
    const TBytes second = StyleFile(h);
    TPresetFolder::Write(folder / "b.gst", second);
    TStyleManager m;
    m.SetIndex(1);
    TBitmap32 preview;
    preview.Assign(*m.Current().Preview);
    const std::set<std::string> entries = FolderEntries(folder.Path());
    TTestStyleEditor editor([](TQStyle& S, const std::string&, const TStyleAccept&) {
        S.SetLength(33);
        S.SetGain(7.0f);
        EXPECT_EQ(S.GetPreview().Width(), 512);
        return TStyleEditorResult{mrOk, "Lost Style"};
    });
    TWriteFaultScope readOnly(TFaultPoint::fpCreate, 0, EACCES);

    EXPECT_EQ(MessageOf([&] { m.New(); }),
              "Cannot create file \"" + folder / "style0000.gst" + "\". Permission denied");
    ASSERT_EQ(m.Count(), 2);
    EXPECT_EQ(m.ItemIndex, 1);

    EXPECT_EQ(MessageOf([&] { m.Edit(); }),
              "Cannot create file \"" + folder / "b.gst" + "\". Permission denied");
    const TQStyle& s = m.Current();
    EXPECT_EQ(s.Name, "second");
    EXPECT_EQ(s.Length, 100);
    EXPECT_EQ(s.Gain, 2.0f);
    EXPECT_EQ(s.FileName, folder / "b.gst");
    EXPECT_FALSE(s.Dirty);
    EXPECT_TRUE(SamePixels(*s.Preview, preview));
    EXPECT_EQ(TPresetFolder::Read(folder / "b.gst"), std::string(second.begin(), second.end()));
    EXPECT_EQ(FolderEntries(folder.Path()), entries);
}

TEST(StyleManager, AFileThatCannotBeDeletedKeepsItsStyleListedAndCurrent) {
    TPresetFolder folder;
    TPresetFolder::Write(folder / "a.gst", StyleFile(THeader()));
    TPresetFolder::Write(folder / "b.gst", StyleFile(THeader()));
    TStyleManager m;
    m.SetIndex(1);
    {
        TWriteFaultScope readOnly(TFaultPoint::fpRemove, 0, EACCES);
        EXPECT_EQ(MessageOf([&] { m.Delete(); }),
                  "Cannot delete file \"" + folder / "b.gst" + "\". Permission denied");
    }
    EXPECT_EQ(m.Count(), 2);
    EXPECT_EQ(m.ItemIndex, 1);
    EXPECT_TRUE(folder.Exists("b.gst"));
    // A file that is gone already is no reason to keep the style.
    std::filesystem::remove(folder / "b.gst");
    m.Delete();
    EXPECT_EQ(m.Count(), 1);
    EXPECT_EQ(m.ItemIndex, 0);
}
