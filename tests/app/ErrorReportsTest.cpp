// SPDX-License-Identifier: GPL-3.0-or-later
// Failures of commands and gestures reach the user in one error box per gesture, and leave the
// drawing and its history usable.
#include "app/Tools.h"
#include "document/DualImage.h"
#include "document/QStates.h"
#include "document/UTempManager.h"
#include "platform/qt/ImgView32Widget.h"
#include "platform/raster/Image32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/StringList.h"
#include "tests/app/ShellFixture.h"
#include "tests/support/ScopedEnv.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include <cerrno>
#include <filesystem>
#include <new>

namespace {

using ErrorReports = TShellTest;

void Mouse(QWidget* W, QEvent::Type Type, QPoint P, Qt::MouseButton Button, Qt::MouseButtons Held) {
    QMouseEvent e(Type, QPointF(P), W->mapToGlobal(QPointF(P)), Button, Held, Qt::NoModifier);
    QApplication::sendEvent(W, &e);
}

// A press, Moves mouse moves with the button held, and the release, on the drawing view.
void Gesture(int Moves) {
    QWidget* view = FMain->ImgDst->viewport();
    Mouse(view, QEvent::MouseButtonPress, QPoint(60, 60), Qt::LeftButton, Qt::LeftButton);
    for (int i = 0; i < Moves; ++i)
        Mouse(view, QEvent::MouseMove, QPoint(62 + i, 60), Qt::NoButton, Qt::LeftButton);
    Mouse(view, QEvent::MouseButtonRelease, QPoint(70, 60), Qt::LeftButton, Qt::NoButton);
}

void PressKey(int Key) {
    QKeyEvent event(QEvent::KeyPress, Key, Qt::NoModifier);
    QApplication::sendEvent(FMain, &event);
}

TEST_F(ErrorReports, AGestureThatFailsAtEveryMoveSaysSoOnceAfterTheRelease) {
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    FMain->ImgDst->View().OnMouseMove = [](TCustomImage32*, TShiftState Shift, int, int, TCustomLayer*) {
        if (Shift & ssLeft) RaiseException("The brush broke");
    };
    FMain->ImgDst->View().OnMouseDown = nullptr;
    FMain->ImgDst->View().OnMouseUp = nullptr;
    QWidget* view = FMain->ImgDst->viewport();
    Mouse(view, QEvent::MouseButtonPress, QPoint(60, 60), Qt::LeftButton, Qt::LeftButton);
    for (int i = 0; i < 5; ++i)
        Mouse(view, QEvent::MouseMove, QPoint(62 + i, 60), Qt::NoButton, Qt::LeftButton);
    // A box now would take the release.
    EXPECT_TRUE(Messages.empty());
    Mouse(view, QEvent::MouseButtonRelease, QPoint(70, 60), Qt::LeftButton, Qt::NoButton);
    QApplication::processEvents();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Icon, QMessageBox::Critical);
    EXPECT_EQ(Messages[0].Text, "The brush broke");
    // The next gesture is a gesture of its own.
    Gesture(3);
    QApplication::processEvents();
    EXPECT_EQ(Messages.size(), 2u);
}

TEST_F(ErrorReports, MemoryThatRunsOutSaysSoInWords) {
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    FMain->ImgDst->View().OnMouseDown = [](TCustomImage32*, TMouseButton, TShiftState, int, int,
                                           TCustomLayer*) { throw std::bad_alloc(); };
    Gesture(0);
    QApplication::processEvents();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, "Out of memory");
}

TEST_F(ErrorReports, DrawingInAFullTemporaryFolderSaysWhyAndLeavesNoGestureOpen) {
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    {
        const std::string full = Folder() + "full-folder/";
        std::filesystem::create_directory(full);
        TScopedEnv tmp("TMPDIR", full);
        TWriteFaultScope noSpace(TFaultPoint::fpCreate, 0, ENOSPC, full);
        // The spray and the band: each gesture says why it draws nothing.
        for (QAction* tool : {Domain->AutoDirCommand, Domain->FreeHandCommand}) {
            tool->trigger();
            Gesture(4);
            QApplication::processEvents();
        }
    }
    ASSERT_EQ(Messages.size(), 2u);
    for (const TShownMessage& m : Messages) {
        EXPECT_EQ(m.Text.rfind("Nothing is drawn: the gesture's undo step cannot be kept. Cannot create a "
                               "temporary file in",
                               0),
                  0u)
            << m.Text;
        EXPECT_NE(m.Text.find("full-folder/\". No space left on device"), std::string::npos) << m.Text;
    }
    EXPECT_EQ(Domain->Document->ChangeNesting(), 0);
    EXPECT_EQ(Domain->Document->StrokeCount(), 0);
    EXPECT_FALSE(Domain->Document->Modified);
    Messages.clear();
    Domain->AutoDirCommand->trigger();
    // With the folder back the tool draws, and the keys work.
    Gesture(4);
    EXPECT_GT(Domain->Document->StrokeCount(), 0);
    PressKey(Qt::Key_U);
    EXPECT_EQ(Domain->Document->StrokeCount(), 0);
    EXPECT_TRUE(Messages.empty());
}

