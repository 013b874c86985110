// SPDX-License-Identifier: GPL-3.0-or-later
// Stroke patterns: hand-drawn cubic curves in up to six frames, one "*.stk" file per pattern in
// the application folder. The Pattern tool lays each stroke along a random curve of a random
// frame of the current pattern; the main window and the pattern editor show the frames as
// thumbnails.
//
// The "*.stk" file, little-endian, without magic number or version:
//   u32 F                       frame count
//   F frame records:  u32 M     curve count
//                     M x 32    curves (x then y of start, control 1, control 2, end; i32 each)
// Frames without curves are written but dropped when the file is read back.
#pragma once

#include "engine/QTypes.h"
#include "platform/rtl/Types.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TBitmap32;
class TStream;

// The most frames that AddPatternFrame lets a pattern have; a file may hold more.
inline constexpr int32_t MaxFrames = 6;

// The most frames a pattern file may hold. The editor makes at most MaxFrames; a file with far
// more is damaged, and its thumbnail would keep the start busy.
inline constexpr int32_t MaxFileFrames = 1000;

// The largest coordinate magnitude a pattern file may hold. Curves are drawn in the editor's
// pixels (about 210 across) and the mouse cannot reach anywhere near this far; a file beyond it
// is damaged, and its strokes would walk millions of steps.
inline constexpr int32_t MaxCurveCoordinate = 100000;

class TPatternFrame {
public:
    void AddCurve(const TBezierCurve& Curve) { Curves.push_back(Curve); }
    int32_t Count() const { return static_cast<int32_t>(Curves.size()); }
    // Raises "TPatternFrame.GetCurves: Index out of bounds(Index)" outside 0 .. Count - 1.
    TBezierCurve GetCurves(int32_t Index) const;
    void Clear() { Curves.clear(); }
    // Curve Random(Count); the only curve, without a draw, when Count = 1. The frame must hold a
    // curve: an empty frame raises an Exception.
    TBezierCurve RandomCurve() const;

    // One frame record. Loading replaces the curves; a count beyond the stream's bytes or a
    // coordinate beyond MaxCurveCoordinate raises "Damaged pattern file: ..." and leaves the
    // frame empty.
    void SaveToStream(TStream& Stream) const;
    void LoadFromStream(TStream& Stream);

    TBezierCurves Curves;
};

class TPattern {
public:
    TPattern() = default;
    ~TPattern() { ClearFrames(); }
    TPattern(const TPattern&) = delete;
    TPattern& operator=(const TPattern&) = delete;

    // Appends Frame (the pattern owns it) and returns it; a pattern that already has MaxFrames
    // frames raises "AddPatternFrame: MaxFrames reached" and stays as it is.
    TPatternFrame& AddPatternFrame(std::unique_ptr<TPatternFrame> Frame);
    int32_t FrameCount() const { return static_cast<int32_t>(Frames.size()); }
    // Raises "TPattern.GetFrames: Index out of bounds(Index)" outside 0 .. FrameCount - 1.
    TPatternFrame& GetFrames(int32_t Index) const;
    void ClearFrames() { Frames.clear(); }
    // Deletes the file named by FileName, when it has one. A file that cannot be deleted raises
    // "Cannot delete file "<name>". <reason>"; one that is gone already is no error.
    void DeleteFile();
    // The bitmap that DrawFrame and Thumbnail draw into; borrowed.
    void SetTarget(TBitmap32* Bitmap) { Target = Bitmap; }

