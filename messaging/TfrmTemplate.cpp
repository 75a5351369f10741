#include "messaging/TfrmTemplate.h"

#include "messaging/TFrmRichEditor.h"
#include "platform/environment/Clock.h"
#include "platform/profile/IniFile.h"
#include "platform/shell/Shell.h"
#include "ui/Dialogs.h"
#include "ui/ErrorGuard.h"
#include "ui/RadioGroup.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace {

const QString kTemplateFilter = QStringLiteral("Template(*.tpl)|*.tpl");
const QString kAnyFileFilter = QStringLiteral("Any File|*.*");

// Extensions of files that are programs or archives, never printable documents.
bool isNotADocument(const QString &path)
{
    static const QStringList refused = {QStringLiteral("EXE"), QStringLiteral("DLL"), QStringLiteral("SCR"),
                                        QStringLiteral("ZIP"), QStringLiteral("RAR"), QStringLiteral("7ZIP"),
                                        QStringLiteral("SYS")};
    return refused.contains(QFileInfo(path).suffix().toUpper());
}

QPushButton *button(const QString &text, const char *name, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

QLineEdit *readOnlyEdit(const char *name, const QString &hint, QWidget *parent)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setReadOnly(true);
    e->setToolTip(hint);
    return e;
}

} // namespace

TfrmTemplate::TfrmTemplate(Dialogs &dialogs, Clock &clock, Shell *shell, TFrmRichEditor *faxEditor,
                           QString templateFolder, QWidget *parent)
    : QWidget(parent), m_dialogs(dialogs), m_clock(clock), m_shell(shell), m_faxEditor(faxEditor),
      m_templateFolder(std::move(templateFolder))
{
    setObjectName(QStringLiteral("frmTemplate"));
    setWindowTitle(QStringLiteral("E-Mail / Fax template editor"));
    resize(640, 560);

    auto *top = new QVBoxLayout(this);
    auto *buttons = new QHBoxLayout;
    BitBtn2 = button(QStringLiteral("Open Template"), "BitBtn2", this);
    BitBtn3 = button(QStringLiteral("Save Template"), "BitBtn3", this);
    buttons->addWidget(BitBtn2);
    buttons->addWidget(BitBtn3);
    buttons->addStretch();
    top->addLayout(buttons);

    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    auto *emailPage = new QWidget;
    auto *faxPage = new QWidget;
    emailPage->setObjectName(QStringLiteral("tsEmail"));
    faxPage->setObjectName(QStringLiteral("tsFax"));
    PageControl->addTab(emailPage, QStringLiteral("Email Editor"));
    PageControl->addTab(faxPage, QStringLiteral("Fax Editor"));
    top->addWidget(PageControl);
    buildEmailTab(emailPage);
    buildFaxTab(faxPage);

    connect(BitBtn2, &QPushButton::clicked, this, [this] { run([this] { BitBtn2Click(); }); });
    connect(BitBtn3, &QPushButton::clicked, this, [this] { run([this] { BitBtn3Click(); }); });

    // The initial state of the controls, with their visibility rules applied.
    const QDateTime now = m_clock.now();
    setSchedulePickers(now.date(), now.time());
    cbAttachmentClick();
    rbgroupFaxSourceClick();
    rbgroupCoverPageTypeClick();
    rbgroupScheduleClick();
}

