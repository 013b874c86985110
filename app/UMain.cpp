#include "app/UMain.h"

#include "app/ErrorReports.h"
#include "app/HlpWnd.h"
#include "app/QDomain.h"
#include "app/Shape.h"
#include "app/ShellServices.h"
#include "app/TiledImage.h"
#include "app/Tools.h"
#include "app/UColorPanel.h"
#include "app/UdmGlobalConfig.h"
#include "controls/ControlPictures.h"
#include "controls/ImageListViewer.h"
#include "controls/QuickValue.h"
#include "controls/QuorSlider.h"
#include "controls/SimpleColorSelector.h"
#include "document/DualImage.h"
#include "engine/QTypes.h"
#include "platform/qt/Bitmap32Image.h"
#include "platform/qt/GaugeBar.h"
#include "platform/qt/ImgView32Widget.h"
#include "platform/qt/InputEvents.h"
#include "platform/qt/ScreenCursors.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/Image32.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Random.h"
#include "platform/rtl/Round.h"
#include "presets/Patterns.h"
#include "presets/PolyBezier.h"
#include "presets/Styles.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

TFMain* FMain = nullptr;

namespace {
constexpr int PanelsHeight = 157;
constexpr int PanelHeaderHeight = 18;
const QColor PanelColor(222, 229, 239);
const QColor BackdropTop(128, 128, 128);
const QColor BackdropBottom(78, 73, 97);
// The views' surround: the paper of the drawing stands out against it.
constexpr TColor32 ViewSurround = 0xFF8E8A9A;

// The window's backdrop: a vertical gradient behind everything.
class TGradient : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QLinearGradient gradient(0, 0, 0, height());
        gradient.setColorAt(0, BackdropTop);
        gradient.setColorAt(1, BackdropBottom);
        painter.fillRect(rect(), gradient);
    }
};

// One panel of the strip: a caption bar over a face of the panel colour or of the background
// tile; the contents go into Body().
class TToolPanel : public QWidget {
public:
    TToolPanel(const QString& Caption, QWidget* Parent) : QWidget(Parent), FCaption(Caption) {
        FBody = new QWidget(this);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(1, PanelHeaderHeight + 1, 1, 1);
        layout->setSpacing(0);
        layout->addWidget(FBody);
    }
    QWidget* Body() const { return FBody; }
    void SetPicture(const QImage& Picture) {
        FPicture = Picture;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect face = rect().adjusted(0, PanelHeaderHeight, 0, 0);
        if (FPicture.isNull())
            painter.fillRect(face, PanelColor);
        else
            painter.drawTiledPixmap(face, QPixmap::fromImage(FPicture));
        QLinearGradient header(0, 0, 0, PanelHeaderHeight);
        header.setColorAt(0, QColor(112, 106, 136));
        header.setColorAt(1, BackdropBottom);
        painter.fillRect(QRect(0, 0, width(), PanelHeaderHeight), header);
        painter.setPen(Qt::white);
        QFont bold = font();
        bold.setBold(true);
        painter.setFont(bold);
        painter.drawText(QRect(6, 0, width() - 8, PanelHeaderHeight), Qt::AlignVCenter | Qt::AlignLeft,
                         FCaption);
        painter.setPen(QColor(60, 56, 76));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }

private:
    QString FCaption;
    QImage FPicture;
    QWidget* FBody;
};

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

QLabel* SmallLabel(const QString& Text, QWidget* Parent) {
    auto* label = new QLabel(Text, Parent);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    label->setFont(font);
    return label;
}

