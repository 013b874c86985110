// SPDX-License-Identifier: GPL-3.0-or-later
// The style editor as the style manager runs it: the values it shows, what the controls write
// into the style, the preview that waits for the mouse release, and what the manager keeps
// after Accept and Cancel.
#include "app/UFormStyle.h"

#include "platform/qt/GaugeBar.h"
#include "platform/qt/ImgView32Widget.h"
#include "platform/raster/Bitmap32.h"
#include "platform/system/ApplicationFolder.h"
#include "presets/EditorHooks.h"
#include "presets/Styles.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace {
// Runs Steps on the dialog once it is shown modally; the dialog is cancelled afterwards when
// the steps left it open.
void WhenShown(std::function<void(TFormStyle&)> Steps) {
    QTimer::singleShot(0, [Steps] {
        auto* form = qobject_cast<TFormStyle*>(QApplication::activeModalWidget());
        ASSERT_NE(form, nullptr);
        ASSERT_TRUE(form->isVisible());
        Steps(*form);
        if (form->isVisible()) form->reject();
    });
}

void Click(QWidget* W, QPoint P) {
    QTest::mousePress(W, Qt::LeftButton, Qt::NoModifier, P);
    QTest::mouseRelease(W, Qt::LeftButton, Qt::NoModifier, P);
}

std::vector<uint32_t> Pixels(const TBitmap32& B) {
    return {B.Bits(), B.Bits() + static_cast<size_t>(B.Width()) * B.Height()};
}

struct TStyleFiles {
    TStyleFiles() { InstallStyleEditor(); }
    ~TStyleFiles() {
        SetStyleEditorHook(nullptr);
        for (const auto& entry : std::filesystem::directory_iterator(ApplicationFolder()))
            std::filesystem::remove(entry.path());
    }
};
} // namespace

TEST(FormStyleTest, ANewStyleNeedsANameAndIsSavedOnAccept) {
    TStyleFiles files;
    TStyleManager manager;
    ASSERT_EQ(manager.Count(), 0);
    manager.EditorCaption = "Create New Style";
    WhenShown([](TFormStyle& form) {
        EXPECT_EQ(form.windowTitle(), "Create New Style");
        EXPECT_EQ(form.size(), QSize(632, 284));
        QStringList captions;
        for (const QLabel* label : form.findChildren<QLabel*>())
            captions << label->text();
        EXPECT_TRUE(captions.contains(QStringLiteral("Border limit")));
        EXPECT_FALSE(captions.contains(QStringLiteral("Borders")));
        // The default style on the gauges; a never edited border limit of 128 shows 100.
        EXPECT_EQ(form.gaPolyStep->Position(), 75);
        EXPECT_EQ(form.gaLength->Position(), 139);
        EXPECT_EQ(form.gaGain->Position(), 200);
        EXPECT_EQ(form.gaWidth->Position(), 10);
        EXPECT_EQ(form.gaBrdLimit->Position(), 100);
        EXPECT_EQ(form.gaGain->LargeChange(), 220);
        EXPECT_EQ(form.gaLength->LargeChange(), 33);
        EXPECT_EQ(form.lblPolyStep->text(), "75");
        EXPECT_EQ(form.lblLength->text(), "100");
        EXPECT_EQ(form.lblGain->text(), "2");
        EXPECT_EQ(form.lblWidth->text(), "1");
        EXPECT_EQ(form.lblBorder->text(), "100");
        // The preview was drawn once for the dialog.
        EXPECT_EQ(form.ImgPreview->Image().Bitmap.Width(), 512);
        EXPECT_EQ(form.ImgSample->Image().Bitmap.Width(), 256);

        EXPECT_FALSE(form.btAccept->isEnabled());
        QTest::keyClicks(form.edStyleName, "I");
        EXPECT_TRUE(form.btAccept->isEnabled());
        form.edStyleName->clear();
        EXPECT_FALSE(form.btAccept->isEnabled());
        QTest::keyClicks(form.edStyleName, "Ink");
        form.btAccept->click();
    });
    EXPECT_TRUE(manager.New());
    ASSERT_EQ(manager.Count(), 1);
    const TQStyle& style = manager.Current();
    EXPECT_EQ(style.Name, "Ink");
    EXPECT_EQ(style.PolyStep, 25);
    EXPECT_EQ(style.Length, 100);
    EXPECT_EQ(style.BorderLimit, 100);
    ASSERT_FALSE(style.FileName.empty());
    EXPECT_TRUE(std::filesystem::exists(style.FileName));
}

