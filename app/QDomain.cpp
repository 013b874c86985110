// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/QDomain.h"

#include "app/Tools.h"
#include "app/UFormAbout.h"
#include "app/UImgSizeDlg.h"
#include "app/UResample.h"
#include "app/UdmGlobalConfig.h"
#include "document/DualImage.h"
#include "document/UMultiPageTiff.h"
#include "engine/LineSampler.h"
#include "engine/QTypes.h"
#include "platform/formats/JpegCodec.h"
#include "platform/formats/PictureFormats.h"
#include "platform/qt/InputEvents.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/Image32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Round.h"
#include "platform/rtl/Streams.h"
#include "platform/system/ApplicationFolder.h"
#include "platform/system/BusyCursor.h"
#include "platform/system/FolderFiles.h"
#include "presets/Patterns.h"
#include "presets/Styles.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QSpinBox>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>

namespace {
constexpr int MinPicturePixels = 10000;
constexpr int64_t ResampleAbovePixels = 1048576;

std::string UpperCase(std::string Text) {
    std::transform(Text.begin(), Text.end(), Text.begin(), [](unsigned char c) { return std::toupper(c); });
    return Text;
}

// The extension with its point: the text from the last "." of the name part on.
std::string ExtractFileExt(const std::string& FileName) {
    const size_t slash = FileName.find_last_of('/');
    const size_t dot = FileName.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return FileName.substr(dot);
}

// Runs Write, which writes a file. Returns the message of a failure (empty when none). The
// writers put a file in place only once it is whole, so a failure leaves the old file as it was
// and no new one that could pass for a saved drawing.
std::string TryWriteFile(const std::function<void()>& Write) {
    try {
        Write();
        return {};
    } catch (const EAbort&) {
        throw;
    } catch (const std::exception& E) {
        const std::string message = ErrorMessage(E);
        return message.empty() ? "The file could not be written" : message;
    }
}

// A drawing that could not be written out is said so, since the file dialog closing alone looks
// like success; then the command ends silently.
[[noreturn]] void SaveFailed(const std::string& Message) {
    MessageBox(QMessageBox::Critical, "Error saving file", Message);
    Abort();
}

std::string ProgramFileName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName().toStdString();
}
} // namespace

std::string DisplayRequirementText(int ScreenWidth, int ScreenHeight, int BitsPerPixel) {
    std::string text;
    if (ScreenWidth < 800 || ScreenHeight < 600)
        text =
            Format("The screen resolution should be equal %s pixels or higher. Change screen resolution in "
                   "Monitor Control Panel.",
                   "800x600");
    if (BitsPerPixel < 16) {
        if (!text.empty()) text += "\r\n\r\n";
        text +=
            Format("The number of colors of the screen should be equal to %s colors or higher. Change screen "
                   "colors in Monitor Control Panel.",
                   "65.536 (hi color)");
    }
    return text;
}

