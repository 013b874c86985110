// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/UMain.h"

#include "app/QDomain.h"
#include "app/Shape.h"
#include "app/ShellServices.h"
#include "app/TiledImage.h"
#include "app/UMainWidgets.h"
#include "app/UdmGlobalConfig.h"
#include "controls/ControlPictures.h"
#include "controls/ImageListViewer.h"
#include "controls/QuickValue.h"
#include "controls/QuorSlider.h"
#include "controls/SimpleColorSelector.h"
#include "document/DualImage.h"
#include "platform/qt/GaugeBar.h"
#include "platform/qt/ImgView32Widget.h"
#include "platform/qt/InputEvents.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QToolButton>

#include <array>

namespace {
// The views' surround: the paper of the drawing stands out against it.
constexpr TColor32 ViewSurround = 0xFF8E8A9A;

// A button that runs an action: it follows the action's enabled state and hint.
void BindButton(QAbstractButton* Button, QAction* Action) {
    auto sync = [Button, Action] {
        Button->setEnabled(Action->isEnabled());
        Button->setToolTip(Action->toolTip());
        Button->setStatusTip(Action->statusTip());
    };
    sync();
    QObject::connect(Action, &QAction::changed, Button, sync);
    QObject::connect(Button, &QAbstractButton::clicked, Action, [Action] { Action->trigger(); });
}

QToolButton* ToolButton(const QImage& Icon, QWidget* Parent, int IconSize) {
    auto* button = new QToolButton(Parent);
    button->setIcon(QIcon(QPixmap::fromImage(Icon)));
    button->setIconSize(QSize(IconSize, IconSize));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

void MakeSmall(QLabel* Label) {
    QFont font = Label->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    Label->setFont(font);
}

QLabel* SmallLabel(const QString& Text, QWidget* Parent) {
    auto* label = new QLabel(Text, Parent);
    MakeSmall(label);
    return label;
}

// The New, Edit and Delete glyph buttons of a preset list, in a column, each running its action.
QVBoxLayout* PresetButtons(QWidget* Parent, const std::array<QToolButton**, 3>& Buttons,
                           const std::array<QAction*, 3>& Actions) {
    const char* glyphs[] = {"glyph-new.png", "glyph-edit.png", "glyph-delete.png"};
    auto* column = new QVBoxLayout;
    for (size_t i = 0; i < Buttons.size(); ++i) {
        QToolButton* button = ToolButton(LoadAppPicture(QString::fromUtf8(glyphs[i])), Parent, 16);
        BindButton(button, Actions[i]);
        column->addWidget(button);
        *Buttons[i] = button;
    }
    column->addStretch();
    return column;
}

} // namespace

void TFMain::BuildMenu() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(FDomain.OpenCommand);
    file->addAction(FDomain.SaveCommand);
    file->addAction(FDomain.CloseCommand);
    file->addAction(FDomain.PostScriptCommand);
    file->addAction(FDomain.RenderAll);
    file->addSeparator();
    file->addAction(FDomain.ExitCommand);
    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->addAction(FDomain.UndoCommand);
    edit->addAction(FDomain.RedoCommand);
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    view->addAction(FDomain.ViewBordersCommand);
    view->addAction(FDomain.ViewDirectionsCommand);
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(FDomain.HelpCommand);
    help->addAction(FDomain.ContextHelpCommand);
    help->addAction(FDomain.AboutCommand);
}

void TFMain::BuildViews() {
    panDual = new QWidget(centralWidget());
    panDual->setObjectName(QStringLiteral("panDual"));
    auto* layout = new QHBoxLayout(panDual);
    layout->setContentsMargins(0, 0, 0, 0);
    glSplitter = new QSplitter(Qt::Horizontal, panDual);
    glSplitter->setChildrenCollapsible(true);
    glSplitter->setHandleWidth(6);
    ImgSrc = new TImgView32Widget(glSplitter);
    ImgDst = new TImgView32Widget(glSplitter);
    for (TImgView32Widget* view : {ImgSrc, ImgDst}) {
        SetHelpKeyword(view, "img");
        view->View().Color = ViewSurround;
        view->View().SetScale(1.0f);
        view->View().OnScroll = [this](void* Sender) { ImgScroll(Sender); };
    }
    ImgSrc->setObjectName(QStringLiteral("ImgSrc"));
    ImgDst->setObjectName(QStringLiteral("ImgDst"));
    glSplitter->addWidget(ImgSrc);
    glSplitter->addWidget(ImgDst);
    glSplitter->setStretchFactor(0, 1);
    glSplitter->setStretchFactor(1, 1);
    layout->addWidget(glSplitter);
}

