// SPDX-License-Identifier: GPL-3.0-or-later
// The window side of the image views: a widget that shows one view model (its paint buffer), tells
// it the viewport's size, keeps the scroll bars and the model's scroll position in step, and
// feeds Qt's mouse, wheel and key events into it. While a button is held the widget keeps the
// mouse (Qt's implicit grab), so moves and the release reach the view that took the press, in
// client coordinates that may lie outside it.
//
// Pixels: a widget in device pixels (the default of the scrolling views) gives its model the
// viewport in device pixels, hands the painted buffer to Qt at the screen's device pixel ratio (no
// stretch, so a picture at scale 1 shows one picture pixel per screen pixel, sharp on a
// high-density screen), and turns every position it reports (mouse, wheel, pointer) into device
// pixels: the logical position times the ratio, rounded to the nearest pixel. The viewport's device
// size is its logical size times the ratio, rounded to the nearest pixel as Qt sizes its own
// backing store and grabs (at 1.5, 101 logical pixels are 152). The scroll bars count the model's
// pixels. A widget in logical pixels (previews, the pattern editor's fixed canvas) shows its buffer
// at one buffer pixel per logical pixel, scaled by Qt as any picture is. At a ratio of 1 both are
// the same.
#pragma once

#include "platform/raster/Image32.h"

#include <QAbstractScrollArea>

#include <memory>

class TCustomImage32Widget : public QAbstractScrollArea {
    Q_OBJECT
public:
    TCustomImage32Widget(std::unique_ptr<TCustomImage32> Model, QWidget* Parent);
    ~TCustomImage32Widget() override;

    TCustomImage32& Model() { return *FModel; }

    // Whether the model counts device pixels (see above).
    void SetDevicePixels(bool Value);
    // Device pixels per model pixel: the screen's ratio in device pixels, else 1.
    qreal PixelRatio() const;

protected:
    void paintEvent(QPaintEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    bool viewportEvent(QEvent* Event) override;
    void scrollContentsBy(int DX, int DY) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseDoubleClickEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void wheelEvent(QWheelEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void keyReleaseEvent(QKeyEvent* Event) override;

private:
    void Press(QMouseEvent* Event, bool Double);
    void ModelChanged(bool Immediate);
    // The viewport's size and a logical position in the model's pixels.
    QSize ViewportPixels() const;
    TPoint ToModel(const QPointF& Logical) const;
    void SyncViewport();
    void SyncScrollBars();
    void ShowCursor(TCursor Cursor);

    std::unique_ptr<TCustomImage32> FModel;
    TCustomImgView32* FScrolling; // the model when it scrolls, else none
    bool FDevicePixels;
    bool FSyncing = false;
    int FWheelDelta = 0;        // wheel turn not yet a whole notch
    bool FWheelHandled = false; // what the model did with the last whole notch
};

// A scrolling view: the source and destination views of the drawing, the pattern editor's view.
class TImgView32Widget : public TCustomImage32Widget {
    Q_OBJECT
public:
    explicit TImgView32Widget(QWidget* Parent = nullptr);
    TImgView32& View() { return static_cast<TImgView32&>(Model()); }
};

// A plain picture from the top-left corner, without scroll bars: previews and thumbnails.
class TImage32Widget : public TCustomImage32Widget {
    Q_OBJECT
public:
    explicit TImage32Widget(QWidget* Parent = nullptr);
    TImage32& Image() { return static_cast<TImage32&>(Model()); }
};

// The mouse pointer of a cursor number: the desktop's shapes, above 0 the program's own
// registered cursors.
QCursor CursorOf(TCursor Cursor);
