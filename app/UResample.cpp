// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/UResample.h"

#include "app/ShellServices.h"
#include "platform/qt/InputEvents.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Round.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QVBoxLayout>

#include <climits>

TFResample::TFResample(QWidget* Parent) : QDialog(Parent) {
    setObjectName(QStringLiteral("FResample"));
    setWindowTitle(QStringLiteral("Resample source image"));

    lblOriginal = new QLabel(QStringLiteral("Original Resolution:"), this);
    lblRes = new QLabel(this);
    QFont bold = lblRes->font();
    bold.setBold(true);
    lblRes->setFont(bold);
    lblRecommended = new QLabel(QStringLiteral("Recommended Resolution:"), this);
    seWidth = new QSpinBox(this);
    seHeight = new QSpinBox(this);
    for (QSpinBox* edit : {seWidth, seHeight}) {
        edit->setRange(INT_MIN, INT_MAX);
        edit->setMinimumWidth(80);
        connect(edit, &QSpinBox::valueChanged, this, [this, edit](int) {
            if (FAttached) GuardEvent([&] { OnChange(edit); });
        });
    }
    lblTimes = new QLabel(QStringLiteral("x"), this);
    btResample = new QPushButton(QStringLiteral("Resample"), this);
    btResample->setDefault(true);
    btLeave = new QPushButton(QStringLiteral("Leave original"), this);
    connect(btResample, &QPushButton::clicked, this, &QDialog::accept);
    connect(btLeave, &QPushButton::clicked, this, &QDialog::reject);

    auto* grid = new QGridLayout;
    grid->addWidget(lblOriginal, 0, 0);
    grid->addWidget(lblRes, 0, 1, 1, 3);
    grid->addWidget(lblRecommended, 1, 0);
    grid->addWidget(seWidth, 1, 1);
    grid->addWidget(lblTimes, 1, 2);
    grid->addWidget(seHeight, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btResample);
    buttons->addWidget(btLeave);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(8);
    layout->addLayout(buttons);
}

void TFResample::Attach() {
    FAttached = true;
}

void TFResample::Detach() {
    FAttached = false;
}

void TFResample::FormShow() {
    Detach();
    seWidth->setValue(RecommendedWidth);
    seHeight->setValue(RecommendedHeight);
    Aspect = static_cast<float>(static_cast<double>(seWidth->value()) / seHeight->value());
    lblRes->setText(QString::fromStdString(Format("%d x %d", PictureWidth, PictureHeight)));
    Attach();
}

void TFResample::OnChange(QObject* Sender) {
    Detach();
    if (Sender == seWidth)
        seHeight->setValue(Round(seWidth->value() / static_cast<double>(Aspect)));
    else if (Sender == seHeight)
        seWidth->setValue(Round(seHeight->value() * static_cast<double>(Aspect)));
    Attach();
}

bool TFResample::FormClose() {
    bool canClose = true;
    if (seWidth->value() > PictureWidth || seHeight->value() > PictureHeight) {
        MessageBox(QMessageBox::Critical, "Error",
                   "Please select an equal or smaller size\rthan the original image");
        canClose = false;
    }
    if (seWidth->value() < 100 || seHeight->value() < 100) {
        MessageBox(QMessageBox::Critical, "Error", "Please select larger values for the image size");
        canClose = false;
    }
    return canClose;
}

int TFResample::ShowModal() {
    return exec();
}

void TFResample::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    if (!Event->spontaneous()) GuardEvent([this] { FormShow(); });
}

void TFResample::done(int Result) {
    // Every way of closing (the two buttons, Escape, the close box) comes through here.
    bool canClose = false;
    GuardEvent([&] { canClose = FormClose(); });
    if (canClose) QDialog::done(Result);
}
