#pragma once

// A mail client folder built by a test with the mail client's own store
// code, and mail as another program would drop it into a folder.

#include "platform/mail/MailMessage.h"
#include "platform/mail/MaildirStore.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace mapitest {

inline QDateTime utc(int y, int mo, int d, int h = 0, int mi = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi), QTimeZone::utc());
}

inline MailMessage mail(const QString &to, const QString &subject, const QDateTime &delivered)
{
    MailMessage m;
    m.from = "Brenvoy Office <office@brenvoy.test>";
    m.to = to;
    m.subject = subject;
    m.body = "Sehr geehrte Damen und Herren,\nanbei unser Angebot.\n";
    m.date = delivered.addSecs(-60);
    m.delivered = delivered;
    return m;
}

// A delivered mail stored in Sent Items as the delivery agent stores it.
inline QString addSent(MaildirStore &store, const MailMessage &m)
{
    return store.addMessage(StoreFolder::SentItems, Mime::build(m),
                            {QString(), m.to, m.subject, m.delivered});
}

// A message file put into a folder by another program.
inline void dropFile(MaildirStore &store, StoreFolder folder, const QString &relative,
                     const QByteArray &bytes)
{
    QFile f(store.folderPath(folder) + "/" + relative);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Debian's interpreter, with its mailbox and email modules.
inline QByteArray python(const QString &script, const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), QStringList{"-c", script} + args);
    p.waitForFinished(60000);
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        ADD_FAILURE() << "python failed: " << p.readAllStandardError().toStdString();
    return p.readAllStandardOutput();
}

} // namespace mapitest
