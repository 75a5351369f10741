#include "tracking/EmailArchiveList.h"

#include "messaging/TOutlookConnect.h"
#include "platform/mail/MailClient.h"
#include "ui/Dialogs.h"

#include <exception>
#include <stdexcept>

EmailArchiveList::EmailArchiveList(Environment &env, Dialogs &dialogs,
                                   std::unique_ptr<SentItemsSource> sentItems)
    : m_env(&env), m_dialogs(&dialogs), m_sentItems(std::move(sentItems))
{
}

EmailArchiveList::~EmailArchiveList() = default;

void EmailArchiveList::Refresh(const QString &contactEmail)
{
    clearEntries();
    m_positions.clear();
    notify();
    if (!m_sentItems)
        throw std::runtime_error("The mail store cannot be read: no mail store session");
    m_sentItems->activate();

    const QString key = trimmed(contactEmail).toUpper();
    const int count = m_sentItems->count();
    for (int i = 0; i < count; ++i) {
        if (!m_sentItems->hasMessageObject(i))
            continue;
        QString s = m_sentItems->displayTo(i);
        // The mail client quotes some names in apostrophes.
        if (s.startsWith(QLatin1Char('\'')))
            s[0] = QLatin1Char(' ');
        if (s.endsWith(QLatin1Char('\'')))
            s[s.size() - 1] = QLatin1Char(' ');
        s = trimmed(s).toUpper();
        // An empty key would be found in every text: it matches nothing.
        if (s.isEmpty() || key.isEmpty() || !s.contains(key))
            continue;
        m_positions << i;
        if (addEntry(entryText(m_sentItems->deliveryTime(i)))) {
            notify();
            m_dialogs->showMessage(limitMessage());
            return;
        }
    }
    notify();
}

void EmailArchiveList::Show(int index)
{
    if (index < 0 || index >= m_positions.size())
        return;
    if (!m_outlook) {
        try {
            m_outlook = std::make_unique<TOutlookConnect>(*m_env);
        } catch (const std::exception &) {
            m_dialogs->showMessage(noClientMessage());
            return;
        }
    }
    // "Outlook registration failed" reaches the caller as it is.
    m_outlook->setConnected(true);
    try {
        // The store's sent-items order is the mail client's folder order.
        m_outlook->SentItemsFolder()->Items().Item(m_positions[index] + 1)->Display();
    } catch (const std::exception &) {
        m_dialogs->showMessage(notFoundMessage());
    }
    m_outlook->setConnected(false);
}

void EmailArchiveList::Clear()
{
    clearEntries(refreshFirstText());
    m_positions.clear();
    notify();
}
