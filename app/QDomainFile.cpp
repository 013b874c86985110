// SPDX-License-Identifier: GPL-3.0-or-later
// The File menu: opening a picture (from the dialog or a drop), saving the drawing, rendering it
// at another size, PostScript output, Close and Exit.
#include "app/QDomain.h"

#include "app/Tools.h"
#include "app/UImgSizeDlg.h"
#include "app/UResample.h"
#include "document/DualImage.h"
#include "platform/formats/PictureFormats.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/Image32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Round.h"
#include "platform/system/BusyCursor.h"

#include <QSpinBox>

#include <cmath>
#include <functional>

namespace {
constexpr int MinPicturePixels = 10000;
constexpr int64_t ResampleAbovePixels = 1048576;

// Runs Step and returns the message of its failure (empty when none; Unsaid for a failure without
// words). The picture writers put a file in place only once it is whole, so a failed save leaves
// the old file as it was and no new one that could pass for a saved drawing.
std::string FailureOf(const std::function<void()>& Step,
                      const char* Unsaid = "The file could not be written") {
    try {
        Step();
        return {};
    } catch (const EAbort&) {
        throw;
    } catch (const std::exception& E) {
        const std::string message = ErrorMessage(E);
        return message.empty() ? Unsaid : message;
    }
}

// A drawing that could not be rendered or written out is said so, since the dialog closing alone
// looks like success; then the command ends silently.
[[noreturn]] void Failed(const std::string& Caption, const std::string& Message) {
    MessageBox(QMessageBox::Critical, Caption, Message);
    Abort();
}
} // namespace

std::string PictureDialogFilter() {
    std::string all;
    std::string each;
    for (const TPictureFormat& f : PictureFormats()) {
        if (!f.Reader) continue;
        for (const std::vector<std::string>* extensions : {&f.Extensions, &f.ReadOnlyExtensions}) {
            for (const std::string& e : *extensions) {
                const std::string pattern = "*." + e;
                all += (all.empty() ? "" : ";") + pattern;
                each += "|" + f.Description + " (" + pattern + ")|" + pattern;
            }
        }
    }
    return "All (" + all + ")|" + all + each;
}

std::string SaveDialogFilter() {
    std::string filter;
    for (const TPictureFormat& f : PictureFormats()) {
        if (!f.Writer) continue;
        const std::string pattern = "*." + f.Extensions.front();
        filter += (filter.empty() ? "" : "|") + f.Name + " (" + pattern + ")|" + pattern;
    }
    return filter;
}

// ---------------------------------------------------------------------------------------------
// Close and Exit

bool TDomain::MayDiscard() {
    if (!Document || !Document->Modified) return true;
    // Enter keeps the drawing: only a deliberate OK throws it away.
    return MessageBox(QMessageBox::Question, "Confirm", "Document not saved. Discard anyway?",
                      QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) == QMessageBox::Ok;
}

void TDomain::FreeDocument() {
    Document.reset();
    ToolManager.reset();
}

void TDomain::CloseCommandExecute(void*) {
    if (!MayDiscard()) Abort();
    FreeDocument();
    UpdateActions();
}

void TDomain::ExitCommandExecute(void*) {
    if (!MayDiscard()) Abort();
    TerminateApplication();
}

// ---------------------------------------------------------------------------------------------
// Opening a picture

void TDomain::OpenCommandExecute(void*) {
    // The open drawing goes only once a new picture has been read (LoadImage): a cancelled
    // dialog or a picture that cannot be read leaves it as it was.
    if (!MayDiscard()) Abort();
    if (!OpenPictureDialog.Execute()) return;
    LoadImage(OpenPictureDialog.FileName);
    SelectFirstStyle();
}

void TDomain::LoadDroppedImage(const std::string& FileName) {
    if (!MayDiscard()) Abort();
    LoadImage(FileName);
    SelectFirstStyle();
}

void TDomain::SelectFirstStyle() {
    if (OnSelectStyle) OnSelectStyle(this, 0);
}

