// SPDX-License-Identifier: GPL-3.0-or-later
#include "presets/PolyBezier.h"

#include "engine/Bezier.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/Fixed.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Round.h"

#include <cmath>
#include <cstdlib>
#include <numbers>

namespace {

constexpr double Pi = std::numbers::pi;

// A 7 x 7 handle: a white square with a dark frame and cut corners.
std::unique_ptr<TBitmap32> MakeBuiltInHandle() {
    auto bitmap = std::make_unique<TBitmap32>(7, 7);
    bitmap->Clear(0xFF202060);
    bitmap->FillRect(1, 1, 6, 6, clWhite32);
    for (const TPoint& corner : {Point(0, 0), Point(6, 0), Point(0, 6), Point(6, 6)})
        bitmap->SetPixel(corner.X, corner.Y, 0x00000000);
    bitmap->DrawMode = dmBlend;
    return bitmap;
}

TBitmap32*& InstalledHandle() {
    static TBitmap32* handle = nullptr;
    return handle;
}

} // namespace

void SetPolyBezierHandleBitmap(TBitmap32* Bitmap) {
    InstalledHandle() = Bitmap;
}

TBitmap32* PolyBezierHandleBitmap() {
    if (InstalledHandle()) return InstalledHandle();
    static const std::unique_ptr<TBitmap32> builtIn = MakeBuiltInHandle();
    return builtIn.get();
}

// ---------------------------------------------------------------------------------------------
// Chain and selection
// ---------------------------------------------------------------------------------------------

TPolyBezier::TPolyBezier(const TPoint& AOrigin) : Origin(AOrigin), HandleBitmap(PolyBezierHandleBitmap()) {}

TPolyBezier::~TPolyBezier() {
    Segments.clear();
}

void TPolyBezier::Changed() {
    if (auto handler = OnChange) handler(this);
}

void TPolyBezier::SetSelected(bool Value) {
    Selected = Value;
    Changed();
}

void TPolyBezier::SetColor(TColor32 Value) {
    if (Value == Color) return;
    Color = Value;
    Changed();
}

TPolyBezierSegment TPolyBezier::GetSegment(int32_t Index) const {
    if (Index < 0 || Index >= SegmentCount()) RaiseException(IndexErrorText(Index, "TPolyBezier.GetSegment"));
    return Segments[static_cast<size_t>(Index)];
}

int32_t TPolyBezier::AddSegment(const TPolyBezierSegment& Segment) {
    Segments.push_back(Segment);
    return SegmentCount() - 1;
}

TPolyBezierSegment TPolyBezier::MakeCubicSegment(const TPoint& C1, const TPoint& C2, const TPoint& End) {
    TPolyBezierSegment segment;
    segment.Kind = skCubic;
    segment.SetC1(C1);
    segment.SetC2(C2);
    segment.SetEnd(End);
    return segment;
}

void TPolyBezier::AddBezier(const TPoint& C1, const TPoint& C2, const TPoint& End) {
    SelectedHandle = 4;
    SelectedSegment = AddSegment(MakeCubicSegment(C1, C2, End));
    Changed();
}

TPoint TPolyBezier::SegmentStart(int32_t Index) const {
    if (Index <= 0) return Origin;
    const TPolyBezierSegment& previous = Segments[static_cast<size_t>(Index - 1)];
    return previous.Kind == skLine ? previous.C1() : previous.End();
}

TBezierCurve TPolyBezier::GetBezier(int32_t Index) const {
    const TPolyBezierSegment segment = GetSegment(Index);
    const TPoint start = SegmentStart(Index);
    if (segment.Kind == skCubic) return TBezierCurve{start, segment.C1(), segment.C2(), segment.End()};
    const TPoint middle = MidPoint(start, segment.C1());
    return TBezierCurve{start, middle, middle, segment.C1()};
}

bool TPolyBezier::WithinTolerance(const TPoint& P, const TPoint& Local) const {
    return std::llabs(int64_t{P.X} - Local.X) + std::llabs(int64_t{P.Y} - Local.Y) < HitTolerance;
}

