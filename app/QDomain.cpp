// SPDX-License-Identifier: GPL-3.0-or-later
// The command module's creation (its actions, the preset managers, the picture dialogs), the
// enabling of its commands and the keys that trigger them. The commands themselves are in the
// files of their menus and panels: QDomainFile, QDomainEdit, QDomainView, QDomainHelp,
// QDomainTools, QDomainPresets, QDomainColors.
#include "app/QDomain.h"

#include "app/Tools.h"
#include "app/UdmGlobalConfig.h"
#include "document/DualImage.h"
#include "platform/qt/InputEvents.h"
#include "platform/rtl/Format.h"
#include "platform/system/ApplicationFolder.h"
#include "platform/system/FolderFiles.h"
#include "presets/Patterns.h"
#include "presets/Styles.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

#include <algorithm>

namespace {
std::string ProgramFileName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName().toStdString();
}
} // namespace

std::string DisplayRequirementText(int ScreenWidth, int ScreenHeight, int BitsPerPixel) {
    std::string text;
    if (ScreenWidth < 800 || ScreenHeight < 600)
        text =
            Format("The screen resolution should be equal %s pixels or higher. Change screen resolution in "
                   "the display settings.",
                   "800x600");
    if (BitsPerPixel < 16) {
        if (!text.empty()) text += "\r\n\r\n";
        text +=
            Format("The number of colors of the screen should be equal to %s colors or higher. Change screen "
                   "colors in the display settings.",
                   "65.536 (hi color)");
    }
    return text;
}

// ---------------------------------------------------------------------------------------------
// Creation and destruction

QAction* TDomain::AddAction(const char* Name, const char* Category, const char* Caption,
                            const QKeySequence& ShortCut, const char* Hint, void (TDomain::*Handler)(void*),
                            std::vector<QKeySequence> Secondary) {
    auto* action = new QAction(QString::fromUtf8(Caption), this);
    action->setObjectName(QString::fromUtf8(Name));
    action->setProperty("category", QString::fromUtf8(Category));
    // The list takes the keys itself (IsShortCut); the shortcut shows in menus only.
    action->setShortcut(ShortCut);
    action->setShortcutContext(Qt::WidgetShortcut);
    if (Hint != nullptr) {
        // A hint may have a short part for the tooltip and a long one for the status bar.
        const QString hint = QString::fromUtf8(Hint);
        const qsizetype bar = hint.indexOf(QLatin1Char('|'));
        action->setToolTip(bar < 0 ? hint : hint.left(bar));
        action->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
    }
    connect(action, &QAction::triggered, this,
            [this, action, Handler] { GuardEvent([&] { (this->*Handler)(action); }); });
    FActionList.push_back(TActionItem{action, std::move(Secondary)});
    return action;
}