TGaugeBar* Gauge(int Min, int Max, int Position, QWidget* Parent) {
    auto* gauge = new TGaugeBar(Parent);
    gauge->SetMin(Min);
    gauge->SetMax(Max);
    gauge->SetPosition(Position);
    gauge->setMinimumWidth(110);
    gauge->setFocusPolicy(Qt::NoFocus);
    return gauge;
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Help keywords

void SetHelpKeyword(QWidget* Control, const std::string& Keyword) {
    Control->setProperty("helpKeyword", QString::fromStdString(Keyword));
}

std::string HelpKeywordOf(const QWidget* Control) {
    for (const QWidget* w = Control; w != nullptr; w = w->parentWidget()) {
        const QVariant keyword = w->property("helpKeyword");
        if (keyword.isValid() && !keyword.toString().isEmpty()) return keyword.toString().toStdString();
    }
    return {};
}

// ---------------------------------------------------------------------------------------------
// The application-wide hooks

class TFMain::TAppEventFilter : public QObject {
public:
    explicit TAppEventFilter(TFMain* Owner) : FOwner(Owner) {}
    bool eventFilter(QObject* Receiver, QEvent* Event) override {
        bool handled = false;
        GuardEvent([&] { handled = FOwner->ApplicationEvents1Message(Receiver, Event); });
        return handled;
    }

private:
    TFMain* FOwner;
};

bool TFMain::ApplicationEvents1Message(QObject* Receiver, QEvent* Event) {
    const QEvent::Type type = Event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::MouseButtonPress)
        return false;
    // Events reach the window first and then the control; the control's turn decides.
    if (!Receiver->isWidgetType()) return false;
    if (type == QEvent::KeyPress || type == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(Event);
        if (key->key() == Qt::Key_Shift) {
            // Shift reaches the source view whatever control has the focus: the tools read it
            // there.
            uint16_t vk = VK_SHIFT;
            const TShiftState shift = ShiftStateOf(key->modifiers(), QApplication::mouseButtons());
            if (type == QEvent::KeyPress)
                ImgSrc->View().KeyDown(vk, shift);
            else
                ImgSrc->View().KeyUp(vk, shift);
            return true;
        }
        if (type == QEvent::KeyPress && Domain != nullptr && QApplication::activePopupWidget() == nullptr &&
            QApplication::activeModalWidget() == nullptr)
            return Domain->IsShortCut(*key);
        return false;
    }
    if (ContextHelpMode && static_cast<QMouseEvent*>(Event)->button() == Qt::LeftButton) {
        ContextHelpMode = false;
        if (Domain != nullptr && Domain->ToolManager) Domain->ToolManager->SetEnabled(true);
        QApplication::restoreOverrideCursor();
        const std::string keyword = HelpKeywordOf(static_cast<QWidget*>(Receiver));
        // What has no help page (the menu bar, the status bar) shows none and takes the click as
        // it would otherwise: a menu opens.
        if (keyword.empty()) return false;
        if (FHlpWnd != nullptr) FHlpWnd->ShowHelp(keyword);
        return true;
    }
    return false;
}

void TFMain::ApplicationEvents1Idle(bool& Done) {
    Done = true;
    if (Domain != nullptr && Domain->Document) Domain->Document->CompressIdle();
}

// ---------------------------------------------------------------------------------------------
// Creation

TFMain::TFMain(QWidget* Parent) : QMainWindow(Parent) {
    FMain = this;
    setObjectName(QStringLiteral("FMain"));
    setWindowTitle(QStringLiteral("Quorvelle PS"));
    setWindowIcon(QIcon(QPixmap::fromImage(LoadAppPicture(QStringLiteral("quorvelle.png")))));
    resize(1200, 800);

    auto* backdrop = new TGradient(this);
    setCentralWidget(backdrop);
    auto* layout = new QVBoxLayout(backdrop);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    BuildViews();
    BuildPanels();
    layout->addWidget(panDual, 1);
    // The strip never makes the window wider than the screen: where its panels do not fit, it
    // scrolls sideways, and the window keeps its size whichever tool shows which panels.
    FPanelsArea = new QScrollArea(backdrop);
    FPanelsArea->setObjectName(QStringLiteral("panPanelsArea"));
    FPanelsArea->setFrameShape(QFrame::NoFrame);
    FPanelsArea->setFocusPolicy(Qt::NoFocus);
    FPanelsArea->setWidgetResizable(true);
    FPanelsArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FPanelsArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    FPanelsArea->viewport()->setAutoFillBackground(false);
    FPanelsArea->setWidget(panPanels);
    FPanelsArea->setFixedHeight(PanelsHeight);
    QScrollBar* bar = FPanelsArea->horizontalScrollBar();
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int Maximum) {
        FPanelsArea->setFixedHeight(PanelsHeight + (Maximum > 0 ? bar->sizeHint().height() : 0));
    });
    layout->addWidget(FPanelsArea);
    BuildMenu();
    BuildStatusBar();
    FormCreate();
}

