#include "contacts/RecordWriter.h"

#include "contacts/DbfTable.h"
#include "contacts/MemoFile.h"
#include "platform/codepage/CodePage.h"
#include "platform/environment/Clock.h"

#include <algorithm>
#include <cstring>

namespace {

const Clock &systemClock()
{
    static SystemClock clock;
    return clock;
}

uint32_t countFromLength(const dbf::File &file, const dbf::Layout &layout)
{
    const qint64 fits = std::max<qint64>(0, (file.size() - layout.headerSize) / layout.recordSize);
    return uint32_t(std::min<qint64>(fits, 0xFFFFFFFFll));
}

} // namespace

RecordWriter::RecordWriter(dbf::File &file, MemoFile &memo) : m_file(file), m_memo(memo) {}

qint64 RecordWriter::offsetOf(uint32_t recno) const
{
    return qint64(m_layout->headerSize) + qint64(recno - 1) * m_layout->recordSize;
}

uint32_t RecordWriter::open(const QString &tablePath, const dbf::Layout &layout, const CodePage &codePage)
{
    m_layout = &layout;
    m_codePage = &codePage;
    m_files[0] = &m_file;
    m_files[1] = m_memo.isOpen() ? &m_memo.file() : nullptr;
    // Taken before the journal is first opened, so that a table closing
    // meanwhile sees this one and leaves the journal file alone.
    m_useLock = std::make_unique<dbf::UseLock>(m_file);
    m_journal = std::make_unique<dbf::Journal>(tablePath + QStringLiteral("-journal"), m_useLock->held());
    dbf::WriteLock lock(m_file);
    if (m_file.writable())
        m_journal->recover(m_files);
    const uint32_t count = countFromLength(m_file, layout);
    if (m_file.writable()) {
        writeHeader(count);
        const char eof = dbf::kEndOfFile;
        m_file.writeAt(offsetOf(count + 1), &eof, 1);
    }
    return count;
}

void RecordWriter::close()
{
    if (m_journal && m_file.writable()) {
        dbf::WriteLock lock(m_file);
        try {
            m_journal->recover(m_files);
        } catch (const EDbfError &) {
            // Something planted in the journal's place holds nothing of
            // ours; it is not followed, and the table still closes.
        }
        // Another program still open on the table keeps journalling into
        // the same file; the last one to close removes it.
        if (m_useLock->alone())
            m_journal->discard();
    }
    m_journal.reset();
    m_useLock.reset();
}

void RecordWriter::writeHeader(uint32_t count)
{
    const QDate today = (m_clock ? m_clock : &systemClock())->today();
    const QByteArray p = dbf::headerPrefix8(m_layout->version, today, count);
    m_file.writeAt(1, p.constData() + 1, 7);
}

void RecordWriter::writeMemos(QByteArray &edit, const QHash<int, QString> &memos,
                              std::vector<dbf::WriteOp> &journaled)
{
    for (auto it = memos.constBegin(); it != memos.constEnd(); ++it) {
        const FieldDef &f = m_layout->fields[it.key()];
        if (!m_memo.isOpen() || !m_memo.file().writable())
            continue; // without its memo file a table keeps no memo changes
        const uint64_t old = dbf::decodeMemoBlock(edit.constData() + f.offset, f.width);
        const MemoFile::Plan plan = m_memo.plan(old, m_codePage->encode(it.value()));
        // Fresh blocks and the advanced next-free number go straight to the
        // file: until the record points at them they are unused space.
        // Text rewritten in place goes with the record through the journal.
        for (const dbf::WriteOp &op : plan.fresh)
            m_memo.file().writeAt(op.offset, op.data);
        for (const dbf::WriteOp &op : plan.overwrite) {
            if (op.offset == 0)
                m_memo.file().writeAt(0, op.data);
            else
                journaled.push_back(op);
        }
        const QByteArray ptr = dbf::encodeMemoBlock(plan.block, f.width);
        memcpy(edit.data() + f.offset, ptr.constData(), size_t(f.width));
    }
}

void RecordWriter::post(uint32_t recno, const QByteArray &orig, bool whole, QByteArray &edit,
                        const QHash<int, QString> &memos)
{
    if (memos.isEmpty() && whole && edit == orig)
        return;
    dbf::WriteLock lock(m_file);
    std::vector<dbf::WriteOp> ops;
    writeMemos(edit, memos, ops);
    // Only the bytes that differ from what Edit read: an edit of a few
    // fields mostly stays within one page, which a single write changes
    // all-or-nothing, so it needs no journal.
    qsizetype first = 0, last = edit.size();
    if (whole && orig.size() == edit.size()) {
        const char *a = orig.constData(), *b = edit.constData();
        while (first < last && a[first] == b[first])
            ++first;
        while (last > first && a[last - 1] == b[last - 1])
            --last;
    }
    if (last > first)
        ops.push_back({0, offsetOf(recno) + first, edit.mid(first, last - first)});
    if (!ops.empty())
        m_journal->commit(ops, m_files);
}

uint32_t RecordWriter::append(QByteArray &edit, const QHash<int, QString> &memos, uint32_t known)
{
    dbf::WriteLock lock(m_file);
    char head[4];
    uint32_t count = m_file.readAt(4, head, 4) == 4 ? dbf::readU32(head) : 0;
    // Another program appended, or one was killed mid-append: the file
    // length decides, as it does on open.
    if (count != known)
        count = countFromLength(m_file, *m_layout);
    if (count == 0xFFFFFFFFu)
        throw EDbfError(QStringLiteral("The table is full"));
    std::vector<dbf::WriteOp> memoOps;
    writeMemos(edit, memos, memoOps);
    for (const dbf::WriteOp &op : memoOps)
        m_memo.file().writeAt(op.offset, op.data);
    const uint32_t recno = count + 1;
    // The record (and the end marker) first, then the count: a writer
    // killed in between leaves a whole record the next open counts from
    // the file length, or a partial one it ignores.
    m_out.resize(edit.size() + 1);
    memcpy(m_out.data(), edit.constData(), size_t(edit.size()));
    m_out[edit.size()] = dbf::kEndOfFile;
    m_file.writeAt(offsetOf(recno), m_out);
    writeHeader(recno);
    return recno;
}

void RecordWriter::markDeleted(uint32_t recno)
{
    dbf::WriteLock lock(m_file);
    const char flag = dbf::kDeletedFlag;
    m_file.writeAt(offsetOf(recno), &flag, 1);
}
