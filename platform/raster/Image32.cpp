// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/raster/Image32.h"

#include "platform/rtl/Round.h"

#include <algorithm>
#include <cmath>

namespace {

// Client coordinates far beyond any screen, so a huge zoom cannot overflow a pixel rectangle.
constexpr double CoordinateLimit = 1 << 30;

int ToPixel(double V) {
    return static_cast<int>(std::clamp(std::floor(V), -CoordinateLimit, CoordinateLimit));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Scale and placement
// ---------------------------------------------------------------------------------------------

TCustomImage32::TCustomImage32() : FLayers(std::make_unique<TLayerCollection>(this)) {}

TCustomImage32::~TCustomImage32() {
    // A view that goes away asks its display for nothing more. The layers go first: their
    // OnDestroy handlers may still look at the view.
    OnRepaintRequest = nullptr;
    OnCursorChange = nullptr;
    OnQueryMousePosition = nullptr;
    FLayers->Clear();
}

void TCustomImage32::SetScale(float Value) {
    if (!(Value > 0.0f) || !std::isfinite(Value) || Value == FScale) return;
    FScale = Value;
    Changed();
}

void TCustomImage32::SetScaleMode(TScaleMode Value) {
    if (Value == FScaleMode) return;
    FScaleMode = Value;
    Changed();
}

float TCustomImage32::ScaleX() const {
    const int bw = Bitmap.Width(), bh = Bitmap.Height();
    const int vw = FViewportWidth, vh = FViewportHeight;
    const bool fits = bw > 0 && bh > 0 && vw > 0 && vh > 0;
    switch (FScaleMode) {
    case smStretch:
        return fits ? static_cast<float>(static_cast<double>(vw) / bw) : 1.0f;
    case smScale:
        return FScale;
    case smOptimal:
    case smOptimalScaled: {
        const double s = FScaleMode == smOptimal ? 1.0 : FScale;
        if (!fits || (bw * s <= vw && bh * s <= vh)) return static_cast<float>(s);
        return static_cast<float>(std::min(static_cast<double>(vw) / bw, static_cast<double>(vh) / bh));
    }
    default:
        return 1.0f;
    }
}

float TCustomImage32::ScaleY() const {
    const int bw = Bitmap.Width(), bh = Bitmap.Height();
    if (FScaleMode == smStretch && bw > 0 && bh > 0 && FViewportWidth > 0 && FViewportHeight > 0)
        return static_cast<float>(static_cast<double>(FViewportHeight) / bh);
    return ScaleX();
}

void TCustomImage32::GetScaledSize(double& Width, double& Height) const {
    Width = Bitmap.Width() * static_cast<double>(ScaleX());
    Height = Bitmap.Height() * static_cast<double>(ScaleY());
}

void TCustomImage32::GetOffsets(float& X, float& Y) const {
    X = 0.0f;
    Y = 0.0f;
}

float TCustomImage32::OffsetHorz() const {
    float x, y;
    GetOffsets(x, y);
    return x;
}

float TCustomImage32::OffsetVert() const {
    float x, y;
    GetOffsets(x, y);
    return y;
}

void TCustomImage32::SetViewportSize(int Width, int Height) {
    Width = std::max(Width, 0);
    Height = std::max(Height, 0);
    if (Width == FViewportWidth && Height == FViewportHeight) return;
    FViewportWidth = Width;
    FViewportHeight = Height;
    Changed();
}

TPoint TCustomImage32::ControlToBitmap(const TPoint& P) const {
    float ox, oy;
    GetOffsets(ox, oy);
    return TPoint{ToPixel((P.X - static_cast<double>(ox)) / ScaleX()),
                  ToPixel((P.Y - static_cast<double>(oy)) / ScaleY())};
}

TPoint TCustomImage32::BitmapToControl(const TPoint& P) const {
    float ox, oy;
    GetOffsets(ox, oy);
    return TPoint{ToPixel(P.X * static_cast<double>(ScaleX()) + ox),
                  ToPixel(P.Y * static_cast<double>(ScaleY()) + oy)};
}

TRect TCustomImage32::GetBitmapRect() const {
    float ox, oy;
    GetOffsets(ox, oy);
    double w, h;
    GetScaledSize(w, h);
    return TRect{ToPixel(ox), ToPixel(oy), ToPixel(ox + w), ToPixel(oy + h)};
}

// ---------------------------------------------------------------------------------------------
// Painting
// ---------------------------------------------------------------------------------------------

void TCustomImage32::Changed() {
    Invalidate();
}

void TCustomImage32::Invalidate() {
    FBufferValid = false;
    if (OnRepaintRequest) OnRepaintRequest(false);
}

void TCustomImage32::Repaint() {
    FBufferValid = false;
    // Inside a paint the display cannot paint again at once; it is asked for a later paint.
    if (OnRepaintRequest) OnRepaintRequest(!FPainting);
}

void TCustomImage32::UpdateBuffer() {
    if (FPainting) return;
    if (FBufferValid && Buffer.Width() == FViewportWidth && Buffer.Height() == FViewportHeight) return;
    FPainting = true;
    FBufferValid = true;
    try {
        if (Buffer.Width() != FViewportWidth || Buffer.Height() != FViewportHeight)
            Buffer.SetSize(FViewportWidth, FViewportHeight);
        Buffer.Clear(Color);
        PaintBitmap();
        FLayers->PaintLayers(Buffer);
    } catch (...) {
        FPainting = false;
        FBufferValid = false;
        throw;
    }
    FPainting = false;
}

void TCustomImage32::PaintBitmap() {
    if (Bitmap.Empty() || Buffer.Empty()) return;
    float ox, oy;
    GetOffsets(ox, oy);
    const double sx = ScaleX(), sy = ScaleY();
    if (sx == 1.0 && sy == 1.0 && ox == std::floor(ox) && oy == std::floor(oy)) {
        Buffer.Draw(static_cast<int>(ox), static_cast<int>(oy), Bitmap);
        return;
    }
    // Only the visible part of the bitmap is stretched, widened by a few pixels so that the
    // filters near the viewport's edges still see their neighbours.
    constexpr int Margin = 3;
    const int bx0 = std::max(ToPixel(-ox / sx) - Margin, 0);
    const int by0 = std::max(ToPixel(-oy / sy) - Margin, 0);
    const int bx1 = std::min(ToPixel(std::ceil((FViewportWidth - ox) / sx)) + Margin, Bitmap.Width());
    const int by1 = std::min(ToPixel(std::ceil((FViewportHeight - oy) / sy)) + Margin, Bitmap.Height());
    if (bx0 >= bx1 || by0 >= by1) return;
    const TRect dst{ToPixel(ox + bx0 * sx), ToPixel(oy + by0 * sy), ToPixel(ox + bx1 * sx),
                    ToPixel(oy + by1 * sy)};
    Buffer.DrawStretched(dst, TRect{bx0, by0, bx1, by1}, Bitmap);
}

// ---------------------------------------------------------------------------------------------
// Input
// ---------------------------------------------------------------------------------------------

void TCustomImage32::SetCursor(TCursor Value) {
    if (Value == FCursor) return;
    FCursor = Value;
    if (OnCursorChange) OnCursorChange(Value);
}

// Handlers run from copies: a handler may replace the view's events while it runs.

void TCustomImage32::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    TCustomLayer* layer = FLayers->MouseDown(X, Y);
    if (auto handler = OnMouseDown) handler(this, Button, Shift, X, Y, layer);
}

void TCustomImage32::MouseMove(TShiftState Shift, int X, int Y) {
    TCustomLayer* layer = FLayers->MouseMove(X, Y);
    if (auto handler = OnMouseMove) handler(this, Shift, X, Y, layer);
}

void TCustomImage32::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    TCustomLayer* layer = FLayers->MouseUp(X, Y);
    if (auto handler = OnMouseUp) handler(this, Button, Shift, X, Y, layer);
}

