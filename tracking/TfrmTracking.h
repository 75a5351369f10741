#pragma once

#include "tracking/EmailArchiveList.h"
#include "tracking/FaxArchiveList.h"
#include "tracking/VoiceReplay.h"

#include <QDialog>
#include <array>
#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QPushButton;
class QTabWidget;
class QWidget;
class DataSource;
class DBGrid;
class DBEdit;
class DBMemo;
class DBCheckBox;
class Dialogs;
class Environment;
class Shell;
class TDBDateTimePicker;

// What the tracking window is given by the program entry: the main contact
// window's data source and the parts of that window it reads.
struct TrackingServices {
    DataSource *dataSource = nullptr;
    Dialogs *dialogs = nullptr;
    Environment *environment = nullptr;
    Shell *shell = nullptr; // may be null: a fax image is then not opened
    // The main window's view set to "All" with its click handling run.
    std::function<void()> resetView;
    std::function<bool()> outlookAvailable;
    std::function<bool()> faxServiceAvailable;
    // The Template folder, ending with a separator.
    std::function<QString()> templateFolder;
    // The mail store's sent items; the window's own session when empty.
    std::unique_ptr<SentItemsSource> sentItems;
};

// "Tracking": one contact's history slots, follow-up dates and notes, the
// sent e-mails and faxes found in the archives for it, and the voice
// messages played to it. Created at start-up, shown modally, hidden when
// closed so its lists and mail logon last for the run.
class TfrmTracking : public QDialog {
    Q_OBJECT
public:
    explicit TfrmTracking(TrackingServices services, QWidget *parent = nullptr);
    ~TfrmTracking() override;

    // Handlers.
    void FormShow();
    void FormActivate();
    void FormClose();
    void PageControl1Change();
    void btnRefreshEmailArchiveClick();
    void cbEmailArchiveChange();
    void btnRefreshFaxArchiveClick();
    void cbFaxArchiveChange();
    void btnPlayWaveClick(int slot); // 1..5
    void btnPlayWave1Click() { btnPlayWaveClick(1); }
    void btnPlayWave2Click() { btnPlayWaveClick(2); }
    void btnPlayWave3Click() { btnPlayWaveClick(3); }
    void btnPlayWave4Click() { btnPlayWaveClick(4); }
    void btnPlayWave5Click() { btnPlayWaveClick(5); }
    // The main table's current record changed.
    void ClearArchiveLists();

    EmailArchiveList &emailArchive() { return *m_email; }
    FaxArchiveList &faxArchive() { return *m_fax; }
    VoiceReplay &voiceReplay() { return *m_voice; }

    // Controls, named as the window has them.
    ::DBGrid *DBGrid = nullptr;
    QTabWidget *PageControl1 = nullptr;
    QWidget *tsCALL = nullptr, *tsEMAIL = nullptr, *tsFAX = nullptr, *tsWAVE = nullptr;
    // DBEdit1..10 (call times, durations), 11..15, 21..25, 31..35, and 16.
    std::array<::DBEdit *, 36> DBEdit{};
    QComboBox *cbEmailArchive = nullptr, *cbFaxArchive = nullptr;
    QPushButton *btnRefreshEmailArchive = nullptr, *btnRefreshFaxArchive = nullptr;
    std::array<QPushButton *, 6> btnPlayWave{}; // 1..5
    TDBDateTimePicker *dbeCallback = nullptr, *dbeEmailback = nullptr, *dbeFaxback = nullptr;
    DBCheckBox *DBCheckBox1 = nullptr;
    DBMemo *DBMemo1 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void done(int result) override;

private:
    void buildLayout();
    QWidget *buildHistoryPage(const QString &caption, const char *name, const QString &timeLabel,
                              const QString &field, int firstEdit);
    QComboBox *addArchiveControls(QWidget *page, const char *listName, const char *buttonName,
                                  QPushButton *&button);
    static void showList(QComboBox *box, const ArchiveList &list);
    // The current contact's field, empty without one.
    QString currentField(const QString &field) const;
    void handle(const std::function<void()> &handler);

    TrackingServices m_services;
    std::unique_ptr<EmailArchiveList> m_email;
    std::unique_ptr<FaxArchiveList> m_fax;
    std::unique_ptr<VoiceReplay> m_voice;
};
