// SPDX-License-Identifier: GPL-3.0-or-later
// The input controllers: each tool is one controller that takes the press, move and release of
// the mouse (in source-bitmap pixels), the wheel and the keys, and turns them into work on the
// drawing (TDualImage) or on a curve layer (TPolyBezierLayer).
//
// Rules every controller inherits:
// - Shift held (as the key events report it) makes a mouse move set the brush radius to the
//   distance in screen pixels from where Shift went down (a distance beyond the brush's range
//   gives the range's end); presses and moves then reach no tool.
//   A mouse event that finds Shift up ends that state (its key release went to another window).
// - The wheel grows or shrinks the brush radius by one per notch, and does nothing else: the
//   view under it does not scroll.
// - A gesture that opens a change of the drawing (BeginChange) always closes it (EndChange):
//   on the release, also when Shift is held by then, and when the tool is switched off in the
//   middle of a gesture. A release without its press does nothing.
#pragma once

#include "document/DualImage.h"
#include "platform/raster/Input.h"
#include "platform/rtl/Types.h"

#include <cstdint>
#include <functional>
#include <vector>

class TCustomImage32;
class TCustomLayer;
class TPolyBezier;
class TPolyBezierLayer;

// The mouse pointer's position on the screen, in device pixels. The desktop's pointer unless a
// test installs its own; an empty function restores the desktop's.
using TScreenCursorPosHook = std::function<TPoint()>;
void SetScreenCursorPosHook(TScreenCursorPosHook Hook);
TPoint ScreenCursorPos();

class TAbstractInputController {
public:
    // For a drawing: the layer is the drawing's curve layer.
    explicit TAbstractInputController(TDualImage* Document);
    // For a curve layer alone (the pattern editor): no drawing.
    explicit TAbstractInputController(TPolyBezierLayer* Layer);
    TAbstractInputController(const TAbstractInputController&) = delete;
    TAbstractInputController& operator=(const TAbstractInputController&) = delete;
    virtual ~TAbstractInputController();

    // X and Y are source-bitmap pixels; Layer is the layer under the mouse as the view reports it.
    virtual void MouseDown(TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
                           TCustomLayer* Layer);
    virtual void MouseMove(TCustomImage32* Sender, TShiftState Shift, int X, int Y, TCustomLayer* Layer);
    virtual void MouseUp(TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
                         TCustomLayer* Layer);
    virtual void KeyDown(TCustomImage32* Sender, uint16_t& Key, TShiftState Shift);
    virtual void KeyUp(TCustomImage32* Sender, uint16_t& Key, TShiftState Shift);
    virtual void MouseWheelDown(TCustomImage32* Sender, TShiftState Shift, const TPoint& MousePos,
                                bool& Handled);
    virtual void MouseWheelUp(TCustomImage32* Sender, TShiftState Shift, const TPoint& MousePos,
                              bool& Handled);
    // The tool is selected: the drawing shows the tool's brush cursor.
    virtual void Activate();
    // The tool is left: a gesture in progress is closed and the Shift state forgotten (the keys
    // go to another tool from now on).
    virtual void Deactivate();

    bool ShiftDown() const { return FShiftDown; }
    TCursorMode CursorMode() const { return FCursorMode; }
    TPoint SavedCursorPos() const { return FSavedCursorPos; }
    TDualImage* Document() const { return FDocument; }
    TPolyBezierLayer* Layer() const { return FLayer; }

protected:
    // A mouse event that sees Shift up ends a Shift state whose key release never came.
    void ForgetLostShift(TShiftState Shift);

    TPoint FSavedCursorPos; // screen position of the pointer when Shift went down
    bool FShiftDown = false;
    TCursorMode FCursorMode = cuHidden;
    TDualImage* FDocument;    // borrowed; none for a layer-only controller
    TPolyBezierLayer* FLayer; // borrowed
};

