// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/UImgSizeDlg.h"

#include "app/ShellServices.h"
#include "controls/FloatEd.h"
#include "platform/qt/InputEvents.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Round.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {
// The largest side the pixel edits take.
constexpr int MaxPixels = 100000;
} // namespace

std::string FormatEstimatedSize(int64_t Bytes) {
    double v = static_cast<double>(Bytes);
    const char* unit = "Bytes";
    if (Bytes > 1073741824) {
        v = static_cast<double>(Bytes) / 1073741824.0;
        unit = "GBytes";
    } else if (Bytes > 1048576) {
        v = static_cast<double>(Bytes) / 1048576.0;
        unit = "MBytes";
    } else if (Bytes > 1024) {
        v = static_cast<double>(Bytes) / 1024.0;
        unit = "KBytes";
    }
    return FloatToStrGeneral(v, 4, 10) + " " + unit;
}

namespace {
// Key releases of the five edits reach OnKeyUp, as their key-up event.
class TKeyUpFilter : public QObject {
public:
    TKeyUpFilter(TFImgSizeDlg* Dialog, QObject* Edit) : QObject(Dialog), FDialog(Dialog), FEdit(Edit) {}
    bool eventFilter(QObject*, QEvent* Event) override {
        if (Event->type() == QEvent::KeyRelease) GuardEvent([&] { FDialog->OnKeyUp(FEdit); });
        return false;
    }

private:
    TFImgSizeDlg* FDialog;
    QObject* FEdit;
};
} // namespace

