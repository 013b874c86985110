// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a picture: the size limits, the resample offer and its dialog, pictures that cannot be
// read, dropped files and the discard question.
#include "app/UResample.h"
#include "document/DualImage.h"
#include "platform/formats/PictureFormats.h"
#include "platform/qt/ImgView32Widget.h"
#include "platform/raster/Image32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Streams.h"
#include "presets/Styles.h"
#include "tests/app/ShellFixture.h"

#include <QComboBox>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <fstream>
#include <functional>

namespace {

using OpenPicture = TShellTest;

// Runs Action on the resample dialog once it is up, then presses Button.
void WhenResampleShows(std::function<void()> Action, QPushButton* Button) {
    QTimer::singleShot(0, FResample, [Action, Button] {
        Action();
        Button->click();
    });
}

TEST_F(OpenPicture, ADrawingOfThePicturesSizeOnWhitePaper) {
    ASSERT_TRUE(Open(MakePicture(100, 100)));
    TImgView32& src = FMain->ImgSrc->View();
    TImgView32& dst = FMain->ImgDst->View();
    EXPECT_EQ(dst.Bitmap.Width(), 100);
    EXPECT_EQ(dst.Bitmap.Height(), 100);
    EXPECT_EQ(dst.Bitmap.Pixel(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(dst.Bitmap.Pixel(99, 99), 0xFFFFFFFFu);
    EXPECT_FLOAT_EQ(src.Scale(), 1.0f);
    EXPECT_FLOAT_EQ(dst.Scale(), 1.0f);
    EXPECT_EQ(src.Bitmap.MasterAlpha, 128);
    EXPECT_EQ(src.Bitmap.DrawMode, dmBlend);
    EXPECT_FALSE(FMain->panDual->isHidden());
    // The open dialog offered the picture formats; the first style was applied.
    ASSERT_EQ(Requests.size(), 1u);
    EXPECT_FALSE(Requests[0].Save);
    EXPECT_EQ(FMain->cbStyles->currentIndex(), 0);
    EXPECT_EQ(Domain->StyleManager->ItemIndex, 0);
    EXPECT_EQ(Domain->Document->Gain(), Domain->StyleManager->GetQStyle(0).Gain);
    EXPECT_EQ(Domain->Document->ColorMode(), cmSampledColor);
    EXPECT_EQ(Domain->Document->PatternManager, Domain->PatternManager.get());
    EXPECT_TRUE(Messages.empty());
}

// 99 x 101 is 9,999 pixels, one under the least; 100 x 100 opens (above).
TEST_F(OpenPicture, PicturesUnderTenThousandPixelsAreRefused) {
    EXPECT_FALSE(Open(MakePicture(99, 101)));
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Icon, QMessageBox::Critical);
    EXPECT_EQ(Messages[0].Caption, "Error loading image");
    EXPECT_EQ(Messages[0].Text, "The source image is too small (99 x 101 pixels): a picture needs at least "
                                "10,000 pixels, for example 100 x 100");
    EXPECT_TRUE(FMain->ImgSrc->View().Bitmap.Empty());
}

TEST_F(OpenPicture, AFileThatCannotBeReadIsReported) {
    const std::string broken = Folder() + "broken.bmp";
    std::ofstream(broken) << "BM not really a picture";
    EXPECT_FALSE(Open(broken));
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Caption, "Error loading file");
    EXPECT_FALSE(Messages[0].Text.empty());

    Messages.clear();
    const std::string unknown = Folder() + "notes.xyz";
    std::ofstream(unknown) << "hello";
    EXPECT_FALSE(Open(unknown));
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Caption, "Error loading file");
}

TEST_F(OpenPicture, AStreamIsReadByTheReaderOfItsNamesExtension) {
    TBitmap32 photo;
    photo.LoadFromFile(MakePicture(120, 100));
    TMemoryStream tiff;
    SavePicture(photo, tiff, "tif", 200.0);
    tiff.SetPosition(0);
    Domain->LoadImage("/elsewhere/photo.TIF", &tiff);
    EXPECT_EQ(FMain->ImgSrc->View().Bitmap.Pixel(7, 5), photo.Pixel(7, 5));
    EXPECT_EQ(FMain->ImgDst->View().Bitmap.Width(), 120);
    EXPECT_TRUE(Messages.empty());
    // The same bytes under a BMP name are no picture.
    tiff.SetPosition(0);
    EXPECT_THROW(Domain->LoadImage("photo.bmp", &tiff), EAbort);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Caption, "Error loading file");
    EXPECT_EQ(Messages[0].Text.rfind("Not a BMP file", 0), 0u) << Messages[0].Text;
}

