// SPDX-License-Identifier: GPL-3.0-or-later
// The program's entry: the units' start-up work, the application object and its title, the
// modules and forms in their order, then the event loop until the Exit command or the main
// window's closing ends it. Nothing is taken from the command line.
#include "app/Startup.h"
#include "app/UMain.h"

#include <QApplication>

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    try {
        InitializeUnits();
    } catch (const std::exception& E) {
        std::fprintf(stderr, "quorvelle: %s\n", E.what());
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(ApplicationTitle));
    InstallPlatformHooks();
    CreateForms().Main->showMaximized();
    const int result = QApplication::exec();
    DestroyForms();
    return result;
}
