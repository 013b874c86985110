// SPDX-License-Identifier: GPL-3.0-or-later
// The pictures the shell needs at run time, carried inside the program: the background tile of
// the panels and dialogs, and the splash picture of the About box. Both are 24-bit BMP files
// offered as readable streams.
#pragma once

#include "platform/rtl/Streams.h"

#include <QImage>
#include <QObject>

class TBitmap32;

class TdmGlobalConfig : public QObject {
    Q_OBJECT
public:
    explicit TdmGlobalConfig(QObject* Parent = nullptr);

    // The 127 x 127 pale blue tile with light diagonal streaks.
    TMemoryStream Background;
    // The 211 x 316 collage of six picture tiles.
    TMemoryStream splashImage;

    // Reads the whole background picture again into Graphic.
    void LoadBackground(TBitmap32& Graphic);
    void LoadBackground(QImage& Graphic);
};

// The one instance, made first at start-up.
extern TdmGlobalConfig* dmGlobalConfig;

// A picture of the program's resources (the tool icons "tool-auto.png", the button glyphs, the
// eyedropper cursor ...), as Format_ARGB32; a null image for an unknown name.
QImage LoadAppPicture(const QString& Name);
