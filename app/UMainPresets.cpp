// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/UMain.h"

#include "app/QDomain.h"
#include "controls/ImageListViewer.h"
#include "document/DualImage.h"
#include "engine/QTypes.h"
#include "platform/qt/Bitmap32Image.h"
#include "platform/qt/ImgView32Widget.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/Image32.h"
#include "presets/Patterns.h"
#include "presets/StyleParameters.h"
#include "presets/Styles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPainter>

// ---------------------------------------------------------------------------------------------
// Styles and patterns

void TFMain::cbStylesChange() {
    SelectStyle(cbStyles->currentIndex());
}

void TFMain::SelectStyle(int Index) {
    if (Index < 0 || Index >= FDomain.StyleManager->Count()) return;
    // The list, the preview, the current style of the manager and the drawing agree.
    FDomain.StyleManager->SetIndex(Index);
    UpdateStyleFrame(Index);
    TDualImage* document = FDomain.Document.get();
    if (document == nullptr) return;
    TQStyle& style = FDomain.StyleManager->Current();
    for (const TStyleParameter p : AllStyleParameters)
        document->SetStyleValue(p, StyleValue(style, p));
    // The panel shows all of the style, "Stop on borders" too; the refresh writes the panel back
    // into the drawing.
    cbStopBorder->setChecked(style.StopOnBorders);
    UpdateUI();
}

void TFMain::ShowCurrentStyle() {
    const int index = FDomain.StyleManager->ItemIndex;
    if (index >= 0 && index < cbStyles->count())
        UpdateStyleFrame(index);
    else
        cbStyles->setCurrentIndex(-1);
}

void TFMain::UpdateStyleFrame(int Index) {
    TQStyle& style = FDomain.StyleManager->GetQStyle(Index);
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
    for (int i = 0; i < FDomain.StyleManager->Count(); ++i) {
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
    TPattern& pattern = FDomain.PatternManager->GetPattern(Index);
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
    for (int i = 0; i < FDomain.PatternManager->Count(); ++i) {
        AddPatternFrameToImageList();
        UpdatePatternFrame(i);
    }
}

void TFMain::PatternImageListViewerMouseUpThumb(int Index) {
    if (!FDomain.Document) return;
    FDomain.PatternManager->SetIndex(Index);
    FDomain.PatternCommand->trigger();
}

// ---------------------------------------------------------------------------------------------
// Events of the command module

void TFMain::OnUpdatePatternFrame(void*, int Index) {
    if (PatternImageList.Count() < FDomain.PatternManager->Count()) AddPatternFrameToImageList();
    UpdatePatternFrame(Index);
    // A change of the list frames the first thumbnail; the current pattern is the one meant.
    PatternImageListViewer->SetSelected(FDomain.PatternManager->ItemIndex);
}

void TFMain::OnUpdateStyleFrame(void*, int Index) {
    if (cbStyles->count() < FDomain.StyleManager->Count()) AddStyleFrameToImageList();
    UpdateStyleFrame(Index);
    cbStylesChange();
}

void TFMain::OnDeletePatternFrame(void*, int Index) {
    PatternImageList.Delete(Index);
    // The manager has made the first pattern current, which the list frames.
    PatternImageListViewer->SetSelected(FDomain.PatternManager->ItemIndex);
}

void TFMain::OnDeleteStyleFrame(void*, int Index) {
    cbStyles->removeItem(Index);
    // The style the manager made current in its place is shown and drawn with.
    SelectStyle(FDomain.StyleManager->ItemIndex);
}
