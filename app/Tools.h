// SPDX-License-Identifier: GPL-3.0-or-later
// The tool manager: one input controller of each kind for the open drawing, hooked to the mouse
// events of both views and to the wheel and key events of the source view. It converts view
// positions into source-bitmap pixels and routes each event to the selected tool.
#pragma once

#include "app/InputController.h"

#include <cstdint>
#include <memory>

class TImgView32;

// The tools by their numbers, which the command module picks and the main window chooses its
// panels by.
enum TToolId : uint8_t {
    tiNone = 0,       // no tool: context help waits for its click
    tiPointer = 1,    // lays nothing: a drawing keeps no curves for it to drag
    tiAddCurve = 2,   // draws a new curve
    tiFreeHand = 3,   // fills a traced band with strokes along it
    tiPattern = 4,    // lays strokes along the curves of the selected pattern
    tiAutoSketch = 5, // sprays strokes along the picture's own directions
};

class TToolManager {
public:
    // Makes the five controllers and hooks the views of Document; no tool is selected.
    explicit TToolManager(TDualImage* Document);
    // Frees the controllers and unhooks the views (which outlive the manager). It does not touch
    // the drawing, which may already be gone.
    ~TToolManager();
    TToolManager(const TToolManager&) = delete;
    TToolManager& operator=(const TToolManager&) = delete;

    // One of the TToolId numbers. Above tiAutoSketch raises "Tool not implemented" (Tool keeps the
    // number, the selected controller stays). With no tool the drawing shows no brush.
    void SetTool(TToolId ATool);
    // Mouse and wheel events reach the tool only while enabled; keys always do.
    void SetEnabled(bool Value) { Enabled = Value; }
    // A client position of the drawing's active view into source-bitmap pixels.
    void ViewToSource(int& X, int& Y) const;

    // The view handlers.
    void MouseDown(TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
                   TCustomLayer* Layer);
    void MouseMove(TCustomImage32* Sender, TShiftState Shift, int X, int Y, TCustomLayer* Layer);
    void MouseUp(TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
                 TCustomLayer* Layer);
    void MouseWheelDown(TCustomImage32* Sender, TShiftState Shift, const TPoint& MousePos, bool& Handled);
    void MouseWheelUp(TCustomImage32* Sender, TShiftState Shift, const TPoint& MousePos, bool& Handled);
    void KeyDown(TCustomImage32* Sender, uint16_t& Key, TShiftState Shift);
    void KeyUp(TCustomImage32* Sender, uint16_t& Key, TShiftState Shift);
    // The pointer left the view that shows the brush: the brush is not drawn until it comes back.
    void MouseLeave(TCustomImage32* Sender);

    TAbstractInputController* Current() const { return FCurrent; }
    TPointerInputController& PointerController() const { return *FPointer; }
    TAddCurveInputController& AddCurveController() const { return *FAddCurve; }
    TAutoInputController& AutoController() const { return *FAuto; }

    // The selected tool's number, a TToolId (or the unknown number SetTool last refused); the main
    // window chooses its panels by it.
    TToolId Tool = tiNone;
    bool Enabled = true;

private:
    TDualImage* FDocument; // borrowed
    TImgView32* FSrcView;  // borrowed, kept to unhook it
    TImgView32* FDstView;
    TAbstractInputController* FCurrent = nullptr;
    std::unique_ptr<TPointerInputController> FPointer;
    std::unique_ptr<TAddCurveInputController> FAddCurve;
    std::unique_ptr<TAutoInputController> FAuto;
    std::unique_ptr<TPatternInputController> FPattern;
    std::unique_ptr<TBandInputController> FBand;
};
