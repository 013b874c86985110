// SPDX-License-Identifier: GPL-3.0-or-later
// The open drawing: the photo's view, the drawing's view and the feature bitmap analysed from the
// photo, every drawing setting of the panels and styles, the undo history, and the strokes it lays
// at points, as sprays, along pattern curves and along drawn bands.
//
// All coordinates of the drawing operations are feature pixels (the photo's size). A gesture is
// BeginChange, any number of StrokeAt / SprayAt / StrokesAlongCurves, EndChange; it becomes one
// undo step when it drew something.
//
// The order of draws from the process-wide random generator is part of the behaviour (the same
// seed and the same gestures give the same drawing): for each sprayed stroke the angle and the
// radius of its start point; then, only when the start test passes, the stroke generator's flip,
// the length jitter, the palette pick in cmPaletteInk, and the pattern frame and curve picks.
#pragma once

#include "engine/LineSampler.h"
#include "engine/QTypes.h"
#include "engine/StrokeSettings.h"
#include "platform/raster/Color32.h"
#include "platform/rtl/Events.h"
#include "platform/rtl/Types.h"
#include "presets/StyleParameters.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TBitmap32;
class TImgView32;
class TPatternManager;
class TPolyBezierLayer;
class TPositionedLayer;
class TQState;
class TQStates;
class TStrokeFile;

// The brush cursor that the active view paints under the mouse.
enum TCursorMode : uint8_t {
    cuHidden = 0, // none; the source view shows the default mouse cursor
    cuCircle = 1, // a dashed circle of the brush size
    cuCross = 2,  // a cross of the brush size
};

// The brush radii in pixels that a drawing takes.
inline constexpr int32_t MinBrushSize = 8;
inline constexpr int32_t MaxBrushSize = 500;

class TDualImage {
public:
    // Analyses the source view's bitmap into the feature bitmap under the busy cursor, reporting
    // through the three events (always with a nil sender); an exception of the analysis leaves
    // the constructor. Then puts the curve layer on the source view and the overlay and cursor
    // layers on the source view. Both views are borrowed and must outlive the drawing.
    TDualImage(TImgView32* SrcView, TImgView32* DstView, float Scale, TPercentEvent OnProgress,
               TNotifyEvent OnStart, TNotifyEvent OnEnd);
    // Frees the history (and its steps' files), the curve layer and the feature bitmap. The
    // overlay and cursor layers leave the views.
    ~TDualImage();
    TDualImage(const TDualImage&) = delete;
    TDualImage& operator=(const TDualImage&) = delete;

    // ---- settings -----------------------------------------------------------------------------
    void SetDensity(int32_t Value) { FDensity = Value; }
    // The brush radius; only MinBrushSize <= Value <= MaxBrushSize is taken, then the source view repaints
    // and, when the radius changed, OnSizeChange fires (the window's Size box follows the wheel and Shift).
    void SetSize(int32_t Value);
    void SetLength(int32_t Value) { FStroke.Length = Value; }
    void SetPolyStep(int32_t Value) { FStroke.PolyStep = Value; }
    void SetWidth(float Value) { FStroke.Width = Value; }
    void SetGain(float Value) { FStroke.Gain = Value; }
    // True: strokes follow the picture's directions; false: a curve of the current pattern.
    void SetAutoMode(bool Value) { FAutoMode = Value; }
    void SetColor(TColor32 Value) { FStroke.InkColor = Value; }
    void SetColorMode(TColorMode Value) { FStroke.ColorMode = Value; }
    void SetHue(float Value) { FStroke.HueShift = Value; }
    void SetSaturation(float Value) { FStroke.SaturationShift = Value; }
    void SetBrightness(float Value) { FStroke.LightnessShift = Value; }
    // Appends C to the palette and returns its index.
    int32_t AddPaletteColor(TColor32 C);
    void ClearPalette() { FPalette.clear(); }
    // Raises "TDualImage.GetPaletteColor: Index out of bounds(I)" outside 0 .. PaletteCount - 1.
    TColor32 GetPaletteColor(int32_t I) const;
    int32_t PaletteCount() const { return static_cast<int32_t>(FPalette.size()); }
    // The border threshold of a border limit, and back (BorderThresholdOf, BorderLimitOf).
    void SetBrdLimit(uint8_t Limit) { FStroke.BorderThreshold = BorderThresholdOf(Limit); }
    uint8_t GetBrdLimit() const { return BorderLimitOf(FStroke.BorderThreshold); }
    // A style parameter's value as the gauges give it and show it: the border limit goes
    // through SetBrdLimit and GetBrdLimit.
    void SetStyleValue(TStyleParameter P, double Value);
    double StyleValue(TStyleParameter P) const;
    void SetOnChange(TNotifyEvent Event) { FOnChange = std::move(Event); }
    void SetOnSizeChange(TNotifyEvent Event) { FOnSizeChange = std::move(Event); }

