// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/UPatternEdit.h"

#include "app/InputController.h"
#include "app/Shape.h"
#include "app/ShellServices.h"
#include "app/TiledImage.h"
#include "platform/qt/ImgView32Widget.h"
#include "platform/qt/InputEvents.h"
#include "platform/raster/Bitmap32.h"
#include "presets/Patterns.h"
#include "presets/PolyBezier.h"
#include "presets/PolyBezierLayer.h"

#include <QButtonGroup>
#include <QFrame>
#include <QPushButton>

#include <vector>

namespace {
constexpr int FormWidth = 333;
constexpr int FormHeight = 299;
// The drawing view: the pattern's curves are in its pixels.
constexpr int ViewSize = 210;
constexpr int ThumbnailSize = 56;
constexpr int BevelSize = 60;
constexpr TColor32 EmptyThumbnail = 0xFFCCCCCC;
} // namespace

TFPatternEdit::TFPatternEdit(QWidget* Parent) : QDialog(Parent) {
    setObjectName(QStringLiteral("FPatternEdit"));
    setWindowTitle(QStringLiteral("Add New Pattern"));
    setFixedSize(FormWidth, FormHeight);

    // Left: the tool buttons and the dialog's buttons; right: the drawing view; bottom: the slots.
    constexpr int leftWidth = 100;
    constexpr int topHeight = 228;
    ToolsBackground = new TTiledImage(this);
    ToolsBackground->setGeometry(0, 0, leftWidth, topHeight);
    ViewBackground = new TTiledImage(this);
    ViewBackground->setGeometry(leftWidth, 0, FormWidth - leftWidth, topHeight);
    SlotsBackground = new TTiledImage(this);
    SlotsBackground->setGeometry(0, topHeight, FormWidth, FormHeight - topHeight);

    btPointer = new QPushButton(QStringLiteral("Pointer"), ToolsBackground);
    btPointer->setGeometry(10, 10, 80, 28);
    btAddCurve = new QPushButton(QStringLiteral("Add curve"), ToolsBackground);
    btAddCurve->setGeometry(10, 44, 80, 28);
    for (QPushButton* b : {btPointer, btAddCurve}) {
        b->setCheckable(true);
        b->setAutoDefault(false);
    }
    btPointer->setChecked(true);
    auto* tools = new QButtonGroup(this);
    tools->addButton(btPointer);
    tools->addButton(btAddCurve);
    btAccept = new QPushButton(QStringLiteral("Accept"), ToolsBackground);
    btAccept->setGeometry(10, 156, 80, 28);
    btCancel = new QPushButton(QStringLiteral("Cancel"), ToolsBackground);
    btCancel->setGeometry(10, 190, 80, 28);
    btAccept->setAutoDefault(false);
    btCancel->setAutoDefault(false);

    ViewFrame = new TShape(ViewBackground);
    ViewFrame->setGeometry(10, 8, ViewSize + 2, ViewSize + 2);
    ViewFrame->SetBrushStyle(bsClear);
    ViewFrame->SetPenColor(clGray);
    ImgView = new TImgView32Widget(ViewBackground);
    ImgView->setGeometry(11, 9, ViewSize, ViewSize);
    ImgView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ImgView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A canvas of fixed size: its pixels are the window's, scaled on a high-density screen.
    ImgView->SetDevicePixels(false);
    TImgView32& view = ImgView->View();
    view.SetScale(1.0f);
    view.Bitmap.SetSize(ViewSize, ViewSize);
    view.Bitmap.Clear(0xFFFFFFFF);
    view.SetViewportSize(ViewSize, ViewSize);
    view.Changed();

    for (int k = 0; k < SlotCount; ++k) {
        QFrame* bevel = new QFrame(SlotsBackground);
        bevel->setObjectName(QStringLiteral("Slot%1").arg(k + 1));
        bevel->setFrameShape(QFrame::Panel);
        bevel->setLineWidth(2);
        bevel->setGeometry(10 + k * 64, 6, BevelSize, BevelSize);
        auto* image = new TImage32Widget(bevel);
        image->setObjectName(QStringLiteral("SlotImage%1").arg(k + 1));
        image->setGeometry(2, 2, ThumbnailSize, ThumbnailSize);
        image->setCursor(Qt::PointingHandCursor);
        image->Image().OnMouseUp = [this, k](TCustomImage32*, TMouseButton, TShiftState, int, int,
                                             TCustomLayer*) { SlotClick(k); };
        Bevels[static_cast<size_t>(k)] = bevel;
        Images[static_cast<size_t>(k)] = image;
    }

    connect(btPointer, &QPushButton::clicked, this, [this] { GuardEvent([this] { PointerToolClick(); }); });
    connect(btAddCurve, &QPushButton::clicked, this, [this] { GuardEvent([this] { AddCurveToolClick(); }); });
    connect(btAccept, &QPushButton::clicked, this, [this] { btAcceptClick(); });
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    view.OnMouseDown = [this](TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
                              TCustomLayer* ALayer) {
        if (ActiveController) ActiveController->MouseDown(Sender, Button, Shift, X, Y, ALayer);
    };
    view.OnMouseMove = [this](TCustomImage32* Sender, TShiftState Shift, int X, int Y, TCustomLayer* ALayer) {
        if (ActiveController) ActiveController->MouseMove(Sender, Shift, X, Y, ALayer);
    };
    view.OnMouseUp = [this](TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X, int Y,
                            TCustomLayer* ALayer) {
        if (ActiveController) ActiveController->MouseUp(Sender, Button, Shift, X, Y, ALayer);
    };

    FormCreate();
}

