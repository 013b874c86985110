// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/InputController.h"

#include "document/DualImage.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Round.h"
#include "presets/PolyBezier.h"
#include "presets/PolyBezierLayer.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <utility>

namespace {
TScreenCursorPosHook& CursorPosHook() {
    static TScreenCursorPosHook hook;
    return hook;
}

// The brush radius the wheel stops at: it shrinks while above 5 (the drawing takes nothing
// below 8) and grows while below 400.
constexpr int32_t WheelSizeFloor = 5;
constexpr int32_t WheelSizeCeiling = 400;
} // namespace

void SetScreenCursorPosHook(TScreenCursorPosHook Hook) {
    CursorPosHook() = std::move(Hook);
}

TPoint ScreenCursorPos() {
    if (CursorPosHook()) return CursorPosHook()();
    // In the screen's device pixels, the pixels of the photo at scale 1 (so the Shift-drag sets
    // the radius that the brush circle shows).
    const QPoint p = QCursor::pos();
    const QScreen* screen = QGuiApplication::screenAt(p);
    const qreal ratio = screen != nullptr ? screen->devicePixelRatio() : qApp->devicePixelRatio();
    return Point(qRound(p.x() * ratio), qRound(p.y() * ratio));
}

namespace {
// Opens the change of a gesture that draws. One that cannot be opened says why nothing will be
// drawn, and the gesture goes no further.
void BeginGesture(TDualImage& Document) {
    try {
        Document.BeginChange();
    } catch (const EAbort&) {
        throw;
    } catch (const std::bad_alloc&) {
        RaiseException("Nothing is drawn: there is not enough memory to keep the gesture's undo step.");
    } catch (const std::exception& E) {
        RaiseException(std::string("Nothing is drawn: the gesture's undo step cannot be kept. ") + E.what());
    }
}
} // namespace

// ---------------------------------------------------------------------------------------------
// TAbstractInputController

TAbstractInputController::TAbstractInputController(TDualImage* Document)
    : FDocument(Document), FLayer(Document != nullptr ? &Document->CurveLayer() : nullptr) {}

TAbstractInputController::TAbstractInputController(TPolyBezierLayer* Layer)
    : FDocument(nullptr), FLayer(Layer) {}

TAbstractInputController::~TAbstractInputController() = default;

void TAbstractInputController::ForgetLostShift(TShiftState Shift) {
    // The Shift release goes to whichever program has the keyboard then: one that happened
    // while this window had lost it never arrives, and the mouse says so.
    if (FShiftDown && (Shift & ssShift) == 0) FShiftDown = false;
}

void TAbstractInputController::MouseDown(TCustomImage32* /*Sender*/, TMouseButton /*Button*/,
                                         TShiftState Shift, int /*X*/, int /*Y*/, TCustomLayer* /*Layer*/) {
    ForgetLostShift(Shift);
    if (FShiftDown) Abort();
}

void TAbstractInputController::MouseMove(TCustomImage32* /*Sender*/, TShiftState Shift, int /*X*/, int /*Y*/,
                                         TCustomLayer* /*Layer*/) {
    ForgetLostShift(Shift);
    if (FShiftDown && FDocument != nullptr) {
        const TPoint now = ScreenCursorPos();
        const double dy = static_cast<double>(FSavedCursorPos.Y) - now.Y;
        const double dx = static_cast<double>(FSavedCursorPos.X) - now.X;
        // A move past either end of the range gives that end, as a size drag does everywhere.
        FDocument->SetSize(std::clamp(Round(std::hypot(dy, dx)), MinBrushSize, MaxBrushSize));
        Abort();
    }
}

void TAbstractInputController::MouseUp(TCustomImage32* /*Sender*/, TMouseButton /*Button*/, TShiftState Shift,
                                       int /*X*/, int /*Y*/, TCustomLayer* /*Layer*/) {
    ForgetLostShift(Shift);
    if (FShiftDown) Abort();
}

void TAbstractInputController::KeyDown(TCustomImage32* /*Sender*/, uint16_t& Key, TShiftState /*Shift*/) {
    // Auto-repeated Shift presses keep the first position.
    if (!FShiftDown && Key == VK_SHIFT) {
        FShiftDown = true;
        FSavedCursorPos = ScreenCursorPos();
    }
}

void TAbstractInputController::KeyUp(TCustomImage32* /*Sender*/, uint16_t& Key, TShiftState /*Shift*/) {
    if (Key == VK_SHIFT) FShiftDown = false;
}

// With a drawing the wheel is the brush's, also at its bounds: the view does not scroll under it.

void TAbstractInputController::MouseWheelDown(TCustomImage32* /*Sender*/, TShiftState /*Shift*/,
                                              const TPoint& /*MousePos*/, bool& Handled) {
    if (FDocument == nullptr) return;
    Handled = true;
    if (FDocument->Size() > WheelSizeFloor) FDocument->SetSize(FDocument->Size() - 1);
}

