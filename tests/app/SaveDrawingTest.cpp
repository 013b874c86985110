// SPDX-License-Identifier: GPL-3.0-or-later
// Writing the drawing out: Save by extension, the render at another size and resolution with
// its dialog, and the PostScript export.
#include "app/UImgSizeDlg.h"
#include "controls/FloatEd.h"
#include "document/DualImage.h"
#include "document/QStates.h"
#include "platform/qt/ImgView32Widget.h"
#include "platform/raster/Bitmap32.h"
#include "platform/raster/Image32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Format.h"
#include "tests/app/ShellFixture.h"
#include "tests/support/WriteFaults.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <tiffio.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>

namespace {

class SaveDrawing : public TShellTest {
protected:
    void SetUp() override {
        TShellTest::SetUp();
        ASSERT_TRUE(Open(MakePicture(200, 150)));
        Domain->Document->BeginChange();
        Domain->Document->SprayAt(100, 75);
        Domain->Document->EndChange();
        ASSERT_TRUE(Domain->Document->Modified);
    }

    // Saves under Name and returns the first bytes of the file written (empty when none).
    std::string Save(const std::string& Name) {
        FileNames.push_back(Folder() + Name);
        Domain->SaveCommand->trigger();
        return Head(Folder() + Name);
    }

    static std::string Head(const std::string& File) {
        std::ifstream in(File, std::ios::binary);
        std::string bytes(4, '\0');
        if (!in.read(bytes.data(), 4)) return {};
        return bytes;
    }

    static float TiffResolution(const std::string& File, uint32_t* Width = nullptr) {
        TIFF* tif = TIFFOpen(File.c_str(), "r");
        if (tif == nullptr) return -1;
        float resolution = 0;
        TIFFGetField(tif, TIFFTAG_XRESOLUTION, &resolution);
        if (Width != nullptr) TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, Width);
        TIFFClose(tif);
        return resolution;
    }
};

TEST_F(SaveDrawing, TheExtensionChoosesTheFormat) {
    EXPECT_EQ(Save("a.bmp").substr(0, 2), "BM");
    EXPECT_FALSE(Domain->Document->Modified);
    EXPECT_EQ(Save("b.JPEG").substr(0, 2), "\xFF\xD8");
    EXPECT_EQ(Save("c.jpeg").substr(0, 2), "\xFF\xD8");
    EXPECT_EQ(Save("d.tif").substr(0, 2), "II");
    EXPECT_FLOAT_EQ(TiffResolution(Folder() + "d.tif"), 200.0f);
    // A name without extension gets the dialog's default one.
    FileNames.push_back(Folder() + "plain");
    Domain->SaveCommand->trigger();
    EXPECT_EQ(Head(Folder() + "plain.jpg").substr(0, 2), "\xFF\xD8");
    ASSERT_FALSE(Requests.empty());
    EXPECT_EQ(Requests.back().DefaultExt, "jpg");
    EXPECT_EQ(Requests.back().Filter, "JPEG (*.jpg)|*.jpg|BMP (*.bmp)|*.bmp|TIFF (*.tif)|*.tif");
}

TEST_F(SaveDrawing, AnUnknownExtensionOrAFailedWriteKeepsTheDrawingUnsaved) {
    // Neither is silent, since the dialog closing alone would look like success.
    EXPECT_EQ(Save("e.png"), "");
    EXPECT_TRUE(Domain->Document->Modified);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Caption, "Error saving file");
    EXPECT_NE(Messages[0].Text.find(".png"), std::string::npos);
    Messages.clear();
    EXPECT_EQ(Save("no/such/folder/f.bmp"), "");
    EXPECT_TRUE(Domain->Document->Modified);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Icon, QMessageBox::Critical);
    EXPECT_EQ(Messages[0].Caption, "Error saving file");
    EXPECT_FALSE(Messages[0].Text.empty());
    // A write that fails half-way leaves no file that could pass for a saved drawing.
    TBitmap32 empty;
    FileNames.push_back(Folder() + "g.jpg");
    EXPECT_THROW(Domain->SaveImage(empty, 200.0), EAbort);
    EXPECT_FALSE(std::filesystem::exists(Folder() + "g.jpg"));
    EXPECT_TRUE(Domain->Document->Modified);
    EXPECT_EQ(Messages.size(), 2u);
    // Cancelling the dialog changes nothing.
    Domain->SaveCommand->trigger();
    EXPECT_TRUE(Domain->Document->Modified);
}

