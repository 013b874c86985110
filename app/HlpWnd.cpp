// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/HlpWnd.h"

#include "app/Shape.h"
#include "platform/qt/InputEvents.h"
#include "platform/system/ApplicationFolder.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QSizeGrip>
#include <QTextBrowser>
#include <QTextDocument>

#include <algorithm>

namespace {
// The size the window first opens at shows a help page whole, its "See also" line included;
// only the Tools page, the longest, scrolls. The user may make it larger or smaller with the
// grip in its corner, and it keeps that size while the program runs.
constexpr int ClientWidth = 620;
constexpr int ClientHeight = 580;
// The strip of links under the page.
constexpr int LinksHeight = 18;
constexpr int MinClientWidth = 300;
constexpr int MinClientHeight = 160;
// Room the window leaves on a screen too small for its first size.
constexpr int ScreenMargin = 40;
const QColor Cream(255, 251, 240);
const QString Apology = QStringLiteral("<H3>Sorry there is not help available</H3>");

QLabel* LinkLabel(const QString& Text, QWidget* Parent) {
    auto* label = new QLabel(Text, Parent);
    label->setCursor(Qt::PointingHandCursor);
    label->setStyleSheet(QStringLiteral("QLabel { color: #0000c0; text-decoration: underline; }"
                                        "QLabel:disabled { color: #a0a0a0; text-decoration: none; }"));
    label->adjustSize();
    return label;
}

QLabel* Separator(QWidget* Parent) {
    auto* label = new QLabel(QStringLiteral("|"), Parent);
    label->adjustSize();
    return label;
}
} // namespace

// A tool window of the main window (its parent): the desktop keeps it above the main window, as
// a floating dock is, but not above the program's dialogs and questions, which would open
// under a window kept above everything.
TFHlpWnd::TFHlpWnd(QWidget* Parent) : QWidget(Parent, Qt::Tool | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("FHlpWnd"));
    setWindowTitle(QStringLiteral("Help Window"));
    // The client area and a border of one pixel around it.
    setMinimumSize(MinClientWidth + 2, MinClientHeight + 2);
    QSize size(ClientWidth + 2, ClientHeight + 2);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() - QSize(ScreenMargin, ScreenMargin))
                   .expandedTo(minimumSize());
    resize(size);

    Viewer = new QTextBrowser(this);
    Viewer->setFrameShape(QFrame::NoFrame);
    Viewer->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Viewer->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    Viewer->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    Viewer->setOpenLinks(false);
    QPalette palette = Viewer->palette();
    palette.setColor(QPalette::Base, Cream);
    Viewer->setPalette(palette);
    QFont font(QStringLiteral("Times New Roman"));
    font.setStyleHint(QFont::Serif);
    Viewer->document()->setDefaultFont(font);
    Viewer->document()->setDefaultStyleSheet(
        QStringLiteral("pre, code, tt { font-family: \"Courier New\", monospace; }"));
    connect(Viewer, &QTextBrowser::anchorClicked, this,
            [this](const QUrl& Link) { GuardEvent([&] { LinkClicked(Link); }); });

    LinkStrip = new TShape(this);
    LinkStrip->SetBrushColor(RGBToColor(255, 251, 240));
    LinkStrip->SetPenWidth(0);

    lblBack = LinkLabel(QStringLiteral("<< Back"), this);
    FLeftBar = Separator(this);
    lblNext = LinkLabel(QStringLiteral("Next >>"), this);
    lblClose = LinkLabel(QStringLiteral("Close"), this);
    FRightBar = Separator(this);
    lblMoreHelp = LinkLabel(QStringLiteral("More Help"), this);
    for (QLabel* link : {lblBack, lblNext, lblClose, lblMoreHelp})
        link->installEventFilter(this);
    // The window has no frame for the desktop to resize it by: the grip in the corner does.
    SizeGrip = new QSizeGrip(this);
    SizeGrip->setCursor(Qt::SizeFDiagCursor);

    PlaceChildren();
    HistoryChange();
}

void TFHlpWnd::PlaceChildren() {
    const int clientWidth = width() - 2;
    const int viewHeight = height() - 2 - LinksHeight;
    Viewer->setGeometry(1, 1, clientWidth, viewHeight);
    LinkStrip->setGeometry(1, 1 + viewHeight, clientWidth, LinksHeight);
    const int linksY = 1 + viewHeight + 1;
    lblBack->move(8, linksY);
    FLeftBar->move(lblBack->geometry().right() + 6, linksY);
    lblNext->move(FLeftBar->geometry().right() + 6, linksY);
    const QSize grip = SizeGrip->sizeHint().boundedTo(QSize(LinksHeight, LinksHeight));
    SizeGrip->setGeometry(width() - 1 - grip.width(), height() - 1 - grip.height(), grip.width(),
                          grip.height());
    lblClose->move(SizeGrip->x() - 6 - lblClose->width(), linksY);
    FRightBar->move(lblClose->x() - 6 - FRightBar->width(), linksY);
    lblMoreHelp->move(FRightBar->x() - 6 - lblMoreHelp->width(), linksY);
}

void TFHlpWnd::resizeEvent(QResizeEvent* Event) {
    QWidget::resizeEvent(Event);
    PlaceChildren();
}

