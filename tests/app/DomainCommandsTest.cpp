// SPDX-License-Identifier: GPL-3.0-or-later
// The command module: enabling after a load, a gesture, undo, redo and Close; the command keys;
// the discard question; the preset commands.
#include "app/Tools.h"
#include "app/UFormStyle.h"
#include "app/UPatternEdit.h"
#include "controls/ImageListViewer.h"
#include "document/DualImage.h"
#include "platform/qt/GaugeBar.h"
#include "presets/EditorHooks.h"
#include "presets/Patterns.h"
#include "presets/PolyBezierLayer.h"
#include "presets/Styles.h"
#include "tests/app/ShellFixture.h"
#include "tests/support/WriteFaults.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cerrno>
#include <optional>

namespace {

using DomainCommands = TShellTest;

int PressKey(int Key, Qt::KeyboardModifiers Modifiers = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, Key, Modifiers);
    return Domain->IsShortCut(event) ? 1 : 0;
}

// One dab of the Auto-sketch tool, as a press and release would lay it.
void Dab(int X, int Y) {
    Domain->Document->BeginChange();
    Domain->Document->SprayAt(X, Y);
    Domain->Document->EndChange();
}

TEST_F(DomainCommands, EnablingFollowsLoadGestureUndoRedoAndClose) {
    int changes = 0;
    const TNotifyEvent refresh = Domain->OnChange;
    Domain->SetOnChange([&](void* Sender) {
        ++changes;
        refresh(Sender);
    });
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    EXPECT_GE(changes, 3);
    for (QAction* a :
         {Domain->SaveCommand, Domain->CloseCommand, Domain->RenderAll, Domain->PointerCommand,
          Domain->PatternCommand, Domain->AutoDirCommand, Domain->FreeHandCommand, Domain->ViewBordersCommand,
          Domain->ViewDirectionsCommand, Domain->StopOnBordersCommand})
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
    EXPECT_FALSE(Domain->UndoCommand->isEnabled());
    EXPECT_FALSE(Domain->RedoCommand->isEnabled());
    // No stroke yet: nothing to export.
    EXPECT_FALSE(Domain->PostScriptCommand->isEnabled());
    EXPECT_EQ(Domain->ToolManager->Tool, tiPointer);

    Dab(100, 75);
    ASSERT_GT(Domain->Document->StrokeCount(), 0);
    EXPECT_TRUE(Domain->UndoCommand->isEnabled());
    EXPECT_TRUE(Domain->PostScriptCommand->isEnabled());
    EXPECT_TRUE(FMain->btPS->isEnabled());
    EXPECT_EQ(FMain->lblPSCount->text().toStdString(),
              std::to_string(Domain->Document->StrokeCount()) + " Vectors");

    Domain->UndoCommand->trigger();
    EXPECT_FALSE(Domain->UndoCommand->isEnabled());
    EXPECT_TRUE(Domain->RedoCommand->isEnabled());
    EXPECT_FALSE(Domain->PostScriptCommand->isEnabled());
    Domain->RedoCommand->trigger();
    EXPECT_TRUE(Domain->UndoCommand->isEnabled());
    EXPECT_FALSE(Domain->RedoCommand->isEnabled());

    // Close over unsaved strokes asks; Cancel keeps the drawing.
    Answers.push_back(QMessageBox::Cancel);
    Domain->CloseCommand->trigger();
    ASSERT_NE(Domain->Document, nullptr);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Caption, "Confirm");
    EXPECT_EQ(Messages[0].Text, "Document not saved. Discard anyway?");
    EXPECT_EQ(Messages[0].Buttons, QMessageBox::Ok | QMessageBox::Cancel);

    changes = 0;
    Domain->CloseCommand->trigger();
    EXPECT_EQ(Domain->Document, nullptr);
    EXPECT_EQ(Domain->ToolManager, nullptr);
    EXPECT_EQ(changes, 1);
    for (QAction* a :
         {Domain->SaveCommand, Domain->CloseCommand, Domain->PostScriptCommand, Domain->RenderAll,
          Domain->PointerCommand, Domain->AutoDirCommand, Domain->ViewBordersCommand,
          Domain->ViewDirectionsCommand, Domain->StopOnBordersCommand, Domain->UndoCommand})
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
}