    int32_t Density() const { return FDensity; }
    int32_t Size() const { return FSize; }
    int32_t Length() const { return FStroke.Length; }
    int32_t PolyStep() const { return FStroke.PolyStep; }
    float Width() const { return FStroke.Width; }
    float Gain() const { return FStroke.Gain; }
    bool AutoMode() const { return FAutoMode; }
    TColor32 Color() const { return FStroke.InkColor; }
    TColorMode ColorMode() const { return FStroke.ColorMode; }
    float Hue() const { return FStroke.HueShift; }
    float Saturation() const { return FStroke.SaturationShift; }
    float Brightness() const { return FStroke.LightnessShift; }
    uint8_t BorderThreshold() const { return FStroke.BorderThreshold; }
    float Scale() const { return FStroke.Scale; }

    // Written directly by the command module: stop each stroke at a border pixel (the stroke
    // settings' own flag); the patterns of the Pattern tool (borrowed); the drawing has unsaved
    // strokes.
    bool& StopOnBorders = FStroke.StopOnBorders;
    TPatternManager* PatternManager = nullptr;
    bool Modified = false;

    // ---- strokes ------------------------------------------------------------------------------
    // One stroke started at feature pixel (X, Y), when that pixel lies inside and its strength
    // reaches the border threshold. Sets Modified either way.
    void StrokeAt(int32_t X, int32_t Y);
    // One dab: StrokeCountFor(length, density) strokes at random points within the brush radius.
    void SprayAt(int32_t X, int32_t Y);
    // Strokes along the one-segment shapes of the curve layer, cut into pieces of twice the
    // stroke length and jittered. A silent abort when the layer is empty or the shape drawn has
    // not exactly one segment (the strokes of earlier rounds stay).
    void StrokesAlongCurves();
    // One stroke along the cubic, without a start test.
    void StrokeAlongCurve(const TBezierCurve& Curve);

    // ---- gestures and undo --------------------------------------------------------------------
    // Opens one change (nested calls only count): copies of both bitmaps and a new stroke log.
    void BeginChange();
    // Closes the change opened last; the outermost one keeps the changed rectangle as a new undo
    // step and fires OnChange. A change that drew nothing leaves no step and fires nothing. A
    // step that cannot be kept (no memory) takes the change's pixels back out of the drawing,
    // so the drawing holds no stroke the logs lack, and raises. Without an open change it does
    // nothing.
    void EndChange();
    // Raise "Imposible hacer undo, estamos al principio de la pila" / "Imposible hacer redo,
    // estamos en el tope de la pila" at the ends of the history; else exchange the step's pixels,
    // repaint the drawing and fire OnChange. A step whose swap file was lost raises what the
    // history says (see TQStates) and fires OnChange, as the steps that go with it change what
    // can be undone or redone.
    void Undo();
    void Redo();
    bool CanUndo() const;
    bool CanRedo() const;
    // The strokes of the applied steps.
    int32_t StrokeCount() const;
    // Swaps at most one old step to disk; called at every idle moment. Also makes the file the
    // stroke logs share, ahead of the first gesture, and has the disk that the strokes of
    // discarded steps held in it given back (TQStates::TidyStrokeFile).
    void CompressIdle();
    // The memory the history holds, as "1.5 Mb" and the like.
    std::string UndoMemoryText() const;
    int32_t ChangeNesting() const { return FChangeNesting; }
    // The step of the open change; nil outside a change.
    TQState* CurrentStep() const { return FCurrentStep.get(); }

    // ---- outputs ------------------------------------------------------------------------------
    // Fills the applied steps' strokes again into Target with every coordinate times Scale, under
    // the busy cursor, between OnStart and OnEnd (OnEnd also when it raises).
    void RenderStrokes(TBitmap32& Target, float Scale);
    // Writes the applied steps' strokes as a PostScript file and clears Modified. A failure
    // leaves Modified set and reaches the caller after OnEnd.
    void ExportPostScript(const std::string& FileName);

    // ---- guide directions, overlay and cursor -------------------------------------------------
    // The direction source of Auto strokes where the picture's own direction is too weak: the
    // guide grid cell nearest to (X, Y); 32 past the end of the grid.
    void GetGuideDirection(int32_t X, int32_t Y, THeading& Heading);
    // One direction byte per 10 x 10 cell, interpolated from the guide samples.
    void BuildGuideGrid();
    const std::vector<uint8_t>& GuideGrid() const { return FGuideGrid; }
    int32_t GuideCols() const { return FGuideCols; }
    int32_t GuideRows() const { return FGuideRows; }

