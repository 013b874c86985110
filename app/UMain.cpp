// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/UMain.h"

#include "app/ErrorReports.h"
#include "app/QDomain.h"
#include "app/Shape.h"
#include "app/ShellServices.h"
#include "app/TiledImage.h"
#include "app/Tools.h"
#include "app/UColorPanel.h"
#include "app/UMainWidgets.h"
#include "app/UdmGlobalConfig.h"
#include "controls/ImageListViewer.h"
#include "document/DualImage.h"
#include "platform/qt/Bitmap32Image.h"
#include "platform/qt/ImgView32Widget.h"
#include "platform/qt/InputEvents.h"
#include "platform/qt/ScreenCursors.h"
#include "platform/raster/Bitmap32.h"
#include "presets/PolyBezier.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QToolButton>

namespace {
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
        GuardEvent([&] { handled = FOwner->ApplicationMessage(Receiver, Event); });
        return handled;
    }

private:
    TFMain* FOwner;
};

// ---------------------------------------------------------------------------------------------
// Creation

TFMain::TFMain(TDomain& Domain, QWidget* Parent) : QMainWindow(Parent), FDomain(Domain) {
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
    FDomain.Document.reset();
    FDomain.ToolManager.reset();
    FDomain.SrcView = nullptr;
    FDomain.DstView = nullptr;
    for (TNotifyEvent* e : {&FDomain.OnChange, &FDomain.OnContextHelp, &FDomain.OnBeginProgress,
                            &FDomain.OnEndProgress, &FDomain.OnNewDocument})
        *e = nullptr;
    FDomain.OnProgress = nullptr;
    for (TIndexEvent* e : {&FDomain.OnUpdatePattern, &FDomain.OnUpdateStyle, &FDomain.OnDeletePattern,
                           &FDomain.OnDeleteStyle, &FDomain.OnSelectStyle})
        *e = nullptr;
    FDomain.GetSelectedColor = nullptr;
    SetPolyBezierHandleBitmap(nullptr);
    FColorPanel.reset();
}

void TFMain::FormCreate() {
    // The background picture behind the panels.
    const QImage tile = BackgroundTile();
    backgroundBitmap->SetPicture(tile);
    for (QWidget* panel : {panPS, panPattern, PanSize, panStyle})
        static_cast<TToolPanel*>(panel)->SetPicture(tile);
    // The window takes dropped files.
    setAcceptDrops(true);
    // The colour panel over the colour controls.
    auto* s = VariantShapes.data();
    FColorPanel = std::make_unique<TColorPanel>(s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7], s[8], s[9],
                                                shapeFixed, ColorSelectorVar, ColorSelectorFixed, btnReset,
                                                slidHue, slidSat, slidBright, btVar, btAutoColor, btFixed,
                                                panVar, panAuto, panFixed, ColorPages);
    FColorPanel->GetDocument = [this] { return FDomain.Document.get(); };
    PatternImageListViewer->SetColor(static_cast<TColor>(WinColor(PanelColor)));
    // The preset buttons show glyphs only.
    for (QToolButton* b : {btPatNew, btPatDel, btPatEdit, btStyleNew, btStyleDel, btStyleEdit})
        b->setText(QString());
    // Context help is off: the next click is an ordinary one.
    ContextHelpMode = false;
    // The two views share the room; the odd pixel goes to the photo.
    // (Before the window is laid out the room is unknown; the splitter then halves it itself.)
    const int w = panDual->width() - glSplitter->handleWidth();
    if (w > 0) glSplitter->setSizes({w / 2 + w % 2, w / 2});
    // The preset lists: a thumbnail for each pattern, an entry for each style.
    FillPatternList();
    FillStyleList();
    // Only the tools panel shows until a tool is picked; each tool then shows its panels.
    for (QWidget* panel : {panPS, panStyle, PanSize, panPattern})
        panel->hide();
    // The command module's views and events.
    FDomain.SrcView = &ImgSrc->View();
    FDomain.DstView = &ImgDst->View();
    FDomain.SetOnChange([this](void*) { UpdateUI(); });
    FDomain.SetOnContextHelp([this](void* Sender) { StartContextHelp(Sender); });
    FDomain.SetOnProgress([this](void* Sender, int Percent) { ShowProgress(Sender, Percent); });
    FDomain.SetOnUpdatePattern([this](void* Sender, int Index) { OnUpdatePatternFrame(Sender, Index); });
    FDomain.SetOnUpdateStyle([this](void* Sender, int Index) { OnUpdateStyleFrame(Sender, Index); });
    FDomain.SetOnDeletePattern([this](void* Sender, int Index) { OnDeletePatternFrame(Sender, Index); });
    FDomain.SetOnDeleteStyle([this](void* Sender, int Index) { OnDeleteStyleFrame(Sender, Index); });
    FDomain.SetOnBeginProgress([this](void* Sender) { BeginProgress(Sender); });
    FDomain.SetOnEndProgress([this](void* Sender) { EndProgress(Sender); });
    // A new drawing starts with no variant colours; an opened one with the first style.
    // The Size box follows the brush however it was set.
    FDomain.SetOnNewDocument([this](void*) {
        FColorPanel->ResetVariants();
        FDomain.Document->SetOnSizeChange([this](void*) { BrushSizeChange(); });
    });
    FDomain.SetOnSelectStyle([this](void*, int Index) { SelectStyle(Index); });
    FDomain.GetSelectedColor = [this] { return GetSelectedColor(); };
    // The eyedropper of the colour fields is screen cursor 1; its tip is the hot spot.
    SetScreenCursor(1, QCursor(QPixmap::fromImage(LoadAppPicture(QStringLiteral("dropeye.png"))), 1, 30));
    // The handle picture of the curve shapes.
    HandlePictures = std::make_unique<TBitmap32List>();
    AssignQImage(HandlePictures->Add(), LoadAppPicture(QStringLiteral("handle.png")));
    HandlePictures->Bitmap(0).DrawMode = dmBlend;
    SetPolyBezierHandleBitmap(&HandlePictures->Bitmap(0));
    // The application's message, error and idle hooks. Idle work is nothing the user asked for:
    // its failures go to stderr only.
    FEventFilter = std::make_unique<TAppEventFilter>(this);
    qApp->installEventFilter(FEventFilter.get());
    FErrorReports = std::make_unique<TErrorReports>();
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this, [this] {
        bool done = true;
        GuardQuietly([&] { ApplicationIdle(done); });
    });
    // The style the list shows becomes the current one, and every control shows the
    // drawing's values (without a drawing, the controls' starting values).
    cbStylesChange();
    UpdateUI();
}