TEST_F(SaveDrawing, AFullDiskIsSaidAndKeepsTheOldFileAndTheDrawingUnsaved) {
    for (const std::string name : {"a.bmp", "b.jpg", "c.tif", "d.ps"}) {
        SCOPED_TRACE(name);
        const std::string path = Folder() + name;
        std::ofstream(path) << "the earlier version";
        Domain->Document->Modified = true;
        Messages.clear();
        FileNames.push_back(path);
        {
            TWriteFaultScope fault(TFaultPoint::fpClose, 0, ENOSPC, Folder());
            if (name == "d.ps")
                Domain->PostScriptCommand->trigger();
            else
                Domain->SaveCommand->trigger();
        }
        ASSERT_EQ(Messages.size(), 1u);
        EXPECT_EQ(Messages[0].Caption, "Error saving file");
        EXPECT_EQ(Messages[0].Text, "Could not write " + path + ": No space left on device");
        EXPECT_TRUE(Domain->Document->Modified);
        EXPECT_EQ(FileBytes(path), "the earlier version");
        for (const std::string& entry : FolderEntries(Folder()))
            EXPECT_NE(entry.rfind("." + name, 0), 0u) << entry;
    }
}

TEST(SaveDialogName, ANameWithoutExtensionTakesTheChosenTypes) {
    EXPECT_EQ(NameWithExtension("/a/drawing", "BMP (*.bmp)", "jpg"), "/a/drawing.bmp");
    EXPECT_EQ(NameWithExtension("/a/drawing.", "TIFF (*.tif)", "jpg"), "/a/drawing.tif");
    EXPECT_EQ(NameWithExtension("/a/drawing", "", "jpg"), "/a/drawing.jpg");
    EXPECT_EQ(NameWithExtension("/a/drawing", "All (*.bmp *.jpg)", "jpg"), "/a/drawing.jpg");
    EXPECT_EQ(NameWithExtension("/a.b/drawing.png", "BMP (*.bmp)", "jpg"), "/a.b/drawing.png");
    EXPECT_EQ(NameWithExtension("/a/photo", "All (*.bmp *.jpg)", ""), "/a/photo");
}

TEST_F(SaveDrawing, RenderAtAnotherSizeAndResolution) {
    QTimer::singleShot(0, FImgSizeDlg, [] {
        EXPECT_EQ(FImgSizeDlg->seHorizPixels->value(), 200);
        EXPECT_EQ(FImgSizeDlg->seVertPixels->value(), 150);
        EXPECT_EQ(FImgSizeDlg->seRes->value(), 200);
        FImgSizeDlg->seRes->setValue(300);
        FImgSizeDlg->seHorizPixels->setValue(400);
        FImgSizeDlg->btOk->click();
    });
    FileNames.push_back(Folder() + "big.tif");
    Domain->RenderAll->trigger();
    uint32_t width = 0;
    EXPECT_FLOAT_EQ(TiffResolution(Folder() + "big.tif", &width), 300.0f);
    EXPECT_EQ(width, 400u);
    EXPECT_FALSE(Domain->Document->Modified);

    // Cancel in the size dialog: no file dialog.
    const size_t requests = Requests.size();
    QTimer::singleShot(0, FImgSizeDlg, [] { FImgSizeDlg->btCancel->click(); });
    Domain->RenderAll->trigger();
    EXPECT_EQ(Requests.size(), requests);

    // A size beyond what the program can hold is said so, and no file is asked for.
    QTimer::singleShot(0, FImgSizeDlg, [] {
        FImgSizeDlg->seHorizPixels->setValue(40000);
        FImgSizeDlg->btOk->click();
    });
    Domain->RenderAll->trigger();
    EXPECT_EQ(Requests.size(), requests);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Caption, "Error rendering drawing");
    EXPECT_EQ(Messages[0].Text.rfind("The picture is too large", 0), 0u) << Messages[0].Text;
}

