// SPDX-License-Identifier: GPL-3.0-or-later
// Drawing styles: named presets of the stroke parameters with a rendered preview, one "*.gst"
// file per style in the application folder, and the list of them that the program keeps.
//
// The "*.gst" file, little-endian, without magic number or version (N = name length):
//   0      i32 N            (written unsigned; a count below 1 reads as an empty name)
//   4      N bytes          Name, one byte per character
//   4+N    i32 PolyStep     8+N  i32 Length      12+N f32 Gain        16+N f32 Width
//   20+N   u8  StopOnBorders                     21+N i32 PreviewDensity
//   25+N   i32 SecondCount  29+N f32 PreviewScale
//   33+N   u8  DefaultHeading                    34+N u8  BorderLimit
//   35+N   the preview as one JPEG stream (quality 25) up to the end of the file
#pragma once

#include "engine/Turtle.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TBitmap32;
class TStream;

// The values a style file may hold. The style editor gives Precision 0..94, Length 5..205,
// Gain 1..12 and Width 1..10, and every style keeps the preview density 500 (766 strokes); a
// file beyond these generous bounds is damaged: its strokes would divide by zero, overflow, or
// keep the preview busy for minutes.
struct TStyleLimits {
    static constexpr int32_t MinPolyStep = 0;
    static constexpr int32_t MaxPolyStep = 1000;
    static constexpr int32_t MinLength = 1;
    static constexpr int32_t MaxLength = 1000;
    static constexpr float MaxGain = 100.0f;
    static constexpr float MaxWidth = 100.0f;
    // The preview draws StrokeCountFor(Length, PreviewDensity) strokes.
    static constexpr int32_t MaxPreviewStrokes = 20000;
    // The stored preview is drawn 512 x 512; a larger one (twice that is allowed) would only
    // take memory and time to decode.
    static constexpr int32_t MaxPreviewSide = 1024;
};

class TQStyle {
public:
    TQStyle();
    ~TQStyle();
    TQStyle(const TQStyle&) = delete;
    TQStyle& operator=(const TQStyle&) = delete;

    // Copies the values, the file name and the name; Preview, UpdateLock and Dirty stay.
    void Assign(const TQStyle& Source);

    // Each stores its value and marks the preview out of date, even for an equal value.
    void SetPrecision(int32_t Value);
    void SetLength(int32_t Value);
    void SetGain(float Value);
    void SetWidth(float Value);
    void SetName(const std::string& Value);
    void SetBorderLimit(uint8_t Value);

    // Deletes the file named by FileName, when it has one. A file that cannot be deleted raises
    // "Cannot delete file "<name>". <reason>"; one that is gone already is no error.
    void DeleteFile();
    // Reading raises the stream's, the JPEG decoder's or a "Damaged style file: ..." Exception
    // (prefixed with the file's name when read from a file); the style is then unchanged.
    void LoadFromFile(const std::string& FileName);
    void LoadFromStream(TStream& Stream);
    // Writes the header, then the preview (redrawn first when out of date and not locked).
    void SaveToFile(const std::string& FileName);
    void SaveToStream(TStream& Stream);
    // Writes to FileName, or to a new "styleNNNN.gst" of the application folder when the style
    // has no file yet.
    void Save();

    // The preview, redrawn first when it is out of date and not locked.
    TBitmap32& GetPreview();
    // Postpones redrawing while an editor control is held down.
    void BeginUpdate();
    // Unlocks and redraws when the values changed; otherwise the lock stays.
    void EndUpdate();
    // Scatters the style's strokes over the sample picture into a 512 x 512 white Preview.
    // Locked: only marks the preview out of date. Up to date: nothing.
    void RebuildPreview();

    int32_t PolyStep = 25;
    int32_t Length = 100;
    float Gain = 2.0f;
    float Width = 1.0f;
    int32_t PreviewDensity = 500;
    int32_t SecondCount = 150; // kept in the file; nothing else reads it
    float PreviewScale = 0.0f;
    THeading DefaultHeading = 96;
    std::string FileName;
    bool StopOnBorders = true;
    std::string Name;
    std::unique_ptr<TBitmap32> Preview;
    bool UpdateLock = false;
    bool Dirty = true;
    uint8_t BorderLimit = 128; // 1..100 once edited
};

// The feature bitmap of the sample picture, analysed once at the first preview and kept.
extern std::unique_ptr<TBitmap32> StyleSampleFeature;
// Analyses the compiled-in sample picture into StyleSampleFeature, under the hourglass.
void LoadStyleSampleImage();

// The styles of the application folder, each loaded from its "*.gst" file.
class TStyleManager {
public:
    // Loads every "*.gst" file of the application folder; a file that fails to load is skipped
    // and its message ("<file>: <why>") appended as one line to "quor.log" in the current
    // directory. When that log cannot be opened, created or written (a read-only current
    // directory, a full disk), the message goes to stderr instead, followed by why the log
    // failed, each line led by "quorvelle: "; loading goes on either way.
    TStyleManager();
    ~TStyleManager();
    TStyleManager(const TStyleManager&) = delete;
    TStyleManager& operator=(const TStyleManager&) = delete;

    int32_t Count() const { return static_cast<int32_t>(Styles.size()); }
    // Raises "TStyleManager.GetQStyle: Index out of bounds(Index)" outside 0 .. Count - 1.
    TQStyle& GetQStyle(int32_t Index) const;
    TQStyle& Current() const { return GetQStyle(ItemIndex); }
    // Stored unchecked.
    void SetIndex(int32_t Index) { ItemIndex = Index; }
    // Deletes the current style and its file; the first style becomes current, or -1 when none
    // remains. Nothing happens while ItemIndex is below 0. A file that cannot be deleted raises
    // and the style stays, listed and current.
    void Delete();
    // Runs the style editor on the current style. Accepted: the typed name is set, the style
    // saved, and the result is true. A save that fails on the editor's Accept raises to the
    // editor, which stays open (EditorHooks.h). Otherwise the style takes back its values from
    // before. An editor that gives OK without having saved is saved here: a save that fails
    // then raises, and the style is again what it was before the editor opened, name, file name
    // and preview included.
    bool Edit();
    // Appends a default style, makes it current and edits it. A save that fails raises, and the
    // new style is gone again, the style current before it current again.
    bool New();
    // New, keeping the new style only when the editor accepts it: otherwise it goes again (it
    // has no file), and the list and the current style are as they were before.
    bool NewIfAccepted();

    std::vector<std::unique_ptr<TQStyle>> Styles;
    int32_t ItemIndex = 0;
    std::string EditorCaption;
};
