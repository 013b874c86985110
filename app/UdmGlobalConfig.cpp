// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/UdmGlobalConfig.h"

#include "platform/qt/Bitmap32Image.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/BmpCodec.h"

#include <QFile>

TdmGlobalConfig* dmGlobalConfig = nullptr;

// The resources of a static library are registered by hand: nothing references their
// initialiser, so the linker would leave it out. (Outside any namespace: the macro declares the
// initialiser where it stands.)
static void RegisterAppPictures() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(AppPictures);
        return true;
    }();
    (void)registered;
}

namespace {
void LoadResource(TMemoryStream& Stream, const QString& Name) {
    RegisterAppPictures();
    QFile file(QStringLiteral(":/app/") + Name);
    if (!file.open(QIODevice::ReadOnly)) return;
    const QByteArray bytes = file.readAll();
    Stream.Clear();
    Stream.WriteBuffer(bytes.constData(), static_cast<size_t>(bytes.size()));
    Stream.SetPosition(0);
}
} // namespace

TdmGlobalConfig::TdmGlobalConfig(QObject* Parent) : QObject(Parent) {
    setObjectName(QStringLiteral("dmGlobalConfig"));
    LoadResource(Background, QStringLiteral("background.bmp"));
    LoadResource(splashImage, QStringLiteral("splash.bmp"));
}

void TdmGlobalConfig::LoadBackground(TBitmap32& Graphic) {
    Background.SetPosition(0);
    ReadBmp(Graphic, Background);
}

void TdmGlobalConfig::LoadBackground(QImage& Graphic) {
    TBitmap32 bitmap;
    LoadBackground(bitmap);
    Graphic = Bitmap32AsQImage(std::as_const(bitmap)).copy();
}

QImage LoadAppPicture(const QString& Name) {
    RegisterAppPictures();
    QImage image(QStringLiteral(":/app/") + Name);
    return image.isNull() ? image : image.convertToFormat(QImage::Format_ARGB32);
}