TEST_F(SaveDrawing, MemoryThatRunsOutWhileRenderingIsToldAsTheRenderBeforeAnyFileIsAskedFor) {
    // The render's first step stands in for any allocation of it that fails.
    const TNotifyEvent begin = Domain->OnBeginProgress;
    Domain->OnBeginProgress = [](void*) { throw std::bad_alloc(); };
    QTimer::singleShot(0, FImgSizeDlg, [] { FImgSizeDlg->btOk->click(); });
    const size_t requests = Requests.size();
    Domain->RenderAll->trigger();
    Domain->OnBeginProgress = begin;
    EXPECT_EQ(Requests.size(), requests);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Icon, QMessageBox::Critical);
    EXPECT_EQ(Messages[0].Caption, "Error rendering drawing");
    EXPECT_EQ(Messages[0].Text, "Out of memory");
    EXPECT_TRUE(Domain->Document->Modified);
}

TEST_F(SaveDrawing, RenderRefusesASizeBelowOnePixel) {
    // A width of 0 brings the height to 0: Save says so and the dialog stays for a new size.
    const size_t requests = Requests.size();
    bool stayed = false;
    QTimer::singleShot(0, FImgSizeDlg, [&] {
        FImgSizeDlg->seHorizPixels->setValue(0);
        FImgSizeDlg->btOk->click();
        stayed = FImgSizeDlg->isVisible();
        FImgSizeDlg->btCancel->click();
    });
    Domain->RenderAll->trigger();
    EXPECT_TRUE(stayed);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, "Please select a size of at least 1 x 1 pixels");
    EXPECT_EQ(Requests.size(), requests);
    EXPECT_TRUE(Domain->Document->Modified);
}

TEST_F(SaveDrawing, PostScriptIsConfirmedWithThePathOnASecondLine) {
    FileNames.push_back(Folder() + "drawing");
    Domain->PostScriptCommand->trigger();
    const std::string file = Folder() + "drawing.ps";
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.rfind("%!PS-Adobe-2.0", 0), 0u);
    EXPECT_FALSE(Domain->Document->Modified);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Icon, QMessageBox::Information);
    EXPECT_EQ(Messages[0].Caption, "Quorvelle");
    EXPECT_EQ(Messages[0].Text, "The file was successfully exported as a PostScript file:\r\n" + file);
}

// A cleaner of old temporary files empties the temporary folder while the drawing is open: the
// PostScript file and the render at another size still hold every stroke the drawing shows.
TEST_F(SaveDrawing, OutputsHoldEveryStrokeAfterTheTemporaryFolderIsEmptied) {
    bool done = false;
    for (int i = 0; i < 6; ++i) {
        Domain->Document->BeginChange();
        Domain->Document->SprayAt(30 + 25 * i, 40 + 15 * i);
        Domain->Document->EndChange();
        FMain->ApplicationIdle(done);
    }
    Domain->Document->History().WaitForSwapOuts();
    int removed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::temp_directory_path()))
        if (entry.is_regular_file()) removed += std::filesystem::remove(entry.path()) ? 1 : 0;
    EXPECT_GT(removed, 1);
    Domain->Document->BeginChange();
    Domain->Document->SprayAt(150, 110);
    Domain->Document->EndChange();

    FileNames.push_back(Folder() + "drawing.ps");
    Domain->PostScriptCommand->trigger();
    const std::string text = FileBytes(Folder() + "drawing.ps");
    int paths = 0;
    for (size_t at = text.find("newpath"); at != std::string::npos; at = text.find("newpath", at + 1))
        ++paths;
    EXPECT_EQ(paths, Domain->Document->StrokeCount());
    // At the drawing's own size the render is the drawing.
    QTimer::singleShot(0, FImgSizeDlg, [] { FImgSizeDlg->btOk->click(); });
    FileNames.push_back(Folder() + "again.bmp");
    Domain->RenderAll->trigger();
    ASSERT_EQ(Messages.size(), 1u); // the PostScript file's confirmation
    TBitmap32 again;
    again.LoadFromFile(Folder() + "again.bmp");
    const TBitmap32& drawing = Domain->Document->DestBitmap();
    ASSERT_EQ(again.Width(), drawing.Width());
    ASSERT_EQ(again.Height(), drawing.Height());
    EXPECT_TRUE(std::equal(again.Bits(), again.Bits() + again.Width() * again.Height(), drawing.Bits()));
}