    // Bounds := the extent of every point of every curve (control points included), starting
    // from (10000, 10000, -10000, -10000), which a pattern without curves keeps.
    void ComputeBounds();
    // Computes the bounds, then draws frame FrameIndex into Target at Min(width, height) / 214
    // target pixels per pattern pixel, each point moved by (-Bounds.Left, -Bounds.Top) first (the
    // pattern's top-left corner goes to the target's), as the control polygons of the eight
    // pieces of each curve in antialiased black. With Clear the target is first filled light
    // grey ($FFCCCCCC). A pattern whose points share one x or one y draws nothing and
    // leaves the target as it was. Raises an Exception without a target or for an index that
    // is not a frame's.
    void DrawFrame(int32_t FrameIndex, bool Clear);
    // Draws every frame into Target without clearing, one over the other (the bounds computed
    // once for all of them), and returns a new Width x Height bitmap holding the whole target
    // reduced with the Mitchell filter.
    std::unique_ptr<TBitmap32> Thumbnail(int32_t Width, int32_t Height);
    // A frame holding a curve, for the Pattern tool: the frame of the only curve without a
    // draw; otherwise frames are drawn at random until one holds a curve. A pattern without
    // any curve raises an Exception.
    TPatternFrame& RandomFrame() const;

    // Reading raises the stream's or a "Damaged pattern file: ..." Exception; a file that fails
    // to load leaves the pattern without frames and its FileName unchanged.
    void LoadFromFile(const std::string& FileName);
    void LoadFromStream(TStream& Stream);
    // Writes to FileName, or to a new "strokeNNNN.stk" of the application folder when the
    // pattern has no file yet.
    void Save();
    void SaveToFile(const std::string& FileName);
    void SaveToStream(TStream& Stream) const;

    std::vector<std::unique_ptr<TPatternFrame>> Frames;
    std::string FileName;
    TRect Bounds;
    TBitmap32* Target = nullptr;

private:
    // DrawFrame with the Bounds as they stand.
    void DrawFrameInBounds(int32_t FrameIndex, bool Clear);
    void DrawCurvePiece(const TPoint& Q0, const TPoint& Q1, const TPoint& Q2, const TPoint& Q3);
};

// The patterns of the application folder, each loaded from its "*.stk" file.
class TPatternManager {
public:
    // Loads every "*.stk" file of the application folder; a file that fails to load is skipped
    // and its message ("<file>: <why>") appended as one line to "quor.log" in the current
    // directory. When that log cannot be opened, created or written (a read-only current
    // directory, a full disk), the message goes to stderr instead, followed by why the log
    // failed, each line led by "quorvelle: "; loading goes on either way.
    TPatternManager();
    ~TPatternManager();
    TPatternManager(const TPatternManager&) = delete;
    TPatternManager& operator=(const TPatternManager&) = delete;

    int32_t Count() const { return static_cast<int32_t>(Patterns.size()); }
    // Raises "TPatternManager.GetPattern: Index out of bounds(Index)" outside 0 .. Count - 1.
    TPattern& GetPattern(int32_t Index) const;
    TPattern& Current() const { return GetPattern(ItemIndex); }
    // Stored unchecked.
    void SetIndex(int32_t Index) { ItemIndex = Index; }
    // Deletes the current pattern and its file; the first pattern becomes current, or -1 when
    // none remains. Nothing happens while ItemIndex is below 0. A file that cannot be deleted
    // raises and the pattern stays, listed and current.
    void Delete();
    // Pads the current pattern to five frames and runs the pattern editor on it. Accepted: the
    // pattern is saved and the result is true. A save that fails on the editor's Accept raises
    // to the editor, which stays open (EditorHooks.h). Otherwise every frame gets its curves
    // back and the padding stays. An editor that gives OK without having saved is saved here: a
    // save that fails then raises, and the pattern is again what it was before the editor
    // opened, its frame count included.
    bool Edit();
    // Appends a pattern of five empty frames, makes it current and edits it. A save that fails
    // raises, and the new pattern is gone again, the pattern current before it current again.
    bool New();
    // New, keeping the new pattern only when the editor accepts it: otherwise it goes again (it
    // has no file), and the list and the current pattern are as they were before.
    bool NewIfAccepted();

    std::vector<std::unique_ptr<TPattern>> Patterns;
    int32_t ItemIndex = 0;
    std::string EditorCaption;
};
