// The window side of the image views: a widget that shows one view model (its paint buffer), tells
// it the viewport's size, keeps the scroll bars and the model's scroll position in step, and
// feeds Qt's mouse, wheel and key events into it. While a button is held the widget keeps the
// mouse (Qt's implicit grab), so moves and the release reach the view that took the press, in
// client coordinates that may lie outside it.
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

protected:
    void paintEvent(QPaintEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
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
    void SyncViewport();
    void SyncScrollBars();
    void ShowCursor(TCursor Cursor);

    std::unique_ptr<TCustomImage32> FModel;
    TCustomImgView32* FScrolling; // the model when it scrolls, else none
    bool FSyncing = false;
    int FWheelDelta = 0; // wheel turn not yet a whole notch
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