std::string PictureDialogFilter() {
    const std::vector<TPictureFormat> formats = PictureFormats();
    std::string all;
    std::string each;
    for (const TPictureFormat& f : formats) {
        const std::string pattern = "*." + f.Extension;
        all += (all.empty() ? "" : ";") + pattern;
        each += "|" + f.Description + " (" + pattern + ")|" + pattern;
    }
    return "All (" + all + ")|" + all + each;
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
    SaveImageDialog.Filter = "JPEG (*.jpg)|*.jpg|BMP (*.bmp)|*.bmp|TIFF (*.tif)|*.tif";

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

// ---------------------------------------------------------------------------------------------
// Close and Exit

bool TDomain::MayDiscard() {
    if (!Document || !Document->Modified) return true;
    // Enter keeps the drawing: only a deliberate OK throws it away.
    return MessageBox(QMessageBox::Question, "Confirm", "Document not saved. Discard anyway?",
                      QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) == QMessageBox::Ok;
}

void TDomain::FreeDocument() {
    Document.reset();
    ToolManager.reset();
}

void TDomain::CloseCommandExecute(void*) {
    if (!MayDiscard()) Abort();
    FreeDocument();
    UpdateActions();
}

void TDomain::ExitCommandExecute(void*) {
    if (!MayDiscard()) Abort();
    TerminateApplication();
}

// ---------------------------------------------------------------------------------------------
// Opening a picture

void TDomain::OpenCommandExecute(void*) {
    // The open drawing goes only once a new picture has been read (LoadImage): a cancelled
    // dialog or a picture that cannot be read leaves it as it was.
    if (!MayDiscard()) Abort();
    if (!OpenPictureDialog.Execute()) return;
    LoadImage(OpenPictureDialog.FileName);
    SelectFirstStyle();
}

void TDomain::LoadDroppedImage(const std::string& FileName) {
    if (!MayDiscard()) Abort();
    LoadImage(FileName);
    SelectFirstStyle();
}

void TDomain::SelectFirstStyle() {
    if (OnSelectStyle) OnSelectStyle(this, 0);
}

void TDomain::LoadImage(const std::string& FileName, TStream* Stream) {
    std::unique_ptr<TBitmap32> picture = ReadPicture(FileName, Stream);
    picture = OfferResample(std::move(picture));
    InstallPicture(std::move(picture));
}

std::unique_ptr<TBitmap32> TDomain::ReadPicture(const std::string& FileName, TStream* Stream) {
    // The picture is read aside first, so that a picture that cannot be used leaves an open
    // drawing with its own photo; without a drawing the source view is emptied as the load starts.
    if (!Document && SrcView != nullptr) {
        SrcView->Bitmap.MasterAlpha = 255;
        SrcView->Bitmap.SetSize(0, 0);
        SrcView->Changed();
    }
    auto picture = std::make_unique<TBitmap32>();
    std::string readError;
    {
        TBusyCursor busy;
        try {
            if (Stream != nullptr)
                picture->LoadFromStream(*Stream);
            else
                picture->LoadFromFile(FileName);
        } catch (const std::exception& E) {
            readError = ErrorMessage(E);
            if (readError.empty()) readError = "The picture cannot be read";
        }
    }
    if (!readError.empty()) {
        MessageBox(QMessageBox::Critical, "Error loading file", readError);
        Abort();
    }
    const int w = picture->Width();
    const int h = picture->Height();
    if (int64_t{w} * h == 0) RaiseException("Invalid Image");
    if (int64_t{w} * h < MinPicturePixels) {
        MessageBox(QMessageBox::Critical, "Error loading image",
                   "The source image is too small (" + std::to_string(w) + " x " + std::to_string(h) +
                       " pixels): a picture needs at least 10,000 pixels, for example 100 x 100");
        Abort();
    }
    return picture;
}

std::unique_ptr<TBitmap32> TDomain::OfferResample(std::unique_ptr<TBitmap32> Picture) {
    const int w = Picture->Width();
    const int h = Picture->Height();
    if (int64_t{w} * h <= ResampleAbovePixels || FResample == nullptr) return Picture;
    FResample->PictureWidth = w;
    FResample->PictureHeight = h;
    const float f = static_cast<float>(std::sqrt(1.0 / (static_cast<double>(w) * h)) * 1024);
    FResample->RecommendedWidth = Round(w * static_cast<double>(f));
    FResample->RecommendedHeight = Round(h * static_cast<double>(f));
    if (FResample->ShowModal() != QDialog::Accepted) return Picture;
    TBusyCursor busy;
    const int newWidth = FResample->seWidth->value();
    const int newHeight = FResample->seHeight->value();
    auto resized = std::make_unique<TBitmap32>(newWidth, newHeight);
    Picture->StretchFilter = sfMitchell;
    resized->StretchFilter = sfMitchell;
    resized->DrawStretched(TRect{0, 0, newWidth, newHeight}, TRect{0, 0, w, h}, *Picture);
    return resized;
}

void TDomain::InstallPicture(std::unique_ptr<TBitmap32> Picture) {
    // The paper is made while the old drawing is still there, so that a picture too large to
    // hold leaves it as it was. The old drawing goes before the views are cleared: its layers
    // live on them.
    std::unique_ptr<TBitmap32> paper = NewFilledBitmap(Picture->Width(), Picture->Height(), 0xFFFFFFFF);
    FreeDocument();
    TBusyCursor busy;
    if (SrcView != nullptr) {
        SrcView->Layers().Clear();
        SrcView->SetScaleMode(smScale);
        SrcView->Bitmap = std::move(*Picture);
        SrcView->Bitmap.StretchFilter = sfLinear;
        SrcView->SetScale(1.0f);
        SrcView->Bitmap.MasterAlpha = 128;
        SrcView->Bitmap.DrawMode = dmBlend;
        SrcView->Changed();
    }
    if (DstView != nullptr) {
        DstView->Layers().Clear();
        DstView->SetScaleMode(smScale);
        DstView->Bitmap = std::move(*paper);
        DstView->SetScale(1.0f);
        DstView->Bitmap.StretchFilter = sfLinear;
        DstView->Changed();
    }

    try {
        Document = std::make_unique<TDualImage>(
            SrcView, DstView, 1.0f,
            [this](void* Sender, int Percent) {
                if (OnProgress) OnProgress(Sender, Percent);
            },
            [this](void* Sender) {
                if (OnBeginProgress) OnBeginProgress(Sender);
            },
            [this](void* Sender) {
                if (OnEndProgress) OnEndProgress(Sender);
            });
        Document->SetOnChange([this](void*) { UpdateActions(); });
        Document->PatternManager = PatternManager.get();
        ToolManager = std::make_unique<TToolManager>(Document.get());
    } catch (...) {
        // The old drawing is gone already: the window and the commands must say so (the guard
        // shows why).
        FreeDocument();
        UpdateActions();
        throw;
    }
    if (OnNewDocument) OnNewDocument(this);
    PointerCommandExecute(PointerCommand);
    UpdateActions();
    Changed();
}

// ---------------------------------------------------------------------------------------------
// Saving, rendering at another size, PostScript

void TDomain::SaveImage(TBitmap32& Bitmap, double Resolution) {
    if (!SaveImageDialog.Execute()) return;
    const std::string fileName = SaveImageDialog.FileName;
    const std::string ext = UpperCase(ExtractFileExt(fileName));
    bool written = false;
    std::string failure;
    {
        TBusyCursor busy;
        failure = TryWriteFile([&] {
            if (ext == ".BMP") {
                Bitmap.SaveToFile(fileName);
                written = true;
            } else if (ext == ".JPG" || ext == ".JPEG") {
                TAtomicFileStream file(fileName);
                WriteJpeg(Bitmap, file, 90);
                file.Close();
                written = true;
            } else if (ext == ".TIF" || ext == ".TIFF") {
                TMultiPageTiff::SaveBitmap(Bitmap, fileName, Resolution);
                written = true;
            }
        });
    }
    // Nothing is written under a name the writers do not know; said so, like a failed write.
    if (failure.empty() && !written)
        failure =
            "The drawing can be saved as JPEG (.jpg, .jpeg), BMP (.bmp) or TIFF (.tif, .tiff), not as \"" +
            ExtractFileExt(fileName) + "\"";
    if (!failure.empty()) SaveFailed(failure);
    if (written && Document) Document->Modified = false;
}

void TDomain::SaveCommandExecute(void*) {
    if (!Document || DstView == nullptr) return;
    SaveImage(DstView->Bitmap, 200.0);
}

void TDomain::RenderAtSize() {
    if (!Document || DstView == nullptr || FImgSizeDlg == nullptr) return;
    const TBitmap32& drawing = DstView->Bitmap;
    FImgSizeDlg->SetImageWidth(drawing.Width());
    FImgSizeDlg->SetImageHeight(drawing.Height());
    FImgSizeDlg->SetResolution(200);
    if (FImgSizeDlg->ShowModal() != QDialog::Accepted) return;
    std::unique_ptr<TBitmap32> bitmap;
    try {
        bitmap = std::make_unique<TBitmap32>(FImgSizeDlg->GetPixelWidth(), FImgSizeDlg->GetPixelHeight());
    } catch (const std::exception& E) {
        // A size beyond what can be held.
        SaveFailed(ErrorMessage(E));
    }
    {
        TBusyCursor busy;
        bitmap->Clear(0xFFFFFFFF);
        const float scale = static_cast<float>(static_cast<double>(bitmap->Width()) / drawing.Width());
        Document->RenderStrokes(*bitmap, scale);
    }
    SaveImage(*bitmap, static_cast<double>(FImgSizeDlg->GetResolution()));
}

void TDomain::RenderAllExecute(void*) {
    RenderAtSize();
}

void TDomain::PostScriptCommandExecute(void*) {
    if (!Document) return;
    if (!SavePostScriptDlg.Execute()) return;
    const std::string fileName = SavePostScriptDlg.FileName;
    std::string failure;
    {
        TBusyCursor busy;
        failure = TryWriteFile([&] { Document->ExportPostScript(fileName); });
    }
    if (!failure.empty()) SaveFailed(failure);
    MessageBox(QMessageBox::Information, "Quorvelle",
               Format("The file was successfully exported as a PostScript file:\r\n%s", fileName.c_str()));
}

// ---------------------------------------------------------------------------------------------
// Undo, tools and settings

void TDomain::UndoCommandExecute(void*) {
    if (Document && Document->CanUndo()) Document->Undo();
}

void TDomain::RedoCommandExecute(void*) {
    if (Document && Document->CanRedo()) Document->Redo();
}

void TDomain::PointerCommandExecute(void*) {
    if (ToolManager) ToolManager->SetTool(tiPointer);
    Changed();
}

void TDomain::PatternCommandExecute(void*) {
    if (ToolManager) ToolManager->SetTool(tiPattern);
    Changed();
}

void TDomain::AutoDirCommandExecute(void*) {
    if (ToolManager) ToolManager->SetTool(tiAutoSketch);
    Changed();
}

void TDomain::FreeHandCommandExecute(void*) {
    if (ToolManager) ToolManager->SetTool(tiFreeHand);
    Changed();
}

void TDomain::ViewBordersCommandExecute(void*) {
    if (!Document) return;
    Document->SetViewBorders(!Document->ViewBorders());
    ViewBordersCommand->setChecked(Document->ViewBorders());
}

void TDomain::ViewDirectionsCommandExecute(void*) {
    if (!Document) return;
    Document->SetViewDirections(!Document->ViewDirections());
    ViewDirectionsCommand->setChecked(Document->ViewDirections());
}

void TDomain::StopOnBordersCommandExecute(void*) {
    if (!Document) return;
    Document->StopOnBorders = !Document->StopOnBorders;
    StopOnBordersCommand->setChecked(Document->StopOnBorders);
}

// ---------------------------------------------------------------------------------------------
// Presets

void TDomain::NewPatternCommandExecute(void*) {
    PatternManager->EditorCaption = "Create New Pattern";
    const int count = PatternManager->Count();
    const int index = PatternManager->ItemIndex;
    if (PatternManager->New()) {
        if (OnUpdatePattern) OnUpdatePattern(this, PatternManager->Count() - 1);
    } else if (PatternManager->Count() > count) {
        // A new pattern the user did not accept is not kept: it has no file and no thumbnail.
        PatternManager->Patterns.erase(PatternManager->Patterns.begin() + count,
                                       PatternManager->Patterns.end());
        PatternManager->SetIndex(index);
    }
    UpdateActions();
}

void TDomain::EditPatternCommandExecute(void*) {
    PatternManager->EditorCaption = "Edit Current Pattern";
    if (PatternManager->Edit() && OnUpdatePattern) OnUpdatePattern(this, PatternManager->ItemIndex);
}

void TDomain::DelPatternCommandExecute(void*) {
    // Patterns have no names; the one highlighted in the list is meant.
    if (MessageBox(QMessageBox::Warning, "Warning", "Sure to delete the selected pattern?",
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    // The thumbnail goes once the pattern and its file went: a file that cannot be deleted keeps
    // both.
    const int index = PatternManager->ItemIndex;
    PatternManager->Delete();
    if (OnDeletePattern) OnDeletePattern(this, index);
    UpdateActions();
}

void TDomain::NewStyleCommandExecute(void*) {
    StyleManager->EditorCaption = "Create New Style";
    const int count = StyleManager->Count();
    const int index = StyleManager->ItemIndex;
    if (StyleManager->New()) {
        if (OnUpdateStyle) OnUpdateStyle(this, StyleManager->Count() - 1);
    } else if (StyleManager->Count() > count) {
        // A new style the user did not accept is not kept: it has no file and no list entry.
        StyleManager->Styles.erase(StyleManager->Styles.begin() + count, StyleManager->Styles.end());
        StyleManager->SetIndex(index);
    }
    UpdateActions();
}

void TDomain::EditStyleCommandExecute(void*) {
    StyleManager->EditorCaption = "Edit Current Style";
    if (StyleManager->Edit() && OnUpdateStyle) OnUpdateStyle(this, StyleManager->ItemIndex);
}

void TDomain::DelStyleCommandExecute(void*) {
    const std::string name = StyleManager->Current().Name;
    if (MessageBox(QMessageBox::Warning, "Warning", Format("Sure to delete the style \"%s\"?", name.c_str()),
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    // The event comes once the manager has made another style current, so that the window can
    // show and apply that one.
    const int index = StyleManager->ItemIndex;
    StyleManager->Delete();
    if (OnDeleteStyle) OnDeleteStyle(this, index);
    UpdateActions();
}

// ---------------------------------------------------------------------------------------------
// Help

void TDomain::HelpCommandExecute(void* Sender) {
    HelpCmdExecute(Sender);
}

void TDomain::HelpCmdExecute(void*) {
    // Without a browser for the manual nothing would appear at all; say where it lies instead.
    if (!ShellOpen(HelpCmdFileName))
        MessageBox(QMessageBox::Information, "Help",
                   "No program could open the manual. It is the file " + HelpCmdFileName);
}

void TDomain::ContextHelpCommandExecute(void*) {
    if (ToolManager) ToolManager->SetTool(tiNone);
    if (OnContextHelp) OnContextHelp(this);
}

void TDomain::AboutCommandExecute(void*) {
    if (FAbout != nullptr) FAbout->exec();
}

// ---------------------------------------------------------------------------------------------
// Colours

void TDomain::SelColorExecute(void*) {
    if (!Document || !GetSelectedColor) return;
    Document->SetColor(GetSelectedColor());
    Document->SetColorMode(cmFixedInk);
    Changed();
}

void TDomain::SetColorModeAutoExecute(void*) {
    if (!Document) return;
    Document->SetColorMode(cmSampledColor);
    Changed();
}

void TDomain::SetColorModeCustomExecute(void*) {
    if (!Document) return;
    Document->SetColorMode(cmFixedInk);
    Changed();
}
