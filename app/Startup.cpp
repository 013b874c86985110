#include "app/Startup.h"

#include "app/HlpWnd.h"
#include "app/QDomain.h"
#include "app/UFormAbout.h"
#include "app/UFormStyle.h"
#include "app/UImgSizeDlg.h"
#include "app/UMain.h"
#include "app/UPatternEdit.h"
#include "app/UResample.h"
#include "app/UdmGlobalConfig.h"
#include "document/UTempManager.h"
#include "engine/Utils.h"
#include "platform/formats/PictureFormats.h"
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
    InstallStyleEditor();
    InstallPatternEditor();
}

void CreateForms() {
    dmGlobalConfig = new TdmGlobalConfig;
    new TDomain;
    new TFMain;
    FImgSizeDlg = new TFImgSizeDlg(FMain);
    FResample = new TFResample(FMain);
    FHlpWnd = new TFHlpWnd;
    FHlpWnd->HelpCmd = Domain->HelpCmd;
    FormAbout = new TFormAbout(FMain);
}

void DestroyForms() {
    delete FormAbout;
    FormAbout = nullptr;
    delete FHlpWnd;
    FHlpWnd = nullptr;
    delete FResample;
    FResample = nullptr;
    delete FImgSizeDlg;
    FImgSizeDlg = nullptr;
    delete FMain;
    delete Domain;
    delete dmGlobalConfig;
    dmGlobalConfig = nullptr;
}