void TfrmTemplate::buildEmailTab(QWidget *page)
{
    auto *grid = new QGridLayout(page);
    auto *subjectLabel = new QLabel(QStringLiteral("Subject :"), page);
    editMailSubject = new QLineEdit(page);
    editMailSubject->setObjectName(QStringLiteral("editMailSubject"));
    subjectLabel->setBuddy(editMailSubject);
    grid->addWidget(subjectLabel, 0, 0);
    grid->addWidget(editMailSubject, 0, 1, 1, 2);

    auto *messageLabel = new QLabel(QStringLiteral("Message :"), page);
    memoMailMessage = new QPlainTextEdit(page);
    memoMailMessage->setObjectName(QStringLiteral("memoMailMessage"));
    memoMailMessage->setTabChangesFocus(true);
    grid->addWidget(messageLabel, 1, 0, Qt::AlignTop);
    grid->addWidget(memoMailMessage, 1, 1, 1, 2);

    cbInsertFirstName = new QCheckBox(QStringLiteral("Insert First Name in Email message"), page);
    cbInsertFirstName->setObjectName(QStringLiteral("cbInsertFirstName"));
    cbInsertFirstName->setChecked(true);
    grid->addWidget(cbInsertFirstName, 2, 1, 1, 2);

    cbAttachment = new QCheckBox(QStringLiteral("Attachment"), page);
    cbAttachment->setObjectName(QStringLiteral("cbAttachment"));
    editAttachmentFile = readOnlyEdit("editAttachmentFile", QString(), page);
    btnBrowseAttachment = button(QStringLiteral("..."), "btnBrowseAttachment", page);
    auto *attachRow = new QHBoxLayout;
    attachRow->addWidget(cbAttachment);
    attachRow->addWidget(editAttachmentFile, 1);
    attachRow->addWidget(btnBrowseAttachment);
    grid->addLayout(attachRow, 3, 1, 1, 2);

    cbEditInOutlook =
        new QCheckBox(QStringLiteral("Let me view the Email editor before send it to the network"), page);
    cbEditInOutlook->setObjectName(QStringLiteral("cbEditInOutlook"));
    cbEditInOutlook->setChecked(true);
    grid->addWidget(cbEditInOutlook, 4, 1, 1, 2);
    Label3 = new QLabel(QStringLiteral("Note : This option will disable multi selection from contact list "),
                        page);
    Label3->setObjectName(QStringLiteral("Label3"));
    grid->addWidget(Label3, 5, 1, 1, 2);

    btnClearEMail = button(QStringLiteral("Clear"), "btnClearEMail", page);
    Button1 = button(QStringLiteral("Close"), "Button1", page);
    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(btnClearEMail);
    row->addWidget(Button1);
    grid->addLayout(row, 6, 1, 1, 2);
    grid->setColumnStretch(1, 1);

    connect(cbAttachment, &QCheckBox::clicked, this, [this] { run([this] { cbAttachmentClick(); }); });
    connect(btnBrowseAttachment, &QPushButton::clicked, this,
            [this] { run([this] { btnBrowseAttachmentClick(); }); });
    connect(cbEditInOutlook, &QCheckBox::clicked, this, [this] { run([this] { cbEditInOutlookClick(); }); });
    connect(btnClearEMail, &QPushButton::clicked, this, [this] { run([this] { btnClearEMailClick(); }); });
    connect(Button1, &QPushButton::clicked, this, [this] { run([this] { Button1Click(); }); });
}

