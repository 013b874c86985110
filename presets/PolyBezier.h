// SPDX-License-Identifier: GPL-3.0-or-later
// The editable curve shape: a chain of straight lines and cubic Bezier curves from an origin,
// whose end and control points can be hit, selected and dragged with the mouse, painted with
// handles into a view's buffer. A wide band (BandWidth above 1) paints as its two edges and two
// round caps instead: the Free Hand tool's stroke band.
//
// Shape coordinates are view pixels less ViewOffset; nothing here knows about the view's zoom.
#pragma once

#include "engine/QTypes.h"
#include "platform/raster/Color32.h"
#include "platform/rtl/Events.h"
#include "platform/rtl/Types.h"

#include <cstdint>
#include <utility>
#include <vector>

class TBitmap32;

// One piece of a chain, 25 bytes without gaps. Kind 0 is a line to C1 (C2 and End unused);
// kind 1 a cubic through the controls C1 and C2 to End. A piece starts where the one before it
// ends, the first one at the shape's origin. The coordinates are single fields, read and written
// through the point accessors, so that nothing ever points at a misaligned point.
#pragma pack(push, 1)
struct TPolyBezierSegment {
    uint8_t Kind = 0;
    int32_t C1X = 0, C1Y = 0;
    int32_t C2X = 0, C2Y = 0;
    int32_t EndX = 0, EndY = 0;

    TPoint C1() const { return TPoint{C1X, C1Y}; }
    TPoint C2() const { return TPoint{C2X, C2Y}; }
    TPoint End() const { return TPoint{EndX, EndY}; }
    void SetC1(const TPoint& P) {
        C1X = P.X;
        C1Y = P.Y;
    }
    void SetC2(const TPoint& P) {
        C2X = P.X;
        C2Y = P.Y;
    }
    void SetEnd(const TPoint& P) {
        EndX = P.X;
        EndY = P.Y;
    }
};
#pragma pack(pop)
static_assert(sizeof(TPolyBezierSegment) == 25);

constexpr uint8_t skLine = 0;
constexpr uint8_t skCubic = 1;

// The handle picture new shapes borrow. The main window installs its own at start-up; without
// one (or after nullptr) a small built-in picture is used.
void SetPolyBezierHandleBitmap(TBitmap32* Bitmap);
TBitmap32* PolyBezierHandleBitmap();

class TPolyBezier {
public:
    explicit TPolyBezier(const TPoint& AOrigin);
    TPolyBezier(const TPolyBezier&) = delete;
    TPolyBezier& operator=(const TPolyBezier&) = delete;
    ~TPolyBezier();

    void SetOnChange(TNotifyEvent Event) { OnChange = std::move(Event); }
    // Fires OnChange with the shape as Sender.
    void Changed();
    // Always notifies.
    void SetSelected(bool Value);
    // Notifies only when the colour differs.
    void SetColor(TColor32 Value);
    // Store without notification.
    void ShowHandles(bool Value) { HandlesVisible = Value; }
    void SetBandWidth(float Value) { BandWidth = Value; }

    int32_t SegmentCount() const { return static_cast<int32_t>(Segments.size()); }
    // A copy; raises "TPolyBezier.GetSegment: Index out of bounds(Index)" outside the chain.
    TPolyBezierSegment GetSegment(int32_t Index) const;
    // Appends; returns the new index. No notification.
    int32_t AddSegment(const TPolyBezierSegment& Segment);
    static TPolyBezierSegment MakeCubicSegment(const TPoint& C1, const TPoint& C2, const TPoint& End);
    // Appends a cubic and selects its end point; notifies.
    void AddBezier(const TPoint& C1, const TPoint& C2, const TPoint& End);
    // Origin for Index <= 0, else the end of segment Index - 1.
    TPoint SegmentStart(int32_t Index) const;
    TPoint SelectedStart() const { return SegmentStart(SelectedSegment); }
    // The segment as a cubic (start, C1, C2, End); a line gets both controls at its midpoint.
    // Index errors as GetSegment.
    TBezierCurve GetBezier(int32_t Index) const;

    // Whether a point of the shape lies within HitTolerance (Manhattan distance, strictly less)
    // of (X, Y) - ViewOffset: the origin first, then each segment's points in order; the first
    // hit becomes the selection. ViewOffset := Offset. Never notifies.
    bool HitTest(const TPoint& Offset, int X, int Y);
    // Moves the selected point to (X, Y) (shape coordinates). With Straighten, a cubic's two
    // controls then go to the midpoint of its start and end. Notifies. Without a selected point
    // nothing moves (and nothing is notified).
    void MoveSelected(int X, int Y, bool Straighten);
    // Moves point Handle (2 C1, 3 C2, 4 End; a line's point whatever Handle) of the selected
    // segment; notifies. Without a selected segment nothing happens.
    void MoveHandle(int Handle, int X, int Y);
    // Draws the shape into Bitmap, shifted by Offset (ViewOffset := Offset, Target := Bitmap).
    void Paint(const TPoint& Offset, TBitmap32& Bitmap);

    TPoint Origin;
    std::vector<TPolyBezierSegment> Segments;
    TNotifyEvent OnChange;
    TBitmap32* Target = nullptr; // borrowed: the bitmap of the current Paint
    bool Selected = false;       // smooth drawing: antialiased lines and stippled tangent arms
    int32_t HitTolerance = 8;
    int32_t SelectedSegment = -1; // -1: the origin
    // 1 a line's point; 2 C1, 3 C2, 4 End of a cubic; -1 after the origin was hit.
    int32_t SelectedHandle = 0;
    TColor32 Color = 0;
    TBitmap32* HandleBitmap = nullptr; // borrowed
    TPoint ViewOffset;
    bool HandlesVisible = false;
    float BandWidth = 1.0f; // 1: a plain curve; above 1: a band of this half width

private:
    bool WithinTolerance(const TPoint& P, const TPoint& Local) const;
    TPoint ToView(const TPoint& P) const { return Point(P.X + ViewOffset.X, P.Y + ViewOffset.Y); }
    void PaintHandle(const TPoint& P, bool Picture);
    void PaintLine(const TPoint& A, const TPoint& B, bool Stippled);
    void PaintPiece(const TPoint& Q0, const TPoint& Q1, const TPoint& Q2, const TPoint& Q3);
    void BandOffsets(const TPoint& A, const TPoint& B, TPoint& A1, TPoint& B1, TPoint& A2, TPoint& B2) const;
    void PaintBandCaps(const TPoint& Start, const TPoint& C1, const TPoint& C2, const TPoint& End);
    void SetBandStipple();
};
