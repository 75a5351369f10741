#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

// What one archive drop-down shows: its entries and the text shown while no
// entry is chosen. The e-mail and fax lists keep, beside each entry, where
// its item is found again.
class ArchiveList {
public:
    // At most this many entries are listed; the refresh stops there.
    static constexpr int kMaxEntries = 200;

    static QString initialText() { return QStringLiteral("Please click Refresh button to view"); }
    static QString selectText() { return QStringLiteral("Please select to view"); }
    static QString refreshFirstText() { return QStringLiteral("Please Refresh first"); }
    static QString limitMessage() { return QStringLiteral("Only show first 200 entries.."); }
    // "Sent at " and the time stamp of the history slots.
    static QString entryText(const QDateTime &time);

    // Trim as the contact fields are trimmed: blanks and control characters
    // at either end.
    static QString trimmed(const QString &text);

    virtual ~ArchiveList() = default;

    const QStringList &entries() const { return m_entries; }
    int count() const { return int(m_entries.size()); }
    QString text() const { return m_text; }

    // The window re-reads entries() and text() whenever this runs.
    std::function<void()> changed;

protected:
    // Empties the list; the text goes with the entries.
    void clearEntries(const QString &text = {});
    // Adds an entry; true when the list is now full.
    bool addEntry(const QString &entry);
    void notify()
    {
        if (changed)
            changed();
    }

private:
    QStringList m_entries;
    QString m_text = initialText();
};
