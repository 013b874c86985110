// SPDX-License-Identifier: GPL-3.0-or-later
// The help window: the page of a keyword from Help/ beside the program, the apology for a
// missing one, back and next through the pages shown, and its place among the program's windows.
#include "app/HlpWnd.h"

#include "app/ShellServices.h"
#include "document/DualImage.h"
#include "platform/system/ApplicationFolder.h"
#include "tests/app/ShellFixture.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QScrollBar>
#include <QSizeGrip>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {
// Pages named after keywords, each saying its own name, in the application folder's Help/.
struct THelpPages {
    std::string Folder = TFHlpWnd::HelpFolder();
    THelpPages(std::initializer_list<const char*> Keywords) {
        std::filesystem::create_directories(Folder);
        for (const char* keyword : Keywords) {
            std::ofstream page(Folder + keyword + ".html");
            page << "<html><body><h2>Page " << keyword << "</h2><p><a href=\"second.html\">second</a></p>"
                 << "</body></html>";
        }
    }
    ~THelpPages() { std::filesystem::remove_all(Folder); }
};

void ClickLabel(QLabel* Label) {
    QTest::mouseClick(Label, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
}

bool Shows(const TFHlpWnd& W, const char* Text) {
    return W.Viewer->toPlainText().contains(QString::fromLatin1(Text));
}
} // namespace

TEST(HlpWndTest, AKeywordShowsItsPageAndAMissingOneTheApology) {
    THelpPages pages{"tools", "general"};
    TFHlpWnd help;
    EXPECT_FALSE(help.isVisible());
    EXPECT_TRUE(help.windowFlags() & Qt::FramelessWindowHint);

    help.ShowHelp("general");
    EXPECT_TRUE(help.isVisible());
    EXPECT_TRUE(Shows(help, "Page general"));

    // A control without a keyword has the tools page.
    help.ShowHelp("");
    EXPECT_TRUE(Shows(help, "Page tools"));
    EXPECT_EQ(help.History().front(), pages.Folder + "tools.html");

    help.CloseClick();
    EXPECT_FALSE(help.isVisible());
    help.ShowHelp("nothing-here");
    EXPECT_TRUE(help.isVisible());
    EXPECT_EQ(help.Viewer->toPlainText(), "Sorry there is not help available");
    EXPECT_TRUE(help.Viewer->toHtml().contains("<h3", Qt::CaseInsensitive));
    // The history survives hiding and takes no missing page.
    EXPECT_EQ(help.History().size(), 2u);
}

TEST(HlpWndTest, BackAndNextWalkThePagesShown) {
    THelpPages pages{"a", "b", "c", "second"};
    TFHlpWnd help;
    EXPECT_FALSE(help.lblBack->isEnabled());
    EXPECT_FALSE(help.lblNext->isEnabled());
    help.ShowHelp("a");
    EXPECT_FALSE(help.lblBack->isEnabled());
    help.ShowHelp("b");
    help.ShowHelp("c");
    EXPECT_TRUE(help.lblBack->isEnabled());
    EXPECT_FALSE(help.lblNext->isEnabled());

    ClickLabel(help.lblBack);
    EXPECT_TRUE(Shows(help, "Page b"));
    ClickLabel(help.lblBack);
    EXPECT_TRUE(Shows(help, "Page a"));
    EXPECT_FALSE(help.lblBack->isEnabled());
    EXPECT_TRUE(help.lblNext->isEnabled());
    // A disabled link does nothing.
    ClickLabel(help.lblBack);
    EXPECT_TRUE(Shows(help, "Page a"));
    ClickLabel(help.lblNext);
    EXPECT_TRUE(Shows(help, "Page b"));
    EXPECT_EQ(help.HistoryIndex(), 1);

    // A link of the page opens the linked page as the newest one; the newer pages go.
    help.Viewer->anchorClicked(QUrl(QStringLiteral("second.html")));
    EXPECT_TRUE(Shows(help, "Page second"));
    ASSERT_EQ(help.History().size(), 3u);
    EXPECT_EQ(help.History()[0], pages.Folder + "second.html");
    EXPECT_EQ(help.History()[1], pages.Folder + "b.html");
    EXPECT_FALSE(help.lblNext->isEnabled());
}

