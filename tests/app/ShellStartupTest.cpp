// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up: the modules and forms in their order, what each finds of the ones before it, and the
// command enabling of a program without a drawing.
#include "app/Startup.h"
#include "app/UImgSizeDlg.h"
#include "app/UResample.h"
#include "app/UdmGlobalConfig.h"
#include "controls/ImageListViewer.h"
#include "platform/formats/PictureFormats.h"
#include "platform/qt/GaugeBar.h"
#include "platform/qt/ImgView32Widget.h"
#include "platform/raster/Image32.h"
#include "presets/Patterns.h"
#include "presets/Styles.h"
#include "tests/app/ShellFixture.h"
#include "tests/support/AllowedSkip.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>

#include <climits>
#include <fstream>
#include <sys/resource.h>

namespace {

class ShellStartup : public TShellTest {
protected:
    void PrepareFolder() override {
        // Leftovers in "tmp" go at start; its sub-folders stay.
        std::filesystem::create_directories(Folder() + "tmp/keep");
        std::ofstream(Folder() + "tmp/old.bmp") << "x";
        std::ofstream(Folder() + "tmp/keep/inner.txt") << "x";
    }
};

TEST_F(ShellStartup, MakesEveryModuleOnceInItsOrder) {
    ASSERT_NE(dmGlobalConfig, nullptr);
    ASSERT_NE(Domain, nullptr);
    ASSERT_NE(FMain, nullptr);
    ASSERT_NE(FImgSizeDlg, nullptr);
    ASSERT_NE(FResample, nullptr);
    EXPECT_EQ(FMain->windowTitle().toStdString(), "Quorvelle PS");

    // The command module came before the main window: the window has its views and events.
    EXPECT_EQ(Domain->SrcView, &FMain->ImgSrc->View());
    EXPECT_EQ(Domain->DstView, &FMain->ImgDst->View());
    EXPECT_TRUE(Domain->OnChange && Domain->OnContextHelp && Domain->OnProgress && Domain->OnUpdatePattern &&
                Domain->OnUpdateStyle && Domain->OnDeletePattern && Domain->OnDeleteStyle &&
                Domain->OnBeginProgress && Domain->OnEndProgress);
    // The configuration module came first: its pictures are there.
    TBitmap32 background;
    dmGlobalConfig->LoadBackground(background);
    EXPECT_EQ(background.Width(), 127);
    EXPECT_EQ(background.Height(), 127);
    EXPECT_GT(dmGlobalConfig->splashImage.Size(), 200000);

    // The "tmp" folder was emptied of files.
    EXPECT_FALSE(std::filesystem::exists(Folder() + "tmp/old.bmp"));
    EXPECT_TRUE(std::filesystem::exists(Folder() + "tmp/keep/inner.txt"));

    // The presets of the application folder are on the lists; the list shows the current style.
    ASSERT_EQ(Domain->StyleManager->Count(), 5);
    EXPECT_EQ(FMain->cbStyles->count(), 5);
    EXPECT_EQ(FMain->cbStyles->currentIndex(), Domain->StyleManager->ItemIndex);
    EXPECT_EQ(FMain->cbStyles->itemText(0).toStdString(), Domain->StyleManager->GetQStyle(0).Name);
    EXPECT_EQ(FMain->PatternImageList.Count(), Domain->PatternManager->Count());
    EXPECT_EQ(FMain->PatternImageListViewer->ImageList(), &FMain->PatternImageList);
    EXPECT_EQ(Domain->HelpCmdFileName, Folder() + "Manual/index.html");
}

TEST_F(ShellStartup, WithoutADrawingOnlyTheCommandsThatNeedNoneAreEnabled) {
    QAction* enabled[] = {Domain->OpenCommand,        Domain->ExitCommand,       Domain->NewPatternCommand,
                          Domain->EditPatternCommand, Domain->DelPatternCommand, Domain->NewStyleCommand,
                          Domain->EditStyleCommand,   Domain->DelStyleCommand,   Domain->HelpCommand,
                          Domain->ContextHelpCommand, Domain->AboutCommand,      Domain->HelpCmd,
                          Domain->SelColor,           Domain->SetColorModeAuto,  Domain->SetColorModeCustom};
    for (QAction* a : enabled)
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
    QAction* disabled[] = {
        Domain->SaveCommand,        Domain->CloseCommand,          Domain->PostScriptCommand,
        Domain->UndoCommand,        Domain->RedoCommand,           Domain->PointerCommand,
        Domain->PatternCommand,     Domain->AutoDirCommand,        Domain->FreeHandCommand,
        Domain->ViewBordersCommand, Domain->ViewDirectionsCommand, Domain->StopOnBordersCommand,
        Domain->RenderAll};
    for (QAction* a : disabled)
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();

    // The colour commands do nothing without a drawing.
    Domain->SelColor->trigger();
    Domain->SetColorModeAuto->trigger();
    EXPECT_EQ(Domain->Document, nullptr);

    // Without a drawing only the backdrop shows, and the gauges show their bounds.
    EXPECT_TRUE(FMain->panDual->isHidden());
    EXPECT_TRUE(FMain->panPanels->isHidden());
    EXPECT_EQ(FMain->lblPolyStep->text().toStdString(), "6");
    EXPECT_EQ(FMain->lblBorder->text().toStdString(), "100");
    EXPECT_EQ(FMain->lblPSCount->text().toStdString(), "0 Vectors");
    EXPECT_TRUE(Messages.empty());
}

TEST_F(ShellStartup, ActionsCarryTheirCaptionsAndKeys) {
    EXPECT_EQ(Domain->ActionList().size(), 28u);
    EXPECT_EQ(Domain->ActionList()[2].Action, Domain->CloseCommand);
    EXPECT_EQ(Domain->CloseCommand->text().toStdString(), "&Close");
    EXPECT_EQ(Domain->CloseCommand->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F4));
    EXPECT_EQ(Domain->RenderAll->text().toStdString(), "Save at different size...");
    EXPECT_EQ(Domain->AutoDirCommand->toolTip().toStdString(), "Auto Sketch");
    EXPECT_EQ(Domain->HelpCmd->toolTip().toStdString(), "Run");
    EXPECT_EQ(Domain->HelpCmd->statusTip().toStdString(), "Runs an application");