TEST_F(DomainCommands, KeyAGoesToRedoFirst) {
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    Dab(100, 75);
    const int strokes = Domain->Document->StrokeCount();
    // U undoes; then A redoes instead of picking the Auto-sketch tool.
    EXPECT_EQ(PressKey(Qt::Key_U), 1);
    EXPECT_EQ(Domain->Document->StrokeCount(), 0);
    EXPECT_EQ(PressKey(Qt::Key_A), 1);
    EXPECT_EQ(Domain->Document->StrokeCount(), strokes);
    EXPECT_EQ(Domain->ToolManager->Tool, tiPointer);
    // With nothing to redo, A does nothing at all.
    EXPECT_EQ(PressKey(Qt::Key_A), 0);
    EXPECT_EQ(Domain->ToolManager->Tool, tiPointer);
    // The other tool keys and Ctrl+Z.
    EXPECT_EQ(PressKey(Qt::Key_T), 1);
    EXPECT_EQ(Domain->ToolManager->Tool, tiPattern);
    EXPECT_EQ(PressKey(Qt::Key_F), 1);
    EXPECT_EQ(Domain->ToolManager->Tool, tiFreeHand);
    EXPECT_EQ(PressKey(Qt::Key_P), 1);
    EXPECT_EQ(Domain->ToolManager->Tool, tiPointer);
    EXPECT_EQ(PressKey(Qt::Key_Z, Qt::ControlModifier), 1);
    EXPECT_EQ(Domain->Document->StrokeCount(), 0);
    // Shift+A is not A.
    EXPECT_EQ(PressKey(Qt::Key_A, Qt::ShiftModifier), 0);

    // Inside a gesture no key runs a command: an undo there would tear the gesture's step.
    Dab(100, 75);
    Domain->Document->BeginChange();
    EXPECT_EQ(PressKey(Qt::Key_Z, Qt::ControlModifier), 0);
    EXPECT_EQ(PressKey(Qt::Key_O, Qt::ControlModifier), 0);
    Domain->Document->EndChange();
    EXPECT_TRUE(Domain->UndoCommand->isEnabled());
    EXPECT_EQ(PressKey(Qt::Key_Z, Qt::ControlModifier), 1);
}

TEST_F(DomainCommands, StopOnBordersFollowsTheCheckBox) {
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    const bool before = Domain->Document->StopOnBorders;
    EXPECT_EQ(before, FMain->cbStopBorder->isChecked());
    FMain->cbStopBorder->click();
    EXPECT_EQ(Domain->Document->StopOnBorders, !before);
    EXPECT_EQ(Domain->StopOnBordersCommand->isChecked(), !before);
    FMain->cbStopBorder->click();
    EXPECT_EQ(Domain->Document->StopOnBorders, before);

    Domain->ViewBordersCommand->trigger();
    EXPECT_TRUE(Domain->Document->ViewBorders());
    EXPECT_TRUE(Domain->ViewBordersCommand->isChecked());
    Domain->ViewBordersCommand->trigger();
    EXPECT_FALSE(Domain->Document->ViewBorders());

    // A tick never outlives its drawing: the next drawing starts without overlays.
    Domain->ViewBordersCommand->trigger();
    Domain->ViewDirectionsCommand->trigger();
    Domain->CloseCommand->trigger();
    EXPECT_FALSE(Domain->ViewBordersCommand->isChecked());
    EXPECT_FALSE(Domain->ViewDirectionsCommand->isChecked());
    Domain->ViewBordersCommand->setChecked(true);
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    EXPECT_FALSE(Domain->ViewBordersCommand->isChecked());
}

TEST_F(DomainCommands, ExitAsksOverUnsavedStrokes) {
    Domain->ExitCommand->trigger();
    EXPECT_EQ(Terminated, 1);
    EXPECT_TRUE(Messages.empty());
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    Dab(100, 75);
    Answers.push_back(QMessageBox::Cancel);
    Domain->ExitCommand->trigger();
    EXPECT_EQ(Terminated, 1);
    Domain->ExitCommand->trigger();
    EXPECT_EQ(Terminated, 2);
    EXPECT_EQ(Messages.size(), 2u);
}