TDomain::TDomain(QObject* Parent) : QObject(Parent) {
    setObjectName(QStringLiteral("Domain"));

    // The display requirement is checked first, while the module is being made.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const std::string warning =
            DisplayRequirementText(screen->size().width(), screen->size().height(), screen->depth());
        if (!warning.empty()) MessageBox(QMessageBox::Information, ProgramFileName(), warning);
    }

    const QKeySequence none;
    OpenCommand = AddAction("OpenCommand", "File", "Open", QKeySequence(Qt::CTRL | Qt::Key_O),
                            "Open new picture to transform into pen & ink", &TDomain::OpenCommandExecute);
    SaveCommand = AddAction("SaveCommand", "File", "Save", QKeySequence(Qt::CTRL | Qt::Key_S),
                            "Save the destination image", &TDomain::SaveCommandExecute);
    CloseCommand = AddAction("CloseCommand", "File", "&Close", QKeySequence(Qt::CTRL | Qt::Key_F4),
                             "Close current picture", &TDomain::CloseCommandExecute);
    PostScriptCommand =
        AddAction("PostScriptCommand", "File", "PostScript Output", QKeySequence(Qt::CTRL | Qt::Key_P),
                  "Export to postscript", &TDomain::PostScriptCommandExecute);
    UndoCommand = AddAction("UndoCommand", "Edit", "Undo", QKeySequence(Qt::CTRL | Qt::Key_Z), nullptr,
                            &TDomain::UndoCommandExecute, {QKeySequence(Qt::Key_U), QKeySequence(Qt::Key_U)});
    RedoCommand = AddAction("RedoCommand", "Edit", "Redo", QKeySequence(Qt::CTRL | Qt::Key_Y), nullptr,
                            &TDomain::RedoCommandExecute, {QKeySequence(Qt::Key_A), QKeySequence(Qt::Key_A)});
    ExitCommand = AddAction("ExitCommand", "File", "Exit", QKeySequence(Qt::CTRL | Qt::Key_Q),
                            "Exit application", &TDomain::ExitCommandExecute);
    PointerCommand = AddAction("PointerCommand", "Tools", "Pointer", QKeySequence(Qt::Key_P), "Pointer Tool",
                               &TDomain::PointerCommandExecute);
    PatternCommand = AddAction("PatternCommand", "Tools", "Pattern Tool", QKeySequence(Qt::Key_T),
                               "Pattern Tool", &TDomain::PatternCommandExecute);
    AutoDirCommand = AddAction("AutoDirCommand", "Tools", "Auto-sketch Tool", QKeySequence(Qt::Key_A),
                               "Auto Sketch", &TDomain::AutoDirCommandExecute);
    FreeHandCommand = AddAction("FreeHandCommand", "Tools", "Free Hand", QKeySequence(Qt::Key_F), "Free Hand",
                                &TDomain::FreeHandCommandExecute);
    ViewBordersCommand = AddAction("ViewBordersCommand", "Settings", "View Borders", none, nullptr,
                                   &TDomain::ViewBordersCommandExecute);
    ViewDirectionsCommand = AddAction("ViewDirectionsCommand", "Settings", "View Directions", none, nullptr,
                                      &TDomain::ViewDirectionsCommandExecute);
    NewPatternCommand = AddAction("NewPatternCommand", "Patterns", "New pattern", none, "Create new pattern",
                                  &TDomain::NewPatternCommandExecute);
    EditPatternCommand = AddAction("EditPatternCommand", "Patterns", "Edit selected pattern", none,
                                   "Edit selected pattern", &TDomain::EditPatternCommandExecute);
    DelPatternCommand = AddAction("DelPatternCommand", "Patterns", "Delete selected pattern", none,
                                  "Delete selected pattern", &TDomain::DelPatternCommandExecute);
    HelpCommand = AddAction("HelpCommand", "Help", "Help", QKeySequence(Qt::Key_F1), "Get more help",
                            &TDomain::HelpCommandExecute);
    ContextHelpCommand = AddAction("ContextHelpCommand", "Help", "What is this?", none,
                                   "Click on any item to get help", &TDomain::ContextHelpCommandExecute);
    AboutCommand =
        AddAction("AboutCommand", "Help", "About...", none, "Get information", &TDomain::AboutCommandExecute);
    StopOnBordersCommand = AddAction("StopOnBordersCommand", "Settings", "Stop on Borders", none, nullptr,
                                     &TDomain::StopOnBordersCommandExecute);
    NewStyleCommand = AddAction("NewStyleCommand", "Styles", "NewStyle", none, "Create new style",
                                &TDomain::NewStyleCommandExecute);
    EditStyleCommand = AddAction("EditStyleCommand", "Styles", "EditStyle", none, "Edit selected style",
                                 &TDomain::EditStyleCommandExecute);
    DelStyleCommand = AddAction("DelStyleCommand", "Styles", "DeleteStyle", none, "Delete selected style",
                                &TDomain::DelStyleCommandExecute);
    HelpCmd = AddAction("HelpCmd", "File", "Help", none, "Run|Runs an application", &TDomain::HelpCmdExecute);
    SelColor = AddAction("SelColor", "Colors", "Select Color", none, nullptr, &TDomain::SelColorExecute);
    SetColorModeAuto = AddAction("SetColorModeAuto", "Colors", "Set Color Mode Auto", none, nullptr,
                                 &TDomain::SetColorModeAutoExecute);
    SetColorModeCustom = AddAction("SetColorModeCustom", "Colors", "Set Color Mode Custom", none, nullptr,
                                   &TDomain::SetColorModeCustomExecute);
    RenderAll =
        AddAction("RenderAll", "", "Save at different size...", none, nullptr, &TDomain::RenderAllExecute);

    for (QAction* checked : {ViewBordersCommand, ViewDirectionsCommand, StopOnBordersCommand})
        checked->setCheckable(true);
    const char* icons[] = {"tool-pointer.png", "tool-auto.png", "tool-pattern.png", "tool-freehand.png",
                           "tool-help.png"};
    QAction* iconActions[] = {PointerCommand, AutoDirCommand, PatternCommand, FreeHandCommand,
                              ContextHelpCommand};
    for (int i = 0; i < 5; ++i)
        iconActions[i]->setIcon(QIcon(QPixmap::fromImage(LoadAppPicture(QString::fromUtf8(icons[i])))));

    OpenPictureDialog.Title = "Open";
    SaveImageDialog.Title = "Save As";
    SavePostScriptDlg.Title = "Save As";
    SavePostScriptDlg.DefaultExt = "ps";
    SavePostScriptDlg.Filter = "Postscript (*.ps) | *.ps";
    OpenPictureDialog.Filter = PictureDialogFilter();
    SaveImageDialog.DefaultExt = "jpg";
    SaveImageDialog.Filter = SaveDialogFilter();

    // The desktop's manual stands in for the compiled help file.
    HelpCmdFileName = AppFolder() + "Manual/index.html";
    ToolManager.reset();
    PatternManager = std::make_unique<TPatternManager>();
    StyleManager = std::make_unique<TStyleManager>();
    UpdateActions();
    DeleteFiles(AppTempFolder() + "/", "*.*");
}

