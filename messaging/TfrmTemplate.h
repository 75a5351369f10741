#pragma once

#include "messaging/MessageTemplate.h"

#include <QWidget>
#include <functional>

class Clock;
class Dialogs;
class Shell;
class TFrmRichEditor;
class TRadioGroup;
class QCheckBox;
class QDateEdit;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTimeEdit;

// "E-Mail / Fax template editor": its controls are the live e-mail and fax
// templates that sending reads. Created once, kept for the run; the fax
// editor is embedded in Panel1 each time the window is shown.
class TfrmTemplate : public QWidget {
    Q_OBJECT
public:
    TfrmTemplate(Dialogs &dialogs, Clock &clock, Shell *shell, TFrmRichEditor *faxEditor,
                 QString templateFolder, QWidget *parent = nullptr);

    // The template as the controls hold it, and set as the operator would
    // set each control (the click rules follow). setTemplate leaves
    // CustomCoverPage alone and sets the schedule last, without the warning;
    // a body not taken leaves the memo or the fax editor as it is.
    MessageTemplate currentTemplate() const;
    void setTemplate(const MessageTemplate &t, bool takeMailBody = true, bool takeFaxBody = true);

    // The fax editor is created after this window; it is embedded once given.
    void setFaxEditor(TFrmRichEditor *editor) { m_faxEditor = editor; }

    // The memo's lines; a last line without characters does not count.
    QStringList mailLines() const;
    void setMailLines(const QStringList &lines);
    // Date part of dtpDate plus time of day of dtpTime, local time.
    QDateTime scheduledMoment() const;

    // cbEditInOutlook changed: the main contact grid's selection mode follows.
    std::function<void(bool viewBeforeSend)> OnViewBeforeSendChange;

    // Handlers.
    void FormShow();
    void rbgroupFaxSourceClick();
    void btnFileNameClick();
    void rbgroupCoverPageTypeClick();
    void btnCoverPAgeClick();
    void BitBtn1Click();
    void rbgroupScheduleClick();
    void dtpDateChange();
    void dtpTimeChange();
    void cbAttachmentClick();
    void btnBrowseAttachmentClick();
    void cbEditInOutlookClick();
    void btnClearEMailClick();
    void Button1Click();
    void BitBtn2Click(); // Open Template
    void BitBtn3Click(); // Save Template

    // Controls, as the window names them.
    QTabWidget *PageControl = nullptr;
    QPushButton *BitBtn2 = nullptr, *BitBtn3 = nullptr;
    // Tab "Email Editor".
    QLineEdit *editMailSubject = nullptr;
    QPlainTextEdit *memoMailMessage = nullptr;
    QCheckBox *cbInsertFirstName = nullptr, *cbAttachment = nullptr, *cbEditInOutlook = nullptr;
    QLineEdit *editAttachmentFile = nullptr;
    QPushButton *btnBrowseAttachment = nullptr, *btnClearEMail = nullptr, *Button1 = nullptr;
    QLabel *Label3 = nullptr;
    // Tab "Fax Editor".
    TRadioGroup *rbgroupFaxSource = nullptr, *rbgroupCoverPageType = nullptr, *rbgroupSchedule = nullptr;
    QLineEdit *editSourceFileName = nullptr, *CustomCoverPage = nullptr, *editFaxSubject = nullptr,
              *editFaxNote = nullptr;
    QPushButton *btnFileName = nullptr, *btnCoverPAge = nullptr, *BitBtn1 = nullptr;
    QLabel *labelSubject = nullptr, *labelNote = nullptr;
    QDateEdit *dtpDate = nullptr;
    QTimeEdit *dtpTime = nullptr;
    QFrame *Panel1 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildEmailTab(QWidget *page);
    void buildFaxTab(QWidget *page);
    void run(const std::function<void()> &handler);
    void setSchedulePickers(const QDate &date, const QTime &time);
    QString dialogFolder();

    Dialogs &m_dialogs;
    Clock &m_clock;
    Shell *m_shell;
    TFrmRichEditor *m_faxEditor;
    QString m_templateFolder;
    QString m_dialogFolder; // the template dialogs' initial folder, once set
};
