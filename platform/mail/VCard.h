#pragma once

#include <QByteArray>
#include <QString>

// A contact of the mail client, stored as one vCard 3.0 file.
struct ContactCard {
    QString uid;
    QString firstName;
    QString lastName;
    QString companyName;
    QString businessAddress;
    QString email1Address;
    QString businessTelephoneNumber;
    QString businessFaxNumber;
    QString body; // the note

    bool operator==(const ContactCard &) const = default;
};

namespace VCard {
QByteArray write(const ContactCard &card);
// Reads the first vCard of the text; unknown properties are ignored.
// Throws MailError on text that is no vCard.
ContactCard read(const QByteArray &bytes);
} // namespace VCard
