// SPDX-License-Identifier: GPL-3.0-or-later
// The program's entry: the units' start-up work, the threads a window needs, the application
// object and its title, the modules and forms in their order, then the event loop until the Exit
// command or the main window's closing ends it. Nothing is taken from the command line.
#include "app/ApplicationTitle.h"
#include "app/Startup.h"
#include "app/UMain.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <exception>

int main(int argc, char** argv) {
    try {
        InitializeUnits();
    } catch (const std::exception& E) {
        std::fprintf(stderr, "quorvelle: %s\n", E.what());
        return 1;
    }
    if (const std::string refused = WindowThreadsRefused(); !refused.empty()) {
        std::fprintf(stderr, "quorvelle: %s\n", refused.c_str());
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(ApplicationTitle));
    const TPooledThreads threads = KeepWindowThreads();
    int result = 1;
    if (threads.Kept > 0) {
        InstallPlatformHooks();
        CreateForms().Main->showMaximized();
        result = QApplication::exec();
        DestroyForms();
    }
    // The application object, when it goes, waits for every thread of Qt's pool to be idle; a
    // thread the system refused never will be. The temporary files still go, with the statics.
    if (threads.Stranded) std::exit(result);
    return result;
}
