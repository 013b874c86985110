// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/ImageListViewer.h"

#include <QMouseEvent>
#include <QPainter>

// The grid picture: shows its image unscaled and passes presses and releases to the grid.
class TImageListViewer::TGridImage : public QWidget {
public:
    TGridImage(TImageListViewer* Owner) : QWidget(nullptr), FOwner(Owner) {}
    QImage Picture;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawImage(0, 0, Picture);
    }
    void mousePressEvent(QMouseEvent* Event) override {
        const QPoint p = Event->position().toPoint();
        FOwner->ThumbMouseDown(Event->button(), p.x(), p.y());
    }
    void mouseDoubleClickEvent(QMouseEvent* Event) override { mousePressEvent(Event); }
    void mouseReleaseEvent(QMouseEvent* Event) override {
        const QPoint p = Event->position().toPoint();
        FOwner->ThumbMouseUp(Event->button(), p.x(), p.y());
    }

private:
    TImageListViewer* FOwner;
};

TImageListViewer::TImageListViewer(QWidget* Parent)
    : QScrollArea(Parent), FChangeLink(std::make_unique<TChangeLink>()) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(false);
    FChangeLink->OnChange = [this] { ImageListChange(); };
    FImage = new TGridImage(this);
    FImage->Picture = QImage(200, 200, QImage::Format_ARGB32);
    FImage->Picture.fill(Qt::white);
    FImage->resize(200, 200);
    setWidget(FImage);
    SetColor(clWindow);
}

TImageListViewer::~TImageListViewer() {
    // The picture goes first, then the link, which leaves its list.
    delete takeWidget();
    FImage = nullptr;
    FChangeLink.reset();
}

QWidget* TImageListViewer::Image() const {
    return FImage;
}

const QImage& TImageListViewer::Picture() const {
    return FImage->Picture;
}

void TImageListViewer::SetImageList(TImageList* Value) {
    if (!Value) {
        if (TImageList* old = ImageList()) old->UnRegisterChanges(FChangeLink.get());
        return;
    }
    Value->RegisterChanges(FChangeLink.get());
    FThumbWidth = Value->Width();
    FThumbHeight = Value->Height();
    Redraw();
}

void TImageListViewer::SetMargin(int Value) {
    FMargin = Value;
    Redraw();
}

void TImageListViewer::SetThumbWidth(int Value) {
    FThumbWidth = Value;
    Redraw();
}

void TImageListViewer::SetThumbHeight(int Value) {
    FThumbHeight = Value;
    Redraw();
}

void TImageListViewer::SetSelected(int Index) {
    FSelected = Index;
    Redraw();
    const TImageList* list = ImageList();
    if (list && FCols > 0 && Index >= 0 && Index < list->Count()) {
        const QPoint p = ThumbOrigin(Index);
        ensureVisible(p.x() + FThumbWidth / 2, p.y() + FThumbHeight / 2, FThumbWidth / 2 + FMargin,
                      FThumbHeight / 2 + FMargin);
    }
    viewport()->update();
}

void TImageListViewer::SetColor(TColor Value) {
    FColor = Value;
    QPalette palette = viewport()->palette();
    palette.setColor(QPalette::Window, ColorToQColor(Value));
    viewport()->setPalette(palette);
    viewport()->setAutoFillBackground(true);
}

int TImageListViewer::ClientWidth() const {
    // A hidden container lays out its viewport only when shown; until then the client area is
    // the container's own.
    return isVisible() ? viewport()->width() : contentsRect().width();
}

void TImageListViewer::resizeEvent(QResizeEvent* Event) {
    QScrollArea::resizeEvent(Event);
    Redraw();
}

QPoint TImageListViewer::ThumbOrigin(int Index) const {
    const int column = Index % FCols;
    const int row = Index / FCols;
    return QPoint(FMargin + column * (FThumbWidth + FMargin), FMargin + row * (FThumbHeight + FMargin));
}

void TImageListViewer::SetImageSize(int Width, int Height) {
    FImage->resize(Width, Height);
    FImage->Picture = QImage(Width, Height, QImage::Format_ARGB32);
    FImage->Picture.fill(Qt::white);
}

namespace {
// The outline of (X1, Y1)-(X2, Y2), right and bottom edges excluded, one pixel wide.
void FrameRect(QPainter& Canvas, int X1, int Y1, int X2, int Y2, const QColor& Color) {
    if (X2 <= X1 || Y2 <= Y1) return;
    Canvas.fillRect(X1, Y1, X2 - X1, 1, Color);
    Canvas.fillRect(X1, Y2 - 1, X2 - X1, 1, Color);
    Canvas.fillRect(X1, Y1, 1, Y2 - Y1, Color);
    Canvas.fillRect(X2 - 1, Y1, 1, Y2 - Y1, Color);
}
} // namespace

void TImageListViewer::DrawSelection(QPainter& Canvas) {
    const TImageList* list = ImageList();
    if (FSelected < 0 || FSelected >= list->Count()) return;
    const QPoint p = ThumbOrigin(FSelected);
    const int half = FMargin / 2;
    FrameRect(Canvas, p.x() - half, p.y() - half, p.x() + FThumbWidth + half, p.y() + FThumbHeight + half,
              ColorToQColor(clBlue));
}

void TImageListViewer::Redraw() {
    const TImageList* list = ImageList();
    if (!list || list->Count() == 0) return;
    // A thumbnail and its margin that take no room leave nothing to lay out.
    if (FThumbWidth + FMargin <= 0) return;
    const int count = list->Count();
    FCols = (ClientWidth() - FMargin) / (FThumbWidth + FMargin);
    if (count < FCols) FCols = count;
    if (FCols < 1) FCols = 1;
    FRows = count / FCols + (count % FCols != 0 ? 1 : 0);
    const int w = (FThumbWidth + FMargin) * FCols + FMargin;
    const int h = (FThumbHeight + FMargin) * FRows + FMargin;
    if (w <= 0 || h <= 0) return;
    SetImageSize(w, h);

    QPainter canvas(&FImage->Picture);
    canvas.fillRect(0, 0, w, h, ColorToQColor(FColor));
    DrawSelection(canvas);
    for (int i = 0; i < count; ++i) {
        const QPoint p = ThumbOrigin(i);
        const QImage thumbnail = list->GetBitmap(i);
        canvas.drawImage(QRect(p.x(), p.y(), FThumbWidth, FThumbHeight), thumbnail);
        FrameRect(canvas, p.x(), p.y(), p.x() + FThumbWidth, p.y() + FThumbHeight, Qt::black);
    }
    canvas.end();
    FImage->update();
}

void TImageListViewer::ImageListChange() {
    FSelected = 0;
    Redraw();
    viewport()->update();
}

void TImageListViewer::ThumbMouseDown(Qt::MouseButton, int X, int Y) {
    if (const TImageList* list = ImageList(); list && FCols > 0) {
        for (int i = 0; i < list->Count(); ++i) {
            const QPoint p = ThumbOrigin(i);
            if (X >= p.x() && X <= p.x() + FThumbWidth && Y >= p.y() && Y <= p.y() + FThumbHeight) {
                FSelected = i;
                break;
            }
        }
    }
    Redraw();
    if (OnMouseDownThumb) OnMouseDownThumb(FSelected, X, Y);
}

void TImageListViewer::ThumbMouseUp(Qt::MouseButton, int X, int Y) {
    if (OnMouseUpThumb) OnMouseUpThumb(FSelected, X, Y);
}
