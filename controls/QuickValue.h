// SPDX-License-Identifier: GPL-3.0-or-later
// The value box: a small box that shows an integer with a unit suffix (" lines", " pixels") and
// a triangle glyph in its border colour. It lights up under the pointer; a press opens its
// picker under it, in which the value is chosen between Min and Max and changes live.
#pragma once

#include "controls/UPickPct.h"
#include "platform/qt/Colors.h"
#include "platform/rtl/Events.h"

#include <QImage>
#include <QWidget>

#include <string>

class TQuickValue : public QWidget {
    Q_OBJECT
public:
    explicit TQuickValue(QWidget* Parent = nullptr);
    ~TQuickValue() override;

    struct TBox {
        int Top;
        int Left;
        int Width;
        int Height;
    };
    // Where the text and the glyph go; the frame, the hot area, the separator and the picker's
    // anchor derive from them.
    TBox TextBox{1, 3, 26, 13};
    TBox GlyphBox{2, 35, 7, 11};

    const std::string& Text() const { return FText; }
    TFPickPct* Popup() const { return FPopup; }
    bool Hot() const { return FHot; }
    bool Pressed() const { return FPressed; }

    int Min() const { return FMin; }
    int Max() const { return FMax; }
    int Position() const { return FPosition; }
    const std::string& Suffix() const { return FSuffix; }
    // The box's own flag, apart from the widget's enabled state; a new box is not enabled.
    bool Enabled() const { return FEnabled; }
    TColor ColorInactive() const { return FColorInactive; }
    TColor ColorActive() const { return FColorActive; }
    TColor ColorBorder() const { return FColorBorder; }
    TColor ColorHighLigthBorder() const { return FColorHighLigthBorder; }
    TColor ColorShadowBorder() const { return FColorShadowBorder; }

    // Refused values (Min not below Max, Max not above Min, Position outside Min..Max) change
    // nothing.
    void SetMin(int Value);
    void SetMax(int Value);
    void SetPosition(int Value);
    void SetSuffix(const std::string& Value);
    void SetEnabled(bool Value);
    void SetColorInactive(TColor Value);
    void SetColorActive(TColor Value);
    void SetColorBorder(TColor Value);
    void SetColorHighLigthBorder(TColor Value);
    void SetColorShadowBorder(TColor Value);

    // Both fire with the picker as the sender; handlers read the box's Position.
    TNotifyEvent OnChangePos;
    TNotifyEvent OnEndChange;

    // The glyph in the border colour's hue and saturation, keeping each pixel's channel mean.
    void TintBitmap(QImage& Bitmap) const;

    // The box's own mouse handling.
    void CMMouseEnter();
    void CMMouseLeave();
    void MouseDownPopup(Qt::MouseButton Button, int X, int Y);
    void TrackMouseMove(int X, int Y);
    void MouseUpRelease(Qt::MouseButton Button, int X, int Y);
    void PopupChanged(void* Sender);
    void PopupEndChange(void* Sender);

    QSize sizeHint() const override { return QSize(46, 16); }

protected:
    void paintEvent(QPaintEvent* Event) override;
    void enterEvent(QEnterEvent* Event) override;
    void leaveEvent(QEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void mouseDoubleClickEvent(QMouseEvent* Event) override;

private:
    void Paint(QPainter& Canvas);
    // Loads both glyphs, tints them in the border colour and makes their background transparent.
    void TintGlyphs();
    void BuildText();
    void Refresh();
    bool InHotArea(int X, int Y) const;

    std::string FText;
    TFPickPct* FPopup = nullptr;
    bool FHot = false;
    bool FPressed = false;
    bool FEnabled = false;
    int FPosition = 0;
    int FMax = 100;
    int FMin = 0;
    std::string FSuffix = "%";
    TColor FColorInactive = clBtnFace;
    TColor FColorActive = clBtnFace;
    TColor FColorBorder = clBlack;
    TColor FColorHighLigthBorder = clBtnHighlight;
    TColor FColorShadowBorder = clBtnShadow;
    // The glyphs as painted, tinted whenever the border colour is set.
    QImage FGlyph;
    QImage FGlyphDisabled;
};
