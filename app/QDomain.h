// SPDX-License-Identifier: GPL-3.0-or-later
// The command module: every user command of the program as an action of one list, the objects
// that live between commands (the open drawing, its tool manager, the pattern and style
// managers), the rules that enable the commands, and the events by which it tells the main
// window about changes. It has no window of its own.
#pragma once

#include "app/ShellServices.h"
#include "platform/raster/Color32.h"
#include "platform/rtl/Events.h"

#include <QAction>
#include <QKeySequence>
#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QKeyEvent;
class TBitmap32;
class TDualImage;
class TFImgSizeDlg;
class TFResample;
class TFormAbout;
class TImgView32;
class TPatternManager;
class TStream;
class TStyleManager;
class TToolManager;

// A preset event: the sender and the preset's index in its manager.
using TIndexEvent = std::function<void(void* Sender, int Index)>;

// The paragraphs of the start-up warning about the display, separated by an empty line; empty
// when the screen has at least 800 x 600 pixels and 16-bit colour.
std::string DisplayRequirementText(int ScreenWidth, int ScreenHeight, int BitsPerPixel);

// The open dialog's filter: every extension of the picture-format registry, all of them first.
std::string PictureDialogFilter();
// The save dialog's filter: each writer of the registry with its usual extension, in their order.
std::string SaveDialogFilter();

class TDomain : public QObject {
    Q_OBJECT
public:
    // Checks the display, loads every pattern and style file of the application folder, and
    // empties the "tmp" folder of the application folder.
    explicit TDomain(QObject* Parent = nullptr);
    ~TDomain() override;

    // ---- the action list, in list order -------------------------------------------------------
    QAction* OpenCommand;
    QAction* SaveCommand;
    QAction* CloseCommand;
    QAction* PostScriptCommand;
    QAction* UndoCommand;
    QAction* RedoCommand;
    QAction* ExitCommand;
    QAction* PointerCommand;
    QAction* PatternCommand;
    QAction* AutoDirCommand;
    QAction* FreeHandCommand;
    QAction* ViewBordersCommand;
    QAction* ViewDirectionsCommand;
    QAction* NewPatternCommand;
    QAction* EditPatternCommand;
    QAction* DelPatternCommand;
    QAction* HelpCommand;
    QAction* ContextHelpCommand;
    QAction* AboutCommand;
    QAction* StopOnBordersCommand;
    QAction* NewStyleCommand;
    QAction* EditStyleCommand;
    QAction* DelStyleCommand;
    // The run-file action: opens HelpCmdFileName with the desktop.
    QAction* HelpCmd;
    QAction* SelColor;
    QAction* SetColorModeAuto;
    QAction* SetColorModeCustom;
    QAction* RenderAll;

    struct TActionItem {
        QAction* Action;
        // Further keys of the same command.
        std::vector<QKeySequence> SecondaryShortCuts;
    };
    const std::vector<TActionItem>& ActionList() const { return FActionList; }
    // A key goes to the first action in list order whose shortcut or secondary shortcut it is;
    // that action runs when it is enabled. True when an enabled action took the key. While a
    // gesture has the drawing's change open, no key runs a command.
    bool IsShortCut(const QKeyEvent& Event);

    // ---- dialogs --------------------------------------------------------------------------------
    TFileDialog SavePostScriptDlg{true};
    TFileDialog OpenPictureDialog{false};
    TFileDialog SaveImageDialog{true};
    std::string HelpCmdFileName;

    // ---- the objects between commands -----------------------------------------------------------
    std::unique_ptr<TDualImage> Document;
    // Exists exactly while Document exists.
    std::unique_ptr<TToolManager> ToolManager;
    std::unique_ptr<TPatternManager> PatternManager;
    std::unique_ptr<TStyleManager> StyleManager;
    // The main window's views; borrowed.
    TImgView32* SrcView = nullptr;
    TImgView32* DstView = nullptr;
    // The dialogs the commands show, borrowed from start-up: the resample offer of a load, the
    // size of "Save at different size..." and the About box. Without its dialog a load goes on
    // without the offer, and the other two commands do nothing.
    void SetDialogs(TFResample* Resample, TFImgSizeDlg* ImgSizeDlg, TFormAbout* About);

    // ---- events to the main window; the sender is always the module --------------------------
    void SetOnChange(TNotifyEvent Value) { OnChange = std::move(Value); }
    void SetOnContextHelp(TNotifyEvent Value) { OnContextHelp = std::move(Value); }
    void SetOnProgress(TPercentEvent Value) { OnProgress = std::move(Value); }
    void SetOnUpdatePattern(TIndexEvent Value) { OnUpdatePattern = std::move(Value); }
    void SetOnUpdateStyle(TIndexEvent Value) { OnUpdateStyle = std::move(Value); }
    void SetOnDeletePattern(TIndexEvent Value) { OnDeletePattern = std::move(Value); }
    void SetOnDeleteStyle(TIndexEvent Value) { OnDeleteStyle = std::move(Value); }
    void SetOnBeginProgress(TNotifyEvent Value) { OnBeginProgress = std::move(Value); }
    void SetOnEndProgress(TNotifyEvent Value) { OnEndProgress = std::move(Value); }
    void SetOnNewDocument(TNotifyEvent Value) { OnNewDocument = std::move(Value); }
    void SetOnSelectStyle(TIndexEvent Value) { OnSelectStyle = std::move(Value); }

