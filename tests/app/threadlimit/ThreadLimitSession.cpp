// SPDX-License-Identifier: GPL-3.0-or-later
// A whole session of the program in a process of its own, started as the program starts, for
// tests/app/ThreadLimitTest.cpp to run under a limit of threads: one the test sets before this
// process starts, or, with --limit-after-start, one this process sets on itself once the program
// is up. Every window and dialog is painted, Qt's split paints are made on their own, and a
// drawing is opened, drawn, undone and redone, saved, rendered at another size and exported.
//
// Exit status: 0 when every step worked, 1 when a step failed, 3 when the program refused to
// start for want of threads (with what it said on stderr), 4 when the limit could not be set.
#include "app/HlpWnd.h"
#include "app/UFormAbout.h"
#include "app/UFormStyle.h"
#include "app/UImgSizeDlg.h"
#include "app/UPatternEdit.h"
#include "app/UResample.h"
#include "document/DualImage.h"
#include "platform/qt/PooledThreads.h"
#include "tests/app/ShellFixture.h"

#include <QFileDialog>
#include <QMouseEvent>
#include <QPainter>
#include <QSpinBox>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/resource.h>

namespace {

using UnderALimitOfThreads = TShellTest;

void Mouse(QWidget* W, QEvent::Type Type, QPoint P, Qt::MouseButton Button, Qt::MouseButtons Held) {
    QMouseEvent e(Type, QPointF(P), W->mapToGlobal(QPointF(P)), Button, Held, Qt::NoModifier);
    QApplication::sendEvent(W, &e);
}

// Shows the window, lets it paint, takes a picture of it and hides it again.
bool Paints(QWidget* Window) {
    Window->show();
    QApplication::processEvents();
    const QPixmap picture = Window->grab();
    Window->hide();
    return !picture.isNull() && picture.width() > 0;
}

bool FileHolds(const std::string& Name) {
    std::error_code ec;
    return std::filesystem::file_size(Name, ec) > 0 && !ec;
}

TEST_F(UnderALimitOfThreads, EveryWindowPaintsAndADrawingIsMadeSavedRenderedAndExported) {
    // The system refuses new threads: the steps below run with what the program kept.
    ASSERT_FALSE(CanStartThreads(2));

    // What Qt splits among its pool's threads: a large tiled fill, a smooth scaling and a
    // conversion of a picture of four megapixels.
    QImage large(2400, 1600, QImage::Format_ARGB32_Premultiplied);
    large.fill(Qt::white);
    {
        QPixmap tile(37, 23);
        tile.fill(QColor(80, 120, 200, 128));
        QPainter painter(&large);
        painter.drawTiledPixmap(large.rect(), tile);
        painter.setOpacity(0.5);
        painter.drawImage(QRect(0, 0, 2000, 1500), large.scaled(640, 480));
    }
    EXPECT_EQ(large.scaled(1200, 800, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).width(), 1200);
    EXPECT_EQ(large.convertToFormat(QImage::Format_RGB888).height(), 1600);

    FMain->resize(1280, 900);
    EXPECT_TRUE(Paints(FMain));
    // A picture that ImageMagick reads: it shares large pictures among threads of its own
    // unless told not to, and the library it does so with ends the process when one is refused.
    if (const char* picture = std::getenv("QUOR_MAGICK_PICTURE")) {
        QTimer::singleShot(0, FResample, [] { FResample->btLeave->click(); });
        EXPECT_TRUE(Open(picture));
    }
    ASSERT_TRUE(Open(MakePicture(1152, 864)));
    FMain->show();
    QApplication::processEvents();
    EXPECT_FALSE(FMain->grab().isNull());

    // A gesture, undone and redone, and an idle moment.
    Domain->AutoDirCommand->trigger();
    QWidget* port = FMain->ImgSrc->viewport();
    QPoint p(port->width() / 4, port->height() / 4);
    Mouse(port, QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton);
    for (int i = 0; i < 20; ++i) {
        p += QPoint(12, 8);
        Mouse(port, QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton);
    }
    Mouse(port, QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
    const int strokes = Domain->Document->StrokeCount();
    EXPECT_GT(strokes, 0);
    Domain->UndoCommand->trigger();
    EXPECT_EQ(Domain->Document->StrokeCount(), 0);
    Domain->RedoCommand->trigger();
    EXPECT_EQ(Domain->Document->StrokeCount(), strokes);
    bool done = false;
    FMain->ApplicationIdle(done);

    FileNames.push_back(Folder() + "drawing.jpg");
    Domain->SaveCommand->trigger();
    EXPECT_TRUE(FileHolds(Folder() + "drawing.jpg"));
    QTimer::singleShot(0, FImgSizeDlg, [] {
        FImgSizeDlg->seHorizPixels->setValue(2304);
        FImgSizeDlg->btOk->click();
    });
    FileNames.push_back(Folder() + "large.tif");
    Domain->RenderAll->trigger();
    EXPECT_TRUE(FileHolds(Folder() + "large.tif"));
    FileNames.push_back(Folder() + "drawing.ps");
    Domain->PostScriptCommand->trigger();
    EXPECT_TRUE(FileHolds(Folder() + "drawing.ps"));
    for (const TShownMessage& m : Messages)
        EXPECT_EQ(m.Icon, QMessageBox::Information) << m.Caption << ": " << m.Text;

    // Every dialog, and the desktop's own.
    EXPECT_TRUE(Paints(FImgSizeDlg));
    EXPECT_TRUE(Paints(FResample));
    EXPECT_TRUE(Paints(FHlpWnd));
    TFormAbout about(FMain);
    EXPECT_TRUE(Paints(&about));
    TFormStyle style(FMain);
    EXPECT_TRUE(Paints(&style));
    TFPatternEdit pattern(FMain);
    EXPECT_TRUE(Paints(&pattern));
    QFileDialog files(FMain, "Open", QString::fromStdString(Folder()));
    files.setOption(QFileDialog::DontUseNativeDialog);
    EXPECT_TRUE(Paints(&files));
    QMessageBox box(QMessageBox::Warning, "Quorvelle", "Document not saved. Discard anyway?",
                    QMessageBox::Yes | QMessageBox::Cancel, FMain);
    EXPECT_TRUE(Paints(&box));
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const bool limitAfterStart = argc > 1 && std::string(argv[1]) == "--limit-after-start";
    // The program's own start, in its order.
    if (const std::string refused = WindowThreadsRefused(); !refused.empty()) {
        std::fprintf(stderr, "quorvelle: %s\n", refused.c_str());
        return 3;
    }
    QApplication app(argc, argv);
    SetMessageBoxHook([](QMessageBox::Icon, const std::string&, const std::string& Text,
                         QMessageBox::StandardButtons, QMessageBox::StandardButton) {
        std::fprintf(stderr, "message: %s\n", Text.c_str());
        return QMessageBox::Ok;
    });
    const TPooledThreads threads = KeepWindowThreads();
    if (threads.Kept == 0) return 3;
    if (limitAfterStart) {
        rlimit limit{};
        getrlimit(RLIMIT_NPROC, &limit);
        limit.rlim_cur = 1;
        if (setrlimit(RLIMIT_NPROC, &limit) != 0) return 4;
    }
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS() == 0 ? 0 : 1;
    if (threads.Stranded) std::exit(result);
    return result;
}