void TDomain::LoadImage(const std::string& FileName, TStream* Stream) {
    std::unique_ptr<TBitmap32> picture = ReadPicture(FileName, Stream);
    picture = OfferResample(std::move(picture));
    InstallPicture(std::move(picture));
}

std::unique_ptr<TBitmap32> TDomain::ReadPicture(const std::string& FileName, TStream* Stream) {
    // The picture is read aside first, so that a picture that cannot be used leaves an open
    // drawing with its own photo; without a drawing the source view is emptied as the load starts.
    if (!Document && SrcView != nullptr) {
        SrcView->Bitmap.MasterAlpha = 255;
        SrcView->Bitmap.SetSize(0, 0);
        SrcView->Changed();
    }
    auto picture = std::make_unique<TBitmap32>();
    std::string readError;
    {
        TBusyCursor busy;
        try {
            // A stream is read as a file of that name would be: by the reader of its extension.
            if (Stream != nullptr)
                LoadPicture(*picture, *Stream, PictureFileExtension(FileName));
            else
                picture->LoadFromFile(FileName);
        } catch (const std::exception& E) {
            readError = ErrorMessage(E);
            if (readError.empty()) readError = "The picture cannot be read";
        }
    }
    if (!readError.empty()) {
        MessageBox(QMessageBox::Critical, "Error loading file", readError);
        Abort();
    }
    const int w = picture->Width();
    const int h = picture->Height();
    if (int64_t{w} * h == 0) RaiseException("Invalid Image");
    if (int64_t{w} * h < MinPicturePixels) {
        MessageBox(QMessageBox::Critical, "Error loading image",
                   "The source image is too small (" + std::to_string(w) + " x " + std::to_string(h) +
                       " pixels): a picture needs at least 10,000 pixels, for example 100 x 100");
        Abort();
    }
    return picture;
}

std::unique_ptr<TBitmap32> TDomain::OfferResample(std::unique_ptr<TBitmap32> Picture) {
    const int w = Picture->Width();
    const int h = Picture->Height();
    if (int64_t{w} * h <= ResampleAbovePixels || FResample == nullptr) return Picture;
    FResample->PictureWidth = w;
    FResample->PictureHeight = h;
    const float f = static_cast<float>(std::sqrt(1.0 / (static_cast<double>(w) * h)) * 1024);
    FResample->RecommendedWidth = Round(w * static_cast<double>(f));
    FResample->RecommendedHeight = Round(h * static_cast<double>(f));
    if (FResample->ShowModal() != QDialog::Accepted) return Picture;
    TBusyCursor busy;
    const int newWidth = FResample->seWidth->value();
    const int newHeight = FResample->seHeight->value();
    auto resized = std::make_unique<TBitmap32>(newWidth, newHeight);
    Picture->StretchFilter = sfMitchell;
    resized->StretchFilter = sfMitchell;
    resized->DrawStretched(TRect{0, 0, newWidth, newHeight}, TRect{0, 0, w, h}, *Picture);
    return resized;
}