TEST_F(DomainCommands, DeletingStylesAndPatternsDownToOne) {
    const int styles = Domain->StyleManager->Count();
    ASSERT_GT(styles, 1);
    // No deletes the style not.
    Answers.push_back(QMessageBox::No);
    Domain->DelStyleCommand->trigger();
    EXPECT_EQ(Domain->StyleManager->Count(), styles);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Caption, "Warning");
    EXPECT_EQ(Messages[0].Text, "Sure to delete the style \"" + Domain->StyleManager->Current().Name + "\"?");
    EXPECT_EQ(Messages[0].Buttons, QMessageBox::Yes | QMessageBox::No);
    while (Domain->StyleManager->Count() > 1)
        Domain->DelStyleCommand->trigger();
    EXPECT_FALSE(Domain->DelStyleCommand->isEnabled());
    EXPECT_EQ(FMain->cbStyles->count(), 1);

    while (Domain->PatternManager->Count() > 1)
        Domain->DelPatternCommand->trigger();
    EXPECT_FALSE(Domain->DelPatternCommand->isEnabled());
    EXPECT_EQ(FMain->PatternImageList.Count(), 1);

    // A new pattern enables deleting again.
    SetPatternEditorHook([](TPattern& Pattern, const std::string& Caption, const TPatternAccept&) {
        EXPECT_EQ(Caption, "Create New Pattern");
        Pattern.GetFrames(0).AddCurve(TBezierCurve{{10, 10}, {50, 0}, {100, 80}, {150, 150}});
        return static_cast<int>(mrOk);
    });
    Domain->NewPatternCommand->trigger();
    EXPECT_EQ(Domain->PatternManager->Count(), 2);
    EXPECT_EQ(FMain->PatternImageList.Count(), 2);
    EXPECT_TRUE(Domain->DelPatternCommand->isEnabled());
    SetPatternEditorHook(nullptr);
}

TEST_F(DomainCommands, DeletingAPatternAsksFirst) {
    const int patterns = Domain->PatternManager->Count();
    ASSERT_GT(patterns, 1);
    const std::string file = Domain->PatternManager->Current().FileName;
    Answers.push_back(QMessageBox::No);
    FMain->btPatDel->click();
    EXPECT_EQ(Domain->PatternManager->Count(), patterns);
    EXPECT_TRUE(std::filesystem::exists(file));
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Icon, QMessageBox::Warning);
    EXPECT_EQ(Messages[0].Caption, "Warning");
    EXPECT_EQ(Messages[0].Text, "Sure to delete the selected pattern?");
    EXPECT_EQ(Messages[0].Buttons, QMessageBox::Yes | QMessageBox::No);
    FMain->btPatDel->click();
    EXPECT_EQ(Domain->PatternManager->Count(), patterns - 1);
    EXPECT_EQ(FMain->PatternImageList.Count(), patterns - 1);
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(DomainCommands, ANewPresetTheUserCancelsIsNotKept) {
    const int styles = Domain->StyleManager->Count();
    const int patterns = Domain->PatternManager->Count();
    Domain->StyleManager->SetIndex(1);
    SetStyleEditorHook([](TQStyle&, const std::string& Caption, const TStyleAccept&) {
        EXPECT_EQ(Caption, "Create New Style");
        return TStyleEditorResult{mrCancel, ""};
    });
    SetPatternEditorHook(
        [](TPattern&, const std::string&, const TPatternAccept&) { return static_cast<int>(mrCancel); });
    Domain->NewStyleCommand->trigger();
    Domain->NewPatternCommand->trigger();
    EXPECT_EQ(Domain->StyleManager->Count(), styles);
    EXPECT_EQ(Domain->StyleManager->ItemIndex, 1);
    EXPECT_EQ(Domain->PatternManager->Count(), patterns);

    // An accepted one is saved, listed and applied to the open drawing at once.
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    SetStyleEditorHook([](TQStyle& Style, const std::string&, const TStyleAccept&) {
        Style.SetLength(30);
        Style.SetGain(2.5f);
        return TStyleEditorResult{mrOk, "Mine"};
    });
    Domain->NewStyleCommand->trigger();
    EXPECT_EQ(Domain->StyleManager->Count(), styles + 1);
    EXPECT_EQ(FMain->cbStyles->count(), styles + 1);
    EXPECT_EQ(FMain->cbStyles->currentText().toStdString(), "Mine");
    EXPECT_FLOAT_EQ(Domain->Document->Gain(), 2.5f);
    EXPECT_TRUE(std::filesystem::exists(Domain->StyleManager->Current().FileName));
    SetStyleEditorHook(nullptr);
    SetPatternEditorHook(nullptr);
}

