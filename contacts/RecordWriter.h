#pragma once

#include "contacts/DbfFile.h"
#include "contacts/DbfFormat.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <memory>
#include <vector>

class Clock;
class CodePage;
class MemoFile;

// Everything a table writes to its files: records posted in place through
// the journal, records appended with the header count, deletion flags,
// memo texts, and the header's date of last update.
class RecordWriter {
public:
    RecordWriter(dbf::File &file, MemoFile &memo);

    void setClock(const Clock *clock) { m_clock = clock; }
    // For the open table: takes the use lock, replays a journal a killed
    // writer left, corrects the header count from the file length and
    // writes the header. Returns the record count.
    uint32_t open(const QString &tablePath, const dbf::Layout &layout, const CodePage &codePage);
    // Replays what is left and, as the last table open on the file,
    // removes the journal.
    void close();

    // Writes edit over record recno, only the bytes that differ from orig
    // (what Edit read; whole tells whether the file held all of it), with
    // the memo texts of memos (by field). Updates the memo pointers in edit.
    void post(uint32_t recno, const QByteArray &orig, bool whole, QByteArray &edit,
              const QHash<int, QString> &memos);
    // Appends edit after the last record of the file; known is the count
    // this table last saw (another program may have appended since).
    // Returns the new record's number.
    uint32_t append(QByteArray &edit, const QHash<int, QString> &memos, uint32_t known);
    void markDeleted(uint32_t recno);

private:
    qint64 offsetOf(uint32_t recno) const;
    void writeHeader(uint32_t count);
    void writeMemos(QByteArray &edit, const QHash<int, QString> &memos, std::vector<dbf::WriteOp> &journaled);

    dbf::File &m_file;
    MemoFile &m_memo;
    const Clock *m_clock = nullptr;
    const dbf::Layout *m_layout = nullptr;
    const CodePage *m_codePage = nullptr;
    std::unique_ptr<dbf::UseLock> m_useLock;
    std::unique_ptr<dbf::Journal> m_journal;
    dbf::File *m_files[2] = {nullptr, nullptr};
    QByteArray m_out; // an appended record with the end marker, reused
};
