#include "contacts/ContactHistory.h"

#include "platform/environment/Clock.h"

#include <algorithm>

ContactHistory::ContactHistory(TDbfTable &table, const Clock &clock, Hooks hooks)
    : m_table(&table), m_clock(&clock), m_hooks(std::move(hooks))
{
}

QList<Bookmark> ContactHistory::SelectedContacts() const
{
    if (!m_table->Active())
        return {};
    if (m_hooks.multiSelect && m_hooks.multiSelect()) {
        QList<Bookmark> shown;
        if (m_hooks.selectedRows)
            for (Bookmark b : m_hooks.selectedRows())
                if (b > 0 && m_table->VisibleIndexOf(b) >= 0)
                    shown << b;
        std::sort(shown.begin(), shown.end());
        shown.erase(std::unique(shown.begin(), shown.end()), shown.end());
        return shown;
    }
    const Bookmark current = m_table->GetBookmark();
    if (current == 0)
        return {};
    return {current};
}

QString ContactHistory::TimeStampText(const QDateTime &time)
{
    return HistoryTimeStamp(time);
}

int ContactHistory::AddCallHistory(const QDateTime &time, int durationSeconds,
                                   const std::function<void(const HistoryRotation &)> &beforePost)
{
    if (m_hooks.leaveEdit)
        m_hooks.leaveEdit();
    int slot = 0;
    try {
        slot = ApplyCallHistoryRotation(*m_table, TimeStampText(time), durationSeconds, beforePost);
    } catch (...) {
        if (m_hooks.changed)
            m_hooks.changed();
        throw;
    }
    if (m_hooks.changed)
        m_hooks.changed();
    return slot;
}

void ContactHistory::stampSelected(HistoryChannel channel, const std::function<QString(int)> &value)
{
    // One time for every record of this command.
    const QString stamp = TimeStampText(m_clock->now());
    if (m_hooks.leaveEdit)
        m_hooks.leaveEdit();
    const QList<Bookmark> contacts = SelectedContacts();
    for (int i = 0; i < contacts.size(); ++i) {
        if (m_table->GetBookmark() != contacts[i]) {
            if (m_hooks.moveTo)
                m_hooks.moveTo(contacts[i]);
            else
                m_table->GotoBookmark(contacts[i]);
        }
        ApplyHistoryRotation(*m_table, channel, stamp, value(i));
        if (m_hooks.changed)
            m_hooks.changed();
    }
}

void ContactHistory::AddEmailHistory()
{
    stampSelected(HistoryChannel::Email, [](int) { return QString(); });
}

void ContactHistory::AddFaxHistory(const QStringList &jobIds)
{
    stampSelected(HistoryChannel::Fax, [&](int i) { return jobIds.value(i); });
}

void ContactHistory::AddWaveHistory(const QString &playListEntry)
{
    stampSelected(HistoryChannel::Wave, [&](int) { return playListEntry; });
}
