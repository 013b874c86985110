// SPDX-License-Identifier: GPL-3.0-or-later
// The drawing's side on the views: the layers it puts there (curves, overlay, cursor), the
// repaints it asks for, the band strokes along the curve layer's shapes, and the overlay and
// cursor painting.
#include "document/DualImage.h"

#include "document/QStates.h"
#include "engine/Bezier.h"
#include "engine/QTypes.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/Image32.h"
#include "platform/raster/Layers.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Random.h"
#include "platform/rtl/Round.h"
#include "presets/PolyBezier.h"
#include "presets/PolyBezierLayer.h"

#include <cmath>
#include <numbers>

namespace {
// The length in pixels of each black or white dash of the Free Hand cross.
constexpr int CrossDash = 4;

TFloatRect ToFloatRect(const TRect& R) {
    return FloatRect(static_cast<float>(R.Left), static_cast<float>(R.Top), static_cast<float>(R.Right),
                     static_cast<float>(R.Bottom));
}
} // namespace

TBitmap32& TDualImage::SourceBitmap() const {
    return FSrcView->Bitmap;
}

TBitmap32& TDualImage::DestBitmap() const {
    return FDstView->Bitmap;
}

// ---------------------------------------------------------------------------------------------
// Layers

void TDualImage::CreateLayers() {
    FCurveLayer = std::make_unique<TPolyBezierLayer>(FSrcView);
    FCurveLayer->SetOnChange([this](void* Sender) { CurvesChanged(Sender); });
    FCurveLayer->SetSelected(true);

    FOverlayLayer = FSrcView->Layers().Add<TPositionedLayer>();
    FOverlayLayer->SetMouseEvents(false);
    FOverlayLayer->OnPaint = [this](TCustomLayer* Sender, TBitmap32& Buffer) {
        PaintOverlay(Sender, Buffer);
    };
    FOverlayLayer->OnDestroy = [this](void*) { FOverlayLayer = nullptr; };
    FOverlayLayer->SetLocation(ToFloatRect(FSrcView->GetViewportRect()));
    FOverlayLayer->SetScaled(true);

    FCursorLayer = FActiveView->Layers().Add<TPositionedLayer>();
    FCursorLayer->SetMouseEvents(false);
    FCursorLayer->OnPaint = [this](TCustomLayer* Sender, TBitmap32& Buffer) { PaintCursor(Sender, Buffer); };
    FCursorLayer->OnDestroy = [this](void*) { FCursorLayer = nullptr; };
    FCursorLayer->SetLocation(ToFloatRect(FSrcView->GetViewportRect()));
    FCursorLayer->SetScaled(true);
}

TDualImage::~TDualImage() {
    FHistory.reset();
    FCurrentStep.reset();
    FStrokeFile.reset();
    FCurveLayer.reset();
    // The two layers paint through this object, so they leave the views with it.
    for (TPositionedLayer* layer : {FOverlayLayer, FCursorLayer})
        if (layer != nullptr) {
            layer->OnDestroy = nullptr;
            layer->OnPaint = nullptr;
            if (TLayerCollection* owner = layer->LayerCollection()) owner->Remove(layer);
        }
    FFeature.reset();
}

void TDualImage::CurvesChanged(void* /*Sender*/) {}

void TDualImage::RepaintSource() {
    FSrcView->Invalidate();
}

void TDualImage::RepaintDest() {
    FDstView->Changed();
}

void TDualImage::RepaintActive() {
    FActiveView->Invalidate();
}

void TDualImage::SetActiveView(TImgView32* View) {
    if (View == nullptr) return;
    FActiveView = View;
    if (FCursorLayer != nullptr) FCursorLayer->SetLayerCollection(&View->Layers());
    FCurveLayer->SetImage(View);
    FCursorPos = View->MousePosition();
    FSrcView->Invalidate();
    FDstView->Invalidate();
}

void TDualImage::DisableCurveEditing() {
    FCurveLayer->DisableMouseEvents();
}

void TDualImage::EnableCurveEditing() {
    FCurveLayer->EnableMouseEvents();
}

// ---------------------------------------------------------------------------------------------
// Bands

