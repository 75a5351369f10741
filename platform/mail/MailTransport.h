#pragma once

#include "platform/mail/MailAccount.h"

#include <QByteArray>
#include <QStringList>
#include <memory>

// How mail leaves the machine. One interface, so another transport can be
// put behind the delivery agent without touching it.
struct OutgoingMail {
    QString from;
    QStringList recipients;
    QByteArray data; // RFC 5322 message
};

struct SubmitResult {
    bool delivered = false;
    QString reason; // why not, in the server's words where it gave any
};

// One connection, used for every mail submitted through it.
class TransportSession {
public:
    virtual ~TransportSession() = default;
    virtual SubmitResult submit(const OutgoingMail &mail) = 0;
};

class MailTransport {
public:
    virtual ~MailTransport() = default;
    virtual std::unique_ptr<TransportSession> open(const MailAccount &account, const QString &password) = 0;
};

// SMTP through libcurl: STARTTLS or TLS from the start, certificates always
// verified, AUTH when the account has a user.
class SmtpTransport final : public MailTransport {
public:
    std::unique_ptr<TransportSession> open(const MailAccount &account, const QString &password) override;
};