TEST(HlpWndTest, TheHistoryKeepsTheNewestHundredPages) {
    THelpPages pages{"p"};
    TFHlpWnd help;
    for (int i = 0; i < 120; ++i) {
        std::ofstream(pages.Folder + "n" + std::to_string(i) + ".html") << "<p>" << i << "</p>";
        help.ShowHelp("n" + std::to_string(i));
    }
    ASSERT_EQ(help.History().size(), 100u);
    EXPECT_EQ(help.History().front(), pages.Folder + "n119.html");
    EXPECT_EQ(help.History().back(), pages.Folder + "n20.html");
    // The same page twice in a row is one entry.
    help.ShowHelp("n119");
    EXPECT_EQ(help.History()[1], pages.Folder + "n118.html");
}

TEST(HlpWndTest, MoreHelpRunsTheHelpFileAction) {
    TFHlpWnd help;
    QAction action;
    int runs = 0;
    QObject::connect(&action, &QAction::triggered, [&] { ++runs; });
    help.HelpCmd = &action;
    help.ShowHelp("general");
    ClickLabel(help.lblMoreHelp);
    EXPECT_EQ(runs, 1);
    ClickLabel(help.lblClose);
    EXPECT_FALSE(help.isVisible());
}

// The program's own pages, copied into the help folder.
struct TShippedPages {
    std::string Folder = TFHlpWnd::HelpFolder();
    TShippedPages() {
        std::filesystem::create_directories(Folder);
        for (const auto& page : std::filesystem::directory_iterator(std::filesystem::path(QUOR_SOURCE_DIR) /
                                                                    "resources" / "Help"))
            std::filesystem::copy_file(page.path(), Folder + page.path().filename().string());
    }
    ~TShippedPages() { std::filesystem::remove_all(Folder); }
};

// Whether the line of the page that reads Text lies in the view.
bool LineInView(const TFHlpWnd& W, const char* Text) {
    for (QTextBlock b = W.Viewer->document()->begin(); b.isValid(); b = b.next())
        if (b.text() == QLatin1String(Text)) {
            QTextCursor at(b);
            return W.Viewer->viewport()->rect().contains(W.Viewer->cursorRect(at));
        }
    ADD_FAILURE() << Text << " is not on the page";
    return false;
}

