#include "app/TiledImage.h"

#include <QPainter>

TTiledImage::TTiledImage(QWidget* Parent) : QWidget(Parent) {}

void TTiledImage::SetPicture(const QImage& Picture) {
    FPicture = Picture;
    update();
}

void TTiledImage::paintEvent(QPaintEvent* /*Event*/) {
    if (FPicture.isNull()) return;
    QPainter painter(this);
    painter.drawTiledPixmap(rect(), QPixmap::fromImage(FPicture));
}

// SEAM (temporary): the embedded-pictures module is written alongside; until it is in, the
// windows show no tile.
#if __has_include("app/UdmGlobalConfig.h")
#include "app/UdmGlobalConfig.h"
QImage BackgroundTile() {
    QImage picture;
    if (dmGlobalConfig != nullptr) dmGlobalConfig->LoadBackground(picture);
    return picture;
}
#else
QImage BackgroundTile() {
    return QImage();
}
#endif