TFHlpWnd::~TFHlpWnd() = default;

std::string TFHlpWnd::HelpFolder() {
    return ApplicationFolder() + "Help/";
}

void TFHlpWnd::ShowHelp(const std::string& Keyword) {
    // "page#section" opens the page at that section.
    const size_t hash = Keyword.find('#');
    std::string page = Keyword.substr(0, hash);
    const std::string section = hash == std::string::npos ? std::string() : Keyword.substr(hash + 1);
    if (page.empty()) page = "tools";
    const std::string path = HelpFolder() + page + ".html";
    const bool found = QFileInfo(QString::fromStdString(path)).isFile();
    if (found)
        LoadPage(path);
    else
        Viewer->setHtml(Apology);
    if (!FPlaced) PlaceOverActiveWindow();
    show();
    raise();
    // The page is laid out at the view's width once the window shows; then the section can be
    // found. Without one the page shows from its top, also when it was on view further down.
    if (!found) return;
    if (section.empty())
        Viewer->verticalScrollBar()->setValue(0);
    else
        Viewer->scrollToAnchor(QString::fromStdString(section));
}

void TFHlpWnd::PlaceOverActiveWindow() {
    // Without a title bar the window cannot be dragged anywhere: the first time it shows it goes
    // to the middle of the window the help was asked in (or of the screen), and stays where it is
    // from then on.
    FPlaced = true;
    QRect area;
    if (const QWidget* active = QApplication::activeWindow(); active != nullptr && active != this)
        area = active->frameGeometry();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (!area.isValid()) return;
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(area.center());
    move(frame.topLeft());
}

void TFHlpWnd::LoadPage(const std::string& FileName) {
    // Opening a page while an older one is on view drops the newer ones, as a browser does; the
    // page on view again is not entered twice.
    FHistory.erase(FHistory.begin(), FHistory.begin() + FHistoryIndex);
    FHistoryIndex = 0;
    if (FHistory.empty() || FHistory.front() != FileName) FHistory.insert(FHistory.begin(), FileName);
    if (static_cast<int>(FHistory.size()) > MaxHistory) FHistory.resize(MaxHistory);
    ShowHistoryPage();
}

void TFHlpWnd::ShowHistoryPage() {
    if (FHistoryIndex >= 0 && FHistoryIndex < static_cast<int>(FHistory.size())) {
        const QString page = QString::fromStdString(FHistory[static_cast<size_t>(FHistoryIndex)]);
        if (QFileInfo(page).isFile())
            Viewer->setSource(QUrl::fromLocalFile(page), QTextDocument::HtmlResource);
        else
            Viewer->setHtml(Apology);
    }
    HistoryChange();
}

void TFHlpWnd::lblBackClick() {
    if (FHistoryIndex >= static_cast<int>(FHistory.size()) - 1) return;
    ++FHistoryIndex;
    ShowHistoryPage();
}

void TFHlpWnd::lblNextClick() {
    if (FHistoryIndex < 1) return;
    --FHistoryIndex;
    ShowHistoryPage();
}

void TFHlpWnd::HistoryChange() {
    lblBack->setEnabled(FHistoryIndex < static_cast<int>(FHistory.size()) - 1);
    lblNext->setEnabled(FHistoryIndex >= 1);
}

void TFHlpWnd::MoreHelpClick() {
    if (HelpCmd != nullptr) HelpCmd->trigger();
}

void TFHlpWnd::CloseClick() {
    hide();
}

void TFHlpWnd::LinkClicked(const QUrl& Link) {
    const QUrl target = Viewer->source().resolved(Link);
    if (target.isLocalFile()) {
        const QString file = target.toLocalFile();
        if (file == Viewer->source().toLocalFile() && target.hasFragment()) {
            Viewer->scrollToAnchor(target.fragment());
        } else if (QFileInfo(file).isFile()) {
            LoadPage(file.toStdString());
            if (target.hasFragment()) Viewer->scrollToAnchor(target.fragment());
        } else {
            Viewer->setHtml(Apology);
        }
    } else if (Link.isRelative() && Link.hasFragment()) {
        Viewer->scrollToAnchor(Link.fragment());
    } else {
        QDesktopServices::openUrl(target);
    }
}

void TFHlpWnd::paintEvent(QPaintEvent* /*Event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), Cream);
    painter.setPen(QColor(120, 120, 120));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

bool TFHlpWnd::eventFilter(QObject* Watched, QEvent* Event) {
    if (Event->type() == QEvent::MouseButtonRelease) {
        auto* label = qobject_cast<QLabel*>(Watched);
        const auto* mouse = static_cast<QMouseEvent*>(Event);
        if (label != nullptr && label->isEnabled() && mouse->button() == Qt::LeftButton &&
            label->rect().contains(mouse->position().toPoint())) {
            GuardEvent([&] {
                if (label == lblBack)
                    lblBackClick();
                else if (label == lblNext)
                    lblNextClick();
                else if (label == lblMoreHelp)
                    MoreHelpClick();
                else if (label == lblClose)
                    CloseClick();
            });
            return true;
        }
    }
    return QWidget::eventFilter(Watched, Event);
}
