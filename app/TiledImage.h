// SPDX-License-Identifier: GPL-3.0-or-later
// A picture repeated over the whole control from its top-left corner: the background tile behind
// the panels and frames of the windows.
#pragma once

#include <QImage>
#include <QWidget>

class TTiledImage : public QWidget {
    Q_OBJECT
public:
    explicit TTiledImage(QWidget* Parent = nullptr);

    const QImage& Picture() const { return FPicture; }
    void SetPicture(const QImage& Picture);

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    QImage FPicture;
};

// The program's background tile (the embedded-pictures module's background), as a picture for a
// tiled control; a null picture while that module does not exist (tests of a lone window).
QImage BackgroundTile();