TFPatternEdit::~TFPatternEdit() {
    // The view's handlers reach the controllers: they go first, then the controllers and the
    // layer, which takes its shapes off the view.
    TImgView32& view = ImgView->View();
    view.OnMouseDown = nullptr;
    view.OnMouseMove = nullptr;
    view.OnMouseUp = nullptr;
    ActiveController = nullptr;
    AddCurveController.reset();
    PointerController.reset();
    Layer.reset();
}

void TFPatternEdit::FormCreate() {
    Layer = std::make_unique<TPolyBezierLayer>(&ImgView->View());
    Layer->SetSelected(true);
    Layer->SetOnChange([this](void* Sender) { LayerChanged(Sender); });
    PointerController = std::make_unique<TPointerInputController>(Layer.get());
    AddCurveController = std::make_unique<TAddCurveInputController>(Layer.get());
    ActiveController = PointerController.get();
    const QImage tile = BackgroundTile();
    for (TTiledImage* background : {ToolsBackground, SlotsBackground, ViewBackground})
        background->SetPicture(tile);
}

void TFPatternEdit::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    GuardEvent([this] { FormShow(); });
}

void TFPatternEdit::FormShow() {
    for (TImage32Widget* image : Images)
        PrepareThumbnail(image);
    if (Pattern == nullptr) return;
    // The manager pads every pattern to five frames; one given without them gets them here, so
    // that every slot has a frame to draw into.
    while (Pattern->FrameCount() < SlotCount)
        Pattern->AddPatternFrame(std::make_unique<TPatternFrame>());
    SelectFrame(0);
    // A pattern of six frames shows and edits its first five.
    for (int32_t i = 0; i < Pattern->FrameCount() && i < SlotCount; ++i) {
        SelectFrame(i);
        UpdateThumbnail();
    }
    SelectFrame(0);
}

void TFPatternEdit::done(int Result) {
    // A drag in progress ends first, so that nothing writes into the pattern once the manager
    // has put back what a cancelled edit changed.
    if (Result != QDialog::Accepted && ActiveController != nullptr)
        GuardEvent([this] { ActiveController->Deactivate(); });
    QDialog::done(Result);
}

void TFPatternEdit::btAcceptClick() {
    bool saved = !SavePattern;
    if (SavePattern)
        GuardEvent([this, &saved] {
            SavePattern();
            saved = true;
        });
    if (saved) accept();
}