TEST(EstimatedSize, FourSignificantDigits) {
    SetDecimalSeparator('.');
    EXPECT_EQ(FormatEstimatedSize(800LL * 600 * 3), "1.373 MBytes");
    EXPECT_EQ(FormatEstimatedSize(100LL * 100 * 3), "29.3 KBytes");
    EXPECT_EQ(FormatEstimatedSize(10LL * 10 * 3), "300 Bytes");
    EXPECT_EQ(FormatEstimatedSize(2000LL * 2000 * 3), "11.44 MBytes");
    EXPECT_EQ(FormatEstimatedSize(40000LL * 40000 * 3), "4.47 GBytes");
}

// The dialog as a drawing of 800 x 600 pixels opens it, with a point as the decimal separator.
class ImgSizeDialog : public TShellTest {
protected:
    TFImgSizeDlg& Dialog() {
        SetDecimalSeparator('.');
        FImgSizeDlg->SetImageWidth(800);
        FImgSizeDlg->SetImageHeight(600);
        FImgSizeDlg->SetResolution(200);
        return *FImgSizeDlg;
    }
};

TEST_F(ImgSizeDialog, SizesKeepTheDrawingsAspect) {
    TFImgSizeDlg& d = Dialog();
    d.FormShow();
    EXPECT_EQ(d.seHorizInches->GetValue(), 4.0L);
    EXPECT_EQ(d.seVertInches->GetValue(), 3.0L);
    EXPECT_EQ(d.lblEstimSize->text().toStdString(), "Estimated Size:1.373 MBytes");

    // A width in pixels brings the height and both sizes.
    d.seHorizPixels->setValue(1000);
    EXPECT_EQ(d.seVertPixels->value(), 750);
    EXPECT_NEAR(static_cast<double>(d.seHorizInches->GetValue()), 5.0, 1e-9);
    EXPECT_NEAR(static_cast<double>(d.seVertInches->GetValue()), 3.75, 1e-9);
    // A size in inches brings the other size and both pixel sizes.
    d.seHorizInches->SetValue(2);
    EXPECT_NEAR(static_cast<double>(d.seVertInches->GetValue()), 1.5, 1e-9);
    EXPECT_EQ(d.seHorizPixels->value(), 400);
    EXPECT_EQ(d.seVertPixels->value(), 300);
    // The resolution changes only the pixel sizes.
    d.seRes->setValue(100);
    EXPECT_EQ(d.seHorizPixels->value(), 200);
    EXPECT_NEAR(static_cast<double>(d.seHorizInches->GetValue()), 2.0, 1e-9);

    // Centimetres: the sizes times 2.54, rounded to two decimals.
    d.rbCentimeters->click();
    EXPECT_EQ(d.gbSizeInches->title().toStdString(), "Size in Centimeters");
    EXPECT_NEAR(static_cast<double>(d.seHorizInches->GetValue()), 5.08, 1e-9);
    EXPECT_NEAR(static_cast<double>(d.seVertInches->GetValue()), 3.81, 1e-9);
    EXPECT_EQ(d.seHorizPixels->value(), 200);
    d.rbInches->click();
    EXPECT_EQ(d.gbSizeInches->title().toStdString(), "Size in Inches");
    EXPECT_NEAR(static_cast<double>(d.seHorizInches->GetValue()), 2.0, 1e-9);
}

