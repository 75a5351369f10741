#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <functional>

class TDbfTable;

// The four history channels of a contact, five slots each: a time-stamp
// field and a companion field per slot (slot 1 oldest).
enum class HistoryChannel { Call, Email, Fax, Wave };

struct HistoryFields {
    QStringList stamps;     // TM_CALL1..5, TM_EMAIL1..5, TM_FAX1..5, TM_WAVE1..5
    QStringList companions; // DUR_CALL1..5, DT_EMAIL1..5, DT_FAX1..5, DT_WAVE1..5
};
HistoryFields historyFieldsFor(HistoryChannel channel);

// The slot texts of one record and what the rotation makes of them.
struct HistoryRotation {
    int slot = 0;         // 1..5: the slot that received the entry
    bool shifted = false; // all five were used: slot 1 dropped, slot = 5
    QStringList stamps;   // the five time stamps afterwards
    QStringList companions;
};

// The rotation on texts alone: T1..T5 and C1..C5 as read, the new stamp S
// and companion V.
HistoryRotation rotateHistory(const QStringList &stamps, const QStringList &companions, const QString &stamp,
                              const QString &companion);

// Applies the rotation to the table's current record: reads the ten fields,
// puts the record in edit mode, writes back each value that is not empty
// (for call durations: greater than zero) and posts. beforePost, when
// given, runs after the write-back and before the post (after-call
// processing asks its question and saves the recording there); if it or
// the post throws, the edit is cancelled and the error goes to the caller.
// For the call channel companion is the duration in whole seconds; a
// duration above 9999 (the field's width) is stored as 9999.
// Returns the slot number, 1 to 5 (5 after a shift).
int ApplyHistoryRotation(TDbfTable &table, HistoryChannel channel, const QString &stamp,
                         const QString &companion,
                         const std::function<void(const HistoryRotation &)> &beforePost = {});
int ApplyCallHistoryRotation(TDbfTable &table, const QString &stamp, int durationSeconds,
                             const std::function<void(const HistoryRotation &)> &beforePost = {});

// "dd-mmm-yyyy hh:mm" with the locale's abbreviated month name and time
// separator, e.g. "05-Mar-2007 09:00" in English.
QString HistoryTimeStamp(const QDateTime &when, const QLocale &locale = QLocale());
