// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ShellServices.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QUrl>

#include <vector>

namespace {
TMessageBoxHook& MessageBoxHook() {
    static TMessageBoxHook hook;
    return hook;
}

TFileDialogHook& FileDialogHook() {
    static TFileDialogHook hook;
    return hook;
}

TShellOpenHook& ShellOpenHook() {
    static TShellOpenHook hook;
    return hook;
}

TTerminateHook& TerminateHook() {
    static TTerminateHook hook;
    return hook;
}

std::vector<std::string> Split(const std::string& Text, char Separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t end = Text.find(Separator, start);
        parts.push_back(Text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

std::string Trim(const std::string& Text) {
    const size_t first = Text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return Text.substr(first, Text.find_last_not_of(' ') - first + 1);
}

QPointer<QWidget>& MainWindow() {
    static QPointer<QWidget> window;
    return window;
}
} // namespace

void SetDialogMainWindow(QWidget* Window) {
    MainWindow() = Window;
}

QWidget* DialogParent() {
    // A question asked inside a dialog belongs to that dialog; a tool window (the help window)
    // hands its questions to the window it belongs to, so that they open above both.
    QWidget* window = QApplication::activeModalWidget();
    if (window == nullptr) window = QApplication::activeWindow();
    while (window != nullptr && window->windowType() == Qt::Tool && window->parentWidget() != nullptr)
        window = window->parentWidget()->window();
    return window != nullptr ? window : MainWindow().data();
}

void SetMessageBoxHook(TMessageBoxHook Hook) {
    MessageBoxHook() = std::move(Hook);
}

QMessageBox::StandardButton MessageBox(QMessageBox::Icon Icon, const std::string& Caption,
                                       const std::string& Text, QMessageBox::StandardButtons Buttons,
                                       QMessageBox::StandardButton DefaultButton) {
    // Without a default of its own, the first button of the row is the default one, as in the
    // system's message boxes.
    if (DefaultButton == QMessageBox::NoButton || !Buttons.testFlag(DefaultButton))
        for (const QMessageBox::StandardButton b :
             {QMessageBox::Ok, QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel})
            if (Buttons.testFlag(b)) {
                DefaultButton = b;
                break;
            }
    if (MessageBoxHook()) return MessageBoxHook()(Icon, Caption, Text, Buttons, DefaultButton);
    // A carriage return alone breaks a line of a message, as on the system where the texts were
    // written; Qt breaks lines at line feeds only.
    QString text = QString::fromStdString(Text);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(Icon, QString::fromStdString(Caption), text, Buttons, DialogParent());
    if (DefaultButton != QMessageBox::NoButton) box.setDefaultButton(DefaultButton);
    // Escape, like the close box, gives the answer that changes nothing.
    for (const QMessageBox::StandardButton b : {QMessageBox::Cancel, QMessageBox::No})
        if (Buttons.testFlag(b)) {
            box.setEscapeButton(b);
            break;
        }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void SetFileDialogHook(TFileDialogHook Hook) {
    FileDialogHook() = std::move(Hook);
}

std::string QtFileFilter(const std::string& Filter) {
    const std::vector<std::string> parts = Split(Filter, '|');
    std::string result;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::string description = Trim(parts[i]);
        // The description may show the patterns itself; Qt takes them from one pair of brackets.
        if (const size_t bracket = description.find(" ("); bracket != std::string::npos)
            description = description.substr(0, bracket);
        std::string patterns;
        for (const std::string& p : Split(parts[i + 1], ';')) {
            const std::string pattern = Trim(p);
            if (pattern.empty()) continue;
            if (!patterns.empty()) patterns += ' ';
            patterns += pattern;
        }
        if (!result.empty()) result += ";;";
        result += description + " (" + patterns + ")";
    }
    return result;
}

std::string NameWithExtension(const std::string& Name, const std::string& SelectedFilter,
                              const std::string& DefaultExt) {
    if (DefaultExt.empty() || Name.empty() || !QFileInfo(QString::fromStdString(Name)).suffix().isEmpty())
        return Name;
    // "BMP (*.bmp)" names the extension "bmp"; "All (*.bmp *.jpg)" or "*.*" name none.
    std::string ext = DefaultExt;
    const size_t open = SelectedFilter.rfind('(');
    const size_t close = SelectedFilter.rfind(')');
    if (open != std::string::npos && close != std::string::npos && close > open) {
        const std::string patterns = Trim(SelectedFilter.substr(open + 1, close - open - 1));
        if (patterns.size() > 2 && patterns.compare(0, 2, "*.") == 0 &&
            patterns.find_first_of(" *?;", 2) == std::string::npos)
            ext = patterns.substr(2);
    }
    std::string name = Name;
    if (name.back() != '.') name += '.';
    return name + ext;
}

bool TFileDialog::Execute() {
    std::optional<std::string> chosen;
    if (FileDialogHook()) {
        chosen = FileDialogHook()(TFileDialogRequest{FSave, Title, Filter, DefaultExt});
    } else {
        const QString filter = QString::fromStdString(QtFileFilter(Filter));
        const QString title = QString::fromStdString(Title);
        const QString start = QString::fromStdString(FileName);
        QString selected = QString::fromStdString(SelectedFilter);
        const QString name =
            FSave ? QFileDialog::getSaveFileName(DialogParent(), title, start, filter, &selected)
                  : QFileDialog::getOpenFileName(DialogParent(), title, start, filter, &selected);
        if (!name.isEmpty()) {
            chosen = name.toStdString();
            SelectedFilter = selected.toStdString();
        }
    }
    if (!chosen || chosen->empty()) return false;
    FileName = NameWithExtension(*chosen, SelectedFilter, DefaultExt);
    return true;
}

void SetShellOpenHook(TShellOpenHook Hook) {
    ShellOpenHook() = std::move(Hook);
}

bool ShellOpen(const std::string& FileName) {
    if (ShellOpenHook()) return ShellOpenHook()(FileName);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(FileName)));
}

void SetTerminateHook(TTerminateHook Hook) {
    TerminateHook() = std::move(Hook);
}

void TerminateApplication() {
    if (TerminateHook()) {
        TerminateHook()();
        return;
    }
    QCoreApplication::exit(0);
}