void TfrmTemplate::buildFaxTab(QWidget *page)
{
    auto *column = new QVBoxLayout(page);
    auto *upper = new QGridLayout;
    column->addLayout(upper);

    rbgroupFaxSource =
        new TRadioGroup(QStringLiteral("Fax Message Body Source :"),
                        {QStringLiteral("Built in Editor"), QStringLiteral("External File")}, 2, page);
    rbgroupFaxSource->setObjectName(QStringLiteral("rbgroupFaxSource"));
    rbgroupFaxSource->setItemIndex(0);
    editSourceFileName = readOnlyEdit("editSourceFileName", QStringLiteral("File to be faxed"), page);
    btnFileName = button(QStringLiteral("..."), "btnFileName", page);
    btnFileName->setToolTip(QStringLiteral("Open File to be faxed"));
    upper->addWidget(rbgroupFaxSource, 0, 0, 1, 3);
    upper->addWidget(editSourceFileName, 1, 0, 1, 2);
    upper->addWidget(btnFileName, 1, 2);

    rbgroupCoverPageType = new TRadioGroup(
        QStringLiteral("Cover Page"),
        {QStringLiteral("None"), QStringLiteral("Default"), QStringLiteral("Custom")}, 3, page);
    rbgroupCoverPageType->setObjectName(QStringLiteral("rbgroupCoverPageType"));
    rbgroupCoverPageType->setItemIndex(1);
    CustomCoverPage = readOnlyEdit("CustomCoverPage", QStringLiteral("Custom Cover page file"), page);
    btnCoverPAge = button(QStringLiteral("..."), "btnCoverPAge", page);
    btnCoverPAge->setToolTip(QStringLiteral("open Custom cover page file"));
    BitBtn1 = button(QStringLiteral("New Cover Page"), "BitBtn1", page);
    BitBtn1->setToolTip(QStringLiteral("Create New Fax Cover Page in Cover Page Edior"));
    upper->addWidget(rbgroupCoverPageType, 2, 0, 1, 2);
    upper->addWidget(BitBtn1, 2, 2);
    upper->addWidget(CustomCoverPage, 3, 0, 1, 2);
    upper->addWidget(btnCoverPAge, 3, 2);

    labelSubject = new QLabel(QStringLiteral("Subject:"), page);
    labelSubject->setObjectName(QStringLiteral("labelSubject"));
    editFaxSubject = new QLineEdit(page);
    editFaxSubject->setObjectName(QStringLiteral("editFaxSubject"));
    editFaxSubject->setToolTip(QStringLiteral("text to be printed on subject section of cover page"));
    labelNote = new QLabel(QStringLiteral("Note:"), page);
    labelNote->setObjectName(QStringLiteral("labelNote"));
    editFaxNote = new QLineEdit(page);
    editFaxNote->setObjectName(QStringLiteral("editFaxNote"));
    editFaxNote->setToolTip(QStringLiteral("text to be printed on Note section of cover page"));
    upper->addWidget(labelSubject, 4, 0);
    upper->addWidget(editFaxSubject, 4, 1, 1, 2);
    upper->addWidget(labelNote, 5, 0);
    upper->addWidget(editFaxNote, 5, 1, 1, 2);

    rbgroupSchedule = new TRadioGroup(QStringLiteral("Schedule"),
                                      {QStringLiteral("Now"), QStringLiteral("Later at")}, 2, page);
    rbgroupSchedule->setObjectName(QStringLiteral("rbgroupSchedule"));
    rbgroupSchedule->setItemIndex(0);
    dtpDate = new QDateEdit(page);
    dtpDate->setObjectName(QStringLiteral("dtpDate"));
    dtpDate->setDisplayFormat(QStringLiteral("dd MMM yyyy"));
    dtpDate->setCalendarPopup(true);
    dtpTime = new QTimeEdit(page);
    dtpTime->setObjectName(QStringLiteral("dtpTime"));
    dtpTime->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    auto *scheduleRow = new QHBoxLayout;
    scheduleRow->addWidget(rbgroupSchedule);
    scheduleRow->addWidget(dtpDate);
    scheduleRow->addWidget(dtpTime);
    scheduleRow->addStretch();
    upper->addLayout(scheduleRow, 6, 0, 1, 3);
    upper->setColumnStretch(1, 1);

    Panel1 = new QFrame(page);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setMinimumHeight(240);
    auto *panelLayout = new QVBoxLayout(Panel1);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    column->addWidget(Panel1, 1);

    rbgroupFaxSource->OnClick = [this] { run([this] { rbgroupFaxSourceClick(); }); };
    rbgroupCoverPageType->OnClick = [this] { run([this] { rbgroupCoverPageTypeClick(); }); };
    rbgroupSchedule->OnClick = [this] { run([this] { rbgroupScheduleClick(); }); };
    connect(btnFileName, &QPushButton::clicked, this, [this] { run([this] { btnFileNameClick(); }); });
    connect(btnCoverPAge, &QPushButton::clicked, this, [this] { run([this] { btnCoverPAgeClick(); }); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { run([this] { BitBtn1Click(); }); });
    connect(dtpDate, &QDateEdit::dateChanged, this, [this] { run([this] { dtpDateChange(); }); });
    connect(dtpTime, &QTimeEdit::timeChanged, this, [this] { run([this] { dtpTimeChange(); }); });
}

void TfrmTemplate::run(const std::function<void()> &handler)
{
    guard(m_dialogs, handler);
}

void TfrmTemplate::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    FormShow();
}

void TfrmTemplate::FormShow()
{
    if (!m_faxEditor)
        return;
    // The fax editor lives on as its own window elsewhere; here it is a
    // borderless part of the fax tab.
    if (m_faxEditor->parentWidget() != Panel1) {
        m_faxEditor->setParent(Panel1, Qt::Widget);
        Panel1->layout()->addWidget(m_faxEditor);
    }
    m_faxEditor->move(0, 0);
    m_faxEditor->setVisible(rbgroupFaxSource->ItemIndex() != 1);
}

