#include "tracking/ArchiveList.h"

#include "contacts/HistoryRotation.h"

QString ArchiveList::entryText(const QDateTime &time)
{
    return QStringLiteral("Sent at ") + HistoryTimeStamp(time);
}

QString ArchiveList::trimmed(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= 0x20)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

void ArchiveList::clearEntries(const QString &text)
{
    m_entries.clear();
    m_text = text;
}

bool ArchiveList::addEntry(const QString &entry)
{
    m_entries << entry;
    m_text = selectText();
    return m_entries.size() >= kMaxEntries;
}