    Domain->HelpCommand->trigger();
    ASSERT_EQ(Opened.size(), 1u);
    EXPECT_EQ(Opened[0], Folder() + "Manual/index.html");
    EXPECT_TRUE(Messages.empty());
    // With no program to open it, the manual's place is said instead of nothing happening.
    SetShellOpenHook([](const std::string&) { return false; });
    Domain->HelpCommand->trigger();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_NE(Messages[0].Text.find("Manual/index.html"), std::string::npos);
}

TEST(OpenFileLimit, StartUpRaisesTheSoftLimitToTheHardOne) {
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    if (saved.rlim_max < 128) QUOR_ALLOWED_SKIP() << "the hard limit on open files is below 128";
    rlimit low = saved;
    low.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    const long raised = RaiseOpenFileLimit();
    rlimit now{};
    getrlimit(RLIMIT_NOFILE, &now);
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_GT(now.rlim_cur, 64u);
    if (saved.rlim_max != RLIM_INFINITY) {
        EXPECT_EQ(now.rlim_cur, saved.rlim_max);
    }
    EXPECT_EQ(raised, now.rlim_cur == RLIM_INFINITY ? LONG_MAX : static_cast<long>(now.rlim_cur));
}

TEST(DisplayRequirement, OneParagraphPerRequirementNotMet) {
    EXPECT_EQ(DisplayRequirementText(1024, 768, 32), "");
    EXPECT_EQ(DisplayRequirementText(800, 600, 16), "");
    EXPECT_EQ(
        DisplayRequirementText(1024, 768, 8),
        "The number of colors of the screen should be equal to 65.536 (hi color) colors or higher. Change "
        "screen colors in the display settings.");
    EXPECT_EQ(
        DisplayRequirementText(640, 480, 16),
        "The screen resolution should be equal 800x600 pixels or higher. Change screen resolution in the "
        "display settings.");
    const std::string both = DisplayRequirementText(640, 480, 8);
    EXPECT_NE(
        both.find("higher. Change screen resolution in the display settings.\r\n\r\nThe number of colors"),
        std::string::npos);
}

TEST(PictureDialogFilter, OffersEveryRegisteredExtensionAllFirst) {
    RegisterPictureFormats();
    const std::string filter = PictureDialogFilter();
    EXPECT_EQ(filter.rfind("All (", 0), 0u);
    for (const char* ext : {"*.bmp", "*.dib", "*.jpg", "*.jfif", "*.png", "*.tif"})
        EXPECT_NE(filter.find(ext), std::string::npos) << ext;
    EXPECT_EQ(QtFileFilter("JPEG (*.jpg)|*.jpg|BMP (*.bmp)|*.bmp"), "JPEG (*.jpg);;BMP (*.bmp)");
    EXPECT_EQ(QtFileFilter("Postscript (*.ps) | *.ps"), "Postscript (*.ps)");
    EXPECT_EQ(QtFileFilter("All (*.a;*.b)|*.a;*.b"), "All (*.a *.b)");
}

} // namespace
