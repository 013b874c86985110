// SPDX-License-Identifier: GPL-3.0-or-later
// The bitmap slider: a ruler picture stretched over the whole control and a thumb picture that
// holds the normal thumb on its left half and the pressed thumb on its right half. The thumb is
// dragged with the left button; Position runs from 0 to Maximum along the ruler. While a button
// is down the pointer is held inside the slider.
#pragma once

#include "platform/rtl/Events.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <memory>

class TQuorSlider : public QWidget {
    Q_OBJECT
public:
    explicit TQuorSlider(QWidget* Owner = nullptr);
    ~TQuorSlider() override;

    const QImage& ImageRuler() const { return FImageRuler; }
    const QImage& ImageThumb() const { return FImageThumb; }
    const QImage& ThumbShown() const { return FThumbShown; }
    const QImage& ThumbSpare() const { return FThumbSpare; }
    // The ruler: with AutoSize the slider takes the picture's size.
    void SetImageRuler(const QImage& Picture);
    // The two-image thumb; every new picture is split into the normal and the pressed image.
    void SetImageThumb(const QImage& Picture);

    // Which way the thumb runs; a plain field: the scale follows at the next resize, Maximum or
    // Position change.
    bool Horizontal = true;

    bool Dragging() const { return FDragging; }
    int Maximum() const { return FMaximum; }
    double Scale() const { return FScale; }
    int Position() const { return FPosition; }
    bool Swapped() const { return FSwapped; }
    bool Moved() const { return FMoved; }
    bool AutoSize() const { return FAutoSize; }
    // The one-shot timer that gives the default thumb its first split; none once it has fired.
    QTimer* SplitTimer() const { return FSplitTimer.get(); }

    // Neither fires an event.
    void SetMaximum(int Value);
    void SetPosition(int Value);
    void SetAutoSize(bool Value);

    // All three fire with the slider as the sender.
    TNotifyEvent OnChanged;
    TNotifyEvent OnStopChanged;
    TNotifyEvent OnBeginChange;

    void UpdateScale();
    void SplitThumb();
    void ThumbTimer();
    bool CanAutoSize(int& NewWidth, int& NewHeight) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;

private:
    void SwapThumbs();

    QImage FImageRuler;
    QImage FImageThumb;
    QImage FThumbShown;
    QImage FThumbSpare;
    bool FDragging = false;
    int FMaximum = 100;
    double FScale = 0;
    int FPosition = 0;
    bool FSwapped = false;
    bool FMoved = false;
    bool FAutoSize = false;
    std::unique_ptr<QTimer> FSplitTimer;
};