// The Pointer tool (tiPointer) and the pattern editor: drags the point of a curve that the press hit.
class TPointerInputController : public TAbstractInputController {
public:
    explicit TPointerInputController(TDualImage* Document);
    explicit TPointerInputController(TPolyBezierLayer* Layer);

    void MouseDown(TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
                   TCustomLayer* Layer) override;
    void MouseMove(TCustomImage32* Sender, TShiftState Shift, int X, int Y, TCustomLayer* Layer) override;
    void MouseUp(TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
                 TCustomLayer* Layer) override;
    void Activate() override;
    void Deactivate() override;

    bool Dragging() const { return FDragging; }

private:
    bool FDragging = false;
    TPolyBezier* FShape = nullptr; // borrowed from the layer while dragging
};

// The curve tools: a press starts a new one-cubic shape at the mouse, the moves trace it.
class TCurveTracingController : public TAbstractInputController {
public:
    using TAbstractInputController::TAbstractInputController;

    void MouseMove(TCustomImage32* Sender, TShiftState Shift, int X, int Y, TCustomLayer* Layer) override;

    bool Dragging() const { return FDragging; }
    const std::vector<TPoint>& Points() const { return FPoints; }

protected:
    // Empties the points, adds a shape with origin P holding one cubic whose controls and end lie
    // at P, and lets the layer keep the mouse.
    void StartShape(const TPoint& P, float BandWidth);

    bool FDragging = false;
    std::vector<TPoint> FPoints;
};

// The add-curve tool (tiAddCurve) and the pattern editor: draws a new curve with the mouse.
class TAddCurveInputController : public TCurveTracingController {
public:
    explicit TAddCurveInputController(TDualImage* Document);
    explicit TAddCurveInputController(TPolyBezierLayer* Layer);

    void MouseDown(TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
                   TCustomLayer* Layer) override;
    void MouseUp(TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
                 TCustomLayer* Layer) override;
    void Activate() override;
    void Deactivate() override;

private:
    void Finish();
};

// The Free Hand tool (tiFreeHand): draws a band of the brush's width and fills it with strokes on release.
class TBandInputController : public TCurveTracingController {
public:
    explicit TBandInputController(TDualImage* Document);
    explicit TBandInputController(TPolyBezierLayer* Layer);

    void MouseDown(TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
                   TCustomLayer* Layer) override;
    void MouseUp(TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
                 TCustomLayer* Layer) override;
    void Activate() override;
    void Deactivate() override;

private:
    // Ends the gesture: the band is filled when Fill is set; the change closes and the band goes
    // away either way.
    void Finish(bool Fill);
};

// The spraying tools: a press opens a change and sprays, every move with the button held
// sprays, the release closes the change.
class TSprayInputController : public TAbstractInputController {
public:
    using TAbstractInputController::TAbstractInputController;

    void MouseDown(TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
                   TCustomLayer* Layer) override;
    void MouseMove(TCustomImage32* Sender, TShiftState Shift, int X, int Y, TCustomLayer* Layer) override;
    void MouseUp(TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
                 TCustomLayer* Layer) override;
    void Deactivate() override;

    bool Dragging() const { return FDragging; }

protected:
    // Strokes follow the picture (true) or the current pattern (false).
    void ActivateSpray(bool AutoMode);

private:
    void Finish();

    bool FDragging = false;
};

// The Auto-sketch tool (tiAutoSketch): strokes along the picture's own directions.
class TAutoInputController : public TSprayInputController {
public:
    explicit TAutoInputController(TDualImage* Document);
    explicit TAutoInputController(TPolyBezierLayer* Layer);
    void Activate() override;
};

// The Pattern tool (tiPattern): strokes along the curves of the current pattern.
class TPatternInputController : public TSprayInputController {
public:
    explicit TPatternInputController(TDualImage* Document);
    explicit TPatternInputController(TPolyBezierLayer* Layer);
    void Activate() override;
};