// The temporary-file log stops taking lines (here: a folder put in its place, as a full disk
// would refuse them): drawing and undo go on, and the user is told once; once the log takes lines
// again, the next name (a swap file's, at an idle moment after a gesture) writes it whole, and
// the user is told that too.
TEST_F(ErrorReports, ATemporaryFileLogThatStopsTakingLinesIsToldOnceAndDrawingGoesOn) {
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    Domain->AutoDirCommand->trigger();
    const std::string log = TempManager().LogPath();
    ASSERT_FALSE(log.empty());
    ASSERT_FALSE(TempManager().LogLost());
    std::filesystem::rename(log, log + ".kept");
    std::filesystem::create_directory(log);
    bool done = false;
    for (int i = 0; i < 6; ++i) {
        Gesture(4);
        FMain->ApplicationIdle(done);
        QApplication::processEvents();
    }
    const int strokes = Domain->Document->StrokeCount();
    PressKey(Qt::Key_U);
    QApplication::processEvents();
    // The swap thread asks for no name while the log is put back.
    Domain->Document->History().WaitForSwapOuts();
    EXPECT_TRUE(TempManager().LogLost());
    std::filesystem::remove(log);
    std::filesystem::rename(log + ".kept", log);
    EXPECT_GT(strokes, 0);
    EXPECT_LT(Domain->Document->StrokeCount(), strokes);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_NE(Messages[0].Text.find("will not be cleaned up if the program ends without exit"),
              std::string::npos)
        << Messages[0].Text;
    EXPECT_EQ(Messages[0].Icon, QMessageBox::Critical);
    // Gestures share the stroke logs' file and ask for no name; the idle moment after one may
    // find every old step swapped out already.
    for (int i = 0; i < 6 && TempManager().LogLost(); ++i) {
        Gesture(4);
        FMain->ApplicationIdle(done);
        Domain->Document->History().WaitForSwapOuts();
    }
    QApplication::processEvents();
    EXPECT_FALSE(TempManager().LogLost());
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Messages[1].Text, "The temporary-file log " + log +
                                    " is written again: the undo files of this session will be cleaned up "
                                    "after a crash.");
    // Good news is not shown as a failure.
    EXPECT_EQ(Messages[1].Icon, QMessageBox::Information);
    // Every name of the run is in it.
    TStringList lines;
    lines.LoadFromFile(log);
    for (const std::string& name : TempManager().Names())
        EXPECT_GE(lines.IndexOf(name), 0) << name;
}

// The temporary folder removed during the session (a cleaner of old files): it is made again,
// the user is told once, and drawing and undo go on.
TEST_F(ErrorReports, ATemporaryFolderRemovedDuringTheSessionIsMadeAgainAndToldOnce) {
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    Domain->AutoDirCommand->trigger();
    const std::string tmp = Folder() + "tmp-of-the-session/";
    std::filesystem::create_directory(tmp);
    TScopedEnv env("TMPDIR", tmp);
    bool done = false;
    Gesture(4);
    FMain->ApplicationIdle(done);
    const int strokes = Domain->Document->StrokeCount();
    std::filesystem::remove_all(tmp);
    for (int i = 0; i < 3; ++i) {
        Gesture(4);
        FMain->ApplicationIdle(done);
        // The swap thread names the files of the steps it swaps out.
        Domain->Document->History().WaitForSwapOuts();
        QApplication::processEvents();
    }
    EXPECT_GT(Domain->Document->StrokeCount(), strokes);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text,
              "The temporary folder \"" + tmp +
                  "\" did not exist, so it was made, open to this user only. Drawing goes on.");
    EXPECT_EQ(Messages[0].Icon, QMessageBox::Information);
    for (int i = 0; i < 3; ++i)
        PressKey(Qt::Key_U);
    QApplication::processEvents();
    EXPECT_EQ(Domain->Document->StrokeCount(), strokes);
    EXPECT_EQ(Messages.size(), 1u);
}

TEST_F(ErrorReports, AnUndoWhoseSwapFileWentSaysSoOnceAndKeepsTheRedo) {
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    for (int i = 0; i < 5; ++i) {
        Domain->Document->BeginChange();
        Domain->Document->SprayAt(40 + 25 * i, 75);
        Domain->Document->EndChange();
    }
    bool done = false;
    for (int i = 0; i < 5; ++i)
        FMain->ApplicationIdle(done);
    // The idle swap-outs write on the swap thread; their files are whole once they are taken.
    Domain->Document->History().WaitForSwapOuts();
    int removed = 0;
    for (const std::string& name : TempManager().Names())
        if (const auto ext = std::filesystem::path(name).extension();
            (ext == ".bmp" || ext == ".tiles") && std::filesystem::remove(name))
            ++removed;
    ASSERT_GT(removed, 0);
    // The steps still in memory undo; the first swapped one says why it cannot.
    for (int i = 0; i < 5 && Messages.empty(); ++i)
        PressKey(Qt::Key_U);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_NE(Messages[0].Text.find("Cannot read the undo step"), std::string::npos) << Messages[0].Text;
    const int strokes = Domain->Document->StrokeCount();
    EXPECT_GT(strokes, 0);
    // The steps from the lost one down can no longer be taken back: Undo is off, and asking
    // again says nothing more.
    EXPECT_FALSE(Domain->UndoCommand->isEnabled());
    PressKey(Qt::Key_U);
    EXPECT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Domain->Document->StrokeCount(), strokes);
    // Redo brings back what was undone; the history still holds together.
    PressKey(Qt::Key_A);
    EXPECT_GT(Domain->Document->StrokeCount(), strokes);
    EXPECT_EQ(Messages.size(), 1u);
}

} // namespace
