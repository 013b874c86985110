// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Startup.h"

#include "app/ApplicationTitle.h"
#include "app/HlpWnd.h"
#include "app/QDomain.h"
#include "app/ShellServices.h"
#include "app/UFormAbout.h"
#include "app/UFormStyle.h"
#include "app/UImgSizeDlg.h"
#include "app/UMain.h"
#include "app/UPatternEdit.h"
#include "app/UResample.h"
#include "app/UdmGlobalConfig.h"
#include "document/UTempManager.h"
#include "platform/formats/PictureFormats.h"
#include "platform/qt/InputEvents.h"
#include "platform/rtl/Exception.h"
#include "platform/system/BusyCursor.h"
#include "platform/system/PerformanceCounter.h"
#include "platform/system/ProcessMessages.h"

#include <QAccessible>
#include <QApplication>
#include <QCursor>
#include <QEventLoop>

#include <climits>
#include <cstdio>
#include <fstream>
#include <sys/resource.h>

long RaiseOpenFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
    if (limit.rlim_cur != limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) != 0 && limit.rlim_max == RLIM_INFINITY) {
            // No process may go past the system's own ceiling.
            std::ifstream ceiling("/proc/sys/fs/nr_open");
            rlim_t most = 0;
            if (ceiling >> most && most > limit.rlim_cur) {
                raised.rlim_cur = most;
                setrlimit(RLIMIT_NOFILE, &raised);
            }
        }
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    return limit.rlim_cur == RLIM_INFINITY ? LONG_MAX : static_cast<long>(limit.rlim_cur);
}

void InitializeUnits() {
    RaiseOpenFileLimit();
    CheckPerformanceCounter();
    TempManager();
    RegisterPictureFormats();
}

std::string NoThreadsMessage(const std::string& Reason) {
    return "Quorvelle cannot start: the system lets it start no new thread (" + Reason +
           "). Close some programs, or raise this user's limit of processes, and start Quorvelle again.";
}

std::string WindowThreadsRefused() {
    std::string reason;
    return CanStartThreads(WindowThreads, &reason) ? std::string() : NoThreadsMessage(reason);
}

TPooledThreads KeepWindowThreads() {
    // The first question about accessibility connects to the session bus, on a thread of its own.
    QAccessible::isActive();
    TPooledThreads threads = KeepPooledThreads();
    if (threads.Kept == 0) {
        const std::string message = NoThreadsMessage(threads.Refusal);
        std::fprintf(stderr, "quorvelle: %s\n", message.c_str());
        MessageBox(QMessageBox::Critical, ApplicationTitle, message);
    }
    return threads;
}

void InstallPlatformHooks() {
    SetBusyCursorHook([](bool Busy) {
        if (Busy)
            QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        else
            QApplication::restoreOverrideCursor();
    });
    // Paints and timers go on during long work; the user's input waits, so that no command can
    // start inside another one.
    SetProcessMessagesHook([] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
    InstallStyleEditor();
    InstallPatternEditor();
    // The temporary-file service may find its log lost or written again, or its folder gone, on
    // any thread (the swap thread names files too); the user hears of it on the window's thread:
    // trouble in a message box as for a failure, relief as information.
    TempManager().SetNoticeHook([](const std::string& Message, TTempManager::TNotice Kind) {
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                app,
                [Message, Kind] {
                    if (Kind == TTempManager::TNotice::Relief)
                        MessageBox(QMessageBox::Information, ApplicationTitle, Message);
                    else
                        GuardEvent([&] { RaiseException(Message); });
                },
                Qt::QueuedConnection);
    });
}

namespace {
std::unique_ptr<TShellForms> Forms;
} // namespace

TShellForms::TShellForms() = default;

TShellForms::~TShellForms() {
    // The fields go in the reverse order of their making; the embedded pictures go last, and with
    // them the pointer through which every window's background tile reads them.
    About.reset();
    HelpWindow.reset();
    Resample.reset();
    ImgSizeDlg.reset();
    Main.reset();
    Domain.reset();
    if (dmGlobalConfig == Pictures.get()) dmGlobalConfig = nullptr;
    Pictures.reset();
}

TShellForms& CreateForms() {
    auto forms = std::make_unique<TShellForms>();
    forms->Pictures = std::make_unique<TdmGlobalConfig>();
    dmGlobalConfig = forms->Pictures.get();
    forms->Domain = std::make_unique<TDomain>();
    forms->Main = std::make_unique<TFMain>(*forms->Domain);
    forms->ImgSizeDlg = std::make_unique<TFImgSizeDlg>(forms->Main.get());
    forms->Resample = std::make_unique<TFResample>(forms->Main.get());
    forms->HelpWindow = std::make_unique<TFHlpWnd>(forms->Main.get());
    forms->About = std::make_unique<TFormAbout>(forms->Main.get());
    forms->Domain->SetDialogs(forms->Resample.get(), forms->ImgSizeDlg.get(), forms->About.get());
    forms->Main->SetHelpWindow(forms->HelpWindow.get());
    SetDialogMainWindow(forms->Main.get());
    forms->HelpWindow->HelpCmd = forms->Domain->HelpCmd;
    Forms = std::move(forms);
    return *Forms;
}

void DestroyForms() {
    Forms.reset();
}
