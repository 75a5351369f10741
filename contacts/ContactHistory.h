#pragma once

#include "contacts/DbfTable.h"
#include "contacts/HistoryRotation.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class Clock;

// The history stamps the windows share: the call, e-mail, fax and voice
// message entry points over the contact table.
//
// "Selected contacts" are the rows the grid has selected while it allows
// multiple selection, otherwise the current contact. A selected row that the
// current view or search hides is not shown, so it is not stamped: a command
// acts on every selected contact that is shown, and only on those, in file
// order, and never stops part-way for a hidden one.
class ContactHistory {
public:
    // How the grid and its data source take part; all optional. Without
    // them the history works on the table alone, in single selection.
    struct Hooks {
        std::function<bool()> multiSelect;             // the grid allows multiple selection
        std::function<QList<Bookmark>()> selectedRows; // the grid's selected rows, any order
        std::function<void()> leaveEdit;               // post or drop an open edit first
        std::function<void(Bookmark)> moveTo;          // make a record current, as the grid would
        std::function<void()> changed;                 // fields were written: controls re-read
    };

    ContactHistory(TDbfTable &table, const Clock &clock, Hooks hooks = {});

    // The selected contacts that are shown, in file order.
    QList<Bookmark> SelectedContacts() const;

    // Stamps the current record; returns the slot (1..5, 5 after a shift).
    // beforePost runs between the write-back and the post.
    int AddCallHistory(const QDateTime &time, int durationSeconds,
                       const std::function<void(const HistoryRotation &)> &beforePost = {});
    void AddEmailHistory();
    // The i-th selected contact gets jobIds[i] (empty when the list is short).
    void AddFaxHistory(const QStringList &jobIds);
    void AddWaveHistory(const QString &playListEntry);

    // "dd-mmm-yyyy hh:mm" in the user's locale.
    static QString TimeStampText(const QDateTime &time);

private:
    void stampSelected(HistoryChannel channel, const std::function<QString(int)> &value);

    TDbfTable *m_table;
    const Clock *m_clock;
    Hooks m_hooks;
};
