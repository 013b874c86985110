// SPDX-License-Identifier: GPL-3.0-or-later
// Image views without a window: a bitmap shown at a scale in a viewport, with layers on top.
//
// A view model holds what a window on the screen would show: the bitmap, how it is scaled and
// placed in the viewport (the client area less any scroll bars), the layers, and a paint buffer
// of the viewport's size into which the background, the bitmap and then every layer are drawn.
// A display (platform/qt) shows the buffer, tells the model the viewport size and feeds its mouse,
// wheel and key events in; tests do the same by calling the model directly.
//
// Coordinates: "control" (client) pixels of the viewport and bitmap pixels. A bitmap pixel x
// covers the control pixels from x * ScaleX + OffsetHorz on. What a control pixel is on the screen
// is the display's choice (the drawing's views take the screen's device pixels).
//
// The bitmap sends no notification of its own: whoever draws into Bitmap, or gives it another
// size, calls Changed() (or Invalidate()) so that the display repaints.
#pragma once

#include "platform/raster/Bitmap32.h"
#include "platform/raster/Input.h"
#include "platform/raster/Layers.h"
#include "platform/rtl/Events.h"
#include "platform/rtl/Types.h"

#include <functional>
#include <memory>

// How the bitmap's scale is chosen.
enum TScaleMode {
    smNormal = 0,        // 1:1
    smStretch = 1,       // each axis fills the viewport
    smScale = 2,         // the view's Scale
    smResize = 3,        // 1:1 (a display may fit itself to the bitmap)
    smOptimal = 4,       // 1:1, or shrunk to fit the viewport keeping the aspect
    smOptimalScaled = 5, // Scale, or shrunk to fit the viewport keeping the aspect
};

class TCustomImage32;

using TImgMouseEvent = std::function<void(TCustomImage32* Sender, TMouseButton Button, TShiftState Shift,
                                          int X, int Y, TCustomLayer* Layer)>;
using TImgMouseMoveEvent =
    std::function<void(TCustomImage32* Sender, TShiftState Shift, int X, int Y, TCustomLayer* Layer)>;
// MousePos is in client pixels of the viewport. A handler sets Handled to keep the display
// from its own use of the wheel (scrolling).
using TImgWheelEvent =
    std::function<void(TCustomImage32* Sender, TShiftState Shift, const TPoint& MousePos, bool& Handled)>;
using TImgKeyEvent = std::function<void(TCustomImage32* Sender, uint16_t& Key, TShiftState Shift)>;
using TImgNotifyEvent = std::function<void(TCustomImage32* Sender)>;

class TCustomImage32 {
public:
    TCustomImage32();
    TCustomImage32(const TCustomImage32&) = delete;
    TCustomImage32& operator=(const TCustomImage32&) = delete;
    virtual ~TCustomImage32();

    // The picture shown; owned by the view. Call Changed() after changing it.
    TBitmap32 Bitmap;
    // The painted viewport (see UpdateBuffer); layers draw into it.
    TBitmap32 Buffer;
    // Colour of the viewport around and under the bitmap.
    TColor32 Color = 0xFFF0F0F0;

    TLayerCollection& Layers() { return *FLayers; }
    const TLayerCollection& Layers() const { return *FLayers; }

    float Scale() const { return FScale; }
    // A scale that is not a positive number is ignored.
    void SetScale(float Value);
    TScaleMode ScaleMode() const { return FScaleMode; }
    void SetScaleMode(TScaleMode Value);
    // The scale in effect on each axis, from the mode, Scale, the bitmap and the viewport.
    float ScaleX() const;
    float ScaleY() const;
    // Where the bitmap's top-left corner lies in the viewport.
    float OffsetHorz() const;
    float OffsetVert() const;

    // The viewport's size in pixels, set by the display (or a test).
    void SetViewportSize(int Width, int Height);
    int ViewportWidth() const { return FViewportWidth; }
    int ViewportHeight() const { return FViewportHeight; }
    // (0, 0, viewport width, viewport height).
    TRect GetViewportRect() const { return TRect{0, 0, FViewportWidth, FViewportHeight}; }

    // The bitmap pixel under a client pixel (rounded down, so points left of or above the bitmap
    // give negative coordinates), and the client pixel where a bitmap pixel starts.
    TPoint ControlToBitmap(const TPoint& P) const;
    TPoint BitmapToControl(const TPoint& P) const;
    // The bitmap's rectangle in client pixels.
    TRect GetBitmapRect() const;

    // The bitmap or the view's settings changed: the display repaints and re-reads the layout.
    virtual void Changed();
    // The buffer must be painted again; the display is asked to repaint soon.
    void Invalidate();
    // The same, but the display repaints at once.
    void Repaint();
    // Paints the buffer when it is out of date: it takes the viewport's size, is cleared to
    // Color, gets the bitmap at its scale and offset (with the bitmap's DrawMode, MasterAlpha and
    // StretchFilter), then every visible layer in order. A layer that changes the view while it
    // paints leaves the buffer out of date for the next paint.
    void UpdateBuffer();
    bool BufferValid() const { return FBufferValid; }

