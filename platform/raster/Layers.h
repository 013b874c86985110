// SPDX-License-Identifier: GPL-3.0-or-later
// Layers over an image view: objects that paint into the view's buffer after its bitmap and that
// can claim the mouse. A view owns one layer collection; the collection owns its layers.
//
// Painting goes bottom-up in index order, hit tests top-down: the mouse belongs to the topmost
// visible layer with mouse events whose hit test passes. A layer that took a mouse press keeps
// every mouse event until the release (the collection's MouseListener).
#pragma once

#include "platform/raster/Input.h"
#include "platform/rtl/Events.h"

#include <functional>
#include <memory>
#include <vector>

class TBitmap32;
class TCustomImage32;
class TLayerCollection;

struct TFloatPoint {
    float X = 0.0f;
    float Y = 0.0f;
    friend bool operator==(const TFloatPoint&, const TFloatPoint&) = default;
};

struct TFloatRect {
    float Left = 0.0f;
    float Top = 0.0f;
    float Right = 0.0f;
    float Bottom = 0.0f;
    friend bool operator==(const TFloatRect&, const TFloatRect&) = default;
};

constexpr TFloatRect FloatRect(float Left, float Top, float Right, float Bottom) {
    return TFloatRect{Left, Top, Right, Bottom};
}

class TCustomLayer {
public:
    TCustomLayer() = default;
    TCustomLayer(const TCustomLayer&) = delete;
    TCustomLayer& operator=(const TCustomLayer&) = delete;
    // Fires OnDestroy.
    virtual ~TCustomLayer();

    // The collection that owns the layer; none until one takes it.
    TLayerCollection* LayerCollection() const { return FLayerCollection; }
    // Moves the layer on top of another collection (of another view), which owns it from then
    // on. No collection is refused, and so is a layer that no collection owns yet (such a layer
    // joins one through TLayerCollection::Add).
    void SetLayerCollection(TLayerCollection* Value);
    // Place in the collection, 0 at the bottom; -1 without a collection.
    int Index() const;

    bool Visible() const { return FVisible; }
    void SetVisible(bool Value);
    // Whether the layer takes part in the collection's mouse hit tests.
    bool MouseEvents() const { return FMouseEvents; }
    void SetMouseEvents(bool Value);

    // Whether the point (view client pixels) belongs to the layer: the layer's own test, then
    // OnHitTest, which may change the answer.
    bool HitTest(int X, int Y);
    // Paints the layer into the view's buffer (the layer's own painting, then OnPaint).
    void Paint(TBitmap32& Buffer);
    // The layer's look changed: the view repaints.
    void Changed();

    std::function<void(TCustomLayer* Sender, int X, int Y, bool& Passed)> OnHitTest;
    std::function<void(TCustomLayer* Sender, TBitmap32& Buffer)> OnPaint;
    // Fired with the layer as Sender when it is destroyed (by its collection or by a Clear), so
    // that whoever keeps a pointer to it can let go.
    TNotifyEvent OnDestroy;

protected:
    // A plain layer claims every point it is asked about.
    virtual bool DoHitTest(int X, int Y);
    virtual void DoPaint(TBitmap32& /*Buffer*/) {}

private:
    friend class TLayerCollection;
    TLayerCollection* FLayerCollection = nullptr;
    bool FVisible = true;
    bool FMouseEvents = false;
};

// A layer with a place: Location is in bitmap pixels when Scaled (it then moves and zooms with
// the bitmap), in view client pixels otherwise.
class TPositionedLayer : public TCustomLayer {
public:
    const TFloatRect& Location() const { return FLocation; }
    void SetLocation(const TFloatRect& Value);
    bool Scaled() const { return FScaled; }
    void SetScaled(bool Value);
    // Location in view client pixels: when Scaled, each side multiplied by the view's scale and
    // shifted by the bitmap's offset in the view (its scroll position and centring).
    TFloatRect GetAdjustedLocation() const;

protected:
    // The point lies in the adjusted location (left and top edges inside, right and bottom out).
    bool DoHitTest(int X, int Y) override;

private:
    TFloatRect FLocation;
    bool FScaled = false;
};

class TLayerCollection {
public:
    explicit TLayerCollection(TCustomImage32* Owner) : FOwner(Owner) {}
    TLayerCollection(const TLayerCollection&) = delete;
    TLayerCollection& operator=(const TLayerCollection&) = delete;
    ~TLayerCollection();

    TCustomImage32* Owner() const { return FOwner; }
    int Count() const { return static_cast<int>(FItems.size()); }
    // Raises "TLayerCollection.Items: Index out of bounds(Index)" outside 0 .. Count - 1.
    TCustomLayer* Items(int Index) const;
    int IndexOf(const TCustomLayer* Layer) const;

    // A new layer of type T on top; the collection owns it.
    template <class T = TPositionedLayer>
    T* Add() {
        auto layer = std::make_unique<T>();
        T* result = layer.get();
        Insert(std::move(layer));
        return result;
    }
    TCustomLayer* Add(std::unique_ptr<TCustomLayer> Layer);
    // Destroys the layer at Index (raises like Items) or the given layer (one of another
    // collection, or none, is ignored).
    void Delete(int Index);
    void Remove(TCustomLayer* Layer);
    // Destroys every layer.
    void Clear();

    // The layer that holds the mouse between a press and its release; none otherwise.
    TCustomLayer* MouseListener() const { return FMouseListener; }
    // The topmost visible layer with mouse events whose hit test passes at (X, Y); none.
    TCustomLayer* FindLayerAt(int X, int Y);

    // Mouse routing for the view: the layer under the mouse (or the listener), which a press
    // makes the listener and a release lets go.
    TCustomLayer* MouseDown(int X, int Y);
    TCustomLayer* MouseMove(int X, int Y);
    TCustomLayer* MouseUp(int X, int Y);

    // Every visible layer in index order.
    void PaintLayers(TBitmap32& Buffer);
    // The view repaints.
    void Changed();

private:
    friend class TCustomLayer;
    void Insert(std::unique_ptr<TCustomLayer> Layer);
    std::unique_ptr<TCustomLayer> Extract(TCustomLayer* Layer);

    TCustomImage32* FOwner;
    std::vector<std::unique_ptr<TCustomLayer>> FItems;
    TCustomLayer* FMouseListener = nullptr;
};
