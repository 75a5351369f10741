#include "messaging/MessageSending.h"

#include "messaging/FaxServiceAccess.h"
#include "messaging/TOutlookConnect.h"
#include "platform/mail/MailClient.h"
#include "platform/shell/Shell.h"
#include "ui/Dialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// Blanks and control characters off both ends, as the mail client trims.
QString trimmed(const QString &text)
{
    qsizetype begin = 0, end = text.size();
    while (begin < end && text[begin].unicode() <= 0x20)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

// Disconnects however the command ends.
class ConnectedScope {
public:
    explicit ConnectedScope(TOutlookConnect &c) : m_c(c) { m_c.setConnected(true); }
    ~ConnectedScope()
    {
        try {
            m_c.setConnected(false);
        } catch (...) {
            // A failed release must not hide the error that ended the command.
        }
    }

private:
    TOutlookConnect &m_c;
};

} // namespace

void StartHostProgram(const SendServices &services, const QString &program, const QString &notFoundText)
{
    if (services.shell && !program.isEmpty() && services.shell->FileExists(program))
        services.shell->ShellExecute(QStringLiteral("open"), program, QString(), QString(),
                                     ShowCommand::Normal);
    else
        services.dialogs.showMessage(notFoundText);
}

int EmailSending::SendEmail(const Input &input, TOutlookConnect *outlook, const SendRecipients &recipients,
                            const std::function<void()> &addEmailHistory)
{
    Dialogs &dialogs = m_services.dialogs;
    if (!input.outlookAvailable || !outlook) {
        StartHostProgram(m_services, input.emailHostProgram, QStringLiteral("Email host prog not found"));
        return 0;
    }
    const EmailTemplate &t = input.email;
    if (trimmed(t.subject).isEmpty())
        dialogs.showMessage(QStringLiteral("Email template subject empty"));
    if (t.body.isEmpty()) {
        dialogs.showMessage(QStringLiteral("Email template message body empty"));
        return 0;
    }
    QString body;
    for (const QString &line : t.body)
        body += line + QStringLiteral("\r\n");

    int count = 0;
    {
        ConnectedScope connected(*outlook);
        // One flush to disk for all the mails; those handed over before an
        // error still reach the Outbox.
        std::unique_ptr<OutboxBatch> batch = outlook->BeginOutboxBatch();
        for (int i = 0; i < recipients.contacts.size(); ++i) {
            if (recipients.makeCurrent)
                recipients.makeCurrent(i);
            const SendContact &c = recipients.contacts[i];
            std::shared_ptr<MailItem> mail =
                outlook->NewMail(QStringLiteral("Mail to :") + c.firstName + QLatin1Char(' ') + c.lastName);
            mail->setTo(c.email);
            mail->setBody(t.addFirstName ? c.firstName + QStringLiteral(",\r\n\r\n") + body : body);
            mail->setSubject(t.subject);
            // A missing attachment is left out without a word.
            if (t.addAttachment && QFileInfo(t.attachmentFile).isFile())
                outlook->AttachFile(*mail, t.attachmentFile);
            if (t.viewBeforeSend)
                mail->Display();
            else
                mail->Send();
            ++count;
        }
        if (batch)
            batch->commit();
        if (addEmailHistory)
            addEmailHistory();
    }
    if (recipients.actedOn)
        recipients.actedOn();
    if (!t.viewBeforeSend)
        dialogs.showMessage(QString::number(count) + QStringLiteral(" mail(s) send to Outbox Folder"));
    return count;
}

int FaxSending::SendFax(const Input &input, FaxServiceAccess &service,
                        const std::function<void()> &hideSendFax, const SendRecipients &recipients,
                        const std::function<void(const QStringList &)> &addFaxHistory)
{
    Dialogs &dialogs = m_services.dialogs;
    if (!input.faxServiceAvailable) {
        StartHostProgram(m_services, input.faxHostProgram, QStringLiteral("Fax host prog not found"));
        return 0;
    }
    if (!service.PrepareFaxObjects(hideSendFax))
        return 0;
    TFaxDocument &document = *service.FaxDocument();
    FaxRecipients &list = document->Recipients();
    // Recipients of an earlier send, also of one that failed part-way.
    while (list.Count() > 0)
        list.Remove(1);

    const FaxTemplate &t = input.fax;
    const bool external = t.faxSource == 1;
    if (external) {
        if (!QFileInfo(t.sourceFile).isFile()) {
            dialogs.showMessage(QStringLiteral("Fax source file : < ") + t.sourceFile +
                                QStringLiteral(" > not found"));
            return 0;
        }
        document->setBody(t.sourceFile);
    } else {
        if (!input.editorHasLines) {
            dialogs.showMessage(QStringLiteral("Fax template is empty , please fill it first"));
            return 0;
        }
        const QString bodyFile = QDir(input.templateFolder).filePath(QStringLiteral("template.rtf"));
        QSaveFile file(bodyFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(t.bodyRtf) != t.bodyRtf.size() || !file.commit())
            throw std::runtime_error(QStringLiteral("Unable to write to %1").arg(bodyFile).toStdString());
        document->setBody(bodyFile);
    }
    document->setDocumentName(QStringLiteral("Fax document sent from ") + input.programFileName);
    document->setPriority(1);

    if (recipients.contacts.isEmpty()) {
        dialogs.showMessage(QStringLiteral("Please select recipient from the grid "));
        return 0;
    }
    for (int i = 0; i < recipients.contacts.size(); ++i) {
        if (recipients.makeCurrent)
            recipients.makeCurrent(i);
        const SendContact &c = recipients.contacts[i];
        list.Add(c.fax, c.firstName + QLatin1Char(' ') + c.lastName);
    }

    switch (t.coverPage) {
    case 0:
        // The cover page file stays as the last send left it.
        document->setCoverPageType(0);
        break;
    case 2:
        document->setCoverPageType(1);
        document->setCoverPage(input.customCoverPage);
        break;
    default:
        document->setCoverPageType(2);
        document->setCoverPage(QStringLiteral("generic"));
        break;
    }
    document->setNote(t.note);
    document->setReceiptType(0);
    if (t.schedule == 1) {
        document->setScheduleType(1);
        document->setScheduleTime(QDateTime(t.scheduleDate, t.scheduleTime));
    } else {
        document->setScheduleType(0);
    }
    document->setSubject(t.subject);
    document->Sender().LoadDefaultSender();

    try {
        const QStringList jobs = document.ConnectedSubmit(*service.FaxServer());
        if (addFaxHistory)
            addFaxHistory(jobs);
    } catch (const std::exception &) {
        dialogs.showMessage(external ? QStringLiteral("Faxing file : ") + t.sourceFile +
                                           QStringLiteral(" fail... , check if it is a correct document type")
                                     : QStringLiteral("Could not execute fax job"));
        return 0;
    }
    if (recipients.actedOn)
        recipients.actedOn();
    dialogs.showMessage(QString::number(recipients.contacts.size()) +
                        QStringLiteral(" fax(es) sent to Fax server queue"));
    return int(recipients.contacts.size());
}
