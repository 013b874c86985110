// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/Bitmap32Image.h"

#include <cstring>

QImage Bitmap32AsQImage(TBitmap32& Bitmap) {
    if (Bitmap.Empty()) return QImage();
    return QImage(reinterpret_cast<uchar*>(Bitmap.Bits()), Bitmap.Width(), Bitmap.Height(),
                  static_cast<qsizetype>(Bitmap.Width()) * 4, QImage::Format_ARGB32);
}

QImage Bitmap32AsQImage(const TBitmap32& Bitmap) {
    if (Bitmap.Empty()) return QImage();
    return QImage(reinterpret_cast<const uchar*>(Bitmap.Bits()), Bitmap.Width(), Bitmap.Height(),
                  static_cast<qsizetype>(Bitmap.Width()) * 4, QImage::Format_ARGB32);
}

void AssignQImage(TBitmap32& Dest, const QImage& Source) {
    const QImage image = Source.convertToFormat(QImage::Format_ARGB32);
    Dest.SetSize(image.width(), image.height());
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(Dest.ScanLine(y), image.constScanLine(y), static_cast<size_t>(image.width()) * 4);
}