QWidget* TFMain::BuildToolsPanel() {
    auto* panel = new TToolPanel(QStringLiteral("Tools"), panPanels);
    panel->setObjectName(QStringLiteral("panTools"));
    SetHelpKeyword(panel, "tools");
    auto* grid = new QGridLayout(panel->Body());
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setSpacing(2);
    btPtr = ToolButton(LoadAppPicture(QStringLiteral("tool-pointer.png")), panel->Body(), 32);
    btAuto = ToolButton(LoadAppPicture(QStringLiteral("tool-auto.png")), panel->Body(), 32);
    btPat = ToolButton(LoadAppPicture(QStringLiteral("tool-pattern.png")), panel->Body(), 32);
    btFree = ToolButton(LoadAppPicture(QStringLiteral("tool-freehand.png")), panel->Body(), 32);
    btHelp = ToolButton(LoadAppPicture(QStringLiteral("tool-help.png")), panel->Body(), 32);
    const std::pair<QToolButton*, QAction*> bindings[] = {{btPtr, FDomain.PointerCommand},
                                                          {btAuto, FDomain.AutoDirCommand},
                                                          {btPat, FDomain.PatternCommand},
                                                          {btFree, FDomain.FreeHandCommand},
                                                          {btHelp, FDomain.ContextHelpCommand}};
    for (const auto& [button, action] : bindings) {
        BindButton(button, action);
        button->setCheckable(true);
        button->setObjectName(action->objectName().replace(QStringLiteral("Command"), QString()));
    }
    // One radio group: the button of the tool in use is down, "What is this?" among them.
    FToolGroup = new QButtonGroup(panel);
    for (QToolButton* b : {btPtr, btAuto, btPat, btFree, btHelp})
        FToolGroup->addButton(b);
    grid->addWidget(btPtr, 0, 0);
    grid->addWidget(btAuto, 0, 1);
    grid->addWidget(btPat, 1, 0);
    grid->addWidget(btFree, 1, 1);
    grid->addWidget(btHelp, 2, 0);
    grid->setRowStretch(3, 1);
    return panel;
}

QWidget* TFMain::BuildPSPanel() {
    auto* panel = new TToolPanel(QStringLiteral("Postscript info"), panPanels);
    panel->setObjectName(QStringLiteral("panPS"));
    SetHelpKeyword(panel, "ps");
    auto* layout = new QVBoxLayout(panel->Body());
    layout->setContentsMargins(8, 8, 8, 8);
    lblPSCount = new QLabel(QStringLiteral("0 Vectors"), panel->Body());
    QFont big = lblPSCount->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.3);
    lblPSCount->setFont(big);
    // A long session counts past what one line of the narrow panel shows: the word goes below.
    lblPSCount->setWordWrap(true);
    lblPSExport = new QLabel(QStringLiteral("Export to Postscript"), panel->Body());
    btPS = new QPushButton(QStringLiteral("PostScript..."), panel->Body());
    btPS->setFocusPolicy(Qt::NoFocus);
    connect(btPS, &QPushButton::clicked, this, [this] { GuardEvent([this] { btPSClick(); }); });
    layout->addWidget(lblPSCount);
    layout->addStretch();
    layout->addWidget(lblPSExport);
    layout->addWidget(btPS);
    panel->setFixedWidth(150);
    return panel;
}

QWidget* TFMain::BuildStylePanel() {
    auto* panel = new TToolPanel(QStringLiteral("Style"), panPanels);
    panel->setObjectName(QStringLiteral("panStyle"));
    SetHelpKeyword(panel, "general");
    QWidget* body = panel->Body();
    auto* layout = new QHBoxLayout(body);
    layout->setContentsMargins(4, 3, 4, 3);
    layout->setSpacing(6);

    auto* left = new QVBoxLayout;
    left->setSpacing(3);
    cbStyles = new QComboBox(body);
    cbStyles->setObjectName(QStringLiteral("cbStyles"));
    cbStyles->setMinimumWidth(140);
    cbStyles->setFocusPolicy(Qt::ClickFocus);
    connect(cbStyles, &QComboBox::activated, this, [this](int) { GuardEvent([this] { cbStylesChange(); }); });
    left->addWidget(cbStyles);
    auto* previewRow = new QHBoxLayout;
    ImgPreviewStyle = new TImage32Widget(body);
    ImgPreviewStyle->setFixedSize(84, 84);
    ImgPreviewStyle->Image().Color = 0xFFFFFFFF;
    previewRow->addWidget(ImgPreviewStyle);
    previewRow->addLayout(
        PresetButtons(body, {&btStyleNew, &btStyleEdit, &btStyleDel},
                      {FDomain.NewStyleCommand, FDomain.EditStyleCommand, FDomain.DelStyleCommand}));
    previewRow->addStretch();
    left->addLayout(previewRow);
    left->addStretch();
    layout->addLayout(left);

    auto* grid = new QGridLayout;
    grid->setVerticalSpacing(0);
    grid->setHorizontalSpacing(4);
    int row = 0;
    for (const TStyleParameter p : AllStyleParameters) {
        StyleGauges.Make(p, StyleParameters[p].MainStart, body);
        TGaugeBar* gauge = StyleGauges.Gauges[p];
        gauge->setMinimumWidth(110);
        gauge->setFocusPolicy(Qt::NoFocus);
        gauge->OnChange = [this, p](void*) { StyleGaugeChange(p); };
        QLabel* label = StyleGauges.Labels[p];
        MakeSmall(label);
        grid->addWidget(SmallLabel(QString::fromUtf8(StyleParameters[p].MainCaption), body), row, 0);
        grid->addWidget(gauge, row, 1);
        label->setMinimumWidth(30);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(label, row, 2);
        ++row;
    }
    cbStopBorder = new QCheckBox(QStringLiteral("Stop on borders"), body);
    cbStopBorder->setFocusPolicy(Qt::NoFocus);
    connect(cbStopBorder, &QCheckBox::clicked, this,
            [this] { GuardEvent([this] { RunStopOnBordersCommand(); }); });
    grid->addWidget(cbStopBorder, row, 0, 1, 3);
    layout->addLayout(grid);
    return panel;
}

