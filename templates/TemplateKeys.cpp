#include "templates/TemplateKeys.h"

#include "platform/profile/IniFile.h"
#include "platform/profile/TextEncoding.h"

namespace {

const QString kEmail = QString::fromLatin1(TemplateKeys::kEmailSection);
const QString kFax = QString::fromLatin1(TemplateKeys::kFaxSection);

int hexDigit(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

} // namespace

namespace TemplateKeys {

EmailTemplate readEmail(const IniFile &ini)
{
    EmailTemplate t;
    t.addFirstName = ini.ReadBool(kEmail, QStringLiteral("AddFirstName"), true);
    t.addAttachment = ini.ReadBool(kEmail, QStringLiteral("AddAttachment"), false);
    t.attachmentFile = ini.ReadString(kEmail, QStringLiteral("AttachmentFile"), QString());
    t.subject = ini.ReadString(kEmail, QStringLiteral("Subject"), QString());
    t.viewBeforeSend = ini.ReadBool(kEmail, QStringLiteral("ViewBeforeSend"), true);
    return t;
}

void writeEmail(IniFile &ini, const EmailTemplate &t)
{
    ini.WriteBool(kEmail, QStringLiteral("AddFirstName"), t.addFirstName);
    ini.WriteBool(kEmail, QStringLiteral("AddAttachment"), t.addAttachment);
    ini.WriteString(kEmail, QStringLiteral("AttachmentFile"), t.attachmentFile);
    ini.WriteString(kEmail, QStringLiteral("Subject"), t.subject);
    ini.WriteBool(kEmail, QStringLiteral("ViewBeforeSend"), t.viewBeforeSend);
}

FaxTemplate readFax(const IniFile &ini, const QDateTime &now)
{
    FaxTemplate t;
    t.faxSource = ini.ReadInteger(kFax, QStringLiteral("FaxSource"), 0);
    t.coverPage = ini.ReadInteger(kFax, QStringLiteral("CoverPage"), 1);
    t.schedule = ini.ReadInteger(kFax, QStringLiteral("Schedule"), 0);
    t.subject = ini.ReadString(kFax, QStringLiteral("Subject"), QString());
    t.note = ini.ReadString(kFax, QStringLiteral("Note"), QString());
    t.sourceFile = ini.ReadString(kFax, QStringLiteral("SourceFile"), QString());
    t.scheduleDate = ini.ReadDate(kFax, QStringLiteral("ScheduleDate"), now.date());
    t.scheduleTime = ini.ReadTime(kFax, QStringLiteral("ScheduleTime"), now.time());
    return t;
}

void writeFax(IniFile &ini, const FaxTemplate &t)
{
    ini.WriteInteger(kFax, QStringLiteral("FaxSource"), t.faxSource);
    ini.WriteInteger(kFax, QStringLiteral("CoverPage"), t.coverPage);
    ini.WriteInteger(kFax, QStringLiteral("Schedule"), t.schedule);
    ini.WriteString(kFax, QStringLiteral("Subject"), t.subject);
    ini.WriteString(kFax, QStringLiteral("Note"), t.note);
    ini.WriteString(kFax, QStringLiteral("SourceFile"), t.sourceFile);
    ini.WriteDate(kFax, QStringLiteral("ScheduleDate"), t.scheduleDate);
    ini.WriteTime(kFax, QStringLiteral("ScheduleTime"), t.scheduleTime);
}

QString hexEncode(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

QByteArray hexDecode(const QString &text)
{
    QByteArray out;
    out.reserve(text.size() / 2);
    for (qsizetype i = 0; i + 1 < text.size(); i += 2) {
        const int hi = hexDigit(text[i]);
        const int lo = hexDigit(text[i + 1]);
        if (hi < 0 || lo < 0)
            break;
        out.append(char(hi * 16 + lo));
    }
    return out;
}

QByteArray mailBodyBytes(const QStringList &lines)
{
    QString text;
    for (const QString &line : lines)
        text += line + QStringLiteral("\r\n");
    return TextEncoding::encode(text, TextEncoding::Windows1252);
}

QStringList mailBodyLines(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return {};
    QString text = TextEncoding::decode(bytes).text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QStringList lines = text.split(QLatin1Char('\n'));
    // Every line ends with a break, so the split leaves one empty piece after it.
    if (lines.size() > 1 && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace TemplateKeys
