#include "platform/mail/VCard.h"

#include "platform/mail/MailError.h"

#include <QStringList>

namespace {

QString escape(const QString &v)
{
    QString out;
    out.reserve(v.size());
    for (int i = 0; i < v.size(); ++i) {
        const QChar c = v[i];
        if (c == QLatin1Char('\\') || c == QLatin1Char(',') || c == QLatin1Char(';')) {
            out += QLatin1Char('\\');
            out += c;
        } else if (c == QLatin1Char('\r')) {
            if (i + 1 < v.size() && v[i + 1] == QLatin1Char('\n'))
                ++i;
            out += QLatin1String("\\n");
        } else if (c == QLatin1Char('\n')) {
            out += QLatin1String("\\n");
        } else {
            out += c;
        }
    }
    return out;
}

QString unescape(const QString &v)
{
    QString out;
    out.reserve(v.size());
    for (int i = 0; i < v.size(); ++i) {
        if (v[i] == QLatin1Char('\\') && i + 1 < v.size()) {
            const QChar n = v[++i];
            out += (n == QLatin1Char('n') || n == QLatin1Char('N')) ? QChar(QLatin1Char('\n')) : n;
        } else {
            out += v[i];
        }
    }
    return out;
}

// Splits a structured value at unescaped ';'.
QStringList components(const QString &v)
{
    QStringList out;
    QString cur;
    for (int i = 0; i < v.size(); ++i) {
        if (v[i] == QLatin1Char('\\') && i + 1 < v.size()) {
            cur += v[i];
            cur += v[++i];
        } else if (v[i] == QLatin1Char(';')) {
            out << unescape(cur);
            cur.clear();
        } else {
            cur += v[i];
        }
    }
    out << unescape(cur);
    return out;
}

// Lines longer than 75 octets are folded, never inside a UTF-8 sequence.
void appendFolded(QByteArray &out, const QByteArray &line)
{
    int start = 0, width = 75;
    while (line.size() - start > width) {
        int cut = start + width;
        while (cut > start && (uchar(line[cut]) & 0xC0) == 0x80)
            --cut;
        out += line.mid(start, cut - start);
        out += "\r\n ";
        start = cut;
        width = 74;
    }
    out += line.mid(start);
    out += "\r\n";
}

} // namespace

namespace VCard {

QByteArray write(const ContactCard &c)
{
    QByteArray out;
    auto line = [&](const QString &text) { appendFolded(out, text.toUtf8()); };
    line(QStringLiteral("BEGIN:VCARD"));
    line(QStringLiteral("VERSION:3.0"));
    line(QStringLiteral("PRODID:-//Brenvoy//Mail client//EN"));
    if (!c.uid.isEmpty())
        line(QStringLiteral("UID:") + escape(c.uid));
    line(QStringLiteral("N:%1;%2;;;").arg(escape(c.lastName), escape(c.firstName)));
    QString fn = (c.firstName + QLatin1Char(' ') + c.lastName).trimmed();
    if (fn.isEmpty())
        fn = c.companyName;
    line(QStringLiteral("FN:") + escape(fn));
    if (!c.companyName.isEmpty())
        line(QStringLiteral("ORG:") + escape(c.companyName));
    if (!c.businessAddress.isEmpty()) {
        line(QStringLiteral("ADR;TYPE=WORK:;;%1;;;;").arg(escape(c.businessAddress)));
        line(QStringLiteral("LABEL;TYPE=WORK:") + escape(c.businessAddress));
    }
    if (!c.email1Address.isEmpty())
        line(QStringLiteral("EMAIL;TYPE=INTERNET,PREF:") + escape(c.email1Address));
    if (!c.businessTelephoneNumber.isEmpty())
        line(QStringLiteral("TEL;TYPE=WORK,VOICE:") + escape(c.businessTelephoneNumber));
    if (!c.businessFaxNumber.isEmpty())
        line(QStringLiteral("TEL;TYPE=WORK,FAX:") + escape(c.businessFaxNumber));
    if (!c.body.isEmpty())
        line(QStringLiteral("NOTE:") + escape(c.body));
    line(QStringLiteral("END:VCARD"));
    return out;
}

ContactCard read(const QByteArray &bytes)
{
    // Unfold: a line break followed by a space or tab continues the line.
    QByteArray text = bytes;
    text.replace("\r\n", "\n");
    text.replace("\n ", "");
    text.replace("\n\t", "");
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    ContactCard c;
    bool inCard = false, done = false, haveLabel = false;
    for (const QString &raw : lines) {
        int colon = -1;
        bool quoted = false;
        for (int i = 0; i < raw.size(); ++i) {
            if (raw[i] == QLatin1Char('"'))
                quoted = !quoted;
            else if (raw[i] == QLatin1Char(':') && !quoted) {
                colon = i;
                break;
            }
        }
        if (colon < 0)
            continue;
        QStringList head = raw.left(colon).split(QLatin1Char(';'));
        QString name = head.takeFirst().toUpper();
        if (int dot = name.indexOf(QLatin1Char('.')); dot >= 0)
            name = name.mid(dot + 1); // group prefix
        const QString params = head.join(QLatin1Char(';')).toUpper();
        const QString value = raw.mid(colon + 1);
        if (name == QLatin1String("BEGIN") &&
            value.trimmed().compare(QLatin1String("VCARD"), Qt::CaseInsensitive) == 0) {
            inCard = true;
            continue;
        }
        if (!inCard)
            continue;
        if (name == QLatin1String("END")) {
            done = true;
            break;
        }
        if (name == QLatin1String("UID"))
            c.uid = unescape(value);
        else if (name == QLatin1String("N")) {
            const QStringList n = components(value);
            c.lastName = n.value(0);
            c.firstName = n.value(1);
        } else if (name == QLatin1String("ORG"))
            c.companyName = components(value).value(0);
        else if (name == QLatin1String("LABEL") && c.businessAddress.isEmpty()) {
            c.businessAddress = unescape(value);
            haveLabel = true;
        } else if (name == QLatin1String("ADR") && !haveLabel && c.businessAddress.isEmpty()) {
            QStringList parts = components(value);
            parts.removeAll(QString());
            c.businessAddress = parts.join(QLatin1Char('\n'));
        } else if (name == QLatin1String("EMAIL") && c.email1Address.isEmpty())
            c.email1Address = unescape(value);
        else if (name == QLatin1String("TEL")) {
            if (params.contains(QLatin1String("FAX"))) {
                if (c.businessFaxNumber.isEmpty())
                    c.businessFaxNumber = unescape(value);
            } else if (c.businessTelephoneNumber.isEmpty()) {
                c.businessTelephoneNumber = unescape(value);
            }
        } else if (name == QLatin1String("NOTE"))
            c.body = unescape(value);
    }
    if (!inCard || !done)
        throw MailError(QStringLiteral("Not a vCard"));
    return c;
}

} // namespace VCard
