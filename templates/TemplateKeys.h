#pragma once

// The e-mail and fax templates as values, and their keys in the sections
// Email and Fax of a profile file. The settings file and the template files
// (.tpl) hold the same keys with the same encodings and defaults; a template
// file adds a Body key to each section, the settings file keeps the bodies in
// side files instead.

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QStringList>
#include <QTime>

class IniFile;

struct EmailTemplate {
    bool addFirstName = true;   // cbInsertFirstName
    bool addAttachment = false; // cbAttachment
    QString attachmentFile;     // editAttachmentFile
    QString subject;            // editMailSubject
    bool viewBeforeSend = true; // cbEditInOutlook
    QStringList body;           // memoMailMessage lines
};

struct FaxTemplate {
    int faxSource = 0;  // rbgroupFaxSource: 0 built-in editor, 1 external file
    int coverPage = 1;  // rbgroupCoverPageType: 0 none, 1 default, 2 custom
    int schedule = 0;   // rbgroupSchedule: 0 now, 1 later at
    QString subject;    // editFaxSubject
    QString note;       // editFaxNote
    QString sourceFile; // editSourceFileName
    QDate scheduleDate; // date part of dtpDate
    QTime scheduleTime; // time-of-day part of dtpTime
    QByteArray bodyRtf; // the fax editor's document; empty: an empty document
};

struct MessageTemplate {
    EmailTemplate email;
    FaxTemplate fax;
};

namespace TemplateKeys {

inline const char *const kEmailSection = "Email";
inline const char *const kFaxSection = "Fax";

// The Email keys AddFirstName to ViewBeforeSend, in file order (no Body).
EmailTemplate readEmail(const IniFile &ini);
void writeEmail(IniFile &ini, const EmailTemplate &t);

// The Fax keys FaxSource to ScheduleTime, in file order (no Body). A missing
// or unreadable schedule date is today, a time the time of day of now.
FaxTemplate readFax(const IniFile &ini, const QDateTime &now);
void writeFax(IniFile &ini, const FaxTemplate &t);

// Body values: every byte as two upper-case hex digits, nothing between.
// Reading ignores a trailing odd digit and stops at the first pair that is
// not hex.
QString hexEncode(const QByteArray &bytes);
QByteArray hexDecode(const QString &text);

// The mail body's bytes: each line followed by CR LF, in the ANSI code page
// (Windows-1252); a body that code page cannot hold is written as UTF-8
// rather than losing characters, and reading tells the two apart.
QByteArray mailBodyBytes(const QStringList &lines);
QStringList mailBodyLines(const QByteArray &bytes);

} // namespace TemplateKeys