TDomain::~TDomain() {
    // The tool manager never touches the drawing when it goes, so the order is free.
    Document.reset();
    ToolManager.reset();
    StyleManager.reset();
    PatternManager.reset();
}

void TDomain::SetDialogs(TFResample* Resample, TFImgSizeDlg* ImgSizeDlg, TFormAbout* About) {
    FResample = Resample;
    FImgSizeDlg = ImgSizeDlg;
    FAbout = About;
}

// ---------------------------------------------------------------------------------------------
// Enabling and keys

void TDomain::Changed() {
    if (OnChange) OnChange(this);
}

void TDomain::UpdateActions() {
    const bool document = Document != nullptr;
    RenderAll->setEnabled(document);
    UndoCommand->setEnabled(document && Document->CanUndo());
    RedoCommand->setEnabled(document && Document->CanRedo());
    OpenCommand->setEnabled(true);
    SaveCommand->setEnabled(document);
    CloseCommand->setEnabled(document);
    PostScriptCommand->setEnabled(document && Document->StrokeCount() > 0);
    ExitCommand->setEnabled(true);
    for (QAction* action : {PointerCommand, PatternCommand, AutoDirCommand, FreeHandCommand,
                            ViewBordersCommand, ViewDirectionsCommand})
        action->setEnabled(document);
    NewPatternCommand->setEnabled(true);
    EditPatternCommand->setEnabled(true);
    DelPatternCommand->setEnabled(PatternManager->Count() > 1);
    NewStyleCommand->setEnabled(true);
    EditStyleCommand->setEnabled(true);
    DelStyleCommand->setEnabled(StyleManager->Count() > 1);
    HelpCommand->setEnabled(true);
    ContextHelpCommand->setEnabled(true);
    AboutCommand->setEnabled(true);
    StopOnBordersCommand->setEnabled(document);
    // The view ticks show the open drawing's flags: a new drawing starts without overlays, and
    // without a drawing nothing is shown.
    ViewBordersCommand->setChecked(document && Document->ViewBorders());
    ViewDirectionsCommand->setChecked(document && Document->ViewDirections());
    Changed();
}

bool TDomain::IsShortCut(const QKeyEvent& Event) {
    const int key = Event.key();
    if (key == 0 || key == Qt::Key_unknown || key == Qt::Key_Shift || key == Qt::Key_Control ||
        key == Qt::Key_Alt || key == Qt::Key_Meta)
        return false;
    // No command starts inside a gesture: an undo, a load or a save between the press and the
    // release would tear the gesture's undo step apart.
    if (Document && Document->ChangeNesting() > 0) return false;
    const QKeySequence pressed(
        QKeyCombination(Event.modifiers() & ~Qt::KeypadModifier, static_cast<Qt::Key>(key)));
    for (const TActionItem& item : FActionList) {
        const bool matches = (!item.Action->shortcut().isEmpty() && item.Action->shortcut() == pressed) ||
                             std::find(item.SecondaryShortCuts.begin(), item.SecondaryShortCuts.end(),
                                       pressed) != item.SecondaryShortCuts.end();
        if (!matches) continue;
        // The first action of the key decides, even when it is disabled.
        if (!item.Action->isEnabled()) return false;
        item.Action->trigger();
        return true;
    }
    return false;
}
