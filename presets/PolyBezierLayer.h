// SPDX-License-Identifier: GPL-3.0-or-later
// The curve layer: a list of editable curve shapes on an image view. It puts a positioned layer
// on the view, paints every shape into the view's buffer (the current one red with its handles,
// the others olive), routes the view's hit tests to the shapes and tells its owner when a shape
// changed. The drawing document keeps one on its active view, the pattern editor one on its
// drawing view.
#pragma once

#include "platform/raster/Image32.h"
#include "platform/raster/Layers.h"
#include "platform/rtl/Events.h"
#include "platform/rtl/Types.h"
#include "presets/PolyBezier.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class TBitmap32;

class TPolyBezierLayer {
public:
    // Adds a positioned layer to the view, located over the viewport's size from the bitmap's
    // top-left corner, scaled, with mouse events on.
    explicit TPolyBezierLayer(TCustomImage32* AImage);
    TPolyBezierLayer(const TPolyBezierLayer&) = delete;
    TPolyBezierLayer& operator=(const TPolyBezierLayer&) = delete;
    // Frees the shapes, and takes the positioned layer off its view, so that the view calls
    // nothing of a freed curve layer.
    ~TPolyBezierLayer();

    // Appends the shape (owned from now on), makes it current, passes Selected to it, hooks its
    // OnChange, then fires OnChange. Returns the shape.
    TPolyBezier* Add(std::unique_ptr<TPolyBezier> Shape);
    // Raises "TPolyBezierLayer.GetPolyBeziers: Index out of bounds(Index)" outside 0 .. Count - 1.
    TPolyBezier* GetPolyBeziers(int32_t Index) const;
    int32_t Count() const { return static_cast<int32_t>(Shapes.size()); }
    // The shape at CurrentIndex; none when CurrentIndex names no shape (after Clear, until the
    // next Add or hit).
    TPolyBezier* Current() const;

    void SetOnChange(TNotifyEvent Event) { OnChange = std::move(Event); }
    // Fires OnChange with the layer as Sender, whichever shape notified.
    void ShapeChanged(void* Sender);
    // Frees every shape and has the view repaint at once. CurrentIndex stays as it was.
    void Clear();
    void BeginCapture() { Capturing = true; }
    void EndCapture() { Capturing = false; }
    // Selected := Value, then passed to every shape in order (each of which notifies).
    void SetSelected(bool Value);
    bool IsLayer(const TCustomLayer* ALayer) const { return ALayer != nullptr && ALayer == Layer; }
    // The shapes stay visible and painted either way.
    void DisableMouseEvents();
    void EnableMouseEvents();
    // Moves the positioned layer into that view's layers; its location stays.
    void SetImage(TCustomImage32* AImage);

    // The positioned layer's handlers.
    void LayerHitTest(TCustomLayer* Sender, int X, int Y, bool& Passed);
    void LayerPaint(TCustomLayer* Sender, TBitmap32& ABuffer);

    bool Capturing = false; // while set, every hit test claims the mouse
    std::vector<std::unique_ptr<TPolyBezier>> Shapes;
    TCustomImage32* Image;             // borrowed
    TPositionedLayer* Layer = nullptr; // owned by the view's layers; none once they freed it
    TBitmap32* Buffer = nullptr;       // the view's buffer of the last paint; borrowed
    bool Selected = false;
    int32_t CurrentIndex = -1;
    TPoint ViewOffset; // the bitmap's origin in the view, recomputed at each hit test and paint
    TNotifyEvent OnChange;

private:
    void UpdateViewOffset();
};
