// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/ControlPictures.h"

// The resources of a static library are registered by hand: nothing references their
// initialiser, so the linker would leave it out.
static void RegisterControlPictures() {
    Q_INIT_RESOURCE(ControlPictures);
}

QImage LoadControlPicture(const QString& Name) {
    static const bool registered = (RegisterControlPictures(), true);
    (void)registered;
    QImage image(QStringLiteral(":/controls/") + Name + QStringLiteral(".bmp"));
    return image.isNull() ? image : image.convertToFormat(QImage::Format_ARGB32);
}