TFMain::~TFMain() {
    FErrorReports.reset();
    if (FEventFilter) qApp->removeEventFilter(FEventFilter.get());
    if (ContextHelpMode) QApplication::restoreOverrideCursor();
    // The drawing works on this window's views, so it goes before them.
    if (Domain != nullptr) {
        Domain->Document.reset();
        Domain->ToolManager.reset();
        Domain->SrcView = nullptr;
        Domain->DstView = nullptr;
        for (TNotifyEvent* e :
             {&Domain->OnChange, &Domain->OnContextHelp, &Domain->OnBeginProgress, &Domain->OnEndProgress})
            *e = nullptr;
        Domain->OnProgress = nullptr;
        for (TIndexEvent* e : {&Domain->OnUpdatePattern, &Domain->OnUpdateStyle, &Domain->OnDeletePattern,
                               &Domain->OnDeleteStyle})
            *e = nullptr;
    }
    SetPolyBezierHandleBitmap(nullptr);
    delete ColorPanel;
    ColorPanel = nullptr;
    if (FMain == this) FMain = nullptr;
}

void TFMain::BuildMenu() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(Domain->OpenCommand);
    file->addAction(Domain->SaveCommand);
    file->addAction(Domain->CloseCommand);
    file->addAction(Domain->PostScriptCommand);
    file->addAction(Domain->RenderAll);
    file->addSeparator();
    file->addAction(Domain->ExitCommand);
    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->addAction(Domain->UndoCommand);
    edit->addAction(Domain->RedoCommand);
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    view->addAction(Domain->ViewBordersCommand);
    view->addAction(Domain->ViewDirectionsCommand);
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(Domain->HelpCommand);
    help->addAction(Domain->ContextHelpCommand);
    help->addAction(Domain->AboutCommand);
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
    const std::pair<QToolButton*, QAction*> bindings[] = {{btPtr, Domain->PointerCommand},
                                                          {btAuto, Domain->AutoDirCommand},
                                                          {btPat, Domain->PatternCommand},
                                                          {btFree, Domain->FreeHandCommand},
                                                          {btHelp, Domain->ContextHelpCommand}};
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
    Label11 = new QLabel(QStringLiteral("Export to Postscript"), panel->Body());
    btPS = new QPushButton(QStringLiteral("PostScript..."), panel->Body());
    btPS->setFocusPolicy(Qt::NoFocus);
    connect(btPS, &QPushButton::clicked, this, [this] { GuardEvent([this] { btPSClick(); }); });
    layout->addWidget(lblPSCount);
    layout->addStretch();
    layout->addWidget(Label11);
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
    auto* buttons = new QVBoxLayout;
    btStyleNew = ToolButton(LoadAppPicture(QStringLiteral("glyph-new.png")), body, 16);
    btStyleEdit = ToolButton(LoadAppPicture(QStringLiteral("glyph-edit.png")), body, 16);
    btStyleDel = ToolButton(LoadAppPicture(QStringLiteral("glyph-delete.png")), body, 16);
    BindButton(btStyleNew, Domain->NewStyleCommand);
    BindButton(btStyleEdit, Domain->EditStyleCommand);
    BindButton(btStyleDel, Domain->DelStyleCommand);
    for (QToolButton* b : {btStyleNew, btStyleEdit, btStyleDel})
        buttons->addWidget(b);
    buttons->addStretch();
    previewRow->addLayout(buttons);
    previewRow->addStretch();
    left->addLayout(previewRow);
    left->addStretch();
    layout->addLayout(left);

    auto* grid = new QGridLayout;
    grid->setVerticalSpacing(0);
    grid->setHorizontalSpacing(4);
    gaPolyStep = Gauge(6, 100, 25, body);
    gaLength = Gauge(1, 170, 80, body);
    gaGain = Gauge(100, 1200, 200, body);
    gaWidth = Gauge(10, 100, 10, body);
    gaBrdLimit = Gauge(1, 100, 99, body);
    lblPolyStep = SmallLabel(QString(), body);
    lblLength = SmallLabel(QString(), body);
    lblGain = SmallLabel(QString(), body);
    lblWidth = SmallLabel(QString(), body);
    lblBorder = SmallLabel(QString(), body);
    const std::tuple<const char*, TGaugeBar*, QLabel*, void (TFMain::*)()> rows[] = {
        {"Precision", gaPolyStep, lblPolyStep, &TFMain::gaPolyStepChange},
        {"Length", gaLength, lblLength, &TFMain::gaLengthChange},
        {"Gain", gaGain, lblGain, &TFMain::gaGainChange},
        {"Width", gaWidth, lblWidth, &TFMain::gaWidthChange},
        {"Borders", gaBrdLimit, lblBorder, &TFMain::gaBrdLimitChange}};
    int row = 0;
    for (const auto& [caption, gauge, label, handler] : rows) {
        grid->addWidget(SmallLabel(QString::fromUtf8(caption), body), row, 0);
        grid->addWidget(gauge, row, 1);
        label->setMinimumWidth(30);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(label, row, 2);
        void (TFMain::*change)() = handler;
        gauge->OnChange = [this, change](void*) { (this->*change)(); };
        ++row;
    }
    cbStopBorder = new QCheckBox(QStringLiteral("Stop on borders"), body);
    cbStopBorder->setFocusPolicy(Qt::NoFocus);
    connect(cbStopBorder, &QCheckBox::clicked, this,
            [this] { GuardEvent([this] { JvXPCheckbox1Click(); }); });
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
    const std::tuple<TQuickValue*, int, int, int, const char*> boxes[] = {{qvDensity, 5, 200, 10, " lines"},
                                                                          {qvSize, 10, 150, 10, " pixels"}};
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
    auto* buttons = new QVBoxLayout;
    btPatNew = ToolButton(LoadAppPicture(QStringLiteral("glyph-new.png")), body, 16);
    btPatEdit = ToolButton(LoadAppPicture(QStringLiteral("glyph-edit.png")), body, 16);
    btPatDel = ToolButton(LoadAppPicture(QStringLiteral("glyph-delete.png")), body, 16);
    BindButton(btPatNew, Domain->NewPatternCommand);
    BindButton(btPatEdit, Domain->EditPatternCommand);
    BindButton(btPatDel, Domain->DelPatternCommand);
    for (QToolButton* b : {btPatNew, btPatEdit, btPatDel})
        buttons->addWidget(b);
    buttons->addStretch();
    layout->addLayout(buttons);
    return panel;
}