// A read-only preset folder, as the stream seam gives it even to root: each failure is said, and
// the lists, the current presets and what the drawing is drawn with stay as they were.
TEST_F(DomainCommands, PresetsThatCannotBeSavedChangeNothing) {
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    TStyleManager& styles = *Domain->StyleManager;
    TPatternManager& patterns = *Domain->PatternManager;
    FMain->SelectStyle(1);
    // A click on the second thumbnail frames it and picks its pattern.
    FMain->PatternImageListViewer->SetSelected(1);
    FMain->PatternImageListViewerMouseUpThumb(1);
    const int styleCount = styles.Count();
    const int patternCount = patterns.Count();
    const std::string styleName = styles.Current().Name;
    const float styleGain = styles.Current().Gain;
    const float drawingGain = Domain->Document->Gain();
    const int frames = patterns.Current().FrameCount();
    const TBezierCurves curves = patterns.Current().GetFrames(0).Curves;
    const QImage thumbnail = FMain->PatternImageList.GetBitmap(1);
    SetStyleEditorHook([](TQStyle& Style, const std::string&, const TStyleAccept&) {
        Style.SetGain(Style.Gain + 3.0f);
        return TStyleEditorResult{mrOk, "Lost Style"};
    });
    SetPatternEditorHook([](TPattern& Pattern, const std::string&, const TPatternAccept&) {
        Pattern.GetFrames(0).AddCurve(TBezierCurve{{10, 10}, {50, 0}, {100, 80}, {150, 150}});
        return static_cast<int>(mrOk);
    });
    {
        TWriteFaultScope readOnly(TFaultPoint::fpCreate, 0, EACCES, Folder());
        Domain->NewStyleCommand->trigger();
        Domain->EditStyleCommand->trigger();
        Domain->NewPatternCommand->trigger();
        Domain->EditPatternCommand->trigger();
    }
    SetStyleEditorHook(nullptr);
    SetPatternEditorHook(nullptr);
    ASSERT_EQ(Messages.size(), 4u);
    for (const TShownMessage& m : Messages) {
        EXPECT_EQ(m.Icon, QMessageBox::Critical);
        EXPECT_EQ(m.Text.rfind("Cannot create file \"" + Folder(), 0), 0u) << m.Text;
        EXPECT_NE(m.Text.find("\". Permission denied"), std::string::npos) << m.Text;
    }

    EXPECT_EQ(styles.Count(), styleCount);
    EXPECT_EQ(FMain->cbStyles->count(), styleCount);
    EXPECT_EQ(styles.ItemIndex, 1);
    EXPECT_EQ(FMain->cbStyles->currentIndex(), 1);
    EXPECT_EQ(FMain->cbStyles->currentText().toStdString(), styleName);
    EXPECT_EQ(styles.Current().Name, styleName);
    EXPECT_FLOAT_EQ(styles.Current().Gain, styleGain);
    EXPECT_FLOAT_EQ(Domain->Document->Gain(), drawingGain);
    // Delete asks about the style the list shows.
    Answers.push_back(QMessageBox::No);
    Domain->DelStyleCommand->trigger();
    EXPECT_EQ(Messages.back().Text, "Sure to delete the style \"" + styleName + "\"?");

    EXPECT_EQ(patterns.Count(), patternCount);
    EXPECT_EQ(FMain->PatternImageList.Count(), patternCount);
    EXPECT_EQ(patterns.ItemIndex, 1);
    EXPECT_EQ(FMain->PatternImageListViewer->Selected(), 1);
    EXPECT_EQ(patterns.Current().FrameCount(), frames);
    EXPECT_EQ(patterns.Current().GetFrames(0).Curves, curves);
    EXPECT_EQ(FMain->PatternImageList.GetBitmap(1), thumbnail);
}

