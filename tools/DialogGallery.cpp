// Shows one window of the shell as the program shows it and saves a screenshot of it as a PNG
// file. Usage: dialog_gallery WHICH OUTPUT.png   (run under X, for example xvfb-run -a)
// WHICH is one of: style, pattern, colors, help, about.
#include "app/UFormStyle.h"
#include "app/UPatternEdit.h"
#include "presets/Patterns.h"
#include "presets/Styles.h"

#include <QApplication>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {
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
    const char* which = argv[1];
    const QString output = QString::fromLocal8Bit(argv[2]);
    std::unique_ptr<QWidget> window;
    TQStyle style;
    TPattern pattern;
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
    } else {
        std::fprintf(stderr, "unknown window: %s\n", which);
        return 2;
    }
    window->move(40, 40);
    window->show();
    ShootLater(app, window.get(), output, 1500);
    return app.exec();
}
