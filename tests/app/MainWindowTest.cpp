// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: the gauges, the panels per tool, the brush preview, the style list and the
// pattern grid, context help, the scroll coupling of the views, Shift forwarding and idle work.
#include "app/HlpWnd.h"
#include "app/PanelColor.h"
#include "app/Tools.h"
#include "controls/ImageListViewer.h"
#include "controls/QuickValue.h"
#include "document/DualImage.h"
#include "platform/qt/Bitmap32Image.h"
#include "platform/qt/GaugeBar.h"
#include "platform/qt/ImgView32Widget.h"
#include "platform/raster/Image32.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Random.h"
#include "presets/EditorHooks.h"
#include "tests/app/ShellFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QSplitter>
#include <QTest>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>

namespace {

using MainWindow = TShellTest;

// The style editor words one caption differently (its tests check "Border limit").
TEST_F(MainWindow, TheStylePanelCaptionsItsGauges) {
    QStringList captions;
    for (const QLabel* label : FMain->panStyle->findChildren<QLabel*>())
        captions << label->text();
    for (const char* caption : {"Precision", "Length", "Gain", "Width", "Borders"})
        EXPECT_TRUE(captions.contains(QString::fromLatin1(caption))) << caption;
    EXPECT_FALSE(captions.contains(QStringLiteral("Border limit")));
}

TEST_F(MainWindow, GaugesWriteTheDrawingAndReadItBack) {
    SetDecimalSeparator('.');
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    TDualImage& d = *Domain->Document;
    d.SetGain(2.5f);
    d.SetWidth(1.5f);
    FMain->UpdateUI();
    EXPECT_EQ(FMain->gaGain->Position(), 250);
    EXPECT_EQ(FMain->gaWidth->Position(), 15);
    EXPECT_FLOAT_EQ(d.Gain(), 2.5f);
    EXPECT_FLOAT_EQ(d.Width(), 1.5f);
    EXPECT_EQ(FMain->lblGain->text().toStdString(), "2.5");
    EXPECT_EQ(FMain->lblWidth->text().toStdString(), "1.5");

    // Borders 99 reads back through the drawing's percent as 98.
    FMain->gaBrdLimit->SetPosition(99);
    FMain->UpdateUI();
    EXPECT_EQ(FMain->gaBrdLimit->Position(), 98);
    EXPECT_EQ(FMain->lblBorder->text().toStdString(), "98");

    // Precision runs the other way round.
    FMain->gaPolyStep->SetPosition(90);
    EXPECT_EQ(d.PolyStep(), 10);
    EXPECT_EQ(FMain->lblPolyStep->text().toStdString(), "90");
    FMain->gaLength->SetPosition(160);
    EXPECT_EQ(d.Length(), 161);
    EXPECT_EQ(FMain->lblLength->text().toStdString(), "161");

    // A brush size set on the drawing shows in the Size box at once and survives the refresh.
    d.SetSize(300);
    EXPECT_EQ(FMain->qvSize->Position(), 300);
    FMain->UpdateUI();
    EXPECT_EQ(d.Size(), 300);
    EXPECT_EQ(d.Density(), FMain->qvDensity->Position());
}

TEST_F(MainWindow, EachToolShowsItsPanels) {
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    auto shown = [](QWidget* w) { return !w->isHidden(); };
    EXPECT_TRUE(FMain->btPtr->isChecked());
    EXPECT_TRUE(shown(FMain->panStyle) && shown(FMain->panPS));
    EXPECT_FALSE(shown(FMain->PanSize) || shown(FMain->panPattern));
    Domain->AutoDirCommand->trigger();
    EXPECT_TRUE(FMain->btAuto->isChecked());
    EXPECT_TRUE(shown(FMain->panStyle) && shown(FMain->PanSize));
    EXPECT_FALSE(shown(FMain->panPS) || shown(FMain->panPattern));
    Domain->PatternCommand->trigger();
    EXPECT_TRUE(shown(FMain->PanSize) && shown(FMain->panPattern));
    // The widest set of panels still fits a screen 800 pixels wide: the strip scrolls instead.
    EXPECT_LE(FMain->minimumSizeHint().width(), 800);
    Domain->FreeHandCommand->trigger();
    EXPECT_TRUE(FMain->btFree->isChecked());
    EXPECT_FALSE(shown(FMain->panPattern));
    // No tool: at the next refresh no button is down, and the panels stay as they were.
    Domain->ContextHelpCommand->trigger();
    FMain->UpdateUI();
    for (QToolButton* b : {FMain->btPtr, FMain->btAuto, FMain->btPat, FMain->btFree})
        EXPECT_FALSE(b->isChecked());
    EXPECT_TRUE(shown(FMain->PanSize));
}

TEST_F(MainWindow, TheVectorCountShowsWholeInItsPanel) {
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    FMain->resize(900, 700);
    FMain->show();
    // Counts a long session reaches; the label shows each whole, however it breaks its lines.
    for (const char* count : {"0", "319940", "12345678"}) {
        QLabel* label = FMain->lblPSCount;
        label->setText(QString::fromLatin1(count) + QStringLiteral(" Vectors"));
        QApplication::processEvents();
        const QRect room = label->contentsRect();
        const QRect needed = QFontMetrics(label->font())
                                 .boundingRect(QRect(0, 0, room.width(), 10000),
                                               label->wordWrap() ? int(Qt::TextWordWrap) : 0, label->text());
        EXPECT_LE(needed.width(), room.width()) << count;
        EXPECT_LE(needed.height(), room.height()) << count;
    }
    FMain->hide();
}

// The brush preview (144 x 73) draws a brush that fits at its own radius; a larger one is drawn
// at radius 31 and the top left says the scale it is drawn at, that radius over the size. Its
// dots draw two random numbers each, Density + 1 dots, whatever the size.
TEST_F(MainWindow, TheBrushPreviewSaysTheScaleItIsDrawnAt) {
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    FMain->qvDensity->SetPosition(5);
    const TBitmap32& b = FMain->ImgSize->Image().Bitmap;
    auto dark = [&](int X, int Y) { return (b.Pixel(X, Y) & 0xFF) < 128; };
    // The label as the preview writes it, alone on the panel's face.
    auto label = [&](const std::string& Text) {
        TBitmap32 expected(b.Width(), b.Height());
        expected.Clear(PanelColor);
        if (!Text.empty()) {
            QImage canvas = Bitmap32AsQImage(expected);
            QPainter painter(&canvas);
            QFont font = painter.font();
            font.setPixelSize(11);
            painter.setFont(font);
            painter.setPen(Qt::black);
            painter.drawText(QPoint(1, 11), QString::fromStdString(Text));
        }
        return expected;
    };
    const struct {
        int Size, Radius;
        const char* Label;
    } cases[] = {{36, 36, ""}, {37, 31, "83.8%"}, {50, 31, "62%"}, {150, 31, "20.7%"}, {500, 31, "6.2%"}};
    for (const auto& c : cases) {
        FMain->qvSize->SetPosition(c.Size);
        RandSeed = 1234;
        FMain->gaSizeChange();
        const uint32_t after = RandSeed;
        RandSeed = 1234;
        for (int k = 0; k < 2 * 6; ++k)
            Random(100);
        EXPECT_EQ(after, RandSeed) << c.Size;
        ASSERT_EQ(b.Width(), 144);
        ASSERT_EQ(b.Height(), 73);
        // The circle's ends on the middle row, about (72, 36).
        int left = 0, right = b.Width() - 1;
        while (left < b.Width() && !dark(left, 36))
            ++left;
        while (right >= 0 && !dark(right, 36))
            --right;
        EXPECT_EQ(72 - left, c.Radius) << c.Size;
        EXPECT_EQ(right - 72, c.Radius) << c.Size;
        if (*c.Label != 0) {
            EXPECT_EQ(FloatToStrGeneral(100.0 * c.Radius / c.Size, 3, 0) + "%", c.Label) << c.Size;
        }
        // The label's corner, left of the circle, holds the label and nothing else.
        const TBitmap32 expected = label(c.Label);
        int differ = 0;
        for (int y = 0; y < 14; ++y)
            for (int x = 0; x < 72 - c.Radius - 1; ++x)
                if (b.Pixel(x, y) != expected.Pixel(x, y)) ++differ;
        EXPECT_EQ(differ, 0) << c.Size << " should read \"" << c.Label << "\"";
        EXPECT_EQ(Domain->Document->Size(), c.Size);
    }
}

TEST_F(MainWindow, APatternThumbnailPicksThePatternTool) {
    FMain->PatternImageListViewerMouseUpThumb(2);
    EXPECT_EQ(Domain->PatternManager->ItemIndex, 0);
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    FMain->PatternImageListViewerMouseUpThumb(2);
    EXPECT_EQ(Domain->PatternManager->ItemIndex, 2);
    EXPECT_EQ(Domain->ToolManager->Tool, tiPattern);
}

std::vector<uint32_t> StylePreview() {
    const TBitmap32& b = FMain->ImgPreviewStyle->Image().Bitmap;
    return {b.Bits(), b.Bits() + static_cast<size_t>(b.Width()) * b.Height()};
}

TEST_F(MainWindow, TheStyleListThePreviewAndTheDrawingShowOneStyle) {
    TStyleManager& styles = *Domain->StyleManager;
    ASSERT_GE(styles.Count(), 3);
    // After start-up the list shows the style the manager holds current.
    EXPECT_EQ(FMain->cbStyles->currentIndex(), styles.ItemIndex);
    const auto firstPreview = StylePreview();
    // Two styles that differ in every value the panel shows.
    styles.GetQStyle(2).StopOnBorders = !styles.GetQStyle(0).StopOnBorders;
    styles.GetQStyle(2).Gain = styles.GetQStyle(0).Gain + 1.0f;

    auto expectShown = [&](int Index) {
        const TQStyle& style = styles.GetQStyle(Index);
        EXPECT_EQ(styles.ItemIndex, Index);
        EXPECT_EQ(FMain->cbStyles->currentIndex(), Index);
        EXPECT_EQ(FMain->cbStyles->currentText().toStdString(), style.Name);
        EXPECT_FLOAT_EQ(Domain->Document->Gain(), style.Gain);
        EXPECT_EQ(FMain->cbStopBorder->isChecked(), style.StopOnBorders);
        EXPECT_EQ(Domain->Document->StopOnBorders, style.StopOnBorders);
    };
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    expectShown(0);
    EXPECT_EQ(StylePreview(), firstPreview);

    // Picked in the list: Edit acts on it.
    FMain->cbStyles->setCurrentIndex(2);
    emit FMain->cbStyles->activated(2);
    expectShown(2);
    EXPECT_NE(StylePreview(), firstPreview);
    std::string edited;
    SetStyleEditorHook([&](TQStyle& Style, const std::string&, const TStyleAccept&) {
        edited = Style.Name;
        return TStyleEditorResult{mrCancel, ""};
    });
    Domain->EditStyleCommand->trigger();
    SetStyleEditorHook(nullptr);
    EXPECT_EQ(edited, styles.GetQStyle(2).Name);

    // Deleted: the style made current in its place is listed, previewed and drawn with.
    Domain->DelStyleCommand->trigger();
    expectShown(0);
    EXPECT_EQ(StylePreview(), firstPreview);
}

TEST_F(MainWindow, TheGridFramesTheCurrentPattern) {
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    SetPatternEditorHook([](TPattern& Pattern, const std::string&, const TPatternAccept&) {
        Pattern.GetFrames(0).AddCurve(TBezierCurve{{10, 10}, {50, 0}, {100, 80}, {150, 150}});
        return static_cast<int>(mrOk);
    });
    Domain->NewPatternCommand->trigger();
    const int last = Domain->PatternManager->Count() - 1;
    EXPECT_EQ(Domain->PatternManager->ItemIndex, last);
    EXPECT_EQ(FMain->PatternImageListViewer->Selected(), last);
    // An edited pattern stays framed too.
    FMain->PatternImageListViewerMouseUpThumb(1);
    Domain->EditPatternCommand->trigger();
    EXPECT_EQ(FMain->PatternImageListViewer->Selected(), 1);
    SetPatternEditorHook(nullptr);
}

TEST_F(MainWindow, InContextHelpTheMenuBarShowsNoHelpAndOpensItsMenu) {
    std::filesystem::create_directories(Folder() + "Help");
    std::filesystem::copy_file(std::filesystem::path(QUOR_SOURCE_DIR) / "resources" / "Help" / "tools.html",
                               Folder() + "Help/tools.html");
    FMain->show();
    QApplication::processEvents();
    QMenuBar* bar = FMain->menuBar();
    const QPoint file = bar->actionGeometry(bar->actions().at(0)).center();
    Domain->ContextHelpCommand->trigger();
    QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, file);
    EXPECT_FALSE(FMain->ContextHelpMode);
    EXPECT_FALSE(FHlpWnd->isVisible());
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu, bar->actions().at(0)->menu());
    menu->close();
    // The tool strip has its page.
    Domain->ContextHelpCommand->trigger();
    QTest::mousePress(FMain->btPtr, Qt::LeftButton);
    EXPECT_TRUE(FHlpWnd->isVisible());
    ASSERT_EQ(FHlpWnd->History().size(), 1u);
    EXPECT_EQ(FHlpWnd->History()[0], Folder() + "Help/tools.html");
    // The colour section has no page of its own: the tools page, which covers it, shows at its
    // Colors section, and the click goes no further.
    FHlpWnd->hide();
    Domain->ContextHelpCommand->trigger();
    QTest::mousePress(FMain->btFixed, Qt::LeftButton);
    EXPECT_TRUE(FHlpWnd->isVisible());
    EXPECT_FALSE(FMain->btFixed->isDown());
    EXPECT_EQ(FHlpWnd->History()[FHlpWnd->HistoryIndex()], Folder() + "Help/tools.html");
    const QTextCursor colors = FHlpWnd->Viewer->document()->find(QStringLiteral("Variants"));
    ASSERT_FALSE(colors.isNull());
    EXPECT_TRUE(FHlpWnd->Viewer->viewport()->rect().contains(FHlpWnd->Viewer->cursorRect(colors)));
    FHlpWnd->hide();
    FMain->hide();
}

