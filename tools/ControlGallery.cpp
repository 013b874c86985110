// SPDX-License-Identifier: GPL-3.0-or-later
// Shows one of each custom control set up as the main window sets it up, with the value box's
// picker open and the pointer over the second value box, and saves a screenshot of the screen
// as a PNG file. Usage: control_gallery [OUTPUT.png]   (run under X, for example xvfb-run -a)
#include "controls/ControlPictures.h"
#include "controls/FloatEd.h"
#include "controls/ImageListViewer.h"
#include "controls/InfoLabel.h"
#include "controls/QuickValue.h"
#include "controls/QuorSlider.h"
#include "controls/SimpleColorSelector.h"

#include <QApplication>
#include <QCursor>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

namespace {
// A 40 x 40 thumbnail of a few curved strokes, as the pattern list shows them.
QImage PatternThumbnail(int Seed) {
    QImage image(40, 40, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1.5));
    for (int k = 0; k < 3; ++k) {
        QPainterPath path(QPointF(4, 8 + 12 * k));
        path.cubicTo(QPointF(14, 2 + 12 * k + Seed * 2), QPointF(26, 16 + 12 * k - Seed),
                     QPointF(36, 6 + 12 * k));
        painter.drawPath(path);
    }
    return image;
}

QGroupBox* Panel(const QString& Caption, QWidget* Parent) {
    auto* box = new QGroupBox(Caption, Parent);
    box->setLayout(new QVBoxLayout);
    return box;
}

TQuickValue* ValueBox(int Min, int Max, int Position, const char* Suffix, QWidget* Parent) {
    auto* box = new TQuickValue(Parent);
    box->SetMin(Min);
    box->SetMax(Max);
    box->SetPosition(Position);
    box->SetSuffix(Suffix);
    box->SetEnabled(true);
    return box;
}

TSimpleColorSelector* Selector(int Height, QWidget* Parent) {
    auto* selector = new TSimpleColorSelector(Parent);
    selector->SetBitmapSlider(LoadControlPicture(QStringLiteral("COLORRULER")));
    selector->SetBitmapBtn(LoadControlPicture(QStringLiteral("COLORTHUMB")));
    selector->setFixedSize(150, Height);
    return selector;
}

TFloatEdit* InchesEdit(double Initial, QWidget* Parent) {
    auto* edit = new TFloatEdit(Parent);
    edit->Increment = 1;
    edit->MaxValue = 100000;
    edit->SetMinWidth(10);
    edit->SetDecimals(2);
    edit->SetFType(ffGeneral);
    edit->SetValue(Initial);
    return edit;
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString output = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("controls.png");

    QWidget window;
    window.setWindowTitle(QStringLiteral("Quorvelle PS"));
    auto* grid = new QGridLayout(&window);

    QGroupBox* size = Panel(QStringLiteral("Size && Density"), &window);
    auto* density = ValueBox(5, 200, 10, " lines", size);
    auto* brush = ValueBox(10, 150, 50, " pixels", size);
    auto* disabled = ValueBox(0, 100, 25, "%", size);
    disabled->SetEnabled(false);
    for (QWidget* w :
         {static_cast<QWidget*>(density), static_cast<QWidget*>(brush), static_cast<QWidget*>(disabled)})
        size->layout()->addWidget(w);
    grid->addWidget(size, 0, 0);

    TImageList patterns(40, 40);
    for (int i = 0; i < 7; ++i)
        patterns.Add(PatternThumbnail(i));
    QGroupBox* patternPanel = Panel(QStringLiteral("Patterns"), &window);
    auto* viewer = new TImageListViewer(patternPanel);
    viewer->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewer->SetColor(RGBToColor(222, 229, 239));
    viewer->SetMargin(2);
    viewer->setFixedSize(168, 110);
    viewer->SetImageList(&patterns);
    patternPanel->layout()->addWidget(viewer);
    grid->addWidget(patternPanel, 0, 1);

    QGroupBox* colors = Panel(QStringLiteral("Colors"), &window);
    colors->layout()->addWidget(Selector(82, colors));
    colors->layout()->addWidget(Selector(73, colors));
    grid->addWidget(colors, 0, 2, 2, 1);

    QGroupBox* sliderPanel = Panel(QStringLiteral("Bitmap slider"), &window);
    auto* slider = new TQuorSlider(sliderPanel);
    slider->SetPosition(40);
    sliderPanel->layout()->addWidget(slider);
    grid->addWidget(sliderPanel, 1, 0);

    QGroupBox* inches = Panel(QStringLiteral("Size in Inches"), &window);
    inches->layout()->addWidget(InchesEdit(600, inches));
    inches->layout()->addWidget(InchesEdit(500, inches));
    grid->addWidget(inches, 1, 1);

    QGroupBox* about = Panel(QStringLiteral("About"), &window);
    for (TKindInfoLabel kind : {kiProductVersion, kiProductName, kiComments, kiFileVersion}) {
        auto* label = new TInfoLabel(about);
        label->SetKind(kind);
        about->layout()->addWidget(label);
    }
    auto* designed = new TInfoLabel(about, true);
    designed->SetKind(kiComments);
    about->layout()->addWidget(designed);
    grid->addWidget(about, 2, 0, 1, 3);

    window.move(0, 0);
    window.show();

    // The picker as the density box opens it, shown without its modal loop.
    TFPickPct* picker = density->Popup();
    QTimer::singleShot(200, [&] {
        picker->SetMin(5);
        picker->SetMax(200);
        picker->SetPosition(density->Position());
        picker->move(density->mapToGlobal(QPoint(0, 15)));
        picker->setModal(false);
        picker->show();
    });
    QTimer::singleShot(500, [&] {
        // The picker grabs the mouse once it is on the screen; here it is only looked at.
        if (QWidget::mouseGrabber() == picker) picker->releaseMouse();
        // The pointer over the second box lights it up.
        QCursor::setPos(brush->mapToGlobal(QPoint(20, 8)));
    });
    QTimer::singleShot(1000, [&] {
        const QRect area = window.frameGeometry().united(picker->geometry()).adjusted(0, 0, 10, 10);
        const QPixmap shot = window.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
        const bool saved = shot.save(output, "PNG");
        std::printf("%s %s (%dx%d)\n", saved ? "saved" : "could not save", qPrintable(output), shot.width(),
                    shot.height());
        app.exit(saved ? 0 : 1);
    });
    return app.exec();
}