QWidget* TFMain::BuildColorsPanel() {
    auto* panel = new TToolPanel(QStringLiteral("Colors"), panPanels);
    panel->setObjectName(QStringLiteral("panColors"));
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

void TFMain::FormCreate() {
    // 1. The background picture behind the panels.
    const QImage tile = BackgroundTile();
    backgroundBitmap->SetPicture(tile);
    for (QWidget* panel : {panPS, panPattern, PanSize, panStyle})
        static_cast<TToolPanel*>(panel)->SetPicture(tile);
    // 2. Dropped files.
    setAcceptDrops(true);
    // 3. The large step of every gauge.
    for (TGaugeBar* gauge : {gaPolyStep, gaLength, gaGain, gaWidth, gaBrdLimit})
        gauge->SetLargeChange(std::max((gauge->Max() - gauge->Min()) / 5, 1));
    // 4. The colour panel over the colour controls.
    auto* s = VariantShapes.data();
    ColorPanel = new TColorPanel(s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7], s[8], s[9], shapeFixed,
                                 ColorSelectorVar, ColorSelectorFixed, btnReset, slidHue, slidSat, slidBright,
                                 btVar, btAutoColor, btFixed, panVar, panAuto, panFixed, ColorPages);
    ColorPanel->GetDocument = [] { return Domain != nullptr ? Domain->Document.get() : nullptr; };
    PatternImageListViewer->SetColor(RGBToColor(222, 229, 239));
    // 5. The preset buttons show glyphs only.
    for (QToolButton* b : {btPatNew, btPatDel, btPatEdit, btStyleNew, btStyleDel, btStyleEdit})
        b->setText(QString());
    // 6.
    ContextHelpMode = false;
    // 7. The two views share the room; the odd pixel goes to the photo.
    // (Before the window is laid out the room is unknown; the splitter then halves it itself.)
    const int w = panDual->width() - glSplitter->handleWidth();
    if (w > 0) glSplitter->setSizes({w / 2 + w % 2, w / 2});
    // 8.
    FillPatternList();
    FillStyleList();
    // 9.
    for (QWidget* panel : {panPS, panStyle, PanSize, panPattern})
        panel->hide();
    // 10. The command module's views and events.
    Domain->SrcView = &ImgSrc->View();
    Domain->DstView = &ImgDst->View();
    Domain->SetOnChange([this](void*) { UpdateUI(); });
    Domain->SetOnContextHelp([this](void* Sender) { StartContextHelp(Sender); });
    Domain->SetOnProgress([this](void* Sender, int Percent) { ShowProgress(Sender, Percent); });
    Domain->SetOnUpdatePattern([this](void* Sender, int Index) { OnUpdatePatternFrame(Sender, Index); });
    Domain->SetOnUpdateStyle([this](void* Sender, int Index) { OnUpdateStyleFrame(Sender, Index); });
    Domain->SetOnDeletePattern([this](void* Sender, int Index) { OnDeletePatternFrame(Sender, Index); });
    Domain->SetOnDeleteStyle([this](void* Sender, int Index) { OnDeleteStyleFrame(Sender, Index); });
    Domain->SetOnBeginProgress([this](void* Sender) { BeginProgress(Sender); });
    Domain->SetOnEndProgress([this](void* Sender) { EndProgress(Sender); });
    // 11. The eyedropper of the colour fields is screen cursor 1; its tip is the hot spot.
    SetScreenCursor(1, QCursor(QPixmap::fromImage(LoadAppPicture(QStringLiteral("dropeye.png"))), 1, 30));
    // The handle picture of the curve shapes.
    Bitmap32List1 = std::make_unique<TBitmap32List>();
    AssignQImage(Bitmap32List1->Add(), LoadAppPicture(QStringLiteral("handle.png")));
    Bitmap32List1->Bitmap(0).DrawMode = dmBlend;
    SetPolyBezierHandleBitmap(&Bitmap32List1->Bitmap(0));
    // The application's message, error and idle hooks. Idle work is nothing the user asked for:
    // its failures go to stderr only.
    FEventFilter = std::make_unique<TAppEventFilter>(this);
    qApp->installEventFilter(FEventFilter.get());
    FErrorReports = std::make_unique<TErrorReports>();
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this, [this] {
        bool done = true;
        GuardQuietly([&] { ApplicationEvents1Idle(done); });
    });
    // 12.
    cbStylesChange();
    UpdateUI();
}