TEST_F(MainWindow, ShiftReachesTheSourceViewWhateverHasTheFocus) {
    std::vector<uint16_t> keys;
    FMain->ImgSrc->View().OnKeyDown = [&](TCustomImage32*, uint16_t& Key, TShiftState) {
        keys.push_back(Key);
    };
    QKeyEvent shift(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
    EXPECT_TRUE(FMain->ApplicationMessage(FMain->cbStyles, &shift));
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0], VK_SHIFT);
    // Other keys are not forwarded.
    QKeyEvent other(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    EXPECT_FALSE(FMain->ApplicationMessage(FMain->cbStyles, &other));
    EXPECT_EQ(keys.size(), 1u);
    FMain->ImgSrc->View().OnKeyDown = nullptr;
}

TEST_F(MainWindow, TheViewsScrollTogether) {
    ASSERT_TRUE(Open(MakePicture(600, 500)));
    FMain->resize(900, 700);
    FMain->show();
    QApplication::processEvents();
    TImgView32& src = FMain->ImgSrc->View();
    TImgView32& dst = FMain->ImgDst->View();
    ASSERT_GT(dst.HorzScrollRange(), 0);
    dst.SetScroll(120, 90);
    const TPoint a = src.ControlToBitmap(TPoint{src.ViewportWidth() / 2, src.ViewportHeight() / 2});
    const TPoint b = dst.ControlToBitmap(TPoint{dst.ViewportWidth() / 2, dst.ViewportHeight() / 2});
    EXPECT_NEAR(a.X, b.X, 1);
    EXPECT_NEAR(a.Y, b.Y, 1);
    FMain->hide();
}

TEST_F(MainWindow, IdleWorkNeedsADrawing) {
    bool done = false;
    FMain->ApplicationIdle(done);
    EXPECT_TRUE(done);
    ASSERT_TRUE(Open(MakePicture(200, 150)));
    for (int i = 0; i < 5; ++i) {
        Domain->Document->BeginChange();
        Domain->Document->SprayAt(60 + 20 * i, 75);
        Domain->Document->EndChange();
    }
    const std::string before = Domain->Document->UndoMemoryText();
    for (int i = 0; i < 5; ++i)
        FMain->ApplicationIdle(done);
    // The old steps went to disk: the history holds less memory.
    EXPECT_NE(Domain->Document->UndoMemoryText(), before);
}

} // namespace