// The window opens at a size that shows a page whole, its "See also" line too; only the Tools
// page, the longest, scrolls. The size the user gives it with the grip stays while the program
// runs, and the page fills it.
TEST(HlpWndTest, ItsSizeShowsAPageWholeAndStaysAsTheUserMadeIt) {
    TShippedPages pages;
    TFHlpWnd help;
    for (const char* page : {"general", "img", "pattern", "ps", "size"}) {
        help.ShowHelp(page);
        EXPECT_EQ(help.Viewer->verticalScrollBar()->maximum(), 0) << page;
        EXPECT_TRUE(help.Viewer->toPlainText().contains(QStringLiteral("See also"))) << page;
    }
    const QSize first = help.size();
    EXPECT_GE(first.width(), 560);
    EXPECT_GE(first.height(), 440);
    ASSERT_TRUE(help.SizeGrip->isVisible());
    EXPECT_EQ(help.SizeGrip->geometry().bottomRight(), help.rect().bottomRight() - QPoint(1, 1));

    help.resize(700, 380);
    EXPECT_EQ(help.Viewer->width(), 698);
    // The links lie under the page, inside the window.
    for (const QLabel* link : {help.lblBack, help.lblClose}) {
        EXPECT_GT(link->y(), help.Viewer->geometry().bottom());
        EXPECT_TRUE(help.rect().contains(link->geometry()));
    }
    help.CloseClick();
    help.ShowHelp("general");
    EXPECT_EQ(help.size(), QSize(700, 380));
    EXPECT_GT(help.Viewer->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(help.SizeGrip->geometry().bottomRight(), help.rect().bottomRight() - QPoint(1, 1));
}

// A keyword "page#section" opens the page at that section; the page alone at its top.
TEST(HlpWndTest, AKeywordWithASectionOpensThePageThere) {
    TShippedPages pages;
    TFHlpWnd help;
    help.ShowHelp("tools");
    ASSERT_GT(help.Viewer->verticalScrollBar()->maximum(), 0);
    EXPECT_FALSE(LineInView(help, "Colors"));
    help.ShowHelp("tools#colors");
    EXPECT_TRUE(LineInView(help, "Colors"));
    EXPECT_EQ(help.History().size(), 1u);
    help.ShowHelp("tools");
    EXPECT_EQ(help.Viewer->verticalScrollBar()->value(), 0);
    // A first opening at a section finds it too, and a missing page still apologises.
    TFHlpWnd other;
    other.ShowHelp("tools#colors");
    EXPECT_TRUE(LineInView(other, "Colors"));
    other.ShowHelp("nothing#colors");
    EXPECT_EQ(other.Viewer->toPlainText(), "Sorry there is not help available");
}

// The window has no title bar to drag it by: it first shows over the middle of the window the
// help was asked in, and later shows where it was.
TEST(HlpWndTest, FirstShowsOverTheActiveWindowThenKeepsItsPlace) {
    QWidget main;
    main.setGeometry(300, 200, 900, 700);
    main.show();
    QApplication::setActiveWindow(&main);
    TFHlpWnd help;
    help.ShowHelp("a");
    EXPECT_EQ(help.frameGeometry().center(), main.frameGeometry().center());
    help.CloseClick();
    help.move(20, 30);
    help.ShowHelp("b");
    EXPECT_EQ(help.pos(), QPoint(20, 30));
}

class HlpWndShell : public TShellTest {};

// The help window is a tool window of the main window: the desktop keeps it above the main
// window but not above the program's questions and dialogs, which open above it whichever
// window the user was in, and answer to the mouse; once they are answered its Close works.
TEST_F(HlpWndShell, QuestionsAndDialogsOpenAboveIt) {
    EXPECT_EQ(FHlpWnd->parentWidget(), FMain);
    EXPECT_EQ(FHlpWnd->windowType(), Qt::Tool);
    EXPECT_FALSE(FHlpWnd->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(FHlpWnd->windowFlags() & Qt::FramelessWindowHint);

    ASSERT_TRUE(Open(MakePicture(200, 150)));
    Domain->Document->BeginChange();
    Domain->Document->SprayAt(100, 75);
    Domain->Document->EndChange();
    FMain->show();
    FHlpWnd->ShowHelp("tools");
    // The user clicked into the help window last; the keys still reach the commands.
    QApplication::setActiveWindow(FHlpWnd);
    SetMessageBoxHook(nullptr);
    SetFileDialogHook(nullptr);

    // Each dialog, once it is the modal window on view, is looked at and answered with the
    // mouse: OK to a question, Cancel to the others.
    std::vector<QString> seen;
    // Held weakly: a dialog may come where the last one lay.
    QPointer<QWidget> last;
    QTimer answerer;
    answerer.setInterval(5);
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (dialog == nullptr || dialog == last) return;
        last = dialog;
        seen.push_back(dialog->windowTitle());
        EXPECT_EQ(dialog->parentWidget(), FMain) << seen.back().toStdString();
        EXPECT_EQ(dialog->windowHandle()->transientParent(), FMain->windowHandle());
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog)) << seen.back().toStdString();
        // A question asked inside a dialog belongs to that dialog.
        EXPECT_EQ(DialogParent(), dialog);
        if (auto* box = qobject_cast<QMessageBox*>(dialog))
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        else if (auto* buttons = dialog->findChild<QDialogButtonBox*>())
            QTest::mouseClick(buttons->button(QDialogButtonBox::Cancel), Qt::LeftButton);
        else
            static_cast<QDialog*>(dialog)->reject();
    });
    answerer.start();
    Domain->OpenCommand->trigger();
    Domain->SaveCommand->trigger();
    Domain->EditStyleCommand->trigger();
    Domain->EditPatternCommand->trigger();
    answerer.stop();
    EXPECT_EQ(seen, (std::vector<QString>{"Confirm", "Open", "Save As", "Edit Current Style",
                                          "Edit Current Pattern"}));
    EXPECT_NE(Domain->Document, nullptr);
    EXPECT_TRUE(FHlpWnd->isVisible());

    ClickLabel(FHlpWnd->lblClose);
    EXPECT_FALSE(FHlpWnd->isVisible());
    // With none of the program's windows active, its dialogs belong to the main window.
    QApplication::setActiveWindow(nullptr);
    EXPECT_EQ(DialogParent(), FMain);
    FMain->hide();
}
