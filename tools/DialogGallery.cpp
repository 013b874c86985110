// SPDX-License-Identifier: GPL-3.0-or-later
// Shows one window of the shell as the program shows it and saves a screenshot of it as a PNG
// file. Usage: dialog_gallery WHICH OUTPUT.png   (run under X, for example xvfb-run -a)
// WHICH is one of: style, pattern, colors, help, about.
#include "app/HlpWnd.h"
#include "app/Shape.h"
#include "app/UColorPanel.h"
#include "app/UFormAbout.h"
#include "app/UFormStyle.h"
#include "app/UPatternEdit.h"
#include "app/UdmGlobalConfig.h"
#include "controls/ControlPictures.h"
#include "controls/QuorSlider.h"
#include "controls/SimpleColorSelector.h"
#include "platform/system/ApplicationFolder.h"
#include "presets/Patterns.h"
#include "presets/Styles.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {
// The "Colors" section as the main window lays it out, with the colour panel over it, in the
// variants mode with a few colours picked.
QWidget* ColorSection(std::unique_ptr<TColorPanel>& Panel) {
    auto* box = new QGroupBox(QStringLiteral("Colors"));
    box->resize(220, 157);
    auto* variants = new QPushButton(QStringLiteral("Variants"), box);
    auto* automatic = new QPushButton(QStringLiteral("Auto"), box);
    auto* fixed = new QPushButton(QStringLiteral("Fixed"), box);
    auto* reset = new QPushButton(QStringLiteral("Reset"), box);
    variants->setGeometry(6, 20, 60, 22);
    automatic->setGeometry(68, 20, 44, 22);
    fixed->setGeometry(114, 20, 44, 22);
    reset->setGeometry(164, 20, 50, 22);
    auto* container = new QWidget(box);
    container->setGeometry(6, 46, 208, 105);

    auto selector = [](QWidget* Parent, int Height) {
        auto* s = new TSimpleColorSelector(Parent);
        s->SetBitmapSlider(LoadControlPicture(QStringLiteral("COLORRULER")));
        s->SetBitmapBtn(LoadControlPicture(QStringLiteral("COLORTHUMB")));
        s->setGeometry(4, 4, 200, Height);
        return s;
    };
    auto* panVar = new QWidget;
    TSimpleColorSelector* varSelector = selector(panVar, 76);
    TShape* swatches[10];
    for (int i = 0; i < 10; ++i) {
        swatches[i] = new TShape(panVar);
        swatches[i]->SetShape(stCircle);
        swatches[i]->SetPenColor(clGray);
        swatches[i]->setGeometry(30 + 15 * i, 84, 14, 14);
    }
    auto* panFixed = new QWidget;
    TSimpleColorSelector* fixedSelector = selector(panFixed, 76);
    auto* shapeFixed = new TShape(panFixed);
    shapeFixed->setGeometry(110, 84, 16, 16);
    auto* current = new QLabel(QStringLiteral("Current Color"), panFixed);
    current->setGeometry(30, 84, 80, 16);
    auto* panAuto = new QWidget;
    TQuorSlider* sliders[3];
    const char* names[3] = {"Hue", "Saturation", "Brightness"};
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(QString::fromLatin1(names[i]), panAuto);
        label->setGeometry(4, 8 + 30 * i, 70, 16);
        sliders[i] = new TQuorSlider(panAuto);
        sliders[i]->SetAutoSize(false);
        sliders[i]->setGeometry(76, 10 + 30 * i, 124, 11);
        sliders[i]->SetMaximum(i == 2 ? 99 : 100);
        sliders[i]->SetPosition(50);
    }
    Panel = std::make_unique<TColorPanel>(
        swatches[0], swatches[1], swatches[2], swatches[3], swatches[4], swatches[5], swatches[6],
        swatches[7], swatches[8], swatches[9], shapeFixed, varSelector, fixedSelector, reset, sliders[0],
        sliders[1], sliders[2], variants, automatic, fixed, panVar, panAuto, panFixed, container);
    Panel->VariantsClick(nullptr);
    for (TColor c : {RGBToColor(200, 30, 30), RGBToColor(30, 120, 200), RGBToColor(40, 160, 60)})
        Panel->SetVariant(Panel->NextVariant++, c);
    return box;
}

// Saves what the screen shows of Window, then ends the program.
void ShootLater(QApplication& App, QWidget* Window, const QString& Output, int DelayMs) {
    QTimer::singleShot(DelayMs, [&App, Window, Output] {
        const QRect area = Window->frameGeometry();
        const QPixmap shot = Window->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
        const bool saved = shot.save(Output, "PNG");
        std::printf("%s %s (%dx%d)\n", saved ? "saved" : "could not save", qPrintable(Output), shot.width(),
                    shot.height());
        App.exit(saved ? 0 : 1);
    });
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: dialog_gallery style|pattern|colors|help|about OUTPUT.png\n");
        return 2;
    }
    // The embedded pictures, as start-up makes them first.
    TdmGlobalConfig pictures;
    dmGlobalConfig = &pictures;
    const char* which = argv[1];
    const QString output = QString::fromLocal8Bit(argv[2]);
    std::unique_ptr<QWidget> window;
    TQStyle style;
    TPattern pattern;
    std::unique_ptr<TColorPanel> colorPanel;
    if (std::strcmp(which, "style") == 0) {
        auto form = std::make_unique<TFormStyle>();
        style.SetName("Fine pen");
        style.SetLength(58);
        style.SetGain(2.5f);
        form->SetStyle(&style);
        form->setWindowTitle("Edit Current Style");
        window = std::move(form);
    } else if (std::strcmp(which, "pattern") == 0) {
        // Two frames of hand-drawn looking curves; the second frame is on the layer.
        for (int f = 0; f < 5; ++f) {
            auto frame = std::make_unique<TPatternFrame>();
            if (f < 2) {
                frame->AddCurve(TBezierCurve{{20 + 10 * f, 40}, {70, 10}, {120, 90}, {190, 50}});
                frame->AddCurve(TBezierCurve{{30, 160}, {60, 110 - 20 * f}, {130, 200}, {180, 150}});
            }
            pattern.AddPatternFrame(std::move(frame));
        }
        auto form = std::make_unique<TFPatternEdit>();
        form->setWindowTitle("Edit Current Pattern");
        form->Pattern = &pattern;
        TFPatternEdit* editor = form.get();
        QTimer::singleShot(300, [editor] { editor->SelectFrame(1); });
        window = std::move(form);
    } else if (std::strcmp(which, "colors") == 0) {
        window.reset(ColorSection(colorPanel));
    } else if (std::strcmp(which, "help") == 0) {
        // The pages of the source tree.
        SetApplicationFolder(QUOR_SOURCE_DIR "/resources/");
        auto help = std::make_unique<TFHlpWnd>();
        help->ShowHelp("tools");
        help->ShowHelp("general");
        window = std::move(help);
    } else if (std::strcmp(which, "about") == 0) {
        window = std::make_unique<TFormAbout>();
    } else {
        std::fprintf(stderr, "unknown window: %s\n", which);
        return 2;
    }
    window->move(40, 40);
    window->show();
    ShootLater(app, window.get(), output, 1500);
    return app.exec();
}