TEST(FormStyleTest, AcceptingUntouchedKeepsTheValuesBarTheGaugesGrid) {
    TStyleFiles files;
    TStyleManager manager;
    manager.Styles.push_back(std::make_unique<TQStyle>());
    TQStyle& style = *manager.Styles.back();
    style.SetName("Pen");
    style.SetPrecision(40);
    style.SetLength(58);
    style.SetGain(2.5f);
    style.SetWidth(1.5f);
    style.SetBorderLimit(120);
    style.StopOnBorders = false;
    manager.SetIndex(0);
    WhenShown([](TFormStyle& form) {
        EXPECT_EQ(form.edStyleName->text(), "Pen");
        EXPECT_FALSE(form.cbStopBorder->isChecked());
        EXPECT_EQ(form.lblGain->text(), "2.5");
        EXPECT_EQ(form.lblWidth->text(), "1.5");
        form.btAccept->click();
    });
    EXPECT_TRUE(manager.Edit());
    EXPECT_EQ(style.PolyStep, 40);
    EXPECT_FLOAT_EQ(style.Gain, 2.5f);
    EXPECT_FLOAT_EQ(style.Width, 1.5f);
    EXPECT_EQ(style.Length, 57);
    EXPECT_EQ(style.BorderLimit, 100);
    EXPECT_FALSE(style.StopOnBorders);
}

TEST(FormStyleTest, CancelGivesTheStyleBackItsValues) {
    TStyleFiles files;
    TStyleManager manager;
    manager.Styles.push_back(std::make_unique<TQStyle>());
    TQStyle& style = *manager.Styles.back();
    style.SetName("Pen");
    manager.SetIndex(0);
    WhenShown([](TFormStyle& form) {
        form.gaGain->SetPosition(900);
        form.cbStopBorder->click();
        EXPECT_FLOAT_EQ(form.Style->Gain, 9.0f);
        EXPECT_FALSE(form.Style->StopOnBorders);
        form.edStyleName->setText("Other");
        QTest::keyClick(&form, Qt::Key_Escape);
    });
    EXPECT_FALSE(manager.Edit());
    EXPECT_FLOAT_EQ(style.Gain, 2.0f);
    EXPECT_TRUE(style.StopOnBorders);
    EXPECT_EQ(style.Name, "Pen");
    EXPECT_TRUE(style.FileName.empty());
}

TEST(FormStyleTest, ThePreviewFollowsOnlyAtTheMouseRelease) {
    TStyleFiles files;
    TStyleManager manager;
    manager.Styles.push_back(std::make_unique<TQStyle>());
    manager.Styles.back()->SetName("Pen");
    manager.SetIndex(0);
    WhenShown([](TFormStyle& form) {
        TQStyle& style = *form.Style;
        const std::vector<uint32_t> before = Pixels(form.ImgPreview->Image().Bitmap);

        // A press on the gain gauge's track moves it by a page: the label follows at once, the
        // preview waits.
        TGaugeBar* gain = form.gaGain;
        const QPoint track(gain->width() - 4, gain->height() / 2);
        QTest::mousePress(gain, Qt::LeftButton, Qt::NoModifier, track);
        EXPECT_EQ(gain->Position(), 420);
        EXPECT_EQ(form.lblGain->text(), "4.2");
        EXPECT_TRUE(style.UpdateLock);
        EXPECT_TRUE(style.Dirty);
        EXPECT_EQ(Pixels(form.ImgPreview->Image().Bitmap), before);
        QTest::mouseRelease(gain, Qt::LeftButton, Qt::NoModifier, track);
        EXPECT_FALSE(style.Dirty);
        const std::vector<uint32_t> after = Pixels(form.ImgPreview->Image().Bitmap);
        EXPECT_NE(after, before);

        // The box takes its click before the release redraws.
        style.BeginUpdate();
        Click(form.cbStopBorder, QPoint(6, form.cbStopBorder->height() / 2));
        EXPECT_FALSE(style.StopOnBorders);
        // A change made without the mouse is drawn at the next release, also one over the
        // name's label.
        form.gaWidth->SetPosition(60);
        EXPECT_TRUE(style.Dirty);
        Click(form.lblStyleName, QPoint(3, 3));
        EXPECT_FALSE(style.Dirty);
        EXPECT_NE(Pixels(form.ImgPreview->Image().Bitmap), after);
    });
    manager.Edit();
}