bool TPolyBezier::HitTest(const TPoint& Offset, int X, int Y) {
    ViewOffset = Offset;
    const TPoint local = Point(X - Offset.X, Y - Offset.Y);
    if (WithinTolerance(Origin, local)) {
        SelectedSegment = -1;
        SelectedHandle = -1;
        return true;
    }
    for (int32_t i = 0; i < SegmentCount(); ++i) {
        const TPolyBezierSegment& segment = Segments[static_cast<size_t>(i)];
        int32_t handle = 0;
        if (segment.Kind == skLine) {
            if (WithinTolerance(segment.C1(), local)) handle = 1;
        } else if (segment.Kind == skCubic) {
            if (WithinTolerance(segment.C1(), local))
                handle = 2;
            else if (WithinTolerance(segment.C2(), local))
                handle = 3;
            else if (WithinTolerance(segment.End(), local))
                handle = 4;
        }
        if (handle != 0) {
            SelectedSegment = i;
            SelectedHandle = handle;
            return true;
        }
    }
    return false;
}

void TPolyBezier::MoveSelected(int X, int Y, bool Straighten) {
    if (SelectedSegment < 0) {
        Origin = Point(X, Y);
        Changed();
        return;
    }
    // A selection that names no point of the chain moves nothing.
    if (SelectedSegment >= SegmentCount()) return;
    TPolyBezierSegment& segment = Segments[static_cast<size_t>(SelectedSegment)];
    if (segment.Kind == skLine) {
        segment.SetC1(Point(X, Y));
    } else if (segment.Kind == skCubic) {
        switch (SelectedHandle) {
        case 2:
            segment.SetC1(Point(X, Y));
            break;
        case 3:
            segment.SetC2(Point(X, Y));
            break;
        case 4:
            segment.SetEnd(Point(X, Y));
            break;
        default:
            return;
        }
        if (Straighten) {
            const TPoint middle = MidPoint(SegmentStart(SelectedSegment), segment.End());
            segment.SetC1(middle);
            segment.SetC2(middle);
        }
    } else {
        return;
    }
    Changed();
}

void TPolyBezier::MoveHandle(int Handle, int X, int Y) {
    if (SelectedSegment < 0 || SelectedSegment >= SegmentCount()) return;
    TPolyBezierSegment& segment = Segments[static_cast<size_t>(SelectedSegment)];
    if (segment.Kind == skLine) {
        segment.SetC1(Point(X, Y));
    } else if (segment.Kind == skCubic && Handle == 2) {
        segment.SetC1(Point(X, Y));
    } else if (segment.Kind == skCubic && Handle == 3) {
        segment.SetC2(Point(X, Y));
    } else if (segment.Kind == skCubic && Handle == 4) {
        segment.SetEnd(Point(X, Y));
    } else {
        return;
    }
    Changed();
}

// ---------------------------------------------------------------------------------------------
// Painting
// ---------------------------------------------------------------------------------------------

void TPolyBezier::PaintHandle(const TPoint& P, bool Picture) {
    const TPoint v = ToView(P);
    if (Picture && HandleBitmap != nullptr) {
        Target->Draw(v.X - HandleBitmap->Width() / 2, v.Y - HandleBitmap->Height() / 2, *HandleBitmap);
        return;
    }
    constexpr TColor32 Black = 0xFF000000;
    Target->LineS(v.X - 2, v.Y - 2, v.X + 2, v.Y - 2, Black);
    Target->LineS(v.X + 2, v.Y - 2, v.X + 2, v.Y + 2, Black);
    Target->LineS(v.X + 2, v.Y + 2, v.X - 2, v.Y + 2, Black);
    Target->LineS(v.X - 2, v.Y + 2, v.X - 2, v.Y - 2, Black);
}

void TPolyBezier::PaintLine(const TPoint& A, const TPoint& B, bool Stippled) {
    const TPoint a = ToView(A), b = ToView(B);
    if (!Selected)
        Target->LineS(a.X, a.Y, b.X, b.Y, Color);
    else if (!Stippled)
        Target->LineAS(a.X, a.Y, b.X, b.Y, Color);
    else
        Target->LineFSP(static_cast<float>(a.X), static_cast<float>(a.Y), static_cast<float>(b.X),
                        static_cast<float>(b.Y));
}

void TPolyBezier::SetBandStipple() {
    Target->StippleStep = 1.0f;
    constexpr TColor32 W = 0xFFFFFFFF, K = 0xFF000000;
    Target->SetStipple({W, W, W, W, K, K, K, K});
}

