// SPDX-License-Identifier: GPL-3.0-or-later
// The value box's pop-up picker: a captionless dialog in which a triangle thumb slides along a
// 100-pixel bar to choose a value between Min and Max. The value box shows it under itself as a
// pop-up and waits until it closes: the first mouse release over it, or of a press on it, closes it
// with the value it shows, and so do Enter and a press anywhere outside it (a press that then goes
// nowhere else); Esc closes it with the value it had when it opened. While it is shown it holds the
// mouse and the keyboard, and a request to close another window closes it first.
#pragma once

#include "platform/rtl/Events.h"

#include <QDialog>
#include <QImage>

class QEventLoop;

class TFPickPct : public QDialog {
    Q_OBJECT
public:
    explicit TFPickPct(QWidget* Owner = nullptr);

    // A component's place in the client area.
    struct TBounds {
        int Left;
        int Top;
        int Width;
        int Height;
        bool Contains(int X, int Y) const {
            return X >= Left && X < Left + Width && Y >= Top && Y < Top + Height;
        }
    };
    // The thumb (its picture: an upward triangle on the transparent magenta) and the bar.
    TBounds Image1{0, 5, 11, 7};
    TBounds Bevel1{6, 0, 100, 4};

    bool ThumbDrag = false;
    bool BarDrag = false;
    int Min() const { return FMin; }
    int Position() const { return FPosition; }
    int Max() const { return FMax; }
    const TNotifyEvent& OnChange() const { return FOnChange; }
    const TNotifyEvent& OnEndChange() const { return FOnEndChange; }

    // Refused values (outside Min..Max, a Min not below Max, a Max not above Min) change nothing.
    void SetPosition(int Value);
    void SetMin(int Value);
    void SetMax(int Value);
    void SetOnChange(TNotifyEvent Event) { FOnChange = std::move(Event); }
    void SetOnEndChange(TNotifyEvent Event) { FOnEndChange = std::move(Event); }
    void SetDragging(bool Dragging);

    void UpdateThumbFromPosition();
    void UpdatePositionFromThumb();

    // Shows the picker and returns when it has closed.
    int ShowModal();

    // The mouse handlers of the form and of the thumb; X and Y in the client area (the form's)
    // or relative to the thumb (Image1's).
    void FormMouseDown(Qt::MouseButton Button, int X, int Y);
    void FormMouseMove(int X, int Y);
    void FormMouseUp(Qt::MouseButton Button, int X, int Y);
    void Image1MouseDown(Qt::MouseButton Button, int X, int Y);
    void Image1MouseMove(int X, int Y);
    void Image1MouseUp(Qt::MouseButton Button, int X, int Y);

    // The dialog frame around the client area, in pixels on every side.
    static constexpr int FrameWidth = 3;
    static constexpr int ClientWidth = 112;
    QPoint ClientOrigin() const { return QPoint(FrameWidth, FrameWidth); }

protected:
    void paintEvent(QPaintEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void mouseDoubleClickEvent(QMouseEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
    void hideEvent(QHideEvent* Event) override;
    // Watches the whole program's windows while the picker is shown, for a request to close one.
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void FormCreate();
    void MoveThumbTo(int X);
    void CloseForm();
    // Ends the choice: Restore puts back the value from the opening; OnEndChange fires with the
    // value as it then is, once per showing, and the picker closes.
    void EndChoice(bool Restore);
    void FireEndChange();

    // Which component a press went to: it gets the moves and the release until then, as a
    // captured control does.
    enum class TTarget { None, Form, Thumb };
    TTarget Hit(const QPoint& Client) const;
    void Dispatch(QMouseEvent* Event);
    TTarget FCapture = TTarget::None;
    // Set from the showing until OnEndChange has fired for it.
    bool FChoosing = false;
    int FOpening = 0;
    QEventLoop* FLoop = nullptr;

    TNotifyEvent FOnChange;
    TNotifyEvent FOnEndChange;
    int FMin = 0;
    int FPosition = 0;
    int FMax = 100;
    QImage FThumb;
};