// Accept in an editor whose preset cannot be saved (a read-only preset folder) says why and
// leaves the editor open with the user's work: the folder can be mended and Accept given again,
// or the edit cancelled. Until a save succeeds, the lists, the current presets and the drawing
// stay as they were.
TEST_F(DomainCommands, AnEditorWhoseAcceptFailsStaysOpenWithItsWork) {
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    TStyleManager& styles = *Domain->StyleManager;
    TPatternManager& patterns = *Domain->PatternManager;
    FMain->SelectStyle(1);
    const int styleCount = styles.Count();
    const int patternCount = patterns.Count();
    const std::string styleName = styles.Current().Name;
    const float styleGain = styles.Current().Gain;
    const float drawingGain = Domain->Document->Gain();
    const std::string styleFile = FileBytes(styles.Current().FileName);
    std::optional<TWriteFaultScope> readOnly;
    readOnly.emplace(TFaultPoint::fpCreate, 0, EACCES, Folder());
    auto expectRefused = [&](size_t Count) {
        ASSERT_EQ(Messages.size(), Count);
        EXPECT_EQ(Messages.back().Icon, QMessageBox::Critical);
        EXPECT_EQ(Messages.back().Text.rfind("Cannot create file \"" + Folder(), 0), 0u)
            << Messages.back().Text;
    };
    auto expectStylesAsBefore = [&] {
        EXPECT_EQ(styles.Count(), styleCount);
        EXPECT_EQ(FMain->cbStyles->count(), styleCount);
        EXPECT_EQ(styles.ItemIndex, 1);
        EXPECT_EQ(FMain->cbStyles->currentText().toStdString(), styleName);
        EXPECT_FLOAT_EQ(Domain->Document->Gain(), drawingGain);
    };

    // The style editor: refused twice, its values and name kept, then cancelled.
    QTimer::singleShot(0, [&] {
        auto* form = qobject_cast<TFormStyle*>(QApplication::activeModalWidget());
        ASSERT_NE(form, nullptr);
        form->gaGain->SetPosition(900);
        form->edStyleName->setText("Kept Style");
        for (size_t tries = 1; tries <= 2; ++tries) {
            QTest::mouseClick(form->btAccept, Qt::LeftButton);
            expectRefused(tries);
            EXPECT_TRUE(form->isVisible());
            EXPECT_EQ(form->gaGain->Position(), 900);
            EXPECT_EQ(form->edStyleName->text(), "Kept Style");
            expectStylesAsBefore();
        }
        QTest::mouseClick(form->btCancel, Qt::LeftButton);
    });
    Domain->EditStyleCommand->trigger();
    expectStylesAsBefore();
    EXPECT_EQ(styles.Current().Name, styleName);
    EXPECT_FLOAT_EQ(styles.Current().Gain, styleGain);
    EXPECT_EQ(FileBytes(styles.Current().FileName), styleFile);

    // Refused, then the folder mended: the second Accept saves what the editor held.
    QTimer::singleShot(0, [&] {
        auto* form = qobject_cast<TFormStyle*>(QApplication::activeModalWidget());
        ASSERT_NE(form, nullptr);
        form->gaGain->SetPosition(900);
        form->edStyleName->setText("Kept Style");
        QTest::mouseClick(form->btAccept, Qt::LeftButton);
        expectRefused(3);
        ASSERT_TRUE(form->isVisible());
        readOnly.reset();
        QTest::mouseClick(form->btAccept, Qt::LeftButton);
        EXPECT_FALSE(form->isVisible());
    });
    Domain->EditStyleCommand->trigger();
    ASSERT_EQ(Messages.size(), 3u);
    EXPECT_EQ(styles.Count(), styleCount);
    EXPECT_EQ(FMain->cbStyles->currentText(), QStringLiteral("Kept Style"));
    EXPECT_FLOAT_EQ(styles.Current().Gain, 9.0f);
    EXPECT_FLOAT_EQ(Domain->Document->Gain(), 9.0f);
    EXPECT_NE(FileBytes(styles.Current().FileName), styleFile);

    // The pattern editor: a new pattern's curve survives a refused Accept; Cancel leaves the
    // list as it was, and after the folder is mended a new one is saved and listed.
    const TBezierCurve curve{{20, 30}, {60, 10}, {120, 80}, {180, 40}};
    auto drawAndAccept = [&](bool Mend) {
        QTimer::singleShot(0, [&, Mend] {
            auto* form = qobject_cast<TFPatternEdit*>(QApplication::activeModalWidget());
            ASSERT_NE(form, nullptr);
            form->Pattern->GetFrames(0).AddCurve(curve);
            form->SelectFrame(0);
            QTest::mouseClick(form->btAccept, Qt::LeftButton);
            expectRefused(Mend ? 5 : 4);
            ASSERT_TRUE(form->isVisible());
            ASSERT_EQ(form->Layer->Count(), 1);
            EXPECT_EQ(form->Pattern->GetFrames(0).Curves, TBezierCurves{curve});
            EXPECT_EQ(patterns.Count(), patternCount + 1); // the new one, being edited
            EXPECT_EQ(FMain->PatternImageList.Count(), patternCount);
            if (!Mend) {
                QTest::mouseClick(form->btCancel, Qt::LeftButton);
                return;
            }
            readOnly.reset();
            QTest::mouseClick(form->btAccept, Qt::LeftButton);
            EXPECT_FALSE(form->isVisible());
        });
    };
    readOnly.emplace(TFaultPoint::fpCreate, 0, EACCES, Folder());
    drawAndAccept(false);
    Domain->NewPatternCommand->trigger();
    EXPECT_EQ(patterns.Count(), patternCount);
    EXPECT_EQ(FMain->PatternImageList.Count(), patternCount);
    readOnly.emplace(TFaultPoint::fpCreate, 0, EACCES, Folder());
    drawAndAccept(true);
    Domain->NewPatternCommand->trigger();
    ASSERT_EQ(Messages.size(), 5u);
    ASSERT_EQ(patterns.Count(), patternCount + 1);
    EXPECT_EQ(FMain->PatternImageList.Count(), patternCount + 1);
    EXPECT_EQ(patterns.ItemIndex, patternCount);
    TPattern reread;
    reread.LoadFromFile(patterns.Current().FileName);
    ASSERT_EQ(reread.FrameCount(), 1);
    EXPECT_EQ(reread.GetFrames(0).Curves, TBezierCurves{curve});
}