// ---------------------------------------------------------------------------------------------
// The panels and gauges

void TFMain::SetGaugeLabel(QLabel* Label, const std::string& Text) {
    Label->setText(QString::fromStdString(Text));
}

int32_t TFMain::GaugeToLength(int32_t Position) {
    const float e = static_cast<float>(std::exp(std::exp(Position / 200.0)));
    const float t = static_cast<float>(2.0 * e * e - 10.0);
    return Round(t);
}

int32_t TFMain::LengthToGauge(int32_t Length) {
    const long double v = 200.0L * std::log(std::log(std::sqrt((Length + 10) / 2.0L)));
    return Round(static_cast<double>(v));
}

void TFMain::UpdateUI() {
    progBar->hide();
    if (ColorPanel != nullptr) ColorPanel->UpdateFromImage();
    TDualImage* document = Domain->Document.get();
    if (document != nullptr) {
        panDual->show();
        panPanels->show();
        FPanelsArea->show();
        const int tool = Domain->ToolManager ? Domain->ToolManager->Tool : 0;
        struct TPanels {
            QToolButton* Button;
            bool Style, PS, Size, Pattern;
        };
        const TPanels* panels = nullptr;
        static const TPanels none{nullptr, false, false, false, false};
        const TPanels table[] = {{btPtr, true, true, false, false},
                                 {btFree, true, false, true, false},
                                 {btPat, true, false, true, true},
                                 {btAuto, true, false, true, false}};
        switch (tool) {
        case 1:
            panels = &table[0];
            break;
        case 3:
            panels = &table[1];
            break;
        case 4:
            panels = &table[2];
            break;
        case 5:
            panels = &table[3];
            break;
        default:
            panels = &none;
            break;
        }
        // No tool leaves no button down; an exclusive group would keep one.
        FToolGroup->setExclusive(false);
        for (QToolButton* b : {btPtr, btAuto, btPat, btFree, btHelp})
            b->setChecked(b == panels->Button);
        FToolGroup->setExclusive(true);
        if (panels->Button != nullptr) {
            panStyle->setVisible(panels->Style);
            panPS->setVisible(panels->PS);
            PanSize->setVisible(panels->Size);
            panPattern->setVisible(panels->Pattern);
        }
        btPS->setEnabled(Domain->PostScriptCommand->isEnabled());
        lblPSCount->setText(QString::fromStdString(std::to_string(document->StrokeCount()) + " Vectors"));
        gaPolyStep->SetPosition(gaPolyStep->Max() - document->PolyStep());
        gaLength->SetPosition(LengthToGauge(document->Length()));
        gaGain->SetPosition(Round(document->Gain() * 100.0));
        gaWidth->SetPosition(Round(document->Width() * 10.0));
        qvSize->SetPosition(document->Size());
        gaBrdLimit->SetPosition(document->GetBrdLimit());
        StatusPanel->setText(QString::fromStdString(document->UndoMemoryText()));
        if (ColorPanel != nullptr) {
            switch (document->ColorMode()) {
            case 0:
                ColorPanel->FixedClick(btFixed);
                break;
            case 1:
                ColorPanel->AutoClick(btAutoColor);
                break;
            case 2:
                ColorPanel->VariantsClick(btVar);
                break;
            default:
                break;
            }
            ColorPanel->SetFixedColor(static_cast<TColor>(WinColor(document->Color())));
        }
    } else {
        panDual->hide();
        panPanels->hide();
        FPanelsArea->hide();
        lblPSCount->setText(QStringLiteral("0 Vectors"));
        // Without a drawing there is no history whose memory the bar could show.
        StatusPanel->clear();
        gaPolyStep->SetPosition(4);
        gaLength->SetPosition(100);
        gaGain->SetPosition(200);
        gaWidth->SetPosition(10);
        qvSize->SetPosition(50);
        gaBrdLimit->SetPosition(127);
    }
    // The drawing ends with exactly the values the controls show.
    gaWidthChange();
    gaPolyStepChange();
    gaLengthChange();
    gaGainChange();
    cbStopBorderClick();
    gaSizeChange();
    gaDensityChange();
    gaBrdLimitChange();
}

