#pragma once

// Where the service keeps its jobs: one JSON record and one fax TIFF per job,
// in "queue" while waiting and in "archive" once sent. A record is written
// after its TIFF, so a listed job always has its pages.
//
// The archive also keeps an index, ".index": one line per archived job with
// the fields of its record, appended when the job is archived, so listing
// 100,000 faxes reads one file and the folder's names rather than 100,000
// records. The records stay what counts: archived records are never
// rewritten in place, and a listing that finds the index and the folder
// disagreeing (a crash between the two writes, a record removed or replaced,
// a damaged line) lists from the records where needed and rewrites the index.

#include "platform/environment/Clock.h"
#include "platform/fax/FaxService.h"

#include <optional>
#include <vector>

class FaxStore {
public:
    // Throws EFaxError when the folders cannot be made.
    FaxStore(QString faxFolder, Clock &clock);

    QString folder() const { return m_folder; }
    QString queueFolder() const { return m_folder + QStringLiteral("/queue"); }
    QString archiveFolder() const { return m_folder + QStringLiteral("/archive"); }
    QString archiveIndexPath() const { return archiveFolder() + QStringLiteral("/.index"); }
    Clock &clock() const { return *m_clock; }

    // Sorted by scheduled time (queue) or submission time (archive), then
    // by the order within a submission.
    std::vector<FaxJobRecord> queued() const;
    std::vector<FaxJobRecord> archived() const;
    std::optional<FaxJobRecord> find(const QString &id, bool inArchive) const;
    QString tiffPath(const QString &id, bool inArchive) const;

    // An id no job has; 16 hexadecimal digits.
    QString newId() const;
    // Moves a finished TIFF into the queue and writes its record.
    void enqueue(const FaxJobRecord &record, const QString &tiffPath);
    // The same for the jobs of one submission, with one flush to disk for
    // all of them: every record and its pages are on disk before any job
    // is named in the queue. Throws EFaxError at the first job that cannot
    // be queued (those before it stay queued).
    void enqueueAll(const std::vector<std::pair<FaxJobRecord, QString>> &jobs);
    bool cancel(const QString &id);
    // Sends every job due by now; returns the ids sent.
    QStringList sendDue();
    // The scheduled time of the next waiting job, if any.
    std::optional<QDateTime> nextDue() const;

private:
    std::vector<FaxJobRecord> read(const QString &folder) const;

    QString m_folder;
    Clock *m_clock;
};
