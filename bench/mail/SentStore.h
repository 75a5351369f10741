#pragma once

// A mail client folder whose Sent Items hold n delivered mails, made once
// per run through the store's own code. With BRENVOY_BENCH_STORE set, the
// store is kept in that folder and reused by later runs.

#include "platform/mail/MailMessage.h"
#include "platform/mail/MaildirStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <cstdio>

namespace bench {

inline MailMessage sentMail(int i)
{
    MailMessage m;
    m.from = "Brenvoy Office <office@brenvoy.test>";
    m.to = QStringLiteral("Kunde %1 <kunde%1@example.test>").arg(i);
    m.subject = QStringLiteral("Angebot Nr. %1 – Grüße aus Köln").arg(i);
    m.body = QStringLiteral(
                 "Sehr geehrte Damen und Herren,\nanbei unser Angebot Nr. %1.\nMit freundlichen Grüßen\n")
                 .arg(i);
    m.date = QDateTime(QDate(2026, 1, 1), QTime(8, 0), QTimeZone::utc()).addSecs(qint64(i) * 60);
    m.delivered = m.date.addSecs(5);
    return m;
}

// The mail client's folder (the store's root).
inline QString sentStore(int n)
{
    static QTemporaryDir temp;
    const QByteArray kept = qgetenv("BRENVOY_BENCH_STORE");
    const QString root =
        kept.isEmpty() ? temp.path() + "/mail" : QString::fromLocal8Bit(kept) + "/" + QString::number(n);
    if (QFile::exists(root + "/complete"))
        return root;
    QDir(root).removeRecursively();
    QElapsedTimer t;
    t.start();
    MaildirStore store(root);
    store.beginBatch(); // one flush to disk, not one per message
    for (int i = 0; i < n; ++i) {
        const MailMessage m = sentMail(i);
        store.addMessage(StoreFolder::SentItems, Mime::build(m), {QString(), m.to, m.subject, m.delivered});
    }
    store.commitBatch();
    QFile done(root + "/complete");
    done.open(QIODevice::WriteOnly);
    std::fprintf(stderr, "made a Sent Items folder of %d mails in %.1f s\n", n, t.elapsed() / 1000.0);
    return root;
}

} // namespace bench