void TFMain::gaPolyStepChange() {
    if (TDualImage* document = Domain->Document.get())
        document->SetPolyStep(gaPolyStep->Max() - gaPolyStep->Position());
    SetGaugeLabel(lblPolyStep, std::to_string(gaPolyStep->Position()));
}

void TFMain::gaLengthChange() {
    TDualImage* document = Domain->Document.get();
    if (document != nullptr) document->SetLength(GaugeToLength(gaLength->Position()));
    const int length = document != nullptr ? document->Length() : GaugeToLength(gaLength->Position());
    SetGaugeLabel(lblLength, std::to_string(length));
}

void TFMain::gaGainChange() {
    TDualImage* document = Domain->Document.get();
    if (document != nullptr) document->SetGain(static_cast<float>(gaGain->Position() / 100.0));
    const double gain = document != nullptr ? document->Gain() : gaGain->Position() / 100.0;
    SetGaugeLabel(lblGain, FloatToStrGeneral(gain, 5, 0));
}

void TFMain::gaWidthChange() {
    TDualImage* document = Domain->Document.get();
    if (document != nullptr) document->SetWidth(static_cast<float>(gaWidth->Position() / 10.0));
    const double width = document != nullptr ? document->Width() : gaWidth->Position() / 10.0;
    SetGaugeLabel(lblWidth, FloatToStrGeneral(width, 5, 0));
}

void TFMain::gaBrdLimitChange() {
    TDualImage* document = Domain->Document.get();
    if (document != nullptr) document->SetBrdLimit(static_cast<uint8_t>(gaBrdLimit->Position()));
    const int limit = document != nullptr ? document->GetBrdLimit() : gaBrdLimit->Position();
    SetGaugeLabel(lblBorder, std::to_string(limit));
}

void TFMain::gaDensityChange() {
    if (TDualImage* document = Domain->Document.get()) document->SetDensity(qvDensity->Position());
    gaSizeChange();
}

void TFMain::gaSizeChange() {
    TBitmap32& bitmap = ImgSize->Image().Bitmap;
    const int w = ImgSize->width();
    const int h = ImgSize->height();
    bitmap.SetSize(w, h);
    bitmap.Clear(0xFFDEE5EF);
    const int s = qvSize->Position();
    const double ratio = std::min(w / (2.0 * s), h / (2.0 * s));
    const int r = ratio < 1 ? std::min(w, h) / 2 - 5 : s;
    DrawDashedCircle(bitmap, TPoint{w / 2, h / 2}, 0xFF000000, static_cast<float>(r), 0xFF000000);
    for (int k = 0; k <= qvDensity->Position(); ++k) {
        const double a = Random(6283) / 1000.0;
        const int d = Random(r);
        const double x = d * std::cos(a) + w / 2.0;
        const double y = d * std::sin(a) + h / 2.0;
        const int px = Round(x), py = Round(y);
        bitmap.SetPixelS(px, py, 0xFF3C3C3C);
        for (const TPoint n :
             {TPoint{px - 1, py}, TPoint{px + 1, py}, TPoint{px, py - 1}, TPoint{px, py + 1}})
            bitmap.SetPixelS(n.X, n.Y, 0xFF646464);
    }
    if (ratio < 1) {
        QImage canvas = Bitmap32AsQImage(bitmap);
        QPainter painter(&canvas);
        QFont font = painter.font();
        font.setPixelSize(11);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QPoint(1, 11), QString::fromStdString(FloatToStrGeneral(ratio * 100, 3, 0) + "%"));
    }
    ImgSize->Image().Changed();
    if (TDualImage* document = Domain->Document.get()) document->SetSize(s);
}

