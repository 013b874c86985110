// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/SimpleColorSelector.h"

#include "platform/qt/PointerConfinement.h"
#include "platform/qt/ScreenCursors.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {
// The field shows the screen cursor of this slot, which the program fills with its eyedropper.
constexpr int FieldCursor = 1;

QRgb ToQRgb(TColor C) {
    const uint32_t u = static_cast<uint32_t>(C);
    return qRgb(static_cast<int>(u & 0xFF), static_cast<int>((u >> 8) & 0xFF),
                static_cast<int>((u >> 16) & 0xFF));
}
} // namespace

// The field: its picture unscaled at the top-left; presses and releases go to the selector.
class TSimpleColorSelector::TFieldImage : public QWidget {
public:
    TFieldImage(TSimpleColorSelector* Owner) : QWidget(Owner), FOwner(Owner) {}
    QImage Picture;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), palette().window());
        painter.drawImage(0, 0, Picture);
    }
    void enterEvent(QEnterEvent*) override { setCursor(ScreenCursor(FieldCursor)); }
    void mousePressEvent(QMouseEvent* Event) override {
        const QPoint p = Event->position().toPoint();
        FOwner->FieldMouseDown(Event->button(), p.x(), p.y());
    }
    void mouseDoubleClickEvent(QMouseEvent* Event) override { mousePressEvent(Event); }
    void mouseReleaseEvent(QMouseEvent* Event) override {
        const QPoint p = ConfinedPosition(this, Event->position().toPoint());
        FOwner->PickColor(Event->button(), p.x(), p.y());
    }

private:
    TSimpleColorSelector* FOwner;
};

TSimpleColorSelector::TSimpleColorSelector(QWidget* Parent) : QWidget(Parent) {
    resize(120, 73);
    FImage = new TFieldImage(this);
    FImage->setObjectName(QStringLiteral("Image"));
    FImage->setGeometry(1, 1, 119, 64);
    FSlider = new TQuorSlider(this);
    FSlider->setObjectName(QStringLiteral("jvSlider"));
    FSlider->setGeometry(1, 65, 119, 8);
    FSlider->SetMaximum(255);
    FSlider->SetPosition(128);
    FSlider->OnChanged = [this](void* Sender) { SliderChanged(Sender); };
    AlignControls();
    DrawField();
}

TSimpleColorSelector::~TSimpleColorSelector() {
    delete FSlider;
    FSlider = nullptr;
    delete FImage;
    FImage = nullptr;
}

QWidget* TSimpleColorSelector::Image() const {
    return FImage;
}

const QImage& TSimpleColorSelector::Field() const {
    return FImage->Picture;
}

const QImage& TSimpleColorSelector::BitmapSlider() const {
    return FSlider->ImageRuler();
}

void TSimpleColorSelector::SetBitmapSlider(const QImage& Picture) {
    FSlider->SetImageRuler(Picture);
    AlignControls();
}

const QImage& TSimpleColorSelector::BitmapBtn() const {
    return FSlider->ImageThumb();
}

void TSimpleColorSelector::SetBitmapBtn(const QImage& Picture) {
    FSlider->SetImageThumb(Picture);
}

void TSimpleColorSelector::AlignControls() {
    // The slider keeps its own height (its ruler's, while it sizes itself) and takes the width.
    const int own = FSlider->AutoSize() ? FSlider->sizeHint().height() : FSlider->height();
    const int sliderHeight = std::min(own, height());
    FSlider->setGeometry(0, height() - sliderHeight, width(), sliderHeight);
    FImage->setGeometry(0, 0, width(), height() - sliderHeight);
}

void TSimpleColorSelector::resizeEvent(QResizeEvent*) {
    AlignControls();
    Resized();
}

void TSimpleColorSelector::Resized() {
    DrawField();
}

void TSimpleColorSelector::SliderChanged(void*) {
    DrawField();
}

void TSimpleColorSelector::DrawField() {
    const int w = FImage->width();
    const int h = FImage->height();
    QImage field(std::max(w, 0), std::max(h, 0), QImage::Format_ARGB32);
    // A slider without range gives lightness 0 rather than a division by zero.
    const float light =
        FSlider->Maximum() != 0
            ? static_cast<float>(static_cast<double>(FSlider->Position()) / FSlider->Maximum())
            : 0.0f;
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) {
            float hue, saturation;
            if (FHorizontalLayout) {
                hue = static_cast<float>(static_cast<double>(x) / w);
                saturation = static_cast<float>(static_cast<double>(y) / h);
            } else {
                hue = static_cast<float>(static_cast<double>(y) / h);
                saturation = static_cast<float>(static_cast<double>(x) / w);
            }
            field.setPixel(x, y, ToQRgb(HSLToColor(hue, saturation, light)));
        }
    FImage->Picture = field;
    FImage->update();
}

void TSimpleColorSelector::FieldMouseDown(Qt::MouseButton, int, int) {
    ConfinePointer(FImage, ClientRectOnScreen(this));
}

// A release over the slider strip (the pointer is held to the whole selector) picks the
// nearest pixel of the field.
void TSimpleColorSelector::PickColor(Qt::MouseButton, int X, int Y) {
    const QImage& field = FImage->Picture;
    if (!field.isNull()) {
        const QRgb c = field.pixel(std::clamp(X, 0, field.width() - 1), std::clamp(Y, 0, field.height() - 1));
        FSelectedColor = RGBToColor(static_cast<uint8_t>(qRed(c)), static_cast<uint8_t>(qGreen(c)),
                                    static_cast<uint8_t>(qBlue(c)));
        if (OnSelectColor) OnSelectColor(this);
    }
    FreePointer();
}
