#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

// Plain file access for the table and memo files: whole reads and writes at
// 64-bit offsets, the lock that makes header-and-record writes exclusive
// between programs, and the journal that makes an overwrite all-or-nothing.
namespace dbf {

class File {
public:
    File() = default;
    ~File();
    File(const File &) = delete;
    File &operator=(const File &) = delete;

    // Opens read-write, or read-only when writing is not allowed. False when
    // the file cannot be opened at all (errno tells why).
    bool open(const QString &path, bool create = false);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    bool writable() const { return m_writable; }
    int fd() const { return m_fd; }
    QString path() const { return m_path; }

    qint64 size() const;
    // Reads up to length bytes at offset; returns how many were read (short
    // only at the end of the file).
    qint64 readAt(qint64 offset, char *data, qint64 length) const;
    QByteArray readAt(qint64 offset, qint64 length) const;
    // Writes everything or throws EDbfError.
    void writeAt(qint64 offset, const char *data, qint64 length);
    void writeAt(qint64 offset, const QByteArray &data) { writeAt(offset, data.constData(), data.size()); }

private:
    int m_fd = -1;
    bool m_writable = false;
    QString m_path;
};

// An exclusive lock held by this open table for its lifetime (open file
// description locks, so two tables in one process exclude each other too).
class WriteLock {
public:
    explicit WriteLock(const File &file);
    ~WriteLock();
    WriteLock(const WriteLock &) = delete;
    WriteLock &operator=(const WriteLock &) = delete;

private:
    int m_fd;
    bool m_locked = false;
};

// Held shared by every open table for its lifetime, so that a closing table
// can tell whether another program still has the table (and its journal)
// open: only the last one may remove the journal file.
class UseLock {
public:
    explicit UseLock(const File &file);
    ~UseLock();
    UseLock(const UseLock &) = delete;
    UseLock &operator=(const UseLock &) = delete;

    bool held() const { return m_locked; }
    // Whether no other open table holds it (tries to make it exclusive).
    bool alone();

private:
    int m_fd;
    bool m_locked = false;
};

// One write of a transaction: which file (0 table, 1 memo), where, what.
struct WriteOp {
    int target = 0;
    qint64 offset = 0;
    QByteArray data;
};

// Redo journal beside the table: the writes of one transaction are stored
// there with a checksum before any of them touches the table, and marked
// done after. A process killed in between leaves a complete journal that
// the next open replays, or an incomplete one that it ignores; either way
// the record being written is wholly old or wholly new.
class Journal {
public:
    // shared: every table that may remove the journal file holds a UseLock,
    // so while this one is open nobody removes it; without that, each
    // commit checks that the file it writes is still the one on disk.
    explicit Journal(QString path, bool shared = false) : m_path(std::move(path)), m_shared(shared) {}
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    // Applies ops to the files (indexed by target) through the journal. The
    // caller holds the WriteLock.
    void commit(const std::vector<WriteOp> &ops, File *const files[2]);
    // Replays a complete journal left by a killed writer and clears it.
    // Returns true when something was replayed. Caller holds the WriteLock.
    bool recover(File *const files[2]);
    // Closes and removes the journal file.
    void discard();

    QString path() const { return m_path; }

private:
    bool ensureOpen();

    QString m_path;
    bool m_shared;
    int m_fd = -1;
};

// Calls visit(recno, record) for records first..last (1-based, inclusive)
// that lie wholly inside the file, read block by block into one small
// buffer. visit returns false to stop early.
void scanRecords(const File &file, qint64 headerSize, int recordSize, uint32_t first, uint32_t last,
                 const std::function<bool(uint32_t, const char *)> &visit);

} // namespace dbf