void TDualImage::StrokesAlongCurves() {
    struct TRepaint {
        TDualImage& Self;
        ~TRepaint() { Self.RepaintDest(); }
    } repaint{*this};
    TBezierHelper helper;
    const int32_t n = StrokeCountFor(FStroke.Length, FDensity);
    for (int32_t round = 0; round < n; ++round) {
        if (FCurveLayer->Count() < 1) Abort();
        TPolyBezier* shape = FCurveLayer->GetPolyBeziers(Random(FCurveLayer->Count()));
        if (shape->SegmentCount() != 1) Abort();
        helper.Refit(shape->GetBezier(0), 2 * FStroke.Length);
        for (int32_t j = 0; j < helper.SegmentCount(); ++j) {
            TBezierCurve piece;
            helper.GetSegment(j, piece);
            TPoint points[4] = {piece.P0, piece.C1, piece.C2, piece.P3};
            JitterPoints(points, 2 * FSize, FSize / 5);
            JitterCurveEnds(points);
            piece = TBezierCurve{points[0], points[1], points[2], points[3]};
            if (BezierPolygonLength(piece) > 8.0f) StrokeAlongCurve(piece);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Overlay and cursor

void TDualImage::SetViewBorders(bool Value) {
    if (Value == FViewBorders) return;
    FViewBorders = Value;
    RepaintSource();
}

void TDualImage::SetViewDirections(bool Value) {
    if (Value == FViewDirections) return;
    FViewDirections = Value;
    RepaintSource();
}

void TDualImage::PaintOverlay(void* /*Sender*/, TBitmap32& Buffer) {
    if (FOverlayLayer == nullptr) return;
    // The feature pixels are placed at the bitmap's origin in the view but not zoomed.
    const TFloatRect where = FOverlayLayer->GetAdjustedLocation();
    const int ox = Round(where.Left);
    const int oy = Round(where.Top);
    const int w = FFeature->Width();
    const int h = FFeature->Height();
    if (FViewDirections)
        for (int x = 0; x < w; x += 10)
            for (int y = 0; y < h; y += 10) {
                const TColor32 p = FFeature->Pixel(x, y);
                THeading heading;
                if (DefaultDirectionThreshold > static_cast<int32_t>(GreenComponent(p)))
                    GetGuideDirection(x, y, heading);
                else
                    heading = AlphaComponent(p);
                const float angle =
                    static_cast<float>(heading / -255.0 * 2 * std::numbers::pi - std::numbers::pi);
                Buffer.LineAS(x + ox, y + oy, Round(x + 8 * std::cos(static_cast<double>(angle))) + ox,
                              Round(y + 8 * std::sin(static_cast<double>(angle))) + oy, 0xFF00FFFF);
            }
    if (FViewBorders)
        for (int y = 0; y < h; ++y) {
            const TColor32* row = FFeature->ScanLine(y);
            for (int x = 0; x < w; ++x)
                if (row[x] & 0x80) Buffer.SetPixelS(x + ox, y + oy, 0xFF7F007F);
        }
}

void TDualImage::SetCursorPos(const TPoint& P) {
    FCursorPos = P;
    FCursorAway = false;
    RepaintActive();
}

void TDualImage::HideCursor() {
    if (FCursorAway) return;
    FCursorAway = true;
    RepaintActive();
}

void TDualImage::SetCursorMode(TCursorMode Mode) {
    FCursorMode = Mode;
    if (Mode == cuHidden) {
        if (FCursorLayer != nullptr) FCursorLayer->SetVisible(false);
        FSrcView->SetCursor(crDefault);
    } else if (Mode == cuCircle || Mode == cuCross) {
        if (FCursorLayer != nullptr) FCursorLayer->SetVisible(true);
        FSrcView->SetCursor(crCross);
    }
}

void TDualImage::PaintCursor(void* /*Sender*/, TBitmap32& Buffer) {
    const int x = FCursorPos.X;
    const int y = FCursorPos.Y;
    if (FCursorAway) return;
    switch (FCursorMode) {
    case cuCircle:
        DrawDashedCircle(Buffer, FCursorPos, 0xFFFFFFFF, static_cast<float>(FSize), 0xFF000000);
        break;
    case cuCross:
        // Black and white dashes, as the circle has, so that the cross shows on any paper.
        for (int d = -FSize; d < FSize; ++d) {
            const TColor32 c = ((d + FSize) / CrossDash) % 2 == 0 ? 0xFF000000 : 0xFFFFFFFF;
            Buffer.SetPixelS(x + d, y, c);
            Buffer.SetPixelS(x, y + d, c);
        }
        break;
    default:
        break;
    }
}
