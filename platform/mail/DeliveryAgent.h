#pragma once

#include "platform/mail/MailAccount.h"
#include "platform/mail/MailStore.h"
#include "platform/mail/MailTransport.h"

#include <functional>

class Clock;

struct DeliveryReport {
    int delivered = 0;
    int refused = 0;
    int waiting = 0; // left in the Outbox without an attempt
    QString note;    // why nothing was attempted, if so
};

// Submits the Outbox's queued and refused mails through one transport
// session, in Outbox order. A delivered mail moves to Sent Items with its
// delivery time; a refused one stays with the server's reason.
class DeliveryAgent {
public:
    DeliveryAgent(MailStore &store, MailTransport &transport, Clock &clock);

    // progress(done, total) after each mail.
    DeliveryReport deliverOutbox(const MailAccount &account, const QString &password,
                                 const std::function<void(int, int)> &progress = {});

    static QString noAccountText();

private:
    MailStore &m_store;
    MailTransport &m_transport;
    Clock &m_clock;
};
