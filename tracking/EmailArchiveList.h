#pragma once

#include "tracking/ArchiveList.h"

#include <QDateTime>
#include <QList>
#include <memory>

class Dialogs;
class Environment;
class TOutlookConnect;

// What the e-mail list reads of the mail store: the sent-items messages of
// one logon, in the store's own order.
class SentItemsSource {
public:
    virtual ~SentItemsSource() = default;
    // Logs on the first time; afterwards does nothing. A failed logon leaves
    // the list empty and is not reported.
    virtual void activate() = 0;
    virtual int count() const = 0;
    // Whether message position has an open message object to read from.
    virtual bool hasMessageObject(int position) const = 0;
    // Its display-to text; throws when the property cannot be read.
    virtual QString displayTo(int position) const = 0;
    // Its delivery time, in universal time.
    virtual QDateTime deliveryTime(int position) const = 0;
};

// The e-mails of the sent items addressed to one contact, and the mail
// client showing a chosen one. The mail store logon and the mail client
// connection are made on first use and kept for the run.
class EmailArchiveList : public ArchiveList {
public:
    EmailArchiveList(Environment &env, Dialogs &dialogs, std::unique_ptr<SentItemsSource> sentItems);
    ~EmailArchiveList() override;

    static QString noClientMessage() { return QStringLiteral("MAPI compatible Email Client not available"); }
    static QString notFoundMessage() { return QStringLiteral("Email not found in Sent items archive"); }

    // Lists the sent e-mails whose display-to text contains the contact's
    // address, ignoring case, in folder order, at most kMaxEntries. An
    // unreadable display-to text ends the refresh with its error, keeping
    // the entries found until then.
    void Refresh(const QString &contactEmail);
    // Opens entry index (from 0) in the mail client.
    void Show(int index);
    void Clear();

    // The sent-items position of each entry's message, in list order.
    const QList<int> &positions() const { return m_positions; }
    SentItemsSource *sentItems() { return m_sentItems.get(); }

private:
    Environment *m_env;
    Dialogs *m_dialogs;
    std::unique_ptr<SentItemsSource> m_sentItems;
    std::unique_ptr<TOutlookConnect> m_outlook;
    QList<int> m_positions;
};
