// SPDX-License-Identifier: GPL-3.0-or-later
#include "presets/PolyBezierLayer.h"

#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Round.h"

namespace {
constexpr TColor32 CurrentShapeColor = 0xFFFF0000;
constexpr TColor32 OtherShapeColor = 0xFF808000;
} // namespace

TPolyBezierLayer::TPolyBezierLayer(TCustomImage32* AImage) : Image(AImage) {
    CurrentIndex = -1;
    Layer = Image->Layers().Add<TPositionedLayer>();
    const TRect viewport = Image->GetViewportRect();
    Layer->SetLocation(FloatRect(static_cast<float>(viewport.Left), static_cast<float>(viewport.Top),
                                 static_cast<float>(viewport.Right), static_cast<float>(viewport.Bottom)));
    Layer->SetScaled(true);
    Layer->SetMouseEvents(true);
    Layer->OnHitTest = [this](TCustomLayer* Sender, int X, int Y, bool& Passed) {
        LayerHitTest(Sender, X, Y, Passed);
    };
    Layer->OnPaint = [this](TCustomLayer* Sender, TBitmap32& ABuffer) { LayerPaint(Sender, ABuffer); };
    // The view frees its layers when it clears them or goes away; from then on there is none.
    Layer->OnDestroy = [this](void*) { Layer = nullptr; };
}

TPolyBezierLayer::~TPolyBezierLayer() {
    Shapes.clear();
    if (Layer == nullptr) return;
    TPositionedLayer* layer = Layer;
    Layer = nullptr;
    layer->OnDestroy = nullptr;
    layer->OnHitTest = nullptr;
    layer->OnPaint = nullptr;
    if (TLayerCollection* layers = layer->LayerCollection()) layers->Remove(layer);
}

TPolyBezier* TPolyBezierLayer::Add(std::unique_ptr<TPolyBezier> Shape) {
    TPolyBezier* shape = Shape.get();
    Shapes.push_back(std::move(Shape));
    CurrentIndex = Count() - 1;
    shape->SetSelected(Selected);
    shape->SetOnChange([this](void* Sender) { ShapeChanged(Sender); });
    if (auto handler = OnChange) handler(this);
    return shape;
}

TPolyBezier* TPolyBezierLayer::GetPolyBeziers(int32_t Index) const {
    if (Index < 0 || Index >= Count())
        RaiseException(IndexErrorText(Index, "TPolyBezierLayer.GetPolyBeziers"));
    return Shapes[static_cast<size_t>(Index)].get();
}

TPolyBezier* TPolyBezierLayer::Current() const {
    if (CurrentIndex < 0 || CurrentIndex >= Count()) return nullptr;
    return Shapes[static_cast<size_t>(CurrentIndex)].get();
}

void TPolyBezierLayer::ShapeChanged(void* /*Sender*/) {
    if (auto handler = OnChange) handler(this);
}

void TPolyBezierLayer::Clear() {
    Shapes.clear();
    Image->Repaint();
}

void TPolyBezierLayer::SetSelected(bool Value) {
    Selected = Value;
    for (size_t i = 0; i < Shapes.size(); ++i)
        Shapes[i]->SetSelected(Value);
}

void TPolyBezierLayer::DisableMouseEvents() {
    if (Layer) Layer->SetMouseEvents(false);
}

void TPolyBezierLayer::EnableMouseEvents() {
    if (Layer) Layer->SetMouseEvents(true);
}

void TPolyBezierLayer::SetImage(TCustomImage32* AImage) {
    Image = AImage;
    if (Layer) Layer->SetLayerCollection(&AImage->Layers());
}

void TPolyBezierLayer::UpdateViewOffset() {
    if (Layer == nullptr) return;
    const TFloatRect r = Layer->GetAdjustedLocation();
    ViewOffset = Point(Round(r.Left), Round(r.Top));
}

void TPolyBezierLayer::LayerHitTest(TCustomLayer* /*Sender*/, int X, int Y, bool& Passed) {
    if (Capturing) {
        Passed = true;
        return;
    }
    UpdateViewOffset();
    Passed = false;
    for (int32_t i = 0; i < Count(); ++i) {
        if (Shapes[static_cast<size_t>(i)]->HitTest(ViewOffset, X, Y)) {
            CurrentIndex = i;
            Passed = true;
            return;
        }
    }
}

void TPolyBezierLayer::LayerPaint(TCustomLayer* /*Sender*/, TBitmap32& ABuffer) {
    Buffer = &ABuffer;
    // Every fourth pixel half-transparent blue: the current shape's tangent arms.
    ABuffer.SetStipple({0x7F0000FF, 0, 0, 0});
    UpdateViewOffset();
    // A colour change notifies the owner, whose handler runs in the middle of this loop; the list
    // is looked at afresh for every shape.
    for (size_t i = 0; i < Shapes.size(); ++i) {
        TPolyBezier* shape = Shapes[i].get();
        const bool current = static_cast<int32_t>(i) == CurrentIndex;
        shape->SetColor(current ? CurrentShapeColor : OtherShapeColor);
        if (i >= Shapes.size() || Shapes[i].get() != shape) break;
        shape->ShowHandles(current);
        shape->Paint(ViewOffset, ABuffer);
    }
}