TFImgSizeDlg::TFImgSizeDlg(QWidget* Parent) : QDialog(Parent) {
    setObjectName(QStringLiteral("FImgSizeDlg"));
    setWindowTitle(QStringLiteral("Render at Resolution"));

    gbSizeInches = new QGroupBox(QStringLiteral("Size in Inches"), this);
    rbInches = new QRadioButton(QStringLiteral("Inches"), gbSizeInches);
    rbCentimeters = new QRadioButton(QStringLiteral("Centimeters"), gbSizeInches);
    rbInches->setChecked(true);
    seHorizInches = new TFloatEdit(gbSizeInches);
    seVertInches = new TFloatEdit(gbSizeInches);
    for (TFloatEdit* edit : {seHorizInches, seVertInches}) {
        edit->SetFType(ffGeneral);
        edit->SetMinWidth(10);
        edit->SetDecimals(2);
        edit->Increment = 1;
        edit->MinValue = 0;
        edit->MaxValue = 100000;
        edit->setMinimumWidth(90);
    }
    seRes = new QSpinBox(gbSizeInches);
    seRes->setRange(1, 5000);
    // The resolution is in dots per inch in both units: the centimetre sizes are worked out from it.
    lblPerInches = new QLabel(QStringLiteral("per inch"), gbSizeInches);
    auto* inches = new QGridLayout(gbSizeInches);
    inches->addWidget(rbInches, 0, 0);
    inches->addWidget(rbCentimeters, 0, 1, 1, 2);
    inches->addWidget(new QLabel(QStringLiteral("Size:"), gbSizeInches), 1, 0);
    inches->addWidget(seHorizInches, 1, 1);
    inches->addWidget(new QLabel(QStringLiteral("x"), gbSizeInches), 1, 2);
    inches->addWidget(seVertInches, 1, 3);
    inches->addWidget(new QLabel(QStringLiteral("Desired Resolution"), gbSizeInches), 2, 0);
    inches->addWidget(seRes, 2, 1);
    inches->addWidget(lblPerInches, 2, 2, 1, 2);

    gbSizePixels = new QGroupBox(QStringLiteral("Size in pixels"), this);
    seHorizPixels = new QSpinBox(gbSizePixels);
    seVertPixels = new QSpinBox(gbSizePixels);
    for (QSpinBox* edit : {seHorizPixels, seVertPixels}) {
        edit->setRange(0, MaxPixels);
        edit->setMinimumWidth(90);
    }
    auto* pixels = new QHBoxLayout(gbSizePixels);
    pixels->addWidget(seHorizPixels);
    pixels->addWidget(new QLabel(QStringLiteral("x"), gbSizePixels));
    pixels->addWidget(seVertPixels);
    pixels->addWidget(new QLabel(QStringLiteral("Pixels"), gbSizePixels));
    pixels->addStretch();

    lblEstimSize = new QLabel(QStringLiteral("Estimated Size:"), this);
    QFont bold = lblEstimSize->font();
    bold.setBold(true);
    lblEstimSize->setFont(bold);

    btOk = new QPushButton(QStringLiteral("Save"), this);
    btOk->setDefault(true);
    btCancel = new QPushButton(QStringLiteral("Cancel"), this);
    connect(btOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblEstimSize);
    buttons->addStretch();
    buttons->addWidget(btOk);
    buttons->addWidget(btCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(gbSizeInches);
    layout->addWidget(gbSizePixels);
    layout->addLayout(buttons);

    Edits = {seHorizPixels, seVertPixels, seRes, seHorizInches, seVertInches};
    for (QSpinBox* edit : {seHorizPixels, seVertPixels, seRes})
        connect(edit, &QSpinBox::valueChanged, this, [this, edit](int) {
            if (FAttached) GuardEvent([&] { OnChange(edit); });
        });
    for (TFloatEdit* edit : {seHorizInches, seVertInches})
        connect(edit->findChild<QLineEdit*>(), &QLineEdit::textChanged, this, [this, edit](const QString&) {
            if (FAttached) GuardEvent([&] { OnChange(edit); });
        });
    for (QWidget* edit : Edits) {
        auto* filter = new TKeyUpFilter(this, edit);
        edit->installEventFilter(filter);
        if (auto* line = edit->findChild<QLineEdit*>()) line->installEventFilter(filter);
    }
    connect(rbInches, &QRadioButton::clicked, this, [this] { GuardEvent([this] { rbInchesClick(); }); });
    connect(rbCentimeters, &QRadioButton::clicked, this,
            [this] { GuardEvent([this] { rbCentimetersClick(); }); });
}

void TFImgSizeDlg::SetImageWidth(int Value) {
    FImageWidth = Value;
    FAspect = static_cast<float>(static_cast<double>(FImageWidth) / FImageHeight);
}

void TFImgSizeDlg::SetImageHeight(int Value) {
    FImageHeight = Value;
    FAspect = static_cast<float>(static_cast<double>(FImageWidth) / FImageHeight);
}

void TFImgSizeDlg::SetResolution(int Value) {
    FResolution = Value;
}

int TFImgSizeDlg::GetPixelWidth() const {
    return seHorizPixels->value();
}

int TFImgSizeDlg::GetPixelHeight() const {
    return seVertPixels->value();
}

int TFImgSizeDlg::GetResolution() const {
    return seRes->value();
}

float TFImgSizeDlg::PixelsPerUnit() const {
    switch (FUnit) {
    case 0:
        return static_cast<float>(seRes->value());
    case 1:
        return static_cast<float>(seRes->value() / 2.54);
    default:
        return 0.0f;
    }
}

double TFImgSizeDlg::R2(double X) {
    const long double scaled = static_cast<long double>(X) / 0.01L;
    const long double whole = X < 0 ? std::trunc(scaled - 0.5L) : std::trunc(scaled + 0.5L);
    return static_cast<double>(whole * 0.01L);
}

void TFImgSizeDlg::Attach() {
    FAttached = true;
    UpdateEstimatedSize();
}

void TFImgSizeDlg::Detach() {
    FAttached = false;
}

void TFImgSizeDlg::UpdateEstimatedSize() {
    const int64_t bytes = int64_t{seHorizPixels->value()} * seVertPixels->value() * 3;
    lblEstimSize->setText(QString::fromStdString("Estimated Size:" + FormatEstimatedSize(bytes)));
}

bool TFImgSizeDlg::SetPixels(double Width, double Height) {
    // A side beyond the largest takes the largest, and the other side shrinks with it.
    const double larger = std::max(Width, Height);
    const bool capped = larger > MaxPixels;
    if (capped) {
        Width = Width * MaxPixels / larger;
        Height = Height * MaxPixels / larger;
    }
    seHorizPixels->setValue(Round(Width));
    seVertPixels->setValue(Round(Height));
    return capped;
}

void TFImgSizeDlg::SetPixelsFromSize() {
    const long double ppu = PixelsPerUnit();
    if (SetPixels(static_cast<double>(ppu * seHorizInches->GetValue()),
                  static_cast<double>(ppu * seVertInches->GetValue())))
        SetSizeFromPixels();
}

void TFImgSizeDlg::SetSizeFromPixels() {
    const long double ppu = PixelsPerUnit();
    seHorizInches->SetValue(R2(static_cast<double>(seHorizPixels->value() / ppu)));
    seVertInches->SetValue(R2(static_cast<double>(seVertPixels->value() / ppu)));
}

void TFImgSizeDlg::FormShow() {
    Detach();
    seHorizPixels->setValue(FImageWidth);
    seVertPixels->setValue(FImageHeight);
    seRes->setValue(FResolution);
    SetSizeFromPixels();
    Attach();
    seHorizInches->setFocus();
}

void TFImgSizeDlg::OnChange(QObject* Sender) {
    Detach();
    const long double aspect = FAspect;
    if (Sender == seHorizInches) {
        seVertInches->SetValue(R2(static_cast<double>(seHorizInches->GetValue() / aspect)));
        SetPixelsFromSize();
    } else if (Sender == seVertInches) {
        seHorizInches->SetValue(R2(static_cast<double>(seVertInches->GetValue() * aspect)));
        SetPixelsFromSize();
    } else if (Sender == seRes) {
        SetPixelsFromSize();
    } else if (Sender == seHorizPixels) {
        SetPixels(seHorizPixels->value(), static_cast<double>(seHorizPixels->value() / aspect));
        SetSizeFromPixels();
    } else if (Sender == seVertPixels) {
        SetPixels(static_cast<double>(seVertPixels->value() * aspect), seVertPixels->value());
        SetSizeFromPixels();
    }
    Attach();
}

void TFImgSizeDlg::OnKeyUp(QObject*) {}

void TFImgSizeDlg::rbInchesClick() {
    FUnit = 0;
    const long double ppu = PixelsPerUnit();
    // The handlers stay attached: each write recomputes the rest as a typed value would.
    seHorizInches->SetValue(R2(static_cast<double>(seHorizPixels->value() / ppu)));
    seVertInches->SetValue(R2(static_cast<double>(seVertPixels->value() / ppu)));
    gbSizeInches->setTitle(QStringLiteral("Size in Inches"));
}

void TFImgSizeDlg::rbCentimetersClick() {
    FUnit = 1;
    const long double ppu = PixelsPerUnit();
    seHorizInches->SetValue(R2(static_cast<double>(seHorizPixels->value() / ppu)));
    seVertInches->SetValue(R2(static_cast<double>(seVertPixels->value() / ppu)));
    gbSizeInches->setTitle(QStringLiteral("Size in Centimeters"));
}

bool TFImgSizeDlg::FormClose() {
    if (GetPixelWidth() >= 1 && GetPixelHeight() >= 1) return true;
    MessageBox(QMessageBox::Critical, "Error", "Please select a size of at least 1 x 1 pixels");
    return false;
}

int TFImgSizeDlg::ShowModal() {
    return exec();
}

void TFImgSizeDlg::done(int Result) {
    // Save (the button or Enter) comes through here; Cancel closes at once.
    bool canClose = Result != Accepted;
    if (!canClose) GuardEvent([&] { canClose = FormClose(); });
    if (canClose) QDialog::done(Result);
}

void TFImgSizeDlg::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    if (!Event->spontaneous()) GuardEvent([this] { FormShow(); });
}
