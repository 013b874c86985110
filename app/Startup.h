// SPDX-License-Identifier: GPL-3.0-or-later
// Bringing the program up and down in its fixed order. The program's entry runs InitializeUnits
// and checks that the system gives a window its threads (WindowThreadsRefused) before the
// application object exists, then KeepWindowThreads, InstallPlatformHooks and CreateForms, runs
// the event loop, and ends with DestroyForms; tests run the same steps.
#pragma once

#include "platform/qt/PooledThreads.h"

#include <memory>
#include <string>

class TDomain;
class TFHlpWnd;
class TFImgSizeDlg;
class TFMain;
class TFResample;
class TFormAbout;
class TdmGlobalConfig;

// Raises the soft limit on open files to the hard one (as far as the system lets a process go),
// so that a library that opens many files at a moment (the desktop's dialogs) does not run out;
// the program itself holds only the files it is writing or reading. Returns the soft limit in
// force afterwards.
long RaiseOpenFileLimit();

// The units' own start-up work, in their order: the open-file limit is raised, the
// high-resolution counter is checked (a machine without one stops the start with "Can not
// query performance frequency"), the temporary-file service is made (it deletes what an earlier run left),
// and the extra picture formats are registered. Raises when the program cannot run.
void InitializeUnits();

// A window needs threads besides the program's own: Qt reads the window system's events and
// talks to the desktop's session bus on threads of its own, and its painter needs at least one
// thread of its pool (platform/qt/PooledThreads.h). Without them the window would never answer.
inline constexpr int WindowThreads = 3;
// What the system says when it refuses a window its threads (the user's limit of processes is
// reached): "Quorvelle cannot start: the system lets it start no new thread (<Reason>). ..."
// Empty when it gives them; asked before the application object is made.
std::string WindowThreadsRefused();
std::string NoThreadsMessage(const std::string& Reason);

// With the application object made and before anything is painted: the session-bus connection
// gets its thread first, then Qt's pool takes the threads it keeps for the whole run
// (KeepPooledThreads). When the pool got none, the user is told why the program cannot start
// (a message box and stderr) and Kept is 0.
TPooledThreads KeepWindowThreads();

// The Qt side of the lower layers' hooks: the hourglass, letting the window system catch up
// during long work, and the two preset editors.
void InstallPlatformHooks();

// The modules and forms of the running program, which start-up owns. They are made in the order
// of the fields and go in the reverse order.
struct TShellForms {
    std::unique_ptr<TdmGlobalConfig> Pictures;
    std::unique_ptr<TDomain> Domain;
    std::unique_ptr<TFMain> Main;
    std::unique_ptr<TFImgSizeDlg> ImgSizeDlg;
    std::unique_ptr<TFResample> Resample;
    std::unique_ptr<TFHlpWnd> HelpWindow;
    std::unique_ptr<TFormAbout> About;

    TShellForms();
    ~TShellForms();
    TShellForms(const TShellForms&) = delete;
    TShellForms& operator=(const TShellForms&) = delete;
};

// Creates each module and form once, in this order: the embedded pictures, the command module,
// the main window, the render-at-resolution dialog, the resample dialog, the help window and the
// About box; then hands each what it uses of the others: the command module its three dialogs,
// the main window the help window, the help window the command module's help-file action. The
// main window is not shown.
TShellForms& CreateForms();

// Destroys them in the reverse order.
void DestroyForms();
