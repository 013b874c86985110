// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/TiledImage.h"

#include "app/UdmGlobalConfig.h"

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

QImage BackgroundTile() {
    QImage picture;
    if (dmGlobalConfig != nullptr) dmGlobalConfig->LoadBackground(picture);
    return picture;
}