void TFPatternEdit::SwitchController(TAbstractInputController* Controller, bool Cross) {
    if (ActiveController != nullptr) ActiveController->Deactivate();
    ActiveController = Controller;
    ActiveController->Activate();
    ImgView->View().SetCursor(Cross ? crCross : crDefault);
}

void TFPatternEdit::PointerToolClick() {
    SwitchController(PointerController.get(), false);
    btPointer->setChecked(true);
}

void TFPatternEdit::AddCurveToolClick() {
    SwitchController(AddCurveController.get(), true);
    btAddCurve->setChecked(true);
}

void TFPatternEdit::SlotClick(int32_t Slot) {
    SelectFrame(Slot);
}

void TFPatternEdit::SelectFrame(int32_t I) {
    if (I < 0 || I >= SlotCount) return;
    CurrentFrame = I;
    for (int k = 0; k < SlotCount; ++k)
        Bevels[static_cast<size_t>(k)]->setFrameShadow(k == I ? QFrame::Sunken : QFrame::Raised);
    Loading = true;
    Layer->Clear();
    Loading = false;
    if (Pattern == nullptr || I >= Pattern->FrameCount()) return;
    // Refilling the layer rebuilds this frame after every shape, so its curves are read first.
    const std::vector<TBezierCurve> curves = Pattern->GetFrames(I).Curves;
    for (const TBezierCurve& curve : curves) {
        TPolyBezier* shape = Layer->Add(std::make_unique<TPolyBezier>(curve.P0));
        shape->AddSegment(TPolyBezier::MakeCubicSegment(curve.C1, curve.C2, curve.P3));
    }
    // The last addition rebuilt the frame before its segment was in.
    LayerChanged(Layer.get());
}

void TFPatternEdit::LayerChanged(void* /*Sender*/) {
    if (Loading || Pattern == nullptr || CurrentFrame >= Pattern->FrameCount()) return;
    TPatternFrame& frame = Pattern->GetFrames(CurrentFrame);
    frame.Clear();
    for (int32_t i = 0; i < Layer->Count(); ++i) {
        const TPolyBezier* shape = Layer->GetPolyBeziers(i);
        for (int32_t s = 0; s < shape->SegmentCount(); ++s)
            frame.AddCurve(shape->GetBezier(s));
    }
    ImgView->View().Repaint();
    UpdateThumbnail();
}

void TFPatternEdit::PrepareThumbnail(TImage32Widget* Image) {
    Image->Image().Bitmap.SetSize(Image->width(), Image->height());
    ClearThumbnail(Image);
}

void TFPatternEdit::ClearThumbnail(TImage32Widget* Image) {
    Image->Image().Bitmap.Clear(EmptyThumbnail);
    Image->Image().Changed();
}

TImage32Widget* TFPatternEdit::CurrentThumbnailImage() const {
    return Images[static_cast<size_t>(CurrentFrame)];
}

void TFPatternEdit::UpdateThumbnail() {
    if (Pattern == nullptr || CurrentFrame >= Pattern->FrameCount()) return;
    TImage32Widget* image = CurrentThumbnailImage();
    Pattern->SetTarget(&image->Image().Bitmap);
    // The slot's bitmap goes with the dialog: the pattern must not keep it.
    struct TLetGo {
        TPattern& Pattern;
        ~TLetGo() { Pattern.SetTarget(nullptr); }
    } letGo{*Pattern};
    Pattern->DrawFrame(CurrentFrame, true);
    image->Image().Changed();
}

void InstallPatternEditor() {
    SetPatternEditorHook([](TPattern& Pattern, const std::string& Caption, const TPatternAccept& Accept) {
        TFPatternEdit form(DialogParent());
        if (!Caption.empty()) form.setWindowTitle(QString::fromStdString(Caption));
        form.Pattern = &Pattern;
        form.SavePattern = Accept;
        return form.exec() == QDialog::Accepted ? static_cast<int>(mrOk) : static_cast<int>(mrCancel);
    });
}
