// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/raster/Layers.h"

#include "platform/raster/Image32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Format.h"

#include <algorithm>

// ---------------------------------------------------------------------------------------------
// TCustomLayer
// ---------------------------------------------------------------------------------------------

TCustomLayer::~TCustomLayer() {
    if (OnDestroy) OnDestroy(this);
}

void TCustomLayer::SetLayerCollection(TLayerCollection* Value) {
    // Only a layer that a collection owns can move; a new one is added with TLayerCollection::Add.
    if (Value == nullptr || Value == FLayerCollection || FLayerCollection == nullptr) return;
    Value->Insert(FLayerCollection->Extract(this));
}

int TCustomLayer::Index() const {
    return FLayerCollection ? FLayerCollection->IndexOf(this) : -1;
}

void TCustomLayer::SetVisible(bool Value) {
    if (FVisible == Value) return;
    FVisible = Value;
    Changed();
}

void TCustomLayer::SetMouseEvents(bool Value) {
    FMouseEvents = Value;
}

bool TCustomLayer::HitTest(int X, int Y) {
    bool passed = DoHitTest(X, Y);
    if (OnHitTest) OnHitTest(this, X, Y, passed);
    return passed;
}

bool TCustomLayer::DoHitTest(int /*X*/, int /*Y*/) {
    return true;
}

void TCustomLayer::Paint(TBitmap32& Buffer) {
    DoPaint(Buffer);
    if (OnPaint) OnPaint(this, Buffer);
}

void TCustomLayer::Changed() {
    if (FLayerCollection) FLayerCollection->Changed();
}

// ---------------------------------------------------------------------------------------------
// TPositionedLayer
// ---------------------------------------------------------------------------------------------

void TPositionedLayer::SetLocation(const TFloatRect& Value) {
    if (FLocation == Value) return;
    FLocation = Value;
    Changed();
}

void TPositionedLayer::SetScaled(bool Value) {
    if (FScaled == Value) return;
    FScaled = Value;
    Changed();
}

TFloatRect TPositionedLayer::GetAdjustedLocation() const {
    const TLayerCollection* layers = LayerCollection();
    if (!FScaled || layers == nullptr || layers->Owner() == nullptr) return FLocation;
    const TCustomImage32& view = *layers->Owner();
    // In double, then stored as the float sides of the result.
    const double sx = view.ScaleX(), sy = view.ScaleY();
    const double ox = view.OffsetHorz(), oy = view.OffsetVert();
    return TFloatRect{
        static_cast<float>(FLocation.Left * sx + ox), static_cast<float>(FLocation.Top * sy + oy),
        static_cast<float>(FLocation.Right * sx + ox), static_cast<float>(FLocation.Bottom * sy + oy)};
}

bool TPositionedLayer::DoHitTest(int X, int Y) {
    const TFloatRect r = GetAdjustedLocation();
    return X >= r.Left && X < r.Right && Y >= r.Top && Y < r.Bottom;
}

// ---------------------------------------------------------------------------------------------
// TLayerCollection
// ---------------------------------------------------------------------------------------------

TLayerCollection::~TLayerCollection() {
    FOwner = nullptr;
    Clear();
}

TCustomLayer* TLayerCollection::Items(int Index) const {
    if (Index < 0 || Index >= Count())
        RaiseException(Format("%s: Index out of bounds(%d)", "TLayerCollection.Items", Index));
    return FItems[static_cast<size_t>(Index)].get();
}

int TLayerCollection::IndexOf(const TCustomLayer* Layer) const {
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i].get() == Layer) return static_cast<int>(i);
    return -1;
}

TCustomLayer* TLayerCollection::Add(std::unique_ptr<TCustomLayer> Layer) {
    TCustomLayer* result = Layer.get();
    if (result) Insert(std::move(Layer));
    return result;
}

void TLayerCollection::Insert(std::unique_ptr<TCustomLayer> Layer) {
    Layer->FLayerCollection = this;
    FItems.push_back(std::move(Layer));
    Changed();
}

std::unique_ptr<TCustomLayer> TLayerCollection::Extract(TCustomLayer* Layer) {
    const int i = IndexOf(Layer);
    if (i < 0) return nullptr;
    if (FMouseListener == Layer) FMouseListener = nullptr;
    std::unique_ptr<TCustomLayer> result = std::move(FItems[static_cast<size_t>(i)]);
    FItems.erase(FItems.begin() + i);
    result->FLayerCollection = nullptr;
    Changed();
    return result;
}

void TLayerCollection::Delete(int Index) {
    Remove(Items(Index));
}

void TLayerCollection::Remove(TCustomLayer* Layer) {
    // Destroyed once it has left the list, so its OnDestroy sees a consistent collection.
    std::unique_ptr<TCustomLayer> gone = Extract(Layer);
}

void TLayerCollection::Clear() {
    FMouseListener = nullptr;
    std::vector<std::unique_ptr<TCustomLayer>> gone;
    gone.swap(FItems);
    for (auto& layer : gone)
        layer->FLayerCollection = nullptr;
    gone.clear();
    Changed();
}

TCustomLayer* TLayerCollection::FindLayerAt(int X, int Y) {
    // Top-down; the index is checked again after every call, as hit tests run outside code.
    for (int i = Count() - 1; i >= 0; --i) {
        if (i >= Count()) continue;
        TCustomLayer* layer = FItems[static_cast<size_t>(i)].get();
        if (layer->Visible() && layer->MouseEvents() && layer->HitTest(X, Y)) return layer;
    }
    return nullptr;
}

TCustomLayer* TLayerCollection::MouseDown(int X, int Y) {
    if (FMouseListener) return FMouseListener;
    FMouseListener = FindLayerAt(X, Y);
    return FMouseListener;
}

TCustomLayer* TLayerCollection::MouseMove(int X, int Y) {
    if (FMouseListener) return FMouseListener;
    return FindLayerAt(X, Y);
}

TCustomLayer* TLayerCollection::MouseUp(int X, int Y) {
    if (FMouseListener) {
        TCustomLayer* layer = FMouseListener;
        FMouseListener = nullptr;
        return layer;
    }
    return FindLayerAt(X, Y);
}

void TLayerCollection::PaintLayers(TBitmap32& Buffer) {
    for (size_t i = 0; i < FItems.size(); ++i) {
        TCustomLayer* layer = FItems[i].get();
        if (layer->Visible()) layer->Paint(Buffer);
    }
}

void TLayerCollection::Changed() {
    if (FOwner) FOwner->Invalidate();
}
