// SPDX-License-Identifier: GPL-3.0-or-later
// The command module: enabling after a load, a gesture, undo, redo and Close; the command keys;
// the discard question; the preset commands.
#include "app/Tools.h"
#include "document/DualImage.h"
#include "presets/EditorHooks.h"
#include "presets/Patterns.h"
#include "presets/Styles.h"
#include "tests/app/ShellFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QMenuBar>
#include <QToolButton>

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
    SetPatternEditorHook([](TPattern& Pattern, const std::string& Caption) {
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
    SetStyleEditorHook([](TQStyle&, const std::string& Caption) {
        EXPECT_EQ(Caption, "Create New Style");
        return TStyleEditorResult{mrCancel, ""};
    });
    SetPatternEditorHook([](TPattern&, const std::string&) { return static_cast<int>(mrCancel); });
    Domain->NewStyleCommand->trigger();
    Domain->NewPatternCommand->trigger();
    EXPECT_EQ(Domain->StyleManager->Count(), styles);
    EXPECT_EQ(Domain->StyleManager->ItemIndex, 1);
    EXPECT_EQ(Domain->PatternManager->Count(), patterns);

    // An accepted one is saved, listed and applied to the open drawing at once.
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    SetStyleEditorHook([](TQStyle& Style, const std::string&) {
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