TEST_F(DomainCommands, PresetsWhoseFilesCannotBeDeletedStayListed) {
    const int styles = Domain->StyleManager->Count();
    const int patterns = Domain->PatternManager->Count();
    Domain->StyleManager->SetIndex(2);
    Domain->PatternManager->SetIndex(2);
    const std::string styleFile = Domain->StyleManager->Current().FileName;
    const std::string patternFile = Domain->PatternManager->Current().FileName;
    {
        TWriteFaultScope readOnly(TFaultPoint::fpRemove, 0, EACCES, Folder());
        Domain->DelStyleCommand->trigger();
        Domain->DelPatternCommand->trigger();
    }
    ASSERT_EQ(Messages.size(), 4u);
    EXPECT_EQ(Messages[1].Icon, QMessageBox::Critical);
    EXPECT_EQ(Messages[1].Text, "Cannot delete file \"" + styleFile + "\". Permission denied");
    EXPECT_EQ(Messages[3].Text, "Cannot delete file \"" + patternFile + "\". Permission denied");
    EXPECT_EQ(Domain->StyleManager->Count(), styles);
    EXPECT_EQ(FMain->cbStyles->count(), styles);
    EXPECT_EQ(Domain->StyleManager->ItemIndex, 2);
    EXPECT_EQ(Domain->PatternManager->Count(), patterns);
    EXPECT_EQ(FMain->PatternImageList.Count(), patterns);
    EXPECT_EQ(Domain->PatternManager->ItemIndex, 2);
    EXPECT_TRUE(std::filesystem::exists(styleFile));
    EXPECT_TRUE(std::filesystem::exists(patternFile));
}

