#include "app/TemplateSettings.h"

#include "config/Settings.h"
#include "messaging/TfrmTemplate.h"

void applyTemplateSettings(TfrmTemplate &window, const Settings &s)
{
    MessageTemplate t;
    t.email.addFirstName = s.addFirstName;
    t.email.addAttachment = s.addAttachment;
    t.email.attachmentFile = s.attachmentFile;
    t.email.subject = s.mailSubject;
    t.email.viewBeforeSend = s.viewBeforeSend;
    t.email.body = s.mailMessage;
    t.fax.faxSource = s.faxSource;
    t.fax.coverPage = s.coverPage;
    t.fax.schedule = s.schedule;
    t.fax.subject = s.faxSubject;
    t.fax.note = s.faxNote;
    t.fax.sourceFile = s.sourceFile;
    t.fax.scheduleDate = s.scheduleDate;
    t.fax.scheduleTime = s.scheduleTime;
    t.fax.bodyRtf = s.faxTemplateRtf;
    window.setTemplate(t);
}

void collectTemplateSettings(const TfrmTemplate &window, Settings &s)
{
    const MessageTemplate t = window.currentTemplate();
    s.addFirstName = t.email.addFirstName;
    s.addAttachment = t.email.addAttachment;
    s.attachmentFile = t.email.attachmentFile;
    s.mailSubject = t.email.subject;
    s.viewBeforeSend = t.email.viewBeforeSend;
    s.mailMessage = t.email.body;
    s.faxSource = t.fax.faxSource;
    s.coverPage = t.fax.coverPage;
    s.schedule = t.fax.schedule;
    s.faxSubject = t.fax.subject;
    s.faxNote = t.fax.note;
    s.sourceFile = t.fax.sourceFile;
    s.scheduleDate = t.fax.scheduleDate;
    s.scheduleTime = t.fax.scheduleTime;
    s.faxTemplateRtf = t.fax.bodyRtf;
}
