// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Tools.h"

#include "document/DualImage.h"
#include "platform/raster/Image32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Round.h"

TToolManager::TToolManager(TDualImage* Document)
    : FDocument(Document), FSrcView(Document->SrcView()), FDstView(Document->DstView()) {
    FPointer = std::make_unique<TPointerInputController>(Document);
    FAddCurve = std::make_unique<TAddCurveInputController>(Document);
    FAuto = std::make_unique<TAutoInputController>(Document);
    FPattern = std::make_unique<TPatternInputController>(Document);
    FBand = std::make_unique<TBandInputController>(Document);

    for (TImgView32* view : {FSrcView, FDstView}) {
        view->OnMouseMove = [this](TCustomImage32* Sender, TShiftState Shift, int X, int Y,
                                   TCustomLayer* Layer) { MouseMove(Sender, Shift, X, Y, Layer); };
        view->OnMouseDown = [this](TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X,
                                   int Y,
                                   TCustomLayer* Layer) { MouseDown(Sender, Button, Shift, X, Y, Layer); };
        view->OnMouseUp = [this](TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
                                 TCustomLayer* Layer) { MouseUp(Sender, Button, Shift, X, Y, Layer); };
        view->OnMouseLeave = [this](TCustomImage32* Sender) { MouseLeave(Sender); };
    }
    FSrcView->OnMouseWheelDown = [this](TCustomImage32* Sender, TShiftState Shift, const TPoint& MousePos,
                                        bool& Handled) { MouseWheelDown(Sender, Shift, MousePos, Handled); };
    FSrcView->OnMouseWheelUp = [this](TCustomImage32* Sender, TShiftState Shift, const TPoint& MousePos,
                                      bool& Handled) { MouseWheelUp(Sender, Shift, MousePos, Handled); };
    FSrcView->OnKeyUp = [this](TCustomImage32* Sender, uint16_t& Key, TShiftState Shift) {
        KeyUp(Sender, Key, Shift);
    };
    FSrcView->OnKeyDown = [this](TCustomImage32* Sender, uint16_t& Key, TShiftState Shift) {
        KeyDown(Sender, Key, Shift);
    };
    FCurrent = nullptr;
    Enabled = true;
}

TToolManager::~TToolManager() {
    // The views stay on the screen after Close and keep sending events: they must not reach a
    // freed manager. The manager of the next drawing hooks them afresh.
    for (TImgView32* view : {FSrcView, FDstView}) {
        view->OnMouseMove = nullptr;
        view->OnMouseDown = nullptr;
        view->OnMouseUp = nullptr;
        view->OnMouseLeave = nullptr;
    }
    FSrcView->OnMouseWheelDown = nullptr;
    FSrcView->OnMouseWheelUp = nullptr;
    FSrcView->OnKeyUp = nullptr;
    FSrcView->OnKeyDown = nullptr;
}

void TToolManager::SetTool(TToolId ATool) {
    Tool = ATool;
    TAbstractInputController* next = nullptr;
    switch (ATool) {
    case tiNone:
        break;
    case tiPointer:
        next = FPointer.get();
        break;
    case tiAddCurve:
        next = FAddCurve.get();
        break;
    case tiFreeHand:
        next = FBand.get();
        break;
    case tiPattern:
        next = FPattern.get();
        break;
    case tiAutoSketch:
        next = FAuto.get();
        break;
    default:
        RaiseException("Tool not implemented");
    }
    if (next == FCurrent) return;
    TAbstractInputController* old = FCurrent;
    FCurrent = next;
    if (old != nullptr) old->Deactivate();
    if (next != nullptr)
        next->Activate();
    else
        // No tool (context help): the brush no longer follows the mouse, so it is not shown.
        FDocument->SetCursorMode(cuHidden);
}

void TToolManager::ViewToSource(int& X, int& Y) const {
    TImgView32* view = FDocument->ActiveView();
    const TPoint p = view->ControlToBitmap(Point(X, Y));
    X = p.X;
    Y = p.Y;
    if (view == FDocument->DstView() && FDocument->DestBitmap().Width() > 0) {
        // The width ratio serves both axes; the loader gives both bitmaps one size.
        const double ratio = static_cast<double>(FDocument->SourceBitmap().Width()) /
                             static_cast<double>(FDocument->DestBitmap().Width());
        X = Round(X * ratio);
        Y = Round(Y * ratio);
    }
}

void TToolManager::MouseDown(TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
                             TCustomLayer* Layer) {
    if (!Enabled || FCurrent == nullptr) return;
    ViewToSource(X, Y);
    FCurrent->MouseDown(Sender, Button, Shift, X, Y, Layer);
}

void TToolManager::MouseMove(TCustomImage32* Sender, TShiftState Shift, int X, int Y, TCustomLayer* Layer) {
    if (!Enabled || FCurrent == nullptr) return;
    if (FDocument->ActiveView() != Sender) FDocument->SetActiveView(static_cast<TImgView32*>(Sender));
    FDocument->SetCursorPos(Point(X, Y));
    ViewToSource(X, Y);
    FCurrent->MouseMove(Sender, Shift, X, Y, Layer);
}

void TToolManager::MouseUp(TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
                           TCustomLayer* Layer) {
    if (!Enabled || FCurrent == nullptr) return;
    ViewToSource(X, Y);
    FCurrent->MouseUp(Sender, Button, Shift, X, Y, Layer);
}

void TToolManager::MouseWheelDown(TCustomImage32* Sender, TShiftState Shift, const TPoint& MousePos,
                                  bool& Handled) {
    if (!Enabled || FCurrent == nullptr) return;
    TPoint p = MousePos;
    ViewToSource(p.X, p.Y);
    FCurrent->MouseWheelDown(Sender, Shift, p, Handled);
}

void TToolManager::MouseWheelUp(TCustomImage32* Sender, TShiftState Shift, const TPoint& MousePos,
                                bool& Handled) {
    if (!Enabled || FCurrent == nullptr) return;
    TPoint p = MousePos;
    ViewToSource(p.X, p.Y);
    FCurrent->MouseWheelUp(Sender, Shift, p, Handled);
}

void TToolManager::KeyDown(TCustomImage32* Sender, uint16_t& Key, TShiftState Shift) {
    if (FCurrent != nullptr) FCurrent->KeyDown(Sender, Key, Shift);
}

void TToolManager::KeyUp(TCustomImage32* Sender, uint16_t& Key, TShiftState Shift) {
    if (FCurrent != nullptr) FCurrent->KeyUp(Sender, Key, Shift);
}

void TToolManager::MouseLeave(TCustomImage32* Sender) {
    if (Sender == FDocument->ActiveView()) FDocument->HideCursor();
}
