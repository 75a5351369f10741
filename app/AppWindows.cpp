#include "app/AppWindows.h"

#include "app/AboutBox.h"

#include "app/TfrmMain.h"
#include "app/TfrmManualDial.h"
#include "app/TfrmSimple.h"
#include "app/TfrmSimpleNumbers.h"
#include "config/TfrmConfiguration.h"
#include "messaging/TFrmRichEditor.h"
#include "messaging/TfrmTemplate.h"
#include "platform/environment/Environment.h"
#include "tracking/TfrmTracking.h"
#include "ui/ErrorGuard.h"
#include "ui/RadioGroup.h"

#include <QCoreApplication>
#include <QLineEdit>

void CreateWindows(WindowRegistry &registry)
{
    registry.frmSimple = new TfrmSimple(registry);
    registry.frmSimpleNumbers = new TfrmSimpleNumbers(registry);
    registry.frmMain = new TfrmMain(registry);
    registry.frmSimpleNumbers->bindDataSource(registry.frmMain->dataSource());
    registry.frmTemplate = new TfrmTemplate(*registry.dialogs, registry.environment->clock(), registry.shell,
                                            nullptr, registry.frmMain->TemplateFolder());
    registry.frmTemplate->OnViewBeforeSendChange = [main = registry.frmMain](bool on) {
        main->setViewBeforeSend(on);
    };
    registry.frmRichEditor = new TFrmRichEditor(*registry.dialogs, QCoreApplication::arguments());
    registry.frmTemplate->setFaxEditor(registry.frmRichEditor);
    TfrmMain *main = registry.frmMain;
    auto *config = new TfrmConfiguration(*registry.environment, *registry.dialogs, main->settings(),
                                         main->settingsPaths());
    config->setMainWindowControls(main->TapiDevice, main->cbPLayer1, main->cbPlayer2);
    // The template window and the fax editor are the live home of the
    // template keys and side files. A fax body they cannot take is reported
    // and the load goes on.
    config->setTemplate = [&registry](const SettingsTemplate &t) {
        guard(*registry.dialogs,
              [&] { registry.frmTemplate->setTemplate(t.values, t.hasMailBody, t.hasFaxBody); });
    };
    config->currentTemplate = [&registry] { return registry.frmTemplate->currentTemplate(); };
    config->CheckOutlook = [&registry, config] {
        if (registry.checkOutlook)
            registry.checkOutlook(config->rgEmailHost->ItemIndex(), config->editEmailProg->text());
    };
    config->CheckFaxService = [&registry, config] {
        if (registry.checkFaxService)
            registry.checkFaxService(config->rgFaxHost->ItemIndex(), config->editFaxProg->text());
    };
    registry.frmConfiguration = config;
    registry.openRichTextDocument = [&registry](const QString &path) {
        auto *editor = qobject_cast<TFrmRichEditor *>(registry.richTextDocumentWindow.data());
        if (editor && editor->FileName() != path) {
            editor->close(); // offers to save what it holds
            if (editor->isVisible())
                return;
            editor = nullptr;
        }
        if (!editor) {
            editor = new TFrmRichEditor(*registry.dialogs, {});
            editor->setObjectName(QStringLiteral("frmDocumentEditor"));
            editor->setAttribute(Qt::WA_DeleteOnClose);
            try {
                editor->PerformFileOpen(path);
            } catch (...) {
                delete editor;
                throw;
            }
            registry.richTextDocumentWindow = editor;
        }
        editor->show();
        editor->raise();
        editor->activateWindow();
    };
    registry.frmManualDial = new TfrmManualDial(registry);
    TrackingServices tracking;
    tracking.dataSource = &main->dataSource();
    tracking.dialogs = registry.dialogs;
    tracking.environment = registry.environment;
    tracking.shell = registry.shell;
    tracking.resetView = [main] {
        // "All", and its click handling also when it is chosen already
        // (a search may be filtering the list).
        if (main->rgView->ItemIndex() != 0)
            main->rgView->setItemIndex(0);
        else if (main->rgView->OnClick)
            main->rgView->OnClick();
    };
    tracking.outlookAvailable = [main] { return main->OutlookAvailable; };
    tracking.faxServiceAvailable = [main] { return main->FaxServiceAvailable; };
    tracking.templateFolder = [main] { return main->TemplateFolder(); };
    auto *frmTracking = new TfrmTracking(std::move(tracking));
    registry.frmTracking = frmTracking;
    registry.trackingClearArchiveLists = [frmTracking] { frmTracking->ClearArchiveLists(); };
    if (registry.shell)
        registry.frmAbout = new TfrmAbout(*registry.shell);
}

void DestroyWindows(WindowRegistry &registry)
{
    registry.trackingClearArchiveLists = nullptr;
    delete registry.richTextDocumentWindow.data();
    registry.openRichTextDocument = nullptr;
    for (QWidget *w :
         {registry.frmAbout, registry.frmTracking, registry.frmManualDial, registry.frmConfiguration,
          static_cast<QWidget *>(registry.frmRichEditor), static_cast<QWidget *>(registry.frmTemplate)})
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