QWidget* TFMain::BuildSizePanel() {
    auto* panel = new TToolPanel(QStringLiteral("Size & Density"), panPanels);
    panel->setObjectName(QStringLiteral("PanSize"));
    SetHelpKeyword(panel, "size");
    QWidget* body = panel->Body();
    auto* layout = new QGridLayout(body);
    layout->setContentsMargins(6, 6, 6, 4);
    layout->setVerticalSpacing(4);
    qvDensity = new TQuickValue(body);
    qvSize = new TQuickValue(body);
    const std::tuple<TQuickValue*, int, int, int, const char*> boxes[] = {
        {qvDensity, 5, 200, 10, " lines"}, {qvSize, MinBrushSize, MaxBrushSize, 10, " pixels"}};
    for (const auto& [box, min, max, position, suffix] : boxes) {
        box->SetMin(min);
        box->SetMax(max);
        box->SetPosition(position);
        box->SetSuffix(suffix);
        box->SetEnabled(true);
        box->setFixedSize(84, 16);
        box->TextBox = TQuickValue::TBox{1, 3, 64, 13};
        box->GlyphBox = TQuickValue::TBox{2, 73, 7, 11};
    }
    qvDensity->OnChangePos = [this](void*) { GuardEvent([this] { gaDensityChange(); }); };
    qvSize->OnChangePos = [this](void*) { GuardEvent([this] { gaSizeChange(); }); };
    layout->addWidget(new QLabel(QStringLiteral("Density"), body), 0, 0);
    layout->addWidget(qvDensity, 0, 1);
    layout->addWidget(new QLabel(QStringLiteral("Size"), body), 1, 0);
    layout->addWidget(qvSize, 1, 1);
    ImgSize = new TImage32Widget(body);
    ImgSize->setFixedSize(144, 73);
    layout->addWidget(ImgSize, 2, 0, 1, 2);
    layout->setRowStretch(3, 1);
    return panel;
}

QWidget* TFMain::BuildPatternPanel() {
    auto* panel = new TToolPanel(QStringLiteral("Patterns"), panPanels);
    panel->setObjectName(QStringLiteral("panPattern"));
    SetHelpKeyword(panel, "pattern");
    QWidget* body = panel->Body();
    auto* layout = new QHBoxLayout(body);
    layout->setContentsMargins(4, 4, 4, 4);
    PatternImageListViewer = new TImageListViewer(body);
    PatternImageListViewer->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    PatternImageListViewer->SetMargin(2);
    PatternImageListViewer->SetImageList(&PatternImageList);
    PatternImageListViewer->setFixedWidth(4 * 44 + 20);
    PatternImageListViewer->OnMouseUpThumb = [this](int Index, int, int) {
        GuardEvent([&] { PatternImageListViewerMouseUpThumb(Index); });
    };
    layout->addWidget(PatternImageListViewer);
    layout->addLayout(
        PresetButtons(body, {&btPatNew, &btPatEdit, &btPatDel},
                      {FDomain.NewPatternCommand, FDomain.EditPatternCommand, FDomain.DelPatternCommand}));
    return panel;
}

