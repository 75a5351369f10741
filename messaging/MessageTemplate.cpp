#include "messaging/MessageTemplate.h"

#include "platform/profile/IniFile.h"

namespace {

const QString kEmail = QString::fromLatin1(TemplateKeys::kEmailSection);
const QString kFax = QString::fromLatin1(TemplateKeys::kFaxSection);
const QString kBody = QStringLiteral("Body");

} // namespace

void WriteTemplateFile(const QString &path, const MessageTemplate &t)
{
    IniFile ini(path);
    TemplateKeys::writeEmail(ini, t.email);
    ini.WriteString(kEmail, kBody, TemplateKeys::hexEncode(TemplateKeys::mailBodyBytes(t.email.body)));
    TemplateKeys::writeFax(ini, t.fax);
    ini.WriteString(kFax, kBody, TemplateKeys::hexEncode(t.fax.bodyRtf));
}

MessageTemplate ReadTemplateFile(const QString &path, const QDateTime &now)
{
    const IniFile ini(path);
    MessageTemplate t;
    t.email = TemplateKeys::readEmail(ini);
    // A value buffer would cut a long body; these are read whole.
    t.email.body =
        TemplateKeys::mailBodyLines(TemplateKeys::hexDecode(ini.ReadString(kEmail, kBody, QString(), 0)));
    t.fax = TemplateKeys::readFax(ini, now);
    t.fax.bodyRtf = TemplateKeys::hexDecode(ini.ReadString(kFax, kBody, QString(), 0));
    return t;
}
