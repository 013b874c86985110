#include "app/Startup.h"

#include "app/PendingUnits.h"
#include "app/QDomain.h"
#include "app/UImgSizeDlg.h"
#include "app/UMain.h"
#include "app/UResample.h"
#include "app/UdmGlobalConfig.h"
#include "document/DualImage.h"
#include "document/UTempManager.h"
#include "engine/Utils.h"
#include "platform/formats/PictureFormats.h"
#include "platform/raster/Image32.h"
#include "platform/system/BusyCursor.h"
#include "platform/system/ProcessMessages.h"

#include <QApplication>
#include <QCursor>
#include <QEventLoop>

void InitializeUnits() {
    InitializeUtils();
    TempManager();
    RegisterPictureFormats();
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
    SetViewMousePosHook([](TImgView32* View, TPoint& Position) {
        if (!View->OnQueryMousePosition) return false;
        Position = View->MousePosition();
        return true;
    });
#if QUOR_HAVE_STYLE_EDITOR
    InstallStyleEditor();
#endif
#if QUOR_HAVE_PATTERN_EDITOR
    InstallPatternEditor();
#endif
}

void CreateForms() {
    dmGlobalConfig = new TdmGlobalConfig;
    new TDomain;
    new TFMain;
    FImgSizeDlg = new TFImgSizeDlg(FMain);
    FResample = new TFResample(FMain);
#if QUOR_HAVE_HELP_WINDOW
    FHlpWnd = new TFHlpWnd;
#endif
#if QUOR_HAVE_ABOUT
    FormAbout = new TFormAbout(FMain);
#endif
}

void DestroyForms() {
#if QUOR_HAVE_ABOUT
    delete FormAbout;
    FormAbout = nullptr;
#endif
#if QUOR_HAVE_HELP_WINDOW
    delete FHlpWnd;
    FHlpWnd = nullptr;
#endif
    delete FResample;
    FResample = nullptr;
    delete FImgSizeDlg;
    FImgSizeDlg = nullptr;
    delete FMain;
    delete Domain;
    delete dmGlobalConfig;
    dmGlobalConfig = nullptr;
}
