#pragma once

#include <QDate>

#include <optional>

class TDbfTable;

// The contact views of the main window's view selector, by ViewIndex:
// 0 All, 1 Callback due today, 2 FaxBack due today, 3 EmailBack due today,
// 4 Any schedule due.
enum ContactViewIndex {
    ViewAll = 0,
    ViewCallbackDue = 1,
    ViewFaxBackDue = 2,
    ViewEmailBackDue = 3,
    ViewAnyDue = 4
};

// A follow-up date is due when it is the same whole day as today; an empty
// date (day 0) never is, nor is one in the past.
bool IsDueToday(const std::optional<QDate> &date, const QDate &today);

// Whether the table's current record (the record under test inside
// OnFilterRecord) passes view viewIndex on the day today. Indexes outside
// 0..4 pass every record, as "All" does.
bool ContactPassesView(const TDbfTable &table, int viewIndex, const QDate &today);
