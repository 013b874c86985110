// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/QuickValue.h"

#include "controls/ControlPictures.h"

#include <QEnterEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

namespace {
QRgb ToQRgb(TColor C) {
    const uint32_t u = static_cast<uint32_t>(C);
    return qRgb(static_cast<int>(u & 0xFF), static_cast<int>((u >> 8) & 0xFF),
                static_cast<int>((u >> 16) & 0xFF));
}

// Pixels of the bitmap's lower-left colour become transparent.
void MakeTransparent(QImage& Bitmap) {
    if (Bitmap.isNull()) return;
    const QRgb key = Bitmap.pixel(0, Bitmap.height() - 1);
    for (int y = 0; y < Bitmap.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(Bitmap.scanLine(y));
        for (int x = 0; x < Bitmap.width(); ++x)
            if (line[x] == key) line[x] = 0;
    }
}
} // namespace

TQuickValue::TQuickValue(QWidget* Parent) : QWidget(Parent) {
    setFixedSize(46, 16);
    setMouseTracking(true);
    FPopup = new TFPickPct(this);
    TintGlyphs();
    BuildText();
}

TQuickValue::~TQuickValue() {
    delete FPopup;
}

void TQuickValue::BuildText() {
    FText = std::to_string(FPosition) + FSuffix;
}

void TQuickValue::Refresh() {
    repaint();
}

void TQuickValue::SetMin(int Value) {
    if (Value >= FMax) return;
    FMin = Value;
    if (FPosition < FMin) SetPosition(FMin);
}

void TQuickValue::SetMax(int Value) {
    if (Value <= FMin) return;
    FMax = Value;
    if (FPosition > FMax) SetPosition(FMax);
}

void TQuickValue::SetPosition(int Value) {
    if (Value < FMin || Value > FMax) return;
    FPosition = Value;
    if (FPopup) FPopup->SetPosition(Value);
    BuildText();
    Refresh();
}

void TQuickValue::SetSuffix(const std::string& Value) {
    FSuffix = Value;
    BuildText();
    Refresh();
}

void TQuickValue::SetEnabled(bool Value) {
    FEnabled = Value;
}

void TQuickValue::SetColorInactive(TColor Value) {
    FColorInactive = Value;
    Refresh();
}

void TQuickValue::SetColorActive(TColor Value) {
    FColorActive = Value;
    Refresh();
}

void TQuickValue::SetColorBorder(TColor Value) {
    FColorBorder = Value;
    TintGlyphs();
    Refresh();
}

void TQuickValue::SetColorHighLigthBorder(TColor Value) {
    FColorHighLigthBorder = Value;
    Refresh();
}

void TQuickValue::SetColorShadowBorder(TColor Value) {
    FColorShadowBorder = Value;
    Refresh();
}

void TQuickValue::TintBitmap(QImage& Bitmap) const {
    float h, s, l;
    ColorToHSL(FColorBorder, h, s, l);
    for (int x = 0; x < Bitmap.width(); ++x)
        for (int y = 0; y < Bitmap.height(); ++y) {
            const QRgb p = Bitmap.pixel(x, y);
            const float light = static_cast<float>((qRed(p) + qGreen(p) + qBlue(p)) / 765.0);
            Bitmap.setPixel(x, y, ToQRgb(HSLToColor(h, s, light)));
        }
}

void TQuickValue::TintGlyphs() {
    FGlyph = LoadControlPicture(QStringLiteral("VVERT"));
    FGlyphDisabled = LoadControlPicture(QStringLiteral("VVERTD"));
    TintBitmap(FGlyph);
    TintBitmap(FGlyphDisabled);
    MakeTransparent(FGlyph);
    MakeTransparent(FGlyphDisabled);
}

