#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// A mail as the object model sees it. Attachments are held by content, so a
// mail read back from the store needs none of the files it was made from.
struct MailAttachment {
    QString fileName;
    QByteArray data;
};

struct MailMessage {
    QString from;
    QString to;
    QString subject;
    QString body;
    QList<MailAttachment> attachments;
    QDateTime date;      // when it was written
    QDateTime delivered; // when the server took it; invalid until then
};

// MIME through GMime: building and parsing RFC 5322 messages. Both throw
// MailError on input they cannot handle.
namespace Mime {
QByteArray build(const MailMessage &mail);
MailMessage parse(const QByteArray &bytes);
// The recipients' bare addresses of a To text ("A <a@x>, b@y"); throws on
// text that holds no address.
QStringList addresses(const QString &to);
// What the store's index keeps of a message: its headers and the
// attachments' file names (their data is not decoded).
struct MailOutline {
    QString from;
    QString to;
    QString subject;
    QDateTime date;
    QDateTime delivered;
    QStringList attachments;
};
MailOutline outline(const QByteArray &bytes);
// The same message with a Delivery-Date header (and From, when it has none).
QByteArray stampDelivered(const QByteArray &bytes, const QDateTime &when, const QString &from);
} // namespace Mime