void TPolyBezier::PaintPiece(const TPoint& Q0, const TPoint& Q1, const TPoint& Q2, const TPoint& Q3) {
    const TPoint q[4] = {ToView(Q0), ToView(Q1), ToView(Q2), ToView(Q3)};
    if (BandWidth <= 1.0f) {
        for (int i = 0; i < 3; ++i) {
            if (Selected)
                Target->LineAS(q[i].X, q[i].Y, q[i + 1].X, q[i + 1].Y, Color);
            else
                Target->LineS(q[i].X, q[i].Y, q[i + 1].X, q[i + 1].Y, Color);
        }
        return;
    }
    SetBandStipple();
    for (int i = 0; i < 3; ++i)
        Target->LineXSP(FixedFromInt(q[i].X), FixedFromInt(q[i].Y), FixedFromInt(q[i + 1].X),
                        FixedFromInt(q[i + 1].Y));
}

void TPolyBezier::BandOffsets(const TPoint& A, const TPoint& B, TPoint& A1, TPoint& B1, TPoint& A2,
                              TPoint& B2) const {
    const double theta = std::atan2(static_cast<double>(B.Y) - A.Y, static_cast<double>(B.X) - A.X);
    // First side: the offset in floats, each end rounded after the addition.
    float a = static_cast<float>(theta + Pi / 2);
    const float nx = static_cast<float>(std::cos(static_cast<double>(a)) * BandWidth);
    const float ny = static_cast<float>(std::sin(static_cast<double>(a)) * BandWidth);
    A1 = Point(Round(A.X + static_cast<double>(nx)), Round(A.Y + static_cast<double>(ny)));
    B1 = Point(Round(B.X + static_cast<double>(nx)), Round(B.Y + static_cast<double>(ny)));
    // Second side: the opposite offset, rounded to whole pixels before it is added.
    a = static_cast<float>(a - Pi);
    const int mx = Round(std::cos(static_cast<double>(a)) * BandWidth);
    const int my = Round(std::sin(static_cast<double>(a)) * BandWidth);
    A2 = Point(A.X + mx, A.Y + my);
    B2 = Point(B.X + mx, B.Y + my);
}

void TPolyBezier::PaintBandCaps(const TPoint& Start, const TPoint& C1, const TPoint& C2, const TPoint& End) {
    SetBandStipple();
    const double t1 = std::atan2(static_cast<double>(C1.Y) - Start.Y, static_cast<double>(C1.X) - Start.X);
    DrawCircleArc(*Target, ToView(Start), 0xFFFFFFFF, BandWidth, static_cast<float>(t1 + Pi / 2),
                  static_cast<float>(t1 + 3 * Pi / 2));
    const double t2 = std::atan2(static_cast<double>(C2.Y) - End.Y, static_cast<double>(C2.X) - End.X);
    DrawCircleArc(*Target, ToView(End), 0xFFFFFFFF, BandWidth, static_cast<float>(t2 + Pi / 2),
                  static_cast<float>(t2 + 3 * Pi / 2));
}

void TPolyBezier::Paint(const TPoint& Offset, TBitmap32& Bitmap) {
    Target = &Bitmap;
    ViewOffset = Offset;
    TBezierHelper helper;
    const TBezierPieceEvent piece = [this](const TPoint& Q0, const TPoint& Q1, const TPoint& Q2,
                                           const TPoint& Q3) { PaintPiece(Q0, Q1, Q2, Q3); };
    for (int32_t i = 0; i < SegmentCount(); ++i) {
        const TPolyBezierSegment segment = Segments[static_cast<size_t>(i)];
        const TPoint start = SegmentStart(i);
        const TPoint c1 = segment.C1(), c2 = segment.C2(), end = segment.End();
        if (segment.Kind == skLine) {
            PaintHandle(start, HandlesVisible);
            PaintHandle(c1, HandlesVisible);
            PaintLine(start, c1, false);
            continue;
        }
        if (segment.Kind != skCubic) continue;
        if (BandWidth == 1.0f) {
            PaintHandle(start, HandlesVisible);
            PaintHandle(end, HandlesVisible);
            if (HandlesVisible) {
                PaintHandle(c1, true);
                PaintHandle(c2, true);
                PaintLine(start, c1, true);
                PaintLine(c2, end, true);
            }
        }
        if (BandWidth <= 1.0f) {
            helper.Subdivide(start, c1, c2, end, piece);
            continue;
        }
        // A band: its two edges, each the curve moved sideways by the band's half width (the
        // start arm's offset for the first half, the end arm's for the second), and round caps.
        TPoint s1, a1, s2, a2, b1, e1, b2, e2;
        BandOffsets(start, c1, s1, a1, s2, a2);
        BandOffsets(c2, end, b1, e1, b2, e2);
        helper.Subdivide(s1, a1, b1, e1, piece);
        helper.Subdivide(s2, a2, b2, e2, piece);
        PaintBandCaps(start, c1, c2, end);
    }
}