    // Overlay switches; a change repaints the source view.
    void SetViewBorders(bool Value);
    void SetViewDirections(bool Value);
    bool ViewBorders() const { return FViewBorders; }
    bool ViewDirections() const { return FViewDirections; }
    // Paint events of the overlay and cursor layers.
    void PaintOverlay(void* Sender, TBitmap32& Buffer);
    void PaintCursor(void* Sender, TBitmap32& Buffer);

    // The cursor position in the active view's client pixels; the active view repaints.
    void SetCursorPos(const TPoint& P);
    // The pointer left the active view, or the view changed its size under it: the cursor is not
    // painted until the next SetCursorPos puts it where the pointer is.
    void HideCursor();
    // cuCircle and cuCross show the cursor layer with the cross mouse cursor on the source view,
    // cuHidden hides it with the default mouse cursor; other values are only stored.
    void SetCursorMode(TCursorMode Mode);
    // Moves the cursor and curve layers to View, takes the mouse position there as the cursor
    // point, and repaints both views.
    void SetActiveView(TImgView32* View);
    void DisableCurveEditing();
    void EnableCurveEditing();

    TPoint CursorPos() const { return FCursorPos; }
    TCursorMode CursorMode() const { return FCursorMode; }
    TPoint DabCenter() const { return FDabCenter; }

    // ---- parts ------------------------------------------------------------------------------
    TImgView32* SrcView() const { return FSrcView; }
    TImgView32* DstView() const { return FDstView; }
    TImgView32* ActiveView() const { return FActiveView; }
    TBitmap32& Feature() const { return *FFeature; }
    TBitmap32& SourceBitmap() const;
    TBitmap32& DestBitmap() const;
    TPolyBezierLayer& CurveLayer() const { return *FCurveLayer; }
    TPositionedLayer* OverlayLayer() const { return FOverlayLayer; }
    TPositionedLayer* CursorLayer() const { return FCursorLayer; }
    TQStates& History() const { return *FHistory; }

private:
    void CreateLayers();
    void CurvesChanged(void* Sender);
    void RepaintSource();
    void RepaintDest();
    // Tells OnChange after an undo or redo that lost steps of the history.
    void ChangedAfterLoss();
    void RepaintActive();
    // The stroke generator's settings shared by points and curves, with the palette.
    TStrokeSettings StrokeSettings() const;
    // True when the current pattern holds a curve to lay strokes along.
    bool HasPatternCurve() const;
    // Within a change, the sampler's fill first lets the change's step copy what it is about to
    // change.
    void KeepBeforeFill(TLineSampler& Sampler);
    void Finished(TLineSampler& Sampler);

    TImgView32* FSrcView = nullptr; // the photo; borrowed
    TImgView32* FDstView = nullptr; // the drawing; borrowed
    TImgView32* FActiveView = nullptr;
    std::unique_ptr<TBitmap32> FFeature;
    std::unique_ptr<TPolyBezierLayer> FCurveLayer;
    TPositionedLayer* FOverlayLayer = nullptr; // owned by the source view's layers
    TPositionedLayer* FCursorLayer = nullptr;  // owned by the active view's layers
    std::unique_ptr<TQStates> FHistory;
    std::unique_ptr<TQState> FCurrentStep;
    // The file the stroke logs of the steps share: held open while the drawing or a step of it
    // lives, so that a file removed from the temporary folder behind the program's back loses
    // no stroke. Made at an idle moment or by the first gesture.
    std::shared_ptr<TStrokeFile> FStrokeFile;
    bool FStrokeFileFailed = false; // the idle moment could not make it; the next press tries
    int32_t FChangeNesting = 0;
    TRect FDirtyRect;

    int32_t FGuideCols = 0;
    int32_t FGuideRows = 0;
    std::vector<TGuideSample> FGuideSamples;
    std::vector<uint8_t> FGuideGrid;

    // Every setting a stroke takes but the palette; the scale comes with the drawing. A new
    // drawing starts with the default style's values, the photo's colours unshifted and black ink.
    TStrokeSettings FStroke{.PolyStep = 25,
                            .Length = 100,
                            .Gain = 2.0f,
                            .Width = 1.0f,
                            .LightnessShift = 0.0f,
                            .InkColor = 0xFF000000,
                            .ColorMode = cmSampledColor,
                            .Palette = {}};
    std::vector<TColor32> FPalette;
    int32_t FDensity = 50;
    int32_t FSize = 50;
    bool FAutoMode = false;

    TPoint FCursorPos;
    bool FCursorAway = false;
    TPoint FDabCenter;
    TCursorMode FCursorMode = cuHidden;
    bool FViewBorders = false;
    bool FViewDirections = false;

    TNotifyEvent FOnChange;
    TNotifyEvent FOnSizeChange;
    TPercentEvent FOnProgress;
    TNotifyEvent FOnStart;
    TNotifyEvent FOnEnd;
};