void TFMain::cbStopBorderClick() {
    if (TDualImage* document = Domain->Document.get()) document->StopOnBorders = cbStopBorder->isChecked();
}

void TFMain::JvXPCheckbox1Click() {
    Domain->StopOnBordersCommand->trigger();
}

void TFMain::btPSClick() {
    Domain->PostScriptCommand->trigger();
}

// ---------------------------------------------------------------------------------------------
// Styles and patterns

void TFMain::cbStylesChange() {
    SelectStyle(cbStyles->currentIndex());
}

void TFMain::SelectStyle(int Index) {
    if (Index < 0 || Index >= Domain->StyleManager->Count()) return;
    // The list, the preview, the current style of the manager and the drawing agree.
    Domain->StyleManager->SetIndex(Index);
    UpdateStyleFrame(Index);
    TDualImage* document = Domain->Document.get();
    if (document == nullptr) return;
    TQStyle& style = Domain->StyleManager->Current();
    document->SetPolyStep(style.PolyStep);
    document->SetLength(style.Length);
    document->SetWidth(style.Width);
    document->SetGain(style.Gain);
    document->SetBrdLimit(style.BorderLimit);
    // The panel shows all of the style, "Stop on borders" too; the refresh writes the panel back
    // into the drawing.
    cbStopBorder->setChecked(style.StopOnBorders);
    UpdateUI();
}

void TFMain::ShowCurrentStyle() {
    const int index = Domain->StyleManager->ItemIndex;
    if (index >= 0 && index < cbStyles->count())
        UpdateStyleFrame(index);
    else
        cbStyles->setCurrentIndex(-1);
}

void TFMain::UpdateStyleFrame(int Index) {
    TQStyle& style = Domain->StyleManager->GetQStyle(Index);
    cbStyles->setItemText(Index, QString::fromStdString(style.Name));
    cbStyles->setCurrentIndex(Index);
    TBitmap32& bitmap = ImgPreviewStyle->Image().Bitmap;
    bitmap.SetSize(ImgPreviewStyle->width(), ImgPreviewStyle->height());
    TBitmap32& preview = style.GetPreview();
    preview.StretchFilter = sfMitchell;
    bitmap.StretchFilter = sfMitchell;
    bitmap.DrawStretched(bitmap.BoundsRect(), preview.BoundsRect(), preview);
    ImgPreviewStyle->Image().Changed();
}

void TFMain::AddStyleFrameToImageList() {
    cbStyles->addItem(QString());
}

void TFMain::FillStyleList() {
    for (int i = 0; i < Domain->StyleManager->Count(); ++i) {
        AddStyleFrameToImageList();
        UpdateStyleFrame(i);
    }
    // Filling selects each entry in turn; the list ends on the manager's current style.
    ShowCurrentStyle();
}

void TFMain::AddPatternFrameToImageList() {
    QImage blank(PatternImageList.Width(), PatternImageList.Height(), QImage::Format_ARGB32);
    blank.fill(Qt::white);
    PatternImageList.Add(blank);
}

void TFMain::UpdatePatternFrame(int Index) {
    TPattern& pattern = Domain->PatternManager->GetPattern(Index);
    const int w = PatternImageList.Width(), h = PatternImageList.Height();
    TBitmap32 work(2 * w, 2 * h);
    pattern.SetTarget(&work);
    work.Clear(0xFFFFFFFF);
    std::unique_ptr<TBitmap32> thumbnail;
    try {
        thumbnail = pattern.Thumbnail(w, h);
    } catch (...) {
        pattern.SetTarget(nullptr);
        throw;
    }
    // The working bitmap goes now; the pattern must not keep it as its target.
    pattern.SetTarget(nullptr);
    QImage picture(w, h, QImage::Format_ARGB32);
    picture.fill(Qt::white);
    {
        QPainter painter(&picture);
        painter.drawImage(0, 0, Bitmap32AsQImage(std::as_const(*thumbnail)));
    }
    PatternImageList.Replace(Index, picture);
}

void TFMain::FillPatternList() {
    for (int i = 0; i < Domain->PatternManager->Count(); ++i) {
        AddPatternFrameToImageList();
        UpdatePatternFrame(i);
    }
}

void TFMain::PatternImageListViewerMouseUpThumb(int Index) {
    if (!Domain->Document) return;
    Domain->PatternManager->SetIndex(Index);
    Domain->PatternCommand->trigger();
}

