// SPDX-License-Identifier: GPL-3.0-or-later
// The context-help window: a borderless tool window of the main window, kept above it but below
// the program's dialogs, that shows one HTML page per help keyword from the Help/ folder beside
// the program, with back and next through the pages it has shown, a link to the full manual and
// a close link.
#pragma once

#include <QWidget>

#include <string>
#include <vector>

class QAction;
class QLabel;
class QSizeGrip;
class QTextBrowser;
class QUrl;
class TShape;

class TFHlpWnd : public QWidget {
    Q_OBJECT
public:
    // The most pages the history keeps.
    static constexpr int MaxHistory = 100;

    // Parent is the main window, which the help window stays above.
    explicit TFHlpWnd(QWidget* Parent = nullptr);
    ~TFHlpWnd() override;

    // Shows the page of the keyword ("tools" for an empty one), or an apology when the page is
    // missing, and makes the window visible where it was last (the first time over the middle of
    // the active window), at the size it had. A keyword "page#section" shows the page scrolled to
    // the anchor of that section; a plain one shows the page's top.
    void ShowHelp(const std::string& Keyword);
    // One page older, one page newer.
    void lblBackClick();
    void lblNextClick();
    // "<< Back" is enabled while an older page exists, "Next >>" while a newer one does.
    void HistoryChange();
    // "More Help": the command module's help-file action.
    void MoreHelpClick();
    // "Close": hides the window.
    void CloseClick();

    // The pages shown, newest first, and the one on view (0 = newest).
    const std::vector<std::string>& History() const { return FHistory; }
    int HistoryIndex() const { return FHistoryIndex; }
    // The folder the pages are read from: Help/ in the application folder.
    static std::string HelpFolder();

    // The action "More Help" runs; borrowed from the command module, set at start-up.
    QAction* HelpCmd = nullptr;

    QTextBrowser* Viewer;
    QLabel* lblBack;
    QLabel* lblNext;
    QLabel* lblMoreHelp; // "More Help"
    QLabel* lblClose;    // "Close"
    TShape* LinkStrip;   // the strip under the links
    QSizeGrip* SizeGrip; // in the bottom right corner: the window has no frame to resize it by

protected:
    void paintEvent(QPaintEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    // Loads a page file into the view and makes it the newest history entry.
    void LoadPage(const std::string& FileName);
    // Shows the history entry at FHistoryIndex.
    void ShowHistoryPage();
    void LinkClicked(const QUrl& Link);
    void PlaceOverActiveWindow();
    // The page fills the window above the strip of links, whatever size the window has.
    void PlaceChildren();

    std::vector<std::string> FHistory;
    int FHistoryIndex = 0;
    bool FPlaced = false; // moved to its first place
    QLabel* FLeftBar;     // the "|" between Back and Next
    QLabel* FRightBar;    // the "|" between More Help and Close
};