TEST_F(ImgSizeDialog, PastedTextThatIsNotANumberIsNotTaken) {
    TFImgSizeDlg& d = Dialog();
    d.show();
    auto paste = [](QWidget* Edit, const char* Text) {
        QApplication::clipboard()->setText(QString::fromLatin1(Text));
        auto* line = Edit->findChild<QLineEdit*>();
        line->selectAll();
        QTest::keyClick(line, Qt::Key_V, Qt::ControlModifier);
        return line->text().toStdString();
    };
    for (QWidget* edit : d.Edits) {
        const std::string before = edit->findChild<QLineEdit*>()->text().toStdString();
        EXPECT_EQ(paste(edit, "52abc"), before);
        EXPECT_EQ(d.seHorizPixels->value(), 800);
        EXPECT_EQ(d.seVertPixels->value(), 600);
    }
    // A number pastes as typed.
    EXPECT_EQ(paste(d.seHorizInches, "5"), "5");
    EXPECT_EQ(d.seHorizPixels->value(), 1000);
    d.reject();
}

TEST_F(ImgSizeDialog, ASideClampedToTheLargestKeepsTheAspect) {
    TFImgSizeDlg& d = Dialog();
    d.FormShow();
    d.seVertPixels->setValue(100000);
    EXPECT_EQ(d.seHorizPixels->value(), 100000);
    EXPECT_EQ(d.seVertPixels->value(), 75000);
    // From a size and resolution too: 40 x 30 inches at 5000 dots per inch. The sizes then show
    // what will be rendered, 20 x 15 inches.
    d.seRes->setValue(5000);
    d.seHorizInches->SetValue(40);
    EXPECT_EQ(d.seHorizPixels->value(), 100000);
    EXPECT_EQ(d.seVertPixels->value(), 75000);
    auto expectInches = [&](double Width, double Height, const char* When) {
        EXPECT_NEAR(static_cast<double>(d.seHorizInches->GetValue()), Width, 1e-9) << When;
        EXPECT_NEAR(static_cast<double>(d.seVertInches->GetValue()), Height, 1e-9) << When;
    };
    expectInches(20, 15, "width typed");
    // 1000 x 750 inches at 200 dots per inch are 500 x 375 inches, whichever size was typed.
    d.seRes->setValue(200);
    EXPECT_EQ(d.seHorizPixels->value(), 4000);
    d.seVertInches->SetValue(750);
    EXPECT_EQ(d.seHorizPixels->value(), 100000);
    EXPECT_EQ(d.seVertPixels->value(), 75000);
    expectInches(500, 375, "height typed");
    // A resolution that makes a side too large brings the sizes down.
    d.seHorizInches->SetValue(100);
    d.seRes->setValue(2000);
    EXPECT_EQ(d.seHorizPixels->value(), 100000);
    expectInches(50, 37.5, "resolution raised");
    EXPECT_EQ(d.lblEstimSize->text().toStdString(), "Estimated Size:20.95 GBytes");
    // In centimetres likewise: 500 cm at 508 dots per inch would be 100000.
    d.rbCentimeters->click();
    d.seRes->setValue(508);
    d.seHorizInches->SetValue(600);
    EXPECT_EQ(d.seHorizPixels->value(), 100000);
    expectInches(500, 375, "centimetres");
    // The resolution stays in dots per inch, and the label says so in either unit.
    EXPECT_EQ(d.lblPerInches->text().toStdString(), "per inch");
    d.rbInches->click();
}

} // namespace