QWidget* TFMain::BuildColorsPanel() {
    auto* panel = new TToolPanel(QStringLiteral("Colors"), panPanels);
    panel->setObjectName(QStringLiteral("panColors"));
    // The colours have a section of the Tools page rather than a page of their own.
    SetHelpKeyword(panel, "tools#colors");
    QWidget* body = panel->Body();
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(3, 3, 3, 3);
    layout->setSpacing(3);
    auto* modes = new QHBoxLayout;
    modes->setSpacing(2);
    btVar = new QToolButton(body);
    btAutoColor = new QToolButton(body);
    btFixed = new QToolButton(body);
    btnReset = new QToolButton(body);
    const std::pair<QToolButton*, const char*> captions[] = {
        {btVar, "Variants"}, {btAutoColor, "Auto"}, {btFixed, "Fixed"}, {btnReset, "Reset"}};
    for (const auto& [button, caption] : captions) {
        button->setText(QString::fromUtf8(caption));
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoRaise(button == btnReset);
        modes->addWidget(button);
    }
    for (QToolButton* b : {btVar, btAutoColor, btFixed})
        b->setCheckable(true);
    modes->addStretch();
    layout->addLayout(modes);
    ColorPages = new QWidget(body);
    ColorPages->setFixedSize(212, 104);
    layout->addWidget(ColorPages);
    layout->addStretch();

    auto selector = [](QWidget* Parent, int Height) {
        auto* s = new TSimpleColorSelector(Parent);
        s->SetBitmapSlider(LoadControlPicture(QStringLiteral("COLORRULER")));
        s->SetBitmapBtn(LoadControlPicture(QStringLiteral("COLORTHUMB")));
        s->setFixedSize(150, Height);
        return s;
    };
    panVar = new QWidget(body);
    ColorSelectorVar = selector(panVar, 82);
    ColorSelectorVar->move(2, 0);
    panFixed = new QWidget(body);
    ColorSelectorFixed = selector(panFixed, 100);
    ColorSelectorFixed->move(2, 0);
    auto* current = new QLabel(QStringLiteral("Current Color"), panFixed);
    current->setWordWrap(true);
    current->setGeometry(158, 0, 52, 32);
    panAuto = new QWidget(body);
    slidHue = new TQuorSlider(panAuto);
    slidSat = new TQuorSlider(panAuto);
    slidBright = new TQuorSlider(panAuto);
    const std::tuple<TQuorSlider*, const char*, int> sliders[] = {
        {slidHue, "Hue", 100}, {slidSat, "Saturation", 100}, {slidBright, "Brightness", 99}};
    int y = 2;
    for (const auto& [slider, caption, maximum] : sliders) {
        auto* label = SmallLabel(QString::fromUtf8(caption), panAuto);
        label->setGeometry(4, y, 200, 14);
        slider->setGeometry(4, y + 15, 191, 11);
        slider->SetMaximum(maximum);
        slider->SetPosition(50);
        y += 33;
    }
    for (int i = 0; i < 10; ++i) {
        auto* swatch = new TShape(panVar);
        swatch->SetShape(stCircle);
        swatch->SetPenColor(clGray);
        swatch->setGeometry(3 + 15 * i, 86, 14, 14);
        VariantShapes[static_cast<size_t>(i)] = swatch;
    }
    shapeFixed = new TShape(panFixed);
    shapeFixed->SetShape(stRectangle);
    shapeFixed->SetPenColor(clGray);
    shapeFixed->setGeometry(160, 40, 40, 40);
    return panel;
}

void TFMain::BuildPanels() {
    panPanels = new QWidget(centralWidget());
    panPanels->setObjectName(QStringLiteral("panPanels"));
    panPanels->setFixedHeight(PanelsHeight);
    auto* strip = new QHBoxLayout(panPanels);
    strip->setContentsMargins(0, 0, 0, 0);
    strip->setSpacing(3);
    panTools = BuildToolsPanel();
    panPS = BuildPSPanel();
    panStyle = BuildStylePanel();
    PanSize = BuildSizePanel();
    panPattern = BuildPatternPanel();
    panColors = BuildColorsPanel();
    backgroundBitmap = new TTiledImage(panPanels);
    backgroundBitmap->setObjectName(QStringLiteral("backgroundBitmap"));
    for (QWidget* panel : {panTools, panPS, panStyle, PanSize, panPattern, panColors})
        strip->addWidget(panel);
    strip->addWidget(backgroundBitmap, 1);
}

void TFMain::BuildStatusBar() {
    StatusPanel = new QLabel(statusBar());
    StatusPanel->setMinimumWidth(50);
    statusBar()->addWidget(StatusPanel);
    progBar = new QProgressBar(statusBar());
    progBar->setRange(0, 100);
    progBar->setTextVisible(false);
    progBar->setStyleSheet(QStringLiteral(
        "QProgressBar { border: 1px solid #8a8a9a; background: #f4f6fa; }"
        "QProgressBar::chunk { background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 rgb(155,205,255), "
        "stop:1 rgb(121,188,255)); }"));
    progBar->hide();
}
