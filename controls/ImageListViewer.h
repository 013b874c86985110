// SPDX-License-Identifier: GPL-3.0-or-later
// The thumbnail grid: every picture of an image list as a thumbnail in rows, drawn into one
// inner picture inside a scrolling container. A press picks a thumbnail, which is framed in
// blue; any change of the list selects the first thumbnail again and redraws.
#pragma once

#include "platform/qt/Colors.h"
#include "platform/qt/ImageList.h"

#include <QImage>
#include <QScrollArea>

#include <functional>
#include <memory>

// Thumbnail mouse events: the thumbnail's index and the point in the grid picture. No sender.
using TOnMouseThumb = std::function<void(int Index, int X, int Y)>;

class TImageListViewer : public QScrollArea {
    Q_OBJECT
public:
    explicit TImageListViewer(QWidget* Parent = nullptr);
    ~TImageListViewer() override;

    TChangeLink* ChangeLink() const { return FChangeLink.get(); }
    // The inner widget that shows the grid picture, and the picture itself.
    QWidget* Image() const;
    const QImage& Picture() const;

    int Cols() const { return FCols; }
    int Rows() const { return FRows; }
    int Margin() const { return FMargin; }
    int Selected() const { return FSelected; }
    int ThumbWidth() const { return FThumbWidth; }
    int ThumbHeight() const { return FThumbHeight; }
    // The list shown; none once it is destroyed.
    TImageList* ImageList() const { return FChangeLink->Sender(); }
    // The grid's background; the grid picture takes it at its next redraw.
    TColor Color() const { return FColor; }

    // Takes the list's thumbnail size and redraws. None drops the registration and keeps the
    // picture.
    void SetImageList(TImageList* Value);
    void SetMargin(int Value);
    void SetThumbWidth(int Value);
    void SetThumbHeight(int Value);
    void SetColor(TColor Value);
    // Frames thumbnail Index as a press on it would (without the mouse events), scrolls it into
    // view and redraws; an index outside the list frames none.
    void SetSelected(int Index);

    TOnMouseThumb OnMouseDownThumb;
    TOnMouseThumb OnMouseUpThumb;

    // The client width the layout fills: the viewport's.
    int ClientWidth() const;
    void Redraw();
    void ImageListChange();
    void ThumbMouseDown(Qt::MouseButton Button, int X, int Y);
    void ThumbMouseUp(Qt::MouseButton Button, int X, int Y);

protected:
    void resizeEvent(QResizeEvent* Event) override;

private:
    QPoint ThumbOrigin(int Index) const;
    void SetImageSize(int Width, int Height);
    void DrawSelection(QPainter& Canvas);

    std::unique_ptr<TChangeLink> FChangeLink;
    class TGridImage;
    TGridImage* FImage = nullptr;
    int FCols = 0;
    int FRows = 0;
    int FMargin = 2;
    int FSelected = 0;
    int FThumbWidth = -1;
    int FThumbHeight = -1;
    TColor FColor = clWindow;
};
