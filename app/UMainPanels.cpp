// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/UMain.h"

#include "app/PanelColor.h"
#include "app/QDomain.h"
#include "app/Tools.h"
#include "app/UColorPanel.h"
#include "controls/QuickValue.h"
#include "document/DualImage.h"
#include "engine/LineSampler.h"
#include "platform/qt/Bitmap32Image.h"
#include "platform/qt/GaugeBar.h"
#include "platform/qt/ImgView32Widget.h"
#include "platform/qt/InputEvents.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/Image32.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Random.h"
#include "platform/rtl/Round.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QToolButton>

#include <cmath>

// ---------------------------------------------------------------------------------------------
// The panels and gauges

void TFMain::UpdateUI() {
    progBar->hide();
    if (FColorPanel != nullptr) FColorPanel->UpdateFromImage();
    TDualImage* document = FDomain.Document.get();
    if (document != nullptr) {
        panDual->show();
        panPanels->show();
        FPanelsArea->show();
        const TToolId tool = FDomain.ToolManager ? FDomain.ToolManager->Tool : tiNone;
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
        case tiPointer:
            panels = &table[0];
            break;
        case tiFreeHand:
            panels = &table[1];
            break;
        case tiPattern:
            panels = &table[2];
            break;
        case tiAutoSketch:
            panels = &table[3];
            break;
        default:
            panels = &none;
            break;
        }
        if (panels->Button != nullptr) {
            panStyle->setVisible(panels->Style);
            panPS->setVisible(panels->PS);
            PanSize->setVisible(panels->Size);
            panPattern->setVisible(panels->Pattern);
        }
        btPS->setEnabled(FDomain.PostScriptCommand->isEnabled());
        lblPSCount->setText(QString::fromStdString(std::to_string(document->StrokeCount()) + " Vectors"));
        for (const TStyleParameter p : AllStyleParameters)
            StyleGauges.ShowValue(p, document->StyleValue(p));
        qvSize->SetPosition(document->Size());
        StatusPanel->setText(QString::fromStdString(document->UndoMemoryText()));
        if (FColorPanel != nullptr) {
            switch (document->ColorMode()) {
            case cmFixedInk:
                FColorPanel->FixedClick(btFixed);
                break;
            case cmSampledColor:
                FColorPanel->AutoClick(btAutoColor);
                break;
            case cmPaletteInk:
                FColorPanel->VariantsClick(btVar);
                break;
            default:
                break;
            }
            FColorPanel->SetFixedColor(static_cast<TColor>(WinColor(document->Color())));
        }
    } else {
        panDual->hide();
        panPanels->hide();
        FPanelsArea->hide();
        lblPSCount->setText(QStringLiteral("0 Vectors"));
        // Without a drawing there is no history whose memory the bar could show.
        StatusPanel->clear();
        for (const TStyleParameter p : AllStyleParameters)
            StyleGauges.Gauges[p]->SetPosition(StyleParameters[p].NoDrawing);
        qvSize->SetPosition(50);
    }
    ShowToolButtons();
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

void TFMain::ShowToolButtons() {
    QToolButton* down = nullptr;
    if (ContextHelpMode) {
        down = btHelp;
    } else if (FDomain.ToolManager) {
        switch (FDomain.ToolManager->Tool) {
        case tiPointer:
            down = btPtr;
            break;
        case tiFreeHand:
            down = btFree;
            break;
        case tiPattern:
            down = btPat;
            break;
        case tiAutoSketch:
            down = btAuto;
            break;
        default:
            break;
        }
    }
    // No tool leaves no button down; an exclusive group would keep one.
    FToolGroup->setExclusive(false);
    for (QToolButton* b : {btPtr, btAuto, btPat, btFree, btHelp})
        b->setChecked(b == down);
    FToolGroup->setExclusive(true);
}

void TFMain::StyleGaugeChange(TStyleParameter P) {
    double value = StyleGauges.Value(P);
    if (TDualImage* document = FDomain.Document.get()) {
        document->SetStyleValue(P, value);
        value = document->StyleValue(P);
    }
    StyleGauges.ShowLabel(P, value);
}

void TFMain::gaDensityChange() {
    if (TDualImage* document = FDomain.Document.get()) document->SetDensity(qvDensity->Position());
    gaSizeChange();
}

void TFMain::gaSizeChange() {
    TBitmap32& bitmap = ImgSize->Image().Bitmap;
    const int w = ImgSize->width();
    const int h = ImgSize->height();
    bitmap.SetSize(w, h);
    bitmap.Clear(PanelColor);
    const int s = qvSize->Position();
    // A brush that does not fit is drawn at one radius, a little inside the picture, and the
    // scale it is drawn at (that radius over the brush's) is written at the top left.
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
        painter.drawText(QPoint(1, 11), QString::fromStdString(FloatToStrGeneral(100.0 * r / s, 3, 0) + "%"));
    }
    ImgSize->Image().Changed();
    if (TDualImage* document = FDomain.Document.get()) document->SetSize(s);
}

void TFMain::BrushSizeChange() {
    // The wheel and Shift set the drawing's brush; the box and the preview show it at once, so
    // the next refresh keeps it. The preview's dots are drawn from the process-wide generator:
    // its numbers are given back afterwards, so that the next gesture's strokes take the ones
    // they would have taken without the wheel (the next refresh draws the same dots again).
    TDualImage* document = FDomain.Document.get();
    if (document == nullptr || qvSize->Position() == document->Size()) return;
    const uint32_t seed = RandSeed;
    qvSize->SetPosition(document->Size());
    gaSizeChange();
    RandSeed = seed;
}

void TFMain::cbStopBorderClick() {
    if (TDualImage* document = FDomain.Document.get()) document->StopOnBorders = cbStopBorder->isChecked();
}

void TFMain::RunStopOnBordersCommand() {
    FDomain.StopOnBordersCommand->trigger();
}

void TFMain::btPSClick() {
    FDomain.PostScriptCommand->trigger();
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
    if (FColorPanel != nullptr) return ColorToColor32(FColorPanel->SelectedColor);
    return 0xFF000000;
}

// ---------------------------------------------------------------------------------------------
// Progress of the command module

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
