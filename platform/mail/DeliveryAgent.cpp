#include "platform/mail/DeliveryAgent.h"

#include "platform/environment/Clock.h"
#include "platform/mail/MailError.h"
#include "platform/mail/MailMessage.h"

#include <QLockFile>
#include <QSet>

DeliveryAgent::DeliveryAgent(MailStore &store, MailTransport &transport, Clock &clock)
    : m_store(store), m_transport(transport), m_clock(clock)
{
}

QString DeliveryAgent::noAccountText()
{
    return QStringLiteral("No outgoing mail account is set up: mail waits in the Outbox until one is "
                          "(Account Settings).");
}

DeliveryReport DeliveryAgent::deliverOutbox(const MailAccount &account, const QString &password,
                                            const std::function<void(int, int)> &progress)
{
    DeliveryReport report;
    // Only one agent works on the Outbox at a time, whichever process runs it.
    QLockFile lock(m_store.outboxPath() + "/brenvoy-delivery.lock");
    if (!lock.tryLock(0)) {
        report.note = QStringLiteral("Another delivery is running.");
        return report;
    }
    // Delivered mails are flushed to disk in groups, and whatever happens
    // once more before this returns; a run left unfinished is flushed by the
    // next before it reads the Outbox.
    struct Flush {
        MailStore &store;
        ~Flush()
        {
            try {
                store.flushDelivered(true);
            } catch (const MailError &) {
            }
        }
    } flush{m_store};
    m_store.flushDelivered(true);
    constexpr int kFlushEvery = 100;
    QSet<QString> attempted;
    std::unique_ptr<TransportSession> session;
    int done = 0;
    // Mail queued while this runs goes out in the same run.
    for (;;) {
        QList<MessageSummary> pending;
        const QHash<QString, OutboxStatus> states = m_store.outboxStatuses();
        for (const MessageSummary &s : m_store.messages(StoreFolder::Outbox))
            if (!attempted.contains(s.id) && states.value(s.id).state != OutboxState::Draft)
                pending << s;
        if (pending.isEmpty())
            break;
        if (!account.configured()) {
            report.waiting = int(pending.size());
            report.note = noAccountText();
            return report;
        }
        const int total = done + int(pending.size());
        for (const MessageSummary &s : pending) {
            attempted.insert(s.id);
            SubmitResult result;
            QByteArray bytes;
            try {
                bytes = m_store.readMessage(StoreFolder::Outbox, s.id);
                OutgoingMail mail{account.fromAddress, Mime::addresses(s.to), bytes};
                if (!session)
                    session = m_transport.open(account, password);
                result = session->submit(mail);
            } catch (const MailError &e) {
                result = {false, e.text()};
            }
            try {
                if (result.delivered) {
                    const QDateTime now = m_clock.now();
                    m_store.fileDelivered(s.id, Mime::stampDelivered(bytes, now, account.fromAddress),
                                          {QString(), s.to, s.subject, now});
                    if (++report.delivered % kFlushEvery == 0)
                        m_store.flushDelivered();
                } else {
                    m_store.setOutboxStatus(s.id, {OutboxState::Refused, result.reason});
                    ++report.refused;
                }
            } catch (const MailError &e) {
                // The store failed under us: keep the rest queued and say why.
                report.note = e.text();
                return report;
            }
            if (progress)
                progress(++done, total);
        }
    }
    return report;
}