void TCustomImage32::MouseLeave() {
    if (auto handler = OnMouseLeave) handler(this);
}

bool TCustomImage32::MouseWheel(TShiftState Shift, int WheelDelta, const TPoint& MousePos) {
    bool handled = false;
    if (WheelDelta == 0) return handled;
    if (auto handler = WheelDelta < 0 ? OnMouseWheelDown : OnMouseWheelUp)
        handler(this, Shift, MousePos, handled);
    return handled;
}

void TCustomImage32::KeyDown(uint16_t& Key, TShiftState Shift) {
    if (auto handler = OnKeyDown) handler(this, Key, Shift);
}

void TCustomImage32::KeyUp(uint16_t& Key, TShiftState Shift) {
    if (auto handler = OnKeyUp) handler(this, Key, Shift);
}

// ---------------------------------------------------------------------------------------------
// Scrolling
// ---------------------------------------------------------------------------------------------

int TCustomImgView32::HorzScrollRange() const {
    double w, h;
    GetScaledSize(w, h);
    return std::max(ToPixel(std::ceil(w)) - ViewportWidth(), 0);
}

int TCustomImgView32::VertScrollRange() const {
    double w, h;
    GetScaledSize(w, h);
    return std::max(ToPixel(std::ceil(h)) - ViewportHeight(), 0);
}

