// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's own parts that its source files share: the measures and colours of the strip
// of panels, and the panel widget itself.
#pragma once

#include "app/PanelColor.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QVBoxLayout>
#include <QWidget>

inline constexpr int PanelsHeight = 157;
inline constexpr int PanelHeaderHeight = 18;
inline const QColor BackdropTop(128, 128, 128);
inline const QColor BackdropBottom(78, 73, 97);

// One panel of the strip: a caption bar over a face of the panel colour or of the background
// tile; the contents go into Body().
class TToolPanel : public QWidget {
public:
    TToolPanel(const QString& Caption, QWidget* Parent) : QWidget(Parent), FCaption(Caption) {
        FBody = new QWidget(this);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(1, PanelHeaderHeight + 1, 1, 1);
        layout->setSpacing(0);
        layout->addWidget(FBody);
    }
    QWidget* Body() const { return FBody; }
    void SetPicture(const QImage& Picture) {
        FPicture = Picture;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect face = rect().adjusted(0, PanelHeaderHeight, 0, 0);
        if (FPicture.isNull())
            painter.fillRect(face, QColor::fromRgba(PanelColor));
        else
            painter.drawTiledPixmap(face, QPixmap::fromImage(FPicture));
        QLinearGradient header(0, 0, 0, PanelHeaderHeight);
        header.setColorAt(0, QColor(112, 106, 136));
        header.setColorAt(1, BackdropBottom);
        painter.fillRect(QRect(0, 0, width(), PanelHeaderHeight), header);
        painter.setPen(Qt::white);
        QFont bold = font();
        bold.setBold(true);
        painter.setFont(bold);
        painter.drawText(QRect(6, 0, width() - 8, PanelHeaderHeight), Qt::AlignVCenter | Qt::AlignLeft,
                         FCaption);
        painter.setPen(QColor(60, 56, 76));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }

private:
    QString FCaption;
    QImage FPicture;
    QWidget* FBody;
};