    TNotifyEvent OnChange;
    TNotifyEvent OnContextHelp;
    TPercentEvent OnProgress;
    TIndexEvent OnUpdatePattern;
    TIndexEvent OnUpdateStyle;
    // Fired after the pattern at the index went, once the manager has made another one current.
    TIndexEvent OnDeletePattern;
    // Fired after the style at the index went, once the manager has made another one current.
    TIndexEvent OnDeleteStyle;
    TNotifyEvent OnBeginProgress;
    TNotifyEvent OnEndProgress;
    // Fired when a loaded picture has become the new drawing, before its first tool is picked.
    TNotifyEvent OnNewDocument;
    // Asks the window to make the style at the index current: its list, its preview, the style
    // manager and the drawing.
    TIndexEvent OnSelectStyle;
    // Where the Select Color command finds the colour the user picked; none leaves it without
    // effect.
    std::function<TColor32()> GetSelectedColor;

    // ---- operations -----------------------------------------------------------------------------
    // Recomputes which commands are enabled, then fires OnChange.
    void UpdateActions();
    // Reads a picture into a new drawing (from Stream when given, by the reader of FileName's
    // extension, else from the file): refuses pictures under 10000 pixels, offers to resample
    // those over 1048576 pixels, prepares both views, analyses the picture and selects the
    // Pointer tool. A picture that cannot be read is
    // reported in a message box and the load ends silently; the open drawing, when there is one,
    // then stays as it was.
    void LoadImage(const std::string& FileName, TStream* Stream = nullptr);
    // A picture file dropped on the window: asks before an unsaved drawing is discarded (a refusal
    // aborts silently), then loads it as the Open command does, with the first style.
    void LoadDroppedImage(const std::string& FileName);
    // Asks for a file and writes Bitmap as BMP, JPEG or TIFF (at Resolution) by its extension.
    void SaveImage(TBitmap32& Bitmap, double Resolution);
    // Asks for a size and resolution, renders the logged strokes at that size and saves them.
    void RenderAtSize();

    // ---- command handlers -----------------------------------------------------------------------
    void OpenCommandExecute(void* Sender);
    void SaveCommandExecute(void* Sender);
    void CloseCommandExecute(void* Sender);
    void PostScriptCommandExecute(void* Sender);
    void UndoCommandExecute(void* Sender);
    void RedoCommandExecute(void* Sender);
    void ExitCommandExecute(void* Sender);
    void PointerCommandExecute(void* Sender);
    void PatternCommandExecute(void* Sender);
    void AutoDirCommandExecute(void* Sender);
    void FreeHandCommandExecute(void* Sender);
    void ViewBordersCommandExecute(void* Sender);
    void ViewDirectionsCommandExecute(void* Sender);
    void NewPatternCommandExecute(void* Sender);
    void EditPatternCommandExecute(void* Sender);
    void DelPatternCommandExecute(void* Sender);
    void HelpCommandExecute(void* Sender);
    void ContextHelpCommandExecute(void* Sender);
    void AboutCommandExecute(void* Sender);
    void StopOnBordersCommandExecute(void* Sender);
    void NewStyleCommandExecute(void* Sender);
    void EditStyleCommandExecute(void* Sender);
    void DelStyleCommandExecute(void* Sender);
    void HelpCmdExecute(void* Sender);
    void SelColorExecute(void* Sender);
    void SetColorModeAutoExecute(void* Sender);
    void SetColorModeCustomExecute(void* Sender);
    void RenderAllExecute(void* Sender);

private:
    QAction* AddAction(const char* Name, const char* Category, const char* Caption,
                       const QKeySequence& ShortCut, const char* Hint, void (TDomain::*Handler)(void*),
                       std::vector<QKeySequence> Secondary = {});
    void Changed();
    // Asks before an unsaved drawing is discarded; false when the user refuses.
    bool MayDiscard();
    // A newly opened picture is drawn with the first style, which the main window shows.
    void SelectFirstStyle();
    // The steps of LoadImage. Reads the picture aside and checks its size: a picture that cannot
    // be read or is too small is said in a message box and the load aborts.
    std::unique_ptr<TBitmap32> ReadPicture(const std::string& FileName, TStream* Stream);
    // Offers a picture over ResampleAbovePixels the resample dialog; the picture as the user
    // leaves it or resamples it.
    std::unique_ptr<TBitmap32> OfferResample(std::unique_ptr<TBitmap32> Picture);
    // Makes the picture the new drawing over white paper of its size, in place of the old one,
    // and picks the Pointer tool.
    void InstallPicture(std::unique_ptr<TBitmap32> Picture);
    void FreeDocument();

    std::vector<TActionItem> FActionList;
    TFResample* FResample = nullptr;
    TFImgSizeDlg* FImgSizeDlg = nullptr;
    TFormAbout* FAbout = nullptr;
};