void TDomain::InstallPicture(std::unique_ptr<TBitmap32> Picture) {
    // The paper is made while the old drawing is still there, so that a picture too large to
    // hold leaves it as it was. The old drawing goes before the views are cleared: its layers
    // live on them.
    std::unique_ptr<TBitmap32> paper = NewFilledBitmap(Picture->Width(), Picture->Height(), 0xFFFFFFFF);
    FreeDocument();
    TBusyCursor busy;
    if (SrcView != nullptr) {
        SrcView->Layers().Clear();
        SrcView->SetScaleMode(smScale);
        SrcView->Bitmap = std::move(*Picture);
        SrcView->Bitmap.StretchFilter = sfLinear;
        SrcView->SetScale(1.0f);
        SrcView->Bitmap.MasterAlpha = 128;
        SrcView->Bitmap.DrawMode = dmBlend;
        SrcView->Changed();
    }
    if (DstView != nullptr) {
        DstView->Layers().Clear();
        DstView->SetScaleMode(smScale);
        DstView->Bitmap = std::move(*paper);
        DstView->SetScale(1.0f);
        DstView->Bitmap.StretchFilter = sfLinear;
        DstView->Changed();
    }

    try {
        Document = std::make_unique<TDualImage>(
            SrcView, DstView, 1.0f,
            [this](void* Sender, int Percent) {
                if (OnProgress) OnProgress(Sender, Percent);
            },
            [this](void* Sender) {
                if (OnBeginProgress) OnBeginProgress(Sender);
            },
            [this](void* Sender) {
                if (OnEndProgress) OnEndProgress(Sender);
            });
        Document->SetOnChange([this](void*) { UpdateActions(); });
        Document->PatternManager = PatternManager.get();
        ToolManager = std::make_unique<TToolManager>(Document.get());
    } catch (...) {
        // The old drawing is gone already: the window and the commands must say so (the guard
        // shows why).
        FreeDocument();
        UpdateActions();
        throw;
    }
    if (OnNewDocument) OnNewDocument(this);
    PointerCommandExecute(PointerCommand);
    UpdateActions();
    Changed();
}

// ---------------------------------------------------------------------------------------------
// Saving, rendering at another size, PostScript

void TDomain::SaveImage(TBitmap32& Bitmap, double Resolution) {
    if (!SaveImageDialog.Execute()) return;
    const std::string fileName = SaveImageDialog.FileName;
    std::string failure;
    {
        TBusyCursor busy;
        // The registry's writer of the name's extension; an extension it has no writer for is
        // refused, like a failed write.
        failure = FailureOf([&] { SavePictureFile(Bitmap, fileName, Resolution); });
    }
    if (!failure.empty()) Failed("Error saving file", failure);
    if (Document) Document->Modified = false;
}

void TDomain::SaveCommandExecute(void*) {
    if (!Document || DstView == nullptr) return;
    SaveImage(DstView->Bitmap, 200.0);
}

void TDomain::RenderAtSize() {
    if (!Document || DstView == nullptr || FImgSizeDlg == nullptr) return;
    const TBitmap32& drawing = DstView->Bitmap;
    FImgSizeDlg->SetImageWidth(drawing.Width());
    FImgSizeDlg->SetImageHeight(drawing.Height());
    FImgSizeDlg->SetResolution(200);
    if (FImgSizeDlg->ShowModal() != QDialog::Accepted) return;
    // A size beyond what can be held, or memory that runs out while the strokes are drawn, is
    // said before the file dialog: nothing has been saved.
    std::unique_ptr<TBitmap32> bitmap;
    std::string failure;
    {
        TBusyCursor busy;
        failure = FailureOf(
            [&] {
                bitmap =
                    std::make_unique<TBitmap32>(FImgSizeDlg->GetPixelWidth(), FImgSizeDlg->GetPixelHeight());
                bitmap->Clear(0xFFFFFFFF);
                const float scale =
                    static_cast<float>(static_cast<double>(bitmap->Width()) / drawing.Width());
                Document->RenderStrokes(*bitmap, scale);
            },
            "The drawing could not be rendered");
    }
    if (!failure.empty()) Failed("Error rendering drawing", failure);
    SaveImage(*bitmap, static_cast<double>(FImgSizeDlg->GetResolution()));
}

void TDomain::RenderAllExecute(void*) {
    RenderAtSize();
}

void TDomain::PostScriptCommandExecute(void*) {
    if (!Document) return;
    if (!SavePostScriptDlg.Execute()) return;
    const std::string fileName = SavePostScriptDlg.FileName;
    std::string failure;
    {
        TBusyCursor busy;
        failure = FailureOf([&] { Document->ExportPostScript(fileName); });
    }
    if (!failure.empty()) Failed("Error saving file", failure);
    MessageBox(QMessageBox::Information, "Quorvelle",
               Format("The file was successfully exported as a PostScript file:\r\n%s", fileName.c_str()));
}
