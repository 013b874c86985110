// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/UFormStyle.h"

#include "app/ShellServices.h"
#include "app/TiledImage.h"
#include "engine/QTypes.h"
#include "platform/qt/GaugeBar.h"
#include "platform/qt/ImgView32Widget.h"
#include "platform/qt/InputEvents.h"
#include "platform/raster/BmpCodec.h"
#include "platform/rtl/Streams.h"
#include "platform/system/BusyCursor.h"
#include "presets/DemoStyle.h"
#include "presets/Styles.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>

namespace {
// The dialog's layout: the two pictures on the left over the first tile, the gauges on the
// right over the second.
constexpr int FormWidth = 632;
constexpr int FormHeight = 284;
constexpr int PictureWidth = 170;
constexpr int PictureHeight = 211;
constexpr int SplitX = 370;

} // namespace

TFormStyle::TFormStyle(QWidget* Parent) : QDialog(Parent) {
    setObjectName(QStringLiteral("FormStyle"));
    setWindowTitle(QStringLiteral("Edit Style"));
    setFixedSize(FormWidth, FormHeight);

    PicturesBackground = new TTiledImage(this);
    PicturesBackground->setGeometry(0, 0, SplitX, FormHeight);
    GaugesBackground = new TTiledImage(this);
    GaugesBackground->setGeometry(SplitX, 0, FormWidth - SplitX, FormHeight);

    // The pictures, framed by their captions.
    auto* sampleCaption = new QLabel(QStringLiteral("Sample"), PicturesBackground);
    sampleCaption->setGeometry(10, 6, PictureWidth, 16);
    auto* previewCaption = new QLabel(QStringLiteral("Preview"), PicturesBackground);
    previewCaption->setGeometry(190, 6, PictureWidth, 16);
    ImgSample = new TImage32Widget(PicturesBackground);
    ImgSample->setGeometry(10, 24, PictureWidth, PictureHeight);
    ImgSample->Image().SetScaleMode(smStretch);
    ImgPreview = new TImage32Widget(PicturesBackground);
    ImgPreview->setGeometry(190, 24, PictureWidth, PictureHeight);
    ImgPreview->Image().SetScaleMode(smStretch);
    for (TImage32Widget* image : {ImgPreview, ImgSample}) {
        image->setFrameShape(QFrame::Box);
        image->Image().Color = 0xFFFFFFFF;
    }

    lblStyleName = new QLabel(QStringLiteral("Style name:"), PicturesBackground);
    lblStyleName->setGeometry(10, 248, 70, 24);
    edStyleName = new QLineEdit(PicturesBackground);
    edStyleName->setGeometry(84, 248, 276, 24);

    // Gauges with their captions and value labels, one row each.
    int y = 14;
    for (const TStyleParameter p : AllStyleParameters) {
        auto* caption = new QLabel(QString::fromLatin1(StyleParameters[p].EditorCaption), GaugesBackground);
        caption->setGeometry(10, y, 80, 22);
        StyleGauges.Make(p, StyleParameters[p].EditorStart, GaugesBackground);
        StyleGauges.Gauges[p]->setGeometry(92, y, 120, 22);
        StyleGauges.Labels[p]->setGeometry(218, y, 44, 22);
        y += 34;
    }
    cbStopBorder = new QCheckBox(QStringLiteral("Stop on borders"), GaugesBackground);
    cbStopBorder->setGeometry(10, y, 160, 22);

    btAccept = new QPushButton(QStringLiteral("Accept"), GaugesBackground);
    btAccept->setGeometry(94, 248, 80, 26);
    btAccept->setDefault(true);
    btCancel = new QPushButton(QStringLiteral("Cancel"), GaugesBackground);
    btCancel->setGeometry(180, 248, 80, 26);

    // Accept gives OK; Cancel, Escape and the close box give Cancel.
    connect(btAccept, &QPushButton::clicked, this, [this] { btAcceptClick(); });
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(edStyleName, &QLineEdit::textChanged, this,
            [this] { GuardEvent([this] { edStyleNameChange(); }); });
    for (TGaugeBar* gauge : StyleGauges.Gauges) {
        gauge->OnChange = [this](void* Sender) { OnChange(Sender); };
        gauge->OnMouseDown = [this](void* Sender, TMouseButton, TShiftState, int, int) {
            OnMouseDown(Sender);
        };
        gauge->OnMouseUp = [this](void* Sender, TMouseButton, TShiftState, int, int) { OnMouseUp(Sender); };
    }
    connect(cbStopBorder, &QCheckBox::clicked, this,
            [this] { GuardEvent([this] { OnChange(cbStopBorder); }); });
    cbStopBorder->installEventFilter(this);
    lblStyleName->installEventFilter(this);

    FormCreate();
}

