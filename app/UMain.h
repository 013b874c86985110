// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: the photo and the drawing side by side and, below them, the strip of tool
// panels through which the user sets the parameters of the open drawing and picks styles and
// patterns. Most buttons and menu items run the command module's actions; the window itself
// keeps its gauges, value boxes, lists and previews in step with the drawing, answers the
// command module's events, takes dropped files, runs context help and compacts the undo history
// when the program is idle. The code follows the window: UMain.cpp makes and frees it,
// UMainLayout.cpp builds the widgets, UMainPanels.cpp keeps the panels and gauges in step with
// the drawing, UMainPresets.cpp fills the style and pattern lists, UMainEvents.cpp takes drops,
// keys, the close question and idle time.
#pragma once

#include "app/StyleGauges.h"
#include "platform/qt/Colors.h"
#include "platform/qt/ImageList.h"
#include "platform/raster/Color32.h"

#include <QMainWindow>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QSplitter;
class QToolButton;
class TGaugeBar;
class TImage32Widget;
class TImageListViewer;
class TImgView32Widget;
class TQuickValue;
class TQuorSlider;
class TShape;
class TTiledImage;
class TSimpleColorSelector;
class TBitmap32;
class TBitmap32List;
class TColorPanel;
class TDomain;
class TErrorReports;
class TFHlpWnd;

// The help keyword of a control: the page of the help folder that context help shows for it,
// or "page#section" for a section of a page.
void SetHelpKeyword(QWidget* Control, const std::string& Keyword);
// The keyword of the control or of the nearest of its parents that has one; empty when none.
std::string HelpKeywordOf(const QWidget* Control);

class TFMain : public QMainWindow, public TNamedStyleGauges {
    Q_OBJECT
public:
    // Needs the embedded pictures; installs its views and events in the command module, which
    // outlives the window.
    explicit TFMain(TDomain& Domain, QWidget* Parent = nullptr);
    ~TFMain() override;

    // ---- views ----------------------------------------------------------------------------------
    QWidget* panDual;
    TImgView32Widget* ImgSrc;
    QSplitter* glSplitter;
    TImgView32Widget* ImgDst;

    // ---- the strip of panels --------------------------------------------------------------------
    QWidget* panPanels;
    QWidget* panTools;
    QWidget* panPS;
    QWidget* panStyle;
    QWidget* PanSize;
    QWidget* panPattern;
    QWidget* panColors;
    TTiledImage* backgroundBitmap;

    QToolButton* btPtr;
    QToolButton* btAuto;
    QToolButton* btPat;
    QToolButton* btFree;
    QToolButton* btHelp;

    QLabel* lblPSCount;
    QLabel* lblPSExport;
    QPushButton* btPS;

    QComboBox* cbStyles;
    TImage32Widget* ImgPreviewStyle;
    QToolButton* btStyleNew;
    QToolButton* btStyleEdit;
    QToolButton* btStyleDel;
    QCheckBox* cbStopBorder;

    TQuickValue* qvDensity;
    TQuickValue* qvSize;
    TImage32Widget* ImgSize;

    TImageList PatternImageList{40, 40};
    TImageListViewer* PatternImageListViewer;
    QToolButton* btPatNew;
    QToolButton* btPatEdit;
    QToolButton* btPatDel;

    // The colour section, driven by the colour panel.
    QToolButton* btVar;
    QToolButton* btAutoColor;
    QToolButton* btFixed;
    QToolButton* btnReset;
    QWidget* panVar;
    QWidget* panFixed;
    QWidget* panAuto;
    QWidget* ColorPages;
    TSimpleColorSelector* ColorSelectorVar;
    TSimpleColorSelector* ColorSelectorFixed;
    std::array<TShape*, 10> VariantShapes{};
    TShape* shapeFixed = nullptr;
    TQuorSlider* slidHue;
    TQuorSlider* slidSat;
    TQuorSlider* slidBright;

    QLabel* StatusPanel;
    QProgressBar* progBar;

    // The handle picture of the curve shapes.
    std::unique_ptr<TBitmap32List> HandlePictures;

    bool ContextHelpMode = false;
    // The window that context help shows its pages in; borrowed, handed over by start-up.
    void SetHelpWindow(TFHlpWnd* HelpWindow) { FHlpWnd = HelpWindow; }

