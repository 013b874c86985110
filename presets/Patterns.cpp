// SPDX-License-Identifier: GPL-3.0-or-later
#include "presets/Patterns.h"

#include "engine/Bezier.h"
#include "platform/formats/PictureFormats.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Random.h"
#include "platform/rtl/Round.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/StringList.h"
#include "platform/system/ApplicationFolder.h"
#include "platform/system/FolderFiles.h"
#include "presets/CurveRecords.h"
#include "presets/EditorHooks.h"
#include "presets/PresetFiles.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <limits>
#include <utility>
#include <vector>

namespace {

constexpr int64_t CurveRecordBytes = 32;
constexpr int64_t CountBytes = 4;

// The pattern pixels that the pattern editor's view shows across: DrawFrame scales the target's
// shorter side to this many.
constexpr double FrameViewSize = 214.0;

constexpr TColor32 ThumbnailGrey = 0xFFCCCCCC;
constexpr TColor32 CurveInk = 0xFF000000;

// Bytes left between the stream's position and its end.
int64_t Remaining(TStream& Stream) {
    return std::max<int64_t>(Stream.Size() - Stream.Position(), 0);
}

// A count of the file; the count must be followed by at least Count x RecordBytes bytes.
uint32_t ReadCount(TStream& Stream, int64_t RecordBytes, const char* What) {
    uint32_t count = 0;
    if (!Stream.TryReadValue(count)) RaiseDamaged("pattern", std::string("it ends before its ") + What);
    if (static_cast<int64_t>(count) * RecordBytes > Remaining(Stream))
        RaiseDamaged("pattern", std::string("the ") + What + " " + std::to_string(count) +
                                    " is more than the file holds");
    return count;
}

bool InCoordinateRange(const TPoint& P) {
    return std::abs(int64_t{P.X}) <= MaxCurveCoordinate && std::abs(int64_t{P.Y}) <= MaxCurveCoordinate;
}

// Round(V) brought into the 32-bit range first, so that curves of any size added in memory
// still draw (the lines are clipped to the target anyway).
int32_t RoundToPixel(double V) {
    constexpr double limit = std::numeric_limits<int32_t>::max() / 2;
    return Round(std::clamp(V, -limit, limit));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TPatternFrame

TBezierCurve TPatternFrame::GetCurves(int32_t Index) const {
    if (Index < 0 || Index >= Count()) RaiseException(IndexErrorText(Index, "TPatternFrame.GetCurves"));
    return Curves[static_cast<size_t>(Index)];
}

TBezierCurve TPatternFrame::RandomCurve() const {
    if (Curves.empty()) RaiseException("TPatternFrame.RandomCurve: the frame holds no curve");
    if (Count() == 1) return Curves[0];
    return Curves[static_cast<size_t>(Random(Count()))];
}

void TPatternFrame::SaveToStream(TStream& Stream) const {
    Stream.WriteValue(static_cast<uint32_t>(Curves.size()));
    WriteCurves(Stream, Curves);
}

void TPatternFrame::LoadFromStream(TStream& Stream) {
    Curves.clear();
    TBezierCurves curves(ReadCount(Stream, CurveRecordBytes, "curve count"));
    ReadCurves(Stream, curves);
    for (const TBezierCurve& c : curves)
        if (!InCoordinateRange(c.P0) || !InCoordinateRange(c.C1) || !InCoordinateRange(c.C2) ||
            !InCoordinateRange(c.P3))
            RaiseDamaged("pattern", "a curve point lies further than " + std::to_string(MaxCurveCoordinate) +
                                        " pixels from the origin");
    Curves = std::move(curves);
}

// ---------------------------------------------------------------------------------------------
// TPattern: frames

TPatternFrame& TPattern::AddPatternFrame(std::unique_ptr<TPatternFrame> Frame) {
    if (FrameCount() >= MaxFrames) RaiseException("AddPatternFrame: MaxFrames reached");
    Frames.push_back(std::move(Frame));
    return *Frames.back();
}

TPatternFrame& TPattern::GetFrames(int32_t Index) const {
    if (Index < 0 || Index >= FrameCount()) RaiseException(IndexErrorText(Index, "TPattern.GetFrames"));
    return *Frames[static_cast<size_t>(Index)];
}

void TPattern::DeleteFile() {
    if (!FileName.empty()) RemoveFile(FileName);
}

TPatternFrame& TPattern::RandomFrame() const {
    int64_t total = 0;
    for (const auto& frame : Frames)
        total += frame->Count();
    // A new pattern whose editor was cancelled holds five empty frames; no draw can find a curve.
    if (total == 0) RaiseException("The pattern holds no curve to draw");
    if (total == 1)
        for (const auto& frame : Frames)
            if (frame->Count() == 1) return *frame;
    for (;;) {
        const int32_t index = FrameCount() > 1 ? Random(FrameCount()) : 0;
        if (Frames[static_cast<size_t>(index)]->Count() > 0) return *Frames[static_cast<size_t>(index)];
    }
}

// ---------------------------------------------------------------------------------------------
// TPattern: drawing

void TPattern::ComputeBounds() {
    Bounds = Rect(10000, 10000, -10000, -10000);
    for (const auto& frame : Frames)
        for (const TBezierCurve& c : frame->Curves)
            for (const TPoint& p : {c.P0, c.C1, c.C2, c.P3}) {
                if (p.X < Bounds.Left) Bounds.Left = p.X;
                if (p.X > Bounds.Right) Bounds.Right = p.X;
                if (p.Y < Bounds.Top) Bounds.Top = p.Y;
                if (p.Y > Bounds.Bottom) Bounds.Bottom = p.Y;
            }
}

void TPattern::DrawFrame(int32_t FrameIndex, bool Clear) {
    if (Target == nullptr) RaiseException("TPattern.DrawFrame: no target bitmap");
    GetFrames(FrameIndex);
    ComputeBounds();
    DrawFrameInBounds(FrameIndex, Clear);
}

void TPattern::DrawFrameInBounds(int32_t FrameIndex, bool Clear) {
    const TPatternFrame& frame = GetFrames(FrameIndex);
    if (Bounds.Right == Bounds.Left || Bounds.Bottom == Bounds.Top) return;
    if (Clear) Target->Clear(ThumbnailGrey);
    const float scale =
        static_cast<float>(std::min(Target->Width() / FrameViewSize, Target->Height() / FrameViewSize));
    // The pattern's top-left corner goes to the target's, so the whole pattern shows wherever it
    // was drawn in the editor.
    auto place = [&](const TPoint& P) {
        return Point(RoundToPixel((static_cast<double>(P.X) - Bounds.Left) * scale),
                     RoundToPixel((static_cast<double>(P.Y) - Bounds.Top) * scale));
    };
    TBezierHelper helper;
    for (const TBezierCurve& c : frame.Curves)
        helper.Subdivide(place(c.P0), place(c.C1), place(c.C2), place(c.P3),
                         [this](const TPoint& Q0, const TPoint& Q1, const TPoint& Q2, const TPoint& Q3) {
                             DrawCurvePiece(Q0, Q1, Q2, Q3);
                         });
}

void TPattern::DrawCurvePiece(const TPoint& Q0, const TPoint& Q1, const TPoint& Q2, const TPoint& Q3) {
    Target->LineAS(Q0.X, Q0.Y, Q1.X, Q1.Y, CurveInk);
    Target->LineAS(Q1.X, Q1.Y, Q2.X, Q2.Y, CurveInk);
    Target->LineAS(Q2.X, Q2.Y, Q3.X, Q3.Y, CurveInk);
}

std::unique_ptr<TBitmap32> TPattern::Thumbnail(int32_t Width, int32_t Height) {
    if (Target == nullptr) RaiseException("TPattern.Thumbnail: no target bitmap");
    // The bounds are the same for every frame: computed once, not once per frame.
    ComputeBounds();
    for (int32_t i = 0; i < FrameCount(); ++i)
        DrawFrameInBounds(i, false);
    auto result = std::make_unique<TBitmap32>(Width, Height);
    // The target is the caller's: its drawing properties are lent for the reduction only.
    const TStretchFilter filter = Target->StretchFilter;
    const TDrawMode mode = Target->DrawMode;
    Target->StretchFilter = sfMitchell;
    Target->DrawMode = dmOpaque;
    result->DrawStretched(result->BoundsRect(), Target->BoundsRect(), *Target);
    Target->StretchFilter = filter;
    Target->DrawMode = mode;
    return result;
}

// ---------------------------------------------------------------------------------------------
// TPattern: files

void TPattern::LoadFromFile(const std::string& FileName) {
    LoadPresetFile(*this, FileName);
}

void TPattern::LoadFromStream(TStream& Stream) {
    ClearFrames();
    // The frames are gathered aside, so a damaged file leaves no half-read pattern behind.
    std::vector<std::unique_ptr<TPatternFrame>> frames;
    const uint32_t count = ReadCount(Stream, CountBytes, "frame count");
    if (count > MaxFileFrames)
        RaiseDamaged("pattern", "the frame count " + std::to_string(count) + " is more than " +
                                    std::to_string(MaxFileFrames));
    for (uint32_t i = 0; i < count; ++i) {
        auto frame = std::make_unique<TPatternFrame>();
        frame->LoadFromStream(Stream);
        if (frame->Count() > 0) frames.push_back(std::move(frame));
    }
    Frames = std::move(frames);
}

void TPattern::Save() {
    // A new file's name is the pattern's only once the file is written.
    SaveToFile(FileName.empty() ? UniqueFileName(AppFolder(), "stroke", ".stk") : FileName);
}

void TPattern::SaveToFile(const std::string& FileName) {
    TAtomicFileStream stream(FileName);
    SaveToStream(stream);
    stream.Close();
    this->FileName = FileName;
}

void TPattern::SaveToStream(TStream& Stream) const {
    Stream.WriteValue(static_cast<uint32_t>(Frames.size()));
    for (const auto& frame : Frames)
        frame->SaveToStream(Stream);
}

// ---------------------------------------------------------------------------------------------
// TPatternManager

TPatternManager::TPatternManager() {
    LoadPresetFiles("*.stk", Patterns);
}

TPatternManager::~TPatternManager() = default;

TPattern& TPatternManager::GetPattern(int32_t Index) const {
    if (Index < 0 || Index >= Count()) RaiseException(IndexErrorText(Index, "TPatternManager.GetPattern"));
    return *Patterns[static_cast<size_t>(Index)];
}

void TPatternManager::Delete() {
    if (ItemIndex < 0) return;
    TPattern& pattern = GetPattern(ItemIndex);
    // A file that stays would bring the pattern back at the next start: it stays listed then.
    pattern.DeleteFile();
    Patterns.erase(Patterns.begin() + ItemIndex);
    ItemIndex = Patterns.empty() ? -1 : 0;
}

bool TPatternManager::Edit() {
    TPattern& pattern = GetPattern(ItemIndex);
    const size_t frameCount = pattern.Frames.size();
    // The editor shows five frame slots.
    while (pattern.FrameCount() < 5)
        pattern.AddPatternFrame(std::make_unique<TPatternFrame>());
    // An editor that is not accepted leaves every frame's curves as they were when it opened.
    std::vector<TBezierCurves> backup;
    for (const auto& frame : pattern.Frames)
        backup.push_back(frame ? frame->Curves : TBezierCurves{});
    auto restoreCurves = [&] {
        for (size_t i = 0; i < backup.size() && i < pattern.Frames.size(); ++i)
            if (pattern.Frames[i]) pattern.Frames[i]->Curves = std::move(backup[i]);
    };
    // The editor saves on its Accept and stays open when that fails; an editor that gives OK
    // without having saved is saved here.
    bool saved = false;
    const TPatternAccept accept = [&] {
        pattern.Save();
        saved = true;
    };
    const int result = RunPatternEditor(pattern, EditorCaption, accept);
    if (saved) return true;
    if (result != mrOk) {
        restoreCurves();
        return false;
    }
    try {
        pattern.Save();
    } catch (...) {
        // What was accepted but could not be saved is not kept: the Pattern tool draws again
        // what the file and the thumbnail hold, from as many frames as before.
        restoreCurves();
        if (pattern.Frames.size() > frameCount)
            pattern.Frames.erase(pattern.Frames.begin() + static_cast<std::ptrdiff_t>(frameCount),
                                 pattern.Frames.end());
        throw;
    }
    return true;
}

bool TPatternManager::New() {
    const int32_t index = ItemIndex;
    auto pattern = std::make_unique<TPattern>();
    for (int i = 0; i < 5; ++i)
        pattern->AddPatternFrame(std::make_unique<TPatternFrame>());
    Patterns.push_back(std::move(pattern));
    ItemIndex = Count() - 1;
    try {
        return Edit();
    } catch (...) {
        // A new pattern that could not be saved goes again, and the pattern before it is current.
        Patterns.pop_back();
        ItemIndex = index;
        throw;
    }
}

bool TPatternManager::NewIfAccepted() {
    const int32_t index = ItemIndex;
    if (New()) return true;
    Patterns.pop_back();
    ItemIndex = index;
    return false;
}
