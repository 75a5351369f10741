#include "app/AppWindows.h"

#include "app/AboutBox.h"

#include "app/TfrmMain.h"
#include "app/TfrmManualDial.h"
#include "app/TfrmSimple.h"
#include "app/TfrmSimpleNumbers.h"
#include "messaging/TFrmRichEditor.h"

#include <QCoreApplication>

void CreateWindows(WindowRegistry &registry)
{
    registry.frmSimple = new TfrmSimple(registry);
    registry.frmSimpleNumbers = new TfrmSimpleNumbers(registry);
    registry.frmMain = new TfrmMain(registry);
    registry.frmSimpleNumbers->bindDataSource(registry.frmMain->dataSource());
    // The template window comes here once it is built, then the fax editor.
    registry.frmRichEditor = new TFrmRichEditor(*registry.dialogs, QCoreApplication::arguments());
    // The configuration window comes here once it is built.
    registry.frmManualDial = new TfrmManualDial(registry);
    // Then the tracking window (which sets registry.trackingClearArchiveLists).
    if (registry.shell)
        registry.frmAbout = new TfrmAbout(*registry.shell);
}

void DestroyWindows(WindowRegistry &registry)
{
    for (QWidget *w :
         {registry.frmAbout, registry.frmTracking, registry.frmManualDial, registry.frmConfiguration,
          static_cast<QWidget *>(registry.frmRichEditor), registry.frmTemplate})
        delete w;
    // The number list's grid is bound to the main window's data source.
    delete registry.frmSimpleNumbers;
    delete registry.frmMain;
    delete registry.frmSimple;
    registry.frmAbout = registry.frmTracking = registry.frmManualDial = registry.frmConfiguration = nullptr;
    registry.frmRichEditor = nullptr;
    registry.frmTemplate = nullptr;
    registry.frmSimpleNumbers = nullptr;
    registry.frmMain = nullptr;
    registry.frmSimple = nullptr;
}