TFormStyle::~TFormStyle() = default;

void TFormStyle::FormCreate() {
    Loading = false;
    const std::span<const unsigned char> sample = DemoStyle();
    TMemoryStream stream;
    stream.WriteBuffer(sample.data(), sample.size());
    stream.SetPosition(0);
    ReadBmp(ImgSample->Image().Bitmap, stream);
    ImgSample->Image().Bitmap.StretchFilter = sfMitchell;
    ImgSample->Image().Changed();
    const QImage tile = BackgroundTile();
    PicturesBackground->SetPicture(tile);
    GaugesBackground->SetPicture(tile);
}

void TFormStyle::SetStyle(TQStyle* AStyle) {
    Style = AStyle;
    Loading = true;
    for (const TStyleParameter p : AllStyleParameters)
        StyleGauges.ShowValue(p, StyleValue(*Style, p));
    cbStopBorder->setChecked(Style->StopOnBorders);
    edStyleName->setText(QString::fromStdString(Style->Name));
    Loading = false;
}

void TFormStyle::OnChange(void* /*Sender*/) {
    if (Loading || Style == nullptr) return;
    for (const TStyleParameter p : AllStyleParameters) {
        SetStyleValue(*Style, p, StyleGauges.Value(p));
        StyleGauges.ShowLabel(p, StyleValue(*Style, p));
    }
    Style->StopOnBorders = cbStopBorder->isChecked();
}

void TFormStyle::OnMouseDown(void* /*Sender*/) {
    if (Style != nullptr) Style->BeginUpdate();
}

void TFormStyle::OnMouseUp(void* /*Sender*/) {
    if (Style == nullptr) return;
    Style->EndUpdate();
    UpdatePreview();
}

void TFormStyle::edStyleNameChange() {
    btAccept->setEnabled(!edStyleName->text().isEmpty());
}

void TFormStyle::btAcceptClick() {
    bool saved = !SaveStyle;
    if (SaveStyle)
        GuardEvent([this, &saved] {
            SaveStyle(edStyleName->text().toStdString());
            saved = true;
        });
    if (saved) accept();
}

void TFormStyle::UpdatePreview() {
    if (Style == nullptr) return;
    TBitmap32& preview = Style->GetPreview();
    TBitmap32& shown = ImgPreview->Image().Bitmap;
    shown.SetSize(preview.Width(), preview.Height());
    shown.StretchFilter = sfMitchell;
    std::unique_ptr<TBitmap32> middle = ZoomCropBitmap(preview, 94);
    middle->StretchFilter = sfMitchell;
    shown.DrawStretched(shown.BoundsRect(), middle->BoundsRect(), *middle);
    ImgPreview->Image().Changed();
}

void TFormStyle::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    GuardEvent([this] { FormShow(); });
}

void TFormStyle::FormShow() {
    edStyleNameChange();
    const TBusyCursor busy;
    OnChange(this);
    repaint();
    UpdatePreview();
}

bool TFormStyle::eventFilter(QObject* Watched, QEvent* Event) {
    const bool press = Event->type() == QEvent::MouseButtonPress;
    const bool release = Event->type() == QEvent::MouseButtonRelease;
    if (Watched == cbStopBorder && press) {
        GuardEvent([this] { OnMouseDown(cbStopBorder); });
    } else if ((Watched == cbStopBorder || Watched == lblStyleName) && release) {
        // The box takes its click first, so the preview shows the new state.
        Watched->event(Event);
        GuardEvent([this, Watched] { OnMouseUp(Watched); });
        return true;
    }
    return QDialog::eventFilter(Watched, Event);
}

void InstallStyleEditor() {
    SetStyleEditorHook([](TQStyle& Style, const std::string& Caption, const TStyleAccept& Accept) {
        TFormStyle form(DialogParent());
        form.SetStyle(&Style);
        form.SaveStyle = Accept;
        if (!Caption.empty()) form.setWindowTitle(QString::fromStdString(Caption));
        TStyleEditorResult result;
        result.ModalResult = form.exec() == QDialog::Accepted ? mrOk : mrCancel;
        result.StyleName = form.edStyleName->text().toStdString();
        return result;
    });
}