QStringList TfrmTemplate::mailLines() const
{
    const QString text = memoMailMessage->toPlainText();
    if (text.isEmpty())
        return {};
    QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

void TfrmTemplate::setMailLines(const QStringList &lines)
{
    memoMailMessage->setPlainText(lines.join(QLatin1Char('\n')));
}

QDateTime TfrmTemplate::scheduledMoment() const
{
    return QDateTime(dtpDate->date(), dtpTime->time());
}

MessageTemplate TfrmTemplate::currentTemplate() const
{
    MessageTemplate t;
    t.email.addFirstName = cbInsertFirstName->isChecked();
    t.email.addAttachment = cbAttachment->isChecked();
    t.email.attachmentFile = editAttachmentFile->text();
    t.email.subject = editMailSubject->text();
    t.email.viewBeforeSend = cbEditInOutlook->isChecked();
    t.email.body = mailLines();
    t.fax.faxSource = rbgroupFaxSource->ItemIndex();
    t.fax.coverPage = rbgroupCoverPageType->ItemIndex();
    t.fax.schedule = rbgroupSchedule->ItemIndex();
    t.fax.subject = editFaxSubject->text();
    t.fax.note = editFaxNote->text();
    t.fax.sourceFile = editSourceFileName->text();
    t.fax.scheduleDate = dtpDate->date();
    t.fax.scheduleTime = dtpTime->time();
    if (m_faxEditor)
        t.fax.bodyRtf = m_faxEditor->Editor->toRtf();
    return t;
}

void TfrmTemplate::setTemplate(const MessageTemplate &t, bool takeMailBody, bool takeFaxBody)
{
    // Each control as the operator would change it: the click rules follow
    // a change, as they do for a click.
    cbInsertFirstName->setChecked(t.email.addFirstName);
    if (cbAttachment->isChecked() != t.email.addAttachment) {
        cbAttachment->setChecked(t.email.addAttachment);
        cbAttachmentClick();
    }
    editAttachmentFile->setText(t.email.attachmentFile);
    editMailSubject->setText(t.email.subject);
    if (cbEditInOutlook->isChecked() != t.email.viewBeforeSend) {
        cbEditInOutlook->setChecked(t.email.viewBeforeSend);
        cbEditInOutlookClick();
    }
    if (takeMailBody)
        setMailLines(t.email.body);

    rbgroupFaxSource->setItemIndex(t.fax.faxSource);
    rbgroupCoverPageType->setItemIndex(t.fax.coverPage);
    editFaxSubject->setText(t.fax.subject);
    editFaxNote->setText(t.fax.note);
    editSourceFileName->setText(t.fax.sourceFile);
    if (m_faxEditor && takeFaxBody) {
        if (t.fax.bodyRtf.isEmpty())
            m_faxEditor->Editor->clearDocument();
        else
            m_faxEditor->Editor->loadFromBytes(t.fax.bodyRtf);
    }
    // The stored moment is set after the schedule choice, so that choosing
    // "Later at" does not move a past moment to now, and without the warning.
    rbgroupSchedule->setItemIndex(t.fax.schedule);
    setSchedulePickers(t.fax.scheduleDate, t.fax.scheduleTime);
}

void TfrmTemplate::setSchedulePickers(const QDate &date, const QTime &time)
{
    const QSignalBlocker blockDate(dtpDate);
    const QSignalBlocker blockTime(dtpTime);
    dtpDate->setDate(date);
    dtpTime->setTime(time);
}

void TfrmTemplate::rbgroupFaxSourceClick()
{
    const bool external = rbgroupFaxSource->ItemIndex() == 1;
    editSourceFileName->setVisible(external);
    btnFileName->setVisible(external);
    if (m_faxEditor && m_faxEditor->parentWidget() == Panel1)
        m_faxEditor->setVisible(!external);
}

void TfrmTemplate::btnFileNameClick()
{
    m_dialogs.showMessage(QStringLiteral("Make sure you choose a printable document file"));
    FileDialogRequest request;
    request.filter = kAnyFileFilter;
    const std::optional<QString> path = m_dialogs.openFile(request);
    if (!path)
        return;
    if (isNotADocument(*path)) {
        m_dialogs.showMessage(QStringLiteral("Not a document file !"));
        return;
    }
    editSourceFileName->setText(QFileInfo(*path).absoluteFilePath());
}

void TfrmTemplate::rbgroupCoverPageTypeClick()
{
    const int kind = rbgroupCoverPageType->ItemIndex();
    const bool custom = kind == 2;
    CustomCoverPage->setVisible(custom);
    btnCoverPAge->setVisible(custom);
    const bool texts = kind != 0;
    for (QWidget *w : {static_cast<QWidget *>(labelSubject), static_cast<QWidget *>(editFaxSubject),
                       static_cast<QWidget *>(labelNote), static_cast<QWidget *>(editFaxNote)})
        w->setEnabled(texts);
}

void TfrmTemplate::btnCoverPAgeClick()
{
    FileDialogRequest request;
    request.filter = QStringLiteral("Fax Cover Page|*.cov");
    if (const std::optional<QString> path = m_dialogs.openFile(request))
        CustomCoverPage->setText(*path);
}

void TfrmTemplate::BitBtn1Click()
{
    const QString editor =
        m_shell ? m_shell->GetSystemDirectory() + QStringLiteral("/fxscover.exe") : QString();
    if (m_shell && m_shell->FileExists(editor))
        m_shell->ShellExecute(QStringLiteral("open"), editor, QString(), QString(), ShowCommand::Normal);
    else
        m_dialogs.showMessage(QStringLiteral("Fax Cover Page Editor not found !"));
}

void TfrmTemplate::rbgroupScheduleClick()
{
    const bool later = rbgroupSchedule->ItemIndex() == 1;
    dtpDate->setVisible(later);
    dtpTime->setVisible(later);
    if (!later)
        return;
    const QDateTime now = m_clock.now();
    if (scheduledMoment() < now) {
        // A moment just ahead of now: 0.00001 of a day.
        const QDateTime soon = now.addMSecs(864);
        setSchedulePickers(now.date(), soon.time());
    }
}

void TfrmTemplate::dtpDateChange()
{
    if (scheduledMoment() < m_clock.now())
        m_dialogs.showMessage(QStringLiteral("Warning : Schedule date is before current time !!"));
}

void TfrmTemplate::dtpTimeChange()
{
    dtpDateChange();
}

void TfrmTemplate::cbAttachmentClick()
{
    const bool on = cbAttachment->isChecked();
    editAttachmentFile->setVisible(on);
    btnBrowseAttachment->setVisible(on);
}

void TfrmTemplate::btnBrowseAttachmentClick()
{
    FileDialogRequest request;
    request.filter = kAnyFileFilter;
    if (const std::optional<QString> path = m_dialogs.openFile(request))
        editAttachmentFile->setText(*path);
}

void TfrmTemplate::cbEditInOutlookClick()
{
    if (OnViewBeforeSendChange)
        OnViewBeforeSendChange(cbEditInOutlook->isChecked());
}

void TfrmTemplate::btnClearEMailClick()
{
    if (m_dialogs.messageBox(QStringLiteral("Are you sure to clear the Email editor ?"),
                             QStringLiteral("Please Confirm"), MsgButtons::YesNo,
                             MsgIcon::Question) != MsgResult::Yes)
        return;
    editMailSubject->clear();
    memoMailMessage->clear();
    editAttachmentFile->clear();
    if (cbAttachment->isChecked()) {
        cbAttachment->setChecked(false);
        cbAttachmentClick();
    }
}

void TfrmTemplate::Button1Click()
{
    close();
}

QString TfrmTemplate::dialogFolder()
{
    if (m_dialogFolder.isEmpty())
        m_dialogFolder = m_templateFolder;
    return m_dialogFolder;
}

void TfrmTemplate::BitBtn3Click()
{
    FileDialogRequest request;
    request.folder = dialogFolder();
    request.defaultExt = QStringLiteral("tpl");
    request.filter = kTemplateFilter;
    request.overwritePrompt = true;
    const std::optional<QString> path = m_dialogs.saveFile(request);
    if (!path)
        return;
    WriteTemplateFile(*path, currentTemplate());
}

void TfrmTemplate::BitBtn2Click()
{
    FileDialogRequest request;
    request.folder = dialogFolder();
    request.defaultExt = QStringLiteral("tpl");
    request.filter = kTemplateFilter;
    const std::optional<QString> path = m_dialogs.openFile(request);
    if (!path)
        return;
    setTemplate(ReadTemplateFile(*path, m_clock.now()));
}