void TAbstractInputController::MouseWheelUp(TCustomImage32* /*Sender*/, TShiftState /*Shift*/,
                                            const TPoint& /*MousePos*/, bool& Handled) {
    if (FDocument == nullptr) return;
    Handled = true;
    if (FDocument->Size() < WheelSizeCeiling) FDocument->SetSize(FDocument->Size() + 1);
}

void TAbstractInputController::Activate() {
    if (FDocument != nullptr) FDocument->SetCursorMode(FCursorMode);
}

void TAbstractInputController::Deactivate() {
    // A tool that is not selected sees no key events, so a Shift state kept from before would be
    // stale when it comes back: the Shift release may have gone to another tool.
    FShiftDown = false;
}

// ---------------------------------------------------------------------------------------------
// TPointerInputController

TPointerInputController::TPointerInputController(TDualImage* Document) : TAbstractInputController(Document) {
    FCursorMode = cuHidden;
}

TPointerInputController::TPointerInputController(TPolyBezierLayer* Layer) : TAbstractInputController(Layer) {
    FCursorMode = cuHidden;
}

void TPointerInputController::MouseDown(TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X,
                                        int Y, TCustomLayer* Layer) {
    TAbstractInputController::MouseDown(Sender, Button, Shift, X, Y, Layer);
    // A layer that holds the mouse claims it without a hit, so there may be no current shape.
    FShape = FLayer != nullptr && FLayer->IsLayer(Layer) ? FLayer->Current() : nullptr;
    FDragging = FShape != nullptr;
}

void TPointerInputController::MouseMove(TCustomImage32* Sender, TShiftState Shift, int X, int Y,
                                        TCustomLayer* Layer) {
    TAbstractInputController::MouseMove(Sender, Shift, X, Y, Layer);
    if (FDragging) FShape->MoveSelected(X, Y, false);
}

void TPointerInputController::MouseUp(TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X,
                                      int Y, TCustomLayer* Layer) {
    FDragging = false;
    FShape = nullptr;
    TAbstractInputController::MouseUp(Sender, Button, Shift, X, Y, Layer);
}

void TPointerInputController::Activate() {
    TAbstractInputController::Activate();
    FDragging = false;
    FShape = nullptr;
    if (FDocument != nullptr) FDocument->EnableCurveEditing();
}

void TPointerInputController::Deactivate() {
    TAbstractInputController::Deactivate();
    FDragging = false;
    FShape = nullptr;
}

// ---------------------------------------------------------------------------------------------
// TCurveTracingController

void TCurveTracingController::StartShape(const TPoint& P, float BandWidth) {
    FPoints.clear();
    auto shape = std::make_unique<TPolyBezier>(P);
    if (BandWidth != 1.0f) shape->SetBandWidth(BandWidth);
    TPolyBezier* added = FLayer->Add(std::move(shape));
    added->AddBezier(P, P, P);
    FLayer->BeginCapture();
}

void TCurveTracingController::MouseMove(TCustomImage32* Sender, TShiftState Shift, int X, int Y,
                                        TCustomLayer* Layer) {
    TAbstractInputController::MouseMove(Sender, Shift, X, Y, Layer);
    if (!FDragging) return;
    TPolyBezier* shape = FLayer->Current();
    if (shape == nullptr) return;
    FPoints.push_back(Point(X, Y));
    const int n = static_cast<int>(FPoints.size());
    if (n >= 3) {
        // The controls and the end follow the thirds of the traced path.
        const int h = n - 1;
        shape->MoveHandle(2, FPoints[Round(h / 3.0)].X, FPoints[Round(h / 3.0)].Y);
        shape->MoveHandle(3, FPoints[Round(2.0 * h / 3.0)].X, FPoints[Round(2.0 * h / 3.0)].Y);
        shape->MoveHandle(4, FPoints[h].X, FPoints[h].Y);
    } else {
        shape->MoveSelected(X, Y, true);
    }
}

// ---------------------------------------------------------------------------------------------
// TAddCurveInputController

TAddCurveInputController::TAddCurveInputController(TDualImage* Document) : TCurveTracingController(Document) {
    FCursorMode = cuHidden;
}

TAddCurveInputController::TAddCurveInputController(TPolyBezierLayer* Layer) : TCurveTracingController(Layer) {
    FCursorMode = cuHidden;
}

void TAddCurveInputController::MouseDown(TCustomImage32* Sender, TMouseButton Button, TShiftState Shift,
                                         int X, int Y, TCustomLayer* Layer) {
    TAbstractInputController::MouseDown(Sender, Button, Shift, X, Y, Layer);
    // A second button during a drag belongs to the curve being drawn.
    if (FDragging) return;
    StartShape(Point(X, Y), 1.0f);
    FDragging = true;
}

void TAddCurveInputController::MouseUp(TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X,
                                       int Y, TCustomLayer* Layer) {
    Finish();
    TAbstractInputController::MouseUp(Sender, Button, Shift, X, Y, Layer);
}

