#pragma once

#include "app/WindowRegistry.h"
#include "config/Settings.h"
#include "contacts/ContactHistory.h"
#include "contacts/DbfTable.h"
#include "contacts/HistoryRotation.h"
#include "platform/environment/ClockTimer.h"
#include "telephony/CallController.h"

#include <QDateTime>
#include <QMainWindow>
#include <memory>

class QAction;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPainter;
class QMenu;
class QPushButton;
class ApplicationHint;
class DataSource;
class DBGrid;
class DBEdit;
class DBMemo;
class DBCheckBox;
class TDBDateTimePicker;
class TCaptionedDBNavigator;
class TRadioGroup;
class TStatusBar;
class TTapiDevice;
class TTapiStatus;
class TComPort;
class OutlookCommands;
struct SendRecipients;
class FaxServiceAccess;
class TFaxServer;
class TFaxDocument;

// The main contact window: the contact grid, the fields of the current
// contact, the command panel, the contact views and the search. It owns the
// contact table and its data source for the whole run.
class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfrmMain(WindowRegistry &registry, QWidget *parent = nullptr);
    ~TfrmMain() override;

    // Start-up and close steps.
    void FormCreate();
    // Returns false when the table could not be opened (the rest is skipped).
    bool FormShow();
    void FormClose();

    TDbfTable &dsTable() { return *m_table; }
    ::DataSource &dataSource() { return *m_dataSource; }
    QString ProgramFolder() const { return m_programFolder; }
    QString TemplateFolder() const { return m_templateFolder; }
    int ViewIndex() const { return m_viewIndex; }
    QString LastDialledNumber() const { return m_calls->LastDialledNumber(); }
    void setLastDialledNumber(const QString &n) { m_calls->setLastDialledNumber(n); }
    // The call commands, the line device and the call bookkeeping.
    CallController &calls() { return *m_calls; }
    // The history stamps of the selected contacts.
    ContactHistory &history() { return *m_history; }
    Settings &settings() { return m_settings; }
    SettingsPaths settingsPaths() const;
    QString iniFile() const;

    // Whether a date field of the current record (or of the record being
    // filtered) is today.
    bool isDueToday(const QString &field) const;

    // The selected contacts: the grid's selected rows that are shown, in
    // file order, while it allows multiple selection, otherwise the current
    // contact.
    QList<Bookmark> SelectedContacts() const { return m_history->SelectedContacts(); }
    // Adds one contact unless a matching one is shown already (import from a
    // file or the clipboard, and from Outlook's contact list).
    void AddContactIfNew(const QString &firstName, const QString &lastName, const QString &email,
                         const QString &phone, const QString &fax);

    // The template window's "view before send" check box drives this.
    void setViewBeforeSend(bool on);

    // History entry points, kept here for the windows that call them on
    // the main window; the work is the history object's.
    int AddCallHistory(const QDateTime &time, int durationSeconds,
                       const std::function<void(const HistoryRotation &)> &beforePost = {})
    {
        return m_history->AddCallHistory(time, durationSeconds, beforePost);
    }
    void AddEmailHistory() { m_history->AddEmailHistory(); }
    void AddFaxHistory(const QStringList &jobIds) { m_history->AddFaxHistory(jobIds); }
    void AddWaveHistory(const QString &playListEntry) { m_history->AddWaveHistory(playListEntry); }
    static QString TimeStampText(const QDateTime &time) { return ContactHistory::TimeStampText(time); }

    // Handlers of the contact views and the search.
    void rgViewClick();
    bool dsTableFilterRecord(TDbfTable &table);
    void edStringKeyUp(int key);
    void cbFieldsChange();
    void DataSourceStateChange();
    void dsTableAfterScroll();
    void DisplayHint(const QString &hint);

    // "Copy to clipboard" of the six field menus; the field the menu was
    // opened on is its popup component.
    void Copytoclipboard1Click();
    void MenuItem1Click();
    void MenuItem2Click();
    void MenuItem3Click();
    void MenuItem4Click();
    void setPopupComponent(QLineEdit *edit) { m_popupComponent = edit; }

    // Command handlers. Those whose commands arrive with later work are
    // present and do nothing yet.
    void btnDialClick();
    void btnDialNextClick();
    void btnManualDialClick();
    void btnAbortClick();
    void btnSendEmailClick();
    void btnSendFaxClick();
    void btnPlay1Click();
    void btnPlay2Click();
    void btnStopPlayClick();
    void btnRecordClick();
    void btnScriptClick();
    void btnExportToOutlookClick();
    void ImportfromContactList1Click();
    void ImportfromFilePasteFromClipboard1Click();
    void FaxEmailTemplate1Click();
    void Configuration1Click();
    void racking1Click();
    void Exit1Click();
    void OpenFaxConsole1Click();
    void OpenFaxCoverPageEditor1Click();
    void OpenOutlookContactFolder1Click();
    void OpenOutlookOutboxFolder1Click();
    void OpenSoundRecorder1Click();
    void OpenVolumeControl1Click();
    void menuBackupClick();
    void menuGetDBClick();
    void About1Click();
    void Timer1Timer();
    void TapiDeviceTapiStatus(TCustomTapiDevice *CP, bool First, bool Last, DWORD Device, DWORD Message,
                              DWORD Param1, DWORD Param2, DWORD Param3);
    void TapiDeviceTapiWaveNotify(TCustomTapiDevice *CP, TWaveMessage Msg);
    void cbPLayer1DrawItem(QPainter &painter, const QRect &rect, int index, bool selected);
    void cbPlayer2DrawItem(QPainter &painter, const QRect &rect, int index, bool selected);
    // The call state the timer published: buttons and "Phone: " panel.
    void applyCallState(const CallButtons &state);

    // Controls, named as the window has them.
    DBGrid *DBGrid1 = nullptr;
    DBEdit *editCompName = nullptr, *editFirstName = nullptr, *editLastName = nullptr, *editPhone = nullptr,
           *editFAX = nullptr, *editCellPhone = nullptr, *editEMAIL = nullptr, *DBEdit6 = nullptr;
    TDBDateTimePicker *dbeCallback = nullptr, *dbeEmailback = nullptr, *dbeFaxback = nullptr;
    DBCheckBox *DBCheckBox1 = nullptr;
    DBMemo *DBMemo1 = nullptr;
    QFrame *Panel1 = nullptr;
    TCaptionedDBNavigator *DBNavigator1 = nullptr, *DBNavigator2 = nullptr;
    QPushButton *btnDial = nullptr, *btnDialNext = nullptr, *btnManualDial = nullptr, *btnAbort = nullptr,
                *btnSendEmail = nullptr, *btnSendFax = nullptr, *btnPlay1 = nullptr, *btnPlay2 = nullptr,
                *btnStopPlay = nullptr, *btnRecord = nullptr, *btnScript = nullptr,
                *btnExportToOutlook = nullptr;
    QComboBox *cbPLayer1 = nullptr, *cbPlayer2 = nullptr;
    TRadioGroup *rgView = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QComboBox *cbFields = nullptr;
    QLineEdit *edString = nullptr;
    TStatusBar *StatusBar1 = nullptr;
    ClockTimer *Timer1 = nullptr; // the call controller's 200 ms timer
    // The line device, its call-progress display and the port object.
    TTapiDevice *TapiDevice = nullptr;
    TTapiStatus *TapiStatus = nullptr;
    TComPort *ComPort = nullptr;
    QMenu *PopupMenu1 = nullptr, *PopupMenu2 = nullptr, *PopupMenu3 = nullptr, *PopupMenu4 = nullptr,
          *PopupMenu5 = nullptr;
    QAction *ImportfromContactList1 = nullptr, *ImportfromFilePasteFromClipboard1 = nullptr,
            *FaxEmailTemplate1 = nullptr, *Configuration1 = nullptr, *racking1 = nullptr, *Exit1 = nullptr,
            *OpenFaxConsole1 = nullptr, *OpenFaxCoverPageEditor1 = nullptr,
            *OpenOutlookContactFolder1 = nullptr, *OpenOutlookOutboxFolder1 = nullptr,
            *OpenSoundRecorder1 = nullptr, *OpenVolumeControl1 = nullptr, *menuBackup = nullptr,
            *menuGetDB = nullptr, *About1 = nullptr;

    bool OutlookAvailable = false;
    QString EmailHostProgram;
    // The mail client's check, export and folders; holds the window's connection.
    OutlookCommands &outlook() { return *m_outlook; }
    // The e-mail availability check with the host choice and path given.
    void CheckOutlook(int hostSelection, const QString &hostProgram);
    bool FaxServiceAvailable = false;

    // The fax availability check, for start-up and the configuration
    // window's fax host controls (through the registry's checkFaxService).
    void CheckFaxService(int hostSelection, const QString &hostProgram);
    QString FaxHostProgram() const;
    // Before each fax send: false when the service cannot be used.
    bool PrepareFaxObjects();
    TFaxServer *FaxServer() const;
    TFaxDocument *FaxDocument() const;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildLayout();
    void createCallController();
    void buildMenus();
    DBEdit *addField(QWidget *parent, int top, const QString &label, const QString &field,
                     const QString &hint, const char *name, QMenu *popup);
    void copySelectionOf(QLineEdit *edit);
    void openTool(int tool);
    void reapplyFilter();
    void applyLoadedSettings();

public:
    // The selected contacts as the send commands read them.
    SendRecipients sendRecipients();
    // The configuration window, whose controls hold the call settings.
    QWidget *configurationWindow() const { return m_registry->frmConfiguration; }

private:
    WindowRegistry *m_registry;
    Dialogs *m_dialogs;
    Environment *m_env;
    std::unique_ptr<TDbfTable> m_table;
    ::DataSource *m_dataSource = nullptr;
    std::unique_ptr<ApplicationHint> m_hint;
    std::unique_ptr<OutlookCommands> m_outlook;
    std::unique_ptr<FaxServiceAccess> m_fax;
    Settings m_settings;
    QString m_programFolder;
    QString m_templateFolder;
    std::unique_ptr<ContactHistory> m_history;
    std::unique_ptr<CallContacts> m_callContacts;
    std::unique_ptr<CallSettings> m_callSettings;
    CallController *m_calls = nullptr;
    int m_viewIndex = 0;
    QDate m_filterToday; // the day a view is being applied for, while it is
    bool m_closing = false;
    QLineEdit *m_popupComponent = nullptr;
};