    // The mouse pointer shown over the view.
    TCursor Cursor() const { return FCursor; }
    void SetCursor(TCursor Value);
    // Where the mouse pointer is now, in client pixels (it may lie outside the viewport), as the
    // display knows it; (0, 0) without a display.
    TPoint MousePosition() const { return OnQueryMousePosition ? OnQueryMousePosition() : TPoint{}; }

    // Input from the display, in client pixels. Each finds the layer under the mouse (or the
    // one that holds it since a press), then fires the matching event with it.
    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
    void MouseMove(TShiftState Shift, int X, int Y);
    void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
    // One notch of the wheel: WheelDelta below 0 (turned toward the user) fires
    // OnMouseWheelDown, above 0 OnMouseWheelUp. Returns what the handler left in Handled.
    bool MouseWheel(TShiftState Shift, int WheelDelta, const TPoint& MousePos);
    void KeyDown(uint16_t& Key, TShiftState Shift);
    void KeyUp(uint16_t& Key, TShiftState Shift);
    // The pointer left the viewport, or the viewport changed its size under it: whatever is
    // drawn where the pointer was is out of place until the next move.
    void MouseLeave();

    TImgMouseEvent OnMouseDown;
    TImgMouseMoveEvent OnMouseMove;
    TImgMouseEvent OnMouseUp;
    TImgWheelEvent OnMouseWheelDown;
    TImgWheelEvent OnMouseWheelUp;
    TImgKeyEvent OnKeyDown;
    TImgKeyEvent OnKeyUp;
    TImgNotifyEvent OnMouseLeave;

    // The display's hooks: a repaint request (at once or soon), a new mouse pointer, and the
    // pointer's position.
    std::function<void(bool Immediate)> OnRepaintRequest;
    std::function<void(TCursor Cursor)> OnCursorChange;
    std::function<TPoint()> OnQueryMousePosition;

protected:
    // The bitmap's placement when it is not scrolled: the top-left corner.
    virtual void GetOffsets(float& X, float& Y) const;
    // The scaled bitmap's size in client pixels.
    void GetScaledSize(double& Width, double& Height) const;

private:
    void PaintBitmap();

    std::unique_ptr<TLayerCollection> FLayers;
    float FScale = 1.0f;
    TScaleMode FScaleMode = smScale;
    int FViewportWidth = 0;
    int FViewportHeight = 0;
    TCursor FCursor = crDefault;
    bool FBufferValid = false;
    bool FPainting = false;
};

// A view that shows its bitmap from the top-left corner, without scrolling.
class TImage32 : public TCustomImage32 {};

// A view with scroll bars: a bitmap larger than the viewport is scrolled, one that fits is
// centred.
//
// The scroll position always lies within the ranges: when a change (Changed(), a new viewport
// size, scale or bitmap) narrows a range, the position follows, and a bitmap of another size is a
// new picture that starts at its top-left corner. Every move of the position fires OnScroll,
// whatever caused it, and every change of the position, the ranges or the viewport reaches the
// display once through OnScrollStateChange, so its scroll bars never show a stale state.
class TCustomImgView32 : public TCustomImage32 {
public:
    void Changed() override;

    // Scroll position in client pixels of the scaled bitmap, 0 .. the range of its axis.
    int ScrollX() const;
    int ScrollY() const;
    // The largest scroll position of each axis: the scaled bitmap's size less the viewport's,
    // at least 0.
    int HorzScrollRange() const;
    int VertScrollRange() const;
    // Clamps to the ranges; fires OnScroll when the position changed.
    void SetScroll(int X, int Y);
    // Scrolls so that bitmap pixel (X, Y) lies at the middle of the viewport (as near as the
    // ranges allow). Centre pixel of a viewport scrolled to s is s + width div 2, and this is
    // its exact inverse, so two views of one size that follow each other's scrolling agree.
    void ScrollToCenter(int X, int Y);

    // Fired with the view as Sender after the scroll position changed.
    TNotifyEvent OnScroll;
    // The display's hook: the scroll position, a range or the viewport changed (the scroll bars
    // show them). Called after the position has settled and before OnScroll.
    std::function<void()> OnScrollStateChange;

protected:
    void GetOffsets(float& X, float& Y) const override;

private:
    // What the display was last told.
    struct TScrollState {
        int X, Y, HorzRange, VertRange, ViewportWidth, ViewportHeight;
        bool operator==(const TScrollState&) const = default;
    };
    TScrollState ScrollState() const;
    // Stores the position (already clamped) and tells the display and OnScroll what changed.
    void MoveTo(int X, int Y);

    int FScrollX = 0;
    int FScrollY = 0;
    // The bitmap size the position belongs to.
    int FPictureWidth = 0;
    int FPictureHeight = 0;
    TScrollState FToldState{};
};

class TImgView32 : public TCustomImgView32 {};