int TCustomImgView32::ScrollX() const {
    return std::clamp(FScrollX, 0, HorzScrollRange());
}

int TCustomImgView32::ScrollY() const {
    return std::clamp(FScrollY, 0, VertScrollRange());
}

void TCustomImgView32::SetScroll(int X, int Y) {
    // The position set belongs to the bitmap as it is now, even if no Changed() told of its size.
    FPictureWidth = Bitmap.Width();
    FPictureHeight = Bitmap.Height();
    MoveTo(std::clamp(X, 0, HorzScrollRange()), std::clamp(Y, 0, VertScrollRange()));
}

void TCustomImgView32::Changed() {
    TCustomImage32::Changed();
    if (Bitmap.Width() != FPictureWidth || Bitmap.Height() != FPictureHeight) {
        FPictureWidth = Bitmap.Width();
        FPictureHeight = Bitmap.Height();
        FScrollX = 0;
        FScrollY = 0;
    }
    MoveTo(ScrollX(), ScrollY());
}

TCustomImgView32::TScrollState TCustomImgView32::ScrollState() const {
    return TScrollState{ScrollX(),         ScrollY(),       HorzScrollRange(),
                        VertScrollRange(), ViewportWidth(), ViewportHeight()};
}

void TCustomImgView32::MoveTo(int X, int Y) {
    FScrollX = X;
    FScrollY = Y;
    const TScrollState state = ScrollState();
    if (state == FToldState) return;
    // Moved from where the view was last shown.
    const bool moved = state.X != FToldState.X || state.Y != FToldState.Y;
    FToldState = state;
    if (moved) Invalidate();
    if (auto handler = OnScrollStateChange) handler();
    if (moved)
        if (auto handler = OnScroll) handler(this);
}

void TCustomImgView32::ScrollToCenter(int X, int Y) {
    const int64_t cx = Round64(X * static_cast<double>(ScaleX()));
    const int64_t cy = Round64(Y * static_cast<double>(ScaleY()));
    const auto limit = [](int64_t V) {
        return static_cast<int>(std::clamp<int64_t>(V, INT32_MIN, INT32_MAX));
    };
    SetScroll(limit(cx - ViewportWidth() / 2), limit(cy - ViewportHeight() / 2));
}

void TCustomImgView32::GetOffsets(float& X, float& Y) const {
    double w, h;
    GetScaledSize(w, h);
    const int vw = ViewportWidth(), vh = ViewportHeight();
    X = w <= vw ? static_cast<float>(std::floor((vw - w) / 2)) : static_cast<float>(-ScrollX());
    Y = h <= vh ? static_cast<float>(std::floor((vh - h) / 2)) : static_cast<float>(-ScrollY());
}