TEST_F(OpenPicture, AnUnsavedDrawingStaysUntilANewPictureHasBeenRead) {
    ASSERT_TRUE(Open(MakePicture(120, 100)));
    TDualImage* drawing = Domain->Document.get();
    drawing->BeginChange();
    drawing->SprayAt(60, 50);
    drawing->EndChange();
    const int strokes = drawing->StrokeCount();
    ASSERT_GT(strokes, 0);
    auto expectKept = [&] {
        EXPECT_EQ(Domain->Document.get(), drawing);
        EXPECT_TRUE(drawing->Modified);
        EXPECT_EQ(drawing->StrokeCount(), strokes);
        EXPECT_EQ(FMain->ImgSrc->View().Bitmap.Width(), 120);
        EXPECT_TRUE(Domain->SaveCommand->isEnabled());
    };
    // OK to the question, then Cancel in the file dialog (no name queued).
    Domain->OpenCommand->trigger();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, "Document not saved. Discard anyway?");
    expectKept();

    // OK, then a file that cannot be read; opened or dropped, the drawing stays.
    const std::string broken = Folder() + "broken.bmp";
    std::ofstream(broken) << "BM not really a picture";
    Open(broken);
    FMain->DropFiles({QString::fromStdString(broken)});
    ASSERT_EQ(Messages.size(), 5u);
    EXPECT_EQ(Messages[2].Caption, "Error loading file");
    EXPECT_EQ(Messages[3].Text, "Document not saved. Discard anyway?");
    EXPECT_EQ(Messages[4].Caption, "Error loading file");
    expectKept();

    // A picture that is read takes its place.
    ASSERT_TRUE(Open(MakePicture(160, 120)));
    EXPECT_EQ(Domain->Document->StrokeCount(), 0);
    EXPECT_FALSE(Domain->Document->Modified);
    EXPECT_EQ(FMain->ImgDst->View().Bitmap.Width(), 160);
}

TEST_F(OpenPicture, OneMegapixelLoadsWithoutAnOffer) {
    bool shown = false;
    QTimer::singleShot(0, FResample, [&] {
        shown = FResample->isVisible();
        if (shown) FResample->btLeave->click();
    });
    ASSERT_TRUE(Open(MakePicture(1024, 1024)));
    QApplication::processEvents();
    EXPECT_FALSE(shown);
    EXPECT_EQ(FMain->ImgDst->View().Bitmap.Width(), 1024);
}

TEST_F(OpenPicture, LargerPicturesAreOfferedAboutOneMegapixel) {
    // Leave original keeps the picture as read.
    WhenResampleShows([] {}, FResample->btLeave);
    ASSERT_TRUE(Open(MakePicture(1025, 1024)));
    EXPECT_EQ(FResample->RecommendedWidth, 1024);
    EXPECT_EQ(FResample->RecommendedHeight, 1024);
    EXPECT_EQ(FResample->lblRes->text().toStdString(), "1025 x 1024");
    EXPECT_EQ(FMain->ImgDst->View().Bitmap.Width(), 1025);

    // Resample shrinks to the size in the dialog; a typed width brings the height along.
    WhenResampleShows([] { FResample->seWidth->setValue(1000); }, FResample->btResample);
    ASSERT_TRUE(Open(MakePicture(2000, 1500)));
    EXPECT_EQ(FResample->RecommendedWidth, 1182);
    EXPECT_EQ(FResample->RecommendedHeight, 887);
    EXPECT_EQ(FMain->ImgSrc->View().Bitmap.Width(), 1000);
    EXPECT_EQ(FMain->ImgSrc->View().Bitmap.Height(), 750);
    EXPECT_EQ(FMain->ImgDst->View().Bitmap.Width(), 1000);
    EXPECT_EQ(FMain->ImgDst->View().Bitmap.Height(), 750);
    EXPECT_EQ(Domain->Document->Feature().Width(), 1000);
}