void TQuickValue::Paint(QPainter& Canvas) {
    const QColor border = ColorToQColor(FColorBorder);
    const QColor active = ColorToQColor(FColorActive);
    const QColor light = ColorToQColor(FColorHighLigthBorder);
    const QColor shadow = ColorToQColor(FColorShadowBorder);

    // The frame (x1, y1)-(x2, y2), right and bottom edges excluded.
    const int x1 = TextBox.Left - 3;
    const int y1 = TextBox.Top - 1;
    const int x2 = GlyphBox.Left + GlyphBox.Width + 3;
    const int y2 = GlyphBox.Top + GlyphBox.Height + 2;
    if (!FHot) {
        Canvas.fillRect(x1, y1, x2 - x1, y2 - y1, active);
        Canvas.fillRect(x1, y1, x2 - x1, 1, border);
        Canvas.fillRect(x1, y2 - 1, x2 - x1, 1, border);
        Canvas.fillRect(x1, y1, 1, y2 - y1, border);
        Canvas.fillRect(x2 - 1, y1, 1, y2 - y1, border);
    } else {
        // Raised, or sunken while pressed. Each edge line stops one pixel before its end point:
        // the light edges cover the top row and left column from (x1, y1), the dark ones the
        // bottom row y2 and right column x2 from (x2, y2).
        const QColor& topLeft = FPressed ? shadow : light;
        const QColor& bottomRight = FPressed ? light : shadow;
        Canvas.fillRect(x1, y1, x2 - x1, y2 - y1, active);
        Canvas.fillRect(x1, y1, x2 - x1, 1, topLeft);
        Canvas.fillRect(x1, y1, 1, y2 - y1, topLeft);
        Canvas.fillRect(x1 + 1, y2, x2 - x1, 1, bottomRight);
        Canvas.fillRect(x2, y1 + 1, 1, y2 - y1, bottomRight);
    }

    // The separator before the glyph.
    const int sx = GlyphBox.Left - 3;
    const int sy = GlyphBox.Top - 1;
    Canvas.fillRect(sx, sy, 1, GlyphBox.Height + 2, shadow);
    Canvas.fillRect(sx + 1, sy, 1, GlyphBox.Height + 2, light);

    // The text, clipped to its box, on the active colour; embossed while not enabled.
    const QRect textRect(TextBox.Left, TextBox.Top, TextBox.Width, TextBox.Height);
    const QString text = QString::fromStdString(FText);
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip;
    Canvas.save();
    Canvas.setClipRect(textRect);
    Canvas.setFont(font());
    Canvas.fillRect(textRect, active);
    if (FEnabled) {
        Canvas.setPen(border);
        Canvas.drawText(QRect(TextBox.Left, TextBox.Top, 200, 100), flags, text);
    } else {
        Canvas.setPen(light);
        Canvas.drawText(QRect(TextBox.Left + 1, TextBox.Top + 1, 200, 100), flags, text);
        Canvas.setPen(shadow);
        Canvas.drawText(QRect(TextBox.Left, TextBox.Top, 200, 100), flags, text);
    }
    Canvas.restore();

    Canvas.drawImage(GlyphBox.Left, GlyphBox.Top, FEnabled ? FGlyph : FGlyphDisabled);
}

void TQuickValue::paintEvent(QPaintEvent*) {
    QPainter canvas(this);
    Paint(canvas);
}

bool TQuickValue::InHotArea(int X, int Y) const {
    const int right = GlyphBox.Left + GlyphBox.Width + 3;
    const int bottom = GlyphBox.Top + GlyphBox.Height + 2;
    return X >= 0 && X <= right && Y >= 0 && Y <= bottom;
}

void TQuickValue::CMMouseEnter() {
    if (!FEnabled) return;
    FHot = true;
    Refresh();
}

void TQuickValue::CMMouseLeave() {
    if (!FEnabled) return;
    FHot = false;
    Refresh();
}

void TQuickValue::TrackMouseMove(int X, int Y) {
    if (!FEnabled) return;
    const bool inside = InHotArea(X, Y);
    if (inside && !FHot) {
        FHot = true;
        Refresh();
    } else if (!inside && FHot) {
        FHot = false;
        Refresh();
    }
}

void TQuickValue::MouseDownPopup(Qt::MouseButton, int, int) {
    if (!FEnabled) return;
    FPressed = true;
    if (!FHot || !FPopup) return;
    Refresh();
    FPopup->SetDragging(true);

    // Under the box, pushed left to keep it on the screen.
    QPoint p = mapToGlobal(QPoint(TextBox.Left - 3, GlyphBox.Top + GlyphBox.Height + 2));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const int screenWidth = screen->geometry().width();
        if (p.x() + FPopup->width() > screenWidth) p.setX(screenWidth - FPopup->width());
    }
    FPopup->move(p);

    FPopup->SetOnChange([this](void* Sender) { PopupChanged(Sender); });
    FPopup->SetOnEndChange([this](void* Sender) { PopupEndChange(Sender); });
    // The picker takes the range in the order in which it accepts both bounds.
    if (FMin >= FPopup->Max()) {
        FPopup->SetMax(FMax);
        FPopup->SetMin(FMin);
    } else {
        FPopup->SetMin(FMin);
        FPopup->SetMax(FMax);
    }
    FPopup->SetPosition(FPosition);
    FPopup->ShowModal();
}

void TQuickValue::MouseUpRelease(Qt::MouseButton, int, int) {
    if (!FEnabled) return;
    FPressed = false;
    if (FHot) Refresh();
}

void TQuickValue::PopupChanged(void* Sender) {
    FPosition = FPopup->Position();
    BuildText();
    repaint();
    if (OnChangePos) OnChangePos(Sender);
}

void TQuickValue::PopupEndChange(void* Sender) {
    if (OnEndChange) OnEndChange(Sender);
}

void TQuickValue::enterEvent(QEnterEvent*) {
    CMMouseEnter();
}

void TQuickValue::leaveEvent(QEvent*) {
    CMMouseLeave();
}

void TQuickValue::mousePressEvent(QMouseEvent* Event) {
    const QPoint p = Event->position().toPoint();
    MouseDownPopup(Event->button(), p.x(), p.y());
}

void TQuickValue::mouseDoubleClickEvent(QMouseEvent* Event) {
    mousePressEvent(Event);
}

void TQuickValue::mouseMoveEvent(QMouseEvent* Event) {
    const QPoint p = Event->position().toPoint();
    TrackMouseMove(p.x(), p.y());
}

void TQuickValue::mouseReleaseEvent(QMouseEvent* Event) {
    const QPoint p = Event->position().toPoint();
    MouseUpRelease(Event->button(), p.x(), p.y());
}