    // ---- panels, gauges and lists -----------------------------------------------------------------
    void FormCreate();
    void UpdateUI();
    // The tool buttons show what is selected, however it was chosen: the "?" button while
    // context help waits for its click, otherwise the selected tool's button, none without one.
    void ShowToolButtons();
    // A style gauge changed: the drawing (when open) takes the gauge's value, and the label shows
    // the drawing's value after the change (without a drawing, the gauge's).
    void StyleGaugeChange(TStyleParameter P);
    void gaPolyStepChange() { StyleGaugeChange(spPrecision); }
    void gaLengthChange() { StyleGaugeChange(spLength); }
    void gaGainChange() { StyleGaugeChange(spGain); }
    void gaWidthChange() { StyleGaugeChange(spWidth); }
    void gaBrdLimitChange() { StyleGaugeChange(spBorderLimit); }
    void gaDensityChange();
    void gaSizeChange();
    // The drawing's brush changed (wheel, Shift): the Size box and the preview show it.
    void BrushSizeChange();
    void cbStopBorderClick();
    void RunStopOnBordersCommand();
    void btPSClick();
    void cbStylesChange();
    // Makes style Index current: the manager's, the list's and the preview's, and (with a
    // drawing) its values in the style panel and the drawing. An index outside the list does
    // nothing.
    void SelectStyle(int Index);
    // Selects the manager's current style in the list and shows its preview (no selection when
    // the manager has none).
    void ShowCurrentStyle();
    void UpdateStyleFrame(int Index);
    void AddStyleFrameToImageList();
    void FillStyleList();
    void AddPatternFrameToImageList();
    void UpdatePatternFrame(int Index);
    void FillPatternList();
    void PatternImageListViewerMouseUpThumb(int Index);
    void ImgScroll(void* Sender);
    TColor32 GetSelectedColor() const;

    // ---- events of the command module -------------------------------------------------------------
    void StartContextHelp(void* Sender);
    // Ends context help without a page: the tools take the mouse again, the pointer is the arrow.
    void EndContextHelp();
    void ShowProgress(void* Sender, int Percent);
    void BeginProgress(void* Sender);
    void EndProgress(void* Sender);
    void OnUpdatePatternFrame(void* Sender, int Index);
    void OnUpdateStyleFrame(void* Sender, int Index);
    void OnDeletePatternFrame(void* Sender, int Index);
    void OnDeleteStyleFrame(void* Sender, int Index);

    // ---- application hooks --------------------------------------------------------------------
    // A dropped list of files: one is loaded (after the question over an unsaved drawing), more
    // are refused with a message.
    void DropFiles(const QStringList& FileNames);
    // Sees every event of the application before its receiver: forwards Shift to the source
    // view, ends context help at the next left press (which opens the help page of the control
    // under it and goes no further; a press on the menu bar goes on as usual), and runs the
    // command keys. True when the event was handled.
    bool ApplicationMessage(QObject* Receiver, QEvent* Event);
    // One call per idle period of the event loop: one compaction step of the undo history.
    void ApplicationIdle(bool& Done);
    // The close question; false keeps the window open.
    bool FormClose();

protected:
    void closeEvent(QCloseEvent* Event) override;
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;

private:
    void BuildMenu();
    void BuildViews();
    void BuildPanels();
    QWidget* BuildToolsPanel();
    QWidget* BuildPSPanel();
    QWidget* BuildStylePanel();
    QWidget* BuildSizePanel();
    QWidget* BuildPatternPanel();
    QWidget* BuildColorsPanel();
    void BuildStatusBar();

    TDomain& FDomain;
    TFHlpWnd* FHlpWnd = nullptr;
    // The controller of the colour section.
    std::unique_ptr<TColorPanel> FColorPanel;
    class TAppEventFilter;
    std::unique_ptr<TAppEventFilter> FEventFilter;
    // Shows the failures of commands and gestures while the window lives.
    std::unique_ptr<TErrorReports> FErrorReports;
    QScrollArea* FPanelsArea = nullptr;
    bool FScrolling = false;
    QButtonGroup* FToolGroup = nullptr;
};
