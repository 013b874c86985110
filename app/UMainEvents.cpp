// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/UMain.h"

#include "app/HlpWnd.h"
#include "app/QDomain.h"
#include "app/ShellServices.h"
#include "app/Tools.h"
#include "document/DualImage.h"
#include "platform/qt/ImgView32Widget.h"
#include "platform/qt/InputEvents.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>

// ---------------------------------------------------------------------------------------------
// Keys, clicks in context help and idle time

bool TFMain::ApplicationMessage(QObject* Receiver, QEvent* Event) {
    const QEvent::Type type = Event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::MouseButtonPress)
        return false;
    // Events reach the window first and then the control; the control's turn decides.
    if (!Receiver->isWidgetType()) return false;
    if (type == QEvent::KeyPress || type == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(Event);
        if (key->key() == Qt::Key_Shift) {
            // Shift reaches the source view whatever control has the focus: the tools read it
            // there.
            uint16_t vk = VK_SHIFT;
            const TShiftState shift = ShiftStateOf(key->modifiers(), QApplication::mouseButtons());
            if (type == QEvent::KeyPress)
                ImgSrc->View().KeyDown(vk, shift);
            else
                ImgSrc->View().KeyUp(vk, shift);
            return true;
        }
        if (type == QEvent::KeyPress && key->key() == Qt::Key_Escape && ContextHelpMode) {
            // Esc ends "What is this?" without a page, as everywhere on the desktop.
            EndContextHelp();
            return true;
        }
        if (type == QEvent::KeyPress && QApplication::activePopupWidget() == nullptr &&
            QApplication::activeModalWidget() == nullptr)
            return FDomain.IsShortCut(*key);
        return false;
    }
    if (ContextHelpMode && static_cast<QMouseEvent*>(Event)->button() == Qt::LeftButton) {
        EndContextHelp();
        const auto* control = static_cast<QWidget*>(Receiver);
        // The menu bar is the window's frame rather than one of its controls: it shows no help
        // and takes the click as it would otherwise, so its menu opens.
        if (control == menuBar() || menuBar()->isAncestorOf(control)) return false;
        // A control without a keyword, nor a panel around it with one, shows the tools page.
        if (FHlpWnd != nullptr) FHlpWnd->ShowHelp(HelpKeywordOf(control));
        return true;
    }
    return false;
}

void TFMain::ApplicationIdle(bool& Done) {
    Done = true;
    if (FDomain.Document) FDomain.Document->CompressIdle();
}

void TFMain::EndContextHelp() {
    ContextHelpMode = false;
    if (FDomain.ToolManager) FDomain.ToolManager->SetEnabled(true);
    QApplication::restoreOverrideCursor();
    ShowToolButtons();
}

void TFMain::StartContextHelp(void*) {
    if (FDomain.ToolManager) FDomain.ToolManager->SetEnabled(false);
    if (ContextHelpMode)
        QApplication::changeOverrideCursor(QCursor(Qt::WhatsThisCursor));
    else
        QApplication::setOverrideCursor(QCursor(Qt::WhatsThisCursor));
    ContextHelpMode = true;
    ShowToolButtons();
    QApplication::processEvents();
}

// ---------------------------------------------------------------------------------------------
// Dropped files and closing

void TFMain::dragEnterEvent(QDragEnterEvent* Event) {
    if (Event->mimeData()->hasUrls()) Event->acceptProposedAction();
}

void TFMain::dropEvent(QDropEvent* Event) {
    QStringList names;
    for (const QUrl& url : Event->mimeData()->urls())
        names.append(url.isLocalFile() ? url.toLocalFile() : url.toString());
    Event->acceptProposedAction();
    // The drop ends first: the question and the load must not hold the program the file came
    // from.
    QMetaObject::invokeMethod(
        this, [this, names] { GuardEvent([&] { DropFiles(names); }); }, Qt::QueuedConnection);
}

void TFMain::DropFiles(const QStringList& FileNames) {
    if (FileNames.size() >= 2) {
        MessageBox(QMessageBox::Information, "Information", "You can drop only one file");
        return;
    }
    if (FileNames.isEmpty()) return;
    // The loader and the question report their own outcome; the drop is over either way.
    GuardEvent([&] { FDomain.LoadDroppedImage(FileNames.first().toStdString()); });
}

bool TFMain::FormClose() {
    if (!FDomain.Document || !FDomain.Document->Modified) return true;
    return MessageBox(QMessageBox::Question, "Confirm", "Document not saved. Discard anyway?",
                      QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void TFMain::closeEvent(QCloseEvent* Event) {
    bool close = false;
    GuardEvent([&] { close = FormClose(); });
    if (!close) {
        Event->ignore();
        return;
    }
    Event->accept();
    // The main window's closing ends the program, whatever other windows are open.
    TerminateApplication();
}