void TAddCurveInputController::Finish() {
    if (FDragging) FLayer->EndCapture();
    FDragging = false;
    FPoints.clear();
}

void TAddCurveInputController::Activate() {
    TAbstractInputController::Activate();
    FDragging = false;
    if (FDocument != nullptr) FDocument->EnableCurveEditing();
}

void TAddCurveInputController::Deactivate() {
    TAbstractInputController::Deactivate();
    Finish();
}

// ---------------------------------------------------------------------------------------------
// TBandInputController

TBandInputController::TBandInputController(TDualImage* Document) : TCurveTracingController(Document) {
    FCursorMode = cuCross;
}

TBandInputController::TBandInputController(TPolyBezierLayer* Layer) : TCurveTracingController(Layer) {
    FCursorMode = cuCross;
}

void TBandInputController::MouseDown(TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X,
                                     int Y, TCustomLayer* Layer) {
    TAbstractInputController::MouseDown(Sender, Button, Shift, X, Y, Layer);
    if (FDragging) return;
    // The change opens first: a band filled outside one would lay strokes no undo takes back.
    if (FDocument != nullptr) BeginGesture(*FDocument);
    const float width = FDocument != nullptr ? static_cast<float>(FDocument->Size()) : 1.0f;
    FDragging = true;
    StartShape(Point(X, Y), width);
}

void TBandInputController::MouseUp(TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X,
                                   int Y, TCustomLayer* Layer) {
    // A release under Shift reaches no tool, but the band's change still closes.
    ForgetLostShift(Shift);
    Finish(!FShiftDown);
    TAbstractInputController::MouseUp(Sender, Button, Shift, X, Y, Layer);
}

void TBandInputController::Finish(bool Fill) {
    if (!FDragging) {
        FPoints.clear();
        return;
    }
    FDragging = false;
    FLayer->EndCapture();
    // The change closes and the band goes away also when filling stops (a layer without a
    // one-segment shape aborts it silently).
    auto close = [this] {
        FPoints.clear();
        try {
            if (FDocument != nullptr) FDocument->EndChange();
        } catch (...) {
            FLayer->Clear();
            throw;
        }
        FLayer->Clear();
    };
    try {
        if (Fill && FDocument != nullptr) FDocument->StrokesAlongCurves();
    } catch (...) {
        close();
        throw;
    }
    close();
}

void TBandInputController::Activate() {
    TAbstractInputController::Activate();
    FDragging = false;
    if (FDocument != nullptr) FDocument->EnableCurveEditing();
}

void TBandInputController::Deactivate() {
    TAbstractInputController::Deactivate();
    Finish(false);
}

// ---------------------------------------------------------------------------------------------
// TSprayInputController

void TSprayInputController::MouseDown(TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X,
                                      int Y, TCustomLayer* Layer) {
    TAbstractInputController::MouseDown(Sender, Button, Shift, X, Y, Layer);
    if (FDragging) return;
    if (FDocument != nullptr) BeginGesture(*FDocument);
    // From here on the release closes the change, also when the first dab fails.
    FDragging = true;
    if (FDocument != nullptr) FDocument->SprayAt(X, Y);
}

void TSprayInputController::MouseMove(TCustomImage32* Sender, TShiftState Shift, int X, int Y,
                                      TCustomLayer* Layer) {
    TAbstractInputController::MouseMove(Sender, Shift, X, Y, Layer);
    if (FDragging && FDocument != nullptr) FDocument->SprayAt(X, Y);
}

void TSprayInputController::MouseUp(TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X,
                                    int Y, TCustomLayer* Layer) {
    Finish();
    TAbstractInputController::MouseUp(Sender, Button, Shift, X, Y, Layer);
}

void TSprayInputController::Finish() {
    if (!FDragging) return;
    FDragging = false;
    if (FDocument != nullptr) FDocument->EndChange();
}

void TSprayInputController::Deactivate() {
    TAbstractInputController::Deactivate();
    Finish();
}

void TSprayInputController::ActivateSpray(bool AutoMode) {
    FDragging = false;
    if (FDocument != nullptr) {
        FDocument->SetAutoMode(AutoMode);
        FDocument->DisableCurveEditing();
    }
}

TAutoInputController::TAutoInputController(TDualImage* Document) : TSprayInputController(Document) {
    FCursorMode = cuCircle;
}

TAutoInputController::TAutoInputController(TPolyBezierLayer* Layer) : TSprayInputController(Layer) {
    FCursorMode = cuCircle;
}

void TAutoInputController::Activate() {
    TAbstractInputController::Activate();
    ActivateSpray(true);
}

TPatternInputController::TPatternInputController(TDualImage* Document) : TSprayInputController(Document) {
    FCursorMode = cuCircle;
}

TPatternInputController::TPatternInputController(TPolyBezierLayer* Layer) : TSprayInputController(Layer) {
    FCursorMode = cuCircle;
}

void TPatternInputController::Activate() {
    TAbstractInputController::Activate();
    ActivateSpray(false);
}