void TFMain::ImgScroll(void* Sender) {
    // The other view follows; its own scroll event must not send the first one back.
    if (FScrolling) return;
    TImgView32* view = static_cast<TImgView32*>(Sender);
    TImgView32* other = view == &ImgSrc->View() ? &ImgDst->View() : &ImgSrc->View();
    const TPoint topLeft = view->ControlToBitmap(TPoint{0, 0});
    const TPoint bottomRight = view->ControlToBitmap(TPoint{view->ViewportWidth(), view->ViewportHeight()});
    const int cx = Round(((topLeft.X + bottomRight.X) / 2) * 1.0);
    const int cy = Round(((topLeft.Y + bottomRight.Y) / 2) * 1.0);
    FScrolling = true;
    GuardEvent([&] { other->ScrollToCenter(cx, cy); });
    FScrolling = false;
}

TColor32 TFMain::GetSelectedColor() const {
    if (ColorPanel != nullptr) return ColorToColor32(ColorPanel->SelectedColor);
    return 0xFF000000;
}

// ---------------------------------------------------------------------------------------------
// Events of the command module

void TFMain::StartContextHelp(void*) {
    if (Domain->ToolManager) Domain->ToolManager->SetEnabled(false);
    if (ContextHelpMode)
        QApplication::changeOverrideCursor(QCursor(Qt::WhatsThisCursor));
    else
        QApplication::setOverrideCursor(QCursor(Qt::WhatsThisCursor));
    ContextHelpMode = true;
    QApplication::processEvents();
}

void TFMain::ShowProgress(void*, int Percent) {
    progBar->setValue(Percent);
    progBar->repaint();
}

void TFMain::BeginProgress(void*) {
    progBar->setGeometry(statusBar()->rect());
    progBar->show();
    progBar->raise();
}

void TFMain::EndProgress(void*) {
    progBar->hide();
}

void TFMain::OnUpdatePatternFrame(void*, int Index) {
    if (PatternImageList.Count() < Domain->PatternManager->Count()) AddPatternFrameToImageList();
    UpdatePatternFrame(Index);
    // A change of the list frames the first thumbnail; the current pattern is the one meant.
    PatternImageListViewer->SetSelected(Domain->PatternManager->ItemIndex);
}

void TFMain::OnUpdateStyleFrame(void*, int Index) {
    if (cbStyles->count() < Domain->StyleManager->Count()) AddStyleFrameToImageList();
    UpdateStyleFrame(Index);
    cbStylesChange();
}

void TFMain::OnDeletePatternFrame(void*, int Index) {
    PatternImageList.Delete(Index);
    // The manager then makes the first pattern current, which the list frames.
}

void TFMain::OnDeleteStyleFrame(void*, int Index) {
    cbStyles->removeItem(Index);
    // The style the manager made current in its place is shown and drawn with.
    ShowCurrentStyle();
    cbStylesChange();
}

// ---------------------------------------------------------------------------------------------
// Dropped files and closing

void TFMain::dragEnterEvent(QDragEnterEvent* Event) {
    if (Event->mimeData()->hasUrls()) Event->acceptProposedAction();
}

void TFMain::dropEvent(QDropEvent* Event) {
    QStringList names;
    for (const QUrl& url : Event->mimeData()->urls())
        names.append(url.isLocalFile() ? url.toLocalFile() : url.toString());
    Event->acceptProposedAction();
    // The drop ends first: the question and the load must not hold the program the file came
    // from.
    QMetaObject::invokeMethod(
        this, [this, names] { GuardEvent([&] { DropFiles(names); }); }, Qt::QueuedConnection);
}

void TFMain::DropFiles(const QStringList& FileNames) {
    if (FileNames.size() >= 2) {
        MessageBox(QMessageBox::Information, "Information", "You can drop only one file");
        return;
    }
    if (FileNames.isEmpty()) return;
    // The loader and the question report their own outcome; the drop is over either way.
    GuardEvent([&] { Domain->LoadDroppedImage(FileNames.first().toStdString()); });
}

bool TFMain::FormClose() {
    if (!Domain->Document || !Domain->Document->Modified) return true;
    return MessageBox(QMessageBox::Question, "Confirm", "Document not saved. Discard anyway?",
                      QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TFMain::closeEvent(QCloseEvent* Event) {
    bool close = false;
    GuardEvent([&] { close = FormClose(); });
    if (!close) {
        Event->ignore();
        return;
    }
    Event->accept();
    // The main window's closing ends the program, whatever other windows are open.
    TerminateApplication();
}