TEST_F(DomainCommands, EveryQuestionThatThrowsWorkAwayDefaultsToTheSafeAnswer) {
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    Dab(100, 75);
    const int styles = Domain->StyleManager->Count();
    const int patterns = Domain->PatternManager->Count();
    auto expectNothingLost = [&] {
        EXPECT_NE(Domain->Document, nullptr);
        EXPECT_EQ(Terminated, 0);
        EXPECT_EQ(Domain->StyleManager->Count(), styles);
        EXPECT_EQ(Domain->PatternManager->Count(), patterns);
    };
    Answers = {QMessageBox::Cancel, QMessageBox::Cancel, QMessageBox::Cancel,
               QMessageBox::No,     QMessageBox::No,     QMessageBox::No};
    Domain->CloseCommand->trigger();
    Domain->OpenCommand->trigger();
    Domain->ExitCommand->trigger();
    EXPECT_FALSE(FMain->FormClose());
    Domain->DelStyleCommand->trigger();
    Domain->DelPatternCommand->trigger();
    ASSERT_EQ(Messages.size(), 6u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(Messages[i].Default, QMessageBox::Cancel) << Messages[i].Text;
    for (size_t i = 3; i < 6; ++i)
        EXPECT_EQ(Messages[i].Default, QMessageBox::No) << Messages[i].Text;
    expectNothingLost();

    // The real box: Enter and Escape both keep everything.
    SetMessageBoxHook(nullptr);
    auto whenAsked = [](Qt::Key Key) {
        QTimer::singleShot(0, [Key] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            QTest::keyClick(box, Key);
            if (box->isVisible()) {
                ADD_FAILURE() << "the key did not answer the question";
                box->done(QMessageBox::Cancel);
            }
        });
    };
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        whenAsked(key);
        Domain->CloseCommand->trigger();
        whenAsked(key);
        EXPECT_FALSE(FMain->FormClose());
        whenAsked(key);
        Domain->DelStyleCommand->trigger();
        whenAsked(key);
        Domain->DelPatternCommand->trigger();
        expectNothingLost();
    }
}

TEST_F(DomainCommands, ContextHelpLeavesNoToolAndEndsAtTheNextClick) {
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    Domain->AutoDirCommand->trigger();
    Domain->ContextHelpCommand->trigger();
    EXPECT_EQ(Domain->ToolManager->Tool, tiNone);
    EXPECT_TRUE(FMain->ContextHelpMode);
    EXPECT_FALSE(Domain->ToolManager->Enabled);

    // The click on the gain gauge is taken by the help and does not move the gauge.
    const int gain = FMain->gaGain->Position();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    EXPECT_TRUE(FMain->ApplicationMessage(FMain->gaGain, &press));
    EXPECT_FALSE(FMain->ContextHelpMode);
    EXPECT_TRUE(Domain->ToolManager->Enabled);
    EXPECT_EQ(FMain->gaGain->Position(), gain);
    EXPECT_EQ(Domain->ToolManager->Tool, tiNone);
    EXPECT_EQ(HelpKeywordOf(FMain->gaGain), "general");
    EXPECT_EQ(HelpKeywordOf(FMain->btPtr), "tools");
    EXPECT_EQ(HelpKeywordOf(FMain->menuBar()), "");
    EXPECT_EQ(HelpKeywordOf(FMain->ImgDst), "img");
    // A later click is an ordinary click.
    EXPECT_FALSE(FMain->ApplicationMessage(FMain->gaGain, &press));
}

} // namespace