TEST_F(OpenPicture, TheResampleDialogKeepsTheAspectAndItsBounds) {
    FResample->PictureWidth = 3000;
    FResample->PictureHeight = 2000;
    FResample->RecommendedWidth = 1254;
    FResample->RecommendedHeight = 836;
    FResample->FormShow();
    FResample->seHeight->setValue(400);
    EXPECT_EQ(FResample->seWidth->value(), 600);
    FResample->seWidth->setValue(1254);
    EXPECT_EQ(FResample->seHeight->value(), 836);

    // Larger than the picture: refused, by any button.
    FResample->seWidth->setValue(3100);
    EXPECT_FALSE(FResample->FormClose());
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Caption, "Error");
    EXPECT_EQ(Messages[0].Text, "Please select an equal or smaller size\rthan the original image");
    // Too small on one side.
    Messages.clear();
    FResample->seHeight->setValue(99);
    EXPECT_FALSE(FResample->FormClose());
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, "Please select larger values for the image size");
    FResample->seHeight->setValue(100);
    EXPECT_TRUE(FResample->FormClose());
}

TEST_F(OpenPicture, ADroppedFileAsksOverUnsavedStrokesAndGetsTheFirstStyle) {
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    Domain->Document->BeginChange();
    Domain->Document->SprayAt(100, 75);
    Domain->Document->EndChange();
    ASSERT_TRUE(Domain->Document->Modified);
    FMain->SelectStyle(3);
    TDualImage* drawing = Domain->Document.get();

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QString::fromStdString(MakePicture(160, 120)))});
    // As the desktop drops it: onto the window, after the drag entered it.
    FMain->show();
    auto drop = [&] {
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(FMain->windowHandle(), &enter);
        QDropEvent event(QPointF(50, 50), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(FMain->windowHandle(), &event);
        QApplication::processEvents();
    };
    // Cancel keeps the drawing and its style.
    Answers.push_back(QMessageBox::Cancel);
    drop();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, "Document not saved. Discard anyway?");
    EXPECT_EQ(Messages[0].Buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(Domain->Document.get(), drawing);
    EXPECT_EQ(FMain->cbStyles->currentIndex(), 3);

    // OK replaces it; the new picture gets the first style, as an opened one does.
    drop();
    ASSERT_NE(Domain->Document, nullptr);
    EXPECT_EQ(Messages.size(), 2u);
    EXPECT_EQ(FMain->ImgDst->View().Bitmap.Width(), 160);
    EXPECT_FALSE(Domain->Document->Modified);
    EXPECT_EQ(FMain->cbStyles->currentIndex(), 0);
    EXPECT_EQ(Domain->StyleManager->ItemIndex, 0);
    EXPECT_FLOAT_EQ(Domain->Document->Gain(), Domain->StyleManager->GetQStyle(0).Gain);
    FMain->hide();
}

TEST_F(OpenPicture, DroppingTwoFilesLoadsNothing) {
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    FMain->DropFiles(
        {QString::fromStdString(MakePicture(160, 120)), QString::fromStdString(MakePicture(170, 120))});
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, "You can drop only one file");
    EXPECT_EQ(Messages[0].Icon, QMessageBox::Information);
    EXPECT_EQ(FMain->ImgDst->View().Bitmap.Width(), 200);
}

TEST_F(OpenPicture, AFailedDropKeepsTheDrawingAndItsPhoto) {
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    TDualImage* drawing = Domain->Document.get();
    FMain->DropFiles({QString::fromStdString(MakePicture(50, 50))});
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Domain->Document.get(), drawing);
    // The photo, the drawing and the feature map keep one size, so the drawing can go on.
    EXPECT_EQ(FMain->ImgSrc->View().Bitmap.Width(), 200);
    EXPECT_EQ(Domain->Document->Feature().Width(), 200);
    Domain->Document->BeginChange();
    Domain->Document->SprayAt(100, 75);
    Domain->Document->EndChange();
    EXPECT_GT(Domain->Document->StrokeCount(), 0);
}

TEST_F(OpenPicture, ClosingTheWindowAsksOnlyOverUnsavedStrokes) {
    EXPECT_TRUE(FMain->FormClose());
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    EXPECT_TRUE(FMain->FormClose());
    Domain->Document->BeginChange();
    Domain->Document->SprayAt(100, 75);
    Domain->Document->EndChange();
    Answers.push_back(QMessageBox::No);
    EXPECT_FALSE(FMain->FormClose());
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(FMain->FormClose());
}

} // namespace
